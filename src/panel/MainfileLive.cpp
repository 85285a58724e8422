// Live sources beyond the panel: watching a source without recording it,
// reconnecting a lost source during a recording or a watch, and the network
// sources of the port list ("Add source...", the last eight remembered).
//
// A watch runs the intake exactly as a recording does, minus the file, so
// Record can turn it into a recording between two blocks without reopening
// the source: no byte is lost. A reconnect keeps the mode, the counters and
// the record file; the reader delivered everything it got before reporting
// the loss, so the file continues where the old connection ended.
//
// A network source is opened by a worker (Comm's BeginOpenPort), so the
// window keeps painting and Stop answers at once while a name server, a host
// or a busy gpsd is waited for. Record and Watch then come back once the
// source is open and go on exactly as with a port opened at once.
#include "Mainfile.h"

#include "MainfileLive.h"

#include "Comm.h"
#include "Instance.h"
#include "SettingsFile.h"
#include "NetLink.h"
#include "SourceAddress.h"
#include "SourceDialog.h"
#include "Statistic.h"

#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QRadioButton>
#include <QSettings>

#include <cstdio>

namespace {

constexpr int kReconnectIntervalMs = 1000;
const QString kAddSourceText = QStringLiteral("Add source...");
const QString kWaitingForGpsd = QStringLiteral("Waiting for gpsd...");
constexpr int kAddSourceRole = Qt::UserRole + 1;

// The settings keys of this unit, each written down once.
constexpr const char* kSourcesKey = "Sources";
constexpr const char* kReconnectKey = "Reconnect";

QStringList remembered;
// A Record click in a watch over an existing file warns first, as from STOP.
bool overwriteArmed = false;
// Set when a worker has just opened the selected source for the start that
// is called again now: that start finds its source open.
bool openedByWorker = false;

QAction* ReconnectAction(TMainForm& form)
{
    return form.TitleMenu()->findChild<QAction*>(QStringLiteral("ReconnectAction"));
}

bool ValidAddress(const QString& text) { return ParseSourceAddress(text.toStdString(), nullptr, nullptr); }

} // namespace

QStringList RememberedSources() { return remembered; }

void RememberSource(const QString& address)
{
    remembered.removeAll(address);
    remembered.prepend(address);
    while (remembered.size() > kRememberedSources)
        remembered.removeLast();
}

void LoadLiveSettings(TMainForm& form)
{
    remembered.clear();
    const std::unique_ptr<QSettings> stored = OpenSettings();
    if (!stored) {
        AppendSourceItems(form);
        return;
    }
    const QSettings& s = *stored;
    for (const QString& a : s.value(kSourcesKey).toStringList())
        if (ValidAddress(a) && !remembered.contains(a) && remembered.size() < kRememberedSources)
            remembered << a;
    if (QAction* a = ReconnectAction(form))
        a->setChecked(s.value(kReconnectKey).toString() == QLatin1String("1"));
    // The remembered sources join the list before the stored port is
    // looked for in it (by the name it was listed under: a stable name finds
    // the same adapter whatever node it got this time).
    AppendSourceItems(form);
    form.SelectStoredPort();
}

void SaveLiveSettings(TMainForm& form)
{
    const std::unique_ptr<QSettings> stored = OpenSettings();
    if (!stored)
        return;
    QSettings& s = *stored;
    s.setValue(kSourcesKey, remembered);
    // The menu item's state: --reconnect holds for its run only.
    if (QAction* a = ReconnectAction(form))
        s.setValue(kReconnectKey, int(a->isChecked()));
    s.sync();
}

void AppendSourceItems(TMainForm& form)
{
    QComboBox* box = form.PortComboBox;
    const int tag = box->findData(true, kAddSourceRole);
    if (tag >= 0)
        box->removeItem(tag);
    for (const QString& a : remembered)
        if (box->findText(a) < 0)
            box->addItem(a);
    for (int i = 0; i < box->count(); ++i)
        box->setItemData(i, PortToolTip(box->itemText(i)), Qt::ToolTipRole);
    box->addItem(kAddSourceText);
    box->setItemData(box->count() - 1, true, kAddSourceRole);
}

void TMainForm::InstallLiveSources()
{
    ReconnectTimer = new QTimer(this);
    ReconnectTimer->setInterval(kReconnectIntervalMs);
    connect(ReconnectTimer, &QTimer::timeout, this, &TMainForm::ReconnectTimerTimer);

    QAction* watch = TitleMenu()->addAction(QStringLiteral("Watch"));
    connect(watch, &QAction::triggered, this, [this, watch] { WatchClick(watch); });
    TitleMenu()->addSeparator();
    QAction* reconnect = TitleMenu()->addAction(QStringLiteral("Reconnect automatically"));
    reconnect->setObjectName(QStringLiteral("ReconnectAction"));
    reconnect->setCheckable(true);
    connect(reconnect, &QAction::toggled, this, [this](bool on) { reconnectEnabled = on; });

    askSourceAddress = [this] {
        SourceDialog dialog(this);
        return dialog.exec() == QDialog::Accepted ? dialog.Address() : QString();
    };
    // "Add source..." is an item of the list, not a port: picking it asks
    // for an address and selects that, or goes back to the port chosen before.
    auto previous = std::make_shared<int>(-1);
    connect(PortComboBox, &QComboBox::currentIndexChanged, this, [this, previous](int i) {
        if (i >= 0 && PortComboBox->itemData(i, kAddSourceRole).isNull())
            *previous = i;
    });
    connect(PortComboBox, &QComboBox::activated, this, [this, previous](int i) {
        if (PortComboBox->itemData(i, kAddSourceRole).isNull())
            return;
        const QString address = askSourceAddress ? askSourceAddress() : QString();
        if (!address.isEmpty() && ValidAddress(address)) {
            RememberSource(address);
            SettingChanged();
            int at = PortComboBox->findText(address);
            if (at < 0) {
                PortComboBox->insertItem(PortComboBox->count() - 1, address);
                at = PortComboBox->count() - 2;
            }
            PortComboBox->setCurrentIndex(at);
        } else {
            PortComboBox->setCurrentIndex(*previous < PortComboBox->count() - 1 ? *previous : -1);
        }
    });
}

bool TMainForm::OpenSelectedSource(bool binr, bool quiet, const std::function<void()>& resume)
{
    if (openedByWorker) {
        openedByWorker = false;
        return PortOpen();
    }
    if (PortOpening())
        return false;   // one attempt at a time; Stop ends it
    const QString name = PortComboBox->currentText();
    const uint8_t parity = binr ? 1 : 0;
    const bool network = LooksLikeNetworkSource(name.toStdString());
    bool pending = false;
    if (network && resume) {
        OpenCallbacks callbacks;
        callbacks.done = [this, quiet, resume, name](bool opened) {
            if (!quiet)
                SetButtons(ButtonRow::Stop);
            if (opened) {
                openedByWorker = true;
                resume();
                openedByWorker = false;
                if (mode == amStop)
                    ClosePort();   // the start did not take the source after all
            } else if (!quiet) {
                TellOpenFailure(name);
            } else if (InfoLabel->text() == kWaitingForGpsd) {
                InfoLabel->setText(QStringLiteral("Reconnecting..."));   // the next attempt follows
            }
        };
        callbacks.gpsdBusy = [this] { InfoLabel->setText(kWaitingForGpsd); };
        pending = BeginOpenPort(name, parity, std::move(callbacks)) == OpenStart::Pending;
    } else if (OpenPort(name, BaudComboBox->currentText().toInt(), parity)) {
        return true;
    }
    if (pending) {
        // Only Stop, which ends the attempt, until the source is open.
        if (!quiet) {
            InfoLabel->setText(QStringLiteral("Connecting..."));
            SetButtons(ButtonRow::Record);
        }
    } else if (!quiet) {
        TellOpenFailure(name);
    }
    return false;
}

void TMainForm::TellOpenFailure(const QString& name)
{
    const QString why = PortOpenError();
    InfoLabel->setText(why.isEmpty() ? QStringLiteral("Port open error") : why);
    // The line has room for a few words; the reason behind a failed
    // connection ("Connection refused", the host not found) goes to stderr.
    // A headless run says it itself on leaving.
    const QString detail = PortOpenDetail();
    if (!headless && !detail.isEmpty() && detail != why)
        std::fprintf(stderr, "kestrova: %s: %s\n", name.toLocal8Bit().constData(), detail.toLocal8Bit().constData());
}

void TMainForm::WatchClick(QObject*)
{
    if (mode != amStop)
        return;
    const bool binr = BINRRadioButton->isChecked();
    if (!OpenSelectedSource(binr, false, [this] { WatchClick(nullptr); }))
        return;
    overwriteArmed = false;
    ResetCounters();
    InfoLabel->setText(QStringLiteral("Wait..."));
    watchTicks = 0;
    WatchTimer->start();
    ResetDecodersAndViews();
    SetActionMode(amWatch);
    SetButtons(ButtonRow::Watch);
    if (StatisticForm)
        StatisticForm->ResetStatistics();
    // The receiver is told what to send as for a recording; a source that
    // takes no commands sends what it sends.
    if (binr && PortTakesCommands())
        SendRecordStartSequence();
}

void TMainForm::RecordFromWatch(QObject* sender)
{
    const QString name = FileLabel->text();
    const bool binr = BINRRadioButton->isChecked();
    if (sender && !overwriteArmed) {
        const QString warning = RecordWarning(name, binr);
        if (!warning.isEmpty()) {
            overwriteArmed = true;
            InfoLabel->setText(warning);
            return;
        }
    }
    overwriteArmed = false;
    // The file, its receive times and its size counter start together with
    // the next block, as a recording from STOP does.
    if (!BeginRecordFile(name))
        return;
    SetActionMode(amRecord);
    SetButtons(ButtonRow::Record);
    if (binr)
        OpenSideFile(recordAppend_);
}

void TMainForm::BeginReconnect()
{
    ClosePort();
    InfoLabel->setText(QStringLiteral("Reconnecting..."));
    ReconnectTimer->start();
}

void TMainForm::ReconnectTimerTimer()
{
    if (mode != amRecord && mode != amWatch) {
        ReconnectTimer->stop();
        return;
    }
    // An attempt runs on a worker; the next tick waits for its end.
    if (PortOpening())
        return;
    const bool binr = BINRRadioButton->isChecked();
    if (!OpenSelectedSource(binr, true, [this] { ReconnectTimerTimer(); }))
        return;
    ReconnectTimer->stop();
    watchTicks = 0;
    InfoLabel->setText(QStringLiteral("Wait..."));
    if (binr && PortTakesCommands())
        SendRecordStartSequence();
}
