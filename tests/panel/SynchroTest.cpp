// Synchronization, the protocol switch and recording over the serial link,
// end to end: the program's windows against a pty played by the test or by
// kestrova-sim.
#include "CommPty.h"
#include "MainFormTestAccess.h"
#include "SynchroSim.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QSignalBlocker>
#include <gtest/gtest.h>

#include <unistd.h>

namespace {

const QByteArray kSwitchSentence = "$PVKTA,0,115200,3*70\r\n";

QByteArray PortSetting(uint32_t baud, uint8_t mode)
{
    return Frame(0x0B, {0x00, uint8_t(baud), uint8_t(baud >> 8), uint8_t(baud >> 16), uint8_t(baud >> 24), mode});
}

speed_t OutSpeed(const TestPty& pty)
{
    const termios t = pty.Settings();
    return cfgetospeed(&t);
}

QByteArray FromVector(const std::vector<uint8_t>& v) { return QByteArray(reinterpret_cast<const char*>(v.data()), qsizetype(v.size())); }
std::vector<uint8_t> ToVector(const QByteArray& b) { return std::vector<uint8_t>(b.begin(), b.end()); }

// The protocol as a user selects it. Run with an empty port list first, so
// that the switch command reaches no device, then once more directly in case
// the window calls the handler only on a click.
void SelectProtocol(ProgramWindows& w, bool binr)
{
    TMainForm& m = w.Main();
    const QString port = m.PortComboBox->currentText();
    m.PortComboBox->clear();
    (binr ? m.BINRRadioButton : m.NMEARadioButton)->setChecked(true);
    if (binr)
        m.BINRRadioButtonClick(nullptr);
    else
        m.NMEARadioButtonClick(nullptr);
    if (!port.isEmpty())
        w.SelectPort(port);
}

// A folder name without digits, so that the first digit of a port path is
// the one in the device's own name.
QString DigitFreeDir()
{
    QString name = QDir::tempPath() + "/kestrova-link-";
    for (long v = long(getpid()); v > 0; v /= 10)
        name += QChar('a' + int(v % 10));
    QDir().mkpath(name);
    return name;
}

// What Kestrova recorded must be exactly one stretch of what the receiver
// sent: nothing lost in between, nothing added.
::testing::AssertionResult IsStretchOf(const QByteArray& recorded, const QByteArray& sent)
{
    if (recorded.isEmpty())
        return ::testing::AssertionFailure() << "nothing recorded";
    const qsizetype at = sent.indexOf(recorded.left(4096));
    if (at < 0)
        return ::testing::AssertionFailure() << "the recording's start is not in what was sent";
    if (sent.mid(at, recorded.size()) != recorded)
        return ::testing::AssertionFailure() << "the recording differs from what was sent after " << at;
    return ::testing::AssertionSuccess();
}

class SynchroTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFileInfo(KESTROVA_SIM_BIN).isExecutable()) << "kestrova-sim not built";
        // Never let a test talk to a real device such as the console on ttyS0.
        w.Main().PortComboBox->clear();
    }
    TMainForm& M() { return w.Main(); }
    ProgramWindows w;
};

TEST_F(SynchroTest, NmeaSearchFindsTheReceiversRate)
{
    SimReceiver sim({"--protocol", "nmea", "--baud", "38400", "--rate", "5"}, w.Dir());
    ASSERT_TRUE(sim.Ok());
    SelectProtocol(w, false);
    w.SelectPort(PortDisplayName(sim.Path()));
    M().SynchroButtonClick(nullptr);
    EXPECT_EQ(M().Mode(), uint32_t(amSync));
    EXPECT_EQ(M().SynchroTimer->interval(), 1000);
    QStringList shown{M().InfoLabel->text()};
    WaitFor(
        [&] {
            if (M().InfoLabel->text() != shown.last())
                shown << M().InfoLabel->text();
            return M().Mode() != amSync;
        },
        9000);
    EXPECT_EQ(shown, QStringList({"Connection baud: 4800", "Connection baud: 9600", "Connection baud: 19200",
                                  "Connection baud: 38400", "Connection Ok"}));
    EXPECT_EQ(M().BaudComboBox->currentText(), "38400");
    EXPECT_EQ(M().DeviceLabel->text(), "unknown");
    EXPECT_EQ(M().Mode(), uint32_t(amStop));
    EXPECT_FALSE(M().SynchroTimer->isActive());
    EXPECT_FALSE(PortOpen());
}

TEST_F(SynchroTest, BinrSearchMovesTheReceiverToTheUsersRateAndNamesIt)
{
    SimReceiver sim({"--protocol", "binr", "--baud", "9600", "--rate", "5", "--device", "ABC 1.0"}, w.Dir());
    ASSERT_TRUE(sim.Ok());
    const QString dir = DigitFreeDir();
    const QString port = dir + "/ttyKS3";
    QFile::remove(port);
    ASSERT_TRUE(QFile::link(sim.Path(), port));
    SelectProtocol(w, true);
    w.SelectPort(port);
    w.SelectBaud("115200");
    M().SynchroButtonClick(nullptr);
    EXPECT_EQ(M().SynchroTimer->interval(), 500);
    WaitFor([&] { return M().Mode() != amSync; }, 7000);
    EXPECT_EQ(M().InfoLabel->text(), "Connection Ok");
    EXPECT_EQ(M().DeviceLabel->text(), "ABC 1.0");
    EXPECT_EQ(M().FileLabel->text(), "ABC_c3.dat");
    EXPECT_EQ(M().BaudComboBox->currentText(), "115200");
    EXPECT_FALSE(PortOpen());
    const QByteArray got = sim.Received();
    EXPECT_TRUE(got.contains(Frame(0x26) + PortSetting(115200, 0x04)));
    EXPECT_TRUE(got.contains(Frame(0x1B)));
    QFile::remove(port);
    QDir().rmdir(dir);
}

TEST_F(SynchroTest, SilentReceiverFailsAtTheNinthTick)
{
    TestPty pty;
    ASSERT_TRUE(pty.Ok());
    SelectProtocol(w, true);
    w.SelectPort(PortDisplayName(pty.path));
    w.SelectBaud("57600");
    M().SynchroButtonClick(nullptr);
    ASSERT_EQ(M().Mode(), uint32_t(amSync));
    EXPECT_TRUE(M().SynchroTimer->isActive());
    EXPECT_EQ(M().SynchroTimer->interval(), 500);
    M().SynchroTimer->stop();   // the test ticks by hand, 4.5 s in a moment
    const QByteArray command = Frame(0x26) + PortSetting(57600, 0x04);
    EXPECT_EQ(FromVector(pty.Receive(size_t(command.size()))), command);
    const char* rates[] = {"9600", "19200", "38400", "57600", "115200", "230400", "460800", "921600"};
    const speed_t speeds[] = {B9600, B19200, B38400, B57600, B115200, B230400, B460800, B921600};
    for (int tick = 0; tick < 8; ++tick) {
        M().SynchroTimerTimer();
        EXPECT_EQ(M().InfoLabel->text(), QString("Connection baud: ") + rates[tick]);
        EXPECT_EQ(OutSpeed(pty), speeds[tick]);
        EXPECT_EQ(FromVector(pty.Receive(size_t(command.size()))), command) << tick;
        EXPECT_EQ(M().Mode(), uint32_t(amSync));
    }
    M().SynchroTimerTimer();
    EXPECT_EQ(M().InfoLabel->text(), "Connection failed");
    EXPECT_EQ(M().DeviceLabel->text(), "unknown");
    EXPECT_EQ(M().Mode(), uint32_t(amStop));
    EXPECT_FALSE(PortOpen());
}

// The search ends where the adapter refuses a rate, rather than take an
// answer at the old rate for one at the new.
TEST_F(SynchroTest, RefusedRateEndsTheSearch)
{
    TestPty pty;
    ASSERT_TRUE(pty.Ok());
    SelectProtocol(w, false);
    w.SelectPort(PortDisplayName(pty.path));
    M().SynchroButtonClick(nullptr);
    ASSERT_EQ(M().Mode(), uint32_t(amSync));
    M().SynchroTimer->stop();
    if (!pty.LockRate(true))
        GTEST_SKIP() << "cannot lock the line settings (needs CAP_SYS_ADMIN)";
    const speed_t first = OutSpeed(pty);
    M().SynchroTimerTimer();
    EXPECT_EQ(M().InfoLabel->text(), "Rate change refused");
    EXPECT_EQ(M().DeviceLabel->text(), "unknown");
    EXPECT_EQ(M().Mode(), uint32_t(amStop));
    EXPECT_EQ(OutSpeed(pty), first);
}

TEST_F(SynchroTest, EveryHeartbeatIsAnsweredAndTheAckMovesTheRate)
{
    TestPty pty;
    ASSERT_TRUE(pty.Ok());
    SelectProtocol(w, true);
    w.SelectPort(PortDisplayName(pty.path));
    w.SelectBaud("230400");
    M().SynchroButtonClick(nullptr);
    M().SynchroTimer->stop();
    pty.Receive(size_t((Frame(0x26) + PortSetting(230400, 0x04)).size()));
    const QByteArray off = Frame(0x0C, {0x00});
    const std::vector<uint8_t> heartbeat = ToVector(Frame(0x02, {0x00}));
    pty.Send(heartbeat);
    pty.Send(heartbeat);
    EXPECT_EQ(FromVector(pty.Receive(size_t(2 * off.size()))), off + off);
    pty.Send(ToVector(Frame(0x50, {0x00})));
    EXPECT_TRUE(WaitFor([&] { return TMainFormTestAccess::SyncIndex(M()) == 10; }));
    EXPECT_EQ(OutSpeed(pty), speed_t(B230400));
    pty.Send(heartbeat);   // still answered after the acknowledgement
    EXPECT_EQ(FromVector(pty.Receive(size_t(off.size()))), off);
    M().SynchroTimerTimer();   // now asks for the identification, rate kept
    EXPECT_EQ(FromVector(pty.Receive(size_t(Frame(0x1B).size()))), Frame(0x1B));
    EXPECT_EQ(OutSpeed(pty), speed_t(B230400));
    EXPECT_EQ(M().Mode(), uint32_t(amSync));
    M().StopButtonClick(M().StopButton);
    EXPECT_FALSE(PortOpen());
}

TEST_F(SynchroTest, ProtocolSwitchSendsExactlyTheSwitchCommands)
{
    SimReceiver sim({"--protocol", "nmea", "--baud", "9600", "--rate", "10"}, w.Dir());
    ASSERT_TRUE(sim.Ok());
    SelectProtocol(w, false);
    w.SelectPort(PortDisplayName(sim.Path()));
    w.SelectBaud("9600");

    M().BINRRadioButtonClick(nullptr);
    EXPECT_EQ(sim.Received(), kSwitchSentence);
    EXPECT_EQ(M().BaudComboBox->currentText(), "115200");
    EXPECT_EQ(M().FileLabel->text(), "rgfile.dat");
    EXPECT_EQ(M().SynchroTimer->interval(), 500);
    EXPECT_TRUE(M()._02CheckBox->isEnabled());
    EXPECT_FALSE(PortOpen());
    // The receiver now talks BINR at 115200 with odd parity.
    const qsizetype before = sim.Sent().size();
    ASSERT_TRUE(OpenPort(PortDisplayName(sim.Path()), 115200, 1));
    EXPECT_TRUE(WaitFor([&] { return sim.Sent().mid(before).contains(QByteArray("\x10\x88", 2)); }, 2000));
    ClosePort();

    M().NMEARadioButtonClick(nullptr);
    EXPECT_EQ(sim.Received(), kSwitchSentence + PortSetting(0, 0x02));
    EXPECT_EQ(M().BaudComboBox->currentText(), "115200");
    EXPECT_EQ(M().FileLabel->text(), "rgfile.nme");
    EXPECT_EQ(M().SynchroTimer->interval(), 1000);
    EXPECT_FALSE(M()._02CheckBox->isEnabled());
    EXPECT_FALSE(PortOpen());
}

struct StartCase {
    bool heartbeat;
    bool position;
};

class RecordingStart : public SynchroTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(RecordingStart, BinrCommandsAreByteExact)
{
    const StartCase c = GetParam();
    TestPty pty;
    ASSERT_TRUE(pty.Ok());
    SelectProtocol(w, true);
    w.SelectPort(PortDisplayName(pty.path));
    M()._02CheckBox->setChecked(c.heartbeat);
    M().PositionCheckBox->setChecked(c.position);
    M().FileLabel->setText("start.dat");
    M().RecordButtonClick(nullptr);
    ASSERT_EQ(M().Mode(), uint32_t(amRecord));
    QByteArray expected = Frame(0x0E) + Frame(0x1B);
    for (uint8_t n : {1, 4, 2, 5, 3, 6})
        expected += Frame(0xA0, {0x03, n});
    if (c.heartbeat)
        expected += Frame(0x0C, {0x01});
    if (c.position)
        expected += Frame(0x21, {0x01}) + Frame(0x27, {0x01}) + Frame(0x35, {0x01}) + Frame(0x24, {0x05});
    EXPECT_EQ(FromVector(pty.Receive(size_t(expected.size()) + 1, 300)), expected);

    M().StopButtonClick(M().StopButton);
    QByteArray stop = Frame(0x0E);
    if (c.heartbeat)
        stop += Frame(0x0C, {0x00});
    EXPECT_EQ(FromVector(pty.Receive(size_t(stop.size()) + 1, 300)), stop);
    EXPECT_EQ(M().Mode(), uint32_t(amStop));
    EXPECT_FALSE(PortOpen());
    M().PositionCheckBox->setChecked(false);
}

INSTANTIATE_TEST_SUITE_P(HeartbeatAndPosition, RecordingStart,
                         ::testing::Values(StartCase{false, false}, StartCase{true, true}));

TEST_F(SynchroTest, RecordingKeepsExactlyWhatTheReceiverSent)
{
    SimReceiver sim({"--protocol", "nmea", "--baud", "115200", "--flood", "--scenario", "moving"}, w.Dir());
    ASSERT_TRUE(sim.Ok());
    SelectProtocol(w, false);
    w.SelectPort(PortDisplayName(sim.Path()));
    w.SelectBaud("115200");
    M().FileLabel->setText("flood.nme");
    M().RecordButtonClick(nullptr);
    ASSERT_EQ(M().Mode(), uint32_t(amRecord));
    WaitFor([&] { return M().ReceivedTotal() > 2 * 1024 * 1024; }, 1500);
    M().StopButtonClick(M().StopButton);
    const QByteArray recorded = SimReceiver::ReadFile(w.Dir() + "/flood.nme");
    EXPECT_GT(recorded.size(), 100 * 1024);
    EXPECT_EQ(recorded.size(), M().ReceivedTotal());
    EXPECT_TRUE(IsStretchOf(recorded, sim.Sent()));
}

TEST_F(SynchroTest, PulledDeviceEndsTheRecordingWithItsFileIntact)
{
    SimReceiver sim({"--protocol", "nmea", "--baud", "38400", "--rate", "20"}, w.Dir());
    ASSERT_TRUE(sim.Ok());
    SelectProtocol(w, false);
    w.SelectPort(PortDisplayName(sim.Path()));
    w.SelectBaud("38400");
    M().FileLabel->setText("pulled.nme");
    const std::set<int> before = ThreadIds();
    M().RecordButtonClick(nullptr);
    ASSERT_EQ(M().Mode(), uint32_t(amRecord));
    const int reader = NewThread(before);
    ASSERT_NE(reader, 0);
    ASSERT_TRUE(WaitFor([&] { return M().ReceivedTotal() > 3000; }, 5000));
    sim.Stop();
    EXPECT_TRUE(WaitFor([&] { return M().Mode() != amRecord; }, 3000));
    EXPECT_EQ(M().InfoLabel->text(), "Connection lost");
    EXPECT_EQ(M().Mode(), uint32_t(amStop));
    EXPECT_FALSE(PortOpen());
    const QByteArray recorded = SimReceiver::ReadFile(w.Dir() + "/pulled.nme");
    EXPECT_EQ(recorded.size(), M().ReceivedTotal());
    EXPECT_TRUE(IsStretchOf(recorded, sim.Sent()));
    // Nothing keeps spinning on the dead device: the port's reader has ended.
    EXPECT_TRUE(WaitFor([&] { return ThreadIds().count(reader) == 0; }, 10000));
}

TEST_F(SynchroTest, PulledDeviceEndsASearchAsAFailedOne)
{
    TestPty pty;
    ASSERT_TRUE(pty.Ok());
    SelectProtocol(w, false);
    w.SelectPort(PortDisplayName(pty.path));
    M().SynchroButtonClick(nullptr);
    ASSERT_EQ(M().Mode(), uint32_t(amSync));
    pty.Hangup();
    EXPECT_TRUE(WaitFor([&] { return M().Mode() != amSync; }, 3000));
    EXPECT_EQ(M().InfoLabel->text(), "Connection lost");
    EXPECT_EQ(M().DeviceLabel->text(), "unknown");
    EXPECT_FALSE(M().SynchroTimer->isActive());
    EXPECT_FALSE(PortOpen());
}

TEST_F(SynchroTest, PortListOffersTheSimulatorAndNotAbsentDevices)
{
    SimReceiver sim({"--protocol", "nmea", "--baud", "4800"}, w.Dir());
    ASSERT_TRUE(sim.Ok());
    AddExtraPorts({sim.Path(), "/dev/ttyUSB98", w.Dir() + "/ttyNone"});
    M().FillPortList();
    QStringList listed;
    for (int i = 0; i < M().PortComboBox->count(); ++i)
        listed << M().PortComboBox->itemText(i);
    EXPECT_TRUE(listed.contains(PortDisplayName(sim.Path()))) << listed.join(' ').toStdString();
    EXPECT_FALSE(listed.contains("ttyUSB98"));
    EXPECT_FALSE(listed.contains(w.Dir() + "/ttyNone"));
    EXPECT_EQ(M().PortComboBox->currentIndex(), 0);
    M().PortComboBox->clear();
}

} // namespace
