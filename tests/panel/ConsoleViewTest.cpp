// What the CONSOLE shows of a played recording: binary noise as undecoded
// bytes in one type row counted as errors, rows at the recording's time,
// the Message column wide enough for a whole sentence, and the sentence
// selected read field by field.
#include "MainfileSupport.h"

#include "Console.h"
#include "ConsoleModel.h"
#include "Controls.h"
#include "TestSupport.h"

#include <QDateTime>
#include <QHeaderView>
#include <QTableView>
#include <QTableWidget>
#include <QTest>

TEST_F(MainWindowTest, TheConsoleShowsAPlayedRecordingAsItWas)
{
    Show();
    TConsoleForm* console = form->ShowConsole();
    ASSERT_NE(console, nullptr);
    console->resize(700, 400);
    // Noise with a "$" in it between the sentences of a recording of 2018.
    const std::string gsa = NmeaSentence("GPGSA,A,3,04,05,09,12,,,,,,,,,2.5,1.3,2.1");
    const std::string stream = NmeaSentence("GPRMC,101500.00,A,5545.1234,N,03737.1234,E,0.0,0.0,180918,,,A")
                               + NmeaSentence("GPGGA,101500.00,5545.1234,N,03737.1234,E,1,08,1.0,150.0,M,14.0,M,,")
                               + std::string("\x8f\xa3$\x11\x90\xfe\n\xff\x01\x02\x7f", 12) + gsa;
    ASSERT_TRUE(WriteBytes(PathOf("noisy.nme"), std::vector<uint8_t>(stream.begin(), stream.end())));
    form->TakeFileName(PathOf("noisy.nme"));
    form->PlayButtonClick(form->PlayButton);
    ASSERT_TRUE(WaitStopped(20000));
    console->Refresh();

    ConsoleModel& m = *console->Model();
    QStringList types;
    for (int row = 0; row < m.rowCount(); ++row)
        types << m.CellText(row, ConsoleModel::kType);
    // The bytes before the "$", the "sentence" it starts, the bytes after.
    EXPECT_EQ(types, (QStringList {"RMC", "GGA", "undecoded", "undecoded", "undecoded", "GSA"}));
    QStringList tableTypes;
    for (int row = 0; row < console->TypesTable->rowCount(); ++row)
        tableTypes << console->TypesTable->item(row, 0)->text();
    EXPECT_EQ(tableTypes, (QStringList {"RMC", "GGA", "undecoded", "GSA"})) << "one row for the noise";
    const int noise = int(tableTypes.indexOf("undecoded"));
    ASSERT_GE(noise, 0);
    EXPECT_EQ(console->TypesTable->item(noise, 3)->text(), "3") << "noise counts as errors";

    // The recording's time (10:15:00 UTC on 18.09.2018, shown local), not the wall clock's.
    const QString expected = ReceiveTimeText(QDateTime(QDate(2018, 9, 18), QTime(10, 15), Qt::UTC).toMSecsSinceEpoch());
    EXPECT_EQ(m.CellText(5, ConsoleModel::kTime), expected);

    // A short sentence is shown whole.
    QTableView* view = console->MessagesView;
    const QString text = m.CellText(5, ConsoleModel::kMessage);
    EXPECT_EQ(text.toStdString() + "\r\n", gsa);
    EXPECT_GE(view->columnWidth(ConsoleModel::kMessage), QFontMetrics(view->font()).horizontalAdvance(text) + 6);

    // A click on the GGA row reads it field by field.
    const QRect cell = view->visualRect(m.index(1, ConsoleModel::kType));
    ASSERT_TRUE(cell.isValid());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    QTableWidget* fields = console->FieldsTable;
    ASSERT_GE(fields->rowCount(), 10);
    EXPECT_EQ(fields->item(2, 0)->text(), "UTC time");
    EXPECT_EQ(fields->item(2, 1)->text(), "101500.00");
    EXPECT_EQ(fields->item(2, 2)->text(), "hhmmss.ss");
    EXPECT_EQ(fields->item(9, 0)->text(), "HDOP");
    EXPECT_EQ(fields->item(9, 1)->text(), "1.0");
}
