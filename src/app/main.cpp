// Kestrova: monitor, recorder and player for GPS/GLONASS receivers.
#include "About.h"
#include "BinrDecoder.h"
#include "CommandLine.h"
#include "Comm.h"
#include "Headless.h"
#include "Mainfile.h"
#include "NmeaAssembler.h"
#include "Position.h"
#include "Profile.h"
#include "Satellites.h"
#include "Statistic.h"
#include "Timerfile.h"
#include "ToNmea.h"
#include "Visual.h"

#include <QApplication>
#include <cstdio>

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

    TMainForm mainForm;
    new TPositionForm(&mainForm);
    new TStatisticForm(&mainForm);
    new TAboutForm(&mainForm);
    new TSatellitesForm(&mainForm);
    new TVisualForm(&mainForm);
    new TProfileForm(&mainForm);
    new TTimerForm(&mainForm);
    mainForm.show();
    return app.exec();
}
