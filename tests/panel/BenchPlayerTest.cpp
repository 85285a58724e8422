// The PLAYER on a test folder named on the panel: it opens the folder (or
// its bench.json) instead of indexing a file, its keys, slider and time box
// move the replay's time line, Play runs it to the end, and the BENCH
// window shows the replay's receivers, a column of which the classic views
// can follow. Another file named on the panel brings the single-file PLAYER back.
#include "MainfileSupport.h"

#include "Bench.h"
#include "BenchDock.h"
#include "BenchTestFolder.h"
#include "Angles.h"
#include "Player.h"
#include "Visual.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

namespace {

using namespace bench_test;

class BenchPlayer : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        Show();
        ASSERT_NE(PlayerForm, nullptr);
        folder = PathOf("2026-12-07_120000_roof");
        ASSERT_TRUE(QDir().mkpath(folder));
        WriteFolder(folder, {Generated("left", 30, 4, 0.3, 90), Generated("right", 30, 7, -1.0, 260)});
    }
    QString folder;
};

TEST_F(BenchPlayer, ControlsDriveTheReplayAndTheBenchWindowShowsIt)
{
    for (const QString& named : {folder, folder + "/bench.json"}) {
        SCOPED_TRACE(named.toStdString());
        ASSERT_TRUE(form->TakeFileName(named));
        PlayerForm->ShowBesidePanel();
        ASSERT_TRUE(PlayerForm->BenchOpen());
    }
    BenchReplay& replay = PlayerForm->Bench();
    EXPECT_EQ(replay.DurationMs(), 29'300);
    EXPECT_EQ(PlayerForm->FirstLabel->text(), "07.12.26 12:00:00");
    EXPECT_EQ(PlayerForm->LastLabel->text(), "07.12.26 12:00:29");
    TBenchForm* bench = form->Bench().BenchWindow();
    ASSERT_NE(bench, nullptr);
    EXPECT_TRUE(bench->isVisible());
    EXPECT_EQ(bench->Table->columnCount(), 2);

    const auto key = [](Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        return [k, m] { QTest::keyClick(PlayerForm, k, m); };
    };
    const struct {
        const char* what;
        std::function<void()> act;
        int64_t positionMs;
    } steps[] = {
        {"End", key(Qt::Key_End), 29'300},
        {"Home", key(Qt::Key_Home), 0},
        {"a step on", key(Qt::Key_Right), 1'000},
        {"ten seconds on", key(Qt::Key_Right, Qt::ShiftModifier), 11'000},
        {"a step back", key(Qt::Key_Left), 10'000},
        {"ten seconds back", key(Qt::Key_Left, Qt::ShiftModifier), 0},
        {"a time typed",
         [] {
             PlayerForm->TimeEdit->setText("12:00:20");
             QTest::keyClick(PlayerForm->TimeEdit, Qt::Key_Return);
         },
         20'000},
        {"the step button", [] { PlayerForm->ForwardButton->click(); }, 21'000},
        {"a click on the slider's middle", [] { emit PlayerForm->TimelineSlider->Clicked(PlayerForm->kTimelineSteps / 2); }, 14'650},
    };
    for (const auto& s : steps) {
        s.act();
        EXPECT_TRUE(WaitFor([&] { return !replay.Busy(); }, 10000));
        EXPECT_EQ(replay.PositionMs(), s.positionMs) << s.what;
        EXPECT_FALSE(replay.Playing()) << s.what;
    }
    EXPECT_EQ(PlayerForm->CurrentLabel->text(), "07.12.26 12:00:14");

    // The classic views follow a replayed receiver; VISUAL plots round the
    // test's reference meanwhile, and the user's own comes back after.
    ASSERT_NE(VisualForm, nullptr);
    const GeoPosition own = VisualForm->reference;
    form->Bench().Follow(1);
    EXPECT_EQ(form->Bench().Following(), 1);
    EXPECT_NEAR(VisualForm->reference.latRad, kRefLatDeg * kRadPerDeg, 1e-6);
    EXPECT_NEAR(VisualForm->reference.lonRad, kRefLonDeg * kRadPerDeg, 1e-6);
    EXPECT_NEAR(VisualForm->reference.altM, kRefHeightM, 0.05);
    form->Bench().Follow(-1);
    EXPECT_EQ(VisualForm->reference.latRad, own.latRad);
    form->Bench().Follow(1);

    // Report makes the report of the test being replayed.
    QString reported;
    form->Bench().writeReport = [&reported](const QString& f, QString* page, QString*) {
        reported = f;
        *page = f + "/report.html";
        return true;
    };
    form->Bench().openPage = [](const QString&) { return false; };
    form->Bench().Report();
    EXPECT_EQ(reported, folder);

    PlayerForm->SpeedComboBox->setCurrentIndex(PlayerForm->kMaxSpeedIndex);
    PlayerForm->PlayButton->click();
    EXPECT_EQ(PlayerForm->PlayButton->text(), "||");
    ASSERT_TRUE(WaitFor([&] { return replay.AtEnd(); }, 20000));
    EXPECT_EQ(PlayerForm->PlayButton->text(), ">");
    EXPECT_EQ(PlayerForm->CurrentLabel->text(), "07.12.26 12:00:29");
    std::vector<const BenchReceiver*> shown;
    for (const auto& r : replay.Receivers())
        shown.push_back(r.get());
    const std::vector<BenchRow> rows = BenchTable(shown);
    ASSERT_EQ(bench->Table->rowCount(), int(rows.size()));
    for (int row = 0; row < int(rows.size()); ++row)
        for (int c = 0; c < 2; ++c)
            EXPECT_EQ(bench->Table->item(row, c)->text().toStdString(), rows[size_t(row)].cells[size_t(c)]) << rows[size_t(row)].label;

    // A file again: the replay closes and the views follow the panel's source.
    ASSERT_TRUE(WriteBinaryFile(PathOf("one.nme").toStdString(), {'$', '\n'}));
    ASSERT_TRUE(form->TakeFileName(PathOf("one.nme")));
    PlayerForm->IndexCurrentFile();
    EXPECT_FALSE(PlayerForm->BenchOpen());
    EXPECT_EQ(form->Bench().Following(), -1);
}

TEST_F(BenchPlayer, AFolderThatCannotPlaySaysWhy)
{
    QFile::remove(folder + "/left.nme");
    QFile::remove(folder + "/right.nme");
    ASSERT_TRUE(form->TakeFileName(folder));
    EXPECT_FALSE(PlayerForm->StartPaced(0, false));
    EXPECT_FALSE(PlayerForm->BenchOpen());
    EXPECT_TRUE(form->InfoLabel->text().contains("no recording of bench.json can be played")) << form->InfoLabel->text().toStdString();
}

} // namespace
