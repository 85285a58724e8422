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

TMainForm* CreateProgramWindows()
{
    auto* main = new TMainForm;
    new TPositionForm(main);
    new TStatisticForm(main);
    new TAboutForm(main);
    new TSatellitesForm(main);
    new TVisualForm(main);
    new TProfileForm(main);
    new TTimerForm(main);
    new TPlayerForm(main);
    main->LinkViews();
    return main;
}
