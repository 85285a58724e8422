// The serial link on real ptys: line settings, exclusivity, the reader's
// hand-off, writes, rate changes, closing from everywhere, and a vanished
// device.
#include "Comm.h"
#include "CommPty.h"

#include <gtest/gtest.h>

#include <atomic>
#include <sys/file.h>
#include <thread>

namespace {

// Collects what the link delivers to the main thread.
struct Sink {
    std::vector<uint8_t> bytes;
    int blocks = 0;
    int largestBlock = 0;
    int lineErrors = 0;
    int lost = 0;
    std::function<void()> onBlock;

    void Install()
    {
        SetCommHandlers({[this](const uint8_t* b, int n) {
                             bytes.insert(bytes.end(), b, b + n);
                             ++blocks;
                             largestBlock = std::max(largestBlock, n);
                             if (onBlock)
                                 onBlock();
                         },
                         [this] { ++lineErrors; }, [this] { ++lost; }});
    }
};

std::vector<uint8_t> Pattern(size_t n, unsigned seed = 1)
{
    std::vector<uint8_t> v(n);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& b : v) {
        x = x * 1664525u + 1013904223u;
        b = uint8_t(x >> 24);
    }
    return v;
}

class CommTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.Ok());
        sink.Install();
    }
    void TearDown() override
    {
        ClosePort();
        SetCommHandlers({});
    }
    TestPty pty;
    Sink sink;
};

struct LineCase {
    int baud;
    speed_t speed;
    uint8_t parity;
};

class CommLineSettings : public CommTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(CommLineSettings, RawLineAtTheRateAndParityAsked)
{
    const LineCase c = GetParam();
    ASSERT_TRUE(OpenPort(pty.path, c.baud, c.parity));
    const termios t = pty.Settings();
    EXPECT_EQ(cfgetospeed(&t), c.speed);
    EXPECT_EQ(cfgetispeed(&t), c.speed);
    // A pty clears PARENB but keeps PARODD, the parity indicator here.
    EXPECT_EQ((t.c_cflag & PARODD) != 0, c.parity != 0);
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(t.c_cflag & (CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP | INLCR | IGNCR), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
}

INSTANTIATE_TEST_SUITE_P(NineRates, CommLineSettings,
                         ::testing::Values(LineCase{4800, B4800, 0}, LineCase{9600, B9600, 1},
                                           LineCase{19200, B19200, 0}, LineCase{38400, B38400, 1},
                                           LineCase{57600, B57600, 0}, LineCase{115200, B115200, 1},
                                           LineCase{230400, B230400, 0}, LineCase{460800, B460800, 1},
                                           LineCase{921600, B921600, 0}));

TEST_F(CommTest, ReopensAPtyAlreadySetToOddParity)
{
    // A pty drops PARENB, so the second time nothing changes but that bit.
    ASSERT_TRUE(OpenPort(pty.path, 115200, 1));
    ClosePort();
    EXPECT_TRUE(OpenPort(pty.path, 115200, 1));
}

TEST_F(CommTest, RefusesWhatCannotBeAPort)
{
    EXPECT_FALSE(OpenPort("", 4800, 0));
    EXPECT_FALSE(OpenPort("/nonexistent/ttyX9", 4800, 0));
    EXPECT_FALSE(OpenPort("/dev/null", 4800, 0));     // not a terminal
    EXPECT_FALSE(OpenPort(pty.path, 1234, 0));        // not one of the nine rates
    EXPECT_FALSE(PortOpen());
}

TEST_F(CommTest, OpenIsExclusiveEvenForRoot)
{
    // Another program holding the port keeps us out...
    const int other = open(pty.path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(OpenPort(pty.path, 9600, 0));
    EXPECT_FALSE(PortOpen());
    close(other);
    // ...and while we hold it, nobody else gets it.
    ASSERT_TRUE(OpenPort(pty.path, 9600, 0));
    const int again = open(pty.path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (again >= 0) {
        EXPECT_NE(flock(again, LOCK_EX | LOCK_NB), 0);
        close(again);
    }
}

TEST_F(CommTest, DeliversEveryByteInOrderInBlocksOfAtMostTheBuffer)
{
    ASSERT_TRUE(OpenPort(pty.path, 115200, 0));
    const std::vector<uint8_t> data = Pattern(200000);
    std::thread receiver([&] { pty.Send(data); });
    EXPECT_TRUE(WaitFor([&] { return sink.bytes.size() >= data.size(); }, 10000));
    receiver.join();
    EXPECT_EQ(sink.bytes, data);
    EXPECT_LE(sink.largestBlock, kReadBufferSize);
    EXPECT_EQ(sink.lineErrors, 0);   // a pty keeps no error counters
    EXPECT_EQ(sink.lost, 0);
}

TEST_F(CommTest, SteadyStreamIsGatheredIntoFewerBlocks)
{
    ASSERT_TRUE(OpenPort(pty.path, 921600, 0));
    // A lone burst after a quiet spell goes over at once...
    pty.Send({'$'});
    EXPECT_TRUE(WaitFor([&] { return sink.blocks == 1; }, 1000));
    // ...a steady trickle is gathered: 100 pieces over ~300 ms arrive as far
    // fewer blocks, every byte in order.
    std::vector<uint8_t> sent = {'$'};
    std::thread receiver([&] {
        for (int i = 0; i < 100; ++i) {
            const std::vector<uint8_t> piece = Pattern(50, unsigned(i));
            pty.Send(piece);
            sent.insert(sent.end(), piece.begin(), piece.end());
            QThread::msleep(3);
        }
    });
    WaitFor([&] { return sink.bytes.size() >= 1 + 100 * 50; }, 5000);
    receiver.join();
    EXPECT_EQ(sink.bytes, sent);
    EXPECT_LT(sink.blocks, 40);
}

TEST_F(CommTest, WriteReachesTheDeviceAndFailsAtOnceWhenClosed)
{
    const std::vector<uint8_t> cmd = {0x10, 0x0C, 0x00, 0x10, 0x03};
    EXPECT_EQ(WritePort(cmd.data(), int(cmd.size())), 0);
    ASSERT_TRUE(OpenPort(pty.path, 4800, 1));
    EXPECT_EQ(WritePort(cmd.data(), 0), 0);
    EXPECT_EQ(WritePort(cmd.data(), int(cmd.size())), int(cmd.size()));
    EXPECT_EQ(pty.Receive(cmd.size()), cmd);
    const std::vector<uint8_t> big = Pattern(kWriteBufferSize);
    EXPECT_EQ(WritePort(big.data(), int(big.size())), kWriteBufferSize);
    EXPECT_EQ(pty.Receive(big.size()), big);
}

TEST_F(CommTest, RateChangeKeepsQueuedBytes)
{
    EXPECT_FALSE(SetPortBaud(9600));
    const std::vector<uint8_t> first = Pattern(300, 1);
    const std::vector<uint8_t> second = Pattern(300, 2);
    // The reader takes the first part and waits for the main thread, so the
    // second part stays in the kernel's queue across the rate change.
    const std::set<int> before = ThreadIds();
    ASSERT_TRUE(OpenPort(pty.path, 4800, 1));
    const int reader = NewThread(before);
    ASSERT_NE(reader, 0);
    ASSERT_TRUE(WaitWithoutEvents([&] { return WaitsOnTheLine(reader); }))
        << "reader never seen waiting on the line (/proc/self/task/" << reader << "/syscall)";
    pty.Send(first);
    ASSERT_TRUE(WaitWithoutEvents([&] { return WaitsForTheMainThread(reader); }));
    pty.Send(second);
    ASSERT_TRUE(WaitWithoutEvents([&] { return pty.Unread() >= int(second.size()); }));
    EXPECT_TRUE(SetPortBaud(9600));
    const termios t = pty.Settings();
    EXPECT_EQ(cfgetospeed(&t), speed_t(B9600));
    EXPECT_NE(t.c_cflag & PARODD, 0u);   // the other settings stay
    std::vector<uint8_t> all = first;
    all.insert(all.end(), second.begin(), second.end());
    EXPECT_TRUE(WaitFor([&] { return sink.bytes.size() >= all.size(); }));
    EXPECT_EQ(sink.bytes, all);
    EXPECT_FALSE(SetPortBaud(1234));
}

// A line whose rate is locked keeps it whatever it is told, and tcsetattr
// still says yes: the rate read back tells.
TEST_F(CommTest, RefusedRateChangeIsReportedAndTheOldRateKept)
{
    ASSERT_TRUE(OpenPort(pty.path, 9600, 0));
    if (!pty.LockRate(true))
        GTEST_SKIP() << "cannot lock the line settings (needs CAP_SYS_ADMIN)";
    EXPECT_FALSE(SetPortBaud(115200));
    termios t = pty.Settings();
    EXPECT_EQ(cfgetospeed(&t), speed_t(B9600));
    ASSERT_TRUE(pty.LockRate(false));
    EXPECT_TRUE(SetPortBaud(115200));
    t = pty.Settings();
    EXPECT_EQ(cfgetospeed(&t), speed_t(B115200));
}

TEST_F(CommTest, CloseInsideTheHandOffDoesNotWaitAndAllowsReopen)
{
    ASSERT_TRUE(OpenPort(pty.path, 38400, 0));
    bool reopened = false;
    sink.onBlock = [&] {
        sink.onBlock = nullptr;
        ClosePort();   // as a successful synchronization does
        EXPECT_FALSE(PortOpen());
        reopened = OpenPort(pty.path, 38400, 0);
    };
    pty.Send(Pattern(100));
    EXPECT_TRUE(WaitFor([&] { return sink.blocks > 0; }));
    EXPECT_TRUE(reopened);
    // The new reader works.
    sink.bytes.clear();
    pty.Send({'$', 'G', 'P'});
    EXPECT_TRUE(WaitFor([&] { return sink.bytes.size() == 3; }));
    ClosePort();
    EXPECT_TRUE(OpenPort(pty.path, 38400, 0));
}

TEST_F(CommTest, CloseWhileTheReaderWaitsForTheMainThreadAllowsImmediateReopen)
{
    for (int round = 0; round < 20; ++round) {
        ASSERT_TRUE(OpenPort(pty.path, 57600, 0)) << round;
        pty.Send(Pattern(64, unsigned(round)));
        QThread::msleep(round % 3);   // the reader may or may not be in a hand-off
        ClosePort();
        EXPECT_FALSE(PortOpen());
        // Nothing from the closed port arrives afterwards.
        const size_t before = sink.bytes.size();
        RunEvents(5);
        EXPECT_EQ(sink.bytes.size(), before);
    }
    ClosePort();   // twice: harmless
    ASSERT_TRUE(OpenPort(pty.path, 57600, 0));
    // Drop what the closed rounds left in the kernel queue: flushed at open.
    sink.bytes.clear();
    pty.Send({1, 2, 3});
    EXPECT_TRUE(WaitFor([&] { return sink.bytes.size() >= 3; }));
}

TEST_F(CommTest, VanishedDeviceEndsTheReaderAfterDeliveringEverything)
{
    const std::set<int> before = ThreadIds();
    ASSERT_TRUE(OpenPort(pty.path, 115200, 0));
    const int reader = NewThread(before);
    ASSERT_NE(reader, 0);
    ASSERT_TRUE(WaitWithoutEvents([&] { return WaitsOnTheLine(reader); }))
        << "reader never seen waiting on the line (/proc/self/task/" << reader << "/syscall)";
    const std::vector<uint8_t> data = Pattern(200);   // arrives as one piece
    // The reader takes the bytes and waits for the main thread when the
    // device goes (the kernel drops what nobody has read at the hang-up).
    pty.Send(data);
    ASSERT_TRUE(WaitWithoutEvents([&] { return WaitsForTheMainThread(reader); }));
    pty.Hangup();
    EXPECT_TRUE(WaitFor([&] { return sink.lost > 0; }));
    EXPECT_EQ(sink.bytes, data);
    EXPECT_EQ(sink.lost, 1);
    // No busy loop on the dead handle: the reader has ended.
    EXPECT_TRUE(WaitFor([&] { return ThreadIds().count(reader) == 0; }, 10000));
    QCoreApplication::processEvents();
    EXPECT_EQ(sink.lost, 1);
    const uint8_t b = 0x0E;
    EXPECT_EQ(WritePort(&b, 1), 0);
    ClosePort();
    EXPECT_FALSE(PortOpen());
}

TEST_F(CommTest, CloseFromTheConnectionLostHandler)
{
    ASSERT_TRUE(OpenPort(pty.path, 115200, 0));
    SetCommHandlers({[](const uint8_t*, int) {}, [] {}, [&] {
                         ++sink.lost;
                         ClosePort();   // as the main window's reaction does
                     }});
    pty.Hangup();
    EXPECT_TRUE(WaitFor([&] { return sink.lost > 0; }));
    EXPECT_FALSE(PortOpen());
    TestPty next;
    ASSERT_TRUE(next.Ok());
    EXPECT_TRUE(OpenPort(next.path, 115200, 0));
}

} // namespace
