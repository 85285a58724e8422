#include "SimOptions.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kMaxRate = 100;
constexpr int kMaxDemoSeconds = 7 * 86400;
constexpr long kMinFloodBytesPerS = 1000;
constexpr long kMaxFloodBytesPerS = 1000000000;

bool ParseInt(const char* text, long low, long high, long& value)
{
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno || end == text || *end || v < low || v > high)
        return false;
    value = v;
    return true;
}

// "A,B" or "A,B,C": count numbers, each in [low, high].
bool ParseNumbers(const char* text, int count, double low, double high, double* out)
{
    const char* p = text;
    for (int k = 0; k < count; ++k) {
        char* end = nullptr;
        errno = 0;
        const double v = std::strtod(p, &end);
        if (errno || end == p || !(v >= low && v <= high))
            return false;
        out[k] = v;
        if (*end != (k + 1 < count ? ',' : '\0'))
            return false;
        p = end + 1;
    }
    return true;
}

constexpr double kMaxBiasM = 1000.0;
constexpr double kMaxNoiseM = 100.0;
constexpr double kMaxOutageS = 86400.0;

bool ParseProfileOption(const std::string& arg, const char* value, SimOptions& o, std::string& error)
{
    double v[3] = {};
    if (arg == "--bias") {
        if (!ParseNumbers(value, 3, -kMaxBiasM, kMaxBiasM, v)) {
            error = "--bias takes E,N,U in metres (-1000 to 1000 each)";
            return false;
        }
        o.bias = SimBias{v[0], v[1], v[2]};
    } else if (arg == "--noise") {
        if (!ParseNumbers(value, 2, 0, kMaxNoiseM, v)) {
            error = "--noise takes H,V in metres (0 to 100 each)";
            return false;
        }
        o.noise = SimNoise{v[0], v[1]};
    } else if (arg == "--cold-start") {
        if (!ParseNumbers(value, 1, 0, kMaxOutageS, v)) {
            error = "--cold-start takes 0 to 86400 seconds";
            return false;
        }
        o.coldStartS = v[0];
    } else {   // --dropout
        if (!ParseNumbers(value, 2, 0, kMaxOutageS, v) || (v[0] > 0 && v[1] >= v[0])) {
            error = "--dropout takes EVERY,FOR in seconds, FOR below EVERY (0,0: none)";
            return false;
        }
        o.dropout = SimDropout{v[0], v[1]};
    }
    return true;
}

} // namespace


const char* SimUsage()
{
    return
        "Usage: kestrova-sim --protocol nmea|binr --baud N [--rate N | --flood [--flood-rate N]]\n"
        "                    [--scenario static|moving | --replay FILE] [--device TEXT]\n"
        "                    [--log FILE] [--heartbeat] [--tcp PORT] [--receivers N]\n"
        "                    [--bias E,N,U] [--noise H,V] [--cold-start S]\n"
        "                    [--dropout EVERY,FOR]\n"
        "       kestrova-sim --write-demo FILE --protocol nmea|binr [--seconds N]\n"
        "                    [--scenario static|moving] [--device TEXT]\n"
        "                    [--seed N]\n"
        "       kestrova-sim --help | --version\n"
        "\n"
        "Plays a GPS/GLONASS receiver on a pseudo-terminal. The first output line is\n"
        "the terminal's path (for example /dev/pts/3): give it to kestrova with\n"
        "--port PATH or KESTROVA_PORTS. It serves until SIGTERM or SIGINT (Ctrl+C).\n"
        "\n"
        "  --protocol nmea|binr  what the receiver talks: NMEA 0183 without parity, or\n"
        "                        BINR with odd parity\n"
        "  --baud N              its line rate: 4800 9600 19200 38400 57600 115200\n"
        "                        230400 460800 921600. While the terminal's rate or\n"
        "                        parity differ, the program receives garbage, as on a\n"
        "                        real mismatched line, and the receiver ignores what\n"
        "                        it is sent\n"
        "  --rate N              epochs per second (1 to 100, default 1)\n"
        "  --flood               send as fast as the terminal takes it\n"
        "  --flood-rate N        with --flood, at most N bytes a second (1000 to\n"
        "                        1000000000), so a long run stays within a disk\n"
        "  --scenario static     an antenna on a pole, a few metres of scatter (default)\n"
        "  --scenario moving     a car driving a 1.2 km circuit over a hill\n"
        "  --replay FILE         send a recording (.nme or .dat) instead, epoch by\n"
        "                        epoch at the chosen rate, looping at its end\n"
        "  --device TEXT         the identification answered to 0x1B (default\n"
        "                        \"KSIM 1.0\")\n"
        "  --heartbeat           start with the periodic 0x02 messages on\n"
        "  --tcp PORT            serve the receiver on 127.0.0.1:PORT instead of a\n"
        "                        pseudo-terminal, one client at a time, both ways; the\n"
        "                        first output line is then tcp://127.0.0.1:PORT (PORT 0\n"
        "                        takes a free port). There is no line: rate and parity\n"
        "                        always match\n"
        "  --log FILE            record every byte received and sent: FILE holds\n"
        "                        records in order of occurrence, each a direction\n"
        "                        byte 'R' (received from the program) or 'S' (sent\n"
        "                        to it), a 32-bit little-endian length and the bytes;\n"
        "                        FILE.rx and FILE.tx hold the raw bytes of each\n"
        "                        direction. All three are flushed as they grow.\n"
        "  --write-demo FILE     write the scenario's stream for --seconds seconds\n"
        "                        (default 600) at 1 Hz straight to FILE, without\n"
        "                        waiting, and exit; a BINR file opens with the 0x70\n"
        "                        answer a recording start gets\n"
        "  --seed N              the scenario's random seed (the demo's by default)\n"
        "  --receivers N         run N receivers (1 to 8) side by side, each on its own\n"
        "                        pseudo-terminal (with --tcp PORT on PORT, PORT+1, ...;\n"
        "                        PORT 0: free ones), one output line each. Receiver K\n"
        "                        takes the seed plus K-1 and its line of a table of\n"
        "                        biases, noise, cold starts and dropouts (README);\n"
        "                        receiver 1 is the single receiver. --log FILE then\n"
        "                        logs receiver K to FILE.K\n"
        "  --bias E,N,U          a constant error in metres east, north and up\n"
        "  --noise H,V           the deviations in metres of the slowly wandering\n"
        "                        error (horizontal per axis, vertical; default\n"
        "                        1.4,2.6), with a jitter of 0.18 H on top\n"
        "  --cold-start S        the first S seconds without a fix: RMC V on the\n"
        "                        default date 060180 counting from 00:00:00, GGA\n"
        "                        quality 0, no position\n"
        "  --dropout EVERY,FOR   the last FOR seconds of every EVERY seconds (counted\n"
        "                        from the start) without a fix; 0,0: none\n"
        "                        These four replace the table's value for every\n"
        "                        receiver; they do not go with --replay\n"
        "\n"
        "The receiver answers as a real one: BINR 0x0B with 0x50 and then the new\n"
        "rate (ending in 02: it turns to NMEA), 0x1B with 0x70, 0x0C 01/00 switches\n"
        "the 0x02 messages on/off; 0x26 0x0E 0xA0 0x21 0x27 0x35 0x24 are accepted.\n"
        "As an NMEA receiver, $PVKTA,0,115200,3 turns it into BINR at 115200;\n"
        "$PVKTQ,VER is answered by $PVKTV,DEVICE,NMEA,BAUD,RATE; $PVKTR,N sets N epochs a\n"
        "second (1 to 100) and is answered by $PVKTK,PVKTR,N. The checksum may be left\n"
        "out; a wrong one, an unknown query or a rate out of range is answered by\n"
        "$PVKTN,SENTENCE,CHECKSUM|UNKNOWN|RANGE|FLOOD.\n";
}

bool ParseSimOptions(int argc, char** argv, SimOptions& o, std::string& error)
{
    bool haveProtocol = false, haveRate = false, haveScenario = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            o.help = true;
            return true;
        }
        if (arg == "--version") {
            o.version = true;
            return true;
        }
        if (arg == "--flood") {
            o.flood = true;
            continue;
        }
        if (arg == "--heartbeat") {
            o.heartbeat = true;
            continue;
        }
        if (i + 1 >= argc) {
            error = arg.rfind("--", 0) == 0 ? arg + " needs a value" : "unknown argument " + arg;
            return false;
        }
        const char* value = argv[++i];
        long n = 0;
        if (arg == "--protocol") {
            if (!std::strcmp(value, "nmea"))
                o.protocol = SimProtocol::Nmea;
            else if (!std::strcmp(value, "binr"))
                o.protocol = SimProtocol::Binr;
            else {
                error = "--protocol takes nmea or binr";
                return false;
            }
            haveProtocol = true;
        } else if (arg == "--baud") {
            if (!ParseInt(value, 1, 1000000, n) || !IsLineRate(n)) {
                error = std::string("--baud: not a line rate: ") + value;
                return false;
            }
            o.baud = int(n);
        } else if (arg == "--rate") {
            if (!ParseInt(value, 1, kMaxRate, n)) {
                error = "--rate takes 1 to 100 epochs per second";
                return false;
            }
            o.rate = int(n);
            haveRate = true;
        } else if (arg == "--scenario") {
            if (!std::strcmp(value, "static"))
                o.scenario = ScenarioKind::Static;
            else if (!std::strcmp(value, "moving"))
                o.scenario = ScenarioKind::Moving;
            else {
                error = "--scenario takes static or moving";
                return false;
            }
            haveScenario = true;
        } else if (arg == "--replay") {
            o.replayFile = value;
        } else if (arg == "--device") {
            o.device = value;
        } else if (arg == "--log") {
            o.logFile = value;
        } else if (arg == "--write-demo") {
            o.demoFile = value;
        } else if (arg == "--flood-rate") {
            if (!ParseInt(value, kMinFloodBytesPerS, kMaxFloodBytesPerS, n)) {
                error = "--flood-rate takes 1000 to 1000000000 bytes a second";
                return false;
            }
            o.floodBytesPerS = n;
        } else if (arg == "--seconds") {
            if (!ParseInt(value, 1, kMaxDemoSeconds, n)) {
                error = "--seconds takes 1 to 604800";
                return false;
            }
            o.demoSeconds = int(n);
        } else if (arg == "--tcp") {
            if (!ParseInt(value, 0, 65535, n)) {
                error = "--tcp takes a port from 0 to 65535";
                return false;
            }
            o.tcpPort = int(n);
        } else if (arg == "--bias" || arg == "--noise" || arg == "--cold-start" || arg == "--dropout") {
            if (!ParseProfileOption(arg, value, o, error))
                return false;
        } else if (arg == "--receivers") {
            if (!ParseInt(value, 1, kMaxReceivers, n)) {
                error = "--receivers takes 1 to 8";
                return false;
            }
            o.receivers = int(n);
        } else if (arg == "--seed") {
            char* end = nullptr;
            o.seed = std::strtoull(value, &end, 10);
            if (end == value || *end) {
                error = "--seed takes a number";
                return false;
            }
        } else {
            error = "unknown argument " + arg;
            return false;
        }
    }
    if (!haveProtocol) {
        error = "--protocol is required";
        return false;
    }
    if (o.demoFile.empty() && o.baud == 0) {
        error = "--baud is required";
        return false;
    }
    if (o.flood && haveRate) {
        error = "--rate and --flood exclude each other";
        return false;
    }
    if (o.floodBytesPerS > 0 && !o.flood) {
        error = "--flood-rate goes with --flood";
        return false;
    }
    if (haveScenario && !o.replayFile.empty()) {
        error = "--scenario and --replay exclude each other";
        return false;
    }
    if (o.tcpPort > 0 && o.tcpPort + o.receivers - 1 > 65535) {
        error = "--tcp: the ports of all receivers must be below 65536";
        return false;
    }
    if (!o.demoFile.empty() && o.receivers > 1) {
        error = "--write-demo writes one receiver's stream";
        return false;
    }
    if (!o.replayFile.empty() && (o.bias || o.noise || o.coldStartS || o.dropout)) {
        error = "--replay sends the recording as it is: no --bias, --noise, --cold-start or --dropout";
        return false;
    }
    if (!o.demoFile.empty() && !o.replayFile.empty()) {
        error = "--write-demo makes its stream from a scenario, not a replay";
        return false;
    }
    return true;
}
