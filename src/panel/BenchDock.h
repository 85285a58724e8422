#pragma once
// The panel's bench: "Bench..." in the title strip's menu, the BENCH window
// and the recorder behind it, the bench's settings, Start, Stop and Report,
// and the classic views following one receiver. The recorder belongs here,
// not to the window: closing the window leaves a recording running; closing
// the panel ends it (ShutDown).
#include "BenchFolder.h"
#include "BenchReceiver.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class BenchRecorder;
class BenchReplay;
class TBenchForm;
class TMainForm;

class BenchDock : public QObject {
public:
    explicit BenchDock(TMainForm& panel);
    ~BenchDock() override;

    // Made at its first show, with the remembered set-up.
    TBenchForm* ShowBench();
    TBenchForm* BenchWindow() const;
    BenchRecorder& Recorder() { return *recorder_; }
    // The window the last session left open, open again.
    void RestoreWindow();
    // --bench SOURCE[=NAME]...: added to the bench (and remembered); what
    // cannot be added is returned, one "SOURCE: why" each.
    QStringList AddSources(const QStringList& sources, bool binr, int baud);

    // As the window's buttons. Start: false, with the reason in the
    // window's status, when nothing started.
    bool Start();
    void Stop();
    void Report();
    // The classic views show receiver index (of the running bench) instead
    // of the panel's source; the same index again, -1, or no bench running:
    // back to the panel's source.
    void Follow(int index);
    int Following() const { return following_; }
    // A test folder replayed in the PLAYER (null: none any more): the window
    // shows its receivers while the recorder is not running, and a click on
    // a column makes the classic views follow the replayed receiver.
    void ShowReplay(const std::shared_ptr<BenchReplay>& replay);
    // The replay's figures moved on.
    void ReplayUpdated() { Updated(); }

    // Stops the bench and the following; the panel is closing.
    void ShutDown();

    // The folder's report page: true with the page's path, or false with
    // why (a page of the readable recordings may come with a problem too).
    // Set by the program (the report is above the panel); unset, the
    // Report button says it is not available.
    std::function<bool(const QString& folder, QString* page, QString* problem)> writeReport;
    // The table of the folder's recordings, with the receivers' states:
    // shown at Stop when a receiver's live figures were thinned, so the
    // table then is the report's. Set by the program, as writeReport.
    std::function<bool(const QString& folder, const std::vector<BenchState>& states, std::vector<BenchRow>* rows)>
        folderTable;
    // Opens the written page; tests replace it.
    std::function<bool(const QString& page)> openPage;

private:
    void Updated();
    // The receivers shown: the running recorder's, else the replay's, else
    // the recorder's last ones.
    std::vector<const BenchReceiver*> ShownReceivers(std::optional<BenchReference>* reference) const;
    void SaveSetup();
    void Say(const QString& text);

    TMainForm& panel_;
    std::unique_ptr<BenchRecorder> recorder_;
    QPointer<TBenchForm> form_;
    int following_ = -1;
    std::optional<std::vector<BenchRow>> finalRows_;   // the recordings' table, after a thinned test
    // The PLAYER's while it replays a test folder; the PLAYER may go first.
    std::weak_ptr<BenchReplay> replay_;
};
