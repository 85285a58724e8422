#pragma once
// The panel's commands to the receiver: the synchronization (the search for
// its line rate, and with BINR its move to the user's rate and its
// identification), what a protocol switch tells it, and what a recording
// asks it to send.
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
    // What a recording or watch tells a BINR receiver to send (again after
    // a reconnect), and POSITION's own messages switched on or off.
    void SendRecordStartSequence();
    void SendPositionCommands(bool on);

private:
    TMainForm& panel_;
};
