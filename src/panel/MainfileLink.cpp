// The panel's face of its parts: the mode it shows and the buttons it
// enables, the transport buttons' and live sources' slots (the transport and
// the live sources act), and PanelLink, what the other windows may ask.
#include "Mainfile.h"

#include "BinrDecoder.h"
#include "Controls.h"
#include "Glyphs.h"
#include "GnssEpoch.h"
#include "LiveSources.h"
#include "NmeaAssembler.h"
#include "Position.h"
#include "Satellites.h"
#include "Statistic.h"
#include "Transport.h"
#include "Visual.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
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

} // namespace

void TMainForm::SetActionMode(uint32_t m)
{
    mode = m;
    const bool drawn = DrawActionGlyph(actionBitmap, m);
    const auto look = std::find_if(std::begin(kModeLooks), std::end(kModeLooks),
                                   [m](const ModeLook& l) { return l.mode == m; });
    if (drawn && look != std::end(kModeLooks)) {
        ActionLabel->setText(QString::fromLatin1(look->caption));
        SetTextColour(ActionLabel, look->colour);
    }
    ActionImage->setPixmap(QPixmap::fromImage(actionBitmap));
    if (TraceModes())
        std::fprintf(stderr, "kestrova: mode %s\n", ActionLabel->text().trimmed().toLatin1().constData());
    emit ModeChanged(m);
}

void TMainForm::SetButtons(ButtonRow row)
{
    const auto state = std::find_if(std::begin(kRows), std::end(kRows), [row](const RowState& r) { return r.row == row; });
    if (state == std::end(kRows))
        return;
    FlatGlyphButton* const buttons[] = {SynchroButton, EjectButton, PlayButton, RewindButton,
                                        PauseButton, StopButton, RecordButton};
    for (size_t i = 0; i < std::size(buttons); ++i)
        buttons[i]->setEnabled(state->on[i]);
    SetProtocolControlsEnabled(state->on[7]);
}

void TMainForm::SetProtocolControlsEnabled(bool on)
{
    // The panel decides for its children; "0x02" keeps its own state,
    // which follows the protocol, and shows it again when the panel is on.
    ModePanel->setEnabled(on);
    PortComboBox->setEnabled(on);
    BaudComboBox->setEnabled(on);
}

// ---------------------------------------------------------------- counters and views

void TMainForm::ResetCounters()
{
    receivedTotal = 0;
    errorCount = 0;
    ReceiveBytesLabel->setText(QStringLiteral("0 kB"));
    ErrorBytesLabel->setText(QStringLiteral("0"));
}

void TMainForm::ResetDecodersAndViews()
{
    ProgramBinr().Reset();
    ProgramNmea().Reset();
    ProgramGnss().Reset();
    if (SatellitesForm)
        SatellitesForm->ClearIndicators();
    if (VisualForm)
        VisualForm->ClearPlot();
}

// ---------------------------------------------------------------- the parts' slots

void TMainForm::EjectButtonClick(QObject*) { transport_->Eject(); }
void TMainForm::PlayButtonClick(QObject*) { transport_->Play(); }
void TMainForm::RewindButtonClick(QObject*) { transport_->FastPlay(); }
void TMainForm::PauseButtonClick(QObject*) { transport_->Pause(); }
void TMainForm::StopButtonClick(QObject* sender) { transport_->Stop(sender != nullptr); }
void TMainForm::RecordButtonClick(QObject* sender) { transport_->Record(sender != nullptr); }
void TMainForm::WatchClick(QObject*) { transport_->Watch(); }
void TMainForm::WatchTimerTimer() { transport_->WatchTick(); }
void TMainForm::ScheduledRecordStart() { transport_->ScheduledStart(); }
void TMainForm::ScheduledRecordStop() { transport_->ScheduledStop(); }
bool TMainForm::PlayCycle(const QString& fileName, const std::function<TReadCycle*(PlaybackCallbacks)>& make)
{
    return transport_->PlayCycle(fileName, make);
}
int TMainForm::LiveCycles() const { return transport_->LiveCycles(); }
TReadCycle* TMainForm::ReadCycle() const { return transport_->ReadCycle(); }
void TMainForm::SetRecordAppend(bool on) { transport_->SetRecordAppend(on); }
QString TMainForm::SideFileFor(const QString& fileName) { return ::SideFileFor(fileName); }

void TMainForm::ConnectionLost() { live_->ConnectionLost(); }
bool TMainForm::Reconnecting() const { return live_->Reconnecting(); }
void TMainForm::SetReconnectEnabled(bool on) { live_->SetReconnectEnabled(on); }
void TMainForm::FillPortList() { live_->FillPortList(); }
void TMainForm::PortComboBoxDropDown() { FillPortList(); }

// ---------------------------------------------------------------- PanelLink

QString TMainForm::FileName() const { return FileLabel->text(); }
bool TMainForm::Binr() const { return BINRRadioButton->isChecked(); }
int TMainForm::LineRate() const { return BaudComboBox->currentText().toInt(); }
void TMainForm::SetStatusText(const QString& text) { InfoLabel->setText(text); }

void TMainForm::SeekReset(int64_t offset, const std::vector<uint8_t>& before)
{
    ResetDecodersAndViews();
    ProgramNmea() = NmeaAssembler();
    ProgramBinr() = BinrDecoder();
    if (PositionForm)
        PositionForm->ForgetKeptTexts();
    // The epochs before it set what a play would show at this epoch (the
    // date, the fix, the satellites); what counts and collects starts afresh.
    PrimeFromBytes(before.data(), before.size());
    if (VisualForm)
        VisualForm->ClearPlot();
    if (StatisticForm)
        StatisticForm->ResetStatistics();
    SetReceivedTotal(offset);
}

void TMainForm::OnModeChanged(QObject* context, std::function<void()> f)
{
    connect(this, &TMainForm::ModeChanged, context, [f = std::move(f)] { f(); });
}

void TMainForm::OnPanelPlaced(QObject* context, std::function<void()> f)
{
    connect(this, &TMainForm::PanelPlaced, context, [f = std::move(f)] { f(); });
}
