// The list of serial ports a user may pick from.
//
// Candidates are the usual serial device families under /dev plus the paths
// the user named (a simulator's pty, a udev symlink). A candidate is listed
// when it can be opened exclusively and answers tcgetattr, the same tests a
// real open makes, but its line settings are left untouched: probing must not
// reconfigure a console on ttyS0. A device refused for lack of permission is
// remembered so that the window can say why the list is short.
//
// USB adapters get a new node on every plug; udev's /dev/serial/by-id links
// keep a name per adapter. A node with such a link is listed by the link's
// name, shortened, so that the name chosen finds the same adapter again.
// Network addresses named by the user are listed as they are, unprobed: a
// connection is made only when they are opened.
#include "Comm.h"

#include "SourceAddress.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

namespace {

const char* const kDevDir = "/dev";
const char* const kFamilies[] = {"ttyS", "ttyUSB", "ttyACM", "ttyAMA", "rfcomm"};

QStringList extraPorts;
QString stableNameDir = QStringLiteral("/dev/serial/by-id");
// Shortened stable name -> its link's full path, as last listed.
QMap<QString, QString> stableNames;

enum class Probe { Listed, Absent, Busy, Denied };

// error: the errno of a failed open, 0 otherwise.
Probe ProbePort(const QString& path, int* error = nullptr)
{
    const QByteArray native = path.toLocal8Bit();
    const int fd = open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (error)
        *error = fd < 0 ? errno : 0;
    if (fd < 0)
        return (errno == EACCES || errno == EPERM) ? Probe::Denied : Probe::Absent;
    termios t;
    Probe result = Probe::Listed;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0)
        result = Probe::Busy;
    else if (tcgetattr(fd, &t) != 0)
        result = Probe::Absent;   // not a terminal, or a UART that is not there
    close(fd);
    return result;
}

// The 8250 driver creates ttyS nodes for UARTs that do not exist; sysfs tells
// them apart (type 0) without the cost of opening each one.
bool AbsentUart(const QString& name)
{
    if (!name.startsWith("ttyS"))
        return false;
    QFile type(QString("/sys/class/tty/%1/type").arg(name));
    if (!type.open(QIODevice::ReadOnly))
        return false;
    return type.readAll().trimmed() == "0";
}

bool InFamily(const char* entry)
{
    for (const char* family : kFamilies) {
        const size_t n = std::strlen(family);
        if (std::strncmp(entry, family, n) == 0)
            return true;
    }
    return false;
}

// ttyS2 before ttyS10: by the letters, then by the number that ends the name.
bool NaturalLess(const QString& a, const QString& b)
{
    auto split = [](const QString& s) {
        int i = int(s.size());
        while (i > 0 && s[i - 1].isDigit())
            --i;
        return std::pair<QString, qulonglong>(s.left(i), s.mid(i).toULongLong());
    };
    const auto sa = split(a);
    const auto sb = split(b);
    if (sa.first != sb.first)
        return sa.first < sb.first;
    if (sa.second != sb.second)
        return sa.second < sb.second;
    return a < b;
}

QStringList DeviceCandidates()
{
    QStringList names;
    DIR* dir = opendir(kDevDir);
    if (!dir)
        return names;
    while (dirent* e = readdir(dir)) {
        if (InFamily(e->d_name))
            names << QString::fromLocal8Bit(e->d_name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end(), NaturalLess);
    QStringList paths;
    for (const QString& name : names) {
        if (!AbsentUart(name))
            paths << QString(kDevDir) + '/' + name;
    }
    return paths;
}

// "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0" -> "FTDI_FT232R_USB_UART_A50285BI":
// the bus prefix and the interface suffix say nothing about the adapter.
QString ShortStableName(QString name)
{
    static const QRegularExpression bus(QStringLiteral("^(usb|pci|platform)-"));
    static const QRegularExpression interface(QStringLiteral("-if[0-9]+(-port[0-9]+)?$"));
    name.remove(bus);
    name.remove(interface);
    return name;
}

// Canonical device path -> shortened stable name of the links in the folder.
QMap<QString, QString> ReadStableNames()
{
    QMap<QString, QString> byTarget;
    stableNames.clear();
    const QDir dir(stableNameDir);
    for (const QFileInfo& link : dir.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
        if (!link.isSymLink())
            continue;
        const QString target = link.canonicalFilePath();
        if (target.isEmpty() || byTarget.contains(target))
            continue;
        QString name = ShortStableName(link.fileName());
        if (name.isEmpty() || stableNames.contains(name))
            name = link.fileName();
        stableNames.insert(name, link.absoluteFilePath());
        byTarget.insert(target, name);
    }
    return byTarget;
}

} // namespace

void SetStableNameDir(const QString& dir) { stableNameDir = dir; }

QString PortToolTip(const QString& name)
{
    return stableNames.value(name, name);
}

QString PortPath(const QString& name)
{
    if (name.isEmpty())
        return {};
    if (stableNames.contains(name))
        return stableNames.value(name);
    if (LooksLikeNetworkSource(name.toStdString()) || name.startsWith('/'))
        return name;
    return QString(kDevDir) + '/' + name;
}

QString PortDisplayName(const QString& path)
{
    const QString prefix = QString(kDevDir) + '/';
    if (path.startsWith(prefix) && path.size() > prefix.size())
        return path.mid(prefix.size());
    return path;
}

namespace {

// A bare name means a device under /dev; a relative path is fixed now,
// before a file dialog changes the current folder.
QString ExtraPortPath(const QString& p)
{
    if (LooksLikeNetworkSource(p.toStdString()))
        return p;   // listed as typed, opened only when chosen
    if (!p.contains('/'))
        return PortPath(p);
    if (!p.startsWith('/'))
        return QFileInfo(p).absoluteFilePath();
    return p;
}

} // namespace

void AddExtraPorts(const QStringList& paths)
{
    for (const QString& p : paths) {
        if (p.isEmpty())
            continue;
        const QString full = ExtraPortPath(p);
        if (!extraPorts.contains(full))
            extraPorts << full;
    }
}

QString PortProblem(const QString& path)
{
    std::string reason;
    if (LooksLikeNetworkSource(path.toStdString()))
        return ParseSourceAddress(path.toStdString(), nullptr, &reason) ? QString() : QString::fromStdString(reason);
    int error = 0;
    switch (ProbePort(ExtraPortPath(path), &error)) {
    case Probe::Listed:
        break;
    case Probe::Busy:
        return QStringLiteral("in use by another program");
    case Probe::Denied:
    case Probe::Absent:
        return error ? QString::fromLocal8Bit(std::strerror(error)) : QStringLiteral("not a serial port");
    }
    return {};
}

QStringList ListPorts(QString* noPermission)
{
    if (noPermission)
        noPermission->clear();
    QStringList paths = DeviceCandidates();
    for (const QString& p : extraPorts) {
        if (!paths.contains(p))
            paths << p;
    }
    const QMap<QString, QString> stable = ReadStableNames();
    QStringList listed;
    auto list = [&listed](const QString& name) {
        if (!listed.contains(name))
            listed << name;
    };
    for (const QString& path : paths) {
        if (LooksLikeNetworkSource(path.toStdString())) {
            list(path);
            continue;
        }
        // A node with a stable name is listed under that name, in its place.
        const QString name = stable.value(QFileInfo(path).canonicalFilePath(), PortDisplayName(path));
        switch (ProbePort(path)) {
        case Probe::Listed:
            list(name);
            break;
        case Probe::Denied:
            if (noPermission && noPermission->isEmpty())
                *noPermission = name;
            break;
        case Probe::Absent:
        case Probe::Busy:
            break;
        }
    }
    return listed;
}
