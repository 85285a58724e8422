// Kestrova: monitor, recorder and player for GPS/GLONASS receivers.
#include "BinrDecoder.h"
#include "CommandLine.h"
#include "Comm.h"
#include "Headless.h"
#include "Mainfile.h"
#include "NmeaAssembler.h"
#include "Player.h"
#include "ReportCommand.h"
#include "TerminalText.h"
#include "ToNmea.h"
#include "WeekRollover.h"
#include "Windows.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QRadioButton>
#include <cstdio>
#include <memory>

namespace {

void Complain(const QString& text)
{
    std::fprintf(stderr, "kestrova: %s\n", TerminalText(text.toLocal8Bit().toStdString()).c_str());
}

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

} // namespace

int main(int argc, char* argv[])
{
    if (IsReportCommand(argc, argv))
        return RunReport(argc, argv);
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine cl = ParseCommandLine(arguments);
    if (cl.help) {
        std::fputs(UsageText().toUtf8().constData(), stdout);
        return 0;
    }
    if (!cl.error.isEmpty()) {
        Complain(cl.error);
        return 2;
    }

    ForceWeekRollovers(cl.weekRollovers);
    if (cl.toNmea)
        return RunToNmea(cl.files);
    if (cl.headless)
        return RunHeadless(cl);

    // Refused inputs are named on stderr; the window still starts.
    const QString file = cl.files.value(0);
    for (const QString& extra : cl.files.mid(1))
        Complain(extra + ": only one file is played; ignored");
    const QString fileProblem = file.isEmpty() ? QString() : PlayableFileProblem(file);
    if (!fileProblem.isEmpty()) {
        Complain(fileProblem);
        if (cl.exitAfterPlay)
            return 2;
    }

    // The decoders exist before any window.
    ProgramNmea();
    ProgramBinr();

    QApplication app(argc, argv);
    QApplication::setApplicationName("KESTROVA");

    const QStringList envPorts = SplitPortList(qEnvironmentVariable("KESTROVA_PORTS"));
    for (const auto& [origin, ports] : {std::pair{"--port", cl.ports}, std::pair{"KESTROVA_PORTS", envPorts}})
        for (const QString& port : ports)
            if (const QString problem = PortProblem(port); !problem.isEmpty())
                Complain(QString("%1 %2: %3; not listed").arg(origin, port, problem));
    AddExtraPorts(cl.ports + envPorts);

    std::unique_ptr<TMainForm> mainForm(CreateProgramWindows());
    // With --player or --pace the file replays at its recording's pace in
    // the PLAYER, not through the panel's Play.
    const bool paced = (cl.pace > 0 || cl.player) && PlayerForm && !file.isEmpty() && fileProblem.isEmpty();
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
    if (cl.watch) {
        // The source named first is the one watched.
        const QString source = cl.ports.value(0);
        int i = mainForm->PortComboBox->findText(source);
        if (i < 0)
            i = mainForm->PortComboBox->findText(PortDisplayName(QFileInfo(source).absoluteFilePath()));
        if (i < 0) {
            mainForm->PortComboBox->insertItem(0, source);
            i = 0;
        }
        mainForm->PortComboBox->setCurrentIndex(i);
        mainForm->WatchClick(nullptr);
    }
    if (cl.fast && mainForm->Mode() == amPlay)
        mainForm->RewindButtonClick(nullptr);
    if (paced)
        (mainForm->commandLineBinr ? mainForm->BINRRadioButton : mainForm->NMEARadioButton)->setChecked(true);
    // A folder that cannot be entered leaves the reason on the information line.
    if (paced && mainForm->TakeFileName(file)) {
        PlayerForm->SetSpeed(cl.pace > 0 ? cl.pace : 1);
        PlayerForm->IndexCurrentFile();
        PlayerForm->WaitForIndex();
        const size_t epoch = cl.fromMsOfDay < 0 ? 0 : PlayerForm->EpochAtTimeOfDay(cl.fromMsOfDay);
        if (epoch >= PlayerForm->EpochCount() && cl.fromMsOfDay >= 0) {
            std::fprintf(stderr, "kestrova: --from: no epoch at or after this time in the file\n");
            return 2;
        }
        PlayerForm->StartPaced(epoch, false);
    }
    if (cl.player && PlayerForm)
        PlayerForm->ShowBesidePanel();
    if (cl.exitAfterPlay) {
        if (mainForm->Mode() != amPlay && mainForm->Mode() != amFastPlay) {
            const QString why = mainForm->InfoLabel->text() == QLatin1String("File open error")
                                    ? PlaybackStartProblem(mainForm.get())
                                    : mainForm->InfoLabel->text().isEmpty() ? QStringLiteral("nothing to play")
                                                                            : mainForm->InfoLabel->text();
            Complain(why);
            return 2;
        }
        QObject::connect(mainForm.get(), &TMainForm::ModeChanged, mainForm.get(), [&](uint32_t mode) {
            // The stop comes from inside the playback thread's last hand-off;
            // closing waits for that thread, so it happens afterwards.
            if (mode == amStop)
                QMetaObject::invokeMethod(mainForm.get(), &QWidget::close, Qt::QueuedConnection);
        });
    }
    const int status = app.exec();
    mainForm.reset();
    return status;
}
