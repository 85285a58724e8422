// Playback through the intake: block sizes, progress texts, pause, stop,
// and a Play pressed while the previous playback thread is still ending.
#include "MainfileSupport.h"

#include "Controls.h"

#include <QLabel>
#include <QPointer>

namespace {

struct ProgressCase {
    size_t size;
    bool fast;
    // Expected texts after each block: a run-length list of (text, count).
    std::vector<std::pair<QString, int>> runs;
};

std::vector<QString> Expand(const std::vector<std::pair<QString, int>>& runs)
{
    std::vector<QString> all;
    for (const auto& [text, count] : runs)
        all.insert(all.end(), size_t(count), text);
    return all;
}

QString Pct(int n) { return QString("File reading... %1%").arg(n); }

class PlaybackProgress : public MainWindowTest, public ::testing::WithParamInterface<ProgressCase> {};

} // namespace

TEST_P(PlaybackProgress, ShowsEveryBlocksPercentageAndStopsAtTheEnd)
{
    const ProgressCase& c = GetParam();
    ASSERT_TRUE(WriteBytes(PathOf("play.nme"), Filler(c.size)));
    Show();
    form->FileLabel->setText("play.nme");
    if (c.fast)
        form->RewindButtonClick(nullptr);
    else
        form->PlayButtonClick(nullptr);
    ASSERT_EQ(form->Mode(), c.fast ? amFastPlay : amPlay);
    EXPECT_EQ(form->InfoLabel->text(), Pct(0));

    std::vector<QString> shown;
    ASSERT_NE(form->ReadCycle(), nullptr);
    QObject::connect(form->ReadCycle(), &TReadCycle::ProgressShown, [&](const QString& t) { shown.push_back(t); });
    ASSERT_TRUE(WaitStopped());

    const std::vector<QString> expected = Expand(c.runs);
    ASSERT_EQ(shown.size(), expected.size());
    EXPECT_TRUE(shown == expected);
    EXPECT_EQ(form->ReceivedTotal(), int64_t(c.size));
    EXPECT_EQ(form->InfoLabel->text(), "");
    EXPECT_EQ(form->ActionLabel->text(), "STOP");
    EXPECT_TRUE(form->PlayButton->isEnabled());
    EXPECT_FALSE(form->StopButton->isEnabled());
}

// Normal playback reads one byte per block, fast playback 2048; the read
// that comes back short (0 bytes at the end) is delivered too.
INSTANTIATE_TEST_SUITE_P(
    Sizes, PlaybackProgress,
    ::testing::Values(ProgressCase{0, true, {{Pct(100), 1}}},
                      ProgressCase{0, false, {{Pct(100), 1}}},
                      ProgressCase{1024, true, {{Pct(100), 1}}},
                      ProgressCase{1024, false, {{Pct(100), 1025}}},
                      ProgressCase{1025, false, {{Pct(0), 1023}, {Pct(100), 3}}},
                      ProgressCase{1025, true, {{Pct(100), 1}}},
                      ProgressCase{2048, true, {{Pct(100), 2}}},
                      ProgressCase{10240, true, {{Pct(20), 1}, {Pct(40), 1}, {Pct(60), 1}, {Pct(80), 1}, {Pct(100), 2}}}));

TEST(PlaybackText, PercentageCountsWholeKiB)
{
    EXPECT_EQ(ProgressText(0, 0), Pct(100));
    EXPECT_EQ(ProgressText(0, 1024), Pct(100));
    EXPECT_EQ(ProgressText(1023, 1025), Pct(0));
    EXPECT_EQ(ProgressText(2047, 3072), Pct(33));
    // Past 2 GiB the count must not wrap.
    EXPECT_EQ(ProgressText(int64_t(3) << 30, int64_t(4) << 30), Pct(75));
}

TEST_F(MainWindowTest, MissingFileShowsOpenErrorAndStaysStopped)
{
    Show();
    form->FileLabel->setText("absent.nme");
    form->RewindButtonClick(nullptr);
    EXPECT_EQ(form->Mode(), amStop);
    EXPECT_EQ(form->InfoLabel->text(), "File open error");
    EXPECT_EQ(form->LiveCycles(), 0);
    // A folder or a device never ends: refused the same way.
    QDir(dir.path()).mkdir("folder.nme");
    form->FileLabel->setText("folder.nme");
    form->PlayButtonClick(nullptr);
    EXPECT_EQ(form->Mode(), amStop);
    EXPECT_EQ(form->InfoLabel->text(), "File open error");
}

TEST_F(MainWindowTest, PauseHoldsTheFileAndStopEndsIt)
{
    ASSERT_TRUE(WriteBytes(PathOf("long.nme"), Filler(200000)));
    Show();
    form->FileLabel->setText("long.nme");
    form->PlayButtonClick(form->PlayButton);
    ASSERT_TRUE(WaitFor([&] { return form->ReceivedTotal() > 100; }));
    form->PauseButtonClick(form->PauseButton);
    EXPECT_EQ(form->ActionLabel->text(), "PAUSE");
    RunEvents(50);   // the block already handed over is still processed
    const int64_t held = form->ReceivedTotal();
    RunEvents(200);
    EXPECT_EQ(form->ReceivedTotal(), held) << "no block while paused";
    EXPECT_TRUE(form->PlayButton->isEnabled());
    EXPECT_TRUE(form->RewindButton->isEnabled());
    EXPECT_FALSE(form->PauseButton->isEnabled());

    form->StopButtonClick(form->StopButton);
    EXPECT_EQ(form->Mode(), amStop);
    EXPECT_EQ(form->InfoLabel->text(), "");
    ASSERT_TRUE(WaitStopped(3000)) << "a paused thread must end on Stop";
    EXPECT_LT(form->ReceivedTotal(), 200000);
}

TEST_F(MainWindowTest, PauseThenFastPlayResumesAtFastPace)
{
    ASSERT_TRUE(WriteBytes(PathOf("long.nme"), Filler(300000)));
    Show();
    form->FileLabel->setText("long.nme");
    form->PlayButtonClick(nullptr);
    ASSERT_TRUE(WaitFor([&] { return form->ReceivedTotal() > 10; }));
    form->PauseButtonClick(nullptr);
    RunEvents(20);
    form->RewindButtonClick(nullptr);
    EXPECT_EQ(form->ActionLabel->text(), "  FF");
    ASSERT_TRUE(WaitStopped());
    EXPECT_EQ(form->ReceivedTotal(), 300000);
}

TEST_F(MainWindowTest, StopThenImmediatePlayKeepsTheNewPlaybackWhole)
{
    ASSERT_TRUE(WriteBytes(PathOf("old.nme"), Filler(500000)));
    ASSERT_TRUE(WriteBytes(PathOf("new.nme"), Filler(20000)));
    Show();
    form->FileLabel->setText("old.nme");
    form->PlayButtonClick(nullptr);
    ASSERT_TRUE(WaitFor([&] { return form->ReceivedTotal() > 1000; }));
    QPointer<TReadCycle> old = form->ReadCycle();

    form->StopButtonClick(form->StopButton);
    form->FileLabel->setText("new.nme");
    form->PlayButtonClick(form->PlayButton);
    ASSERT_EQ(form->Mode(), amPlay);
    ASSERT_NE(form->ReadCycle(), old.data());
    EXPECT_EQ(form->LiveCycles(), 2) << "the old thread is still ending";

    // The old thread ends on its own, without touching the new playback.
    ASSERT_TRUE(WaitFor([&] { return old.isNull(); }, 3000));
    EXPECT_EQ(form->Mode(), amPlay);
    EXPECT_EQ(form->LiveCycles(), 1);
    EXPECT_TRUE(form->InfoLabel->text().startsWith("File reading... "));

    ASSERT_TRUE(WaitStopped());
    EXPECT_EQ(form->ReceivedTotal(), 20000) << "not one byte of the old file counted";
}

TEST_F(MainWindowTest, FastAndNormalPaceSwitchKeepsTheCount)
{
    ASSERT_TRUE(WriteBytes(PathOf("long.nme"), Filler(400000)));
    Show();
    form->FileLabel->setText("long.nme");
    form->RewindButtonClick(nullptr);
    ASSERT_TRUE(WaitFor([&] { return form->ReceivedTotal() >= 4096; }));
    form->PlayButtonClick(form->PlayButton);
    EXPECT_EQ(form->Mode(), amPlay);
    EXPECT_FALSE(form->ReadCycle()->NormalSpeed.load() == false);
    RunEvents(30);
    form->RewindButtonClick(form->RewindButton);
    EXPECT_EQ(form->Mode(), amFastPlay);
    ASSERT_TRUE(WaitStopped());
    EXPECT_EQ(form->ReceivedTotal(), 400000);
    EXPECT_EQ(form->ReceiveBytesLabel->text(), "390 kB");
}

TEST_F(MainWindowTest, ClosingDuringPlaybackEndsTheThread)
{
    ASSERT_TRUE(WriteBytes(PathOf("long.nme"), Filler(500000)));
    Show();
    form->FileLabel->setText("long.nme");
    form->PlayButtonClick(nullptr);
    ASSERT_TRUE(WaitFor([&] { return form->ReceivedTotal() > 100; }));
    form->close();
    EXPECT_EQ(form->LiveCycles(), 0);
    form.reset();   // must not hang nor leave a running thread behind
}

TEST_F(MainWindowTest, ClosingInsideAPlaybackHandOffEndsTheThreadAfterIt)
{
    // Closing from inside a block's hand-off: the thread waits for this very
    // call, so it can only be ended once the call has returned. Waiting for
    // it there would never end (the test would hang).
    ASSERT_TRUE(WriteBytes(PathOf("long.nme"), Filler(500000)));
    Show();
    form->FileLabel->setText("long.nme");
    form->PlayButtonClick(nullptr);
    ASSERT_NE(form->ReadCycle(), nullptr);
    int closes = 0;
    QObject::connect(form->ReadCycle(), &TReadCycle::ProgressShown, [&] {
        if (closes++ == 0)
            form->close();
    });
    ASSERT_TRUE(WaitFor([&] { return closes > 0; }));
    EXPECT_EQ(form->Mode(), amStop);
    ASSERT_TRUE(WaitFor([&] { return form->LiveCycles() == 0; }, 3000));
    EXPECT_EQ(closes, 1) << "no block after the close";
    EXPECT_LT(form->ReceivedTotal(), 500000);
    form.reset();
}

TEST_F(MainWindowTest, ClosingWhenThePlaybackEndsByItselfEndsTheThreadAfterIt)
{
    // The end of the file stops the playback from inside the thread's last
    // hand-off; a window closed right there must not wait for that thread.
    ASSERT_TRUE(WriteBytes(PathOf("short.nme"), Filler(3000)));
    Show();
    form->FileLabel->setText("short.nme");
    bool closed = false;
    QObject::connect(form.get(), &TMainForm::ModeChanged, [&](uint32_t mode) {
        if (mode == amStop && !closed) {
            closed = true;
            form->close();
        }
    });
    form->RewindButtonClick(nullptr);
    ASSERT_TRUE(WaitFor([&] { return closed; }));
    ASSERT_TRUE(WaitFor([&] { return form->LiveCycles() == 0; }, 3000));
    EXPECT_EQ(form->ReceivedTotal(), 3000);
}

TEST(PlaybackThread, BlocksComeWhenDueAndAStopCutsTheWaitShort)
{
    // A paced source: three blocks due at once, then one due in an hour.
    struct Paced : PlaybackSource {
        int taken = 0;
        Block Next(uint8_t* bytes, bool) override
        {
            bytes[0] = uint8_t('a' + taken);
            const bool late = ++taken > 3;
            return {1, false, late ? Clock::now() + std::chrono::hours(1) : Clock::time_point{}};
        }
    };
    std::string delivered;
    bool finished = false;
    TReadCycle cycle(std::make_unique<Paced>(),
                     {[&](const uint8_t* bytes, int length) { delivered.append(reinterpret_cast<const char*>(bytes), size_t(length)); },
                      [&] { finished = true; }},
                     true);
    cycle.start();
    ASSERT_TRUE(WaitFor([&] { return delivered.size() == 3; }));
    cycle.RequestStop();
    ASSERT_TRUE(WaitFor([&] { return cycle.isFinished(); }, 3000)) << "the stop must end the wait for the late block";
    EXPECT_EQ(delivered, "abc");
    EXPECT_FALSE(finished) << "a stopped playback does not report its end";
}
