// The live sources (LiveSources.h): opening the selected source, losing it
// and reconnecting, the port list and its network sources.
//
// A watch (started by the transport) runs the intake exactly as a recording does, minus the file, so
// Record can turn it into a recording between two blocks without reopening
// the source: no byte is lost. A reconnect keeps the mode, the counters and
// the record file; the reader delivered everything it got before reporting
// the loss, so the file continues where the old connection ended.
//
// A network source is opened by a worker (Comm's BeginOpenPort), so the
// window keeps painting and Stop answers at once while a name server, a host
// or a busy gpsd is waited for. Record and Watch then come back once the
// source is open and go on exactly as with a port opened at once.
#include "LiveSources.h"

#include "Mainfile.h"
#include "Synchro.h"

#include "Comm.h"
#include "Instance.h"
#include "SettingsFile.h"
#include "NetLink.h"
#include "SourceAddress.h"
#include "SourceDialog.h"
#include "TerminalText.h"

#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QRadioButton>
#include <QSettings>

#include <cstdio>

namespace {

const QString kAddSourceText = QStringLiteral("Add source...");
const QString kWaitingForGpsd = QStringLiteral("Waiting for gpsd...");
constexpr int kAddSourceRole = Qt::UserRole + 1;

// The settings keys of this unit, each written down once.
constexpr const char* kSourcesKey = "Sources";
constexpr const char* kReconnectKey = "Reconnect";

QStringList remembered;

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

LiveSources::LiveSources(TMainForm& panel) : panel_(panel)
{
    reconnectTimer_ = new QTimer(this);
    reconnectTimer_->setInterval(kReconnectIntervalMs);
    connect(reconnectTimer_, &QTimer::timeout, this, &LiveSources::ReconnectTick);
    AddMenuItems();
    HookAddSource();
}

void LiveSources::AddMenuItems()
{
    QMenu* menu = panel_.TitleMenu();
    QAction* watch = menu->addAction(QStringLiteral("Watch"));
    connect(watch, &QAction::triggered, this, [this, watch] { panel_.WatchClick(watch); });
    menu->addSeparator();
    QAction* reconnect = menu->addAction(QStringLiteral("Reconnect automatically"));
    reconnect->setObjectName(QStringLiteral("ReconnectAction"));
    reconnect->setCheckable(true);
    connect(reconnect, &QAction::toggled, this, [this](bool on) { reconnectEnabled_ = on; });
}

void LiveSources::HookAddSource()
{
    askSourceAddress = [this] {
        SourceDialog dialog(&panel_);
        return dialog.exec() == QDialog::Accepted ? dialog.Address() : QString();
    };
    // "Add source..." is an item of the list, not a port: picking it asks
    // for an address and selects that, or goes back to the port chosen before.
    QComboBox* box = panel_.PortComboBox;
    auto previous = std::make_shared<int>(-1);
    connect(box, &QComboBox::currentIndexChanged, this, [box, previous](int i) {
        if (i >= 0 && box->itemData(i, kAddSourceRole).isNull())
            *previous = i;
    });
    connect(box, &QComboBox::activated, this, [this, box, previous](int i) {
        if (box->itemData(i, kAddSourceRole).isNull())
            return;
        const QString address = askSourceAddress ? askSourceAddress() : QString();
        if (!address.isEmpty() && ValidAddress(address)) {
            RememberSource(address);
            panel_.SettingChanged();
            int at = box->findText(address);
            if (at < 0) {
                box->insertItem(box->count() - 1, address);
                at = box->count() - 2;
            }
            box->setCurrentIndex(at);
        } else {
            box->setCurrentIndex(*previous < box->count() - 1 ? *previous : -1);
        }
    });
}

// ---------------------------------------------------------------- settings and the list

void LiveSources::LoadSettings()
{
    remembered.clear();
    const std::unique_ptr<QSettings> stored = OpenSettings();
    if (!stored) {
        AppendSourceItems();
        return;
    }
    const QSettings& s = *stored;
    for (const QString& a : s.value(kSourcesKey).toStringList())
        if (ValidAddress(a) && !remembered.contains(a) && remembered.size() < kRememberedSources)
            remembered << a;
    if (QAction* a = ReconnectAction(panel_))
        a->setChecked(s.value(kReconnectKey).toString() == QLatin1String("1"));
    // The remembered sources join the list before the stored port is
    // looked for in it (by the name it was listed under: a stable name finds
    // the same adapter whatever node it got this time).
    AppendSourceItems();
    panel_.SelectStoredPort();
}

void LiveSources::SaveSettings()
{
    const std::unique_ptr<QSettings> stored = OpenSettings();
    if (!stored)
        return;
    QSettings& s = *stored;
    s.setValue(kSourcesKey, remembered);
    // The menu item's state: --reconnect holds for its run only.
    if (QAction* a = ReconnectAction(panel_))
        s.setValue(kReconnectKey, int(a->isChecked()));
    s.sync();
}

void LiveSources::AppendSourceItems()
{
    QComboBox* box = panel_.PortComboBox;
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

void LiveSources::FillPortList()
{
    QString denied;
    const QStringList ports = ListPorts(&denied);
    QComboBox* box = panel_.PortComboBox;
    box->clear();
    box->addItems(ports);
    AppendSourceItems();
    box->setCurrentIndex(ports.isEmpty() ? -1 : 0);
    // Without this a user who is not in the dialout group sees an empty list
    // and no reason for it.
    if (!denied.isEmpty()) {
        panel_.InfoLabel->setText("No permission: " + denied);
        // The line has room for a short name only; the full path goes to
        // stderr, once per device and run.
        static QStringList told;
        const QString path = PortPath(denied);
        if (!told.contains(path)) {
            told << path;
            std::fprintf(stderr, "kestrova: no permission to open %s\n",
                         TerminalText(path.toLocal8Bit().toStdString()).c_str());
        }
    }
}

// ---------------------------------------------------------------- opening

bool LiveSources::Open(bool binr, bool quiet, const std::function<void()>& resume)
{
    if (openedByWorker_) {
        openedByWorker_ = false;
        return PortOpen();
    }
    if (PortOpening())
        return false;   // one attempt at a time; Stop ends it
    const QString name = panel_.PortComboBox->currentText();
    const uint8_t parity = binr ? 1 : 0;
    const bool network = LooksLikeNetworkSource(name.toStdString());
    bool pending = false;
    if (network && resume) {
        OpenCallbacks callbacks;
        callbacks.done = [this, quiet, resume, name](bool opened) {
            if (!quiet)
                panel_.SetButtons(ButtonRow::Stop);
            if (opened) {
                openedByWorker_ = true;
                resume();
                openedByWorker_ = false;
                if (panel_.Mode() == amStop)
                    ClosePort();   // the start did not take the source after all
            } else if (!quiet) {
                TellOpenFailure(name);
            } else if (panel_.InfoLabel->text() == kWaitingForGpsd) {
                panel_.InfoLabel->setText(QStringLiteral("Reconnecting..."));   // the next attempt follows
            }
        };
        callbacks.gpsdBusy = [this] { panel_.InfoLabel->setText(kWaitingForGpsd); };
        pending = BeginOpenPort(name, parity, std::move(callbacks)) == OpenStart::Pending;
    } else if (OpenPort(name, panel_.BaudComboBox->currentText().toInt(), parity)) {
        return true;
    }
    if (pending) {
        // Only Stop, which ends the attempt, until the source is open.
        if (!quiet) {
            panel_.InfoLabel->setText(QStringLiteral("Connecting..."));
            panel_.SetButtons(ButtonRow::Record);
        }
    } else if (!quiet) {
        TellOpenFailure(name);
    }
    return false;
}

void LiveSources::TellOpenFailure(const QString& name)
{
    const QString why = PortOpenError();
    panel_.InfoLabel->setText(why.isEmpty() ? QStringLiteral("Port open error") : why);
    // The line has room for a few words; the reason behind a failed
    // connection ("Connection refused", the host not found) goes to stderr.
    // A headless run says it itself on leaving.
    const QString detail = PortOpenDetail();
    if (!panel_.headless && !detail.isEmpty() && detail != why)
        std::fprintf(stderr, "kestrova: %s: %s\n", name.toLocal8Bit().constData(), detail.toLocal8Bit().constData());
}

// ---------------------------------------------------------------- losing and reconnecting

void LiveSources::ConnectionLost()
{
    panel_.InfoLabel->setText(PortLostText());
    const uint32_t mode = panel_.Mode();
    if ((mode == amRecord || mode == amWatch) && reconnectEnabled_) {
        BeginReconnect();
        return;
    }
    if (mode == amRecord || mode == amWatch) {
        panel_.StopButtonClick(nullptr);
    } else if (mode == amSync) {
        panel_.DeviceLabel->setText("unknown");
        panel_.StopButtonClick(nullptr);
    }
    ClosePort();
}

bool LiveSources::Reconnecting() const { return reconnectTimer_->isActive(); }

void LiveSources::StopReconnecting() { reconnectTimer_->stop(); }

void LiveSources::BeginReconnect()
{
    ClosePort();
    panel_.InfoLabel->setText(QStringLiteral("Reconnecting..."));
    reconnectTimer_->start();
}

void LiveSources::ReconnectTick()
{
    const uint32_t mode = panel_.Mode();
    if (mode != amRecord && mode != amWatch) {
        reconnectTimer_->stop();
        return;
    }
    // An attempt runs on a worker; the next tick waits for its end.
    if (PortOpening())
        return;
    const bool binr = panel_.BINRRadioButton->isChecked();
    if (!Open(binr, true, [this] { ReconnectTick(); }))
        return;
    reconnectTimer_->stop();
    panel_.watchTicks = 0;
    panel_.InfoLabel->setText(QStringLiteral("Wait..."));
    if (binr && PortTakesCommands())
        panel_.Receiver().SendRecordStartSequence();
}
