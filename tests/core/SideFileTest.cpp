// Where a BINR recording's side file goes: never over a file Kestrova did not
// write for that recording, and back to FILE.nme when it did, after a restart.
#include "Nmeafile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const std::vector<uint8_t> kForeign = {'$', 'G', 'P', 'G', 'G', 'A', '\r', '\n'};

// What Kestrova leaves after writing the side file of recording in dir.
void WriteOurs(const std::string& dir, const std::string& side, const std::string& recording)
{
    ASSERT_TRUE(OpenSideOutput((dir + side).c_str(), (dir + recording).c_str()));
    CloseNmeaOutput();
    ASSERT_TRUE(WriteBinaryFile(dir + side, kForeign)) << "as if sentences were written";
    ASSERT_TRUE(OpenSideOutput((dir + side).c_str(), (dir + recording).c_str(), kNmeaLiveFlushBytes, true));
    CloseNmeaOutput();
}

// Moves a file's modification time by seconds.
void Age(const std::string& path, int seconds)
{
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    timespec times[2] = {st.st_atim, st.st_mtim};
    times[1].tv_sec += seconds;
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// A side file opened but never closed (a kill), marked as such.
void WriteUnfinished(const std::string& dir)
{
    ASSERT_TRUE(WriteBinaryFile(dir + "track.nme", kForeign));
    const int fd = ::open((dir + "track.nme").c_str(), O_RDONLY);
    ASSERT_TRUE(MarkSideFile(fd, dir + "track.nme", "track.dat", false));
    ::close(fd);
}

TEST(SideFile, GoesWhereNothingOfAnotherIsReplaced)
{
    struct Case {
        const char* name;
        std::function<void(const std::string&)> setUp;
        const char* side;   // chosen for track.dat, "" for none
        const char* notice;
    } cases[] = {
        {"nothing there", [](const std::string&) {}, "track.nme", ""},
        {"an empty file", [](const std::string& d) { WriteBinaryFile(d + "track.nme", {}); }, "track.nme", ""},
        {"ours, after a restart", [](const std::string& d) { WriteOurs(d, "track.nme", "track.dat"); }, "track.nme",
         ""},
        {"another program's capture", [](const std::string& d) { WriteBinaryFile(d + "track.nme", kForeign); },
         "track.side.nme", "track.nme kept (not a side file Kestrova wrote); side file: track.side.nme"},
        {"ours, then appended to",
         [](const std::string& d) {
             WriteOurs(d, "track.nme", "track.dat");
             WriteBinaryFile(d + "track.nme", {'$', 'X', '\n', '\n', '\n', '\n', '\n', '\n', '\n'});
         },
         "track.side.nme", "track.nme kept (not a side file Kestrova wrote); side file: track.side.nme"},
        {"ours, then written over at the same size",
         [](const std::string& d) {
             WriteOurs(d, "track.nme", "track.dat");
             Age(d + "track.nme", 5);
         },
         "track.side.nme", "track.nme kept (not a side file Kestrova wrote); side file: track.side.nme"},
        {"ours for another recording", [](const std::string& d) { WriteOurs(d, "track.nme", "track.bin"); },
         "track.side.nme", "track.nme kept (not a side file Kestrova wrote); side file: track.side.nme"},
        {"unfinished, written with the recording", [](const std::string& d) { WriteUnfinished(d); }, "track.nme", ""},
        {"unfinished, written long after the recording",
         [](const std::string& d) {
             WriteUnfinished(d);
             Age(d + "track.dat", -60);
         },
         "track.side.nme", "track.nme kept (not a side file Kestrova wrote); side file: track.side.nme"},
        {"a FIFO", [](const std::string& d) { ::mkfifo((d + "track.nme").c_str(), 0600); }, "track.side.nme",
         "track.nme kept (not a side file Kestrova wrote); side file: track.side.nme"},
        {"ours under the second name",
         [](const std::string& d) {
             WriteBinaryFile(d + "track.nme", kForeign);
             WriteOurs(d, "track.side.nme", "track.dat");
         },
         "track.side.nme", "track.nme kept (not a side file Kestrova wrote); side file: track.side.nme"},
        {"both foreign",
         [](const std::string& d) {
             WriteBinaryFile(d + "track.nme", kForeign);
             WriteBinaryFile(d + "track.side.nme", kForeign);
         },
         "", "track.nme and track.side.nme kept (not a side file Kestrova wrote); no side file"},
        {"a recording and a foreign file",
         [](const std::string& d) {
             WriteBinaryFile(d + "track.nme.times", {});
             WriteBinaryFile(d + "track.side.nme", kForeign);
         },
         "", "track.nme and track.side.nme kept (a recording; not a side file Kestrova wrote); no side file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        char pattern[] = "/tmp/kestrova-side.XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        const std::string dir = std::string(pattern) + "/";
        const std::string cwd = fs::current_path();
        fs::current_path(dir);
        ASSERT_TRUE(WriteBinaryFile("track.dat", {0x10, 0x03}));
        c.setUp(dir);
        const SideFileChoice choice = ChooseSideFile("track.dat");
        EXPECT_EQ(choice.path, c.side);
        EXPECT_EQ(SideFileNotice(choice), c.notice);
        EXPECT_EQ(SideFilePath(dir + "track.dat"), *c.side ? dir + c.side : "");
        fs::current_path(cwd);
        fs::remove_all(dir);
    }
}

// The marker's name may hold something else: it is never written over.
TEST(SideFile, MarkerNeverReplacesAnotherFile)
{
    char pattern[] = "/tmp/kestrova-side.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string dir = std::string(pattern) + "/";
    ASSERT_TRUE(WriteBinaryFile(dir + "track.nme.side", kForeign));
    ASSERT_TRUE(OpenSideOutput((dir + "track.nme").c_str(), (dir + "track.dat").c_str()));
    CloseNmeaOutput();
    EXPECT_EQ(ReadBinaryFile(dir + "track.nme.side"), kForeign);
    EXPECT_EQ(SideFilePath(dir + "track.dat"), dir + "track.nme") << "still empty";
    fs::remove_all(dir);
}

} // namespace
