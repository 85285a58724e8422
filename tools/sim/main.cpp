// kestrova-sim: a GPS/GLONASS receiver on a pseudo-terminal, so that Kestrova
// can be tried and tested without hardware; and the maker of the demo
// recordings, which come from the same scenario without real-time waiting.
#include "BinrLayouts.h"
#include "PtyServer.h"
#include "ReceiverReport.h"
#include "Receiver.h"
#include "SimLog.h"
#include "SimOptions.h"

#include <csignal>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <memory>
#include <vector>

namespace {

// The demo's first epoch: 18 September 2018, 10:15:00 UTC. Inside the GPS
// week cycle the program's date conversion counts from, so the BINR demo
// shows the same date as the NMEA one.
constexpr double kDemoStartUnix = 1537265700.0;

volatile std::sig_atomic_t g_stop = 0;

void OnStopSignal(int) { g_stop = 1; }

void InstallSignals()
{
    struct sigaction sa{};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;   // no SA_RESTART: poll and sleep return at once
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

int WriteDemo(const SimOptions& options)
{
    Receiver receiver(options, kDemoStartUnix);
    Bytes out;
    if (options.protocol == SimProtocol::Binr)
        AppendBinrFrame(out, kMsgDeviceInfo, DeviceInfoPayload(options.device));
    const long epochs = long(options.demoSeconds) * options.rate;
    for (long i = 0; i < epochs; ++i)
        receiver.AppendEpoch(out);
    std::ofstream file(options.demoFile, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
    file.close();
    if (!file) {
        std::fprintf(stderr, "kestrova-sim: cannot write %s\n", options.demoFile.c_str());
        return 1;
    }
    return 0;
}

// A live receiver's epochs fall on whole seconds of UTC, each sent just after its second.
double CurrentWholeSecond()
{
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return double(ts.tv_sec);
}

} // namespace

int main(int argc, char** argv)
{
    SimOptions options;
    std::string error;
    if (!ParseSimOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "kestrova-sim: %s\nTry kestrova-sim --help.\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(SimUsage(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("kestrova-sim, %s\n", ProgramVersionText().c_str());
        return 0;
    }
    if (!options.demoFile.empty())
        return WriteDemo(options);

    // Each receiver with its line and its log; several log to FILE.1, FILE.2, ...
    struct Station {
        std::unique_ptr<Receiver> receiver;
        std::unique_ptr<SimLog> log;
        std::unique_ptr<PtyServer> server;
        std::string address;
    };
    std::vector<Station> stations(size_t(options.receivers));
    const double start = CurrentWholeSecond();
    InstallSignals();
    for (int i = 0; i < options.receivers; ++i) {
        Station& st = stations[size_t(i)];
        st.receiver = std::make_unique<Receiver>(options, start, ProfileOf(options, i));
        st.log = std::make_unique<SimLog>();
        if (!options.replayFile.empty() && !st.receiver->LoadReplay(error)) {
            std::fprintf(stderr, "kestrova-sim: %s\n", error.c_str());
            return 1;
        }
        const std::string logPath =
            options.receivers == 1 ? options.logFile : options.logFile + "." + std::to_string(i + 1);
        if (!options.logFile.empty() && !st.log->Open(logPath, error)) {
            std::fprintf(stderr, "kestrova-sim: %s\n", error.c_str());
            return 1;
        }
        st.server = std::make_unique<PtyServer>(options, *st.receiver, *st.log);
        const bool opened = options.tcpPort >= 0
                                ? st.server->OpenTcp(options.tcpPort == 0 ? 0 : options.tcpPort + i, st.address, error)
                                : st.server->Open(st.address, error);
        if (!opened) {
            std::fprintf(stderr, "kestrova-sim: %s\n", error.c_str());
            return 1;
        }
    }
    std::vector<PtyServer*> servers;
    for (Station& st : stations) {
        std::printf("%s\n", st.address.c_str());
        servers.push_back(st.server.get());
    }
    std::fflush(stdout);
    ServeAll(servers, g_stop);
    for (Station& st : stations)
        st.log->Close();
    return 0;
}
