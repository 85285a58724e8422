#pragma once
// Feeding an intake in a test: the bytes go through Intake::Receive, as the
// program's do, and the last result its decoder gave comes back (0: none).
#include "Intake.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct LastIntakeResult : IntakeListener {
    int last = 0;
    void OnNmeaResult(const Intake&, int result) override { last = result; }
    void OnBinrResult(const Intake&, int result) override { last = result; }
};

inline int FeedIntake(Intake& intake, const void* bytes, size_t size, Protocol protocol)
{
    LastIntakeResult heard;
    intake.AddListener(&heard);
    intake.Receive(static_cast<const uint8_t*>(bytes), int(size), protocol);
    intake.RemoveListener(&heard);
    return heard.last;
}

inline int FeedIntake(Intake& intake, const std::string& text)
{
    return FeedIntake(intake, text.data(), text.size(), Protocol::Nmea);
}

inline int FeedIntake(Intake& intake, const std::vector<uint8_t>& frame)
{
    return FeedIntake(intake, frame.data(), frame.size(), Protocol::Binr);
}
