#pragma once
// Tone output: square-wave warning tones through the default sound device,
// and the system beep.
void OpenTone();
void CloseTone();
// Returns at once; the tone plays in the background. Nothing plays for a
// frequency outside 1..4000 Hz or a duration above 1000 ms.
void PlayTone(int frequencyHz, int durationMs);
void SystemBeep(int frequencyHz, int durationMs);
