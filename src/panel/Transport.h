#pragma once
// The panel's transport: open, play, fast play, pause, stop, record, watch,
// the watch timer, the scheduled start and stop, and the playback threads
// from their start to their reaping.
//
// Every playback, recording, watch and synchronization ends through Stop.
// Every recording starts through Record, whatever the mode before it: from
// STOP the source opens and the intake starts on live data as a watch start
// does; from WATCH the open source goes on and the file starts with the next
// block. Either way the file, its FILE.times and the side file start in the
// same order, so no start can leave one of them out.
//
// The panel keeps the buttons, the mode it shows and the intake; the
// transport decides what a press does.
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class PlaybackSource;
struct PlaybackCallbacks;
class TMainForm;
class TReadCycle;

class Transport : public QObject {
public:
    explicit Transport(TMainForm& panel);
    ~Transport() override;

    void Eject();
    // Makes the folder of path the current folder and puts its file name in
    // FileLabel. A folder that cannot be entered changes nothing: false, and
    // InfoLabel says why (a bare name would otherwise lead to a file of that
    // name here).
    bool TakeFileName(const QString& path);
    // The file named on the command line, with its protocol: played at start-up.
    void PlayCommandLineFile();
    // A thread started from STOP reads its first blocks at normal pace
    // (Play) or at fast pace (FastPlay).
    void Play(bool firstBlocksNormal = true);
    void FastPlay();
    void Pause();
    // byUser: the panel's button, not the program's own stop.
    void Stop(bool byUser);
    // byUser: the first press over an existing file (or a side-file name
    // holding a recording) warns; the next one records.
    void Record(bool byUser);
    void Watch();
    void WatchTick();
    void ScheduledStart();
    void ScheduledStop();
    // Play through a playback thread made by a feature (the PLAYER's paced
    // playback) from the callbacks of the current playback: the bookkeeping
    // of Play from STOP, then the thread starts. False, and nothing made,
    // when the panel is not stopped.
    bool PlayCycle(const QString& fileName, const std::function<TReadCycle*(PlaybackCallbacks)>& make);
    // A paced playback's seek (PanelLink::SeekReset).
    void SeekReset(int64_t offset, const std::vector<uint8_t>& before);

    // Stops a recording, synchronization or playback and ends every playback
    // thread still alive, serving only their hand-offs meanwhile (no other
    // event is processed). Called inside a playback hand-off, the thread
    // that waits for the caller is ended as soon as the hand-off returns.
    // Safe to call more than once.
    void ShutDown();
    // The panel goes away: a thread still inside a hand-off (the caller's)
    // ends by itself once the call returns, touching nothing of ours.
    void Abandon();
    // Playback threads created and not yet reaped (the current one included).
    int LiveCycles() const { return int(liveCycles_.size()); }
    // The current playback thread, or null outside playback.
    TReadCycle* ReadCycle() const { return readCycle_; }
    // A recording goes on at the end of an existing file, its FILE.times and
    // its side file (headless --append) instead of replacing them.
    void SetRecordAppend(bool on) { recordAppend_ = on; }


private:
    TMainForm& panel_;
    // The last playback thread created; used only in amPlay, amFastPlay and
    // amPause, and cleared when the thread is reaped.
    TReadCycle* readCycle_ = nullptr;
    std::vector<TReadCycle*> liveCycles_;
    // Each playback started gets the next number; its callbacks act only
    // while that number is still the current playback's.
    uint64_t playbackSerial_ = 0;
    uint64_t currentPlayback_ = 0;
    int64_t playbackSize_ = 0;
    bool recordAppend_ = false;
    // The text Record's first press blinks (from STOP).
    QString recordWarning_;
    // A Record press in a watch over an existing file warns first, as from STOP.
    bool overwriteArmed_ = false;
    bool shutDown_ = false;

    // False when this press only warned.
    bool PassedWarning(const QString& name, bool binr, bool byUser);
    // What Record's first press warns about, or empty: an existing record
    // file, or (BINR) a side-file name that holds a recording.
    QString RecordWarning(const QString& name, bool binr) const;
    // The file (created, or continued with recordAppend_), its FILE.times,
    // the counters. False, with InfoLabel saying why, when it cannot be opened.
    bool BeginRecordFile(const QString& name);
    // A recording or a watch whose source just opened: the intake starts
    // afresh on live data, dated by the clock.
    void BeginLive(bool binr, uint32_t mode);
    // Opens the side file of FileLabel's file; InfoLabel names it when it
    // cannot have its usual name.
    void OpenSideFile(bool append);
    void StartPlaybackThread(std::unique_ptr<PlaybackSource> source, bool normalSpeed);
    void StartCycle(const std::function<TReadCycle*(PlaybackCallbacks)>& make);
    // Counters, decoders, views, side file and statistics as a playback starts.
    void PrepareForPlayback(int64_t fileSize, int64_t modifiedS);
    // The playback thread's callbacks, for the current playback only.
    void DeliverPlaybackBlock(const uint8_t* bytes, int length);
    void FinishPlayback();
    void ReapCycle(TReadCycle* cycle);
    // Ends and reaps every playback thread that is not blocked on the caller;
    // one that is gets joined once its hand-off has returned.
    void JoinCycles();
};

// The synthesis side file for a record or played file, or empty when it
// would be that very file.
QString SideFileFor(const QString& fileName);
