#pragma once
// The views docked around the panel: POSITION, STATISTIC and SATELLITES in
// a column under it (each switched view pushes the ones below it down),
// VISUAL at its right; all of them follow the panel when it is dragged.
class TMainForm;

class ViewDock {
public:
    explicit ViewDock(TMainForm& panel);
    // Shows or hides the view as its switch on the panel now says; false
    // when the program has no such window.
    bool SwitchPosition();
    bool SwitchStatistic();
    bool SwitchSatellites();
    void SwitchVisual();
    void MoveAll(int dx, int dy);

private:
    TMainForm& panel_;
};
