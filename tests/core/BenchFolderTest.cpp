#include "BenchFolder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// 2026-12-07 20:45:00.123 UTC.
constexpr int64_t kStartMs = 1796676300123;

TEST(BenchFolder, Names)
{
    struct Case {
        int64_t ms;
        std::string title;
        std::string folder;
    } folders[] = {
        {kStartMs, "", "2026-12-07_204500"},
        {kStartMs, "roof test", "2026-12-07_204500_roof_test"},
        {kStartMs, "a/../b", "2026-12-07_204500_a____b"},
        {kStartMs, "Ant\xC3\xA9nne-2_x", "2026-12-07_204500_Ant_nne-2_x"},   // one '_' per UTF-8 character
        {kStartMs, std::string(60, 'x'), "2026-12-07_204500_" + std::string(40, 'x')},
        {0, "", "1970-01-01_000000"},
        {951782400000, "", "2000-02-29_000000"},
        {-1, "", "1969-12-31_235959"},
    };
    for (const Case& c : folders)
        EXPECT_EQ(BenchFolderName(c.ms, c.title), c.folder) << c.title;

    struct Named {
        std::string address;
        std::string name;
    } defaults[] = {
        {"/dev/serial/by-id/usb-Maker_GNSS_123-if00-port0", "Maker_GNSS_123"},
        {"/dev/serial/by-id/usb-FTDI_FT232R_A1B2-if00", "FTDI_FT232R_A1B2"},
        {"/dev/ttyUSB0", "ttyUSB0"},
        {"/dev/pts/7", "7"},
        {"COM3", "COM3"},
        {"tcp://gnss-roof.local:5000", "gnss-roof_local"},
        {"tcp://10.0.0.7:5000", "10_0_0_7"},
        {"tcp://[::1]:5000", "__1"},
        {"gpsd://localhost/dev/ttyACM0", "localhost"},
        {"gpsd://localhost", "localhost"},
        {"udp://:5000", "udp5000"},
        {"udp://127.0.0.1:5001", "127_0_0_1"},
        {"", "receiver"},
    };
    for (const Named& d : defaults)
        EXPECT_EQ(BenchDefaultName(d.address), d.name) << d.address;

    EXPECT_EQ(BenchSafeNames({"a", "", "a", "b c", "b_c", "", "a_2"}),
              (std::vector<std::string>{"a", "receiver2", "a_2", "b_c", "b_c_2", "receiver6", "a_2_2"}));
    EXPECT_EQ(BenchFileName({"rover", "/dev/ttyUSB0", false, 9600}), "rover.nme");
    EXPECT_EQ(BenchFileName({"base", "/dev/ttyUSB1", true, 115200}), "base.dat");
}

BenchManifest Sample()
{
    BenchManifest m;
    m.title = "roof \"A\" \\ test\n\x01\xC3\xA9";
    m.startUnixMs = kStartMs;
    m.reference = BenchReference{55.7520263, 37.6153107, 156.25};
    m.program = "Kestrova 6.4 (abc1234)";
    m.sources = {{"rover", "/dev/ttyUSB0", false, 9600}, {"base", "tcp://127.0.0.1:5000", true, 0}};
    return m;
}

TEST(BenchFolder, JsonRoundTrip)
{
    const BenchManifest m = Sample();
    const std::string text = BenchJsonText(m);
    EXPECT_NE(text.find("\"start\": \"2026-12-07T20:45:00.123Z\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"protocol\": \"binr\""), std::string::npos) << text;
    BenchManifest back;
    std::string problem;
    ASSERT_TRUE(ParseBenchJson(text, &back, &problem)) << problem << "\n" << text;
    EXPECT_EQ(back, m);

    BenchManifest noReference = m;
    noReference.reference.reset();
    noReference.title.clear();
    ASSERT_TRUE(ParseBenchJson(BenchJsonText(noReference), &back, &problem)) << problem;
    EXPECT_EQ(back, noReference);
    EXPECT_NE(BenchJsonText(noReference).find("\"reference\": null"), std::string::npos);

    // A reference that is no point is written as none rather than as bad JSON.
    BenchManifest nan = m;
    nan.reference->heightM = NAN;
    ASSERT_TRUE(ParseBenchJson(BenchJsonText(nan), &back, &problem)) << problem;
    EXPECT_FALSE(back.reference);

    // What another tool may write: escapes, other spacing, fields it adds.
    const std::string other = R"( {"sources":[{"baud":4800,"protocol":"nmea","address":"\/dev\/ttyS0","name":"r\u00e9"
        ,"colour":"red"}],"startUnixMs":0,"format":1,"reference":{"lat":-90,"lon":180.0,"height":-1e2},"extra":[1,{"a":null}],
        "title":"\ud83d\ude00\t"} )";
    ASSERT_FALSE(ParseBenchJson(other, &back, &problem));   // "ré" is not a safe name
    std::string safe = other;
    safe.replace(safe.find("r\\u00e9"), 7, "r1");
    ASSERT_TRUE(ParseBenchJson(safe, &back, &problem)) << problem;
    EXPECT_EQ(back.sources.at(0).address, "/dev/ttyS0");
    EXPECT_EQ(back.title, "\xF0\x9F\x98\x80\t");
    EXPECT_EQ(back.reference->heightM, -100);
}

TEST(BenchFolder, JsonRefused)
{
    const std::string good = BenchJsonText(Sample());
    auto with = [&](const std::string& from, const std::string& to) {
        std::string t = good;
        const size_t at = t.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? t : t.replace(at, from.size(), to);
    };
    struct Case {
        std::string text;
        std::string problem;   // a part of the reason
    } cases[] = {
        {"", "ends early"},
        {"[]", "does not hold an object"},
        {good.substr(0, good.size() / 2), "ends"},
        {good + "x", "follows the object"},
        {with("\"format\": 1", "\"format\": 2"), "newer version"},
        {with("\"format\": 1", "\"format\": 1.5"), "\"format\" is not a whole number"},
        {with("\"format\": 1,", ""), "\"format\" is missing"},
        {with("\"startUnixMs\": 1796676300123", "\"startUnixMs\": 99999999999999999999"), "\"startUnixMs\" is not a whole number"},
        {with("\"startUnixMs\": 1796676300123", "\"startUnixMs\": -5"), "\"startUnixMs\" is out of range"},
        {with("\"startUnixMs\": 1796676300123", "\"startUnixMs\": \"1\""), "not a whole number"},
        {with("\"lat\": 55.7520263", "\"lat\": 91"), "\"lat\" is out of range"},
        {with("\"lat\": 55.7520263", "\"lat\": 1e999"), "\"lat\" is out of range"},
        {with("\"lon\": 37.6153107", "\"lon\": null"), "\"lon\" is not a number"},
        {with("\"lat\": 55.7520263", "\"lat\": 055"), "',' or '}' is missing"},
        {with("\"lat\": 55.7520263", "\"lat\": 5."), "no digits after its point"},
        {with("\"lat\": 55.7520263", "\"lat\": NaN"), "not valid JSON"},
        {with("\"name\": \"rover\"", "\"name\": \"../../etc/passwd\""), "not a file name"},
        {with("\"name\": \"rover\"", "\"name\": \"\""), "not a file name"},
        {with("\"name\": \"rover\"", "\"name\": \"base\""), "\"base\" twice"},
        {with("\"protocol\": \"nmea\"", "\"protocol\": \"sirf\""), "neither \"nmea\" nor \"binr\""},
        {with("\"baud\": 9600", "\"baud\": -1"), "\"baud\" is out of range"},
        {with("\"address\": \"/dev/ttyUSB0\"", "\"address\": \"\""), "\"address\" is empty"},
        {with("\"title\": ", "\"title\": 1, \"title\": "), "given twice"},
        {with("roof", "\\u0000"), "NUL"},
        {with("roof", "\\ud800"), "surrogate"},
        {with("roof", "\\x"), "unknown escape"},
        {with("roof", "\x01"), "control character"},
        {with("\"reference\": {", "\"reference\": 3, \"r\": {"), "neither an object nor null"},
        {R"({"format":1,"startUnixMs":0,"sources":[]})", "names no source"},
        {R"({"format":1,"startUnixMs":0,"sources":{}})", "\"sources\" is missing or not a list"},
        {R"({"format":1,"startUnixMs":0,"sources":[1,2,3,4,5,6,7,8,9]})", "more than 8"},
        {R"({"format":1,"startUnixMs":0,"sources":[7]})", "source 1: is not an object"},
        {std::string(100, '[') + std::string(100, ']'), "nests too deep"},
        {"{\"a\":[1,]}", "not valid JSON"},
        {"{\"a\":[" + [] { std::string s; for (int i = 0; i < 5000; ++i) s += "0,"; return s; }() + "0]}", "too many values"},
        {std::string((1 << 20) + 1, ' '), "larger than 1 MiB"},
    };
    for (const Case& c : cases) {
        BenchManifest out = Sample();
        out.title = "untouched";
        std::string problem;
        EXPECT_FALSE(ParseBenchJson(c.text, &out, &problem)) << c.text.substr(0, 200);
        EXPECT_NE(problem.find(c.problem), std::string::npos) << problem << " / " << c.problem;
        EXPECT_EQ(out.title, "untouched");
    }
}

TEST(BenchFolder, FileOnDisk)
{
    char pattern[] = "/tmp/kestrova-bench.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    BenchManifest back;
    std::string problem;
    EXPECT_FALSE(IsBenchFolder(dir));
    EXPECT_FALSE(ReadBenchFolder(dir, &back, &problem));
    EXPECT_EQ(problem, dir + "/bench.json cannot be read: No such file or directory");
    ASSERT_TRUE(WriteBenchFolder(dir, Sample(), &problem)) << problem;
    EXPECT_TRUE(IsBenchFolder(dir));
    EXPECT_FALSE(std::filesystem::exists(dir + "/bench.json.part"));
    ASSERT_TRUE(ReadBenchFolder(dir, &back, &problem)) << problem;
    EXPECT_EQ(back, Sample());
    std::ofstream(dir + "/bench.json") << "{\"format\": 1";
    EXPECT_FALSE(ReadBenchFolder(dir, &back, &problem));
    EXPECT_EQ(problem, dir + "/bench.json is not valid JSON: the text ends early");
    EXPECT_FALSE(WriteBenchFolder(dir + "/none", Sample(), &problem));
    // A FIFO in bench.json's place would block a plain open for ever.
    std::filesystem::remove(dir + "/bench.json");
    // Refused at once, saying why, rather than the folder taken for a file.
    ASSERT_EQ(mkfifo((dir + "/bench.json").c_str(), 0600), 0);
    EXPECT_TRUE(IsBenchFolder(dir));
    EXPECT_FALSE(ReadBenchFolder(dir, &back, &problem));
    EXPECT_EQ(problem, dir + "/bench.json cannot be read: not a regular file (a FIFO)");
    std::filesystem::remove_all(dir);
}

// Every manifest the bench can write reads back as itself: it is either
// refused before the folder is written or read back equal. The generator
// leans on the edges: names alike in their first 40 characters, texts about
// 4096 bytes, NULs, references at and beyond their ranges, starts at the ends
// of the years read.
TEST(BenchFolder, EveryManifestWrittenReadsBack)
{
    char pattern[] = "/tmp/kestrova-bench.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    std::mt19937 random(27);
    auto edge = [&] { return random() % 5 == 0; };   // else an ordinary value
    auto pick = [&](const auto& list) { return list[edge() ? random() % std::size(list) : 0]; };
    auto text = [&](size_t size) {
        std::string t(size, 'x');
        for (char& c : t)
            c = char(1 + random() % 255);
        if (size && edge())
            t[random() % size] = '\0';
        return t;
    };
    const std::string a40(40, 'a');
    const std::string names[] = {"rover", "", a40, a40 + "b", a40 + "c", std::string(39, 'a') + "\xC3\xA9", "r\xC3\xA9",
                                 "../x", "a b", "a_b", "receiver1", "a_2", std::string(38, 'a') + "_2"};
    const size_t sizes[] = {30, 0, 1, 4095, 4096, 4097, 6000};
    const double lats[] = {55.75, 0, 90, -90, 90.0000001, NAN};
    const double lons[] = {37.6, 180, -180, -180.5, INFINITY};
    const double heights[] = {156.25, 0, -0.0, 1e6, -1e6, 1e6 + 0.5, -2e6, 5e-324, 1e300};
    const int64_t starts[] = {kStartMs, 0, 253402300799999, 253402300800000, -1};
    const int bauds[] = {9600, 0, 10'000'000, 10'000'001, -5};
    int written = 0, refused = 0;
    for (int round = 0; round < 400; ++round) {
        BenchManifest m;
        m.title = text(pick(sizes));
        m.program = edge() ? text(pick(sizes)) : "Kestrova 6.4 (abc1234)";
        m.startUnixMs = pick(starts);
        if (random() % 3)
            m.reference = BenchReference{pick(lats), pick(lons), pick(heights)};
        const size_t count = edge() ? random() % 10 : 1 + random() % 8;
        std::vector<std::string> given;
        for (size_t i = 0; i < count; ++i) {
            given.push_back(random() % 2 ? pick(names) : names[random() % std::size(names)]);
            m.sources.push_back({"", edge() ? text(pick(sizes)) : "/dev/ttyUSB0", bool(random() % 2), pick(bauds)});
        }
        const std::vector<std::string> safe = BenchSafeNames(given);
        for (size_t i = 0; i < count; ++i)
            m.sources[i].name = safe[i];
        std::string problem;
        std::filesystem::remove(dir + "/bench.json");
        if (!WriteBenchFolder(dir, m, &problem)) {
            ++refused;
            EXPECT_FALSE(std::filesystem::exists(dir + "/bench.json"));
            continue;
        }
        ++written;
        BenchManifest back;
        ASSERT_TRUE(ReadBenchFolder(dir, &back, &problem)) << "round " << round << ": " << problem;
        ASSERT_EQ(back, m) << "round " << round;
    }
    EXPECT_GT(written, 40);
    EXPECT_GT(refused, 40);

    // The four the headless bench wrote and then refused to read.
    std::string problem;
    BenchManifest twins = Sample();
    const std::vector<std::string> alike = BenchSafeNames({a40 + "1", a40 + "2"});
    twins.sources[0].name = alike[0];
    twins.sources[1].name = alike[1];
    EXPECT_TRUE(WriteBenchFolder(dir, twins, &problem)) << problem;
    BenchManifest back;
    EXPECT_TRUE(ReadBenchFolder(dir, &back, &problem)) << problem;
    EXPECT_EQ(alike[1], std::string(38, 'a') + "_2");
    BenchManifest longTitle = Sample(), high = Sample(), longAddress = Sample();
    longTitle.title = std::string(4097, 't');
    high.reference->heightM = 1e6 + 1;
    longAddress.sources[0].address = "/dev/" + std::string(4092, 'p');
    for (const BenchManifest* m : {&longTitle, &high, &longAddress})
        EXPECT_FALSE(WriteBenchFolder(dir, *m, &problem));
    std::filesystem::remove_all(dir);
}

} // namespace
