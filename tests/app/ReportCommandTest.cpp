// kestrova --report: the real program refusing what would lose a recording,
// never end, or fail in silence; and the names it prints.
#include "TestSupport.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <unistd.h>

namespace {

constexpr int kRunLimitMs = 20000;   // a run that blocks is a failure, not a hang
const std::string kR = "\xEF\xBF\xBD";

struct Attack {
    const char* name;
    const char* setup;     // shell commands in the run's folder, where same.nme is a recording
    const char* command;   // $K is the program
    int exitCode;
    std::string err;       // all of standard error
    std::string outHas;    // on standard output, when not empty
    const char* file = nullptr;   // a file written, and what it must hold
    std::string fileHas = {};
};

struct ShellRun {
    bool finished;
    int exitCode;
    std::string out, err;
};

ShellRun Shell(const QString& folder, const std::string& script)
{
    QProcess p;
    p.setWorkingDirectory(folder);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("K", KESTROVA_BIN);
    p.setProcessEnvironment(env);
    // Its own process group, so that a program still running at the limit
    // goes with the shell.
    p.setChildProcessModifier([] { ::setpgid(0, 0); });
    p.start("sh", {"-c", QString::fromStdString(script)});
    const bool finished = p.waitForFinished(kRunLimitMs);
    if (!finished) {
        ::kill(-pid_t(p.processId()), SIGKILL);
        p.waitForFinished();
    }
    return {finished, p.exitCode(), p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
}

TEST(ReportCommand, RefusalsAndFailedOutputs)
{
    const Attack attacks[] = {
        {"output on the input", "", "$K --report same.nme --html same.nme", 2,
         "kestrova: --html same.nme would overwrite the input same.nme; nothing written\n", ""},
        {"through ./name", "", "$K --report same.nme --json ./same.nme", 2,
         "kestrova: --json ./same.nme would overwrite the input same.nme; nothing written\n", ""},
        {"through a symbolic link", "ln -s same.nme sym.nme", "$K --report same.nme --csv sym.nme", 2,
         "kestrova: --csv sym.nme would overwrite the input same.nme; nothing written\n", ""},
        {"through a hard link", "ln same.nme hard.nme", "$K --report same.nme --kml hard.nme", 2,
         "kestrova: --kml hard.nme would overwrite the input same.nme; nothing written\n", ""},
        {"on a second input", "cp same.nme b.nme", "$K --report b.nme same.nme --gpx same.nme", 2,
         "kestrova: --gpx same.nme would overwrite the input same.nme; nothing written\n", ""},
        {"two outputs on one file", "", "$K --report same.nme --json x --csv x; rc=$?; test -e x && exit 9; exit $rc", 2,
         "kestrova: --json x and --csv x are the same file; nothing written\n", ""},
        {"two outputs on standard output", "", "$K --report same.nme --json - --csv -", 2,
         "kestrova: --json - and --csv -: only one output can go to standard output; nothing written\n", ""},
        {"an empty output name", "", "$K --report same.nme --html ''", 2,
         "kestrova: --html needs a file name (or - for standard output)\n", ""},
        {"a device that never ends", "", "$K --report /dev/zero", 2, "kestrova: /dev/zero: not a regular file\n", ""},
        {"a FIFO nobody writes", "mkfifo pipe.nme", "$K --report pipe.nme same.nme", 2,
         "kestrova: pipe.nme: not a regular file\n", "same.nme"},
        {"notes that do not exist", "", "$K --report same.nme --notes missing.txt --html r.html", 1,
         "kestrova: missing.txt: cannot read the notes: No such file or directory\n", ""},
        {"a missing file", "", "$K --report missing.nme", 2,
         "kestrova: missing.nme: cannot open: No such file or directory\n", ""},
        {"the table on a full disk", "", "$K --report same.nme >/dev/full", 1,
         "kestrova: standard output: cannot write: No space left on device\n", ""},
        {"JSON on a closed standard output", "", "$K --report same.nme --json - --csv r.csv >&-", 1,
         "kestrova: standard output: cannot write: Bad file descriptor\n", "", "r.csv", "\nsame.nme,"},
        {"control characters in names", "cp same.nme \"$(printf 'a\\033]0;x\\007.nme')\"",
         "$K --report \"$(printf 'a\\033]0;x\\007.nme')\" \"$(printf 'm\\033[2J\\r.nme')\"", 2,
         "kestrova: m" + kR + "[2J" + kR + ".nme: cannot open: No such file or directory\n",
         "a" + kR + "]0;x" + kR + ".nme"},
        {"a name read as a formula", "cp same.nme '=1+2,3.nme'", "$K --report '=1+2,3.nme' --csv r.csv", 0, "", "",
         "r.csv", "\n\"'=1+2,3.nme\",2018-09-18,"},
        {"the page on a full disk keeps the one there", "echo old page > r.html",
         "trap '' XFSZ; ulimit -f 40; $K --report same.nme --html r.html; rc=$?; ls -A | grep -q '^[.]r[.]html' && exit 9; exit $rc",
         1, "kestrova: r.html: cannot write: File too large\n", "", "r.html", "old page\n"},
        {"outputs to a FIFO and a device, written there", "mkfifo out",
         "cat out > got & $K --report same.nme --json out --html /dev/null; rc=$?; wait; exit $rc", 0, "", "", "got", "\"file\""},
        {"notes that are not there", "", "$K --report same.nme --html r.html --notes none.txt", 1,
         "kestrova: none.txt: cannot read the notes: No such file or directory\n", ""},
        {"notes in a FIFO", "mkfifo n", "$K --report same.nme --html r.html --notes n", 1,
         "kestrova: n: cannot read the notes: not a regular file (a FIFO)\n", ""},
        {"a FIFO named bench.json", "mkdir t && mkfifo t/bench.json", "$K --report t", 2,
         "kestrova: t/bench.json cannot be read: not a regular file (a FIFO)\n", ""},
        {"a UTF-8 name in JSON", "cp same.nme \"$(printf 'Z\\303\\274rich\\001.nme')\"",
         "$K --report Z*.nme --json r.json", 0, "", "", "r.json", "\"file\": \"Z\xC3\xBCrich\\u0001.nme\""},
    };
    const std::string demo = SourceDir() + "/samples/demo.nme";
    const std::vector<uint8_t> recording = ReadBinaryFile(demo);
    ASSERT_FALSE(recording.empty());
    for (const Attack& a : attacks) {
        SCOPED_TRACE(a.name);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const std::string same = dir.path().toStdString() + "/same.nme";
        ASSERT_TRUE(WriteBinaryFile(same, recording));
        ASSERT_TRUE(Shell(dir.path(), a.setup).finished);
        const ShellRun run = Shell(dir.path(), a.command);
        if (!run.finished) {
            ADD_FAILURE() << "still running after " << kRunLimitMs << " ms";
            continue;
        }
        EXPECT_EQ(run.exitCode, a.exitCode);
        EXPECT_EQ(run.err, a.err);
        if (!a.outHas.empty()) {
            EXPECT_NE(run.out.find(a.outHas), std::string::npos) << run.out;
        }
        EXPECT_EQ(run.out.find_first_of("\x1B\x07\r"), std::string::npos);
        EXPECT_EQ(ReadBinaryFile(same), recording);
        if (a.file) {
            const std::vector<uint8_t> bytes = ReadBinaryFile(dir.path().toStdString() + "/" + a.file);
            const std::string text(bytes.begin(), bytes.end());
            EXPECT_NE(text.find(a.fileHas), std::string::npos) << text.substr(0, 300);
        }
    }
}

// A page of many long recordings holds their epochs one recording at a time
// (a week of eight receivers must fit): eight of 400,000 epochs, 16 MB of
// epochs each, are reported within a data limit all eight at once (128 MB)
// would break.
TEST(ReportCommand, PageOfManyRecordingsHoldsOneAtATime)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "a data limit does not go with AddressSanitizer's own memory";
#endif
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const ShellRun run = Shell(dir.path(), R"(awk 'BEGIN { for (t = 0; t < 400000; t++)
        printf "$GPGGA,%02d%02d%04.1f,5545.00000,N,03737.00000,E,1,08,0.9,150.0,M,0.0,M,,\n",
               int(t / 36000), int(t / 600) % 60, (t % 600) / 10 }' > a.nme &&
        ulimit -d 80000 && $K --report a.nme a.nme a.nme a.nme a.nme a.nme a.nme a.nme --html r.html)");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    const std::vector<uint8_t> page = ReadBinaryFile(dir.path().toStdString() + "/r.html");
    EXPECT_NE(std::string(page.begin(), page.end()).find("</html>"), std::string::npos);
}

} // namespace
