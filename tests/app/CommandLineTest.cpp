// The option table as both modes parse with it: the usage texts as they were
// written by hand before the table made them, and the faults each mode names.
#include "CommandLine.h"
#include "ReportOptions.h"
#include "TestSupport.h"

#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Kept(const char* name)
{
    const std::vector<uint8_t> bytes = ReadBinaryFile(SourceDir() + "/tests/app/usage/" + name);
    return std::string(bytes.begin(), bytes.end());
}

TEST(CommandLine, UsageTextsAreTheKeptOnes)
{
    EXPECT_EQ(UsageText().toStdString(), Kept("program.txt"));
    EXPECT_EQ(ReportUsageText(), Kept("report.txt"));
}

// Both executables answer --version with the version and the commit, and
// start nothing else.
TEST(CommandLine, VersionOfBothExecutables)
{
    const QRegularExpression version(QStringLiteral("^(kestrova-sim, )?Kestrova [0-9]+\\.[0-9]+( \\(commit [0-9a-f]{12}\\))?\n$"));
    for (const char* program : {KESTROVA_BIN, KESTROVA_SIM_BIN}) {
        QProcess run;
        run.start(QString::fromLatin1(program), {QStringLiteral("--version")});
        ASSERT_TRUE(run.waitForFinished(20000)) << program;
        const QString out = QString::fromUtf8(run.readAllStandardOutput());
        EXPECT_EQ(run.exitCode(), 0) << program << ": " << run.readAllStandardError().toStdString();
        EXPECT_TRUE(version.match(out).hasMatch()) << program << ": " << out.toStdString();
    }
}

const QStringList kBench = {"--headless", "--record-dir", "d", "--bench", "tcp://127.0.0.1:1=a"};

TEST(CommandLine, ProgramNamesTheFirstFault)
{
    struct Row { QStringList arguments; std::string error; };
    const Row rows[] = {
        {{"--bogus", "--help"}, "unknown option --bogus"},
        {{"--max-hdop"}, "--max-hdop needs a value"},
        {{"--max-hdop", "1.5", "--max-vdop", "12"}, "--max-vdop takes a value like 1.5 (0.0 to 9.9)"},
        {{"--pace", "abc", "x.nme"}, "--pace takes a speed from 0.25 to 64, not abc"},
        {{"--seconds", "99999999999"}, "--seconds takes 1 to 31622400"},
        // The first fault is named, a later one does not hide it.
        {{"--show", "nope", "--bogus"}, "--show: unknown view nope"},
        {{"--from", "12:00:00", "x.nme"}, "--from needs --pace"},
        {{"-x", "--exit-after-play"}, ""},
        // What the bench's own reader would refuse in its bench.json is refused at the start.
        {kBench + QStringList{"--title", QString(4097, 't')}, "--headless --bench: the title is longer than 4096 bytes"},
        {kBench + QStringList{"--reference", "55,37,1000001"},
         "--headless --bench: the reference height is not within \u00B11000000 m"},
        {{"--headless", "--record-dir", "d", "--bench", "/dev/" + QString(4092, 'p')},
         "--headless --bench: source 1's address is longer than 4096 bytes"},
        {kBench + QStringList{"tcp://127.0.0.1:2=" + QString(41, 'n') + "1", "tcp://127.0.0.1:3=" + QString(41, 'n') + "2"}, ""},
    };
    for (const Row& r : rows) {
        const CommandLine cl = ParseCommandLine(QStringList{"kestrova"} + r.arguments);
        EXPECT_EQ(cl.error.toStdString(), r.error) << r.arguments.join(' ').toStdString();
    }
    EXPECT_EQ(ParseCommandLine({"kestrova", "-x", "--exit-after-play"}).files, QStringList{"-x"});
}

TEST(CommandLine, ReportNamesTheFirstFault)
{
    struct Row { std::vector<std::string> arguments; std::string error; };
    const Row rows[] = {
        {{"--report"}, "--report needs at least one FILE"},
        {{"--report", "-x", "a"}, "unknown option -x"},
        {{"--report", "--json", "", "a"}, "--json needs a file name (or - for standard output)"},
        {{"--report", "--week-rollovers", "3.5", "a"}, "--week-rollovers takes a count from 1 to 9"},
        {{"--report", "--to", "1:00:00", "a"}, "--to takes a UTC time of day as HH:MM:SS"},
        {{"--report", "--help", "--bogus"}, "unknown option --bogus"},
        {{"-", "--report", "--week-rollovers", "3.0", "a"}, ""},
    };
    for (const Row& r : rows) {
        std::vector<std::string> arguments = {"kestrova"};
        arguments.insert(arguments.end(), r.arguments.begin(), r.arguments.end());
        std::vector<char*> argv;
        for (std::string& a : arguments)
            argv.push_back(a.data());
        const ReportOptions o = ParseReportOptions(int(argv.size()), argv.data());
        EXPECT_EQ(o.error, r.error) << r.arguments.size();
        if (r.error.empty()) {
            EXPECT_EQ(o.files, (std::vector<std::string>{"-", "a"}));
        }
    }
}

} // namespace
