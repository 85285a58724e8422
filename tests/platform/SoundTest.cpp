// Tones captured through an ALSA file device: the samples that reach the
// device are read back exactly as written.
#include "Sound.h"
#include "ToneCapture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <vector>

namespace {

std::vector<int16_t> Capture(int frequencyHz, int durationMs)
{
    ToneCapture capture(kFileDevice);
    OpenTone();
    PlayTone(frequencyHz, durationMs);
    CloseTone();
    return capture.Samples();
}

}  // namespace

struct ToneCase {
    int frequencyHz;
    int durationMs;
    size_t samples;    // 8 per millisecond, or none
    int halfPeriod;    // 4000 div f
};

class ToneShape : public ::testing::TestWithParam<ToneCase> {};

// Every sample is at full scale: low for a half-period, then high.
TEST_P(ToneShape, SquareWaveReachesTheDevice)
{
    const ToneCase c = GetParam();
    const std::vector<int16_t> samples = Capture(c.frequencyHz, c.durationMs);
    ASSERT_EQ(samples.size(), c.samples);
    for (size_t i = 0; i < samples.size(); ++i) {
        const int16_t expected = ((int(i) / c.halfPeriod) % 2 == 1) ? 32767 : -32767;
        ASSERT_EQ(samples[i], expected) << "sample " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Tones, ToneShape,
                         ::testing::Values(ToneCase{1000, 100, 800, 4},   // the no-data warning
                                           ToneCase{500, 50, 400, 8},     // the no-solution cue
                                           ToneCase{1000, 1000, 8000, 4}, // the whole buffer
                                           ToneCase{4000, 2, 16, 1},      // highest: alternating samples
                                           ToneCase{1, 3, 24, 4000},      // lowest: all low
                                           ToneCase{3000, 1, 8, 1},       // 4000 div 3000 = 1
                                           ToneCase{1000, 0, 0, 4},       // nothing queued
                                           ToneCase{1000, 1001, 0, 4},    // longer than the buffer
                                           ToneCase{1000, -1, 0, 4},
                                           ToneCase{0, 100, 0, 1},        // would divide by zero
                                           ToneCase{4001, 100, 0, 1},     // half-period of 0 samples
                                           ToneCase{-500, 100, 0, 1}));

TEST(SoundTest, ExactPeriodsForTheCallersTones)
{
    // 100 periods of 8 for 1000 Hz/100 ms; 25 periods of 16 for 500 Hz/50 ms.
    for (auto [f, ms, periods] : {std::tuple{1000, 100, 100}, std::tuple{500, 50, 25}}) {
        const std::vector<int16_t> samples = Capture(f, ms);
        int rises = 0;
        for (size_t i = 1; i < samples.size(); ++i)
            rises += samples[i - 1] < 0 && samples[i] > 0;
        EXPECT_EQ(rises, periods) << f << " Hz";
        ASSERT_FALSE(samples.empty());
        EXPECT_GT(samples.back(), 0) << "the last half-period is high";
    }
}

// The capture device consumes at once, so every tone is written: each must
// arrive whole, the second not mixed into the first.
TEST(SoundTest, ConsecutiveTonesArriveWhole)
{
    ToneCapture capture(kFileDevice);
    OpenTone();
    PlayTone(1000, 100);
    PlayTone(500, 50);
    PlayTone(0, 50);
    PlayTone(1000, 1);
    CloseTone();
    const std::vector<int16_t> samples = capture.Samples();
    ASSERT_EQ(samples.size(), 800u + 400u + 8u);
    std::vector<int16_t> expected(samples.size());
    FillSquareWave(expected.data(), 800, 4);
    FillSquareWave(expected.data() + 800, 400, 8);
    FillSquareWave(expected.data() + 1200, 8, 4);
    EXPECT_EQ(samples, expected);
}

TEST(SoundTest, NoDeviceIsSilent)
{
    ToneCapture capture(kMissingDevice);
    ::testing::internal::CaptureStderr();
    OpenTone();
    PlayTone(1000, 100);
    PlayTone(500, 50);
    SystemBeep(500, 50);  // the bell still rings
    CloseTone();
    CloseTone();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST(SoundTest, PlayWithoutOpenDoesNothing)
{
    ToneCapture capture(kFileDevice);
    PlayTone(1000, 100);
    CloseTone();
    EXPECT_TRUE(capture.Samples().empty());
}
