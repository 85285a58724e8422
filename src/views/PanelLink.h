#pragma once
// What a window beside the panel may ask of it, and nothing more: the file
// and protocol chosen, the line rate, the information line, the mode, and
// the requests a paced playback makes of the panel's transport. The panel
// implements it; the program hands it to the windows that need it when it
// makes them.
#include "ActionMode.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class BenchReplay;
class DatePolicy;
class QMenu;
class QObject;
class QWidget;
class TReadCycle;
struct PlaybackCallbacks;

class PanelLink {
public:
    virtual ~PanelLink() = default;

    // The panel's own window: a window beside it places itself by it and
    // follows its moves.
    virtual QWidget* PanelWindow() = 0;
    // The right-click menu of the title strip, where features add their items.
    virtual QMenu* TitleMenu() = 0;
    // A headless run reads and writes no settings.
    virtual bool Headless() const = 0;

    // The file named on the panel (as typed: relative to the current folder).
    virtual QString FileName() const = 0;
    virtual bool Binr() const = 0;
    // The line rate selected, in bits per second.
    virtual int LineRate() const = 0;
    // The panel's information line.
    virtual void SetStatusText(const QString& text) = 0;
    // How the panel's source dates BINR weeks (the file played, or the clock).
    virtual const DatePolicy& SourceDates() const = 0;

    virtual uint32_t Mode() const = 0;
    // The current playback thread, or null outside playback.
    virtual TReadCycle* ReadCycle() const = 0;
    // Play through a thread made by make from the callbacks of the current
    // playback; false, and nothing made, unless the panel is stopped.
    virtual bool PlayCycle(const QString& fileName, const std::function<TReadCycle*(PlaybackCallbacks)>& make) = 0;
    // As the panel's Play, Pause and Stop, pressed by the program.
    virtual void PlayRequest() = 0;
    virtual void PauseRequest() = 0;
    virtual void StopRequest() = 0;
    // A paced playback's seek to the epoch at byte offset: before holds the
    // bytes before it, which take the intake unseen so that the epoch then
    // shows as a play from the start shows it; what counts and collects
    // starts afresh there.
    virtual void SeekReset(int64_t offset, const std::vector<uint8_t>& before) = 0;

    // The PLAYER replays a test folder (null: no longer): the panel shows
    // its receivers in the BENCH window and lets the classic views follow
    // one of them. Updated: their figures moved on (about once a second).
    virtual void ShowBenchReplay(const std::shared_ptr<BenchReplay>&) {}
    virtual void BenchReplayUpdated() {}

    // f runs after every mode change, and when a drag of the panel ends,
    // for as long as context lives.
    virtual void OnModeChanged(QObject* context, std::function<void()> f) = 0;
    virtual void OnPanelPlaced(QObject* context, std::function<void()> f) = 0;
};
