// kestrova, the program users run. kestrova --report runs here; every other
// mode is the Qt program, kestrova-qt beside this file (main.cpp), which
// replaces this one in the same process (exec: same pid, arguments and
// environment), so it behaves as if it had been started itself.
//
// Why two executables: a report is timed as a whole process and scripts run
// one per recording; loading Qt's and its dependencies' ~48 libraries took
// ~9 ms of every run before a byte was read. This file and what it reaches
// build without Qt (tests/scripts/layers.sh checks it; CMake refuses a Qt
// library on its link line).
#include "ReportCommand.h"
#include "TerminalText.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

constexpr char kQtProgram[] = "kestrova-qt";
constexpr int kCannotStart = 2;

// The folder this executable was started from, with its '/': /proc/self/exe
// follows links to the real file; without /proc, argv[0] when it names a
// path. Empty when neither tells (the program was found in PATH).
std::string OwnFolder(const char* argv0)
{
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe);
    const std::string self = n > 0 && size_t(n) < sizeof exe ? std::string(exe, size_t(n))
                             : argv0                         ? std::string(argv0)
                                                             : std::string();
    const size_t slash = self.rfind('/');
    return slash == std::string::npos ? std::string() : self.substr(0, slash + 1);
}

} // namespace

int main(int argc, char* argv[])
{
    if (IsReportCommand(argc, argv))
        return RunReport(argc, argv);
    // Nothing is open or buffered here yet: the Qt program starts clean.
    const std::string folder = OwnFolder(argv[0]);
    const std::string program = folder + kQtProgram;
    if (folder.empty())
        execvp(kQtProgram, argv);
    else
        execv(program.c_str(), argv);
    const int why = errno;
    std::fprintf(stderr, "kestrova: cannot start %s: %s\n", TerminalText(program).c_str(), std::strerror(why));
    return kCannotStart;
}
