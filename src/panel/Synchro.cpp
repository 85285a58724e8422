// Receiver synchronization and the protocol switch (Synchro.h).
//
// The search listens at each rate of BaudComboBox for one SynchroTimer tick;
// the routing of received bytes (ReceiveBytes) notices the receiver's answer
// and ends it. With BINR every tick also commands the receiver, at the rate
// being tried, to move to the user's rate; once it has (message 0x50) the
// ticks ask for its identification until message 0x70 names it.
#include "Synchro.h"

#include "Mainfile.h"

#include "BinrDecoder.h"
#include "BinrEncoder.h"
#include "BinrLayouts.h"
#include "BinrStartSequence.h"
#include "Comm.h"
#include "NmeaAssembler.h"
#include "SourceAddress.h"
#include "NmeaChecksum.h"
#include "WeekRollover.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QThread>

#include <string>
#include <vector>

namespace {

constexpr int kNmeaStepMs = 1000;
constexpr int kBinrStepMs = 500;
// Lets the receiver act on a protocol-switch command before the port closes.
constexpr unsigned long kSwitchWaitMs = 200;
constexpr int kBinrSwitchBaudIndex = 5;   // 115200
const QString kNotAvailable = "Not available for this source";

// "$PVKTA,0,115200,3*hh\r\n": an NMEA receiver moves to BINR at 115200.
std::string BinrSwitchSentence() { return NmeaSentence("PVKTA,0,115200,3"); }

} // namespace

Synchro::Synchro(TMainForm& panel) : panel_(panel) {}

void Synchro::Start()
{
    if (!SourceTakesCommands(panel_.PortComboBox->currentText().toStdString())) {
        panel_.InfoLabel->setText(kNotAvailable);
        return;
    }
    const bool binr = panel_.BINRRadioButton->isChecked();
    if (!OpenPort(panel_.PortComboBox->currentText(), panel_.BaudComboBox->itemText(0).toInt(), binr ? 1 : 0)) {
        panel_.DeviceLabel->setText("unknown");
        panel_.InfoLabel->setText("Connection failed");
        return;
    }
    panel_.InfoLabel->setText("Connection baud: " + panel_.BaudComboBox->itemText(0));
    panel_.syncIndex = 0;
    panel_.SynchroTimer->start();
    // The counts of a recording or playback before do not belong to this search.
    panel_.ResetCounters();
    panel_.intake_.Dates().UseClock();
    panel_.intake_.ResetDecoders();
    panel_.SetActionMode(amSync);
    panel_.SetButtons(ButtonRow::Sync);
    if (binr) {
        const BinrBytes payload = PortSettingPayload(uint32_t(panel_.BaudComboBox->currentText().toInt()), kPortModeBinr);
        panel_.SendBinr(kCmdReset, nullptr, 0);
        panel_.SendBinr(kCmdPortSetting, payload.data(), int(payload.size()));
    }
}

void Synchro::Tick()
{
    if (panel_.syncIndex == 10) {
        panel_.SendBinr(kCmdDeviceInfo, nullptr, 0);
        return;
    }
    ++panel_.syncIndex;
    if (panel_.syncIndex >= panel_.BaudComboBox->count()) {
        panel_.DeviceLabel->setText("unknown");
        panel_.InfoLabel->setText("Connection failed");
        panel_.StopButtonClick(nullptr);
        return;
    }
    const QString rate = panel_.BaudComboBox->itemText(panel_.syncIndex);
    if (!SetPortBaud(rate.toInt())) {
        // The adapter kept its old rate: an answer now would be taken for
        // one at a rate the line does not run at, so the search ends here.
        panel_.DeviceLabel->setText("unknown");
        panel_.StopButtonClick(nullptr);
        panel_.InfoLabel->setText("Rate change refused");
        return;
    }
    panel_.InfoLabel->setText("Connection baud: " + rate);
    if (panel_.BINRRadioButton->isChecked()) {
        const BinrBytes payload = PortSettingPayload(uint32_t(panel_.BaudComboBox->currentText().toInt()), kPortModeBinr);
        panel_.SendBinr(kCmdReset, nullptr, 0);
        panel_.SendBinr(kCmdPortSetting, payload.data(), int(payload.size()));
    }
}

void Synchro::NmeaSelected()
{
    panel_._02CheckBox->setEnabled(false);
    panel_.FileLabel->setText("rgfile.nme");
    panel_.SynchroTimer->setInterval(kNmeaStepMs);
    // A source that takes no commands keeps talking what it talks: the
    // switch only says how its bytes are read.
    if (!SourceTakesCommands(panel_.PortComboBox->currentText().toStdString())) {
        panel_.InfoLabel->setText(kNotAvailable);
        return;
    }
    // The receiver is taken to talk BINR (odd parity): tell it to go back to NMEA.
    if (OpenPort(panel_.PortComboBox->currentText(), panel_.BaudComboBox->currentText().toInt(), 1)) {
        const BinrBytes payload = PortSettingPayload(0, kPortModeNmea);
        panel_.SendBinr(kCmdPortSetting, payload.data(), int(payload.size()));
        QThread::msleep(kSwitchWaitMs);
        ClosePort();
    }
}

void Synchro::BinrSelected()
{
    panel_._02CheckBox->setEnabled(true);
    panel_.FileLabel->setText("rgfile.dat");
    panel_.SynchroTimer->setInterval(kBinrStepMs);
    if (!SourceTakesCommands(panel_.PortComboBox->currentText().toStdString())) {
        panel_.InfoLabel->setText(kNotAvailable);
        return;
    }
    // The receiver is taken to talk NMEA (no parity).
    if (!OpenPort(panel_.PortComboBox->currentText(), panel_.BaudComboBox->currentText().toInt(), 0))
        return;
    const std::string sentence = BinrSwitchSentence();
    WritePort(reinterpret_cast<const uint8_t*>(sentence.data()), int(sentence.size()));
    QThread::msleep(kSwitchWaitMs);
    ClosePort();
    panel_.BaudComboBox->setCurrentIndex(kBinrSwitchBaudIndex);
}

namespace {

// The classic window waits on the main thread between commands, as it
// always has; the bench paces the same steps with a timer.
void SendSteps(const std::vector<BinrCommandStep>& steps)
{
    for (const BinrCommandStep& step : steps) {
        if (step.gapBeforeMs > 0)
            QThread::msleep(static_cast<unsigned long>(step.gapBeforeMs));
        if (!step.frame.empty())
            WritePort(step.frame.data(), int(step.frame.size()));
    }
}

} // namespace

void Synchro::SendRecordStartSequence()
{
    SendSteps(BinrRecordStartSequence(panel_._02CheckBox->isChecked(), panel_.PositionCheckBox->isChecked()));
}

void Synchro::SendPositionCommands(bool on) { SendSteps(BinrPositionCommands(on)); }
