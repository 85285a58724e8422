// A BINR receiver on the bench is told what to send with the classic
// window's start sequence, paced by a timer: another source's blocks keep
// arriving meanwhile, and the commands stay out of the recording. An NMEA
// receiver is told once to start cold.
#include "BenchRecorder.h"

#include "CommPty.h"
#include "NmeaChecksum.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

std::vector<uint8_t> Frame(uint8_t id, std::vector<uint8_t> payload = {})
{
    std::vector<uint8_t> f = {0x10, id};
    for (const uint8_t b : payload) {
        f.push_back(b);
        if (b == 0x10)
            f.push_back(b);
    }
    f.push_back(0x10);
    f.push_back(0x03);
    return f;
}

// What a classic BINR recording sends with the 0x02 box checked, its default.
std::vector<uint8_t> ClassicStart()
{
    std::vector<uint8_t> all;
    auto add = [&](const std::vector<uint8_t>& f) { all.insert(all.end(), f.begin(), f.end()); };
    add(Frame(0x0E));
    add(Frame(0x1B));
    for (const uint8_t message : {1, 4, 2, 5, 3, 6})
        add(Frame(0xA0, {0x03, message}));
    add(Frame(0x0C, {0x01}));
    return all;
}

void Drain(const TestPty& pty, std::vector<uint8_t>* got)
{
    uint8_t buf[256];
    ssize_t n;
    while ((n = read(pty.master, buf, sizeof buf)) > 0)
        got->insert(got->end(), buf, buf + n);
}

TEST(BenchRecorderCommands, BinrSourceGetsTheClassicSequenceWhileOthersKeepArriving)
{
    QTemporaryDir dir;
    TestPty binr, nmea;
    ASSERT_TRUE(binr.Ok() && nmea.Ok());
    BenchRecorder bench;
    bench.SetSources({{"b", binr.path.toStdString(), true, 115200}, {"n", nmea.path.toStdString(), false, 9600}});
    ASSERT_TRUE(bench.Start(dir.path(), "cmd"));

    const std::vector<uint8_t> expected = ClassicStart();
    std::vector<uint8_t> got;
    const std::vector<uint8_t> block(200, 'n');
    int64_t sent = 0;
    int duringSequence = 0;
    for (int i = 0; i < 200 && got.size() < expected.size(); ++i) {
        ASSERT_TRUE(nmea.Send(block));
        sent += int64_t(block.size());
        ASSERT_TRUE(WaitFor([&] { return bench.Receivers()[1]->Bytes() == sent; }));
        Drain(binr, &got);
        if (got.size() < expected.size())
            ++duringSequence;
        RunEvents(20);
    }
    EXPECT_EQ(got, expected);
    // The sequence spans seven 200 ms gaps; a sleeping sender would have
    // sent it all before the first block came through.
    EXPECT_GE(duringSequence, 3);

    // What the receiver sends is recorded; what it was told is not.
    const std::vector<uint8_t> answer = Frame(0x70, {'K', 'S', 'I', 'M'});
    ASSERT_TRUE(binr.Send(answer));
    ASSERT_TRUE(WaitFor([&] { return bench.Receivers()[0]->Bytes() == int64_t(answer.size()); }));
    const QString file = bench.RecordFileName(0);
    bench.Stop();
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray(reinterpret_cast<const char*>(answer.data()), qsizetype(answer.size())));
    // An NMEA source is told to start cold, once.
    const std::string cold = NmeaSentence("PVKTC,COLD");
    const std::vector<uint8_t> told = nmea.Receive(cold.size());
    EXPECT_EQ(std::string(told.begin(), told.end()), cold);
    EXPECT_TRUE(nmea.Receive(1, 50).empty()) << "and nothing more";
}

} // namespace
