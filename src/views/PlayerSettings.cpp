// The PLAYER's settings (Player.h): its place beside the panel, whether it
// is shown, its speed and switches, each key written down once here.
#include "Player.h"

#include "PanelLink.h"
#include "SettingsFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSettings>
#include <QSpinBox>
#include <memory>

namespace {

// Settings keys of the window, each written once here.
constexpr const char* kLeftKey = "PlayerLeft";
constexpr const char* kTopKey = "PlayerTop";
constexpr const char* kVisibleKey = "PlayerVisible";
constexpr const char* kSpeedKey = "PlayerSpeed";
constexpr const char* kSkipKey = "PlayerSkipGaps";
constexpr const char* kSkipSecondsKey = "PlayerSkipSeconds";
constexpr const char* kLoopKey = "PlayerLoop";
constexpr int kPositionLimit = 100000;

// An integer setting within [low, high], or fallback.
int ReadSetting(const QSettings& s, const char* key, int low, int high, int fallback)
{
    bool ok = false;
    const int v = s.value(key).toString().trimmed().toInt(&ok);
    return ok && v >= low && v <= high ? v : fallback;
}

} // namespace

void TPlayerForm::LoadSettings()
{
    settingsLoaded_ = true;
    const std::unique_ptr<QSettings> stored = OpenSettings();
    if (!stored)
        return;
    const QSettings& s = *stored;
    SpeedComboBox->setCurrentIndex(ReadSetting(s, kSpeedKey, 0, kMaxSpeedIndex, kOneTimesIndex));
    SkipCheckBox->setChecked(ReadSetting(s, kSkipKey, 0, 1, 0) == 1);
    SkipSpinBox->setValue(ReadSetting(s, kSkipSecondsKey, 1, kSkipMaxS, kSkipDefaultS));
    LoopCheckBox->setChecked(ReadSetting(s, kLoopKey, 0, 1, 0) == 1);
    // The place once the panel has taken its own from the settings.
    QMetaObject::invokeMethod(this, &TPlayerForm::LoadPlace, Qt::QueuedConnection);
    StoreSettingsOnChange();
}

void TPlayerForm::StoreSettingsOnChange()
{
    // Written as they change, so that a crash or a kill keeps them; the
    // place once a drag of the panel ends, not at every step of it.
    const auto store = [this] { SaveSettings(); };
    connect(SpeedComboBox, &QComboBox::currentIndexChanged, this, store);
    connect(SkipCheckBox, &QCheckBox::toggled, this, store);
    connect(SkipSpinBox, &QSpinBox::valueChanged, this, store);
    connect(LoopCheckBox, &QCheckBox::toggled, this, store);
    panel_->OnPanelPlaced(this, store);
    installEventFilter(this);
}

void TPlayerForm::LoadPlace()
{
    if (!panel_)
        return;
    const QWidget* panel = panel_->PanelWindow();
    panelPos_ = panel->pos();
    const std::unique_ptr<QSettings> stored = OpenSettings();
    if (!stored)
        return;
    const QSettings& s = *stored;
    if (s.contains(kLeftKey) && s.contains(kTopKey)) {
        move(ReadSetting(s, kLeftKey, -kPositionLimit, kPositionLimit, panel->x()),
             ReadSetting(s, kTopKey, -kPositionLimit, kPositionLimit, panel->y() - height()));
        placed_ = true;
    }
    if (ReadSetting(s, kVisibleKey, 0, 1, 0) == 1)
        ShowBesidePanel();
}

void TPlayerForm::SaveSettings() const
{
    const std::unique_ptr<QSettings> stored = OpenSettings();
    if (!stored)
        return;
    QSettings& s = *stored;
    s.setValue(kLeftKey, x());
    s.setValue(kTopKey, y());
    s.setValue(kVisibleKey, int(isVisible()));
    s.setValue(kSpeedKey, SpeedComboBox->currentIndex());
    s.setValue(kSkipKey, int(SkipCheckBox->isChecked()));
    s.setValue(kSkipSecondsKey, SkipSpinBox->value());
    s.setValue(kLoopKey, int(LoopCheckBox->isChecked()));
    s.sync();
}

