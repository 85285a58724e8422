// Kestrova: monitor, recorder and player for GPS/GLONASS receivers.
// kestrova-qt, the Qt program: the windows and every command-line mode. Users
// run kestrova (Entry.cpp), which starts this one for all but --report;
// started directly it runs --report too, alike.
#include "CommandLine.h"
#include "Headless.h"
#include "ReceiverReport.h"
#include "ReportCommand.h"
#include "ToNmea.h"
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
    if (cl.version) {
        std::printf("%s\n", ProgramVersionText().c_str());
        return 0;
    }
    if (!cl.error.isEmpty()) {
        Complain(cl.error);
        return 2;
    }

    if (cl.toNmea)
        return RunToNmea(cl.files, cl.weekRollovers);
    if (cl.headless)
        return RunHeadless(cl);

    return RunWindows(argc, argv, cl);
}
