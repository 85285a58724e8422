#include "Sound.h"

#include <QApplication>
#include <alsa/asoundlib.h>

#include <chrono>
#include <cstdint>
#include <thread>

// Tones are short warnings, not music: a square wave at 8 kHz, 16-bit mono,
// written without blocking into the device's ring buffer. ALSA copies the
// samples on write, so the one sample buffer below is free again as soon as
// snd_pcm_writei returns; it is only ever filled on the main thread.
//
// A tone asked for while the previous one still sounds is skipped rather than
// queued or cut short: the Position view asks for one at every refresh, and
// during fast playback that would otherwise turn into an endless buzz.

namespace {

constexpr unsigned kRateHz = 8000;
constexpr int kSamplesPerMs = kRateHz / 1000;
constexpr int kMaxDurationMs = 1000;
constexpr int kMaxFrequencyHz = 4000;  // half the rate: one sample per half-period
constexpr int kBufferSamples = kSamplesPerMs * kMaxDurationMs;
constexpr int16_t kHigh = 32767;
constexpr int16_t kLow = -32767;  // one step inside the range, symmetric to kHigh
// The ring buffer holds the longest tone; the period only sets the wake-up
// granularity of the device.
constexpr snd_pcm_uframes_t kRingFrames = kBufferSamples;
constexpr snd_pcm_uframes_t kPeriodFrames = kRingFrames / 10;
constexpr int kDrainPollMs = 10;
constexpr int kDrainSlackMs = 200;

snd_pcm_t* pcm = nullptr;
snd_pcm_uframes_t ringFrames = 0;
int16_t samples[kBufferSamples];

// ALSA prints its own complaints (no card, no config) on stderr; a missing
// sound device is normal here and means silence.
void SilentAlsaError(const char*, int, const char*, int, const char*, ...) {}

// The rate must be exact: on another rate the tone would sound at another
// pitch, so a device that cannot take it stays silent.
bool ConfigureHardware(snd_pcm_t* handle)
{
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    snd_pcm_uframes_t ring = kRingFrames;
    snd_pcm_uframes_t period = kPeriodFrames;
    if (snd_pcm_hw_params_any(handle, hw) < 0 ||
        snd_pcm_hw_params_set_access(handle, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
        snd_pcm_hw_params_set_format(handle, hw, SND_PCM_FORMAT_S16) < 0 ||
        snd_pcm_hw_params_set_channels(handle, hw, 1) < 0 ||
        snd_pcm_hw_params_set_rate(handle, hw, kRateHz, 0) < 0 ||
        snd_pcm_hw_params_set_buffer_size_near(handle, hw, &ring) < 0 ||
        snd_pcm_hw_params_set_period_size_near(handle, hw, &period, nullptr) < 0 ||
        snd_pcm_hw_params(handle, hw) < 0)
        return false;
    if (snd_pcm_hw_params_get_buffer_size(hw, &ring) < 0)
        return false;
    ringFrames = ring;
    return true;
}

bool ConfigureSoftware(snd_pcm_t* handle)
{
    snd_pcm_sw_params_t* sw = nullptr;
    snd_pcm_sw_params_alloca(&sw);
    // Start with the first sample: a short tone must not wait for a full ring.
    return snd_pcm_sw_params_current(handle, sw) >= 0 && snd_pcm_sw_params_set_start_threshold(handle, sw, 1) >= 0 &&
           snd_pcm_sw_params(handle, sw) >= 0;
}

// True while the device still plays an earlier tone. A finished tone leaves
// the stream in underrun, which the next write must clear first.
bool StillPlaying()
{
    const snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm);
    if (avail < 0)
        return false;
    return snd_pcm_state(pcm) == SND_PCM_STATE_RUNNING && snd_pcm_uframes_t(avail) < ringFrames;
}

bool ReadyForWrite()
{
    switch (snd_pcm_state(pcm)) {
    case SND_PCM_STATE_PREPARED:
    case SND_PCM_STATE_RUNNING:
        return true;
    case SND_PCM_STATE_SUSPENDED:
        if (snd_pcm_resume(pcm) == 0)
            return true;
        [[fallthrough]];
    default:
        return snd_pcm_prepare(pcm) == 0;
    }
}

}  // namespace

void FillSquareWave(int16_t* out, int count, int halfPeriod)
{
    for (int i = 0; i < count; ++i)
        out[i] = ((i / halfPeriod) % 2 == 1) ? kHigh : kLow;
}

void OpenTone()
{
    if (pcm)
        return;
    snd_lib_error_set_handler(SilentAlsaError);
    snd_pcm_t* handle = nullptr;
    if (snd_pcm_open(&handle, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0)
        return;
    if (!ConfigureHardware(handle) || !ConfigureSoftware(handle)) {
        snd_pcm_close(handle);
        return;
    }
    pcm = handle;
}

void CloseTone()
{
    if (!pcm)
        return;
    // Let a tone that is still sounding end, but never hang the exit on a
    // device that stalls: the longest tone lasts a second.
    if (snd_pcm_state(pcm) == SND_PCM_STATE_RUNNING && snd_pcm_drain(pcm) == -EAGAIN) {
        for (int waitedMs = 0; waitedMs < kMaxDurationMs + kDrainSlackMs; waitedMs += kDrainPollMs) {
            if (snd_pcm_state(pcm) != SND_PCM_STATE_DRAINING)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(kDrainPollMs));
        }
    }
    snd_pcm_close(pcm);
    pcm = nullptr;
    ringFrames = 0;
}

bool ToneIsPlayable(int frequencyHz, int durationMs)
{
    return frequencyHz >= 1 && frequencyHz <= kMaxFrequencyHz && durationMs >= 1 && durationMs <= kMaxDurationMs;
}

void PlayTone(int frequencyHz, int durationMs)
{
    if (!ToneIsPlayable(frequencyHz, durationMs) || !pcm)
        return;
    if (StillPlaying() || !ReadyForWrite())
        return;
    const int count = kSamplesPerMs * durationMs;
    FillSquareWave(samples, count, kMaxFrequencyHz / frequencyHz);
    // A ring smaller than the tone takes what fits; the rest is dropped
    // rather than waited for.
    const snd_pcm_sframes_t written = snd_pcm_writei(pcm, samples, snd_pcm_uframes_t(count));
    if (written == -EPIPE || written == -ESTRPIPE) {
        if (snd_pcm_recover(pcm, int(written), 1) == 0)
            snd_pcm_writei(pcm, samples, snd_pcm_uframes_t(count));
    }
}

// The desktop's bell has neither pitch nor length to set. Without a GUI
// application (batch runs) there is no bell to ring, and asking for one would crash.
void SystemBeep(int, int)
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        QApplication::beep();
}
