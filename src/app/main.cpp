// Kestrova: monitor, recorder and player for GPS/GLONASS receivers.
#include "BinrDecoder.h"
#include "CommandLine.h"
#include "Comm.h"
#include "Headless.h"
#include "Mainfile.h"
#include "NmeaAssembler.h"
#include "ToNmea.h"
#include "Windows.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
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
    for (const auto& [name, box] : switches)
        if (views.contains(QLatin1String(name)))
            box->setChecked(true);
}

} // namespace

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine cl = ParseCommandLine(arguments);
    if (cl.help) {
        std::fputs(UsageText().toUtf8().constData(), stdout);
        return 0;
    }
    if (!cl.error.isEmpty()) {
        std::fprintf(stderr, "kestrova: %s\n", cl.error.toUtf8().constData());
        return 2;
    }

    if (cl.toNmea)
        return RunToNmea(cl.files);
    if (cl.headless)
        return RunHeadless(cl);

    // The decoders exist before any window.
    ProgramNmea();
    ProgramBinr();

    QApplication app(argc, argv);
    QApplication::setApplicationName("KESTROVA");

    QStringList ports = cl.ports;
    const QString envPorts = qEnvironmentVariable("KESTROVA_PORTS");
    if (!envPorts.isEmpty())
        ports += envPorts.split(':', Qt::SkipEmptyParts);
    AddExtraPorts(ports);

    std::unique_ptr<TMainForm> mainForm(CreateProgramWindows());
    mainForm->commandLineFile = cl.files.value(0);
    mainForm->show();
    if (cl.multiGnss)
        mainForm->SetMultiGnss(true);
    ShowViews(mainForm.get(), cl.show);
    if (cl.fast && mainForm->mode == amPlay)
        mainForm->RewindButtonClick(nullptr);
    if (cl.exitAfterPlay) {
        if (mainForm->mode != amPlay && mainForm->mode != amFastPlay) {
            std::fprintf(stderr, "kestrova: %s\n",
                         (mainForm->InfoLabel->text().isEmpty() ? QStringLiteral("nothing to play")
                                                                : mainForm->InfoLabel->text()).toUtf8().constData());
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
