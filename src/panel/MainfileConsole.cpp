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
#include "Mainfile.h"

#include "BinrDecoder.h"
#include "Comm.h"
#include "Console.h"
#include "ConsoleModel.h"
#include "GnssEpoch.h"
#include "MessageCapture.h"
#include "MessageLog.h"
#include "NmeaAssembler.h"
#include "SettingsFile.h"
#include "Signals.h"
#include "WindowPlace.h"

#include <QAction>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QRadioButton>

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
// from then on (never in a headless run).
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

struct ConsoleIntake {
    std::unique_ptr<MessageLog> log;   // made with the console: about 6 MB
    MessageCapture nmea{MessageProtocol::Nmea};
    MessageCapture binr{MessageProtocol::Binr};
    QPointer<TSignalsForm> signalsForm;
    QPointer<TConsoleForm> consoleForm;
    QStringList sources;               // names by number
    uint8_t source = 0;
    std::vector<uint8_t> pendingSent;  // for the recording
    int64_t blockMs = 0;               // when the block being cut arrived

    bool Feeding() const { return consoleForm && consoleForm->isVisible(); }
    bool SignalsShown() const { return signalsForm && signalsForm->isVisible(); }
};

void TMainForm::AddConsoleMenu()
{
    console_ = std::make_shared<ConsoleIntake>();
    QMenu* menu = TitleMenu();
    menu->addSeparator();
    connect(menu->addAction(QStringLiteral("Signals...")), &QAction::triggered, this, [this] { ShowSignals(); });
    connect(menu->addAction(QStringLiteral("Messages...")), &QAction::triggered, this, [this] { ShowConsole(); });
    connect(this, &TMainForm::ModeChanged, this, [this] { ConsoleSourceChanged(); });
}

TSignalsForm* TMainForm::SignalsWindow() const { return console_->signalsForm; }

TConsoleForm* TMainForm::ConsoleWindow() const { return console_->consoleForm; }

TSignalsForm* TMainForm::ShowSignals()
{
    ConsoleIntake& c = *console_;
    if (!c.signalsForm) {
        c.signalsForm = new TSignalsForm(this);
        PlaceWindow(*c.signalsForm, kSignalsPrefix, headless, QPoint(x() + width() + kWindowGap, y()));
    }
    // Unfed while hidden: what it held is old.
    if (!c.signalsForm->isVisible())
        c.signalsForm->Reset();
    c.signalsForm->show();
    // The offscreen platform of a headless run says on stderr that it cannot.
    if (!headless)
        c.signalsForm->raise();
    return c.signalsForm;
}

TConsoleForm* TMainForm::ShowConsole()
{
    ConsoleIntake& c = *console_;
    if (!c.consoleForm) {
        c.log = std::make_unique<MessageLog>();
        auto* form = new TConsoleForm(this);
        form->commandProblem = [this] { return ConsoleCommandProblem(); };
        form->sendCommand = [this](const std::vector<uint8_t>& bytes, bool record) {
            return SendConsoleCommand(bytes, record);
        };
        form->Model()->SetSentSource(kSentSource);
        form->Model()->SetSourceName(kSentSource, QStringLiteral("sent"));
        for (int i = 0; i < c.sources.size(); ++i)
            form->Model()->SetSourceName(uint8_t(i), c.sources[i]);
        form->SetLog(c.log.get());
        if (!headless)
            form->LoadHistory();
        // Beside the panel, under where SIGNALS opens: the views take the
        // room under the panel.
        PlaceWindow(*form, kConsolePrefix, headless,
                    QPoint(x() + width() + kWindowGap, y() + kSignalsDefaultHeight + 2 * kWindowGap));
        c.consoleForm = form;
    }
    if (!c.consoleForm->isVisible()) {
        c.nmea.Reset();
        c.binr.Reset();
    }
    c.consoleForm->show();
    if (!headless)
        c.consoleForm->raise();
    return c.consoleForm;
}

void TMainForm::RestoreConsoleWindows()
{
    if (StoredVisible(kSignalsPrefix))
        ShowSignals();
    if (StoredVisible(kConsolePrefix))
        ShowConsole();
}

// ---------------------------------------------------------------- routing

void TMainForm::OnConsumed(const Intake&, Protocol protocol, const uint8_t* bytes, int used, int result, bool first)
{
    ConsoleIntake& c = *console_;
    if (!c.Feeding() || priming_)
        return;
    // The messages of a block arrived together: one clock reading each.
    if (first || c.blockMs == 0)
        c.blockMs = QDateTime::currentMSecsSinceEpoch();
    (protocol == Protocol::Nmea ? c.nmea : c.binr).Feed(bytes, used, result, c.blockMs, c.source, *c.log);
}

void TMainForm::ConsoleNmeaResult(const Intake& intake, int result)
{
    if (console_->SignalsShown())
        console_->signalsForm->OnNmeaResult(result, intake.Nmea(), intake.Gnss());
}

void TMainForm::ConsoleBinrResult(const Intake& intake, int result)
{
    if (mode != amSync && console_->SignalsShown())
        console_->signalsForm->OnBinrResult(result, intake.Binr(), intake.Gnss().Enabled());
}

void TMainForm::ResetConsoleViews()
{
    ConsoleIntake& c = *console_;
    c.nmea.Reset();
    c.binr.Reset();
    if (c.signalsForm)
        c.signalsForm->Reset();
}

void TMainForm::ConsoleSourceChanged()
{
    ConsoleIntake& c = *console_;
    const QString name = PlaybackMode(mode) ? FileLabel->text() : PortComboBox->currentText();
    int number = int(c.sources.indexOf(name));
    if (number < 0) {
        if (c.sources.size() < kSourcesMax)
            c.sources << name;
        else
            c.sources.last() = name;
        number = int(c.sources.size()) - 1;
    }
    c.source = uint8_t(number);
    if (mode != amRecord)
        c.pendingSent.clear();
    if (c.consoleForm) {
        c.consoleForm->Model()->SetSourceName(c.source, name);
        c.consoleForm->UpdateCommandState();
    }
}

// ---------------------------------------------------------------- commands

QString TMainForm::ConsoleCommandProblem() const
{
    if (mode == amSync)
        return QStringLiteral("Busy: the receiver is being synchronized");
    if ((mode != amRecord && mode != amWatch) || !PortOpen())
        return QStringLiteral("No receiver open: Watch or Record a port first");
    if (!PortTakesCommands())
        return QStringLiteral("Not available for this source");
    return {};
}

int TMainForm::SendConsoleCommand(const std::vector<uint8_t>& bytes, bool record)
{
    ConsoleIntake& c = *console_;
    if (bytes.empty() || !ConsoleCommandProblem().isEmpty())
        return 0;
    const int written = WritePort(bytes.data(), int(bytes.size()));
    if (written <= 0)
        return written;
    if (c.log) {
        const MessageProtocol protocol = bytes[0] == '$' ? MessageProtocol::Nmea : MessageProtocol::Binr;
        c.log->Append({QDateTime::currentMSecsSinceEpoch(), kSentSource, protocol, bytes.data(), written, false});
    }
    if (record && mode == amRecord && c.pendingSent.size() + size_t(written) <= kPendingSentMax)
        c.pendingSent.insert(c.pendingSent.end(), bytes.begin(), bytes.begin() + written);
    return written;
}

void TMainForm::RecordSentCommands()
{
    ConsoleIntake& c = *console_;
    if (c.pendingSent.empty())
        return;
    // A received message under way would be cut in two in the file.
    if (c.Feeding() && (NMEARadioButton->isChecked() ? c.nmea : c.binr).InMessage())
        return;
    const int size = int(c.pendingSent.size());
    receivedTotal += size;
    AppendToRecordFile(c.pendingSent.data(), size);
    c.pendingSent.clear();
}
