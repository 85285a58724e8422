#include "Sound.h"

// Placeholder until the tone output lands: silence.
void OpenTone() {}
void CloseTone() {}
void PlayTone(int, int) {}
void SystemBeep(int, int) {}
