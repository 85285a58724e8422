// Live sources beyond the panel: watching a source without recording it,
// reconnecting a lost source during a recording or a watch, and the network
// sources of the port list ("Add source...", the last eight remembered).
//
// A watch runs the intake exactly as a recording does, minus the file, so
// Record can turn it into a recording between two blocks without reopening
// the source: no byte is lost. A reconnect keeps the mode, the counters and
// the record file; the reader delivered everything it got before reporting
// the loss, so the file continues where the old connection ended.
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

namespace {

constexpr int kReconnectIntervalMs = 1000;
constexpr int kReconnectConnectMs = 800;   // within the interval
const QString kAddSourceText = QStringLiteral("Add source...");
constexpr int kAddSourceRole = Qt::UserRole + 1;

// The settings keys of this unit, each written down once.
constexpr const char* kSourcesKey = "Sources";
constexpr const char* kReconnectKey = "Reconnect";

QStringList remembered;
// A Record click in a watch over an existing file warns first, as from STOP.
bool overwriteArmed = false;

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

bool TMainForm::OpenSelectedSource(bool binr, bool quiet)
{
    if (OpenPort(PortComboBox->currentText(), BaudComboBox->currentText().toInt(), binr ? 1 : 0))
        return true;
    if (!quiet) {
        const QString why = PortOpenError();
        InfoLabel->setText(why.isEmpty() ? QStringLiteral("Port open error") : why);
    }
    return false;
}

void TMainForm::WatchClick(QObject*)
{
    if (mode != amStop)
        return;
    const bool binr = BINRRadioButton->isChecked();
    if (!OpenSelectedSource(binr))
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
    const bool binr = BINRRadioButton->isChecked();
    SetConnectTimeout(kReconnectConnectMs);
    const bool opened = OpenSelectedSource(binr, true);
    SetConnectTimeout(kConnectTimeoutMs);
    if (!opened)
        return;
    ReconnectTimer->stop();
    watchTicks = 0;
    InfoLabel->setText(QStringLiteral("Wait..."));
    if (binr && PortTakesCommands())
        SendRecordStartSequence();
}
