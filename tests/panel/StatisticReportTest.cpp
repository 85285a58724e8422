// "Save report..." in the STATISTIC window: the page counts what the window
// counts since its last reset, fed by the program's own intake; the save
// dialog, the browser and the warning are seams the test fills in.
#include "MainfileSupport.h"
#include "ReceiverReport.h"
#include "RecordingIdentity.h"
#include "Statistic.h"
#include "TestSupport.h"

#include <QAction>
#include <QCheckBox>
#include <QRadioButton>

namespace {

struct Seen {
    QStringList opened;
    QStringList warnings;
};

class StatisticReportTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        Show();
        form->StatisticCheckBox->setChecked(true);
        ASSERT_NE(StatisticForm, nullptr);
        StatisticForm->reportHooks.askFileName = [this](QWidget*) { return answer; };
        StatisticForm->reportHooks.open = [this](const QUrl& url) {
            seen.opened << url.toLocalFile();
            return true;
        };
        StatisticForm->reportHooks.warn = [this](QWidget*, const QString& text) { seen.warnings << text; };
    }
    void Play(const QString& file, bool binr)
    {
        (binr ? form->BINRRadioButton : form->NMEARadioButton)->setChecked(true);
        const QByteArray bytes = ReadAll(file);
        ASSERT_FALSE(bytes.isEmpty());
        form->FileLabel->setText(file);   // as the player names what it plays
        constexpr int kBlock = 2048;   // as fast playback hands them over
        for (int at = 0; at < bytes.size(); at += kBlock)
            form->ReceiveBytes(reinterpret_cast<const uint8_t*>(bytes.constData()) + at,
                               int(std::min<qsizetype>(kBlock, bytes.size() - at)));
    }
    // The value cell of a row of the page's table.
    static QString Cell(const QByteArray& page, const QString& label)
    {
        const QString text = QString::fromUtf8(page);
        const QString start = "<tr><td>" + label + "</td><td>";
        const qsizetype at = text.indexOf(start);
        if (at < 0)
            return QString();
        const qsizetype from = at + start.size();
        return text.mid(from, text.indexOf("</td>", from) - from);
    }

    QString answer;
    Seen seen;
};

TEST_F(StatisticReportTest, PageCountsWhatTheWindowCountsSinceItsReset)
{
    const struct {
        const char* file;
        bool binr;
    } recordings[] = {{"demo.nme", false}, {"demo-binr.dat", true}};
    for (const auto& r : recordings) {
        SCOPED_TRACE(r.file);
        StatisticForm->ResetStatistics();
        StatisticForm->HDOPEdit->setText("1.0");
        Play(QString::fromStdString(SourceDir()) + "/samples/" + r.file, r.binr);
        answer = PathOf(QString(r.file) + ".html");
        ASSERT_TRUE(StatisticForm->SaveReportAction() != nullptr);
        StatisticForm->SaveReportAction()->trigger();
        ASSERT_EQ(seen.opened.value(seen.opened.size() - 1), answer);
        const QByteArray page = ReadAll(answer);
        EXPECT_EQ(Cell(page, "Epochs"), StatisticForm->NallLabel->text());
        EXPECT_EQ(Cell(page, "Accepted fixes"), StatisticForm->NLabel->text());
        EXPECT_NE(StatisticForm->NLabel->text(), StatisticForm->NallLabel->text()) << "the limit took effect";
        EXPECT_NE(Cell(page, "CEP50, m"), "\xE2\x80\x93");
        // The page names the recording played, with its hash, not its own file.
        const QByteArray played = ReadAll(QString::fromStdString(SourceDir()) + "/samples/" + r.file);
        Sha256 sha;
        sha.Add(reinterpret_cast<const uint8_t*>(played.constData()), size_t(played.size()));
        EXPECT_TRUE(page.contains(QByteArray("/samples/") + r.file + "</td>"));
        EXPECT_TRUE(page.contains(QByteArray::fromStdString(sha.HexDigest())));
        EXPECT_FALSE(page.contains(QString(r.file).toUtf8() + ".html"));
        EXPECT_EQ(Cell(page, "HDOP limit"), "1.0");
    }

    StatisticForm->ResetStatistics();
    answer = PathOf("empty.html");
    StatisticForm->SaveReportAction()->trigger();
    const QByteArray empty = ReadAll(answer);
    EXPECT_EQ(Cell(empty, "Epochs"), "0");
    EXPECT_EQ(Cell(empty, "CEP50, m"), "\xE2\x80\x93");
    EXPECT_TRUE(seen.warnings.isEmpty());
}

TEST_F(StatisticReportTest, CancelWritesNothingAndAFailureIsShown)
{
    const int opened = int(seen.opened.size());
    answer.clear();
    EXPECT_FALSE(StatisticForm->SaveReport());
    answer = PathOf("no/such/folder/r.html");
    EXPECT_FALSE(StatisticForm->SaveReport());
    EXPECT_EQ(int(seen.opened.size()), opened);
    ASSERT_EQ(seen.warnings.size(), 1);
    EXPECT_TRUE(seen.warnings[0].contains("no/such/folder/r.html"));
}

} // namespace
