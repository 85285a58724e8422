#pragma once
// The receiver's synchronization (the search for its line rate, and with
// BINR its move to the user's rate and its identification) and what a
// protocol switch tells the receiver.
class TMainForm;

class Synchro {
public:
    explicit Synchro(TMainForm& panel);
    // Synchro pressed: the search starts at the slowest rate.
    void Start();
    // One step of the search, at each SynchroTimer tick.
    void Tick();
    // The protocol switch turned to NMEA or BINR: the default file, the
    // search's pace, and the command that moves the receiver over.
    void NmeaSelected();
    void BinrSelected();

private:
    TMainForm& panel_;
};
