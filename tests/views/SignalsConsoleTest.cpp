// The SIGNALS and CONSOLE windows offscreen: bars drawn from a multi-GNSS
// capture and from BINR (values read by hand from the streams), and the
// console's filter, search, pause, hex and save over a log it is handed.
#include "BinrDecoder.h"
#include "BinrLayouts.h"
#include "Console.h"
#include "ConsoleModel.h"
#include "GnssEpoch.h"
#include "MessageLog.h"
#include "NmeaAssembler.h"
#include "Signals.h"
#include "TestSupport.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QFile>
#include <QImage>
#include <QPushButton>
#include <QLineEdit>
#include <QTableWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Where a bar's fill or emptiness shows: its middle, just above its foot.
QRgb InsideBar(const QImage& shot, const QRect& column)
{
    return shot.pixel(column.center().x(), column.bottom() - 3);
}

QRgb OutlineOfBar(const QImage& shot, const QRect& column)
{
    return shot.pixel(column.left() + 1, column.bottom() - 3);
}

int BarOf(const TSignalsForm& form, const std::string& name)
{
    for (int i = 0; i < form.Bars().count; ++i)
        if (SignalBarName(form.Bars().bar[i].id) == name)
            return i;
    return -1;
}

struct BarCase {
    const char* name;
    int cn0;       // -1: none
    bool used;
    QRgb inside;   // the fill, or white for an outlined or absent bar
};

void ExpectBars(TSignalsForm& form, const std::vector<BarCase>& cases)
{
    const QImage shot = form.grab().toImage();
    for (const BarCase& c : cases) {
        const int i = BarOf(form, c.name);
        ASSERT_GE(i, 0) << c.name;
        const SignalBar& b = form.Bars().bar[i];
        EXPECT_EQ(b.cn0DbHz, c.cn0) << c.name;
        EXPECT_EQ(b.used, c.used) << c.name;
        EXPECT_EQ(QColor(InsideBar(shot, form.BarColumn(i))), QColor(c.inside)) << c.name;
    }
}

const QRgb kWhite = qRgb(255, 255, 255);

TEST(SignalsForm, BarsOfAMultiGnssCaptureAtItsFirstEpoch)
{
    REQUIRE_SHARED_NMEA();
    const std::vector<uint8_t> bytes = ReadBinaryFile(SharedNmeaDir() + "/quectel-l76k-dual.log");
    NmeaAssembler nmea;
    GnssEpoch gnss;
    gnss.SetEnabled(true);
    TSignalsForm form;
    form.resize(900, 260);
    EXPECT_EQ(form.Bars().count, 0);   // "no satellites in view"
    for (size_t at = 0; at < bytes.size() && form.Bars().count == 0;) {
        int used = 0;
        const int result = nmea.PushBlock(reinterpret_cast<const char*>(bytes.data()) + at, int(bytes.size() - at), used);
        gnss.Feed(result, nmea);
        form.OnNmeaResult(result, nmea, gnss);
        at += size_t(std::max(used, 1));
    }
    // The capture's first GSV cycles and GSAs: GPS 01 (31 dB-Hz) and BeiDou
    // 28 (32) in the solution, GLONASS 66 (slot 2, 36) heard but not used,
    // GPS 12 and GLONASS 74 (slot 10) in view without a level.
    ExpectBars(form, {{"G01", 31, true, TSignalsForm::SystemColour(Gnss::Gps).rgb()},
                      {"G12", -1, false, kWhite},
                      {"R02", 36, false, kWhite},
                      {"R10", -1, false, kWhite},
                      {"R11", 35, true, TSignalsForm::SystemColour(Gnss::Glonass).rgb()},
                      {"C28", 32, true, TSignalsForm::SystemColour(Gnss::BeiDou).rgb()}});
    EXPECT_EQ(form.Bars().count, 11 + 9 + 4);
    // Grouped by system in order, then by number.
    EXPECT_EQ(SignalBarName(form.Bars().bar[0].id), "G01");
    EXPECT_EQ(SignalBarName(form.Bars().bar[form.Bars().count - 1].id), "C38");
    EXPECT_TRUE(form.BarToolTip(BarOf(form, "G01")).contains("31 dB-Hz, elevation 19°, azimuth 45°, used"));
}

TEST(SignalsForm, BinrBarsAreRedWhereTheReceiverMarksThemBad)
{
    const std::vector<uint8_t> bytes = ReadBinaryFile(SourceDir() + "/samples/demo-binr.dat");
    ASSERT_FALSE(bytes.empty());
    BinrDecoder binr;
    TSignalsForm form;
    form.resize(700, 260);
    int epochs = 0;
    for (size_t at = 0; at < bytes.size() && epochs < 1;) {
        int used = 0;
        const int result = binr.PushBlock(bytes.data() + at, int(bytes.size() - at), used);
        form.OnBinrResult(result, binr, false);
        epochs += result == kMsgSatInView ? 1 : 0;
        at += size_t(std::max(used, 1));
    }
    // The demo's first 0x52 and the 0x93 before it: GPS 13 marked bad,
    // GPS 02 and GLONASS 01 used, GLONASS 18 heard at 0.
    ExpectBars(form, {{"G02", 46, true, TSignalsForm::SystemColour(Gnss::Gps).rgb()},
                      {"G13", 33, false, kWhite},
                      {"R01", 46, true, TSignalsForm::SystemColour(Gnss::Glonass).rgb()}});
    const int bad = BarOf(form, "G13");
    EXPECT_TRUE(form.Bars().bar[bad].bad);
    const QImage shot = form.grab().toImage();
    EXPECT_EQ(QColor(OutlineOfBar(shot, form.BarColumn(bad))), QColor(220, 0, 0));
    form.Reset();
    EXPECT_EQ(form.Bars().count, 0);
}

// ---------------------------------------------------------------- console

class ConsoleFormTest : public ::testing::Test {
protected:
    void Add(const std::string& bytes, int64_t ms = 1000, MessageProtocol protocol = MessageProtocol::Nmea)
    {
        log.Append({ms, 0, protocol, reinterpret_cast<const uint8_t*>(bytes.data()), int(bytes.size()), false});
    }
    std::vector<std::string> Types()
    {
        std::vector<std::string> types;
        for (int row = 0; row < form.Model()->rowCount(); ++row)
            types.push_back(form.Model()->CellText(row, ConsoleModel::kType).toStdString());
        return types;
    }
    void SwitchType(int row, bool on)
    {
        form.TypesTable->item(row, 0)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }

    MessageLog log;
    TConsoleForm form;
};

TEST_F(ConsoleFormTest, FilterSearchPauseHexAndSave)
{
    const std::string gga = NmeaSentence("GPGGA,071551.000,4739.71754,N");
    const std::string rmc = NmeaSentence("GNRMC,071551.000,A");
    std::string badGsv = NmeaSentence("GPGSV,1,1,01,05,40,100,44");
    badGsv[badGsv.size() - 3] = badGsv[badGsv.size() - 3] == '0' ? '1' : '0';
    const std::string nav("\x10\x88\x01\x02\x10\x03", 6);
    form.SetLog(&log);
    Add(gga);
    Add(rmc);
    Add(badGsv);
    Add(nav, 1000, MessageProtocol::Binr);
    Add(gga);
    form.Refresh();
    // The types table is built from what arrived, each switched on.
    ASSERT_EQ(form.TypesTable->rowCount(), 4);
    EXPECT_EQ(form.TypesTable->item(0, 0)->text(), "GGA");
    EXPECT_EQ(form.TypesTable->item(0, 1)->text(), "2");
    EXPECT_EQ(form.TypesTable->item(2, 3)->text(), "1");   // GSV's bad checksum
    EXPECT_EQ(Types(), (std::vector<std::string>{"GGA", "RMC", "GSV", "0x88", "GGA"}));
    EXPECT_EQ(form.Model()->CellText(2, ConsoleModel::kChecksum), "bad");
    EXPECT_EQ(form.Model()->CellText(3, ConsoleModel::kMessage).toStdString().rfind("0x88", 0), 0u);

    SwitchType(0, false);   // GGA off
    EXPECT_EQ(Types(), (std::vector<std::string>{"RMC", "GSV", "0x88"}));
    form.SearchEdit->setText("gsv");
    EXPECT_EQ(Types(), (std::vector<std::string>{"GSV"}));
    form.SearchEdit->clear();
    SwitchType(0, true);
    EXPECT_EQ(Types().size(), 5u);

    // Paused, the rows stay readable while the ring overwrites them all.
    form.PauseButton->setChecked(true);
    const QString first = form.Model()->LineOf(0);
    for (int i = 0; i < kMessageLogCapacity + 10; ++i)
        Add(rmc, 2000);
    form.Refresh();
    EXPECT_EQ(Types().size(), 5u);
    EXPECT_EQ(form.Model()->LineOf(0), first);
    form.PauseButton->setChecked(false);
    EXPECT_EQ(form.Model()->rowCount(), kMessageLogCapacity);
    EXPECT_EQ(Types().front(), "RMC");

    // Hex on demand; saving writes the rows shown, one line each as copied.
    form.HexCheckBox->setChecked(true);
    EXPECT_EQ(form.Model()->CellText(0, ConsoleModel::kMessage).left(8), "24 47 4E");
    SwitchType(1, false);   // RMC off: what is left of the others has gone from the ring
    EXPECT_EQ(form.Model()->rowCount(), 0);
    SwitchType(1, true);
    form.SearchEdit->setText("nothing like this");
    Add(gga, 3000);
    form.SearchEdit->setText("47 50 47 47 41");   // "GPGGA" in hex
    QTemporaryDir dir;
    const QString path = dir.path() + "/shown.txt";
    ASSERT_TRUE(form.SaveShown(path));
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = saved.readAll().split('\n');
    ASSERT_EQ(lines.size(), 2);   // one line and the end
    const QList<QByteArray> cells = lines[0].split('\t');
    ASSERT_EQ(cells.size(), 6);
    EXPECT_EQ(cells[2], "GGA");
    EXPECT_EQ(cells[3], QByteArray::number(qsizetype(gga.size())));
    EXPECT_EQ(cells[4], "ok");
    EXPECT_TRUE(cells[5].startsWith("24 47 50 47 47 41"));
}

// Unfiltered, the rows are a run of sequence numbers kept without looking
// at a message; a search that every row passes takes them one by one. Both
// must give the same rows, and row signals a view can follow, at every step
// of a ring that fills, wraps, and is overtaken between two draws.
TEST(ConsoleModelTest, UnfilteredRunMatchesTheRowsTakenOneByOne)
{
    MessageLog log;
    ConsoleModel run;
    ConsoleModel list;
    run.SetLog(&log);
    list.SetLog(&log);
    list.SetSearch(QStringLiteral("$"));
    QAbstractItemModelTester tester(&run, QAbstractItemModelTester::FailureReportingMode::Fatal);
    const std::string sentence = NmeaSentence("GPGGA,071551.000,4739.71754,N");
    uint64_t appended = 0;
    for (const int step : {0, 1, 3, kMessageLogCapacity - 4, 1, kMessageLogCapacity / 2, kMessageLogCapacity + 1, 5}) {
        for (int i = 0; i < step; ++i)
            log.Append({1000, 0, MessageProtocol::Nmea, reinterpret_cast<const uint8_t*>(sentence.data()),
                        int(sentence.size()), false});
        appended += uint64_t(step);
        EXPECT_EQ(run.Sync(), step > 0) << step;
        list.Sync();
        const int held = int(std::min<uint64_t>(appended, kMessageLogCapacity));
        ASSERT_EQ(run.rowCount(), held) << step;
        ASSERT_EQ(list.rowCount(), held) << step;
        for (int row = 0; row < held; ++row) {
            ASSERT_EQ(run.Entry(row)->sequence, appended - uint64_t(held) + uint64_t(row)) << step << " row " << row;
            ASSERT_EQ(list.Entry(row)->sequence, run.Entry(row)->sequence) << step << " row " << row;
        }
    }
    log.Clear();
    EXPECT_TRUE(run.Sync());
    EXPECT_EQ(run.rowCount(), 0);
}

} // namespace
