#pragma once
// The program's windows, created in their fixed order: main window,
// Position, Statistic, About, Satellites, Visual, Profile, Timer, Player.
// All but the main window start hidden and belong to it.
class TMainForm;

TMainForm* CreateProgramWindows();
