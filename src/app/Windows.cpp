#include "Windows.h"

#include "About.h"
#include "Mainfile.h"
#include "Player.h"
#include "Position.h"
#include "Profile.h"
#include "Satellites.h"
#include "Statistic.h"
#include "Timerfile.h"
#include "Visual.h"
#include "WindowGlobals.h"

TMainForm* CreateProgramWindows()
{
    auto* main = TrackWindow(MainForm, new TMainForm);
    TrackWindow(PositionForm, new TPositionForm(main));
    TrackWindow(StatisticForm, new TStatisticForm(main));
    TrackWindow(AboutForm, new TAboutForm(main));
    TrackWindow(SatellitesForm, new TSatellitesForm(main));
    TrackWindow(VisualForm, new TVisualForm(main));
    TrackWindow(ProfileForm, new TProfileForm(main));
    TrackWindow(TimerForm, new TTimerForm(main));
    TrackWindow(PlayerForm, new TPlayerForm(main))->SetPanel(main);
    main->LinkViews();
    return main;
}
