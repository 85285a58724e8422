#pragma once
// Place, size and visibility of a resizable window reached from the title
// strip's menu (SIGNALS, CONSOLE), kept in the settings under its own prefix:
// PREFIXLeft, PREFIXTop, PREFIXWidth, PREFIXHeight, PREFIXVisible. Each key
// is named here once, for load and save; a value that cannot be read leaves
// the window as it is.
#include <QWidget>

// False when nothing was stored (or the file must not be touched): the
// window keeps its default place. Visibility is returned, not applied.
bool LoadWindowPlace(QWidget& window, const char* prefix, bool* visible);
void SaveWindowPlace(const QWidget& window, const char* prefix);
// Moves the window (and shrinks one larger than the screen) so that it lies
// wholly on the screen it is on, or else on near's: a window placed beside
// the panel, or where a larger screen once had it, opens where it is seen.
void KeepInsideScreen(QWidget& window, const QWidget* near);

// Writes the place whenever the window is moved, resized, shown or hidden
// (once things settle, not at every step of a drag). Made only when the
// settings are in use, never in a headless run.
class WindowPlaceKeeper : public QObject {
public:
    WindowPlaceKeeper(QWidget* window, const char* prefix);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
    const char* prefix_;
    class QTimer* timer_;
};
