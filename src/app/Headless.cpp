// Headless runs: the real windows on the offscreen platform, with every view
// switched on, play one file fast through the usual intake; each view prints
// its refreshes, and the main window's labels follow once playback stops.
// No stored settings are read and none are written.
#include "Headless.h"

#include "BinrDecoder.h"
#include "LongWait.h"
#include "Mainfile.h"
#include "MonotonicClock.h"
#include "NmeaAssembler.h"
#include "Player.h"
#include "Report.h"
#include "Statistic.h"
#include "TerminalText.h"
#include "TimeUnits.h"
#include "Visual.h"
#include "Windows.h"

#include "Controls.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTime>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

int FileOpenError(const QString& problem)
{
    std::fprintf(stderr, "kestrova: %s\n", TerminalText(problem.toUtf8().toStdString()).c_str());
    return 2;
}

int PlaybackDidNotStart(const TMainForm* form) { return FileOpenError(PlaybackStartProblem(form)); }

} // namespace

void GuardStandardOutput()
{
    std::signal(SIGPIPE, SIG_IGN);
    if (::fcntl(STDOUT_FILENO, F_GETFD) == -1 && errno == EBADF) {
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null >= 0 && null != STDOUT_FILENO) {
            ::dup2(null, STDOUT_FILENO);
            ::close(null);
        }
        ReportOutputFailure(EBADF);
    }
}

namespace {

// Qt raises a tool window above its parent at every show; the offscreen
// platform keeps no stacking order and says so on stderr each time. Nobody
// sees the stacking here: the views become plain windows.
void MakeViewsPlainWindows(TMainForm* form)
{
    for (TViewForm* view : form->findChildren<TViewForm*>(Qt::FindDirectChildrenOnly))
        view->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
}

} // namespace

void SetUpHeadlessWindows(TMainForm* form, const CommandLine& cl, bool binr)
{
    // Before the views are shown: a shown window that changes its fixed size
    // makes the offscreen platform complain on stderr.
    if (cl.multiGnss)
        form->SetMultiGnss(true);
    for (QCheckBox* box : {form->PositionCheckBox, form->StatisticCheckBox, form->SatellitesCheckBox,
                           form->VisualCheckBox, form->ProfileCheckBox})
        box->setChecked(true);
    if (VisualForm && VisualForm->SatCheckBox)
        VisualForm->SatCheckBox->setChecked(true);
    if (StatisticForm) {
        if (StatisticForm->HDOPEdit)
            StatisticForm->HDOPEdit->setText(cl.maxHdop);
        if (StatisticForm->VDOPEdit)
            StatisticForm->VDOPEdit->setText(cl.maxVdop);
        if (StatisticForm->DiffCheckBox)
            StatisticForm->DiffCheckBox->setChecked(cl.diffOnly);
    }
    (binr ? form->BINRRadioButton : form->NMEARadioButton)->setChecked(true);
    // Every view is on anyway; SIGNALS adds its line only when asked for.
    if (cl.show.contains(QLatin1String("signals")) || cl.show.contains(QLatin1String("all")))
        form->ShowSignals();
}

void StopAfterSeconds(QTimer& timer, int64_t seconds, const std::function<void()>& stop)
{
    if (seconds <= 0)
        return;
    const int64_t startMs = MonotonicMs();
    const LongWait end(startMs, seconds * kMsPerSecond);
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &timer, [&timer, end, stop] {
        if (end.Due(MonotonicMs()))
            stop();
        else
            timer.start(end.NextChunkMs(MonotonicMs()));
    });
    timer.start(end.NextChunkMs(startMs));
}

QString PlaybackStartProblem(const TMainForm* form)
{
    // The window's own words are "File open error"; stderr names the file it
    // tried (the window adds an extension to a bare name) and why, when the
    // file system still tells.
    const QString tried = QFileInfo(form->FileLabel->text()).absoluteFilePath();
    const QString problem = PlayableFileProblem(tried);
    return problem.isEmpty() ? form->FileLabel->text() + ": File open error" : problem;
}

void ReportMainWindow(const TMainForm* form)
{
    ReportView("MAIN", {{"ReceiveBytesLabel", form->ReceiveBytesLabel->text()},
                        {"ErrorBytesLabel", form->ErrorBytesLabel->text()},
                        {"InfoLabel", form->InfoLabel->text()},
                        {"DeviceLabel", form->DeviceLabel->text()},
                        {"FileLabel", form->FileLabel->text()}});
}

namespace {

// The file replayed at its own pace through the PLAYER's playback, from
// the epoch --from names; 0, or the exit status of a failure.
int StartPaced(const CommandLine& cl, const QString& file)
{
    PlayerForm->SetSpeed(cl.pace);
    PlayerForm->IndexCurrentFile();
    if (!PlayerForm->WaitForIndex())
        return PlaybackDidNotStart(MainForm);
    if (const QString problem = PlayerForm->TimesProblem(); !problem.isEmpty())
        std::fprintf(stderr, "kestrova: %s.times: %s; paced by the recording's own times instead\n",
                     TerminalText(file.toUtf8().toStdString()).c_str(), problem.toUtf8().constData());
    size_t epoch = 0;
    if (cl.fromMsOfDay >= 0) {
        epoch = PlayerForm->EpochAtTimeOfDay(cl.fromMsOfDay);
        if (epoch >= PlayerForm->EpochCount()) {
            std::fprintf(stderr, "kestrova: --from %s: no epoch at or after this time in %s\n",
                         QTime::fromMSecsSinceStartOfDay(cl.fromMsOfDay).toString("HH:mm:ss").toUtf8().constData(),
                         TerminalText(file.toUtf8().toStdString()).c_str());
            return 2;
        }
    }
    if (!PlayerForm->StartPaced(epoch, false) || MainForm->Mode() != amPlay)
        return PlaybackDidNotStart(MainForm);
    return 0;
}

} // namespace

int RunHeadless(const CommandLine& cl)
{
    if (cl.bench)
        return RunHeadlessBench(cl);
    const QString file = cl.files.value(0);
    // Checked before any window exists, so a wrong name costs nothing.
    if (!cl.headlessLive) {
        if (const QString problem = PlayableFileProblem(file); !problem.isEmpty())
            return FileOpenError(problem);
    }
    GuardStandardOutput();
    // Watching only, or playing: the lines are all a run gives.
    if (ReportOutputFailed() && cl.record.isEmpty())
        return 1;

    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Settings are neither read nor written; should any window still touch
    // them, it finds an empty private folder that vanishes with the run.
    QTemporaryDir privateConfig;
    if (privateConfig.isValid()) {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(privateConfig.path()));
        // Without one Qt warns on stderr (a root shell, a CI job); the folder
        // is private (0700) as Qt requires.
        if (!qEnvironmentVariableIsSet("XDG_RUNTIME_DIR"))
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(privateConfig.path()));
    }
    SetHeadlessReport(true);

    int argc = 1;
    char name[] = "kestrova";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);

    std::unique_ptr<TMainForm> form(CreateProgramWindows());
    form->headless = true;
    form->SourceIntake().Dates().ForceRollovers(cl.weekRollovers);
    MakeViewsPlainWindows(form.get());
    form->show();
    if (cl.headlessLive) {
        const int status = RunHeadlessLive(*form, cl);
        form.reset();
        return status;
    }
    const bool binr = PlaysAsBinr(cl, file);
    SetUpHeadlessWindows(form.get(), cl, binr);
    form->TakeFileName(QFileInfo(file).absoluteFilePath());
    if (cl.pace > 0) {
        if (const int status = StartPaced(cl, file))
            return status;
    } else {
        form->RewindButtonClick(nullptr);
        if (form->Mode() != amFastPlay)
            return PlaybackDidNotStart(form.get());
    }

    // Nobody reads the rest: the playback stops at once.
    SetReportFailureHandler([&form] {
        QMetaObject::invokeMethod(form.get(), [&form] { form->StopButtonClick(nullptr); }, Qt::QueuedConnection);
    });
    QObject::connect(form.get(), &TMainForm::ModeChanged, &app, [&](uint32_t mode) {
        if (mode == amStop) {
            ReportMainWindow(form.get());
            QCoreApplication::exit(ReportOutputFailed() ? 1 : 0);
        }
    });
    const int status = app.exec();
    SetReportFailureHandler(nullptr);
    form.reset();
    return status;
}
