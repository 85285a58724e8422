#pragma once
// The main window's current activity and the button rows of its transport
// panel. Every playback, recording and synchronization ends in amStop.
#include <cstdint>

enum ActionMode : uint32_t {
    amSync = 1,
    amOpen = 2,
    amPlay = 3,
    amFastPlay = 4,
    amPause = 5,
    amStop = 6,
    amRecord = 7,
    amWatch = 8,   // a live source shown in the views, nothing written
};

// Button-state rows of the transport panel.
enum class ButtonRow { Sync, Play, FastPlay, Pause, Stop, Record, Watch };
