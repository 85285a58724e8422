// The headless bench: every source of a bench recorded into one test folder
// without a display. No window is made: the recorder needs only an event
// loop. Once a second each receiver's line goes to standard output; what
// goes wrong with a source (it cannot be opened, it is lost, its file loses
// bytes) is said on stderr as it happens. A signal or the end of --seconds
// stops the bench through its Stop, which closes every file complete; then
// the folder's report page is written beside the recordings, as the BENCH
// window's Report button writes it, and stderr says where.
#include "Headless.h"

#include "BenchRecorder.h"
#include "MonotonicClock.h"
#include "Report.h"
#include "ReportCommand.h"
#include "StopSignals.h"
#include "TerminalText.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kSignalPollMs = 100;

void Say(const QString& text)
{
    std::fprintf(stderr, "kestrova: %s\n", TerminalText(text.toUtf8().toStdString()).c_str());
}

// Tells stderr what became of a source, once per change: why it failed or
// was lost, and that it came back.
void TellState(const BenchRecorder& bench, int index, std::vector<char>* wasLost)
{
    const BenchReceiver& r = *bench.Receivers()[size_t(index)];
    const QString name = QString::fromStdString(r.Source().name);
    char& lost = (*wasLost)[size_t(index)];
    if (r.State() == BenchState::Failed || r.State() == BenchState::Lost) {
        Say(name + ": " + bench.StateText(index));
        lost = r.State() == BenchState::Lost;
    } else if (r.State() == BenchState::Live && lost) {
        Say(name + ": reconnected");
        lost = false;
    }
}

// Says on stderr how much of a receiver's recording is missing from its
// file, each time that grows (at most once a second, with the lines).
class LossReporter {
public:
    explicit LossReporter(size_t receivers) : said_(receivers, 0), timesSaid_(receivers, 0) {}
    void Check(const BenchRecorder& bench)
    {
        CheckTimes(bench);
        for (size_t i = 0; i < said_.size(); ++i) {
            const int64_t lost = bench.LostBytes(int(i));
            if (lost <= said_[i])
                continue;
            Say(bench.RecordFileName(int(i)) + QStringLiteral(": write error: ") + QString::number(lost) +
                QStringLiteral(" bytes lost"));
            said_[i] = lost;
        }
    }
    bool AnyLost() const
    {
        for (int64_t n : said_)
            if (n > 0)
                return true;
        return timesLost_;
    }

private:
    // What became of each receiver's receive times, each note once.
    void CheckTimes(const BenchRecorder& bench)
    {
        for (size_t i = 0; i < timesSaid_.size() && i < bench.Receivers().size(); ++i) {
            const ReceiveTimesWriter& times = bench.Receivers()[i]->In().Times();
            const std::vector<TimesNote>& notes = times.Notes();
            timesSaid_[i] = std::min(timesSaid_[i], notes.size());
            for (; timesSaid_[i] < notes.size(); ++timesSaid_[i])
                Say(bench.RecordFileName(int(i)) + QStringLiteral(".times: ") + QString::fromStdString(notes[timesSaid_[i]].what));
            timesLost_ = timesLost_ || times.AnyLost();
        }
    }

    std::vector<int64_t> said_;
    std::vector<size_t> timesSaid_;
    bool timesLost_ = false;
};

} // namespace

int RunHeadlessBench(const CommandLine& cl)
{
    GuardStandardOutput();
    SetHeadlessReport(true);
    QTemporaryDir privateConfig;
    if (privateConfig.isValid() && !qEnvironmentVariableIsSet("XDG_RUNTIME_DIR"))
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(privateConfig.path()));
    int argc = 1;
    char name[] = "kestrova";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    BenchRecorder bench;
    bench.SetSources(cl.benchSetups);
    bench.SetReference(cl.reference);
    bench.SetReconnect(cl.reconnect);
    LossReporter losses(cl.benchSetups.size());
    std::vector<char> wasLost(cl.benchSetups.size(), 0);
    bench.SetHandlers({[&bench, &losses] {
                           const int64_t seconds = (MonotonicUs() - bench.StartUs()) / kClockUsPerSecond;
                           for (const auto& r : bench.Receivers())
                               ReportLine(BenchLine(*r, seconds));
                           losses.Check(bench);
                       },
                       [&bench, &wasLost](int index) { TellState(bench, index, &wasLost); },
                       {}});
    InstallStopSignals();
    if (!bench.Start(cl.recordDir, cl.title)) {
        for (const QString& p : bench.Problems())
            Say(p);
        return 2;
    }
    const auto anyOpen = [&bench] {
        for (const auto& r : bench.Receivers())
            if (r->State() != BenchState::Failed)
                return true;
        return false;
    };
    // Serial sources have failed by now, network ones as their workers report.
    if (!anyOpen() && !cl.reconnect) {
        bench.Stop();
        Say(QStringLiteral("no source could be opened"));
        return 2;
    }

    bool endedBadly = false;
    bool noneOpened = false;
    auto stop = [&] {
        if (!bench.Running())
            return;
        noneOpened = !anyOpen();
        for (const auto& r : bench.Receivers())
            if (r->State() == BenchState::Failed || r->State() == BenchState::Lost)
                endedBadly = true;
        bench.Stop();
        QCoreApplication::exit(0);
    };
    QTimer signalPoll;
    QObject::connect(&signalPoll, &QTimer::timeout, [&] {
        if (StopSignalled())
            stop();
        // Every network source refused: nothing will ever come.
        else if (!cl.reconnect && !anyOpen())
            stop();
    });
    signalPoll.start(kSignalPollMs);

    QTimer endTimer;
    StopAfterSeconds(endTimer, cl.seconds, stop);
    QCoreApplication::exec();

    if (noneOpened) {
        Say(QStringLiteral("no source could be opened"));
        return 2;
    }
    losses.Check(bench);
    int status = endedBadly || losses.AnyLost() ? 1 : 0;
    // The page of what was recorded; the report says on stderr what it
    // could not read or write.
    std::string page, problem;
    if (ReportBenchFolder(QFile::encodeName(bench.Folder()).toStdString(), &page, &problem) != 0)
        status = 1;
    if (!page.empty())
        Say(QStringLiteral("report written: ") + QFile::decodeName(page.c_str()));
    if (ReportOutputFailed())
        status = 1;
    return status;
}
