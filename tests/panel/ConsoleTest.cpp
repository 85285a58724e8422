// The CONSOLE against kestrova-sim on a pty: a query typed in the command
// line reaches the receiver with its checksum, the answer shows in the
// console, the sent line is marked and, when asked, lands in the recording
// whole, also when no block follows it before the recording stops;
// read-only and closed sources refuse commands; a long command goes whole,
// and one the port stops taking is written off the window's thread and told
// exactly.
#include "Comm.h"
#include "CommPty.h"
#include "Console.h"
#include "ConsoleModel.h"
#include "LoopbackPort.h"
#include "SynchroSim.h"
#include "TestSupport.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <gtest/gtest.h>

#include <QRegularExpression>

namespace {

constexpr int kLongMs = 15000;
// A pty is full once it has taken nothing for this long.
constexpr int kFullForMs = 200;
constexpr int kFillRoundsMax = 100;

class ConsoleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFileInfo(KESTROVA_SIM_BIN).isExecutable()) << "kestrova-sim not built";
        M().PortComboBox->clear();
    }
    TMainForm& M() { return w.Main(); }
    TConsoleForm* OpenFromMenu()
    {
        for (QAction* a : M().TitleMenu()->actions())
            if (a->text() == "Messages...")
                a->trigger();
        return M().ConsoleWindow();
    }
    // The row of the given type and source, or -1.
    int RowOf(TConsoleForm& console, const QString& type, const QString& source)
    {
        console.Refresh();
        ConsoleModel& m = *console.Model();
        for (int row = 0; row < m.rowCount(); ++row)
            if (m.CellText(row, ConsoleModel::kType) == type && m.CellText(row, ConsoleModel::kSource) == source)
                return row;
        return -1;
    }

    ProgramWindows w;
};

TEST_F(ConsoleTest, QueryTypedReachesTheSimulatorAndTheAnswerShows)
{
    SimReceiver sim({"--protocol", "nmea", "--baud", "9600", "--rate", "5"}, w.Dir());
    ASSERT_TRUE(sim.Ok());
    M().NMEARadioButton->setChecked(true);
    w.SelectPort(sim.Path());
    w.SelectBaud("9600");
    TConsoleForm* console = OpenFromMenu();
    ASSERT_NE(console, nullptr);
    EXPECT_EQ(console->CommandNote->text(), "No receiver open: Watch or Record a port first");
    EXPECT_FALSE(console->SendTyped());

    M().FileLabel->setText("query.nme");
    M().RecordButtonClick(nullptr);
    ASSERT_EQ(M().Mode(), uint32_t(amRecord));
    const QString port = M().PortComboBox->currentText();
    ASSERT_TRUE(WaitFor([&] { return RowOf(*console, "GGA", port) >= 0; }, kLongMs));

    console->RecordSentCheckBox->setChecked(true);
    console->CommandEdit->setText("  $PVKTQ,VER ");
    ASSERT_TRUE(console->SendTyped()) << console->CommandNote->text().toStdString();
    const QByteArray sentence = QByteArray::fromStdString(NmeaSentence("PVKTQ,VER"));
    EXPECT_GE(RowOf(*console, "PVKTQ", "sent"), 0);
    EXPECT_TRUE(WaitFor([&] { return sim.Received().contains(sentence); }, kLongMs));
    // $PVKTV,DEVICE,NMEA,BAUD,RATE from the receiver.
    ASSERT_TRUE(WaitFor([&] { return RowOf(*console, "PVKTV", port) >= 0; }, kLongMs));
    const int answer = RowOf(*console, "PVKTV", port);
    EXPECT_TRUE(console->Model()->CellText(answer, ConsoleModel::kMessage).contains(",NMEA,9600,"));
    EXPECT_EQ(console->Model()->CellText(answer, ConsoleModel::kChecksum), "ok");
    EXPECT_EQ(console->History().Items(), std::vector<std::string>{"$PVKTQ,VER"});

    // Recorded whole, at a line boundary, and counted; the rest is what came.
    ASSERT_TRUE(WaitFor([&] { return M().ReceivedTotal() > 0 && SimReceiver::ReadFile(w.Dir() + "/query.nme").contains(sentence); }, kLongMs));
    M().StopButtonClick(M().StopButton);
    QByteArray recorded = SimReceiver::ReadFile(w.Dir() + "/query.nme");
    EXPECT_EQ(recorded.size(), M().ReceivedTotal());
    EXPECT_EQ(CountOf(recorded, sentence), 1);
    const qsizetype at = recorded.indexOf(sentence);
    EXPECT_TRUE(at == 0 || recorded[at - 1] == '\n');
    EXPECT_TRUE(sim.Sent().contains(recorded.remove(at, sentence.size())));

    // The history outlives the window.
    TConsoleForm again;
    again.LoadHistory();
    EXPECT_EQ(again.History().Items(), std::vector<std::string>{"$PVKTQ,VER"});
}

// A command that silences the receiver is followed by no block to carry it
// into the file: it goes in when the recording stops.
TEST_F(ConsoleTest, SentCommandWaitingForABlockJoinsTheRecordingAtStop)
{
    TestPty pty;
    ASSERT_TRUE(pty.Ok());
    M().NMEARadioButton->setChecked(true);
    w.SelectPort(pty.path);
    TConsoleForm* console = OpenFromMenu();
    ASSERT_NE(console, nullptr);
    M().FileLabel->setText("silenced.nme");
    M().RecordButtonClick(nullptr);
    ASSERT_EQ(M().Mode(), uint32_t(amRecord));
    const std::string gga = NmeaSentence("GPGGA,071551.000,4739.71754,N,12219.58177,W,1,17,0.8,77.5,M,-21.6,M,,");
    ASSERT_TRUE(pty.Send(std::vector<uint8_t>(gga.begin(), gga.end())));
    ASSERT_TRUE(WaitFor([&] { return M().ReceivedTotal() == int64_t(gga.size()); }, kLongMs));

    console->RecordSentCheckBox->setChecked(true);
    console->CommandEdit->setText("$PVKTQ,QUIET");
    ASSERT_TRUE(console->SendTyped()) << console->CommandNote->text().toStdString();
    M().StopButtonClick(M().StopButton);
    const QByteArray recorded = SimReceiver::ReadFile(w.Dir() + "/silenced.nme");
    EXPECT_EQ(recorded, QByteArray::fromStdString(gga + NmeaSentence("PVKTQ,QUIET")));
    EXPECT_EQ(recorded.size(), M().ReceivedTotal());
}

// "hex:" and the bytes, as typed.
QString HexLine(const std::vector<uint8_t>& bytes)
{
    QString line = "hex:";
    for (const uint8_t b : bytes)
        line += QString::asprintf("%02X", b);
    return line;
}

// Whether the program's side of the pty takes bytes within waitMs.
bool LineTakes(const TestPty& pty, int waitMs)
{
    pollfd p{pty.slave, POLLOUT, 0};
    return poll(&p, 1, waitMs) > 0 && (p.revents & POLLOUT);
}

// Everything queued on the receiver's side of the pty now.
std::vector<uint8_t> Drain(const TestPty& pty)
{
    std::vector<uint8_t> got;
    uint8_t buf[4096];
    for (ssize_t n; (n = read(pty.master, buf, sizeof buf)) > 0;)
        got.insert(got.end(), buf, buf + n);
    return got;
}

TEST_F(ConsoleTest, CommandsGoWholeOrSayWhatReachedThePort)
{
    TestPty pty;
    ASSERT_TRUE(pty.Ok());
    M().NMEARadioButton->setChecked(true);
    w.SelectPort(pty.path);
    M().WatchClick(nullptr);
    ASSERT_EQ(M().Mode(), uint32_t(amWatch));
    TConsoleForm* console = OpenFromMenu();
    ASSERT_NE(console, nullptr);
    const auto note = [&] { return console->CommandNote->text(); };

    // The receiver stops reading: its side of the line fills up, and stays
    // full (the pty moves what it holds on its own time).
    fcntl(pty.slave, F_SETFL, fcntl(pty.slave, F_GETFL) | O_NONBLOCK);
    fcntl(pty.master, F_SETFL, fcntl(pty.master, F_GETFL) | O_NONBLOCK);
    const std::vector<uint8_t> fill(4096, 0xEE);
    for (int i = 0; i < kFillRoundsMax && LineTakes(pty, kFullForMs); ++i) {
        while (write(pty.slave, fill.data(), fill.size()) > 0) {
        }
    }
    ASSERT_FALSE(LineTakes(pty, 0));
    console->CommandEdit->setText(HexLine(std::vector<uint8_t>(kCommandBytesMax, 0x55)));
    ASSERT_TRUE(console->SendTyped()) << note().toStdString();
    EXPECT_EQ(note(), "Sending 4096 bytes...");
    ASSERT_TRUE(WaitFor([&] { return !note().startsWith("Sending"); }, kLongMs));
    const QRegularExpressionMatch cut = QRegularExpression(
        "^(?:Cut: (\\d+) of|Not sent: none of the) 4096 bytes reached the port; the port took nothing more for 5 s$")
        .match(note());
    ASSERT_TRUE(cut.hasMatch()) << note().toStdString();
    const std::vector<uint8_t> line = Drain(pty);
    EXPECT_EQ(std::count(line.begin(), line.end(), 0x55), cut.captured(1).toInt());

    // Longer than one port write, on a line that is read: whole.
    std::vector<uint8_t> command(4000);
    for (size_t i = 0; i < command.size(); ++i)
        command[i] = uint8_t('A' + i % 26);
    console->CommandEdit->setText(HexLine(command));
    ASSERT_TRUE(console->SendTyped()) << note().toStdString();
    EXPECT_EQ(pty.Receive(command.size()), command);
    EXPECT_TRUE(WaitFor([&] { return note() == "Sent 4000 bytes"; })) << note().toStdString();

    // A paste the box cut at its 32767 characters, in mid-pair.
    console->CommandEdit->setText("hex:" + QString(40000, '0'));
    EXPECT_FALSE(console->SendTyped());
    EXPECT_TRUE(note().startsWith("Too long")) << note().toStdString();
    EXPECT_TRUE(Drain(pty).empty());
    M().StopButtonClick(M().StopButton);
}

TEST_F(ConsoleTest, ReadOnlySourceTakesNoCommands)
{
    const int port = FreeLoopbackPort(SOCK_DGRAM);
    M().NMEARadioButton->setChecked(true);
    w.SelectPort(QString("udp://127.0.0.1:%1").arg(port));
    M().WatchClick(nullptr);
    ASSERT_TRUE(WaitFor([] { return !PortOpening(); }, kLongMs));
    ASSERT_EQ(M().Mode(), uint32_t(amWatch));
    TConsoleForm* console = OpenFromMenu();
    ASSERT_NE(console, nullptr);
    EXPECT_EQ(console->CommandNote->text(), "Not available for this source");
    console->CommandEdit->setText("$PVKTQ,VER");
    EXPECT_FALSE(console->SendTyped());
    EXPECT_EQ(console->CommandNote->text(), "Not available for this source");
    M().StopButtonClick(M().StopButton);
}

} // namespace
