// The panel's bench (BenchDock.h).
//
// The window is fed once a second from the recorder's `updated`, never per
// block: eight receivers at 10 Hz would otherwise redraw the table eighty
// times a second. Following hands one receiver's intake to the panel's end
// of the byte road (SourceFeed::Follow), which then drives the classic views
// from it instead of from the panel's source; nothing else of the panel
// changes, so without the bench the classic behaviour is untouched.
#include "BenchDock.h"

#include "Angles.h"
#include "Bench.h"
#include "BenchRecorder.h"
#include "BenchReplay.h"
#include "BenchSettings.h"
#include "Comm.h"
#include "LiveSources.h"
#include "Mainfile.h"
#include "SettingsFile.h"
#include "SourceDialog.h"
#include "SourceFeed.h"
#include "Visual.h"
#include "WindowPlace.h"

#include <QAction>
#include <QCheckBox>
#include <QDesktopServices>
#include <QMenu>
#include <QUrl>

namespace {

constexpr char kWindowPrefix[] = "Bench";
constexpr int kWindowGap = 8;

} // namespace

BenchDock::BenchDock(TMainForm& panel) : QObject(&panel), panel_(panel), recorder_(std::make_unique<BenchRecorder>())
{
    QMenu* menu = panel_.TitleMenu();
    menu->addSeparator();
    connect(menu->addAction(QStringLiteral("Bench...")), &QAction::triggered, this, [this] { ShowBench(); });
    recorder_->SetHandlers({[this] { Updated(); }, [this](int) { Updated(); }});
    openPage = [](const QString& page) { return QDesktopServices::openUrl(QUrl::fromLocalFile(page)); };
}

BenchDock::~BenchDock() = default;

TBenchForm* BenchDock::BenchWindow() const { return form_; }

TBenchForm* BenchDock::ShowBench()
{
    const bool made = !form_;
    if (made) {
        auto* form = new TBenchForm(&panel_);
        form->askAddress = [form] {
            SourceDialog dialog(form);
            return dialog.exec() == QDialog::Accepted ? dialog.Address() : QString();
        };
        form->listPorts = [] { return ListPorts(nullptr); };
        form->startClicked = [this] { Start(); };
        form->stopClicked = [this] { Stop(); };
        form->reportClicked = [this] { Report(); };
        form->columnClicked = [this](int i) { Follow(i == following_ ? -1 : i); };
        form->changed = [this] { SaveSetup(); };
        if (!panel_.headless) {
            if (const std::unique_ptr<QSettings> stored = OpenSettings()) {
                const BenchSetup setup = LoadBenchSetup(*stored);
                form->SetSources(setup.sources);
                form->SetReference(setup.reference);
                form->SetRecordDir(setup.recordDir);
                form->SetTitle(setup.title);
            }
        }
        bool visible = false;
        if (panel_.headless || !LoadWindowPlace(*form, kWindowPrefix, &visible))
            form->move(panel_.x() + panel_.width() + kWindowGap, panel_.y());
        if (!panel_.headless)
            new WindowPlaceKeeper(form, kWindowPrefix);
        form->SetRunning(recorder_->Running());
        form_ = form;
    }
    form_->show();
    // Once shown its frame is known: all of it inside the screen.
    if (made)
        KeepInsideScreen(*form_, &panel_);
    if (!panel_.headless)
        form_->raise();
    Updated();
    return form_;
}

void BenchDock::RestoreWindow()
{
    const std::unique_ptr<QSettings> stored = OpenSettings();
    if (stored && stored->value(QString::fromLatin1(kWindowPrefix) + QStringLiteral("Visible")).toString().trimmed() == "1")
        ShowBench();
}

QStringList BenchDock::AddSources(const QStringList& sources, bool binr, int baud)
{
    TBenchForm* form = ShowBench();
    std::vector<BenchSourceSetup> all = form->Sources();
    QStringList problems;
    for (const QString& text : sources) {
        QString why;
        if (int(all.size()) >= kBenchMaxSources)
            problems << text + QStringLiteral(": a bench takes at most %1 sources").arg(kBenchMaxSources);
        else if (const auto source = BenchSourceFromText(text, binr, baud, all, &why))
            all.push_back(*source);
        else
            problems << why;
    }
    form->SetSources(all);
    SaveSetup();
    return problems;
}

void BenchDock::SaveSetup()
{
    if (panel_.headless || !form_)
        return;
    const std::unique_ptr<QSettings> stored = OpenSettings();
    if (!stored)
        return;
    SaveBenchSetup(*stored, {form_->Sources(), form_->Reference(), form_->RecordDir(), form_->Title()});
    stored->sync();
}

void BenchDock::Say(const QString& text)
{
    if (form_)
        form_->SetStatus(text);
}

// ---------------------------------------------------------------- running

bool BenchDock::Start()
{
    TBenchForm* form = ShowBench();
    if (recorder_->Running())
        return true;
    Follow(-1);
    replay_.reset();   // a new recording is shown, not the replay any more
    if (form->Sources().empty()) {
        Say(QStringLiteral("Add a source first"));
        return false;
    }
    if (form->ReferenceCheckBox->isChecked() && !form->Reference()) {
        Say(QStringLiteral("Reference: latitude -90 to 90, longitude -180 to 180 (degrees), height in metres"));
        return false;
    }
    recorder_->SetSources(form->Sources());
    recorder_->SetReference(form->Reference());
    recorder_->SetReconnect(panel_.live_->ReconnectEnabled());
    finalRows_.reset();
    if (!recorder_->Start(form->RecordDir(), form->Title())) {
        Say(QStringLiteral("Not started: ") + recorder_->Problems().join(QStringLiteral("; ")));
        return false;
    }
    form->SetRunning(true);
    QString text = recorder_->Folder().isEmpty() ? QStringLiteral("Watching (no record folder)")
                                                 : QStringLiteral("Recording into ") + recorder_->Folder();
    if (!recorder_->Problems().isEmpty())
        text += QStringLiteral("; ") + recorder_->Problems().join(QStringLiteral("; "));
    Say(text);
    Updated();
    return true;
}

void BenchDock::Stop()
{
    Follow(-1);
    if (!recorder_->Running())
        return;
    recorder_->Stop();
    if (form_)
        form_->SetRunning(false);
    // A day-long test keeps its live figures on a thinned log; its table at
    // the end is then made again from the recordings, as the report makes it.
    bool thinned = false;
    std::vector<BenchState> states;
    for (const auto& r : recorder_->Receivers()) {
        thinned = thinned || r->Thinned();
        states.push_back(r->State());
    }
    std::vector<BenchRow> rows;
    if (thinned && !recorder_->Folder().isEmpty() && folderTable && folderTable(recorder_->Folder(), states, &rows))
        finalRows_ = std::move(rows);
    QString text = recorder_->Folder().isEmpty() ? QStringLiteral("Stopped")
                                                 : QStringLiteral("Stopped; recorded into ") + recorder_->Folder();
    if (!recorder_->Problems().isEmpty())
        text += QStringLiteral("; ") + recorder_->Problems().join(QStringLiteral("; "));
    Say(text);
    Updated();
}

void BenchDock::ShutDown()
{
    Follow(-1);
    recorder_->Stop();
}

void BenchDock::Report()
{
    // A test being replayed is the one the user looks at: its report, not
    // that of the last recording.
    const std::shared_ptr<BenchReplay> replay = replay_.lock();
    const QString folder = replay && replay->IsOpen() && !recorder_->Running() ? replay->Folder() : recorder_->Folder();
    if (recorder_->Running()) {
        Say(QStringLiteral("Stop the bench first: the report is made of finished recordings"));
        return;
    }
    if (folder.isEmpty()) {
        Say(QStringLiteral("Nothing recorded yet: choose a record folder and Start"));
        return;
    }
    if (!writeReport) {
        Say(QStringLiteral("The report is not available here: run kestrova --report ") + folder);
        return;
    }
    QString page, problem;
    if (!writeReport(folder, &page, &problem)) {
        Say(QStringLiteral("Report failed: ") + problem);
        return;
    }
    // A receiver that never opened leaves its column empty, with a message.
    const bool opened = openPage && openPage(page);
    Say((opened ? QStringLiteral("Report opened: ") : QStringLiteral("Report written: ")) + page +
        (problem.isEmpty() ? QString() : QStringLiteral("; ") + problem.replace(QLatin1Char('\n'), QStringLiteral("; "))));
}

void BenchDock::ShowReplay(const std::shared_ptr<BenchReplay>& replay)
{
    // The receivers followed may be about to go.
    if (!recorder_->Running())
        Follow(-1);
    replay_ = replay;
    if (replay && replay->IsOpen()) {
        ShowBench();
        Say(QStringLiteral("Replaying ") + replay->Folder());
    }
    Updated();
}

void BenchDock::Follow(int index)
{
    const std::shared_ptr<BenchReplay> replay = recorder_->Running() ? nullptr : replay_.lock();
    const bool replayed = replay && replay->IsOpen();
    const auto& receivers = replayed ? replay->Receivers() : recorder_->Receivers();
    if (index < 0 || index == following_ || (!recorder_->Running() && !replayed) || index >= int(receivers.size())) {
        if (following_ >= 0)
            panel_.feed_->Follow(nullptr);
        following_ = -1;
    } else {
        panel_.feed_->Follow(&receivers[size_t(index)]->In());
        following_ = index;
        Say(QStringLiteral("POSITION ... PROFILE follow ") + QString::fromStdString(receivers[size_t(index)]->Source().name));
    }
    // VISUAL plots round the bench's reference while it follows one of
    // its receivers.
    std::optional<BenchReference> reference;
    if (following_ >= 0)
        ShownReceivers(&reference);
    if (VisualForm)
        VisualForm->LendReference(reference ? std::optional<GeoPosition>(GeoPosition{
                                                  reference->latDeg * kRadPerDeg, reference->lonDeg * kRadPerDeg,
                                                  reference->heightM})
                                            : std::nullopt);
    if (form_)
        form_->SetFollowed(following_);
}

void BenchDock::Updated()
{
    if (!form_ || !form_->isVisible())
        return;
    std::optional<BenchReference> reference;
    const std::vector<const BenchReceiver*> receivers = ShownReceivers(&reference);
    // The recordings' table after a thinned test, until a replay or a new start.
    const bool replayed = !recorder_->Running() && !replay_.expired();
    form_->ShowReceivers(receivers, reference, finalRows_ && !replayed ? &*finalRows_ : nullptr);
}

std::vector<const BenchReceiver*> BenchDock::ShownReceivers(std::optional<BenchReference>* reference) const
{
    const std::shared_ptr<BenchReplay> replay = recorder_->Running() ? nullptr : replay_.lock();
    const bool replayed = replay && replay->IsOpen();
    *reference = replayed ? replay->Manifest().reference : recorder_->Reference();
    std::vector<const BenchReceiver*> receivers;
    for (const auto& r : replayed ? replay->Receivers() : recorder_->Receivers())
        receivers.push_back(r.get());
    return receivers;
}
