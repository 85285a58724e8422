// The record file refuses at once what it must not record into, and keeps
// its lock from Open to Close, reopens and a file made anew included.
#include "RecordFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray ReadAll(const QString& name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool Write(const QString& name, const QByteArray& bytes)
{
    QFile f(name);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Each name opened from a fresh recorder, with nothing waiting for a reader.
TEST(RecordFile, RefusesAtOnceWhatItMustNotRecordInto)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString fifo = dir.filePath("pipe.dat");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0) << "a FIFO with a reader must be refused too";
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.dat"));
    const QString busy = dir.filePath("busy.dat");
    ASSERT_TRUE(Write(busy, "kept"));
    const int holder = ::open(QFile::encodeName(busy).constData(), O_RDONLY);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    struct Case {
        QString name;
        QString before;   // RecordFileProblem
        bool opens;
        QString problem;  // OpenProblem, for both Open(false) and Open(true)
    } cases[] = {
        {fifo, "not a regular file", false, "not a regular file"},
        {dir.filePath("folder.dat"), "a folder, not a file", false, "Is a directory"},
        {busy, "being recorded by another process", false, "being recorded by another process"},
        {"/dev/null", "", true, ""},
        {dir.filePath("new.dat"), "", true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        EXPECT_EQ(RecordFileProblem(c.name), c.before);
        for (const bool append : {false, true}) {
            RecordFile file;
            EXPECT_EQ(file.Open(c.name, append), c.opens);
            EXPECT_EQ(file.OpenProblem(), c.problem);
        }
    }
    EXPECT_EQ(ReadAll(busy), "kept") << "a refused recorder empties nothing";
    ::close(holder);
    ::close(reader);
}

TEST(RecordFile, OneRecorderPerFileAcrossReopens)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString name = dir.filePath("log.dat");
    const uint8_t block[] = {1, 2, 3};
    RecordFile first;
    ASSERT_TRUE(first.Open(name, false));
    ASSERT_TRUE(first.Append(block, 3));
    auto secondIsRefused = [&] {
        RecordFile second;
        return !second.Open(name, true) && second.Refused() && RecordFileProblem(name) == "being recorded by another process";
    };
    EXPECT_TRUE(secondIsRefused());
    ASSERT_TRUE(first.Reopen());
    EXPECT_TRUE(secondIsRefused()) << "held across the reopen";
    // Removed under the recorder: the file made anew is locked too.
    ASSERT_TRUE(QFile::remove(name));
    first.Append(block, 3);
    ASSERT_TRUE(first.Append(block, 3));
    EXPECT_TRUE(secondIsRefused()) << "the file made anew";
    first.Close();
    RecordFile third;
    EXPECT_TRUE(third.Open(name, true)) << third.OpenProblem().toStdString();
    EXPECT_EQ(third.Size(), 3);
}

} // namespace
