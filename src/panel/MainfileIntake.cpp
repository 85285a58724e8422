// The panel's end of the byte road. Whatever the source (the serial reader
// or a played file), a block arrives here on the main thread while its
// producer waits; it is recorded, then the panel's intake decodes it in the
// selected protocol, and the panel, listening, lets completed sentences and
// messages drive the views, the synthesis and the synchronization; then the
// block is counted and every window has been repainted before the producer
// is released.
#include "Mainfile.h"

#include "BinrLayouts.h"
#include "Comm.h"
#include "ConsoleDock.h"
#include "Controls.h"
#include "Nmeafile.h"
#include "Position.h"
#include "Profile.h"
#include "Report.h"
#include "Satellites.h"
#include "SourceAddress.h"
#include "Statistic.h"
#include "Visual.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QRadioButton>

#include <algorithm>
#include <limits>

namespace {

constexpr int64_t kKiB = 1024;
constexpr int64_t kMiB = 1024 * 1024;
// The record file is closed and reopened whenever the total, in whole KiB,
// is a multiple of this: the data reaches the disk in 128 KiB steps.
constexpr int64_t kReopenEveryKiB = 128;
constexpr int kSyncFound = 10;   // syncIndex once the receiver took the new rate

} // namespace

// ---------------------------------------------------------------- texts

QString ReceivedText(int64_t total)
{
    if (total >= kMiB)
        return QString::asprintf("%.1f MB", double(total) / double(kMiB));
    return QString::number(total / kKiB) + QStringLiteral(" kB");
}

QString SyncRecordFileName(const QString& deviceText, const QString& portName)
{
    const qsizetype blank = deviceText.indexOf(QLatin1Char(' '));
    QString device = blank < 0 ? QString() : deviceText.left(blank);
    for (QChar& c : device)
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char('_');
    QString digit;
    for (const QChar c : portName)
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            digit = c;
            break;
        }
    return device + QStringLiteral("_c") + digit + QStringLiteral(".dat");
}

// ---------------------------------------------------------------- intake

void TMainForm::ReceiveBytes(const uint8_t* bytes, int length)
{
    if (bytes == nullptr || length < 0)
        length = 0;
    // The raw bytes reach the record file before the decoders run: a side
    // file that fills the disk must not take the room the recording needed.
    const bool recording = mode == amRecord;
    if (recording) {
        console_->RecordSentCommands();   // CONSOLE
        receivedTotal += length;
        watchTicks = 0;
        AppendToRecordFile(bytes, length);
    }
    // The protocol switch is read once per block; each completion reaches
    // OnNmeaResult or OnBinrResult before the next byte is fed.
    const bool nmea = NMEARadioButton->isChecked();
    // The source's fixes are judged while STATISTIC shows them.
    intake_.SetFixesOn(StatisticCheckBox->isChecked() && StatisticForm);
    intake_.Receive(bytes, length, nmea ? Protocol::Nmea : Protocol::Binr);
    if (priming_)
        return;
    // Read after routing: a routed byte may have ended a synchronization.
    // A pause cannot stop the block already handed over; it still counts, or
    // the total and the percentage would come out short after a pause.
    if (recording) {
        ShowReceivedTotal();
    } else if (mode == amWatch || mode == amPlay || mode == amFastPlay || mode == amPause) {
        receivedTotal += length;
        if (mode == amWatch) {
            watchTicks = 0;
            InfoLabel->setText(QStringLiteral("Receive..."));
        }
        ShowReceivedTotal();
    }
    if (nmea && (mode == amRecord || mode == amWatch) && intake_.MultiGnss())
        WatchGnssIdle();
    RepaintWindows();
}

void TMainForm::PrimeFromBytes(const uint8_t* bytes, size_t length)
{
    const bool report = HeadlessReport();
    SetHeadlessReport(false);
    priming_ = true;
    for (size_t done = 0; done < length;) {
        const int part = int(std::min<size_t>(length - done, size_t(1) << 20));
        ReceiveBytes(bytes + done, part);
        done += size_t(part);
    }
    priming_ = false;
    SetHeadlessReport(report);
}

void TMainForm::AppendToRecordFile(const uint8_t* bytes, int length)
{
    bool written = recordFile.Append(bytes, length);
    // The receive times describe the file as written: a block or the part of
    // it that went in gets its record (a block that went nowhere gets none),
    // and a file removed under us is no longer the one they describe.
    if (recordFile.IsOpen())
        recordTimes.Append(recordFile.Size(), MonotonicUs());
    if ((receivedTotal / kKiB) % kReopenEveryKiB == 0)
        written = recordFile.Reopen() && written;
    // A hole stays reported until the recording stops: the line never goes
    // back to "Receive..." once bytes are missing from the file.
    if (recordFile.LostBytes() > 0 || written)
        InfoLabel->setText(RecordStatusText(recordFile.LostBytes()));
    else
        InfoLabel->setText(QStringLiteral("File write error"));
}

void TMainForm::RepaintWindows()
{
    // Only what changed is painted: the pending update of each window is
    // carried out now instead of when the event loop comes round.
    const QWidget* windows[] = {this, PositionForm, StatisticForm, SatellitesForm, VisualForm, ProfileForm};
    for (const QWidget* w : windows)
        if (w && w->isVisible())
            QCoreApplication::sendPostedEvents(const_cast<QWidget*>(w), QEvent::UpdateRequest);
}

void TMainForm::OnNmeaResult(const Intake& intake, int result)
{
    if (mode == amSync) {
        // Any accepted sentence means the rate being tried is right.
        if (result >= kNmeaOther) {
            SynchroTimer->stop();
            if (syncIndex >= 0 && syncIndex < BaudComboBox->count())
                BaudComboBox->setCurrentIndex(syncIndex);
            DeviceLabel->setText(QStringLiteral("unknown"));
            InfoLabel->setText(QStringLiteral("Connection Ok"));
            StopButtonClick(nullptr);
        }
        return;
    }
    // Multi-GNSS: POSITION and SATELLITES show epochs as the intake
    // completes them (OnGnssEpoch), not at the GGA.
    const bool multiGnss = intake.MultiGnss();
    switch (result) {
    case kNmeaError:
        CountLineError();
        break;
    case kNmeaGga:
        if (!multiGnss && PositionCheckBox->isChecked() && PositionForm)
            PositionForm->RefreshFromNmea();
        if (StatisticCheckBox->isChecked() && StatisticForm)
            StatisticForm->ShowStep(intake.LastFix());
        if (!multiGnss && SatellitesCheckBox->isChecked() && SatellitesForm)
            SatellitesForm->RefreshFromNmea();
        break;
    case kNmeaGsv:
        if (VisualForm && VisualForm->SatCheckBox && VisualForm->SatCheckBox->isChecked())
            VisualForm->LoadGsvSatellites();
        break;
    default:
        break;
    }
}

void TMainForm::OnBinrResult(const Intake& intake, int result)
{
    switch (result) {
    case kNmeaError:   // -1, the decoder's error
        CountLineError();
        break;
    case kMsgHeartbeat:
        if (mode == amSync) {
            const uint8_t off[] = {0x00};
            SendBinr(kCmdHeartbeat, off, 1);
        }
        break;
    case kMsgBaudAck:
        SetPortBaud(BaudComboBox->currentText().toInt());
        syncIndex = kSyncFound;
        break;
    case kMsgSatInView:
        if (mode == amSync)
            break;
        if (VisualForm && VisualForm->SatCheckBox && VisualForm->SatCheckBox->isChecked())
            VisualForm->LoadBinrSatellites();
        if (!priming_)
            WriteSentencesFor(result, intake.Binr(), intake.Dates());
        break;
    case kMsgDeviceInfo: {
        char text[kDeviceTextMax + 1];
        ReadDeviceText(intake.Binr().DeviceInfo(), text);
        DeviceLabel->setText(FromText(text));
        if (mode == amSync)
            FinishBinrSync();
        break;
    }
    case kMsgNavSolution:
        if (mode == amSync)
            break;
        if (PositionCheckBox->isChecked() && PositionForm)
            PositionForm->RefreshFromBinr();
        if (StatisticCheckBox->isChecked() && StatisticForm)
            StatisticForm->ShowStep(intake.LastFix());
        if (SatellitesCheckBox->isChecked() && SatellitesForm)
            SatellitesForm->RefreshFromBinr();
        if (!priming_)
            WriteSentencesFor(result, intake.Binr(), intake.Dates());
        break;
    default:
        break;
    }
}

void TMainForm::FinishBinrSync()
{
    // The digit names a serial port; an address's digits mean nothing here.
    const QString port = PortComboBox->currentText();
    FileLabel->setText(SyncRecordFileName(DeviceLabel->text(), LooksLikeNetworkSource(port.toStdString()) ? QString() : port));
    InfoLabel->setText(QStringLiteral("Connection Ok"));
    SynchroTimer->stop();
    StopButtonClick(nullptr);
}

void TMainForm::CountLineError()
{
    // A stream of garbage must not wrap the count round to negative.
    if (!priming_ && errorCount < std::numeric_limits<int32_t>::max())
        ++errorCount;
    ShowErrorCount();
}

void TMainForm::ShowErrorCount() { ErrorBytesLabel->setText(QString::number(errorCount)); }

void TMainForm::ShowReceivedTotal() { ReceiveBytesLabel->setText(ReceivedText(receivedTotal)); }

void TMainForm::SetReceivedTotal(int64_t total)
{
    receivedTotal = total;
    ShowReceivedTotal();
}

int TMainForm::SendBinr(uint8_t id, const uint8_t* payload, int length)
{
    uint8_t frame[kBinrCommandFrameMax];
    const int size = BuildBinrFrame(id, payload, length, frame, kBinrCommandFrameMax);
    return size > 0 ? WritePort(frame, size) : 0;
}
