// Receiver synchronization and the protocol switch.
//
// The search listens at each rate of BaudComboBox for one SynchroTimer tick;
// the routing of received bytes (ReceiveBytes) notices the receiver's answer
// and ends it. With BINR every tick also commands the receiver, at the rate
// being tried, to move to the user's rate; once it has (message 0x50) the
// ticks ask for its identification until message 0x70 names it.
#include "Mainfile.h"

#include "BinrDecoder.h"
#include "BinrEncoder.h"
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
constexpr int kBinrSwitchBaudIndex = 5;   // 115200
const QString kNotAvailable = "Not available for this source";

// "$PVKTA,0,115200,3*hh\r\n": an NMEA receiver moves to BINR at 115200.
std::string BinrSwitchSentence() { return NmeaSentence("PVKTA,0,115200,3"); }

} // namespace

void TMainForm::SynchroButtonClick(QObject*)
{
    if (!SourceTakesCommands(PortComboBox->currentText().toStdString())) {
        InfoLabel->setText(kNotAvailable);
        return;
    }
    const bool binr = BINRRadioButton->isChecked();
    if (!OpenPort(PortComboBox->currentText(), BaudComboBox->itemText(0).toInt(), binr ? 1 : 0)) {
        DeviceLabel->setText("unknown");
        InfoLabel->setText("Connection failed");
        return;
    }
    InfoLabel->setText("Connection baud: " + BaudComboBox->itemText(0));
    syncIndex = 0;
    SynchroTimer->start();
    // The counts of a recording or playback before do not belong to this search.
    ResetCounters();
    UseClockForDates();
    ProgramBinr().Reset();
    ProgramNmea().Reset();
    SetActionMode(amSync);
    SetButtons(ButtonRow::Sync);
    if (binr) {
        const BinrBytes payload = PortSettingPayload(uint32_t(BaudComboBox->currentText().toInt()), kPortModeBinr);
        SendBinr(kCmdReset, nullptr, 0);
        SendBinr(kCmdPortSetting, payload.data(), int(payload.size()));
    }
}

void TMainForm::SynchroTimerTimer()
{
    if (syncIndex == 10) {
        SendBinr(kCmdDeviceInfo, nullptr, 0);
        return;
    }
    ++syncIndex;
    if (syncIndex >= BaudComboBox->count()) {
        DeviceLabel->setText("unknown");
        InfoLabel->setText("Connection failed");
        StopButtonClick(nullptr);
        return;
    }
    const QString rate = BaudComboBox->itemText(syncIndex);
    if (!SetPortBaud(rate.toInt())) {
        // The adapter kept its old rate: an answer now would be taken for
        // one at a rate the line does not run at, so the search ends here.
        DeviceLabel->setText("unknown");
        StopButtonClick(nullptr);
        InfoLabel->setText("Rate change refused");
        return;
    }
    InfoLabel->setText("Connection baud: " + rate);
    if (BINRRadioButton->isChecked()) {
        const BinrBytes payload = PortSettingPayload(uint32_t(BaudComboBox->currentText().toInt()), kPortModeBinr);
        SendBinr(kCmdReset, nullptr, 0);
        SendBinr(kCmdPortSetting, payload.data(), int(payload.size()));
    }
}

void TMainForm::NMEARadioButtonClick(QObject*)
{
    _02CheckBox->setEnabled(false);
    FileLabel->setText("rgfile.nme");
    SynchroTimer->setInterval(kNmeaStepMs);
    // A source that takes no commands keeps talking what it talks: the
    // switch only says how its bytes are read.
    if (!SourceTakesCommands(PortComboBox->currentText().toStdString())) {
        InfoLabel->setText(kNotAvailable);
        return;
    }
    // The receiver is taken to talk BINR (odd parity): tell it to go back to NMEA.
    if (OpenPort(PortComboBox->currentText(), BaudComboBox->currentText().toInt(), 1)) {
        const BinrBytes payload = PortSettingPayload(0, kPortModeNmea);
        SendBinr(kCmdPortSetting, payload.data(), int(payload.size()));
        QThread::msleep(kSwitchWaitMs);
        ClosePort();
    }
}

void TMainForm::BINRRadioButtonClick(QObject*)
{
    _02CheckBox->setEnabled(true);
    FileLabel->setText("rgfile.dat");
    SynchroTimer->setInterval(kBinrStepMs);
    if (!SourceTakesCommands(PortComboBox->currentText().toStdString())) {
        InfoLabel->setText(kNotAvailable);
        return;
    }
    // The receiver is taken to talk NMEA (no parity).
    if (!OpenPort(PortComboBox->currentText(), BaudComboBox->currentText().toInt(), 0))
        return;
    const std::string sentence = BinrSwitchSentence();
    WritePort(reinterpret_cast<const uint8_t*>(sentence.data()), int(sentence.size()));
    QThread::msleep(kSwitchWaitMs);
    ClosePort();
    BaudComboBox->setCurrentIndex(kBinrSwitchBaudIndex);
}
