// Live sources in the program's windows, end to end against kestrova-sim
// (on a pty or on TCP) and a real gpsd: recording and synchronizing through
// the network, read-only sources, watching, reconnecting, stable names,
// "Add source..." and named instances.
#include "CommPty.h"
#include "Instance.h"
#include "LoopbackPort.h"
#include "MainFormTestAccess.h"
#include "LiveSources.h"
#include "NetLink.h"
#include "SourceDialog.h"
#include "SynchroSim.h"
#include "Controls.h"
#include "WeekRollover.h"
#include "ReceiveTimes.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <ctime>

namespace {

constexpr int kLongMs = 15000;

class LiveSourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFileInfo(KESTROVA_SIM_BIN).isExecutable()) << "kestrova-sim not built";
        M().PortComboBox->clear();
    }
    TMainForm& M() { return w.Main(); }
    // The protocol chosen with an empty port list, so that its switch
    // commands nobody, then the source selected.
    void Select(const QString& source, bool binr)
    {
        M().PortComboBox->clear();
        (binr ? M().BINRRadioButton : M().NMEARadioButton)->setChecked(true);
        w.SelectPort(source);
    }
    void Record(const QString& file)
    {
        M().FileLabel->setText(file);
        M().RecordButtonClick(nullptr);
        WaitOpened();
    }
    // A network source is opened by a worker; the start goes on after it.
    void WaitOpened() { WaitFor([] { return !PortOpening(); }, kLongMs); }
    QByteArray Recorded(const QString& file) const { return SimReceiver::ReadFile(w.Dir() + "/" + file); }
    bool WaitInfo(const QString& text, int timeoutMs = kLongMs)
    {
        return WaitFor([&] { return M().InfoLabel->text() == text; }, timeoutMs);
    }
    bool WaitTotal(int64_t bytes, int timeoutMs = kLongMs)
    {
        return WaitFor([&] { return M().ReceivedTotal() >= bytes; }, timeoutMs);
    }
    QString SubDir(const QString& name) const
    {
        QDir(w.Dir()).mkpath(name);
        return w.Dir() + "/" + name;
    }

    ProgramWindows w;
};

// The port of a tcp://127.0.0.1:PORT address.
QString PortOf(const QString& address) { return address.section(':', -1); }

TEST_F(LiveSourceTest, TcpRecordingIsExactlyWhatWasSentAndADropEndsItIntact)
{
    SimReceiver sim({"--protocol", "nmea", "--baud", "9600", "--rate", "20", "--tcp", "0"}, w.Dir());
    ASSERT_TRUE(sim.Ok());
    Select(sim.Path(), false);
    Record("tcp.nme");
    ASSERT_EQ(M().Mode(), uint32_t(amRecord));
    ASSERT_TRUE(WaitTotal(5000));
    sim.Stop();
    EXPECT_TRUE(WaitFor([&] { return M().Mode() == amStop; }, kLongMs));
    EXPECT_EQ(M().InfoLabel->text(), "Connection lost");
    EXPECT_FALSE(PortOpen());
    const QByteArray recorded = Recorded("tcp.nme");
    EXPECT_EQ(recorded.size(), M().ReceivedTotal());
    EXPECT_EQ(recorded, sim.Sent());
}

TEST_F(LiveSourceTest, BinrSynchronizationThroughTcp)
{
    SimReceiver sim({"--protocol", "binr", "--baud", "115200", "--rate", "5", "--device", "NET 2.0", "--tcp", "0"},
                    w.Dir());
    ASSERT_TRUE(sim.Ok());
    Select(sim.Path(), true);
    w.SelectBaud("115200");
    M().SynchroButtonClick(nullptr);
    ASSERT_EQ(M().Mode(), uint32_t(amSync));
    EXPECT_TRUE(WaitFor([&] { return M().Mode() != amSync; }, kLongMs));
    EXPECT_EQ(M().InfoLabel->text(), "Connection Ok");
    EXPECT_EQ(M().DeviceLabel->text(), "NET 2.0");
    // The digit of the record file's name is a serial port's; an address has none.
    EXPECT_EQ(M().FileLabel->text(), "NET_c.dat");
    EXPECT_TRUE(sim.Received().contains(Frame(0x1B)));
}

TEST_F(LiveSourceTest, ReadOnlySourcesTakeNoCommands)
{
    const int port = FreeLoopbackPort(SOCK_DGRAM);
    sockaddr_in a = LoopbackAddress(port);
    const QString address = QString("udp://127.0.0.1:%1").arg(port);
    Select(address, true);
    M().SynchroButtonClick(nullptr);
    EXPECT_EQ(M().InfoLabel->text(), "Not available for this source");
    EXPECT_EQ(M().Mode(), uint32_t(amStop));
    M().InfoLabel->clear();
    M().NMEARadioButton->setChecked(true);
    EXPECT_EQ(M().InfoLabel->text(), "Not available for this source");
    M().BINRRadioButton->setChecked(true);

    // A BINR recording starts without its command sequence and keeps what comes.
    Record("udp.dat");
    ASSERT_EQ(M().Mode(), uint32_t(amRecord));
    const QByteArray frame = QByteArray("\x10\x70KSIM 1.0\x10\x03", 12);
    const int out = socket(AF_INET, SOCK_DGRAM, 0);
    for (int i = 0; i < 3; ++i)
        sendto(out, frame.constData(), size_t(frame.size()), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::close(out);
    EXPECT_TRUE(WaitTotal(3 * frame.size(), 5000));
    M().StopButtonClick(M().StopButton);
    EXPECT_EQ(Recorded("udp.dat"), frame + frame + frame);
}

TEST_F(LiveSourceTest, WatchShowsTheSourceAndRecordTakesOverWithoutLosingAByte)
{
    SimReceiver sim({"--protocol", "nmea", "--baud", "9600", "--rate", "20", "--tcp", "0"}, w.Dir());
    ASSERT_TRUE(sim.Ok());
    Select(sim.Path(), false);
    M().FileLabel->setText("watched.nme");
    QAction* watch = nullptr;
    for (QAction* a : M().TitleMenu()->actions())
        if (a->text() == "Watch")
            watch = a;
    ASSERT_NE(watch, nullptr);
    // Dates as a playback of a file written in 2005 left them: a watch is
    // live data, dated by the clock as a recording is.
    constexpr int64_t k2005S = 1'117'584'000;
    M().SourceIntake().Dates().UseFileTime(k2005S);
    watch->trigger();
    WaitOpened();
    ASSERT_EQ(M().Mode(), uint32_t(amWatch));
    EXPECT_EQ(M().SourceIntake().Dates().Week(0, 100), WeekNearReference(0, 100, int64_t(std::time(nullptr))));
    EXPECT_EQ(M().ActionLabel->text(), "WATCH");
    EXPECT_TRUE(M().StopButton->isEnabled());
    EXPECT_TRUE(M().RecordButton->isEnabled());
    EXPECT_FALSE(M().PlayButton->isEnabled());
    ASSERT_TRUE(WaitTotal(3000));
    EXPECT_EQ(M().InfoLabel->text(), "Receive...");
    EXPECT_FALSE(QFileInfo::exists(w.Dir() + "/watched.nme"));

    const int64_t watched = M().ReceivedTotal();
    M().RecordButtonClick(M().RecordButton);
    ASSERT_EQ(M().Mode(), uint32_t(amRecord));
    ASSERT_TRUE(WaitTotal(3000));
    sim.Stop();
    EXPECT_TRUE(WaitFor([&] { return M().Mode() == amStop; }, kLongMs));
    const QByteArray recorded = Recorded("watched.nme");
    EXPECT_EQ(recorded.size(), M().ReceivedTotal());
    EXPECT_EQ(recorded, sim.Sent().mid(watched));
    EXPECT_EQ(sim.Sent().size(), watched + recorded.size());
    // The recording started from the watch has its receive times, as one from STOP.
    const ReceiveTimesRead times = ReadReceiveTimes((w.Dir() + "/watched.nme.times").toStdString(), recorded.size());
    EXPECT_TRUE(times.problem.empty()) << times.problem;
    EXPECT_FALSE(times.times.empty());
}

// What one simulator after another sent, joined, is the recording.
TEST_F(LiveSourceTest, TcpReconnectJoinsTheRecordingAcrossARestart)
{
    M().SetReconnectEnabled(true);
    auto first = std::make_unique<SimReceiver>(
        QStringList{"--protocol", "nmea", "--baud", "9600", "--rate", "20", "--tcp", "0"}, SubDir("one"));
    ASSERT_TRUE(first->Ok());
    const QString address = first->Path();
    Select(address, false);
    Record("joined.nme");
    ASSERT_EQ(M().Mode(), uint32_t(amRecord));
    ASSERT_TRUE(WaitTotal(3000));
    first->Stop();
    ASSERT_TRUE(WaitInfo("Reconnecting..."));
    EXPECT_EQ(M().Mode(), uint32_t(amRecord));
    const int64_t before = M().ReceivedTotal();
    RunEvents(1500);   // attempts against a closed port fail and go on
    EXPECT_EQ(M().InfoLabel->text(), "Reconnecting...");

    SimReceiver second({"--protocol", "nmea", "--baud", "9600", "--rate", "20", "--tcp", PortOf(address)},
                       SubDir("two"));
    ASSERT_TRUE(second.Ok());
    ASSERT_TRUE(WaitTotal(before + 3000));
    second.Stop();
    ASSERT_TRUE(WaitInfo("Reconnecting..."));
    M().StopButtonClick(M().StopButton);
    EXPECT_EQ(M().Mode(), uint32_t(amStop));
    EXPECT_FALSE(M().Reconnecting());
    const QByteArray recorded = Recorded("joined.nme");
    EXPECT_EQ(recorded.size(), M().ReceivedTotal());
    EXPECT_EQ(recorded, first->Sent() + second.Sent());
}

// The device is named by a link, as udev's stable names are; the simulator's
// new pty takes the old one's place under that name.
TEST_F(LiveSourceTest, SerialReconnectFollowsTheNameToTheNewDevice)
{
    M().SetReconnectEnabled(true);
    const QString link = w.Dir() + "/usb-Kestrova_Sim_7-if00-port0";
    auto first = std::make_unique<SimReceiver>(QStringList{"--protocol", "nmea", "--baud", "38400", "--rate", "20"},
                                               SubDir("one"));
    ASSERT_TRUE(first->Ok());
    ASSERT_TRUE(QFile::link(first->Path(), link));
    Select(link, false);
    w.SelectBaud("38400");
    Record("serial.nme");
    ASSERT_EQ(M().Mode(), uint32_t(amRecord));
    ASSERT_TRUE(WaitTotal(3000));
    // Nothing may wait unread in the pty when it goes: its hang-up drops it.
    ASSERT_TRUE(WaitFor([&] { return M().ReceivedTotal() == first->Sent().size(); }, kLongMs));
    first->Stop();
    ASSERT_TRUE(WaitInfo("Reconnecting..."));
    const int64_t before = M().ReceivedTotal();
    QFile::remove(link);

    SimReceiver second({"--protocol", "nmea", "--baud", "38400", "--rate", "20"}, SubDir("two"));
    ASSERT_TRUE(second.Ok());
    ASSERT_TRUE(QFile::link(second.Path(), link));
    ASSERT_TRUE(WaitTotal(before + 3000));
    M().StopButtonClick(M().StopButton);
    const QByteArray recorded = Recorded("serial.nme");
    EXPECT_EQ(recorded.size(), M().ReceivedTotal());
    EXPECT_EQ(recorded.left(before), first->Sent().left(before));
    EXPECT_TRUE(second.Sent().startsWith(recorded.mid(before)));
    EXPECT_EQ(before, first->Sent().size());
}

// ---------------------------------------------------------------- gpsd

// The whole sentences of a stream with a good checksum, in order. gpsd opens
// the device by trying line settings, which the simulator answers with
// garbage, as a real line would; gpsd passes none of that, and no sentence
// garbage cut into.
QList<QByteArray> GoodSentences(const QByteArray& stream)
{
    QList<QByteArray> out;
    static const QRegularExpression sentence(QStringLiteral("\\$([^\\r\\n$*]*)\\*([0-9A-F]{2})\\r\\n"));
    const QString text = QString::fromLatin1(stream);
    for (auto it = sentence.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        uint8_t sum = 0;
        for (const QChar c : m.captured(1))
            sum ^= uint8_t(c.unicode());
        if (m.captured(2).toUInt(nullptr, 16) == sum)
            out << m.captured(0).toLatin1();
    }
    return out;
}

class Gpsd {
public:
    Gpsd(const QString& device, const QString& dir)
    {
        const QString program = QStandardPaths::findExecutable("gpsd", {"/usr/sbin", "/usr/bin", "/sbin"});
        if (program.isEmpty())
            return;
        port_ = FreeLoopbackPort(SOCK_STREAM);
        proc_.setProgram(program);
        proc_.setArguments({"-N", "-n", "-S", QString::number(port_), "-F", dir + "/gpsd.sock", "-s", "9600", device});
        proc_.start();
        started_ = proc_.waitForStarted(5000);
    }
    ~Gpsd()
    {
        proc_.terminate();
        if (!proc_.waitForFinished(3000))
            proc_.kill();
        proc_.waitForFinished(3000);
    }
    bool Found() const { return port_ != 0; }
    bool Started() const { return started_; }
    QString Address() const { return QString("gpsd://127.0.0.1:%1").arg(port_); }

private:
    QProcess proc_;
    int port_ = 0;
    bool started_ = false;
};

TEST_F(LiveSourceTest, GpsdRecordingHoldsExactlyTheSentencesSentWhileConnected)
{
    SimReceiver sim({"--protocol", "nmea", "--baud", "9600", "--rate", "2"}, w.Dir());
    ASSERT_TRUE(sim.Ok());
    Gpsd gpsd(sim.Path(), w.Dir());
    if (!gpsd.Found())
        GTEST_SKIP() << "gpsd is not installed (tools/install-deps.sh test installs it)";
    ASSERT_TRUE(gpsd.Started());
    // gpsd is listening once its port takes a connection.
    ASSERT_TRUE(WaitFor([&] { return OpenPort(gpsd.Address() + "/dev/none", 0, 0) || PortOpenError() != "Connection failed"; },
                        kLongMs));
    EXPECT_EQ(PortOpenError(), "gpsd: No such device as /dev/none");

    Select(gpsd.Address() + sim.Path(), false);
    Record("gpsd.nme");
    ASSERT_EQ(M().Mode(), uint32_t(amRecord)) << M().InfoLabel->text().toStdString();
    ASSERT_TRUE(WaitTotal(2500, 20000));
    M().StopButtonClick(M().StopButton);
    const QByteArray recorded = Recorded("gpsd.nme");
    EXPECT_EQ(recorded.size(), M().ReceivedTotal());
    EXPECT_TRUE(recorded.startsWith("$"));
    EXPECT_TRUE(recorded.endsWith("\r\n"));
    // Exactly the sentences sent while connected: one unbroken run of them.
    const QList<QByteArray> got = GoodSentences(recorded);
    EXPECT_EQ(got.join(), recorded) << "only whole, good sentences";
    const QList<QByteArray> sent = GoodSentences(sim.Sent());
    ASSERT_GE(got.size(), 3);
    const qsizetype at = sent.indexOf(got.first());
    ASSERT_GE(at, 0);
    EXPECT_EQ(sent.mid(at, got.size()), got);

    // BINR cannot pass through gpsd.
    M().PortComboBox->clear();
    M().BINRRadioButton->setChecked(true);
    w.SelectPort(gpsd.Address());
    Record("gpsd.dat");
    EXPECT_EQ(M().Mode(), uint32_t(amStop));
    EXPECT_EQ(M().InfoLabel->text(), "BINR cannot pass through gpsd");
}

// gpsd answers nobody while it hunts its device's line settings, seconds
// at start-up: a watch started just after it waits for it. Ten in a row:
// tests/scripts/gpsd_start.sh.
TEST_F(LiveSourceTest, GpsdStartedASecondBeforeIsWatched)
{
    SimReceiver sim({"--protocol", "nmea", "--baud", "9600", "--rate", "2"}, w.Dir());
    ASSERT_TRUE(sim.Ok());
    Gpsd gpsd(sim.Path(), w.Dir());
    if (!gpsd.Found())
        GTEST_SKIP() << "gpsd is not installed (tools/install-deps.sh test installs it)";
    ASSERT_TRUE(gpsd.Started());
    RunEvents(1000);
    Select(gpsd.Address() + sim.Path(), false);
    M().WatchClick(nullptr);
    EXPECT_TRUE(WaitFor([&] { return M().ReceivedTotal() > 0; }, kConnectTimeoutMs + kGpsdBusyMs))
        << M().InfoLabel->text().toStdString();
    EXPECT_EQ(M().Mode(), uint32_t(amWatch));
    M().StopButtonClick(M().StopButton);
}

// While a network source is being opened the window goes on (a timer keeps
// ticking), only Stop is offered, and Stop ends the attempt at once.
TEST_F(LiveSourceTest, OpeningASourceHoldsNothingAndStopEndsItAtOnce)
{
    UnansweredPort unanswered;
    const int silentPort = FreeLoopbackPort(SOCK_STREAM);
    const int silent = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in at = LoopbackAddress(silentPort);
    ASSERT_EQ(bind(silent, reinterpret_cast<const sockaddr*>(&at), sizeof at), 0);
    ASSERT_EQ(listen(silent, 4), 0);   // a stand-in gpsd that never says a word
    struct {
        QString address;
        bool record;
        const char* info;
    } const cases[] = {
        {QString("tcp://127.0.0.1:%1").arg(unanswered.port), false, "Connecting..."},
        {QString("gpsd://127.0.0.1:%1").arg(silentPort), true, "Waiting for gpsd..."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address.toStdString());
        Select(c.address, false);
        M().FileLabel->setText("never.nme");
        int ticks = 0;
        QTimer painter;
        QObject::connect(&painter, &QTimer::timeout, [&] { ++ticks; });
        painter.start(10);
        QElapsedTimer t;
        t.start();
        if (c.record)
            M().RecordButtonClick(M().RecordButton);
        else
            M().WatchClick(nullptr);
        EXPECT_LT(t.elapsed(), 100);
        EXPECT_TRUE(WaitInfo(c.info, 2000)) << M().InfoLabel->text().toStdString();
        RunEvents(300);
        EXPECT_GE(ticks, 10);
        EXPECT_TRUE(M().StopButton->isEnabled());
        EXPECT_FALSE(M().RecordButton->isEnabled());
        EXPECT_FALSE(M().PortComboBox->isEnabled());
        t.restart();
        M().StopButtonClick(M().StopButton);
        EXPECT_LT(t.elapsed(), 100);
        EXPECT_FALSE(PortOpening());
        EXPECT_EQ(M().Mode(), uint32_t(amStop));
        EXPECT_TRUE(M().RecordButton->isEnabled());
        RunEvents(100);
        EXPECT_EQ(M().Mode(), uint32_t(amStop));
        EXPECT_FALSE(QFileInfo::exists(w.Dir() + "/never.nme"));
    }
    ::close(silent);
}

// ---------------------------------------------------------------- port list

TEST_F(LiveSourceTest, StableNamesStandForTheirNodesAndAreRemembered)
{
    TestPty pty;
    ASSERT_TRUE(pty.Ok());
    const QString byId = SubDir("by-id");
    const QString full = byId + "/usb-Kestrova_Sim_42-if00-port0";
    ASSERT_TRUE(QFile::link(pty.path, full));
    SetStableNameDir(byId);
    AddExtraPorts({pty.path});
    M().FillPortList();
    QStringList listed;
    for (int i = 0; i < M().PortComboBox->count(); ++i)
        listed << M().PortComboBox->itemText(i);
    EXPECT_TRUE(listed.contains("Kestrova_Sim_42")) << listed.join(' ').toStdString();
    EXPECT_FALSE(listed.contains(PortDisplayName(pty.path)));
    EXPECT_EQ(listed.last(), "Add source...");
    const int i = M().PortComboBox->findText("Kestrova_Sim_42");
    EXPECT_EQ(M().PortComboBox->itemData(i, Qt::ToolTipRole).toString(), full);
    EXPECT_EQ(PortPath("Kestrova_Sim_42"), full);

    // The port by its stable name and "Reconnect automatically" are kept.
    QAction* reconnect = M().TitleMenu()->findChild<QAction*>("ReconnectAction");
    ASSERT_NE(reconnect, nullptr);
    reconnect->setChecked(true);
    EXPECT_TRUE(TMainFormTestAccess::ReconnectEnabled(M()));
    M().PortComboBox->setCurrentIndex(i);
    M().SaveSettings();
    M().PortComboBox->setCurrentIndex(-1);
    reconnect->setChecked(false);
    M().Sources().LoadSettings();
    EXPECT_EQ(M().PortComboBox->currentText(), "Kestrova_Sim_42");
    EXPECT_TRUE(reconnect->isChecked());
    EXPECT_TRUE(TMainFormTestAccess::ReconnectEnabled(M()));
    reconnect->setChecked(false);
    ASSERT_TRUE(OpenPort("Kestrova_Sim_42", 4800, 0));
    ClosePort();
    SetStableNameDir("/dev/serial/by-id");
    M().PortComboBox->clear();
}

TEST_F(LiveSourceTest, AddSourceChecksTheFormAndRemembersTheLastEight)
{
    SourceDialog dialog;
    const std::pair<const char*, const char*> forms[] = {
        {"tcp://127.0.0.1:5000", ""},
        {"tcp://127.0.0.1", "The port is missing (HOST:PORT)"},
        {"gpsd://localhost/dev/ttyUSB0", ""},
        {"ser2net:4000", "An address starts with tcp://, udp:// or gpsd://"},
    };
    for (const auto& [text, reason] : forms) {
        dialog.SetAddress(text);
        EXPECT_EQ(dialog.Reason(), reason) << text;
        EXPECT_EQ(dialog.Acceptable(), QString(reason).isEmpty()) << text;
    }

    QString typed;
    M().Sources().askSourceAddress = [&typed] { return typed; };
    M().FillPortList();
    for (int n = 1; n <= 9; ++n) {
        typed = QString("tcp://127.0.0.1:%1").arg(5000 + n);
        const int add = M().PortComboBox->findText("Add source...");
        ASSERT_GE(add, 0);
        M().PortComboBox->setCurrentIndex(add);
        emit M().PortComboBox->activated(add);
        EXPECT_EQ(M().PortComboBox->currentText(), typed);
    }
    const QStringList remembered = RememberedSources();
    ASSERT_EQ(remembered.size(), kRememberedSources);
    EXPECT_EQ(remembered.first(), "tcp://127.0.0.1:5009");
    EXPECT_EQ(remembered.last(), "tcp://127.0.0.1:5002");
    typed.clear();   // cancelled: back to the source chosen before
    const int add = M().PortComboBox->findText("Add source...");
    M().PortComboBox->setCurrentIndex(add);
    emit M().PortComboBox->activated(add);
    EXPECT_EQ(M().PortComboBox->currentText(), "tcp://127.0.0.1:5009");
    M().SaveSettings();
    const QSettings s(kSettingsOrganization, SettingsApplication());
    EXPECT_EQ(s.value("Sources").toStringList(), remembered);
    M().PortComboBox->clear();
}

TEST(InstanceTest, NamedInstanceHasItsOwnSettingsAndTitle)
{
    ASSERT_TRUE(SetInstanceName("lab2"));
    EXPECT_FALSE(SetInstanceName("../x"));
    {
        ProgramWindows w;
        EXPECT_EQ(w.Main().windowTitle(), "KESTROVA lab2");
        w.Main().PortComboBox->clear();
        w.Main().SaveSettings();
    }
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME") + "/Tamrel/";
    EXPECT_TRUE(QFileInfo::exists(config + "Kestrova-lab2.conf"));
    ASSERT_TRUE(SetInstanceName(""));
    EXPECT_EQ(SettingsApplication(), "Kestrova");
}

} // namespace

TEST_F(LiveSourceTest, ANetworkSourceIsElidedInTheMiddleOfThePortBoxAndWholeInItsTooltip)
{
    auto* box = dynamic_cast<ElidedComboBox*>(M().PortComboBox);
    ASSERT_NE(box, nullptr);
    const QRect geometry = box->geometry();
    const struct {
        QString source;
        bool elided;
    } rows[] = {{"tcp://127.0.0.1:29470", true}, {"gpsd://[::1]:2947", true}, {"ttyS0", false}};
    for (const auto& r : rows) {
        box->clear();
        box->addItem(r.source);
        box->setCurrentIndex(0);
        const QString shown = box->ShownText();
        EXPECT_EQ(box->toolTip(), r.source);
        EXPECT_EQ(box->geometry(), geometry);
        if (!r.elided) {
            EXPECT_EQ(shown, r.source);
            continue;
        }
        // Its scheme's start and its port's end, an ellipsis between.
        EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
        EXPECT_EQ(shown.front(), r.source.front()) << shown.toStdString();
        EXPECT_EQ(shown.back(), r.source.back()) << shown.toStdString();
        EXPECT_FALSE(r.source.startsWith(shown.chopped(1))) << "not clipped at the end: " << shown.toStdString();
    }
}
