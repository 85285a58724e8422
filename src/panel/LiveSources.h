#pragma once
// The panel's live sources: opening the selected port or network source,
// reconnecting a lost one during a recording or a watch, the port list
// with its stable names and remembered network sources ("Add source...",
// the last eight), and their settings.
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QTimer;
class TMainForm;

class LiveSources : public QObject {
public:
    // Adds "Watch" and "Reconnect automatically" to the panel's title-strip
    // menu and "Add source..." to its port list.
    explicit LiveSources(TMainForm& panel);

    // Opens the selected source as a recording or watch does; on failure
    // says why in InfoLabel unless quiet. With resume, a network source is
    // opened by a worker: false now, and resume is called once it is open,
    // when this returns true.
    bool Open(bool binr, bool quiet = false, const std::function<void()>& resume = {});
    // The device vanished (adapter pulled, other side of a pty closed): the
    // reader has ended after delivering every byte it got.
    void ConnectionLost();
    void ReconnectTick();
    bool Reconnecting() const;
    void StopReconnecting();
    bool ReconnectEnabled() const { return reconnectEnabled_; }
    void SetReconnectEnabled(bool on) { reconnectEnabled_ = on; }

    // The ports found now, then the remembered sources and "Add source...".
    void FillPortList();
    // The remembered network sources (newest first, at most kRememberedSources)
    // and "Reconnect automatically"; loading also selects the stored port.
    void LoadSettings();
    void SaveSettings();

    // The "Add source..." dialog: returns the address typed, empty when
    // cancelled. Tests replace it.
    std::function<QString()> askSourceAddress;

private:
    TMainForm& panel_;
    QTimer* reconnectTimer_ = nullptr;
    bool reconnectEnabled_ = false;
    // Set when a worker has just opened the selected source for the start that
    // is called again now: that start finds its source open.
    bool openedByWorker_ = false;

    void AddMenuItems();
    void HookAddSource();
    void BeginReconnect();
    void TellOpenFailure(const QString& name);
    // After the ports: the remembered sources and "Add source...", and each
    // port's tooltip (a stable name's full path).
    void AppendSourceItems();
};

// The remembered sources, newest first; address goes to the front.
QStringList RememberedSources();
void RememberSource(const QString& address);
constexpr int kRememberedSources = 8;
