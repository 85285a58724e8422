// The port list: which devices are offered, under which names, and the
// permission hint.
#include "Comm.h"
#include "CommPty.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/wait.h>

namespace {

TEST(PortNames, PathAndDisplayNameAreInverse)
{
    struct Case {
        const char* name;
        const char* path;
    };
    const Case cases[] = {
        {"ttyUSB0", "/dev/ttyUSB0"},
        {"ttyS12", "/dev/ttyS12"},
        {"pts/3", "/dev/pts/3"},
        {"/tmp/sim/ttyKS3", "/tmp/sim/ttyKS3"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PortPath(c.name), c.path) << c.name;
        EXPECT_EQ(PortDisplayName(c.path), c.name) << c.path;
    }
    EXPECT_EQ(PortPath(""), "");
    EXPECT_EQ(PortDisplayName("/dev/"), "/dev/");
}

TEST(PortList, OffersNamedPtysAndLeavesOutWhatIsNoPort)
{
    TestPty pty;
    ASSERT_TRUE(pty.Ok());
    QTemporaryDir dir;
    const QString link = dir.filePath("ttyKS3");
    ASSERT_TRUE(QFile::link(pty.path, link));
    const QString plainFile = dir.filePath("notatty");
    QFile f(plainFile);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    AddExtraPorts({pty.path, link, dir.filePath("ttyGone7"), plainFile, "/dev/ttyUSB97"});

    QString denied;
    const QStringList ports = ListPorts(&denied);
    EXPECT_TRUE(ports.contains(PortDisplayName(pty.path))) << ports.join(' ').toStdString();
    EXPECT_TRUE(ports.contains(link));
    EXPECT_FALSE(ports.contains(dir.filePath("ttyGone7")));
    EXPECT_FALSE(ports.contains(plainFile));
    EXPECT_FALSE(ports.contains("ttyUSB97"));
    EXPECT_TRUE(denied.isEmpty()) << denied.toStdString();   // root may open everything
    // What is listed can be opened.
    EXPECT_TRUE(OpenPort(link, 4800, 0));
    ClosePort();
}

TEST(PortList, LeavesOutAPortHeldByAnotherProgram)
{
    TestPty pty;
    ASSERT_TRUE(pty.Ok());
    AddExtraPorts({pty.path});
    const QString name = PortDisplayName(pty.path);
    const int other = open(pty.path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(ListPorts(nullptr).contains(name));
    close(other);
    EXPECT_TRUE(ListPorts(nullptr).contains(name));
}

TEST(PortList, NamesTheFirstDeviceRefusedForLackOfPermission)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to drop to another user";
    TestPty pty;
    ASSERT_TRUE(pty.Ok());
    ASSERT_EQ(chmod(pty.path.toLocal8Bit().constData(), 0600), 0);
    AddExtraPorts({pty.path});
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // As a user outside the dialout group would be.
        close(pipeFds[0]);
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(3);
        QString denied;
        const QStringList ports = ListPorts(&denied);
        const QByteArray out = (ports.join(' ') + '\n' + denied).toUtf8();
        if (write(pipeFds[1], out.constData(), size_t(out.size())) < 0)
            _exit(4);
        _exit(0);
    }
    close(pipeFds[1]);
    QByteArray out;
    char buf[512];
    ssize_t n;
    while ((n = read(pipeFds[0], buf, sizeof buf)) > 0)
        out.append(buf, int(n));
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const QList<QByteArray> lines = out.split('\n');
    ASSERT_EQ(lines.size(), 2);
    const QString name = PortDisplayName(pty.path);
    EXPECT_FALSE(QString::fromUtf8(lines[0]).split(' ').contains(name));
    // The console's ttyS0, when present, comes first and is locked down too.
    const QString denied = QString::fromUtf8(lines[1]);
    EXPECT_TRUE(denied == name || denied == "ttyS0") << denied.toStdString();
}

} // namespace
