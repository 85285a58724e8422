// The main window's panel: layout, mode glyphs and captions, button rows,
// counters, routing reactions, dragging, view switches and settings.
#include "MainfileSupport.h"

#include "About.h"
#include "BinrEncoder.h"
#include "BinrLayouts.h"
#include "Comm.h"
#include "Controls.h"
#include "Glyphs.h"
#include "NmeaChecksum.h"
#include "Player.h"
#include "Position.h"
#include "SourceFeed.h"
#include "Profile.h"
#include "Satellites.h"
#include "SettingsFile.h"
#include "Statistic.h"
#include "Timerfile.h"
#include "Visual.h"
#include "VisualControls.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>

#include <cstring>
#include <sys/stat.h>
#include <string>

namespace {

QRgb TextColour(const QWidget* w) { return w->palette().color(QPalette::WindowText).rgb(); }

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::string Nmea(const std::string& body, bool goodChecksum = true)
{
    std::string s = NmeaSentence(body);
    if (!goodChecksum)
        s[s.size() - 3] = s[s.size() - 3] == '0' ? '1' : '0';   // the last checksum digit
    return s;
}

std::vector<uint8_t> DeviceFrame(const char* text) { return BinrFrame(kMsgDeviceInfo, DeviceInfoPayload(text)); }

void Feed(TMainForm* form, const std::vector<uint8_t>& bytes) { form->ReceiveBytes(bytes.data(), int(bytes.size())); }

void SendMouse(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButton button = Qt::LeftButton)
{
    QMouseEvent e(type, QPointF(at), target->mapToGlobal(QPointF(at)), button,
                  type == QEvent::MouseButtonRelease ? Qt::NoButton : button, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &e);
}

} // namespace

// ---------------------------------------------------------------- layout

TEST_F(MainWindowTest, PanelHoldsEveryControlWhereItBelongs)
{
    EXPECT_EQ(form->size(), QSize(421, 132));
    EXPECT_TRUE(form->windowFlags() & Qt::FramelessWindowHint);
    struct Place {
        QWidget* w;
        QRect rect;
    };
    const Place places[] = {
        {form->TopPanel, {0, 0, 421, 25}},           {form->TitleImage, {4, 4, 32, 32}},
        {form->MinimizeSpeedButton, {383, 4, 17, 17}}, {form->CloseSpeedButton, {400, 4, 17, 17}},
        {form->PortComboBox, {8, 8, 62, 20}},         {form->BaudComboBox, {8, 30, 62, 20}},
        {form->ModePanel, {8, 52, 62, 52}},           {form->InfoPanel, {8, 8, 233, 70}},
        {form->ActionImage, {8, 8, 25, 25}},          {form->SynchroButton, {8, 81, 23, 22}},
        {form->EjectButton, {40, 81, 23, 22}},        {form->PlayButton, {64, 81, 23, 22}},
        {form->RewindButton, {88, 81, 23, 22}},       {form->PauseButton, {112, 81, 23, 22}},
        {form->StopButton, {136, 81, 23, 22}},        {form->RecordButton, {160, 81, 23, 22}},
        {form->ClockButton, {193, 81, 23, 22}},       {form->SoundButton, {217, 81, 23, 22}},
    };
    for (const Place& p : places)
        EXPECT_EQ(p.w->geometry(), p.rect) << p.w->metaObject()->className() << " " << p.w->toolTip().toStdString();
    EXPECT_EQ(form->LeftPanel->width(), 78);
    EXPECT_EQ(form->RightPanel->width(), 95);
    EXPECT_EQ(form->RightPanel->x() + form->RightPanel->width(), 421);

    const std::pair<QWidget*, QPoint> spots[] = {
        {form->NMEARadioButton, {6, 3}},     {form->BINRRadioButton, {6, 18}},   {form->_02CheckBox, {14, 35}},
        {form->PositionCheckBox, {5, 3}},    {form->StatisticCheckBox, {5, 19}}, {form->SatellitesCheckBox, {5, 35}},
        {form->VisualCheckBox, {5, 51}},     {form->ProfileCheckBox, {5, 67}},   {form->CheckBox6, {5, 83}},
        {form->ActionLabel, {6, 34}},        {form->DeviceLabel, {90, 3}},       {form->FileLabel, {90, 16}},
        {form->InfoLabel, {6, 55}},          {form->SoundLabel, {178, 29}},      {form->TimerLabel, {178, 42}},
    };
    for (const auto& [w, at] : spots)
        EXPECT_EQ(w->pos(), at) << w->objectName().toStdString();
    EXPECT_EQ(form->ReceiveBytesLabel->geometry().right() + 1, 136);
    EXPECT_EQ(form->ErrorBytesLabel->geometry().right() + 1, 117);

    const std::pair<FlatGlyphButton*, const char*> hints[] = {
        {form->SynchroButton, "Synchronization"}, {form->EjectButton, "Open file"}, {form->PlayButton, "Play file"},
        {form->RewindButton, "Fast play file"},   {form->PauseButton, "Pause"},    {form->StopButton, "Stop"},
        {form->RecordButton, "Record"},           {form->ClockButton, "Timer"},    {form->SoundButton, "Sound"},
    };
    for (const auto& [b, hint] : hints)
        EXPECT_EQ(b->toolTip(), hint);

    EXPECT_EQ(TextColour(form->ActionLabel), qRgb(0, 255, 0));
    EXPECT_EQ(TextColour(form->DeviceLabel), qRgb(0, 255, 255));
    EXPECT_EQ(TextColour(form->InfoLabel), qRgb(255, 0, 255));
    EXPECT_EQ(TextColour(form->SoundLabel), qRgb(255, 0, 0));
    EXPECT_EQ(form->InfoPanel->palette().color(QPalette::Window).rgb(), qRgb(0, 0, 0));
    EXPECT_EQ(form->TopPanel->palette().color(QPalette::Window).rgb(), qRgb(192, 192, 192));
    EXPECT_FALSE(form->CheckBox6->isEnabled());
    EXPECT_FALSE(form->PauseButton->isEnabled());
    EXPECT_FALSE(form->StopButton->isEnabled());
    const QStringList rates = {"4800", "9600", "19200", "38400", "57600", "115200", "230400", "460800", "921600"};
    ASSERT_EQ(form->BaudComboBox->count(), rates.size());
    for (int i = 0; i < rates.size(); ++i)
        EXPECT_EQ(form->BaudComboBox->itemText(i), rates[i]);
}

TEST_F(MainWindowTest, OtherWindowsExistHiddenWithTheirSizes)
{
    const std::pair<QWidget*, QSize> windows[] = {
        {PositionForm, {421, 60}},  {StatisticForm, {421, 60}}, {SatellitesForm, {421, 60}},
        {VisualForm, {401, 312}},   {ProfileForm, {822, 94}},   {TimerForm, {182, 69}},
        {AboutForm, {132, 132}},
    };
    Show();
    for (const auto& [w, size] : windows) {
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->size(), size);
        EXPECT_FALSE(w->isVisible());
    }
}

// ---------------------------------------------------------------- glyphs

struct GlyphCase {
    uint32_t mode;
    const char* caption;
    QRgb colour;
    std::vector<QPoint> lit;
    std::vector<QPoint> dark;
};

class ModeGlyph : public MainWindowTest, public ::testing::WithParamInterface<GlyphCase> {};

TEST_P(ModeGlyph, DrawsTheModesShapeAndCaption)
{
    const GlyphCase& c = GetParam();
    Show();
    form->SetActionMode(c.mode);
    EXPECT_EQ(form->Mode(), c.mode);
    EXPECT_EQ(form->ActionLabel->text(), c.caption);
    EXPECT_EQ(TextColour(form->ActionLabel), c.colour);
    const QImage shown = form->ActionImage->pixmap().toImage();
    ASSERT_EQ(shown.size(), QSize(25, 25));
    for (const QPoint& p : c.lit)
        EXPECT_EQ(shown.pixel(p) & 0xFFFFFF, c.colour & 0xFFFFFF) << "lit " << p.x() << "," << p.y();
    for (const QPoint& p : c.dark)
        EXPECT_EQ(shown.pixel(p) & 0xFFFFFF, 0u) << "dark " << p.x() << "," << p.y();
    // One colour on black, nothing else.
    for (int y = 0; y < 25; ++y)
        for (int x = 0; x < 25; ++x) {
            const QRgb px = shown.pixel(x, y) & 0xFFFFFF;
            ASSERT_TRUE(px == 0 || px == (c.colour & 0xFFFFFF)) << x << "," << y;
        }
}

constexpr QRgb kGreen = qRgb(0, 255, 0);
INSTANTIATE_TEST_SUITE_P(
    Modes, ModeGlyph,
    ::testing::Values(
        GlyphCase{amSync, "SYNC", kGreen, {{1, 12}, {6, 1}, {12, 12}, {18, 23}, {23, 12}}, {{6, 12}, {18, 12}}},
        GlyphCase{amOpen, "OPEN", kGreen, {{6, 11}, {12, 17}, {1, 21}, {23, 21}}, {{12, 8}, {12, 21}}},
        GlyphCase{amPlay, "PLAY", kGreen, {{1, 12}, {1, 3}, {6, 6}}, {{5, 12}, {18, 12}}},
        GlyphCase{amFastPlay, "  FF", kGreen, {{1, 12}, {13, 6}, {18, 6}}, {{5, 12}, {17, 12}}},
        GlyphCase{amPause, "PAUSE", kGreen, {{1, 12}, {7, 12}, {17, 12}, {23, 12}}, {{4, 12}, {12, 12}, {20, 12}}},
        GlyphCase{amStop, "STOP", kGreen, {{1, 12}, {12, 1}, {23, 12}, {12, 22}}, {{12, 12}, {5, 5}}},
        GlyphCase{amRecord, " REC", qRgb(255, 0, 0), {{1, 12}, {12, 1}, {23, 12}, {12, 23}}, {{12, 12}, {1, 1}}}));

TEST_F(MainWindowTest, UnknownModeLeavesTheCaptionAndABlackPicture)
{
    form->SetActionMode(amPlay);
    form->SetActionMode(42);
    EXPECT_EQ(form->Mode(), 42u);
    EXPECT_EQ(form->ActionLabel->text(), "PLAY");
    const QImage shown = form->ActionImage->pixmap().toImage();
    for (int y = 0; y < 25; ++y)
        for (int x = 0; x < 25; ++x)
            ASSERT_EQ(shown.pixel(x, y) & 0xFFFFFF, 0u);
    form->SetActionMode(amStop);
}

TEST_F(MainWindowTest, EveryButtonGlyphHasADistinctDisabledLook)
{
    for (FlatGlyphButton* b : {form->SynchroButton, form->EjectButton, form->PlayButton, form->RewindButton,
                               form->PauseButton, form->StopButton, form->RecordButton, form->ClockButton,
                               form->SoundButton}) {
        b->setEnabled(true);
        const QImage normal = b->Render();
        b->setEnabled(false);
        const QImage disabled = b->Render();
        EXPECT_NE(normal, disabled) << b->toolTip().toStdString();
        const QRgb background = disabled.pixel(0, 0);
        int greyInk = 0;
        for (int y = 0; y < disabled.height(); ++y)
            for (int x = 0; x < disabled.width(); ++x) {
                const QColor c(disabled.pixel(x, y));
                if (disabled.pixel(x, y) != background) {
                    // Grey ink with a white relief only: no colour survives.
                    EXPECT_LE(std::abs(c.red() - c.green()) + std::abs(c.green() - c.blue()), 6)
                        << b->toolTip().toStdString() << " " << x << "," << y;
                    greyInk += c.red() < 160;
                }
            }
        EXPECT_GT(greyInk, 4) << b->toolTip().toStdString();
    }
}

// ---------------------------------------------------------------- modes and buttons

namespace {
// Synchro, Eject, Play, Rewind, Pause, Stop, Record, protocol panel.
using Row = std::array<bool, 8>;
Row Buttons(const TMainForm* f)
{
    return {f->SynchroButton->isEnabled(), f->EjectButton->isEnabled(), f->PlayButton->isEnabled(),
            f->RewindButton->isEnabled(),  f->PauseButton->isEnabled(), f->StopButton->isEnabled(),
            f->RecordButton->isEnabled(),  f->ModePanel->isEnabled() && f->PortComboBox->isEnabled()
                                               && f->BaudComboBox->isEnabled()};
}
const Row kStopRow = {true, true, true, true, false, false, true, true};
const Row kPlayRow = {false, false, false, true, true, true, false, false};
const Row kFastRow = {false, false, true, false, true, true, false, false};
const Row kPauseRow = {false, false, true, true, false, true, false, false};
const Row kOnlyStop = {false, false, false, false, false, true, false, false};
} // namespace

TEST_F(MainWindowTest, TransportWalksThroughItsModesWithTheirButtonRows)
{
    // Large enough that fast play cannot reach the end between two steps.
    ASSERT_TRUE(WriteBytes(PathOf("rgfile.nme"), Filler(8000000)));
    Show();
    EXPECT_EQ(form->ActionLabel->text(), "STOP");
    EXPECT_EQ(Buttons(form.get()), kStopRow);

    struct Step {
        std::function<void()> act;
        uint32_t mode;
        Row row;
    };
    TMainForm* f = form.get();
    const Step steps[] = {
        {[f] { f->PlayButtonClick(f->PlayButton); }, amPlay, kPlayRow},
        {[f] { f->RewindButtonClick(f->RewindButton); }, amFastPlay, kFastRow},
        {[f] { f->PauseButtonClick(f->PauseButton); }, amPause, kPauseRow},
        {[f] { f->PlayButtonClick(f->PlayButton); }, amPlay, kPlayRow},
        {[f] { f->PauseButtonClick(f->PauseButton); }, amPause, kPauseRow},
        {[f] { f->RewindButtonClick(f->RewindButton); }, amFastPlay, kFastRow},
        {[f] { f->PlayButtonClick(f->PlayButton); }, amPlay, kPlayRow},
        {[f] { f->StopButtonClick(f->StopButton); }, amStop, kStopRow},
        {[f] { f->SetActionMode(amSync); f->SetButtons(ButtonRow::Sync); }, amSync, kOnlyStop},
        {[f] { f->StopButtonClick(f->StopButton); }, amStop, kStopRow},
        {[f] { f->SetButtons(ButtonRow::Record); }, amStop, kOnlyStop},
        {[f] { f->SetButtons(ButtonRow::Stop); }, amStop, kStopRow},
    };
    int i = 0;
    for (const Step& s : steps) {
        s.act();
        RunEvents(5);
        EXPECT_EQ(form->Mode(), s.mode) << "step " << i;
        EXPECT_EQ(Buttons(form.get()), s.row) << "step " << i;
        ++i;
    }
    EXPECT_TRUE(WaitStopped());
}

TEST_F(MainWindowTest, ProtocolPanelKeepsTheOwnStateOfItsHeartbeatBox)
{
    Show();
    EXPECT_FALSE(form->_02CheckBox->isEnabled()) << "NMEA selected";
    form->SetButtons(ButtonRow::Record);
    form->SetButtons(ButtonRow::Stop);
    EXPECT_FALSE(form->_02CheckBox->isEnabled()) << "stop must not wake it while NMEA is selected";
    form->BINRRadioButton->setChecked(true);
    form->SetButtons(ButtonRow::Play);
    EXPECT_FALSE(form->_02CheckBox->isEnabled());
    form->SetButtons(ButtonRow::Stop);
    EXPECT_TRUE(form->_02CheckBox->isEnabled());
}

TEST_F(MainWindowTest, OpenFileDialogNamesTheFileAndMakesItsFolderCurrent)
{
    Show();
    QDir(dir.path()).mkdir("logs");
    const QString folder = PathOf("logs");
    QString askedFolder, askedFilter;
    uint32_t modeDuring = 0;
    QString answer = folder + "/track";
    form->openFileDialog = [&](const QString& start, const QString& filter) {
        askedFolder = start;
        askedFilter = filter;
        modeDuring = form->Mode();
        return answer;
    };
    form->EjectButtonClick(form->EjectButton);
    EXPECT_EQ(modeDuring, amOpen);
    EXPECT_EQ(QDir(askedFolder).canonicalPath(), QDir(dir.path()).canonicalPath());
    EXPECT_TRUE(askedFilter.startsWith("NMEA files (*.nme)"));
    EXPECT_EQ(form->FileLabel->text(), "track.nme");
    EXPECT_EQ(QDir::current().canonicalPath(), QDir(folder).canonicalPath());
    EXPECT_EQ(form->Mode(), amStop);
    EXPECT_EQ(form->ActionLabel->text(), "STOP");

    form->BINRRadioButton->setChecked(true);
    answer = folder + "/run.2.bin";
    form->EjectButtonClick(form->EjectButton);
    EXPECT_TRUE(askedFilter.startsWith("BINR files (*.dat)"));
    EXPECT_EQ(form->FileLabel->text(), "run.2.bin");

    answer.clear();   // cancelled
    form->EjectButtonClick(form->EjectButton);
    EXPECT_EQ(form->FileLabel->text(), "run.2.bin");
    EXPECT_EQ(form->Mode(), amStop);
}

TEST_F(MainWindowTest, OpenFileDialogTakesANameThatDoesNotExistYet)
{
    // The real dialog: a new name names the next recording. A dialog that
    // refuses it says so in a message box, which the driver closes.
    Show();
    int attempts = 0;
    bool refused = false;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            refused = true;
            box->reject();
            return;
        }
        auto* dialog = form->findChild<QFileDialog*>();
        if (!dialog || !dialog->isVisible())
            return;
        // The dialog may still be filling its view: try again until it
        // answers, within reason.
        if (refused || ++attempts > 100) {
            dialog->reject();
            return;
        }
        // Typed as a user would: selectFile leaves a focused name box alone.
        if (auto* name = dialog->findChild<QLineEdit*>("fileNameEdit"))
            name->setText("fresh");
        QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
    });
    driver.start(20);
    form->EjectButtonClick(form->EjectButton);
    driver.stop();
    EXPECT_FALSE(refused);
    EXPECT_LE(attempts, 100);
    EXPECT_EQ(form->FileLabel->text(), "fresh.nme") << "the extension rule still applies";
    EXPECT_FALSE(QFileInfo::exists(PathOf("fresh.nme"))) << "opening a name creates nothing";
}

// ---------------------------------------------------------------- counters

TEST(MainfileText, ReceivedTotalReadsInKiBThenMiB)
{
    const std::pair<int64_t, const char*> cases[] = {
        {0, "0 kB"},          {1023, "0 kB"},       {1024, "1 kB"},         {1048575, "1023 kB"},
        {1048576, "1.0 MB"},  {1572864, "1.5 MB"},  {int64_t(5) << 30, "5120.0 MB"},
    };
    for (const auto& [total, text] : cases)
        EXPECT_EQ(ReceivedText(total), text) << total;
}

TEST_F(MainWindowTest, CountsOnlyWhilePlayingOrRecording)
{
    Show();
    const std::vector<uint8_t> ten = Filler(10);
    Feed(form.get(), ten);
    EXPECT_EQ(form->ReceivedTotal(), 0) << "not counted in STOP";
    form->SetActionMode(amPlay);
    TMainFormTestAccess::ReceivedTotal(*form) = 1048565;
    Feed(form.get(), ten);
    EXPECT_EQ(form->ReceiveBytesLabel->text(), "1023 kB");
    Feed(form.get(), std::vector<uint8_t>(1));
    EXPECT_EQ(form->ReceiveBytesLabel->text(), "1.0 MB");
    TMainFormTestAccess::ReceivedTotal(*form) = 1572864 - 10;
    Feed(form.get(), ten);
    EXPECT_EQ(form->ReceiveBytesLabel->text(), "1.5 MB");
    form->SetActionMode(amSync);
    Feed(form.get(), ten);
    EXPECT_EQ(form->ReceivedTotal(), 1572864);
    form->SetActionMode(amStop);
}

TEST_F(MainWindowTest, DecoderErrorsAndLineErrorsAreCounted)
{
    Show();
    Feed(form.get(), Bytes(Nmea("GPGGA,1,2,3", false)));
    EXPECT_EQ(form->ErrorBytesLabel->text(), "1");
    form->CountLineError();
    EXPECT_EQ(form->ErrorBytesLabel->text(), "2");
    TMainFormTestAccess::ErrorCount(*form) = std::numeric_limits<int32_t>::max();
    form->CountLineError();
    EXPECT_EQ(TMainFormTestAccess::ErrorCount(*form), std::numeric_limits<int32_t>::max()) << "saturates, never wraps";
}

TEST_F(MainWindowTest, EveryWindowIsPaintedBeforeTheIntakeReturns)
{
    form->PositionCheckBox->setChecked(true);
    Show();
    RunEvents(50);
    struct PaintCount : QObject {
        int n = 0;
        bool eventFilter(QObject*, QEvent* e) override
        {
            n += e->type() == QEvent::Paint;
            return false;
        }
    } counter;
    form->InfoLabel->installEventFilter(&counter);
    ASSERT_TRUE(TMainFormTestAccess::Record(*form).Create(PathOf("paint.nme")));
    form->SetActionMode(amRecord);
    RunEvents(20);
    counter.n = 0;
    Feed(form.get(), Filler(5));
    EXPECT_EQ(form->InfoLabel->text(), "Receive...");
    EXPECT_GE(counter.n, 1) << "the changed label was painted inside ReceiveBytes";
    TMainFormTestAccess::Record(*form).Close();
    form->SetActionMode(amStop);
}

// ---------------------------------------------------------------- synchronization reactions

TEST(MainfileText, RecordFileNameAfterBinrSync)
{
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"ABC 1.0", "COM3", "ABC_c3.dat"},
        {"ABC 1.0", "COM12", "ABC_c1.dat"},
        {"ABC", "COM3", "_c3.dat"},
        {"ABC 1.0", "ttyUSB0", "ABC_c0.dat"},
        {"ABC 1.0", "pts/7", "ABC_c7.dat"},
        {"ABC 1.0", "ttyS", "ABC_c.dat"},
        {"../../x 1", "ttyUSB0", ".._.._x_c0.dat"},
        {"a\\b\tc 1", "COM3", "a_b_c_c3.dat"},
    };
    for (const auto& [device, port, name] : cases)
        EXPECT_EQ(SyncRecordFileName(device, port), name) << device << " " << port;
}

TEST_F(MainWindowTest, NmeaSearchEndsOnTheFirstGoodSentence)
{
    Show();
    form->SetActionMode(amSync);
    TMainFormTestAccess::SyncIndex(*form) = 3;
    form->SynchroTimer->start();
    Feed(form.get(), Bytes(Nmea("GPGGA,120000,5500.0,N,03700.0,E,1,08,1.0,100,M,0,M,,", false)));
    EXPECT_EQ(form->Mode(), amSync) << "a bad checksum does not end the search";
    EXPECT_EQ(form->ErrorBytesLabel->text(), "0") << "errors are not counted while searching";
    Feed(form.get(), Bytes(Nmea("GPZDA,120000,01,01,2024,,")));
    EXPECT_EQ(form->Mode(), amStop);
    EXPECT_FALSE(form->SynchroTimer->isActive());
    EXPECT_EQ(form->BaudComboBox->currentText(), "38400");
    EXPECT_EQ(form->InfoLabel->text(), "Connection Ok");
    EXPECT_EQ(form->DeviceLabel->text(), "unknown");
}

TEST_F(MainWindowTest, BinrDeviceMessageNamesTheRecordFileOnlyWhileSearching)
{
    Show();
    form->BINRRadioButton->setChecked(true);
    Feed(form.get(), DeviceFrame("GLN 2.1 beta"));
    EXPECT_EQ(form->DeviceLabel->text(), "GLN 2.1 beta");
    EXPECT_EQ(form->FileLabel->text(), "rgfile.dat") << "outside a search only the device changes";

    form->PortComboBox->addItem("COM3");
    form->PortComboBox->setCurrentText("COM3");
    form->SetActionMode(amSync);
    TMainFormTestAccess::SyncIndex(*form) = 10;
    Feed(form.get(), DeviceFrame("../../evil 1.0"));
    EXPECT_EQ(form->Mode(), amStop);
    EXPECT_EQ(form->FileLabel->text(), ".._.._evil_c3.dat");
    EXPECT_EQ(form->InfoLabel->text(), "Connection Ok");
}

// ---------------------------------------------------------------- dragging and view switches

TEST_F(MainWindowTest, DraggingTheTitleStripMovesEveryViewShownOrHidden)
{
    form->PositionCheckBox->setChecked(true);
    form->VisualCheckBox->setChecked(true);
    Show();
    QWidget* views[] = {PositionForm, StatisticForm, SatellitesForm, VisualForm, ProfileForm};
    std::vector<QPoint> before;
    for (QWidget* v : views)
        before.push_back(v->pos());
    const QPoint mainBefore = form->pos();
    const QPoint aboutBefore = AboutForm->pos();
    const QPoint timerBefore = TimerForm->pos();

    SendMouse(form->TopPanel, QEvent::MouseButtonPress, {100, 10});
    SendMouse(form->TopPanel, QEvent::MouseMove, {110, 5});
    SendMouse(form->TopPanel, QEvent::MouseButtonRelease, {110, 5});
    SendMouse(form->TopPanel, QEvent::MouseMove, {150, 15});   // released: no move

    EXPECT_EQ(form->pos(), mainBefore + QPoint(10, -5));
    for (size_t i = 0; i < std::size(views); ++i)
        EXPECT_EQ(views[i]->pos(), before[i] + QPoint(10, -5)) << i;
    EXPECT_EQ(AboutForm->pos(), aboutBefore);
    EXPECT_EQ(TimerForm->pos(), timerBefore);
}

TEST_F(MainWindowTest, RightClickOnTheTitleStripOpensItsMenuAndDragsNothing)
{
    Show();
    const QPoint mainBefore = form->pos();
    form->TitleMenu()->clear();   // the features' items out, to see an empty menu
    SendMouse(form->TopPanel, QEvent::MouseButtonPress, {100, 10}, Qt::RightButton);
    EXPECT_FALSE(form->TitleMenu()->isVisible()) << "an empty menu is not shown";
    form->TitleMenu()->addAction("Item");
    SendMouse(form->TopPanel, QEvent::MouseButtonPress, {100, 10}, Qt::RightButton);
    EXPECT_TRUE(form->TitleMenu()->isVisible());
    form->TitleMenu()->hide();
    SendMouse(form->TopPanel, QEvent::MouseMove, {130, 20});
    EXPECT_EQ(form->pos(), mainBefore) << "a right click starts no drag";
}

TEST_F(MainWindowTest, ViewSwitchesStackTheNumericViewsUnderThePanel)
{
    form->move(100, 50);
    Show();
    form->StatisticCheckBox->setChecked(true);
    form->SatellitesCheckBox->setChecked(true);
    EXPECT_EQ(StatisticForm->pos(), QPoint(100, 182));
    EXPECT_EQ(SatellitesForm->pos(), QPoint(100, 242));
    form->PositionCheckBox->setChecked(true);
    EXPECT_EQ(PositionForm->pos(), QPoint(100, 182));
    EXPECT_EQ(StatisticForm->pos(), QPoint(100, 242));
    EXPECT_EQ(SatellitesForm->pos(), QPoint(100, 302));
    form->PositionCheckBox->setChecked(false);
    EXPECT_FALSE(PositionForm->isVisible());
    EXPECT_EQ(StatisticForm->pos(), QPoint(100, 182));
    EXPECT_EQ(SatellitesForm->pos(), QPoint(100, 242));
    form->VisualCheckBox->setChecked(true);
    form->ProfileCheckBox->setChecked(true);
    EXPECT_EQ(VisualForm->pos(), QPoint(521, 50));
    EXPECT_EQ(ProfileForm->pos(), QPoint(100, 362));
    for (QWidget* v : std::initializer_list<QWidget*>{StatisticForm, SatellitesForm, VisualForm, ProfileForm})
        EXPECT_TRUE(v->isVisible());
}

TEST_F(MainWindowTest, AboutOpensBesideThePanelAndClosesOnAClick)
{
    form->move(300, 200);
    Show();
    QPoint where;
    bool wasVisible = false;
    QTimer::singleShot(50, [&] {
        where = AboutForm->pos();
        wasVisible = AboutForm->isVisible();
        SendMouse(AboutForm, QEvent::MouseButtonPress, {60, 60});
    });
    form->TitleImageClick();
    EXPECT_TRUE(wasVisible);
    EXPECT_EQ(where, QPoint(300 - 132, 200));
    EXPECT_FALSE(AboutForm->isVisible());
}

TEST_F(MainWindowTest, SoundSwitchFlipsOnlyOnAClick)
{
    Show();
    EXPECT_EQ(form->SoundLabel->text(), "sound off");
    form->SoundButtonClick(form->SoundButton);
    EXPECT_EQ(form->SoundLabel->text(), "sound on");
    EXPECT_EQ(TextColour(form->SoundLabel), qRgb(0, 255, 0));
    form->SoundButtonClick(nullptr);
    EXPECT_EQ(form->SoundLabel->text(), "sound on");
}

// ---------------------------------------------------------------- settings

TEST_F(MainWindowTest, FirstRunTakesTheDefaultsAndCreatesTheKeyOnClose)
{
    Show();
    EXPECT_TRUE(form->NMEARadioButton->isChecked());
    EXPECT_EQ(form->BaudComboBox->currentIndex(), 0);
    EXPECT_TRUE(form->_02CheckBox->isChecked());
    EXPECT_FALSE(form->_02CheckBox->isEnabled());
    EXPECT_FALSE(TMainFormTestAccess::SoundEnabled(*form));
    EXPECT_EQ(form->pos(), QPoint(343, 384));
    form.reset();
    QSettings s("Tamrel", "Kestrova");
    EXPECT_EQ(s.value("NMEARadioButton").toInt(), 1);
    EXPECT_EQ(s.value("Left").toInt(), 343);
    for (const char* name : {"Left", "Top", "BaudComboBox", "BINRRadioButton", "NMEARadioButton", "PositionCheckBox",
                             "StatisticCheckBox", "SatellitesCheckBox", "VisualCheckBox", "ProfileCheckBox",
                             "soundEnabled", "_02CheckBox"})
        EXPECT_TRUE(s.contains(name)) << name;
}

TEST_F(MainWindowTest, SettingsComeBackAsTheyWereLeft)
{
    Show();
    form->move(120, 80);
    form->BaudComboBox->setCurrentIndex(6);
    form->StatisticCheckBox->setChecked(true);
    form->ProfileCheckBox->setChecked(true);
    form->SoundButtonClick(form->SoundButton);
    form->BINRRadioButton->setChecked(true);
    form->_02CheckBox->setChecked(false);
    form.reset();

    form.reset(CreateProgramWindows());
    Show();
    EXPECT_EQ(form->pos(), QPoint(120, 80));
    EXPECT_TRUE(form->BINRRadioButton->isChecked());
    EXPECT_TRUE(form->StatisticCheckBox->isChecked());
    EXPECT_TRUE(StatisticForm->isVisible());
    EXPECT_TRUE(form->ProfileCheckBox->isChecked());
    EXPECT_TRUE(ProfileForm->isVisible());
    EXPECT_FALSE(form->PositionCheckBox->isChecked());
    EXPECT_TRUE(TMainFormTestAccess::SoundEnabled(*form));
    EXPECT_EQ(form->SoundLabel->text(), "sound on");
    EXPECT_FALSE(form->_02CheckBox->isChecked());
    EXPECT_TRUE(form->_02CheckBox->isEnabled());
}

// Each value is in the settings file as soon as it changes, as a clean exit
// would have written it: a crash or a kill afterwards loses nothing.
TEST_F(MainWindowTest, SettingsAreWrittenAsTheyChange)
{
    Show();
    ASSERT_TRUE(PlayerForm && StatisticForm && VisualForm && ProfileForm);
    auto drag = [this] {
        SendMouse(form->TopPanel, QEvent::MouseButtonPress, {100, 10});
        SendMouse(form->TopPanel, QEvent::MouseMove, {130, 25});
        SendMouse(form->TopPanel, QEvent::MouseButtonRelease, {130, 25});
    };
    struct Row {
        const char* key;
        std::function<void()> change;
        std::function<QString()> expected;
    };
    const Row rows[] = {
        {"BaudComboBox", [this] { form->BaudComboBox->setCurrentIndex(6); }, [] { return QString("6"); }},
        {"StatisticCheckBox", [this] { form->StatisticCheckBox->click(); }, [] { return QString("1"); }},
        {"soundEnabled", [this] { form->SoundButtonClick(form->SoundButton); }, [] { return QString("1"); }},
        {"BINRRadioButton", [this] { form->BINRRadioButton->setChecked(true); }, [] { return QString("1"); }},
        {"MultiGnss", [this] { form->SetMultiGnss(true); }, [] { return QString("1"); }},
        {"Left", drag, [this] { return QString::number(form->x()); }},
        {"PlayerLeft", [] {}, [] { return QString::number(PlayerForm->x()); }},
        {"PlayerSpeed", [] { PlayerForm->SpeedComboBox->setCurrentIndex(2); }, [] { return QString("2"); }},
        {"HDOPEdit", [] { StatisticForm->HDOPEdit->setText("2.5"); }, [] { return QString("2.5"); }},
        {"DiffCheckBox", [] { StatisticForm->DiffCheckBox->setChecked(true); }, [] { return QString("1"); }},
        {"SatCheckBox", [] { VisualForm->SatCheckBox->setChecked(true); }, [] { return QString("1"); }},
        {"maxAltUpDown", [] { ProfileForm->maxAltUpDown->StepUp(); },
         [] { return QString::number(ProfileForm->maxAltUpDown->Position()); }},
    };
    for (const Row& r : rows) {
        r.change();
        QCoreApplication::processEvents();
        QSettings stored("Tamrel", "Kestrova");
        EXPECT_EQ(stored.value(r.key).toString(), r.expected()) << r.key;
    }
    EXPECT_NE(QSettings("Tamrel", "Kestrova").value("Left").toInt(), 343) << "the drag's end is stored";
}

struct CorruptCase {
    const char* name;
    QVariant value;
    bool keepsLeft;   // the value before the bad one was applied
};

class CorruptSetting : public MainWindowTest, public ::testing::WithParamInterface<CorruptCase> {};

TEST_P(CorruptSetting, FallsBackToTheDefaults)
{
    form.reset();
    {
        QSettings s("Tamrel", "Kestrova");
        const std::pair<const char*, int> good[] = {
            {"Left", 10},           {"Top", 20},          {"BaudComboBox", 3},       {"BINRRadioButton", 0},
            {"NMEARadioButton", 1}, {"PositionCheckBox", 1}, {"StatisticCheckBox", 0}, {"SatellitesCheckBox", 0},
            {"VisualCheckBox", 1},  {"ProfileCheckBox", 0}, {"soundEnabled", 1},       {"_02CheckBox", 0},
        };
        for (const auto& [name, v] : good)
            s.setValue(name, v);
        s.setValue(GetParam().name, GetParam().value);
        s.sync();
    }
    form.reset(CreateProgramWindows());
    Show();
    EXPECT_EQ(form->BaudComboBox->currentIndex(), 0);
    EXPECT_FALSE(form->PositionCheckBox->isChecked());
    EXPECT_FALSE(form->VisualCheckBox->isChecked());
    EXPECT_FALSE(PositionForm->isVisible());
    EXPECT_FALSE(TMainFormTestAccess::SoundEnabled(*form));
    EXPECT_TRUE(form->_02CheckBox->isChecked());
    EXPECT_FALSE(form->_02CheckBox->isEnabled());
    EXPECT_TRUE(form->NMEARadioButton->isChecked());
    EXPECT_EQ(form->x(), GetParam().keepsLeft ? 10 : 343);
}

TEST_F(MainWindowTest, PositionOffEveryScreenFallsBackToTheDesignPosition)
{
    form.reset();
    {
        QSettings s("Tamrel", "Kestrova");
        s.setValue("Left", 30000);
        s.setValue("Top", -30000);
    }
    form.reset(CreateProgramWindows());
    Show();
    EXPECT_EQ(form->pos(), QPoint(343, 384));
}

TEST_F(MainWindowTest, PanelPartlyOffScreenComesBackWithItsViews)
{
    // One corner of the title strip beyond the screen's edge: the panel
    // cannot be grabbed whole, so it goes back to its design position, and
    // the views it shows stand beside it there.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    form.reset();
    {
        QSettings s("Tamrel", "Kestrova");
        const std::pair<const char*, int> stored[] = {
            {"Left", screen.right() - 10}, {"Top", screen.top() + 10}, {"BaudComboBox", 0},  {"BINRRadioButton", 0},
            {"NMEARadioButton", 1},         {"PositionCheckBox", 1},    {"StatisticCheckBox", 1}, {"SatellitesCheckBox", 0},
            {"VisualCheckBox", 1},          {"ProfileCheckBox", 0},     {"soundEnabled", 0},  {"_02CheckBox", 1},
        };
        for (const auto& [name, v] : stored)
            s.setValue(name, v);
    }
    form.reset(CreateProgramWindows());
    Show();
    EXPECT_EQ(form->pos(), QPoint(343, 384));
    EXPECT_EQ(PositionForm->pos(), QPoint(343, 384 + form->height()));
    EXPECT_EQ(StatisticForm->pos(), QPoint(343, 384 + form->height() + PositionForm->height()));
    EXPECT_EQ(VisualForm->pos(), QPoint(343 + form->width(), 384));
}

TEST_F(MainWindowTest, SettingsFileThatIsNotAFileIsIgnored)
{
    // A FIFO in place of the settings file would block start-up for good.
    form.reset();
    const QString path = SettingsFilePath();
    ASSERT_EQ(QSettings("Tamrel", "Kestrova").fileName(), path);
    // Gone at the end whatever happens: the next test reads the settings.
    const std::unique_ptr<const QString, void (*)(const QString*)> removeAtEnd(&path, [](const QString* p) { QFile::remove(*p); });
    QFile::remove(path);
    QDir().mkpath(QFileInfo(path).path());
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    form.reset(CreateProgramWindows());
    Show();
    EXPECT_EQ(form->pos(), QPoint(343, 384));
    EXPECT_TRUE(form->NMEARadioButton->isChecked());
    form->BINRRadioButton->setChecked(true);
    form.reset();   // nor may saving block
    EXPECT_FALSE(QFileInfo(path).isFile());
}

TEST_F(MainWindowTest, SettingsKeepThePortSatViewAndFilterButNotAOneOffView)
{
    TestPty a, b;
    ASSERT_TRUE(a.Ok() && b.Ok());
    AddExtraPorts({a.path, b.path});
    const QString chosen = PortDisplayName(b.path);
    form->show();
    form->PortComboBox->setCurrentIndex(form->PortComboBox->findText(chosen));
    ASSERT_EQ(form->PortComboBox->currentText(), chosen);
    VisualForm->SatCheckBox->setChecked(true);
    StatisticForm->HDOPEdit->setText("2.5");
    StatisticForm->VDOPEdit->setText("1.0");
    StatisticForm->DiffCheckBox->setChecked(true);
    // --show for this run; the second view is then switched by the user.
    form->ShowViewOnce(form->PositionCheckBox);
    form->ShowViewOnce(form->SatellitesCheckBox);
    EXPECT_TRUE(PositionForm->isVisible());
    form->SatellitesCheckBox->click();
    form->SatellitesCheckBox->click();
    form.reset();

    form.reset(CreateProgramWindows());
    form->show();
    EXPECT_EQ(form->PortComboBox->currentText(), chosen);
    EXPECT_TRUE(VisualForm->SatCheckBox->isChecked());
    EXPECT_EQ(StatisticForm->HDOPEdit->ReadLatin1(), "2.5");
    EXPECT_EQ(StatisticForm->VDOPEdit->ReadLatin1(), "1.0");
    EXPECT_TRUE(StatisticForm->DiffCheckBox->isChecked());
    EXPECT_FALSE(form->PositionCheckBox->isChecked()) << "shown for one run only";
    EXPECT_TRUE(form->SatellitesCheckBox->isChecked()) << "the user's own choice";
}

TEST_F(MainWindowTest, UnreadableViewSettingsKeepTheirDefaultsOneByOne)
{
    form.reset();
    {
        QSettings s("Tamrel", "Kestrova");
        s.setValue("HDOPEdit", "9.99");
        s.setValue("VDOPEdit", "3.0");
        s.setValue("DiffCheckBox", 2);
        s.setValue("SatCheckBox", "yes");
        s.setValue("PortComboBox", "ttyNowhere9");
    }
    form.reset(CreateProgramWindows());
    Show();
    EXPECT_EQ(StatisticForm->HDOPEdit->ReadLatin1(), "0.0");
    EXPECT_EQ(StatisticForm->VDOPEdit->ReadLatin1(), "3.0");
    EXPECT_FALSE(StatisticForm->DiffCheckBox->isChecked());
    EXPECT_FALSE(VisualForm->SatCheckBox->isChecked());
}

INSTANTIATE_TEST_SUITE_P(Values, CorruptSetting,
                         ::testing::Values(CorruptCase{"BaudComboBox", 42, true}, CorruptCase{"BaudComboBox", -1, true},
                                           CorruptCase{"Top", "high", true}, CorruptCase{"Left", "10px", false},
                                           CorruptCase{"Left", 1e12, false}, CorruptCase{"soundEnabled", 2, true},
                                           CorruptCase{"_02CheckBox", "", true}, CorruptCase{"VisualCheckBox", QVariant(), true}));

TEST_F(MainWindowTest, SynchronizationAndPlaybackStartWithoutStaleLabels)
{
    ASSERT_TRUE(WriteBytes(PathOf("play.nme"), Filler(3000)));
    TestPty pty;
    ASSERT_TRUE(pty.Ok());
    Show();
    form->FileLabel->setText("play.nme");
    form->RewindButtonClick(nullptr);
    ASSERT_TRUE(WaitStopped());
    ASSERT_EQ(form->ReceiveBytesLabel->text(), "2 kB");
    form->PortComboBox->addItem(pty.path);
    form->SynchroButtonClick(form->SynchroButton);
    ASSERT_EQ(form->Mode(), amSync);
    EXPECT_EQ(form->ReceiveBytesLabel->text(), "0 kB") << "the size of the playback before";
    form->StopButtonClick(form->StopButton);

    // A BINR receiver named itself; an NMEA file played next is not it.
    form->DeviceLabel->setText("RX-7 v2.1");
    form->PlayButtonClick(form->PlayButton);
    EXPECT_EQ(form->DeviceLabel->text(), "unknown");
    ASSERT_TRUE(WaitStopped());
}

// ---------------------------------------------------------------- command line

TEST_F(MainWindowTest, CommandLineFilePlaysEvenWhenBinrWasStored)
{
    form.reset();
    {
        QSettings s("Tamrel", "Kestrova");
        const char* names[] = {"Left", "Top", "BaudComboBox", "BINRRadioButton", "NMEARadioButton",
                               "PositionCheckBox", "StatisticCheckBox", "SatellitesCheckBox", "VisualCheckBox",
                               "ProfileCheckBox", "soundEnabled", "_02CheckBox"};
        const int values[] = {5, 5, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1};
        for (size_t i = 0; i < std::size(names); ++i)
            s.setValue(names[i], values[i]);
    }
    QDir(dir.path()).mkdir("tracks");
    ASSERT_TRUE(WriteBytes(PathOf("tracks/drive.nme"), Filler(3000)));
    form.reset(CreateProgramWindows());
    Show();
    EXPECT_EQ(form->FileLabel->text(), "rgfile.dat");
    // As at start-up, after the port list: the protocol switch comes first,
    // and must not rename the file to play.
    form->commandLineFile = PathOf("tracks/drive.nme");
    form->PlayCommandLineFile();
    EXPECT_TRUE(form->NMEARadioButton->isChecked());
    EXPECT_EQ(form->FileLabel->text(), "drive.nme");
    EXPECT_EQ(QDir::current().canonicalPath(), QDir(PathOf("tracks")).canonicalPath());
    EXPECT_EQ(form->Mode(), amPlay);
    ASSERT_TRUE(WaitStopped());
    EXPECT_EQ(form->ReceivedTotal(), 3000);
}

// Any name plays, with the protocol main() chose for it; a file that could
// never end (a FIFO) is not opened at all.
TEST_F(MainWindowTest, CommandLineArgumentPlaysWhateverItsName)
{
    ASSERT_TRUE(WriteBytes(PathOf("data.txt"), Filler(100000)));
    form->commandLineFile = PathOf("data.txt");
    form->commandLineBinr = true;
    Show();
    EXPECT_EQ(form->Mode(), amPlay);
    EXPECT_EQ(form->FileLabel->text(), "data.txt");
    EXPECT_TRUE(form->BINRRadioButton->isChecked());
    form->StopButtonClick(form->StopButton);
    EXPECT_TRUE(WaitStopped());
}

TEST_F(MainWindowTest, CommandLineFifoIsNotOpened)
{
    ASSERT_EQ(mkfifo(QFile::encodeName(PathOf("pipe.nme")).constData(), 0600), 0);
    form->commandLineFile = PathOf("pipe.nme");
    Show();
    EXPECT_EQ(form->Mode(), amStop);
    EXPECT_EQ(form->InfoLabel->text(), "File open error");
}
