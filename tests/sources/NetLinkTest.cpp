// Network sources at the link: address forms, TCP both ways, refusals,
// a dropped peer, a flooding peer, UDP datagrams, gpsd's handshake and the
// filter of its reports. Peers are sockets played by the test on the loopback.
#include "Comm.h"
#include "CommPty.h"
#include "CommandLine.h"
#include "LoopbackPort.h"
#include "NetLink.h"
#include "SourceAddress.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>

#include <atomic>
#include <thread>

namespace {

// ---------------------------------------------------------------- addresses

struct AddressCase {
    const char* text;
    bool ok;
    SourceKind kind;
    const char* host;
    int port;
    const char* deviceOrReason;
};

TEST(SourceAddressTest, FormsAndReasons)
{
    const AddressCase cases[] = {
        {"tcp://127.0.0.1:5000", true, SourceKind::Tcp, "127.0.0.1", 5000, ""},
        {"tcp://receiver-3.lab:4001", true, SourceKind::Tcp, "receiver-3.lab", 4001, ""},
        {"tcp://[::1]:65535", true, SourceKind::Tcp, "::1", 65535, ""},
        {"udp://:5001", true, SourceKind::Udp, "", 5001, ""},
        {"udp://127.0.0.1:5001", true, SourceKind::Udp, "127.0.0.1", 5001, ""},
        {"gpsd://localhost", true, SourceKind::Gpsd, "localhost", kGpsdDefaultPort, ""},
        {"gpsd://localhost:3000/dev/ttyUSB0", true, SourceKind::Gpsd, "localhost", 3000, "/dev/ttyUSB0"},
        {"gpsd://host/dev/pts/3", true, SourceKind::Gpsd, "host", kGpsdDefaultPort, "/dev/pts/3"},
        {"tcp://127.0.0.1", false, SourceKind::Tcp, "", 0, "The port is missing (HOST:PORT)"},
        {"tcp://:5000", false, SourceKind::Tcp, "", 0, "The host is missing"},
        {"tcp://host:0", false, SourceKind::Tcp, "", 0, "The port is a number from 1 to 65535"},
        {"tcp://host:65536", false, SourceKind::Tcp, "", 0, "The port is a number from 1 to 65535"},
        {"tcp://host:50x", false, SourceKind::Tcp, "", 0, "The port is a number from 1 to 65535"},
        {"tcp://ho st:5000", false, SourceKind::Tcp, "", 0, "The host is not a name or an address"},
        {"tcp://::1:5000", false, SourceKind::Tcp, "", 0, "The host is not a name or an address"},
        {"tcp://host:5000/x", false, SourceKind::Tcp, "", 0, "Nothing may follow the port"},
        {"udp://:", false, SourceKind::Udp, "", 0, "The port is a number from 1 to 65535"},
        {"gpsd://host:2947/", false, SourceKind::Gpsd, "", 0, "The device after the host is a path, as /dev/ttyUSB0"},
        {"gpsd://host/dev/a\"b", false, SourceKind::Gpsd, "", 0, "The device path holds a character gpsd cannot take"},
        {"http://host:80", false, SourceKind::Serial, "", 0, "An address starts with tcp://, udp:// or gpsd://"},
    };
    for (const AddressCase& c : cases) {
        SourceAddress a;
        std::string reason;
        const bool ok = ParseSourceAddress(c.text, &a, &reason);
        EXPECT_EQ(ok, c.ok) << c.text;
        if (ok) {
            EXPECT_EQ(a.kind, c.kind) << c.text;
            EXPECT_EQ(a.host, c.host) << c.text;
            EXPECT_EQ(a.port, c.port) << c.text;
            EXPECT_EQ(a.device, c.deviceOrReason) << c.text;
        } else {
            EXPECT_EQ(reason, c.deviceOrReason) << c.text;
        }
    }
    EXPECT_TRUE(SourceTakesCommands("ttyUSB0"));
    EXPECT_TRUE(SourceTakesCommands("tcp://h:1"));
    EXPECT_FALSE(SourceTakesCommands("udp://:1"));
    EXPECT_FALSE(SourceTakesCommands("gpsd://h"));
}

TEST(SourceAddressTest, PortListOfTheEnvironmentKeepsAddressesWhole)
{
    EXPECT_EQ(SplitPortList("/dev/pts/3:tcp://127.0.0.1:5000:udp://:5001:gpsd://h:2947/dev/pts/4:gpsd://h::ttyUSB0"),
              QStringList({"/dev/pts/3", "tcp://127.0.0.1:5000", "udp://:5001", "gpsd://h:2947/dev/pts/4", "gpsd://h",
                           "ttyUSB0"}));
}

// The reports may be cut anywhere between two blocks.
TEST(GpsdJsonFilterTest, DropsReportsWhereverTheBlocksAreCut)
{
    const std::string in = "{\"class\":\"DEVICE\",\"path\":\"/dev/pts/3\"}\r\n$GPGGA,1*00\r\n{\"class\":\"X\"}\n"
                           "$GPRMC,{not json}*11\r\n{\"a\":1}\n";
    const std::string want = "$GPGGA,1*00\r\n$GPRMC,{not json}*11\r\n";
    for (size_t piece = 1; piece <= in.size(); ++piece) {
        GpsdJsonFilter f;
        std::string out;
        for (size_t at = 0; at < in.size(); at += piece) {
            std::string block = in.substr(at, piece);
            const int n = f.Filter(reinterpret_cast<uint8_t*>(block.data()), int(block.size()));
            out += block.substr(0, size_t(n));
        }
        EXPECT_EQ(out, want) << "blocks of " << piece;
    }
}

// ---------------------------------------------------------------- peers

// A TCP server on the loopback, one connection.
struct TcpPeer {
    int listenFd = -1;
    int conn = -1;
    int port = 0;

    TcpPeer()
    {
        listenFd = ListenOnLoopback(4, &port);
    }
    ~TcpPeer()
    {
        CloseConnection();
        close(listenFd);
    }
    QString Address(const char* scheme = "tcp") const { return QString("%1://127.0.0.1:%2").arg(scheme).arg(port); }
    bool Accept()
    {
        pollfd p{listenFd, POLLIN, 0};
        if (poll(&p, 1, 5000) <= 0)
            return false;
        conn = accept(listenFd, nullptr, nullptr);
        return conn >= 0;
    }
    bool Send(const std::string& bytes) const { return Send(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()); }
    bool Send(const uint8_t* bytes, size_t n) const
    {
        size_t done = 0;
        while (done < n) {
            const ssize_t k = send(conn, bytes + done, n - done, MSG_NOSIGNAL);
            if (k <= 0)
                return false;
            done += size_t(k);
        }
        return true;
    }
    std::string ReadLine() const
    {
        std::string line;
        char c = 0;
        while (recv(conn, &c, 1, 0) == 1 && c != '\n')
            line += c;
        return line;
    }
    void CloseConnection()
    {
        if (conn >= 0)
            close(conn);
        conn = -1;
    }
};

struct Sink {
    std::vector<uint8_t> bytes;
    int64_t total = 0;
    int largestBlock = 0;
    int lost = 0;
    bool keep = true;
    std::function<void()> onBlock;

    void Install()
    {
        SetCommHandlers({[this](const uint8_t* b, int n) {
                             if (keep)
                                 bytes.insert(bytes.end(), b, b + n);
                             total += n;
                             largestBlock = std::max(largestBlock, n);
                             if (onBlock)
                                 onBlock();
                         },
                         [] {}, [this] { ++lost; }});
    }
};

std::vector<uint8_t> Pattern(size_t n)
{
    std::vector<uint8_t> v(n);
    uint32_t x = 12345;
    for (auto& b : v) {
        x = x * 1664525u + 1013904223u;
        b = uint8_t(x >> 24);
    }
    return v;
}

class NetLinkTest : public ::testing::Test {
protected:
    void SetUp() override { sink.Install(); }
    void TearDown() override
    {
        ClosePort();
        SetCommHandlers({});
    }
    Sink sink;
};

TEST_F(NetLinkTest, TcpCarriesBothWaysAndAClosedPeerIsALostConnection)
{
    TcpPeer peer;
    ASSERT_TRUE(OpenPort(peer.Address(), 4800, 1));
    ASSERT_TRUE(peer.Accept());
    EXPECT_TRUE(PortTakesCommands());
    const std::vector<uint8_t> sent = Pattern(300 * 1024);
    std::thread writer([&] { peer.Send(sent.data(), sent.size()); });
    EXPECT_TRUE(WaitFor([&] { return sink.bytes.size() >= sent.size(); }, 20000));
    writer.join();
    EXPECT_EQ(sink.bytes, sent);
    EXPECT_LE(sink.largestBlock, kReadBufferSize);

    const uint8_t command[] = {0x10, 0x1B, 0x10, 0x03};
    EXPECT_EQ(WritePort(command, 4), 4);
    uint8_t got[4] = {};
    EXPECT_EQ(recv(peer.conn, got, 4, MSG_WAITALL), 4);
    EXPECT_EQ(std::vector<uint8_t>(got, got + 4), std::vector<uint8_t>(command, command + 4));

    // The last bytes before the close still arrive, then the loss.
    ASSERT_TRUE(peer.Send("$GPGGA,last*00\r\n"));
    peer.CloseConnection();
    EXPECT_TRUE(WaitFor([&] { return sink.lost == 1; }, 5000));
    EXPECT_EQ(PortLostText(), "Connection lost");
    const std::string tail(sink.bytes.end() - 16, sink.bytes.end());
    EXPECT_EQ(tail, "$GPGGA,last*00\r\n");
    ClosePort();
    EXPECT_EQ(WritePort(command, 4), 0);
}

TEST_F(NetLinkTest, FailuresSayWhy)
{
    const int closed = FreeLoopbackPort(SOCK_STREAM);
    struct {
        QString address;
        uint8_t parity;
        const char* error;
    } const cases[] = {
        {QString("tcp://127.0.0.1:%1").arg(closed), 0, "Connection failed"},
        {"tcp://no-such-host.invalid:5000", 0, "Connection failed"},
        {QString("gpsd://127.0.0.1:%1").arg(closed), 0, "Connection failed"},
        // A malformed address says what is wrong with it, as the dialog does.
        {"tcp://127.0.0.1:99999", 0, "The port is a number from 1 to 65535"},
        {"gpsd://", 0, "The host is missing"},
        {"gpsd://127.0.0.1", 1, "BINR cannot pass through gpsd"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(OpenPort(c.address, 4800, c.parity)) << c.address.toStdString();
        EXPECT_EQ(PortOpenError(), c.error) << c.address.toStdString();
        EXPECT_FALSE(PortOpenDetail().isEmpty()) << c.address.toStdString();
        EXPECT_FALSE(PortOpen());
    }
}

// The worker of an open is stopped at once whatever it waits for, and its
// report never comes then.
TEST_F(NetLinkTest, StopEndsAPendingOpenAtOnceInEveryState)
{
    UnansweredPort unanswered;
    TcpPeer silentGpsd;   // takes connections (the kernel does) and says nothing
    struct {
        const char* state;
        QString address;
        bool gpsdBusy;
    } const cases[] = {
        {"connect that never completes", QString("tcp://127.0.0.1:%1").arg(unanswered.port), false},
        {"gpsd that took the connection and is silent", silentGpsd.Address("gpsd"), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state);
        int done = 0;
        bool busy = false;
        QElapsedTimer t;
        t.start();
        ASSERT_EQ(BeginOpenPort(c.address, 0, {[&](bool) { ++done; }, [&] { busy = true; }}), OpenStart::Pending);
        EXPECT_LT(t.elapsed(), 100);
        RunEvents(kGpsdBusyAfterMs + 300);
        EXPECT_TRUE(PortOpening());
        EXPECT_EQ(busy, c.gpsdBusy);
        t.restart();
        ClosePort();
        EXPECT_LT(t.elapsed(), 100);
        EXPECT_FALSE(PortOpening());
        EXPECT_FALSE(PortOpen());
        RunEvents(50);
        EXPECT_EQ(done, 0);
    }
}

// A name lookup that never answers: in a network namespace of its own, with
// a name server on its loopback that takes queries and never answers. The
// test runs itself there (NetNamespace.*), as root only.
TEST(NetNamespaceTest, NameLookupThatNeverAnswers)
{
    const QString unshare = QStandardPaths::findExecutable("unshare");
    if (geteuid() != 0 || unshare.isEmpty())
        GTEST_SKIP() << "needs root and unshare (util-linux) for a network namespace";
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KESTROVA_IN_NETNS", "1");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(unshare, {"--net", "--mount", QFile::symLinkTarget("/proc/self/exe"),
                          "--gtest_filter=NetNamespace.StopAndDeadlineOfASilentNameServer"});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QByteArray out = child.readAll();
    EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.toStdString();
}

TEST(NetNamespace, StopAndDeadlineOfASilentNameServer)
{
    if (!qEnvironmentVariableIsSet("KESTROVA_IN_NETNS"))
        GTEST_SKIP() << "runs inside the namespace NetNamespaceTest makes";
    // The namespace's own loopback, up.
    const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq lo{};
    std::strcpy(lo.ifr_name, "lo");
    ASSERT_EQ(ioctl(s, SIOCGIFFLAGS, &lo), 0);
    lo.ifr_flags = short(lo.ifr_flags | IFF_UP);
    ASSERT_EQ(ioctl(s, SIOCSIFFLAGS, &lo), 0);
    close(s);
    // A name server that takes every query and answers none.
    const int server = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const sockaddr_in at = LoopbackAddress(53);
    ASSERT_EQ(bind(server, reinterpret_cast<const sockaddr*>(&at), sizeof at), 0);
    QTemporaryFile conf;
    ASSERT_TRUE(conf.open());
    conf.write("nameserver 127.0.0.1\n");
    conf.flush();
    ASSERT_EQ(mount(conf.fileName().toLocal8Bit().constData(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr), 0);

    SetCommHandlers({});
    int done = 0;
    bool opened = true;
    const OpenCallbacks report{[&](bool ok) {
                                   ++done;
                                   opened = ok;
                               },
                               {}};
    const QString address = "tcp://receiver.silent-lookup.test:5000";
    QElapsedTimer t;
    t.start();
    ASSERT_EQ(BeginOpenPort(address, 0, report), OpenStart::Pending);
    RunEvents(300);
    EXPECT_TRUE(PortOpening());
    t.restart();
    ClosePort();
    EXPECT_LT(t.elapsed(), 100);
    EXPECT_EQ(done, 0);
    char query[512];
    EXPECT_GT(recv(server, query, sizeof query, MSG_DONTWAIT), 0) << "the lookup never reached the silent server";

    // Not stopped: one deadline for the lookup and the connection.
    t.restart();
    ASSERT_EQ(BeginOpenPort(address, 0, report), OpenStart::Pending);
    EXPECT_TRUE(WaitFor([&] { return done == 1; }, kConnectTimeoutMs + 3000));
    EXPECT_LT(t.elapsed(), kConnectTimeoutMs + 1000);
    EXPECT_FALSE(opened);
    EXPECT_EQ(PortOpenError(), "Connection failed");
    EXPECT_TRUE(PortOpenDetail().contains("name server")) << PortOpenDetail().toStdString();
    close(server);
}

// The hand-off waits for the main thread; while it does, the peer's writes
// wait in the kernel. Memory stays flat however much the peer pushes.
TEST_F(NetLinkTest, FloodingPeerIsHeldBackNotBuffered)
{
    auto residentKiB = [] {
        QFile f("/proc/self/statm");
        f.open(QIODevice::ReadOnly);
        const QList<QByteArray> fields = f.readAll().split(' ');
        return fields.value(1).toLongLong() * (sysconf(_SC_PAGESIZE) / 1024);
    };
    TcpPeer peer;
    ASSERT_TRUE(OpenPort(peer.Address(), 4800, 0));
    ASSERT_TRUE(peer.Accept());
    constexpr int64_t kFlood = 64LL * 1024 * 1024;
    sink.keep = false;
    const long long before = residentKiB();
    long long peak = before;
    int blocks = 0;
    sink.onBlock = [&] {
        if (++blocks % 256 == 0)
            peak = std::max(peak, residentKiB());
    };
    std::atomic<bool> done{false};
    std::thread flood([&] {
        const std::vector<uint8_t> chunk = Pattern(256 * 1024);
        for (int64_t sent = 0; sent < kFlood; sent += int64_t(chunk.size()))
            if (!peer.Send(chunk.data(), chunk.size()))
                break;
        done = true;
    });
    EXPECT_TRUE(WaitFor([&] { return sink.total >= kFlood; }, 120000));
    flood.join();
    EXPECT_TRUE(done);
    EXPECT_EQ(sink.total, kFlood);
    EXPECT_LE(sink.largestBlock, kReadBufferSize);
    EXPECT_LT(peak - before, 16 * 1024) << "resident memory grew by " << (peak - before) << " KiB";
}

TEST_F(NetLinkTest, UdpDatagramsArriveWholeAndInOrder)
{
    const int port = FreeLoopbackPort(SOCK_DGRAM);
    ASSERT_TRUE(OpenPort(QString("udp://127.0.0.1:%1").arg(port), 4800, 0)) << PortOpenDetail().toStdString();
    EXPECT_FALSE(PortTakesCommands());
    const uint8_t command[] = {0x10, 0x1B, 0x10, 0x03};
    EXPECT_EQ(WritePort(command, 4), 0);

    const int out = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to = LoopbackAddress(port);
    const std::vector<uint8_t> all = Pattern(400000);
    std::vector<size_t> sizes;
    for (int i = 0; i < 300; ++i)
        sizes.push_back(size_t(1 + (i * 977) % 1472));
    sizes.push_back(0);
    sizes.push_back(30000);   // larger than one hand-off
    sizes.push_back(kReadBufferSize);
    size_t at = 0;
    for (size_t i = 0; i < sizes.size(); ++i) {
        ASSERT_EQ(sendto(out, all.data() + at, sizes[i], 0, reinterpret_cast<sockaddr*>(&to), sizeof to), ssize_t(sizes[i]));
        at += sizes[i];
        // Paced, so that the kernel never drops one for want of room.
        if (i % 50 == 49) {
            ASSERT_TRUE(WaitFor([&] { return sink.bytes.size() == at; }, 10000));
        }
    }
    close(out);
    EXPECT_TRUE(WaitFor([&] { return sink.bytes.size() >= at; }, 10000));
    EXPECT_EQ(sink.bytes, std::vector<uint8_t>(all.begin(), all.begin() + long(at)));
    EXPECT_EQ(sink.lost, 0);
}

// A fake gpsd: what it answers to the watch request, and what follows.
struct GpsdCase {
    const char* name;
    std::vector<std::string> answer;
    std::string then;
    const char* openError;   // empty: the open succeeds
    const char* received;
    bool silentLoss;         // no raw data: given up after kGpsdNoDataMs
    int busyMs = 0;          // silent this long first, as while hunting its device
};

TEST_F(NetLinkTest, GpsdHandshakeAndPassThrough)
{
    const std::string version = R"({"class":"VERSION","release":"3.22"})" "\r\n";
    const std::string devices = R"({"class":"DEVICES","devices":[{"path":"/dev/pts/9"}]})" "\r\n";
    const std::string watch = R"({"class":"WATCH","enable":true,"raw":2})" "\r\n";
    const GpsdCase cases[] = {
        {"raw sentences, a report among them", {version, devices, watch},
         "$GPGGA,1*00\r\n{\"class\":\"DEVICE\"}\r\n$GPRMC,2*00\r\n", "", "$GPGGA,1*00\r\n$GPRMC,2*00\r\n", false},
        {"unknown device", {version, R"({"class":"ERROR","message":"No such device as /dev/pts/9"})" "\r\n"}, "",
         "gpsd: No such device as /dev/pts/9", "", false},
        // The refusal is shown and printed: its control characters must not reach a terminal.
        {"hostile refusal", {version, "{\"class\":\"ERROR\",\"message\":\"no\x1B]0;owned\x07\rdevice\"}\r\n"}, "",
         "gpsd: no\xEF\xBF\xBD]0;owned\xEF\xBF\xBD\xEF\xBF\xBD" "device", "", false},
        {"no raw data", {version, devices, watch}, "", "", "", true},
        // Busy for longer than the deadline of the connection: waited for.
        {"busy hunting its device", {version, devices, watch}, "$GPGGA,3*00\r\n", "", "$GPGGA,3*00\r\n", false,
         kConnectTimeoutMs + 500},
    };
    for (const GpsdCase& c : cases) {
        SCOPED_TRACE(c.name);
        sink.bytes.clear();
        sink.lost = 0;
        TcpPeer peer;
        std::string request;
        std::thread gpsd([&] {
            if (!peer.Accept())
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(c.busyMs));
            peer.Send(c.answer[0]);
            request = peer.ReadLine();
            for (size_t i = 1; i < c.answer.size(); ++i)
                peer.Send(c.answer[i]);
            // The raw data may come in the same segment as the answer.
            peer.Send(c.then);
        });
        const bool opened = OpenPort(peer.Address("gpsd") + "/dev/pts/9", 4800, 0);
        gpsd.join();
        EXPECT_EQ(request, R"(?WATCH={"enable":true,"raw":2,"device":"/dev/pts/9"})");
        EXPECT_EQ(opened, std::string(c.openError).empty());
        EXPECT_EQ(PortOpenError().toStdString(), c.openError);
        if (!opened)
            continue;
        EXPECT_FALSE(PortTakesCommands());
        if (c.silentLoss) {
            EXPECT_TRUE(WaitFor([&] { return sink.lost == 1; }, kGpsdNoDataMs + 5000));
            EXPECT_EQ(PortLostText(), "gpsd: no data from the device within 5 s");
        } else {
            const std::string want = c.received;
            EXPECT_TRUE(WaitFor([&] { return sink.bytes.size() >= want.size(); }, 5000));
            EXPECT_EQ(std::string(sink.bytes.begin(), sink.bytes.end()), want);
        }
        ClosePort();
    }
}

} // namespace
