// The panel's layout (PanelLayout.h): every control at its place, in the
// colours and font of the panel.
#include "PanelLayout.h"

#include "Controls.h"
#include "Glyphs.h"
#include "LineRates.h"
#include "Mainfile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QListView>
#include <QRadioButton>

#include <algorithm>
#include <cstdio>

namespace {

struct ModeLook {
    uint32_t mode;
    const char* caption;
    QRgb colour;
};
constexpr ModeLook kModeLooks[] = {
    {amSync, "SYNC", kLime},  {amOpen, "OPEN", kLime},    {amPlay, "PLAY", kLime}, {amFastPlay, "  FF", kLime},
    {amPause, "PAUSE", kLime}, {amStop, "STOP", kLime},   {amRecord, " REC", kRed},
    {amWatch, "WATCH", kLime},
};

// Which buttons a row enables: Synchro, Eject, Play, Rewind, Pause, Stop,
// Record, and the protocol panel with the port and rate boxes.
struct RowState {
    ButtonRow row;
    bool on[8];
};
constexpr RowState kRows[] = {
    {ButtonRow::Sync, {false, false, false, false, false, true, false, false}},
    {ButtonRow::Play, {false, false, false, true, true, true, false, false}},
    {ButtonRow::FastPlay, {false, false, true, false, true, true, false, false}},
    {ButtonRow::Pause, {false, false, true, true, false, true, false, false}},
    {ButtonRow::Stop, {true, true, true, true, false, false, true, true}},
    {ButtonRow::Record, {false, false, false, false, false, true, false, false}},
    {ButtonRow::Watch, {false, false, false, false, false, true, true, false}},
};

bool TraceModes() { return qEnvironmentVariableIsSet("KESTROVA_TRACE_MODES"); }


constexpr int kLeftPanelWidth = 78;
constexpr int kRightPanelWidth = 95;
constexpr int kButtonTop = 81;
constexpr QSize kButtonSize(23, 22);

constexpr QRgb kBlack = qRgb(0, 0, 0);
constexpr QRgb kYellow = qRgb(255, 255, 0);
constexpr QRgb kAqua = qRgb(0, 255, 255);
constexpr QRgb kFuchsia = qRgb(255, 0, 255);

// The rate box lists the line rates the port can take, slowest first.
QStringList LineRateTexts()
{
    QStringList texts;
    for (const LineRate& r : kLineRates)
        texts << QString::number(r.baud);
    return texts;
}
const QStringList kBaudRates = LineRateTexts();
void SetBackground(QWidget* w, QRgb colour)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, QColor(colour));
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

QFrame* MakePanel(QWidget* parent, const QRect& geometry, QFrame::Shadow shadow)
{
    auto* panel = new QFrame(parent);
    panel->setGeometry(geometry);
    panel->setFrameStyle(QFrame::Panel | shadow);
    panel->setLineWidth(1);
    return panel;
}

// Labels on the info panel hold texts that come from files and receivers:
// always plain text, never markup.
QLabel* MakeLabel(QWidget* parent, const QRect& geometry, const QString& text, QRgb colour,
                  Qt::Alignment align = Qt::AlignLeft | Qt::AlignTop)
{
    auto* label = new FastLabel(text, parent);
    label->setGeometry(geometry);
    label->setAlignment(align);
    label->setFont(UiFont());
    SetTextColour(label, colour);
    return label;
}

QCheckBox* MakeCheckBox(QWidget* parent, const QPoint& at, int width, const QString& text)
{
    auto* box = new QCheckBox(text, parent);
    box->setFont(UiFont());
    box->setGeometry(QRect(at, QSize(width, 17)));
    box->setFocusPolicy(Qt::NoFocus);
    return box;
}

// The port list is rebuilt every time it drops down. A network source is
// longer than the box: it is elided in the middle, whole in the tooltip.
class PortBox : public ElidedComboBox {
public:
    PortBox(QWidget* parent, TMainForm& panel) : ElidedComboBox(parent), panel_(panel) {}
    void showPopup() override
    {
        panel_.PortComboBoxDropDown();
        // Device paths are longer than the box; let the list show them whole.
        view()->setMinimumWidth(qMax(width(), view()->sizeHintForColumn(0) + 8));
        QComboBox::showPopup();
    }
private:
    TMainForm& panel_;
};


void BuildPanels(TMainForm& p)
{
    p.TopPanel = MakePanel(&p, QRect(0, 0, kFormWidth, kTopPanelHeight), QFrame::Raised);
    SetBackground(p.TopPanel, kSilver);
    auto* caption = new QLabel(QStringLiteral("KESTROVA 6.4"), p.TopPanel);
    caption->setGeometry(p.TopPanel->rect());
    caption->setAlignment(Qt::AlignCenter);
    caption->setFont(UiFont(true));
    SetTextColour(caption, kBlue);
    caption->setAttribute(Qt::WA_TransparentForMouseEvents);
    p.TopPanel->installEventFilter(&p);

    // The picture is 32 pixels tall on a 25-pixel strip: the strip shows its top.
    p.TitleImage = new QLabel(p.TopPanel);
    p.TitleImage->setGeometry(4, 4, kTitlePictureSize, kTitlePictureSize);
    p.TitleImage->setPixmap(QPixmap::fromImage(TitlePicture()));
    p.TitleImage->setCursor(Qt::PointingHandCursor);
    p.TitleImage->installEventFilter(&p);

    // Beside minimize, inside the strip: the menu a right-click also opens,
    // for whoever does not think of right-clicking a title.
    p.MenuButton = new FlatGlyphButton(p.TopPanel, QRect(364, 4, 17, 17), QString(), GlyphPainter(Glyph::Menu));
    p.MenuButton->setToolTip(QStringLiteral("Menu: Player, Watch, Multi-GNSS, Bench, Signals, Messages"));
    p.MinimizeSpeedButton = new FlatGlyphButton(p.TopPanel, QRect(383, 4, 17, 17), QString(), GlyphPainter(Glyph::Minimize));
    p.CloseSpeedButton = new FlatGlyphButton(p.TopPanel, QRect(400, 4, 17, 17), QString(), GlyphPainter(Glyph::Close));

    const int bodyHeight = kFormHeight - kTopPanelHeight;
    p.LeftPanel = MakePanel(&p, QRect(0, kTopPanelHeight, kLeftPanelWidth, bodyHeight), QFrame::Raised);
    p.RightPanel = MakePanel(&p, QRect(kFormWidth - kRightPanelWidth, kTopPanelHeight, kRightPanelWidth, bodyHeight),
                           QFrame::Raised);
    p.CenterPanel = MakePanel(&p, QRect(kLeftPanelWidth, kTopPanelHeight,
                                        kFormWidth - kLeftPanelWidth - kRightPanelWidth, bodyHeight), QFrame::Raised);

    p.PortComboBox = new PortBox(p.LeftPanel, p);
    p.PortComboBox->setGeometry(8, 8, 62, 20);
    // Six-digit rates are wider than the box's text field.
    p.BaudComboBox = new TextFitComboBox(p.LeftPanel);
    p.BaudComboBox->setGeometry(8, 30, 62, 20);
    p.BaudComboBox->addItems(kBaudRates);
    p.BaudComboBox->setCurrentIndex(0);
    for (QComboBox* box : {p.PortComboBox, p.BaudComboBox}) {
        box->setFont(UiFont());
        box->setFocusPolicy(Qt::NoFocus);
    }

    p.ModePanel = MakePanel(p.LeftPanel, QRect(8, 52, 62, 52), QFrame::Sunken);
    p.NMEARadioButton = new QRadioButton(QStringLiteral("NMEA"), p.ModePanel);
    p.NMEARadioButton->setGeometry(6, 3, 54, 15);
    p.BINRRadioButton = new QRadioButton(QStringLiteral("BINR"), p.ModePanel);
    p.BINRRadioButton->setGeometry(6, 18, 54, 15);
    for (QRadioButton* r : {p.NMEARadioButton, p.BINRRadioButton}) {
        r->setFont(UiFont());
        r->setFocusPolicy(Qt::NoFocus);
    }
    p.NMEARadioButton->setChecked(true);
    p._02CheckBox = MakeCheckBox(p.ModePanel, QPoint(14, 35), 46, QStringLiteral("0x02"));
    p._02CheckBox->setChecked(true);
    p._02CheckBox->setEnabled(false);

    p.PositionCheckBox = MakeCheckBox(p.RightPanel, QPoint(5, 3), 86, QStringLiteral("POSITION"));
    p.StatisticCheckBox = MakeCheckBox(p.RightPanel, QPoint(5, 19), 86, QStringLiteral("STATISTIC"));
    p.SatellitesCheckBox = MakeCheckBox(p.RightPanel, QPoint(5, 35), 86, QStringLiteral("SATELLITES"));
    p.VisualCheckBox = MakeCheckBox(p.RightPanel, QPoint(5, 51), 86, QStringLiteral("VISUAL"));
    p.ProfileCheckBox = MakeCheckBox(p.RightPanel, QPoint(5, 67), 86, QStringLiteral("PROFILE"));
    p.CheckBox6 = MakeCheckBox(p.RightPanel, QPoint(5, 83), 86, QStringLiteral("RESERVE"));
    p.CheckBox6->setEnabled(false);
}

void BuildInfoPanel(TMainForm& p, const QImage& actionBitmap)
{
    p.InfoPanel = MakePanel(p.CenterPanel, QRect(8, 8, 233, 70), QFrame::Sunken);
    SetBackground(p.InfoPanel, kBlack);

    p.ActionImage = new QLabel(p.InfoPanel);
    p.ActionImage->setGeometry(8, 8, 25, 25);
    p.ActionImage->setPixmap(QPixmap::fromImage(actionBitmap));
    p.ActionLabel = MakeLabel(p.InfoPanel, QRect(6, 34, 40, 13), QStringLiteral("STOP"), kLime);

    MakeLabel(p.InfoPanel, QRect(48, 3, 40, 13), QStringLiteral("device:"), kYellow);
    p.DeviceLabel = MakeLabel(p.InfoPanel, QRect(90, 3, 141, 13), QStringLiteral("unknown"), kAqua);
    MakeLabel(p.InfoPanel, QRect(48, 16, 40, 13), QStringLiteral("file:"), kYellow);
    p.FileLabel = MakeLabel(p.InfoPanel, QRect(90, 16, 141, 13), QStringLiteral("rgfile.nme"), kAqua);
    MakeLabel(p.InfoPanel, QRect(48, 29, 40, 13), QStringLiteral("size:"), kYellow);
    p.ReceiveBytesLabel = MakeLabel(p.InfoPanel, QRect(76, 29, 60, 13), QStringLiteral("0 kB"), kAqua,
                                  Qt::AlignRight | Qt::AlignTop);
    MakeLabel(p.InfoPanel, QRect(48, 42, 30, 13), QStringLiteral("err:"), kYellow);
    p.ErrorBytesLabel = MakeLabel(p.InfoPanel, QRect(72, 42, 45, 13), QStringLiteral("0"), kAqua,
                                Qt::AlignRight | Qt::AlignTop);
    p.InfoLabel = MakeLabel(p.InfoPanel, QRect(6, 55, 225, 13), QString(), kFuchsia);
    p.SoundLabel = MakeLabel(p.InfoPanel, QRect(178, 29, 53, 13), QStringLiteral("sound off"), kRed);
    p.TimerLabel = MakeLabel(p.InfoPanel, QRect(178, 42, 53, 13), QStringLiteral("timer off"), kRed);
}

void BuildButtons(TMainForm& p)
{
    struct ButtonPlace {
        FlatGlyphButton** button;
        int x;
        const char* hint;
        Glyph glyph;
    };
    const ButtonPlace places[] = {
        {&p.SynchroButton, 8, "Synchronization", Glyph::Synchro}, {&p.EjectButton, 40, "Open file", Glyph::Eject},
        {&p.PlayButton, 64, "Play file", Glyph::Play},           {&p.RewindButton, 88, "Fast play file", Glyph::Rewind},
        {&p.PauseButton, 112, "Pause", Glyph::Pause},             {&p.StopButton, 136, "Stop", Glyph::Stop},
        {&p.RecordButton, 160, "Record", Glyph::Record},          {&p.ClockButton, 193, "Timer", Glyph::Clock},
        {&p.SoundButton, 217, "Sound", Glyph::Sound},
    };
    for (const ButtonPlace& s : places)
        *s.button = new FlatGlyphButton(p.CenterPanel, QRect(QPoint(s.x, kButtonTop), kButtonSize),
                                        QString::fromLatin1(s.hint), GlyphPainter(s.glyph));
    p.PauseButton->setEnabled(false);
    p.StopButton->setEnabled(false);
}


} // namespace

QStringList LineRateTexts()
{
    QStringList texts;
    for (const LineRate& r : kLineRates)
        texts << QString::number(r.baud);
    return texts;
}

void SetTextColour(QWidget* w, QRgb colour)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, QColor(colour));
    w->setPalette(pal);
}

void BuildPanelLayout(TMainForm& panel, const QImage& actionBitmap)
{
    BuildPanels(panel);
    BuildInfoPanel(panel, actionBitmap);
    BuildButtons(panel);
}

void ShowActionMode(TMainForm& p, QImage& actionBitmap, uint32_t m)
{
    const bool drawn = DrawActionGlyph(actionBitmap, m);
    const auto look = std::find_if(std::begin(kModeLooks), std::end(kModeLooks),
                                   [m](const ModeLook& l) { return l.mode == m; });
    if (drawn && look != std::end(kModeLooks)) {
        p.ActionLabel->setText(QString::fromLatin1(look->caption));
        SetTextColour(p.ActionLabel, look->colour);
    }
    p.ActionImage->setPixmap(QPixmap::fromImage(actionBitmap));
    if (TraceModes())
        std::fprintf(stderr, "kestrova: mode %s\n", p.ActionLabel->text().trimmed().toLatin1().constData());
}

void EnableButtonRow(TMainForm& p, ButtonRow row)
{
    const auto state = std::find_if(std::begin(kRows), std::end(kRows), [row](const RowState& r) { return r.row == row; });
    if (state == std::end(kRows))
        return;
    FlatGlyphButton* const buttons[] = {p.SynchroButton, p.EjectButton, p.PlayButton, p.RewindButton,
                                        p.PauseButton, p.StopButton, p.RecordButton};
    for (size_t i = 0; i < std::size(buttons); ++i)
        buttons[i]->setEnabled(state->on[i]);
    // The panel decides for its children; "0x02" keeps its own state,
    // which follows the protocol, and shows it again when the panel is on.
    p.ModePanel->setEnabled(state->on[7]);
    p.PortComboBox->setEnabled(state->on[7]);
    p.BaudComboBox->setEnabled(state->on[7]);
}

QString AskFileName(QWidget* parent, const QString& folder, const QString& filter)
{
    // The name serves for playing and for recording, so a name that does
    // not exist yet is welcome (a new recording), and an existing one is
    // taken without an overwrite question: Record has its own guard.
    QFileDialog dialog(parent, QStringLiteral("Open file:"), folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Open"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}
