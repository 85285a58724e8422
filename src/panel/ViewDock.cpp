// The views docked around the panel (ViewDock.h).
#include "ViewDock.h"

#include "About.h"
#include "Mainfile.h"
#include "Position.h"
#include "Profile.h"
#include "Satellites.h"
#include "Statistic.h"
#include "Timerfile.h"
#include "Visual.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>

ViewDock::ViewDock(TMainForm& panel) : panel_(panel) {}

void ViewDock::Link()
{
    // The views see of the main window only what they are handed here,
    // and the source they show: the panel's intake.
    if (PositionForm) {
        PositionForm->soundEnabled = [this] { return panel_.soundEnabled && !panel_.priming_; };
        PositionForm->liveData = [this] {
            const uint32_t mode = panel_.mode;
            return !panel_.priming_ && mode != amPlay && mode != amFastPlay && mode != amPause;
        };
    }
    LinkIntake(panel_.intake_);
    if (StatisticForm) {
        StatisticForm->fixAccepted = [this](const FixStep& step) {
            if (panel_.VisualCheckBox->isChecked() && VisualForm)
                VisualForm->AddPosition(step.position, step.fromBinr);
        };
        StatisticForm->recordingName = [this] {
            const QString label = panel_.FileLabel->text();
            return label.isEmpty() ? label : QFileInfo(label).absoluteFilePath();
        };
    }
    if (VisualForm) {
        VisualForm->profileAltitude = [this](double differenceM) {
            if (panel_.ProfileCheckBox->isChecked() && ProfileForm)
                ProfileForm->AddAltitude(differenceM);
        };
        VisualForm->profileCleared = [] {
            if (ProfileForm)
                ProfileForm->ClearProfile();
        };
        VisualForm->statisticMean = [] { return StatisticForm ? StatisticForm->Pipeline().Stats() : StatisticsOutput{}; };
        VisualForm->pictureNotes = [] { return TVisualForm::NotesFrom(PositionForm, StatisticForm); };
        VisualForm->deviceName = [this] { return panel_.DeviceLabel->text(); };
        VisualForm->fileName = [this] { return panel_.FileLabel->text(); };
    }
    if (TimerForm)
        TimerForm->SetScheduleActions([this] { panel_.ScheduledRecordStart(); }, [this] { panel_.ScheduledRecordStop(); });
}

void ViewDock::LinkIntake(Intake& intake)
{
    if (PositionForm)
        PositionForm->intake = &intake;
    if (SatellitesForm)
        SatellitesForm->intake = &intake;
    if (StatisticForm) {
        StatisticForm->intake = &intake;
        StatisticForm->SetPipeline(&intake.Fixes());
    }
    if (VisualForm)
        VisualForm->intake = &intake;
}

void ViewDock::MoveAll(int dx, int dy)
{
    for (QWidget* view : std::initializer_list<QWidget*>{PositionForm, StatisticForm, SatellitesForm, VisualForm, ProfileForm})
        if (view)
            view->move(view->pos() + QPoint(dx, dy));
}

bool ViewDock::SwitchPosition()
{
    if (!PositionForm)
        return false;
    const int h = PositionForm->height();
    if (panel_.PositionCheckBox->isChecked()) {
        PositionForm->move(panel_.x(), panel_.y() + panel_.height());
        if (StatisticForm)
            StatisticForm->move(StatisticForm->x(), StatisticForm->y() + h);
        if (SatellitesForm)
            SatellitesForm->move(SatellitesForm->x(), SatellitesForm->y() + h);
        PositionForm->show();
    } else {
        PositionForm->hide();
        if (StatisticForm)
            StatisticForm->move(StatisticForm->x(), StatisticForm->y() - h);
        if (SatellitesForm)
            SatellitesForm->move(SatellitesForm->x(), SatellitesForm->y() - h);
    }
    return true;
}

bool ViewDock::SwitchStatistic()
{
    if (!StatisticForm)
        return false;
    const int h = StatisticForm->height();
    if (panel_.StatisticCheckBox->isChecked()) {
        int top = panel_.y() + panel_.height();
        if (panel_.PositionCheckBox->isChecked() && PositionForm)
            top += PositionForm->height();
        StatisticForm->move(panel_.x(), top);
        if (SatellitesForm)
            SatellitesForm->move(SatellitesForm->x(), SatellitesForm->y() + h);
        StatisticForm->show();
        StatisticForm->ResetStatistics();
    } else {
        StatisticForm->hide();
        if (SatellitesForm)
            SatellitesForm->move(SatellitesForm->x(), SatellitesForm->y() - h);
    }
    return true;
}

bool ViewDock::SwitchSatellites()
{
    if (!SatellitesForm)
        return false;
    if (panel_.SatellitesCheckBox->isChecked()) {
        int top = panel_.y() + panel_.height();
        if (panel_.PositionCheckBox->isChecked() && PositionForm)
            top += PositionForm->height();
        if (panel_.StatisticCheckBox->isChecked() && StatisticForm)
            top += StatisticForm->height();
        SatellitesForm->move(panel_.x(), top);
        SatellitesForm->show();
    } else {
        SatellitesForm->hide();
    }
    return true;
}

void ViewDock::SwitchVisual()
{
    if (!VisualForm)
        return;
    if (panel_.VisualCheckBox->isChecked()) {
        VisualForm->move(panel_.x() + panel_.width(), panel_.y());
        VisualForm->show();
    } else {
        VisualForm->hide();
    }
}

void ViewDock::Grab(int x, int y)
{
    dragging_ = true;
    dragX_ = x;
    dragY_ = y;
}

void ViewDock::Drag(int x, int y)
{
    if (!dragging_)
        return;
    const int dx = x - dragX_;
    const int dy = y - dragY_;
    panel_.move(panel_.pos() + QPoint(dx, dy));
    MoveAll(dx, dy);
}

bool ViewDock::Release()
{
    const bool ended = dragging_;
    dragging_ = false;
    return ended;
}

bool ViewDock::ShowTimer()
{
    if (!TimerForm)
        return false;
    TimerForm->move(panel_.x() + panel_.width() / 2 - TimerForm->width() / 2, panel_.y());
    TimerForm->ShowModal();
    return true;
}

void ViewDock::ShowAbout()
{
    if (!AboutForm)
        return;
    AboutForm->move(panel_.x() - AboutForm->width(), panel_.y());
    AboutForm->exec();
}
