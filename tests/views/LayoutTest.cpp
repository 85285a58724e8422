// Every window with the widest texts its values take: each text fits its own
// box, and no text covers or touches another control (a value over its
// caption, a caption against its edit box, a rate cut in its box). The
// windows so filled and the clipboard picture with a long file name are kept
// as pictures under BUILD_DIR/test-artifacts/.
#include "Mainfile.h"
#include "Position.h"
#include "Profile.h"
#include "Report.h"
#include "Satellites.h"
#include "Statistic.h"
#include "Timerfile.h"
#include "Visual.h"
#include "Windows.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStyleOptionFrame>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

struct Piece {
    QString name;
    QRect box;  // window coordinates: where it paints
    bool text;  // a label's ink: it must keep clear of its neighbours
};

QString NameOf(const QWidget* w)
{
    if (const auto* label = qobject_cast<const QLabel*>(w))
        return QString("label \"%1\"").arg(label->text().trimmed());
    if (const auto* button = qobject_cast<const QAbstractButton*>(w); button && !button->text().isEmpty())
        return QString("button \"%1\"").arg(button->text());
    if (const auto* edit = qobject_cast<const QLineEdit*>(w))
        return QString("edit \"%1\"").arg(edit->displayText());
    return QString(w->metaObject()->className());
}

// The room a control leaves for its text, and the text it must fit there;
// false when it shows no text.
bool TextRoom(QWidget* w, int* room, std::vector<QString>* texts)
{
    if (auto* label = qobject_cast<QLabel*>(w)) {
        // A value label is sized to its text as it paints it.
        if (label->text().isEmpty() || qobject_cast<ValueLabel*>(w))
            return false;
        *room = label->contentsRect().width();
        texts->push_back(label->text());
        return true;
    }
    if (auto* box = qobject_cast<QComboBox*>(w)) {
        QStyleOptionComboBox option;
        option.initFrom(box);
        option.editable = box->isEditable();
        // The style draws the text a pixel inside its field on each side.
        *room = box->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box).width() - 2;
        if (const auto* fit = dynamic_cast<const TextFitComboBox*>(box))
            *room = fit->TextRoom();
        for (int i = 0; i < box->count(); ++i)
            texts->push_back(box->itemText(i));
        return true;
    }
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        QStyleOptionFrame option;
        option.initFrom(edit);
        option.lineWidth = edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit) : 0;
        const QRect contents = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
        const QMargins margins = edit->textMargins();
        // QLineEdit keeps two pixels clear on each side of its text.
        *room = contents.width() - margins.left() - margins.right() - 2 * 2;
        texts->push_back(edit->displayText());
        return true;
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w); button && !button->text().isEmpty()) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const bool check = qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w);
        *room = check ? button->style()->subElementRect(qobject_cast<QRadioButton*>(w) ? QStyle::SE_RadioButtonContents
                                                                                      : QStyle::SE_CheckBoxContents,
                                                        &option, button).width()
                      : button->width() - 4;
        texts->push_back(button->text());
        return true;
    }
    return false;
}

// The leaf controls of a window: panels are looked into, controls are not.
void CollectPieces(QWidget* window, QWidget* parent, std::vector<Piece>& pieces, std::vector<std::string>& faults)
{
    for (QObject* child : parent->children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (!w || !w->isVisibleTo(window) || w->isWindow())
            continue;
        const bool control = qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w) ||
                             qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) ||
                             w->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).isEmpty() ||
                             w->inherits("TUpDown");
        if (!control) {
            CollectPieces(window, w, pieces, faults);
            continue;
        }
        QRect box(w->mapTo(window, QPoint(0, 0)), w->size());
        // What lies outside a parent is not painted.
        for (QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget())
            box &= QRect(p->mapTo(window, QPoint(0, 0)), p->size());
        auto* label = qobject_cast<QLabel*>(w);
        const bool text = label && !label->text().isEmpty() && label->pixmap().isNull();
        int room = 0;
        std::vector<QString> texts;
        if (TextRoom(w, &room, &texts))
            for (const QString& t : texts) {
                const int width = w->fontMetrics().horizontalAdvance(t);
                if (width > room)
                    faults.push_back(QString("%1: \"%2\" needs %3 px, has %4")
                                         .arg(NameOf(w), t).arg(width).arg(room).toStdString());
            }
        // A label paints only its text, blanks at either end are no ink:
        // the rest is what must keep clear.
        if (text) {
            const auto* value = qobject_cast<ValueLabel*>(w);
            const auto advance = [&](const QString& t) {
                return value ? value->TextWidth(t) : label->fontMetrics().horizontalAdvance(t);
            };
            const QString& all = label->text();
            const int width = advance(all);
            const QRect cr = value ? box : label->contentsRect().translated(box.topLeft());
            const Qt::Alignment a = label->alignment();
            const int x = (a & Qt::AlignRight)     ? cr.right() + 1 - width
                          : (a & Qt::AlignHCenter) ? cr.left() + (cr.width() - width) / 2
                                                   : cr.left();
            qsizetype first = 0, end = all.size();
            while (first < end && all[first] == ' ')
                ++first;
            while (end > first && all[end - 1] == ' ')
                --end;
            box = QRect(x + advance(all.left(first)), cr.top(), advance(all.mid(first, end - first)),
                        std::min(cr.height(), label->fontMetrics().height()));
        }
        pieces.push_back({NameOf(w), box, text});
    }
}

// Faults of one window: texts that do not fit, and pieces that overlap or
// come nearer a text than two pixels (another text) or three (a box). Rows
// of controls 12 or 16 pixels apart share one pixel row of their boxes,
// which no glyph reaches.
std::vector<std::string> LayoutFaults(QWidget* window)
{
    window->ensurePolished();
    for (QWidget* w : window->findChildren<QWidget*>())
        w->ensurePolished();
    std::vector<Piece> pieces;
    std::vector<std::string> faults;
    CollectPieces(window, window, pieces, faults);
    for (size_t i = 0; i < pieces.size(); ++i)
        for (size_t j = i + 1; j < pieces.size(); ++j)
            if (const int gap = pieces[i].text && pieces[j].text ? 2 : pieces[i].text || pieces[j].text ? 3 : 0;
                pieces[i].box.adjusted(-gap, 1, gap, -1).intersects(pieces[j].box))
                faults.push_back(QString("%1 [%2,%3 %4x%5] meets %6 [%7,%8 %9x%10]")
                                     .arg(pieces[i].name)
                                     .arg(pieces[i].box.x()).arg(pieces[i].box.y())
                                     .arg(pieces[i].box.width()).arg(pieces[i].box.height())
                                     .arg(pieces[j].name)
                                     .arg(pieces[j].box.x()).arg(pieces[j].box.y())
                                     .arg(pieces[j].box.width()).arg(pieces[j].box.height())
                                     .toStdString());
    return faults;
}

void SaveArtifact(const QImage& image, const char* name)
{
    const QString dir = QString(KESTROVA_BINARY_DIR) + "/test-artifacts";
    QDir().mkpath(dir);
    image.save(dir + "/" + name);
}

class Layout : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Built as for a headless run, so that no stored settings are read
        // or written; the texts are then set without printing reports.
        SetHeadlessReport(true);
        main_.reset(CreateProgramWindows());
        SetHeadlessReport(false);
    }
    void TearDown() override
    {
        SetHeadlessReport(true);
        main_.reset();
        SetHeadlessReport(false);
    }
    std::unique_ptr<TMainForm> main_;
};

TEST_F(Layout, WidestTextsFitAndKeepClear)
{
    // Shown as the switches show them: each view lays out its texts anew.
    for (QWidget* view : std::initializer_list<QWidget*>{PositionForm, StatisticForm, SatellitesForm, VisualForm,
                                                         ProfileForm, TimerForm})
        view->show();
    using Texts = std::vector<std::pair<ValueLabel*, const char*>>;
    TPositionForm& p = *PositionForm;
    const Texts position = {
        {p.LatLabel, "88\xB0" "88.8888N"}, {p.LonLabel, "188\xB0" "88.8888W"}, {p.AltLabel, "-999999.9"},
        {p.rms2DLabel, "****"},            {p.HDOPLabel, "****"},               {p.VDOPLabel, "999.9"},
        {p.SpeedLabel, "999.9 km/h"},     {p.CourseLabel, "359.9 \xB0"},      {p.GPSLabel, "32"},
        {p.GLNLabel, "24"},                {p.UTCLabel, "23:59:59"},            {p.DateLabel, "31.12.99"},
        {p.StatusLabel, "3D DIFF"}};
    TStatisticForm& s = *StatisticForm;
    const Texts statistic = {{s.LatLabel, "88\xB0" "88.8888N"}, {s.LonLabel, "188\xB0" "88.8888W"},
                             {s.AltLabel, "-999999.9"},         {s.rms2DLabel, "*****"},
                             {s.rmsHLabel, "99.99"},             {s.rmsVLabel, "*****"},
                             {s.NLabel, "999999"},               {s.NallLabel, "999999"}};
    TVisualForm& v = *VisualForm;
    // Half the earth's circumference over the ground; a million metres of
    // height below a reference at the top of the edit's range.
    const Texts visual = {{v.dXLabel, "20037508.34 m"},
                          {v.dMxLabel, "20037508.34 m"},
                          {v.dHLabel, "-1009999.90 m"},
                          {v.dMhLabel, "-1009999.90 m"}};
    TTimerForm& t = *TimerForm;
    const Texts timer = {{t.TimeLabel, "23:59:59"}, {t.DateLabel, "31.12.2026"}};
    for (const Texts* texts : {&position, &statistic, &visual, &timer})
        for (const auto& [label, text] : *texts)
            label->SetText(QString::fromLatin1(text));
    main_->BaudComboBox->setCurrentText("115200");
    // Twelve GPS satellites and ten GLONASS ones in use, each list followed
    // by its bad ones in red.
    TSatellitesForm& sky = *SatellitesForm;
    sky.GPSnumLabel->SetText(QString("10 12 14 15 18 20 21 24 25 29 31 32 "));
    sky.BadGPSnumLabel->SetText(QString("13 22 "));
    sky.GLNnumLabel->SetText(QString("65 66 67 68 72 73 74 80 81 82 "));
    sky.BadGLNnumLabel->SetText(QString("70 88 "));
    for (auto [list, bad] : {std::pair(sky.GPSnumLabel, sky.BadGPSnumLabel), std::pair(sky.GLNnumLabel, sky.BadGLNnumLabel)})
        bad->move(list->x() + list->width(), bad->y());
    for (ValueLabel* indicator : sky.Indicators)
        indicator->setEnabled(true);
    t.StartTimeEdit->setText("23:59");
    t.StartDateEdit->setText("31.12.2026");
    t.StopTimeEdit->setText("23:59");
    t.StopDateEdit->setText("31.12.2026");

    QWidget* const windows[] = {main_.get(), PositionForm, StatisticForm, SatellitesForm, VisualForm, ProfileForm, TimerForm};
    const char* const files[] = {"layout_main.png", "layout_position.png", "layout_statistic.png", "layout_satellites.png",
                                 "layout_visual.png", "layout_profile.png", "layout_timer.png"};
    for (size_t i = 0; i < std::size(windows); ++i) {
        QWidget* window = windows[i];
        for (const std::string& fault : LayoutFaults(window))
            ADD_FAILURE() << window->metaObject()->className() << ": " << fault;
        SaveArtifact(window->grab().toImage(), files[i]);
    }
}

// Multi-GNSS: the "All:" count beside the widest status, and the GAL:, BDS:
// and QZS: rows of the grown SATELLITES window, keep clear as well.
TEST_F(Layout, MultiGnssTextsFitAndKeepClear)
{
    main_->SetMultiGnss(true);
    for (QWidget* view : std::initializer_list<QWidget*>{PositionForm, SatellitesForm})
        view->show();
    TPositionForm& p = *PositionForm;
    for (const auto& [label, text] : {std::pair(p.GPSLabel, "32"), std::pair(p.GLNLabel, "24"),
                                      std::pair(p.UsedLabel, "99"), std::pair(p.StatusLabel, "3D DIFF")})
        label->SetText(QString::fromLatin1(text));
    TSatellitesForm& sky = *SatellitesForm;
    sky.GALnumLabel->SetText(QString("2 3 5 7 8 11 12 13 15 19 24 25 26 27 30 31 33 36 "));
    sky.BDSnumLabel->SetText(QString("6 9 11 12 14 16 19 20 21 22 23 24 25 26 29 30 32 34 35 "));
    sky.QZSnumLabel->SetText(QString("1 2 3 4 5 6 7 "));
    QWidget* const windows[] = {PositionForm, SatellitesForm};
    const char* const files[] = {"layout_position_multi_gnss.png", "layout_satellites_multi_gnss.png"};
    for (size_t i = 0; i < std::size(windows); ++i) {
        for (const std::string& fault : LayoutFaults(windows[i]))
            ADD_FAILURE() << windows[i]->metaObject()->className() << ": " << fault;
        SaveArtifact(windows[i]->grab().toImage(), files[i]);
    }
}

// The clipboard picture writes its notes in a 90-pixel column: a long file
// name goes on over the next lines instead of being cut at the edge, and the
// notes after it move down.
TEST_F(Layout, ClipboardNotesKeepLongNamesWhole)
{
    main_->FileLabel->setText("recording-2026-12-07-morning-run.nme");
    // The panel is never shown here, so it has not handed the view its labels.
    VisualForm->fileName = [this] { return main_->FileLabel->text(); };
    const QImage picture = VisualForm->ComposeClipboardImage();
    SaveArtifact(picture, "layout_clipboard.png");
    constexpr int kNotesX = 397 - 90;
    constexpr int kNotesEnd = 11 * 15;  // below the eleven notes as specified
    int lastInkRow = -1;
    for (int y = 0; y < picture.height(); ++y) {
        // A text cut at the edge leaves ink in the last column.
        EXPECT_EQ(picture.pixel(picture.width() - 1, y) & 0xFFFFFFu, 0xFFFFFFu) << "row " << y;
        for (int x = kNotesX; x < picture.width(); ++x)
            if ((picture.pixel(x, y) & 0xFFFFFFu) != 0xFFFFFFu)
                lastInkRow = y;
    }
    EXPECT_GE(lastInkRow, kNotesEnd) << "the notes after the name did not move down";
}

}  // namespace
