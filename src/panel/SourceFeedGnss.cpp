// The Multi-GNSS option of the main window: its check item in the title
// strip's menu, its setting, and what switching it does to the views.
#include "SourceFeed.h"

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

SourceFeed::SourceFeed(TMainForm& panel) : QObject(&panel), panel_(panel) { AddMultiGnssMenu(); }

// A new main window starts with the option off, until the settings or the
// command line say otherwise.
void SourceFeed::AddMultiGnssMenu()
{
    panel_.GnssIdleTimer = new QTimer(&panel_);
    panel_.GnssIdleTimer->setSingleShot(true);
    panel_.gnssClockUs = [] { return MonotonicUs(); };
    connect(panel_.GnssIdleTimer, &QTimer::timeout, this, &SourceFeed::GnssIdleTimerTimer);
    multiGnssAction_ = panel_.TitleMenu()->addAction(QStringLiteral("Multi-GNSS"));
    multiGnssAction_->setCheckable(true);
    connect(multiGnssAction_, &QAction::toggled, this, [this](bool on) { SetMultiGnss(on); });
}

bool SourceFeed::MultiGnss() const { return panel_.intake_.MultiGnss(); }

void SourceFeed::SetMultiGnss(bool on)
{
    // The views start afresh, as at the start of a playback: nothing read
    // one way stays on screen beside what is read the other way. The
    // decoders are left alone, so a recording's side file goes on unchanged.
    panel_.intake_.SetMultiGnss(on);
    if (multiGnssAction_) {
        const QSignalBlocker quiet(multiGnssAction_);
        multiGnssAction_->setChecked(on);
    }
    RestartViews(on);
    panel_.SettingChanged();
}

void SourceFeed::OnGnssEpoch(const Intake& intake)
{
    if (!Shown(intake))
        return;
    if (panel_.PositionCheckBox->isChecked() && PositionForm)
        PositionForm->RefreshFromNmea();
    if (panel_.SatellitesCheckBox->isChecked() && SatellitesForm)
        SatellitesForm->RefreshFromNmea();
}

void SourceFeed::CompleteGnssEpoch()
{
    panel_.GnssIdleTimer->stop();
    panel_.intake_.CompleteGnssEpoch();
}

// After each live block: the quiet time counts from its arrival.
void SourceFeed::WatchGnssIdle()
{
    gnssLastBytesUs_ = panel_.gnssClockUs();
    if (panel_.intake_.Gnss().Pending())
        panel_.GnssIdleTimer->start(int(kEpochIdleUs / 1000));
}

void SourceFeed::GnssIdleTimerTimer()
{
    if (!panel_.intake_.Gnss().Pending() || (panel_.mode != amRecord && panel_.mode != amWatch))
        return;
    const int64_t quietUs = panel_.gnssClockUs() - gnssLastBytesUs_;
    if (quietUs >= 0 && quietUs < kEpochIdleUs) {
        panel_.GnssIdleTimer->start(int((kEpochIdleUs - quietUs + 999) / 1000));
        return;
    }
    CompleteGnssEpoch();
    RepaintWindows();
}

// A value that cannot be read leaves the option as it is (off at start-up).
void SourceFeed::LoadMultiGnssSetting(const QSettings& s)
{
    bool ok = false;
    const int v = s.value(kMultiGnssKey).toString().trimmed().toInt(&ok);
    if (s.contains(kMultiGnssKey) && ok && (v == 0 || v == 1) && (v == 1) != MultiGnss())
        SetMultiGnss(v == 1);
}

void SourceFeed::SaveMultiGnssSetting(QSettings& s) const { s.setValue(kMultiGnssKey, int(MultiGnss())); }

// PROFILE sits under VISUAL; with Multi-GNSS the grown SATELLITES window can
// reach lower, and PROFILE then goes under that.
void SourceFeed::PlaceProfile()
{
    if (!ProfileForm || !panel_.ProfileCheckBox->isChecked())
        return;
    int leftColumn = panel_.height();
    const std::pair<QCheckBox*, QWidget*> column[] = {
        {panel_.PositionCheckBox, PositionForm}, {panel_.StatisticCheckBox, StatisticForm}, {panel_.SatellitesCheckBox, SatellitesForm}};
    for (const auto& [box, view] : column)
        if (box->isChecked() && view)
            leftColumn += view->height();
    const int underVisual = VisualForm ? VisualForm->height() : 0;
    ProfileForm->move(panel_.x(), panel_.y() + (MultiGnss() ? std::max(underVisual, leftColumn) : underVisual));
}
