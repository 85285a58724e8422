#pragma once
// The program's windows by name. Only the panel and the program (src/app)
// read these: a window beside the panel is handed what it needs instead, so
// no view can include this header. The program sets each one as it makes
// the window, and it goes back to null when the window is destroyed
// (TrackWindow, src/app/WindowGlobals.h).
class TAboutForm;
class TMainForm;
class TPlayerForm;
class TPositionForm;
class TProfileForm;
class TSatellitesForm;
class TStatisticForm;
class TTimerForm;
class TVisualForm;

extern TMainForm* MainForm;
extern TPositionForm* PositionForm;
extern TStatisticForm* StatisticForm;
extern TSatellitesForm* SatellitesForm;
extern TVisualForm* VisualForm;
extern TProfileForm* ProfileForm;
extern TPlayerForm* PlayerForm;
extern TTimerForm* TimerForm;
extern TAboutForm* AboutForm;
