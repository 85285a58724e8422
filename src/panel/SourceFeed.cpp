// The panel's end of the byte road. Whatever the source (the serial reader
// or a played file), a block arrives here on the main thread while its
// producer waits; it is recorded, then the panel's intake decodes it in the
// selected protocol, and the panel, listening, lets completed sentences and
// messages drive the views, the synthesis and the synchronization; then the
// block is counted and every window has been repainted before the producer
// is released.
#include "SourceFeed.h"

#include "Mainfile.h"

#include "MonotonicClock.h"
#include "MultiGnssHint.h"

#include "BinrLayouts.h"
#include "Comm.h"
#include "ConsoleDock.h"
#include "Controls.h"
#include "ViewDock.h"
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
#include <cstdio>
#include <limits>

namespace {

constexpr int64_t kKiB = 1024;
constexpr int64_t kMiB = 1024 * 1024;
// The record file is closed and reopened whenever the total, in whole KiB,
// is a multiple of this: the data reaches the disk in 128 KiB steps.
constexpr int64_t kReopenEveryKiB = 128;
constexpr int kSyncFound = 10;   // panel_.syncIndex once the receiver took the new rate
// The Multi-GNSS hint holds the information line this long against the
// routine texts, then gives way to them.
constexpr int64_t kHintHoldMs = 10000;

const QString kUndecodedText = QStringLiteral("Nothing decodes: try Synchronization");
const QString kMultiGnssHint = QStringLiteral(
    "This receiver sends multi-GNSS/RTK data: turn on Multi-GNSS (title strip menu) to see it.");

// Whether a result shows the line is read right. Bytes at a wrong rate can
// still frame now and then: an NMEA "sentence" without a checksum, a BINR
// frame (which has none) of any ID. Only what a receiver would send counts:
// a sentence of a kind the views read, another one with an address of
// letters and digits; a BINR message whose length was checked.
bool NmeaDecoded(int result, const NmeaFields& sentence)
{
    if (result > kNmeaOther)
        return true;
    if (result != kNmeaOther)
        return false;
    constexpr size_t kAddressMin = 5;
    const char* a = sentence.slot[0];
    size_t n = 0;
    for (; a[n] != '\0'; ++n)
        if (!((a[n] >= 'A' && a[n] <= 'Z') || (a[n] >= '0' && a[n] <= '9')))
            return false;
    return n >= kAddressMin;
}

bool BinrDecoded(int result)
{
    return result == kMsgNavSolution || result == kMsgDopInfo || result == kMsgDeviceInfo || result == kMsgSatInView
           || result == kMsgSolutionStatus;
}

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

void SourceFeed::ReceiveBytes(const uint8_t* bytes, int length)
{
    if (bytes == nullptr || length < 0)
        length = 0;
    // The raw bytes reach the record file before the decoders run: a side
    // file that fills the disk must not take the room the recording needed.
    const bool recording = panel_.mode == amRecord;
    if (recording) {
        panel_.console_->RecordSentCommands();   // CONSOLE
        panel_.receivedTotal += length;
        panel_.watchTicks = 0;
        AppendToRecordFile(bytes, length);
    }
    // The protocol switch is read once per block; each completion reaches
    // OnNmeaResult or OnBinrResult before the next byte is fed.
    const bool nmea = panel_.NMEARadioButton->isChecked();
    // The source's fixes are judged while STATISTIC shows them.
    panel_.intake_.SetFixesOn(panel_.StatisticCheckBox->isChecked() && StatisticForm);
    panel_.intake_.Receive(bytes, length, nmea ? Protocol::Nmea : Protocol::Binr);
    if (panel_.priming_)
        return;
    // Read after routing: a routed byte may have ended a synchronization.
    // A pause cannot stop the block already handed over; it still counts, or
    // the total and the percentage would come out short after a pause.
    if (recording || panel_.mode == amWatch)
        WatchDecoding(length);
    if (recording) {
        ShowReceivedTotal();
    } else if (panel_.mode == amWatch || panel_.mode == amPlay || panel_.mode == amFastPlay || panel_.mode == amPause) {
        panel_.receivedTotal += length;
        if (panel_.mode == amWatch) {
            panel_.watchTicks = 0;
            panel_.InfoLabel->setText(Line(QStringLiteral("Receive...")));
        }
        ShowReceivedTotal();
    }
    if (nmea && (panel_.mode == amRecord || panel_.mode == amWatch) && panel_.intake_.MultiGnss())
        WatchGnssIdle();
    RepaintWindows();
}

void SourceFeed::PrimeFromBytes(const uint8_t* bytes, size_t length)
{
    const bool report = HeadlessReport();
    SetHeadlessReport(false);
    panel_.priming_ = true;
    for (size_t done = 0; done < length;) {
        const int part = int(std::min<size_t>(length - done, size_t(1) << 20));
        ReceiveBytes(bytes + done, part);
        done += size_t(part);
    }
    panel_.priming_ = false;
    SetHeadlessReport(report);
}

void SourceFeed::AppendToRecordFile(const uint8_t* bytes, int length)
{
    bool written = panel_.recordFile.Append(bytes, length);
    // The receive times describe the file as written: a block or the part of
    // it that went in gets its record (a block that went nowhere gets none),
    // and a file removed under us is no longer the one they describe.
    if (panel_.recordFile.IsOpen())
        panel_.intake_.Times().Append(panel_.recordFile.Size(), MonotonicUs());
    if ((panel_.receivedTotal / kKiB) % kReopenEveryKiB == 0)
        written = panel_.recordFile.Reopen() && written;
    // A hole stays reported until the recording stops: the line never goes
    // back to "Receive..." once bytes are missing from the file. Receive
    // times that were lost say so likewise, with the latest of their notes.
    const ReceiveTimesWriter& times = panel_.intake_.Times();
    if (panel_.recordFile.LostBytes() > 0)
        panel_.InfoLabel->setText(RecordStatusText(panel_.recordFile.LostBytes()));
    else if (!written)
        panel_.InfoLabel->setText(QStringLiteral("File write error"));
    else if (times.AnyLost())
        panel_.InfoLabel->setText(QString::fromStdString(times.Name() + ": " + times.Notes().back().what));
    else
        panel_.InfoLabel->setText(Line(RecordStatusText(0)));
}

// ---------------------------------------------------------------- notices

void SourceFeed::BeginLive()
{
    silence_.Start();
    silenceSaid_ = false;
}

void SourceFeed::WatchDecoding(int length)
{
    if (length <= 0)
        return;
    const int64_t nowMs = MonotonicMs();
    silence_.OnBytes(nowMs);
    if (!silence_.Undecoded(nowMs) || silenceSaid_)
        return;
    silenceSaid_ = true;
    if (panel_.headless)
        std::fprintf(stderr, "kestrova: bytes arrive but nothing decodes: a wrong --baud, or the other protocol "
                             "(--nmea, --binr)? Synchronization in the window finds the receiver's settings\n");
}

QString SourceFeed::Line(const QString& routine) const
{
    const int64_t nowMs = MonotonicMs();
    if ((panel_.mode == amRecord || panel_.mode == amWatch) && silence_.Undecoded(nowMs))
        return kUndecodedText;
    if (hintSaid_ && nowMs < hintUntilMs_)
        return kMultiGnssHint;
    return routine;
}

void SourceFeed::OfferMultiGnssHint(const Intake& intake, int result)
{
    if (hintSaid_ || panel_.priming_ || intake.MultiGnss() || !NeedsMultiGnss(result, intake.Nmea().Working()))
        return;
    hintSaid_ = true;
    hintUntilMs_ = MonotonicMs() + kHintHoldMs;
    panel_.InfoLabel->setText(kMultiGnssHint);
    panel_.InfoLabel->setToolTip(kMultiGnssHint);
}

void SourceFeed::RepaintWindows()
{
    // Only what changed is painted: the pending update of each window is
    // carried out now instead of when the event loop comes round.
    const QWidget* windows[] = {&panel_, PositionForm, StatisticForm, SatellitesForm, VisualForm, ProfileForm};
    for (const QWidget* w : windows)
        if (w && w->isVisible())
            QCoreApplication::sendPostedEvents(const_cast<QWidget*>(w), QEvent::UpdateRequest);
}

// ---------------------------------------------------------------- what drives the views

bool SourceFeed::Own(const Intake& intake) const { return &intake == &panel_.intake_; }
bool SourceFeed::Shown(const Intake& intake) const { return &intake == (following_ ? following_ : &panel_.intake_); }

void SourceFeed::Follow(Intake* other)
{
    if (other == following_ || other == &panel_.intake_)
        return;
    if (following_) {
        following_->RemoveListener(this);
        following_->SetFixesOn(followedFixesOn_);
    }
    following_ = other;
    if (other) {
        // STATISTIC judges the fixes of the source it shows.
        followedFixesOn_ = other->FixesOn();
        other->SetFixesOn(true);
        other->AddListener(this);
    }
    Intake& shown = other ? *other : panel_.intake_;
    panel_.dock_->LinkIntake(shown);
    // Nothing of one source stays on screen beside the other's, as at the
    // start of a playback; the views read the source as it is read.
    RestartViews(shown.MultiGnss());
}

void SourceFeed::RestartViews(bool multiGnss)
{
    if (PositionForm)
        PositionForm->SetMultiGnss(multiGnss);
    if (SatellitesForm) {
        SatellitesForm->SetMultiGnss(multiGnss);
        SatellitesForm->ClearIndicators();
    }
    if (VisualForm)
        VisualForm->ClearPlot();
    if (StatisticForm)
        StatisticForm->ResetStatistics();
    PlaceProfile();
}

void SourceFeed::OnNmeaResult(const Intake& intake, int result)
{
    if (!Own(intake) && !Shown(intake))
        return;
    // The panel's own source is synchronized, counted and written to its
    // side file whoever the views follow.
    if (Own(intake) && panel_.mode == amSync) {
        // Any accepted sentence means the rate being tried is right.
        if (result >= kNmeaOther) {
            panel_.SynchroTimer->stop();
            if (panel_.syncIndex >= 0 && panel_.syncIndex < panel_.BaudComboBox->count())
                panel_.BaudComboBox->setCurrentIndex(panel_.syncIndex);
            panel_.DeviceLabel->setText(QStringLiteral("unknown"));
            panel_.InfoLabel->setText(QStringLiteral("Connection Ok"));
            panel_.StopButtonClick(nullptr);
        }
        return;
    }
    // Multi-GNSS: POSITION and SATELLITES show epochs as the intake
    // completes them (OnGnssEpoch), not at the GGA.
    const bool multiGnss = intake.MultiGnss();
    if (result == kNmeaError && Own(intake))
        CountLineError();
    if (Own(intake) && NmeaDecoded(result, intake.Nmea().Working()))
        silence_.OnDecoded();
    if (!Shown(intake))
        return;
    OfferMultiGnssHint(intake, result);
    switch (result) {
    case kNmeaGga:
        if (!multiGnss && panel_.PositionCheckBox->isChecked() && PositionForm)
            PositionForm->RefreshFromNmea();
        if (panel_.StatisticCheckBox->isChecked() && StatisticForm)
            StatisticForm->ShowStep(intake.LastFix());
        if (!multiGnss && panel_.SatellitesCheckBox->isChecked() && SatellitesForm)
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

void SourceFeed::OnBinrResult(const Intake& intake, int result)
{
    if (!Own(intake)) {
        if (Shown(intake))
            ShowBinr(intake, result);
        return;
    }
    if (BinrDecoded(result))
        silence_.OnDecoded();
    switch (result) {
    case kNmeaError:   // -1, the decoder's error
        CountLineError();
        break;
    case kMsgHeartbeat:
        if (panel_.mode == amSync) {
            const uint8_t off[] = {0x00};
            panel_.SendBinr(kCmdHeartbeat, off, 1);
        }
        break;
    case kMsgBaudAck:
        SetPortBaud(panel_.BaudComboBox->currentText().toInt());
        panel_.syncIndex = kSyncFound;
        break;
    case kMsgSatInView:
        if (panel_.mode == amSync)
            break;
        if (Shown(intake))
            ShowBinr(intake, result);
        if (!panel_.priming_)
            WriteSentencesFor(result, intake.Binr(), intake.Dates());
        break;
    case kMsgDeviceInfo: {
        char text[kDeviceTextMax + 1];
        ReadDeviceText(intake.Binr().DeviceInfo(), text);
        panel_.DeviceLabel->setText(FromText(text));
        if (panel_.mode == amSync)
            FinishBinrSync();
        break;
    }
    case kMsgNavSolution:
        if (panel_.mode == amSync)
            break;
        if (Shown(intake))
            ShowBinr(intake, result);
        if (!panel_.priming_)
            WriteSentencesFor(result, intake.Binr(), intake.Dates());
        break;
    default:
        break;
    }
}

// What a BINR result shows in the views, from whichever intake they show.
void SourceFeed::ShowBinr(const Intake& intake, int result)
{
    if (result == kMsgSatInView) {
        if (VisualForm && VisualForm->SatCheckBox && VisualForm->SatCheckBox->isChecked())
            VisualForm->LoadBinrSatellites();
    } else if (result == kMsgNavSolution) {
        if (panel_.PositionCheckBox->isChecked() && PositionForm)
            PositionForm->RefreshFromBinr();
        if (panel_.StatisticCheckBox->isChecked() && StatisticForm)
            StatisticForm->ShowStep(intake.LastFix());
        if (panel_.SatellitesCheckBox->isChecked() && SatellitesForm)
            SatellitesForm->RefreshFromBinr();
    }
}

void SourceFeed::FinishBinrSync()
{
    // The digit names a serial port; an address's digits mean nothing here.
    const QString port = panel_.PortComboBox->currentText();
    panel_.FileLabel->setText(SyncRecordFileName(panel_.DeviceLabel->text(), LooksLikeNetworkSource(port.toStdString()) ? QString() : port));
    panel_.InfoLabel->setText(QStringLiteral("Connection Ok"));
    panel_.SynchroTimer->stop();
    panel_.StopButtonClick(nullptr);
}

void SourceFeed::CountLineError()
{
    // A stream of garbage must not wrap the count round to negative.
    if (!panel_.priming_ && panel_.errorCount < std::numeric_limits<int32_t>::max())
        ++panel_.errorCount;
    ShowErrorCount();
}

void SourceFeed::ShowErrorCount() { panel_.ErrorBytesLabel->setText(QString::number(panel_.errorCount)); }

void SourceFeed::ShowReceivedTotal() { panel_.ReceiveBytesLabel->setText(ReceivedText(panel_.receivedTotal)); }

void SourceFeed::SetReceivedTotal(int64_t total)
{
    panel_.receivedTotal = total;
    ShowReceivedTotal();
}
