#include "WindowRun.h"

#include "BenchDock.h"
#include "Comm.h"
#include "Headless.h"
#include "Mainfile.h"
#include "Player.h"
#include "ReportCommand.h"
#include "Windows.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QRadioButton>

#include <cstdio>
#include <memory>

namespace {

void ShowViews(TMainForm* form, const QStringList& views)
{
    const std::pair<const char*, QCheckBox*> switches[] = {
        {"position", form->PositionCheckBox},     {"statistic", form->StatisticCheckBox},
        {"satellites", form->SatellitesCheckBox}, {"visual", form->VisualCheckBox},
        {"profile", form->ProfileCheckBox},
    };
    const bool all = views.contains(QLatin1String("all"));
    for (const auto& [name, box] : switches)
        if (all || views.contains(QLatin1String(name)))
            form->ShowViewOnce(box);
    if (all || views.contains(QLatin1String("signals")))
        form->ShowSignals();
}

// The source named first (--port) is the one selected, at the rate --baud
// names; with --watch it is watched.
void SelectNamedPort(TMainForm* form, const QString& source, int baud)
{
    if (baud > 0) {
        const int rate = form->BaudComboBox->findText(QString::number(baud));
        if (rate >= 0)
            form->BaudComboBox->setCurrentIndex(rate);
    }
    if (source.isEmpty())
        return;
    int i = form->PortComboBox->findText(source);
    if (i < 0)
        i = form->PortComboBox->findText(PortDisplayName(QFileInfo(source).absoluteFilePath()));
    if (i < 0) {
        form->PortComboBox->insertItem(0, source);
        i = 0;
    }
    form->PortComboBox->setCurrentIndex(i);
}

// Ports named with --port or in KESTROVA_PORTS join the port list; those it
// would not list are named on stderr.
void AddNamedPorts(const QStringList& named)
{
    const QStringList envPorts = SplitPortList(qEnvironmentVariable("KESTROVA_PORTS"));
    for (const auto& [origin, ports] : {std::pair{"--port", named}, std::pair{"KESTROVA_PORTS", envPorts}})
        for (const QString& port : ports)
            if (const QString problem = PortProblem(port); !problem.isEmpty())
                Complain(QString("%1 %2: %3; not listed").arg(origin, port, problem));
    AddExtraPorts(named + envPorts);
}

// The file replayed in the PLAYER at its recording's pace (--pace, --player,
// --from). False when --from finds no epoch (said on stderr).
bool StartPacedReplay(TMainForm* form, const CommandLine& cl, const QString& file)
{
    (form->commandLineBinr ? form->BINRRadioButton : form->NMEARadioButton)->setChecked(true);
    // A folder that cannot be entered leaves the reason on the information line.
    if (!form->TakeFileName(file))
        return true;
    PlayerForm->SetSpeed(cl.pace > 0 ? cl.pace : 1);
    if (TPlayerForm::IsTestFolder(file)) {
        // Its time line starts with the test: --from is read as a time of day of it.
        if (!PlayerForm->IndexCurrentFile()) {
            Complain(form->InfoLabel->text());
            return !cl.exitAfterPlay;
        }
        if (cl.fromMsOfDay >= 0 && !PlayerForm->SeekBenchTime(QString::fromStdString(DurationText(cl.fromMsOfDay)))) {
            std::fprintf(stderr, "kestrova: --from: this time is not in the test\n");
            return false;
        }
        PlayerForm->StartPaced(0, false);
        return true;
    }
    PlayerForm->IndexCurrentFile();
    PlayerForm->WaitForIndex();
    const size_t epoch = cl.fromMsOfDay < 0 ? 0 : PlayerForm->EpochAtTimeOfDay(cl.fromMsOfDay);
    if (epoch >= PlayerForm->EpochCount() && cl.fromMsOfDay >= 0) {
        std::fprintf(stderr, "kestrova: --from: no epoch at or after this time in the file\n");
        return false;
    }
    PlayerForm->StartPaced(epoch, false);
    return true;
}

// --exit-after-play: the window closes when the playback stops. False when
// nothing plays (the reason said on stderr).
bool CloseAfterPlay(TMainForm* form)
{
    if (form->Mode() != amPlay && form->Mode() != amFastPlay) {
        const QString why = form->InfoLabel->text() == QLatin1String("File open error")
                                ? PlaybackStartProblem(form)
                                : form->InfoLabel->text().isEmpty() ? QStringLiteral("nothing to play")
                                                                    : form->InfoLabel->text();
        Complain(why);
        return false;
    }
    QObject::connect(form, &TMainForm::ModeChanged, form, [form](uint32_t mode) {
        // The stop comes from inside the playback thread's last hand-off;
        // closing waits for that thread, so it happens afterwards.
        if (mode == amStop)
            QMetaObject::invokeMethod(form, &QWidget::close, Qt::QueuedConnection);
    });
    return true;
}

} // namespace

int RunWindows(int& argc, char* argv[], const CommandLine& cl)
{
    // Refused inputs are named on stderr; the window still starts.
    QString file = cl.files.value(0);
    // A folder's name as a shell completes it ends in '/': the panel takes
    // the last part of a name for the file's, which would be empty then.
    if (QFileInfo(file).isDir())
        file = QDir::cleanPath(file);
    for (const QString& extra : cl.files.mid(1))
        Complain(extra + ": only one file is played; ignored");
    // A test folder (or its bench.json) replays in the PLAYER, every
    // recording in step, with or without --player.
    const bool testFolder = !file.isEmpty() && TPlayerForm::IsTestFolder(file);
    const QString fileProblem = file.isEmpty() || testFolder ? QString() : PlayableFileProblem(file);
    if (!fileProblem.isEmpty()) {
        Complain(fileProblem);
        if (cl.exitAfterPlay)
            return 2;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName("KESTROVA");
    AddNamedPorts(cl.ports);

    std::unique_ptr<TMainForm> mainForm(CreateProgramWindows());
    mainForm->SourceIntake().Dates().ForceRollovers(cl.weekRollovers);
    // With --player or --pace the file replays at its recording's pace in
    // the PLAYER, not through the panel's Play.
    const bool paced = (cl.pace > 0 || cl.player || testFolder) && PlayerForm && !file.isEmpty() && fileProblem.isEmpty();
    mainForm->commandLineFile = paced ? QString() : file;
    mainForm->commandLineBinr = PlaysAsBinr(cl, file);
    if (PlayerForm)
        PlayerForm->AddMenuItem();
    mainForm->show();
    if (cl.multiGnss)
        mainForm->SetMultiGnss(true);
    ShowViews(mainForm.get(), cl.show);
    if (cl.reconnect)
        mainForm->SetReconnectEnabled(true);
    SelectNamedPort(mainForm.get(), cl.ports.value(0), cl.baud);
    if (cl.watch)
        mainForm->WatchClick(nullptr);
    // The report is above the panel: the Report button reaches it through here.
    mainForm->Bench().writeReport = [](const QString& folder, QString* page, QString* problem) {
        std::string written, why;
        ReportBenchFolder(QFile::encodeName(folder).toStdString(), &written, &why);
        *page = QFile::decodeName(written.c_str());
        *problem = QString::fromLocal8Bit(why.data(), qsizetype(why.size())).trimmed();
        return !written.empty();
    };
    mainForm->Bench().folderTable = [](const QString& folder, const std::vector<BenchState>& states,
                                       std::vector<BenchRow>* rows) {
        std::string why;
        return BenchFolderTable(QFile::encodeName(folder).toStdString(), states, rows, &why) == 0;
    };
    if (cl.bench) {
        const bool binr = cl.protocol == CommandLine::Protocol::Binr;
        for (const QString& problem : mainForm->Bench().AddSources(cl.benchSources, binr, cl.baud))
            Complain(problem);
    }
    if (cl.fast && mainForm->Mode() == amPlay)
        mainForm->RewindButtonClick(nullptr);
    if (paced && !StartPacedReplay(mainForm.get(), cl, file))
        return 2;
    if ((cl.player || testFolder) && PlayerForm)
        PlayerForm->ShowBesidePanel();
    if (cl.exitAfterPlay && testFolder)
        Complain(file + QStringLiteral(": a test folder plays in the PLAYER; --exit-after-play ignored"));
    else if (cl.exitAfterPlay && !CloseAfterPlay(mainForm.get()))
        return 2;
    const int status = app.exec();
    mainForm.reset();
    return status;
}
