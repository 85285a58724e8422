#pragma once
// The panel's layout: the frameless main window's controls at their fixed
// places, made into the panel's named members, as the panel is made.
#include "ActionMode.h"

#include <QPoint>
#include <QRgb>
#include <QStringList>

class QImage;
class QWidget;
class TMainForm;

constexpr int kFormWidth = 421;
constexpr int kFormHeight = 132;
constexpr QPoint kDesignPosition(343, 384);
constexpr int kTopPanelHeight = 25;

// Makes every control of the panel; the action picture shows actionBitmap.
void BuildPanelLayout(TMainForm& panel, const QImage& actionBitmap);
// The file-open dialog of Eject: a folder to start in and a filter; the
// path chosen, or empty.
QString AskFileName(QWidget* parent, const QString& folder, const QString& filter);
// The rate box's texts: the line rates the port can take, slowest first.
QStringList LineRateTexts();
// The mode's glyph and caption in the action picture and label.
void ShowActionMode(TMainForm& panel, QImage& actionBitmap, uint32_t mode);
// The buttons a row enables, and the protocol panel with the port and rate boxes.
void EnableButtonRow(TMainForm& panel, ButtonRow row);
