#pragma once
// The program's windows are named by globals (MainForm, PositionForm, ...,
// declared beside each window's class) that only the panel and the program
// read: the other windows are handed what they need. The program sets each
// one as it makes the window, and it goes back to null when that window is
// destroyed.
#include <QObject>

template <class Form>
Form* TrackWindow(Form*& global, Form* window)
{
    global = window;
    QObject::connect(window, &QObject::destroyed, [&global, window] {
        if (global == window)
            global = nullptr;
    });
    return window;
}
