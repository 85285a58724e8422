#include "BenchRecorder.h"

BenchRecorder::BenchRecorder() = default;
BenchRecorder::~BenchRecorder() { Stop(); }
void BenchRecorder::SetHandlers(Handlers handlers) { handlers_ = std::move(handlers); }
void BenchRecorder::SetSources(std::vector<BenchSourceSpec> sources) { sources_ = std::move(sources); }

bool BenchRecorder::Start(const QString&, const QString&)
{
    problems_ = {QStringLiteral("not built yet")};
    return false;
}

void BenchRecorder::Stop() { running_ = false; }
