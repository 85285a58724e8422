// The window globals (WindowGlobals.h), defined once for the program.
#include "About.h"
#include "Mainfile.h"
#include "Player.h"
#include "Position.h"
#include "Profile.h"
#include "Satellites.h"
#include "Statistic.h"
#include "Timerfile.h"
#include "Visual.h"

TMainForm* MainForm = nullptr;
TPositionForm* PositionForm = nullptr;
TStatisticForm* StatisticForm = nullptr;
TSatellitesForm* SatellitesForm = nullptr;
TVisualForm* VisualForm = nullptr;
TProfileForm* ProfileForm = nullptr;
TPlayerForm* PlayerForm = nullptr;
TTimerForm* TimerForm = nullptr;
TAboutForm* AboutForm = nullptr;
