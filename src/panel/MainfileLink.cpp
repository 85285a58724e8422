// The panel's face of its parts: the mode it shows and the buttons it
// enables, the transport buttons' and live sources' slots (the transport and
// the live sources act), and PanelLink, what the other windows may ask.
#include "Mainfile.h"

#include "BenchDock.h"
#include "ConsoleDock.h"
#include "Comm.h"
#include "BinrLayouts.h"
#include "SourceFeed.h"
#include "GnssEpoch.h"
#include "LiveSources.h"
#include "PanelLayout.h"
#include "Satellites.h"
#include "Synchro.h"
#include "Transport.h"
#include "Visual.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QRadioButton>

void TMainForm::SetActionMode(uint32_t m)
{
    mode = m;
    intake_.SetHunting(m == amSync);
    ShowActionMode(*this, actionBitmap, m);
    emit ModeChanged(m);
}

void TMainForm::SetButtons(ButtonRow row) { EnableButtonRow(*this, row); }

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
    intake_.Reset();
    console_->ResetViews();
    if (SatellitesForm)
        SatellitesForm->ClearIndicators();
    if (VisualForm)
        VisualForm->ClearPlot();
}

void TMainForm::ReceiveBytes(const uint8_t* bytes, int length) { feed_->ReceiveBytes(bytes, length); }
void TMainForm::PrimeFromBytes(const uint8_t* bytes, size_t length) { feed_->PrimeFromBytes(bytes, length); }
void TMainForm::CountLineError() { feed_->CountLineError(); }
void TMainForm::SetReceivedTotal(int64_t total) { feed_->SetReceivedTotal(total); }
void TMainForm::SetMultiGnss(bool on) { feed_->SetMultiGnss(on); }
bool TMainForm::MultiGnss() const { return feed_->MultiGnss(); }
void TMainForm::GnssIdleTimerTimer() { feed_->GnssIdleTimerTimer(); }
int TMainForm::SendBinr(uint8_t id, const uint8_t* payload, int length)
{
    uint8_t frame[kBinrCommandFrameMax];
    const int size = BuildBinrFrame(id, payload, length, frame, kBinrCommandFrameMax);
    return size > 0 ? WritePort(frame, size) : 0;
}

TSignalsForm* TMainForm::ShowSignals() { return console_->ShowSignals(); }
TConsoleForm* TMainForm::ShowConsole() { return console_->ShowConsole(); }
TSignalsForm* TMainForm::SignalsWindow() const { return console_->SignalsWindow(); }
TConsoleForm* TMainForm::ConsoleWindow() const { return console_->ConsoleWindow(); }

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

void TMainForm::SynchroButtonClick(QObject*) { synchro_->Start(); }
void TMainForm::SynchroTimerTimer() { synchro_->Tick(); }
void TMainForm::NMEARadioButtonClick(QObject*) { synchro_->NmeaSelected(); }
void TMainForm::BINRRadioButtonClick(QObject*) { synchro_->BinrSelected(); }

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

void TMainForm::SeekReset(int64_t offset, const std::vector<uint8_t>& before) { transport_->SeekReset(offset, before); }
void TMainForm::ShowBenchReplay(const std::shared_ptr<BenchReplay>& replay) { bench_->ShowReplay(replay); }
void TMainForm::BenchReplayUpdated() { bench_->ReplayUpdated(); }

void TMainForm::OnModeChanged(QObject* context, std::function<void()> f) { connect(this, &TMainForm::ModeChanged, context, f); }
void TMainForm::OnPanelPlaced(QObject* context, std::function<void()> f) { connect(this, &TMainForm::PanelPlaced, context, f); }
