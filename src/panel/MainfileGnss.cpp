// The Multi-GNSS option of the main window: its check item in the title
// strip's menu, its setting, and what switching it does to the views.
#include "Mainfile.h"

#include "Position.h"
#include "Profile.h"
#include "Satellites.h"
#include "Statistic.h"
#include "Visual.h"

#include "ReceiveTimes.h"

#include <QAction>
#include <QCheckBox>
#include <QMenu>
#include <QSettings>
#include <QSignalBlocker>

#include <algorithm>

namespace {

constexpr char kMultiGnssKey[] = "MultiGnss";

} // namespace

// A new main window starts with the option off, until the settings or the
// command line say otherwise.
void TMainForm::AddMultiGnssMenu()
{
    GnssIdleTimer = new QTimer(this);
    GnssIdleTimer->setSingleShot(true);
    gnssClockUs = [] { return MonotonicUs(); };
    connect(GnssIdleTimer, &QTimer::timeout, this, &TMainForm::GnssIdleTimerTimer);
    multiGnssAction_ = TitleMenu()->addAction(QStringLiteral("Multi-GNSS"));
    multiGnssAction_->setCheckable(true);
    connect(multiGnssAction_, &QAction::toggled, this, [this](bool on) { SetMultiGnss(on); });
}

bool TMainForm::MultiGnss() const { return intake_.MultiGnss(); }

void TMainForm::SetMultiGnss(bool on)
{
    // The views start afresh, as at the start of a playback: nothing read
    // one way stays on screen beside what is read the other way. The
    // decoders are left alone, so a recording's side file goes on unchanged.
    intake_.SetMultiGnss(on);
    if (multiGnssAction_) {
        const QSignalBlocker quiet(multiGnssAction_);
        multiGnssAction_->setChecked(on);
    }
    if (PositionForm)
        PositionForm->SetMultiGnss(on);
    if (SatellitesForm)
        SatellitesForm->SetMultiGnss(on);
    if (SatellitesForm)
        SatellitesForm->ClearIndicators();
    if (VisualForm)
        VisualForm->ClearPlot();
    if (StatisticForm)
        StatisticForm->ResetStatistics();
    PlaceProfile();
    SettingChanged();
}

void TMainForm::OnGnssEpoch(const Intake&)
{
    if (PositionCheckBox->isChecked() && PositionForm)
        PositionForm->RefreshFromNmea();
    if (SatellitesCheckBox->isChecked() && SatellitesForm)
        SatellitesForm->RefreshFromNmea();
}

void TMainForm::CompleteGnssEpoch()
{
    GnssIdleTimer->stop();
    intake_.CompleteGnssEpoch();
}

// After each live block: the quiet time counts from its arrival.
void TMainForm::WatchGnssIdle()
{
    gnssLastBytesUs_ = gnssClockUs();
    if (intake_.Gnss().Pending())
        GnssIdleTimer->start(int(kEpochIdleUs / 1000));
}

void TMainForm::GnssIdleTimerTimer()
{
    if (!intake_.Gnss().Pending() || (mode != amRecord && mode != amWatch))
        return;
    const int64_t quietUs = gnssClockUs() - gnssLastBytesUs_;
    if (quietUs >= 0 && quietUs < kEpochIdleUs) {
        GnssIdleTimer->start(int((kEpochIdleUs - quietUs + 999) / 1000));
        return;
    }
    CompleteGnssEpoch();
    RepaintWindows();
}

// A value that cannot be read leaves the option as it is (off at start-up).
void TMainForm::LoadMultiGnssSetting(const QSettings& s)
{
    bool ok = false;
    const int v = s.value(kMultiGnssKey).toString().trimmed().toInt(&ok);
    if (s.contains(kMultiGnssKey) && ok && (v == 0 || v == 1) && (v == 1) != MultiGnss())
        SetMultiGnss(v == 1);
}

void TMainForm::SaveMultiGnssSetting(QSettings& s) const { s.setValue(kMultiGnssKey, int(MultiGnss())); }

// PROFILE sits under VISUAL; with Multi-GNSS the grown SATELLITES window can
// reach lower, and PROFILE then goes under that.
void TMainForm::PlaceProfile()
{
    if (!ProfileForm || !ProfileCheckBox->isChecked())
        return;
    int leftColumn = height();
    const std::pair<QCheckBox*, QWidget*> column[] = {
        {PositionCheckBox, PositionForm}, {StatisticCheckBox, StatisticForm}, {SatellitesCheckBox, SatellitesForm}};
    for (const auto& [box, view] : column)
        if (box->isChecked() && view)
            leftColumn += view->height();
    const int underVisual = VisualForm ? VisualForm->height() : 0;
    ProfileForm->move(x(), y() + (MultiGnss() ? std::max(underVisual, leftColumn) : underVisual));
}
