// SIGNALS and CONSOLE in the panel: their menu items, their share of the
// intake's routing, and the commands the console sends.
//
// The windows see nothing of the panel but what is handed to them here: the
// decoder results for SIGNALS, and for CONSOLE a message log that the
// captures below fill from the bytes each decoder call consumed. Both are
// fed only while their window is shown, so a closed window costs the intake
// one test per decoder result. Sent commands go through the port's write
// path; asked to, they join the recording where no received message is cut
// by them: before the next block, once the last one ended between messages.
#include "ConsoleDock.h"

#include "BinrDecoder.h"
#include "Comm.h"
#include "Console.h"
#include "ConsoleModel.h"
#include "GnssEpoch.h"
#include "Mainfile.h"
#include "MessageCapture.h"
#include "MessageLog.h"
#include "NmeaAssembler.h"
#include "SettingsFile.h"
#include "Signals.h"
#include "SourceFeed.h"
#include "WindowPlace.h"

#include <QAction>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QRadioButton>

#include <algorithm>

namespace {

constexpr uint8_t kSentSource = 255;
constexpr int kSourcesMax = 250;            // names kept; later ones share the last number
constexpr size_t kPendingSentMax = 64 * 1024;
constexpr int kWindowGap = 8;
constexpr int kSignalsDefaultHeight = 260;
constexpr char kSignalsPrefix[] = "Signals";
constexpr char kConsolePrefix[] = "Console";

bool PlaybackMode(uint32_t mode) { return mode == amPlay || mode == amFastPlay || mode == amPause; }

// Shown at the last place it had, else beside the panel; its place is kept
// from then on (never in a headless run). Once shown (its frame known), it
// is moved inside the screen.
void PlaceWindow(QWidget& window, const char* prefix, bool headless, const QPoint& beside)
{
    bool visible = false;
    if (headless || !LoadWindowPlace(window, prefix, &visible))
        window.move(beside);
    if (!headless)
        new WindowPlaceKeeper(&window, prefix);
}

bool StoredVisible(const char* prefix)
{
    const std::unique_ptr<QSettings> stored = OpenSettings();
    return stored && stored->value(QString::fromLatin1(prefix) + QStringLiteral("Visible")).toString().trimmed() == "1";
}

} // namespace

ConsoleDock::ConsoleDock(TMainForm& panel) : QObject(&panel), panel_(panel)
{
    QMenu* menu = panel_.TitleMenu();
    menu->addSeparator();
    connect(menu->addAction(QStringLiteral("Signals...")), &QAction::triggered, this, [this] { ShowSignals(); });
    connect(menu->addAction(QStringLiteral("Messages...")), &QAction::triggered, this, [this] { ShowConsole(); });
    connect(&panel_, &TMainForm::ModeChanged, this, [this] { SourceChanged(); });
}

ConsoleDock::~ConsoleDock() = default;

TSignalsForm* ConsoleDock::SignalsWindow() const { return signalsForm; }
TConsoleForm* ConsoleDock::ConsoleWindow() const { return consoleForm; }

bool ConsoleDock::Feeding() const { return consoleForm && consoleForm->isVisible(); }
bool ConsoleDock::SignalsShown() const { return signalsForm && signalsForm->isVisible(); }

TSignalsForm* ConsoleDock::ShowSignals()
{
    ConsoleDock& c = *this;
    const bool made = !c.signalsForm;
    if (made) {
        c.signalsForm = new TSignalsForm(&panel_);
        PlaceWindow(*c.signalsForm, kSignalsPrefix, panel_.headless, QPoint(panel_.x() + panel_.width() + kWindowGap, panel_.y()));
    }
    // Unfed while hidden: what it held is old.
    if (!c.signalsForm->isVisible())
        c.signalsForm->Reset();
    c.signalsForm->show();
    if (made)
        KeepInsideScreen(*c.signalsForm, &panel_);
    // The offscreen platform of a headless run says on stderr that it cannot.
    if (!panel_.headless)
        c.signalsForm->raise();
    return c.signalsForm;
}

TConsoleForm* ConsoleDock::ShowConsole()
{
    ConsoleDock& c = *this;
    const bool made = !c.consoleForm;
    if (made) {
        c.log = std::make_unique<MessageLog>();
        auto* form = new TConsoleForm(&panel_);
        form->commandProblem = [this] { return CommandProblem(); };
        form->sendCommand = [this](const std::vector<uint8_t>& bytes, bool record) {
            return SendCommand(bytes, record);
        };
        form->Model()->SetSentSource(kSentSource);
        form->Model()->SetSourceName(kSentSource, QStringLiteral("sent"));
        for (int i = 0; i < c.sources.size(); ++i)
            form->Model()->SetSourceName(uint8_t(i), c.sources[i]);
        form->SetLog(c.log.get());
        // Rates count in the rows' time: a played recording's own.
        form->clockMs = [this] {
            return PlaybackMode(panel_.mode) ? std::max(blockMs, int64_t(0)) : QDateTime::currentMSecsSinceEpoch();
        };
        if (!panel_.headless)
            form->LoadHistory();
        // Beside the panel, under where SIGNALS opens: the views take the
        // room under the panel.
        PlaceWindow(*form, kConsolePrefix, panel_.headless,
                    QPoint(panel_.x() + panel_.width() + kWindowGap, panel_.y() + kSignalsDefaultHeight + 2 * kWindowGap));
        c.consoleForm = form;
    }
    if (!c.consoleForm->isVisible()) {
        c.nmea.Reset();
        c.binr.Reset();
    }
    c.consoleForm->show();
    if (made)
        KeepInsideScreen(*c.consoleForm, &panel_);
    if (!panel_.headless)
        c.consoleForm->raise();
    return c.consoleForm;
}

void ConsoleDock::RestoreWindows()
{
    if (StoredVisible(kSignalsPrefix))
        ShowSignals();
    if (StoredVisible(kConsolePrefix))
        ShowConsole();
}

// ---------------------------------------------------------------- routing

void ConsoleDock::OnConsumed(const Intake& intake, Protocol protocol, const uint8_t* bytes, int used, int result, bool first)
{
    ConsoleDock& c = *this;
    if (!c.Feeding() || panel_.priming_)
        return;
    // The messages of a block arrived together: one clock reading each.
    // A played recording's rows carry its own time, not the wall clock's.
    if (first || c.blockMs == 0) {
        const int64_t wall = QDateTime::currentMSecsSinceEpoch();
        c.blockMs = PlaybackMode(panel_.mode) && protocol == Protocol::Nmea
                        ? NmeaRecordingMs(intake.Nmea(), wall / kMsPerDay, wall)
                        : wall;
    }
    (protocol == Protocol::Nmea ? c.nmea : c.binr).Feed(bytes, used, result, c.blockMs, c.source, *c.log);
}

// Heard after the panel, so SIGNALS' line follows the other views' lines.
void ConsoleDock::OnNmeaResult(const Intake& intake, int result)
{
    if (panel_.mode != amSync && SignalsShown())
        signalsForm->OnNmeaResult(result, intake.Nmea(), intake.Gnss());
}

void ConsoleDock::OnBinrResult(const Intake& intake, int result)
{
    if (panel_.mode != amSync && SignalsShown())
        signalsForm->OnBinrResult(result, intake.Binr(), intake.Gnss().Enabled());
}

void ConsoleDock::ResetViews()
{
    ConsoleDock& c = *this;
    c.nmea.Reset();
    c.binr.Reset();
    if (c.signalsForm)
        c.signalsForm->Reset();
}

void ConsoleDock::SourceChanged()
{
    ConsoleDock& c = *this;
    const QString name = PlaybackMode(panel_.mode) ? panel_.FileLabel->text() : panel_.PortComboBox->currentText();
    int number = int(c.sources.indexOf(name));
    if (number < 0) {
        if (c.sources.size() < kSourcesMax)
            c.sources << name;
        else
            c.sources.last() = name;
        number = int(c.sources.size()) - 1;
    }
    c.source = uint8_t(number);
    if (panel_.mode != amRecord)
        c.pendingSent.clear();
    if (c.consoleForm) {
        c.consoleForm->Model()->SetSourceName(c.source, name);
        c.consoleForm->UpdateCommandState();
    }
}

// ---------------------------------------------------------------- commands

QString ConsoleDock::CommandProblem() const
{
    const uint32_t mode = panel_.mode;
    if (mode == amSync)
        return QStringLiteral("Busy: the receiver is being synchronized");
    if ((mode != amRecord && mode != amWatch) || !PortOpen())
        return QStringLiteral("No receiver open: Watch or Record a port first");
    if (!PortTakesCommands())
        return QStringLiteral("Not available for this source");
    return {};
}

CommandSent ConsoleDock::SendCommand(const std::vector<uint8_t>& bytes, bool record)
{
    if (bytes.empty() || !CommandProblem().isEmpty())
        return CommandSent{0, int(bytes.size()), CommandEnd::Closed, false};
    // The dock may be gone (the window closed) before a long command ends.
    const QPointer<ConsoleDock> self(this);
    const CommandSent sent = BeginPortCommand(bytes, [self, bytes, record](CommandSent done) {
        if (!self)
            return;
        self->Sent(bytes, record, done);
        if (self->consoleForm)
            self->consoleForm->CommandEnded(done);
    });
    if (!sent.pending)
        Sent(bytes, record, sent);
    return sent;
}

// What reached the port, as it reached it: in the CONSOLE, and for the
// recording when asked (a recording still under way).
void ConsoleDock::Sent(const std::vector<uint8_t>& bytes, bool record, const CommandSent& sent)
{
    ConsoleDock& c = *this;
    const int written = std::min(sent.written, int(bytes.size()));
    if (written <= 0)
        return;
    if (c.log) {
        const MessageProtocol protocol = bytes[0] == '$' ? MessageProtocol::Nmea : MessageProtocol::Binr;
        c.log->Append({QDateTime::currentMSecsSinceEpoch(), kSentSource, protocol, bytes.data(), written, false});
    }
    if (record && panel_.mode == amRecord && c.pendingSent.size() + size_t(written) <= kPendingSentMax)
        c.pendingSent.insert(c.pendingSent.end(), bytes.begin(), bytes.begin() + written);
}

void ConsoleDock::RecordSentCommands(bool recordingEnds)
{
    ConsoleDock& c = *this;
    if (c.pendingSent.empty())
        return;
    // A received message under way would be cut in two in the file; when
    // the recording ends, nothing more of it can come.
    if (!recordingEnds && c.Feeding() && (panel_.NMEARadioButton->isChecked() ? c.nmea : c.binr).InMessage())
        return;
    const int size = int(c.pendingSent.size());
    panel_.receivedTotal += size;
    panel_.feed_->AppendToRecordFile(c.pendingSent.data(), size);
    c.pendingSent.clear();
}
