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

namespace {

constexpr int kNmeaStepMs = 1000;
constexpr int kBinrStepMs = 500;
// Lets the receiver act on a protocol-switch command before the port closes.
constexpr unsigned long kSwitchWaitMs = 200;
constexpr unsigned long kCommandGapMs = 200;   // between commands to the receiver
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

void Synchro::SendRecordStartSequence()
{
    panel_.SendBinr(kCmdStopOutput, nullptr, 0);
    panel_.SendBinr(kCmdDeviceInfo, nullptr, 0);
    // Output rates of the six messages the views and the synthesis read.
    for (const uint8_t message : {0x01, 0x04, 0x02, 0x05, 0x03, 0x06}) {
        QThread::msleep(kCommandGapMs);
        const uint8_t rate[] = {0x03, message};
        panel_.SendBinr(kCmdOutputRate, rate, 2);
    }
    QThread::msleep(kCommandGapMs);
    if (panel_._02CheckBox->isChecked()) {
        const uint8_t on[] = {0x01};
        panel_.SendBinr(kCmdHeartbeat, on, 1);
    }
    if (panel_.PositionCheckBox->isChecked())
        SendPositionCommands(true);
}

void Synchro::SendPositionCommands(bool on)
{
    const uint8_t flag[] = {uint8_t(on ? 0x01 : 0x00)};
    const uint8_t rate[] = {uint8_t(on ? 0x05 : 0x00)};
    panel_.SendBinr(kCmdPosition21, flag, 1);
    panel_.SendBinr(kCmdPosition27, flag, 1);
    panel_.SendBinr(kCmdPosition35, flag, 1);
    panel_.SendBinr(kCmdPosition24, rate, 1);
}
