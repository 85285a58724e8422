#include "WindowPlace.h"

#include "SettingsFile.h"

#include <QByteArray>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include <algorithm>

namespace {

// A settings position outside this range cannot be a screen coordinate.
constexpr int kPositionLimit = 100000;
constexpr int kSizeLimit = 16384;

bool ReadInt(const QSettings& s, const QByteArray& key, int low, int high, int* value)
{
    bool ok = false;
    const int v = s.value(QString::fromLatin1(key)).toString().trimmed().toInt(&ok);
    if (!s.contains(QString::fromLatin1(key)) || !ok || v < low || v > high)
        return false;
    *value = v;
    return true;
}

QByteArray Key(const char* prefix, const char* name) { return QByteArray(prefix) + name; }

} // namespace

void KeepInsideScreen(QWidget& window, const QWidget* near)
{
    QScreen* screen = QGuiApplication::screenAt(window.geometry().center());
    if (screen == nullptr)
        screen = near ? near->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect area = screen->availableGeometry();
    // Its frame, where a window manager or the platform gives one, must fit too.
    const QSize frame = window.frameGeometry().size() - window.size();
    if (window.frameGeometry().width() > area.width() || window.frameGeometry().height() > area.height())
        window.resize(window.size().boundedTo(area.size() - frame));
    const QRect outer = window.frameGeometry();
    window.move(std::clamp(outer.x(), area.left(), std::max(area.left(), area.right() + 1 - outer.width())),
                std::clamp(outer.y(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height())));
}

bool LoadWindowPlace(QWidget& window, const char* prefix, bool* visible)
{
    *visible = false;
    const std::unique_ptr<QSettings> stored = OpenSettings();
    if (!stored)
        return false;
    int left = 0, top = 0, width = 0, height = 0, shown = 0;
    if (ReadInt(*stored, Key(prefix, "Width"), window.minimumWidth(), kSizeLimit, &width)
        && ReadInt(*stored, Key(prefix, "Height"), window.minimumHeight(), kSizeLimit, &height))
        window.resize(width, height);
    const bool placed = ReadInt(*stored, Key(prefix, "Left"), -kPositionLimit, kPositionLimit, &left)
                        && ReadInt(*stored, Key(prefix, "Top"), -kPositionLimit, kPositionLimit, &top);
    if (placed)
        window.move(left, top);
    *visible = ReadInt(*stored, Key(prefix, "Visible"), 0, 1, &shown) && shown == 1;
    return placed;
}

void SaveWindowPlace(const QWidget& window, const char* prefix)
{
    const std::unique_ptr<QSettings> stored = OpenSettings();
    if (!stored)
        return;
    stored->setValue(QString::fromLatin1(Key(prefix, "Left")), window.x());
    stored->setValue(QString::fromLatin1(Key(prefix, "Top")), window.y());
    stored->setValue(QString::fromLatin1(Key(prefix, "Width")), window.width());
    stored->setValue(QString::fromLatin1(Key(prefix, "Height")), window.height());
    stored->setValue(QString::fromLatin1(Key(prefix, "Visible")), int(window.isVisible()));
    stored->sync();
}

namespace {
constexpr int kSettleMs = 300;
}

WindowPlaceKeeper::WindowPlaceKeeper(QWidget* window, const char* prefix)
    : QObject(window), window_(window), prefix_(prefix), timer_(new QTimer(this))
{
    timer_->setSingleShot(true);
    timer_->setInterval(kSettleMs);
    connect(timer_, &QTimer::timeout, this, [this] { SaveWindowPlace(*window_, prefix_); });
    window->installEventFilter(this);
}

bool WindowPlaceKeeper::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type t = event->type();
    if (watched == window_ && (t == QEvent::Move || t == QEvent::Resize || t == QEvent::Show || t == QEvent::Hide))
        timer_->start();
    return false;
}
