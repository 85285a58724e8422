#include "BenchReceiver.h"

#include "ReceiverReport.h"

const char* BenchStateText(BenchState state)
{
    switch (state) {
    case BenchState::Idle: return "";
    case BenchState::Opening: return "opening";
    case BenchState::Live: return "live";
    case BenchState::Lost: return "lost";
    case BenchState::Failed: return "failed";
    case BenchState::Ended: return "ended";
    }
    return "";
}

BenchReceiver::BenchReceiver(BenchSourceSpec source, const AcceptLimits& limits)
    : source_(std::move(source)), limits_(limits)
{
    intake_.AddListener(this);
}

BenchReceiver::~BenchReceiver() { intake_.RemoveListener(this); }

void BenchReceiver::Start(int64_t startUs) { startUs_ = startUs; }

void BenchReceiver::Receive(const uint8_t* bytes, int length, int64_t)
{
    bytes_ += length;
    intake_.Receive(bytes, length, ReadAs());
}

void BenchReceiver::Update(const std::optional<BenchReference>&) {}
void BenchReceiver::Finish(const std::optional<BenchReference>&) {}

std::vector<BenchRow> BenchTable(const std::vector<const BenchReceiver*>&) { return {}; }
std::vector<BenchRow> BenchTable(const std::vector<ReportEntry>&, const std::vector<BenchState>&) { return {}; }
std::string BenchLine(const BenchReceiver&, int64_t) { return {}; }
