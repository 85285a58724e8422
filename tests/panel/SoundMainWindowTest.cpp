// The main window's no-data watch sounds its warning through the tone output
// that the main window opens when created and closes when destroyed.
#include "CommPty.h"
#include "Controls.h"
#include "MainFormTestAccess.h"
#include "Mainfile.h"
#include "ToneCapture.h"

#include <QComboBox>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <vector>

TEST(SoundWithMainWindow, NoDataWatchSoundsTheWarningTone)
{
    TestPty pty;
    ASSERT_TRUE(pty.Ok());
    QTemporaryDir recordDir;
    const QString previousDir = QDir::currentPath();
    QDir::setCurrent(recordDir.path());
    ToneCapture capture(kFileDevice);
    {
        TMainForm main;
        main.show();
        main.PortComboBox->addItem(pty.path);
        main.PortComboBox->setCurrentIndex(main.PortComboBox->count() - 1);
        main.SoundButtonClick(main.SoundButton);
        ASSERT_TRUE(TMainFormTestAccess::SoundEnabled(main));
        main.RecordButtonClick(main.RecordButton);
        ASSERT_EQ(main.Mode(), amRecord);
        // Two quiet seconds are not yet a warning; the third is.
        main.WatchTimerTimer();
        main.WatchTimerTimer();
        main.WatchTimerTimer();
        main.StopButtonClick(main.StopButton);
    }
    QDir::setCurrent(previousDir);
    const std::vector<int16_t> samples = capture.Samples();
    std::vector<int16_t> expected(800);
    FillSquareWave(expected.data(), 800, 4);
    EXPECT_EQ(samples, expected);
}
