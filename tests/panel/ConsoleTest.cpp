// The CONSOLE against kestrova-sim on a pty: a query typed in the command
// line reaches the receiver with its checksum, the answer shows in the
// console, the sent line is marked and, when asked, lands in the recording
// whole, also when no block follows it before the recording stops;
// read-only and closed sources refuse commands.
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

namespace {

constexpr int kLongMs = 15000;

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
