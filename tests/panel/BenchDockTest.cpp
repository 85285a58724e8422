// The panel's bench: what the bench remembers (bad stored values give
// defaults), sources named on the command line, and the classic views
// following another intake than the panel's and coming back.
#include "MainfileSupport.h"

#include "Bench.h"
#include "BenchDock.h"
#include "BenchSettings.h"
#include "Console.h"
#include "Signals.h"
#include "IntakeFeed.h"
#include "NmeaChecksum.h"
#include "Position.h"
#include "SourceFeed.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QRadioButton>
#include <QScreen>
#include <QTreeWidget>

namespace {

// ---------------------------------------------------------------- settings

struct StoredCase {
    const char* name;
    const char* ini;           // the [Bench] group as a user's file might hold it
    BenchSetup expected;
};

BenchSourceSetup Source(const std::string& name, const std::string& address, bool binr, int baud)
{
    return {name, address, binr, baud};
}
// A source named by default.
BenchSourceSetup Default(const std::string& address, bool binr, int baud)
{
    return {BenchDefaultName(address), address, binr, baud};
}

class BenchSettingsTest : public ::testing::TestWithParam<StoredCase> {};

TEST_P(BenchSettingsTest, ReadsWhatItCanAndDefaultsTheRest)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/Kestrova.conf";
    ASSERT_TRUE(WriteBytes(path, [&] {
        const std::string text = std::string("[Bench]\n") + GetParam().ini;
        return std::vector<uint8_t>(text.begin(), text.end());
    }()));
    QSettings s(path, QSettings::IniFormat);
    const BenchSetup got = LoadBenchSetup(s);
    EXPECT_EQ(got, GetParam().expected);

    // What was read is what is written back.
    SaveBenchSetup(s, got);
    s.sync();
    QSettings again(path, QSettings::IniFormat);
    EXPECT_EQ(LoadBenchSetup(again), got);
}

INSTANTIATE_TEST_SUITE_P(
    Stored, BenchSettingsTest,
    ::testing::Values(
        StoredCase{"Empty", "", {}},
        StoredCase{"Whole",
                   "Sources=2\nSource1Name=left\nSource1Address=/dev/ttyUSB0\nSource1Protocol=BINR\n"
                   "Source1Baud=115200\nSource2Name=roof\nSource2Address=tcp://127.0.0.1:5000\n"
                   "Source2Protocol=NMEA\nSource2Baud=0\nReference=\"55.75,37.62,150\"\n"
                   "RecordDir=/tmp/tests\nTitle=roof run\n",
                   {{Source("left", "/dev/ttyUSB0", true, 115200), Source("roof", "tcp://127.0.0.1:5000", false, 0)},
                    BenchReference{55.75, 37.62, 150},
                    "/tmp/tests",
                    "roof run"}},
        StoredCase{"CountNotANumber", "Sources=two\nSource1Address=/dev/ttyUSB0\n", {}},
        StoredCase{"CountNegative", "Sources=-3\nSource1Address=/dev/ttyUSB0\n", {}},
        StoredCase{"BadFieldsGiveDefaults",
                   "Sources=1\nSource1Name=\nSource1Address=/dev/ttyUSB0\nSource1Protocol=X\nSource1Baud=12345\n",
                   {{Default("/dev/ttyUSB0", false, 4800)}, {}, {}, {}}},
        StoredCase{"NetworkSourceHasNoRate",
                   "Sources=1\nSource1Name=a\nSource1Address=udp://:5001\nSource1Baud=9600\n",
                   {{Source("a", "udp://:5001", false, 0)}, {}, {}, {}}},
        StoredCase{"UnusableAddressesDropped",
                   "Sources=3\nSource1Address=tcp://nohost\nSource2Address=\nSource3Name=ok\nSource3Address=/dev/ttyS1\n"
                   "Source3Baud=9600\n",
                   {{Source("ok", "/dev/ttyS1", false, 9600)}, {}, {}, {}}},
        StoredCase{"SameAddressOnce",
                   "Sources=2\nSource1Name=a\nSource1Address=/dev/ttyS1\nSource1Baud=9600\nSource2Name=b\n"
                   "Source2Address=/dev/ttyS1\nSource2Baud=9600\n",
                   {{Source("a", "/dev/ttyS1", false, 9600)}, {}, {}, {}}},
        StoredCase{"SameNameMadeUnique",
                   "Sources=2\nSource1Name=a\nSource1Address=/dev/ttyS1\nSource1Baud=9600\nSource2Name=a\n"
                   "Source2Address=/dev/ttyS2\nSource2Baud=9600\n",
                   {{Source("a", "/dev/ttyS1", false, 9600), Default("/dev/ttyS2", false, 9600)}, {}, {}, {}}},
        StoredCase{"AtMostEight",
                   "Sources=9\nSource1Address=/dev/a1\nSource2Address=/dev/a2\nSource3Address=/dev/a3\n"
                   "Source4Address=/dev/a4\nSource5Address=/dev/a5\nSource6Address=/dev/a6\nSource7Address=/dev/a7\n"
                   "Source8Address=/dev/a8\nSource9Address=/dev/a9\n",
                   {{Default("/dev/a1", false, 4800), Default("/dev/a2", false, 4800),
                     Default("/dev/a3", false, 4800), Default("/dev/a4", false, 4800),
                     Default("/dev/a5", false, 4800), Default("/dev/a6", false, 4800),
                     Default("/dev/a7", false, 4800), Default("/dev/a8", false, 4800)},
                    {}, {}, {}}},
        StoredCase{"ReferenceOutOfRange", "Reference=\"95,37,150\"\n", {}},
        StoredCase{"ReferenceNotNumbers", "Reference=\"55.75,east,150\"\n", {}},
        StoredCase{"ReferenceNotFinite", "Reference=\"nan,37,150\"\n", {}},
        StoredCase{"ControlCharactersInTexts", "RecordDir=\"/tmp/a\\tb\"\nTitle=\"x\\ny\"\n", {}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- the panel

class BenchPanel : public MainWindowTest {
protected:
    TBenchForm* OpenFromMenu()
    {
        for (QAction* a : form->TitleMenu()->actions())
            if (a->text() == "Bench...")
                a->trigger();
        return form->Bench().BenchWindow();
    }
};

TEST_F(BenchPanel, MenuOpensTheWindowAndCommandLineSourcesAreRemembered)
{
    Show();
    TBenchForm* bench = OpenFromMenu();
    ASSERT_NE(bench, nullptr);
    EXPECT_TRUE(bench->isVisible());
    EXPECT_EQ(bench->windowTitle(), "BENCH");

    const QStringList problems = form->Bench().AddSources(
        {"/dev/pts/91=left", "tcp://127.0.0.1:5000", "tcp://nohost", "/dev/pts/91", "/dev/pts/92=left", "/dev/pts/93="},
        false, 9600);
    EXPECT_EQ(problems.size(), 4) << problems.join("\n").toStdString();
    const std::vector<BenchSourceSetup> want = {Source("left", "/dev/pts/91", false, 9600),
                                               Default("tcp://127.0.0.1:5000", false, 0)};
    EXPECT_EQ(bench->Sources(), want);
    EXPECT_EQ(bench->SourceList->topLevelItemCount(), 2);

    // Remembered: a new panel's bench starts with them.
    form.reset(CreateProgramWindows());
    Show();
    TBenchForm* again = OpenFromMenu();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->Sources(), want);
}

TEST_F(BenchPanel, NothingStartsWithoutSourcesAndNoReportWithoutARecording)
{
    Show();
    TBenchForm* bench = form->Bench().ShowBench();
    EXPECT_FALSE(form->Bench().Start());
    EXPECT_EQ(bench->StatusLabel->text(), "Add a source first");
    form->Bench().Report();
    EXPECT_TRUE(bench->StatusLabel->text().startsWith("Nothing recorded yet")) << bench->StatusLabel->text().toStdString();
}

// BENCH (900 x 640), SIGNALS and CONSOLE open beside the panel, and inside
// the screen however little room is left there.
TEST_F(BenchPanel, WindowsOpenInsideTheScreen)
{
    Show();
    const QRect screen = form->screen()->availableGeometry();
    form->move(screen.right() - form->width(), screen.top() + 10);
    for (QWidget* w : std::initializer_list<QWidget*>{form->Bench().ShowBench(), form->ShowSignals(), form->ShowConsole()}) {
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(screen.contains(w->frameGeometry())) << w->windowTitle().toStdString();
    }
}

// ---------------------------------------------------------------- following

std::string Gga(const char* lat)
{
    return NmeaSentence(std::string("GPGGA,101010.00,") + lat + ",N,03737.0000,E,1,08,0.9,150.0,M,14.0,M,,");
}

TEST_F(BenchPanel, ClassicViewsFollowAnotherIntakeAndComeBack)
{
    Show();
    form->NMEARadioButton->setChecked(true);
    form->PositionCheckBox->setChecked(true);
    SourceFeed& feed = TMainFormTestAccess::Feed(*form);
    auto panelGga = [&](const char* lat) {
        const std::string s = Gga(lat);
        form->ReceiveBytes(reinterpret_cast<const uint8_t*>(s.data()), int(s.size()));
    };

    Intake receiver;
    feed.Follow(&receiver);
    FeedIntake(receiver, Gga("5545.0000"));
    const QString followed = PositionForm->LatLabel->text();
    EXPECT_TRUE(followed.startsWith("55")) << followed.toStdString();

    // The panel's own source no longer reaches the views, and a followed
    // receiver's faults are not the panel's to count.
    panelGga("4010.0000");
    EXPECT_EQ(PositionForm->LatLabel->text(), followed);
    FeedIntake(receiver, "$GPGGA,broken*00\r\n");
    EXPECT_EQ(TMainFormTestAccess::ErrorCount(*form), 0);

    feed.Follow(nullptr);
    FeedIntake(receiver, Gga("5500.0000"));
    EXPECT_EQ(PositionForm->LatLabel->text(), followed) << "no longer heard";
    panelGga("4010.0000");
    EXPECT_NE(PositionForm->LatLabel->text(), followed) << "the panel's source drives the views again";
}

} // namespace
