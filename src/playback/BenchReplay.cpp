#include "BenchReplay.h"

BenchReplay::BenchReplay() = default;
BenchReplay::~BenchReplay() = default;
void BenchReplay::SetHandlers(Handlers handlers) { handlers_ = std::move(handlers); }

bool BenchReplay::Open(const QString&, QString* problem)
{
    if (problem)
        *problem = QStringLiteral("not built yet");
    return false;
}

void BenchReplay::Close() { receivers_.clear(); }
void BenchReplay::Play() { playing_ = true; }
void BenchReplay::Pause() { playing_ = false; }
void BenchReplay::Seek(int64_t ms) { positionMs_ = ms; }
void BenchReplay::Step(int seconds) { positionMs_ += int64_t(seconds) * 1000; }
