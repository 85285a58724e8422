#pragma once
// The views docked around the panel, and their links to it and to each
// other: POSITION, STATISTIC and SATELLITES in
// a column under it (each switched view pushes the ones below it down),
// VISUAL at its right; all of them follow the panel when it is dragged by
// its title strip.
class Intake;
class TMainForm;

class ViewDock {
public:
    explicit ViewDock(TMainForm& panel);
    // Hands the views that exist what they read of the panel and of each
    // other (TMainForm::LinkViews).
    void Link();
    // The source the views show: the panel's intake (Link), or a bench
    // receiver's while they follow it.
    void LinkIntake(Intake& intake);
    // Shows or hides the view as its switch on the panel now says; false
    // when the program has no such window.
    bool SwitchPosition();
    bool SwitchStatistic();
    bool SwitchSatellites();
    void SwitchVisual();
    void MoveAll(int dx, int dy);
    // TIMER over the middle of the panel, modal; false without one.
    bool ShowTimer();
    // About at the panel's left, modal.
    void ShowAbout();

    // Dragging the frameless panel by its title strip (strip coordinates):
    // the panel and its views move together. Release is true when a drag ended.
    void Grab(int x, int y);
    void Drag(int x, int y);
    bool Release();

private:
    TMainForm& panel_;
    bool dragging_ = false;
    int dragX_ = 0;
    int dragY_ = 0;
};
