// Kestrova: monitor, recorder and player for GPS/GLONASS receivers.
#include "BinrDecoder.h"
#include "CommandLine.h"
#include "Headless.h"
#include "NmeaAssembler.h"
#include "ReportCommand.h"
#include "ToNmea.h"
#include "WeekRollover.h"
#include "WindowRun.h"

#include <cstdio>

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

    // The decoders exist before any window.
    ProgramNmea();
    ProgramBinr();

    return RunWindows(argc, argv, cl);
}
