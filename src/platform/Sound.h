#pragma once
// Tone output: square-wave warning tones through the default sound device,
// and the system beep.
#include <cstdint>

void OpenTone();
void CloseTone();
// Returns at once; the tone plays in the background. Nothing plays for a
// frequency outside 1..4000 Hz or a duration above 1000 ms.
void PlayTone(int frequencyHz, int durationMs);
void SystemBeep(int frequencyHz, int durationMs);

// The wave PlayTone sends: count samples at 8000 Hz, low for the first
// halfPeriod samples, then high, and so on (halfPeriod >= 1).
void FillSquareWave(int16_t* out, int count, int halfPeriod);
// Whether PlayTone would sound for these arguments (a device given).
bool ToneIsPlayable(int frequencyHz, int durationMs);
