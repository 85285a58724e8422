// The panel's settings (PanelSettings.h): each stored value named once, for
// load and save, read in a fixed order with the defaults behind them.
#include "PanelSettings.h"

#include "LiveSources.h"
#include "Mainfile.h"
#include "SourceFeed.h"
#include "PanelLayout.h"
#include "SettingsFile.h"
#include "WeekRollover.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QMenu>
#include <QRadioButton>
#include <QRegion>
#include <QScreen>
#include <QSettings>

#include <cstdio>

namespace {

// A settings position outside this range cannot be a screen coordinate.
constexpr int kPositionLimit = 32767;
constexpr const char* kPortKey = "PortComboBox";

// (missing, text, out of range) is a failed read.
bool ReadSetting(const QSettings& s, const char* name, int low, int high, int* value)
{
    if (!s.contains(name))
        return false;
    bool ok = false;
    const int v = s.value(name).toString().trimmed().toInt(&ok);
    if (!ok || v < low || v > high)
        return false;
    *value = v;
    return true;
}

// A count for old recordings whose file time was lost, set by hand and never
// written back; --week-rollovers wins over it.
void ReadWeekRollovers(const QSettings& s, DatePolicy& dates)
{
    const char* const key = "WeekRollovers";
    int n = 0;
    if (dates.ForcedRollovers() || !s.contains(key))
        return;
    if (ReadSetting(s, key, kMinWeekRollovers, kMaxWeekRollovers, &n))
        dates.ForceRollovers(n);
    else
        std::fprintf(stderr, "kestrova: settings: %s takes a count from %d to %d; ignored\n", key,
                     kMinWeekRollovers, kMaxWeekRollovers);
}

} // namespace

PanelSettings::PanelSettings(TMainForm& panel) : panel_(panel) {}

void PanelSettings::ForgetOneOff(const QAbstractButton* view) { oneOffViews_.erase(view); }

// The stored values of the panel, in the order they are read. Each key is
// named here once, for load and save.
struct PanelSettings::StoredValue {
    const char* key;
    int low;
    int high;
    std::function<int()> get;
    std::function<void(int)> set;
};

std::vector<PanelSettings::StoredValue> PanelSettings::StoredValues()
{
    std::vector<StoredValue> values = {
        {"Left", -kPositionLimit, kPositionLimit, [this] { return panel_.x(); }, [this](int v) { panel_.move(v, panel_.y()); }},
        // The switches below place their views beside the panel: the panel
        // is settled as soon as its position is read.
        {"Top", -kPositionLimit, kPositionLimit, [this] { return panel_.y(); },
         [this](int v) { panel_.move(panel_.x(), v); KeepTitleStripOnScreen(); }},
        {"BaudComboBox", 0, int(LineRateTexts().size()) - 1, [this] { return panel_.BaudComboBox->currentIndex(); },
         [this](int v) { panel_.BaudComboBox->setCurrentIndex(v); }},
    };
    const std::pair<const char*, QAbstractButton*> switches[] = {
        {"BINRRadioButton", panel_.BINRRadioButton},       {"NMEARadioButton", panel_.NMEARadioButton},
        {"PositionCheckBox", panel_.PositionCheckBox},     {"StatisticCheckBox", panel_.StatisticCheckBox},
        {"SatellitesCheckBox", panel_.SatellitesCheckBox}, {"VisualCheckBox", panel_.VisualCheckBox},
        {"ProfileCheckBox", panel_.ProfileCheckBox},
    };
    // Named copies, not a structured binding: a lambda may capture one only
    // from C++20 compilers on (clang 16), and the fuzz build uses clang 14.
    for (const auto& entry : switches) {
        const char* const key = entry.first;
        QAbstractButton* const button = entry.second;
        values.push_back({key, 0, 1,
                          [this, button] {
                              // A view shown for one run only keeps its stored state.
                              const auto once = oneOffViews_.find(button);
                              return int(once != oneOffViews_.end() ? once->second : button->isChecked());
                          },
                          [button](int v) { button->setChecked(v == 1); }});
    }
    values.push_back({"soundEnabled", 0, 1, [this] { return int(panel_.soundEnabled); }, [this](int v) { panel_.soundEnabled = v == 1; }});
    values.push_back({"_02CheckBox", 0, 1, [this] { return int(panel_._02CheckBox->isChecked()); },
                      [this](int v) { panel_._02CheckBox->setChecked(v == 1); }});
    return values;
}

void PanelSettings::Load()
{
    const std::unique_ptr<QSettings> stored = OpenSettings();
    // Applied one at a time; the first value that cannot be read ends the
    // reading and the defaults take over (the position read so far stays).
    bool ok = stored != nullptr;
    firstStart_ = stored && !stored->contains(QStringLiteral("Left"));
    if (ok) {
        for (const StoredValue& value : StoredValues()) {
            int v = 0;
            ok = ReadSetting(*stored, value.key, value.low, value.high, &v);
            if (!ok)
                break;
            value.set(v);
        }
    }
    panel_._02CheckBox->setEnabled(!panel_.NMEARadioButton->isChecked());
    if (!ok)
        ApplyDefaults();
    if (stored) {
        ReadWeekRollovers(*stored, panel_.intake_.Dates());
        // A key of its own, outside the chain above: a settings file from
        // before the option still reads whole.
        panel_.feed_->LoadMultiGnssSetting(*stored);
    }
    KeepTitleStripOnScreen();
}

void PanelSettings::SelectStoredPort()
{
    // A port that is not offered now (unplugged, held by another program)
    // leaves the list's own choice.
    const std::unique_ptr<QSettings> stored = OpenSettings();
    if (!stored)
        return;
    const QVariant port = stored->value(kPortKey);
    if (port.typeId() != QMetaType::QString)
        return;
    const int index = panel_.PortComboBox->findText(port.toString(), Qt::MatchExactly);
    if (index >= 0)
        panel_.PortComboBox->setCurrentIndex(index);
}

void PanelSettings::ShowViewOnce(QCheckBox* view)
{
    if (!view || view->isChecked())
        return;
    oneOffViews_.emplace(view, false);
    view->setChecked(true);
}

void PanelSettings::KeepTitleStripOnScreen()
{
    // A position stored on a screen that is gone would leave a frameless
    // panel nobody can reach or drag back.
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.isEmpty())
        return;
    // Only a strip that is whole on the screens can be grabbed and dragged
    // back; a few visible pixels do not count.
    QRegion desktop;
    for (const QScreen* screen : screens)
        desktop += screen->geometry();
    const QRect strip(panel_.pos(), QSize(panel_.width(), kTopPanelHeight));
    if (!QRegion(strip).subtracted(desktop).isEmpty())
        panel_.move(kDesignPosition);
}

void PanelSettings::ApplyDefaults()
{
    panel_.BaudComboBox->setCurrentIndex(0);
    panel_.NMEARadioButton->setChecked(true);
    for (QCheckBox* box : {panel_.PositionCheckBox, panel_.StatisticCheckBox, panel_.SatellitesCheckBox, panel_.VisualCheckBox, panel_.ProfileCheckBox})
        box->setChecked(false);
    panel_.soundEnabled = false;
    panel_._02CheckBox->setChecked(true);
    panel_._02CheckBox->setEnabled(false);
}

// Each change is written as it happens, so that a crash or a kill keeps the
// settings of that moment: the keys and values a clean exit would write
// then. Changes made together (a protocol switch and its file name, a
// one-off view) make one write, once the event loop comes round.
void PanelSettings::Changed()
{
    if (panel_.headless || !loaded_ || savePending_)
        return;
    savePending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            savePending_ = false;
            Save();
        },
        Qt::QueuedConnection);
}

void PanelSettings::StoreOnChange()
{
    loaded_ = true;
    for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{
             panel_.BINRRadioButton, panel_.NMEARadioButton, panel_.PositionCheckBox, panel_.StatisticCheckBox, panel_.SatellitesCheckBox, panel_.VisualCheckBox,
             panel_.ProfileCheckBox, panel_._02CheckBox})
        connect(b, &QAbstractButton::toggled, this, &PanelSettings::Changed);
    // A view switched by the user after a one-off show is read once the
    // one-off mark is gone: the write waits for the event loop.
    connect(panel_.BaudComboBox, &QComboBox::currentIndexChanged, this, &PanelSettings::Changed);
    connect(panel_.PortComboBox, &QComboBox::currentIndexChanged, this, &PanelSettings::Changed);
    if (QAction* reconnect = panel_.TitleMenu()->findChild<QAction*>(QStringLiteral("ReconnectAction")))
        connect(reconnect, &QAction::toggled, this, &PanelSettings::Changed);
}

void PanelSettings::Save()
{
    const std::unique_ptr<QSettings> stored = OpenSettings();
    if (!stored)
        return;
    for (const StoredValue& value : StoredValues())
        stored->setValue(value.key, value.get());
    // With the receiver unplugged the list is empty: the stored port stays.
    if (!panel_.PortComboBox->currentText().isEmpty())
        stored->setValue(kPortKey, panel_.PortComboBox->currentText());
    panel_.feed_->SaveMultiGnssSetting(*stored);
    stored->sync();
    panel_.Sources().SaveSettings();
}
