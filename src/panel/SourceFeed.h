#pragma once
// The panel's end of the byte road: a block from the source is recorded
// first, then decoded by the panel's intake, whose results this part hears
// (it is the intake's first listener) and turns into the views' refreshes,
// the NMEA side file, the synchronization's answers and the counters; then
// every window is repainted. Also the Multi-GNSS option of the panel.
#include "DecodeSilence.h"
#include "Intake.h"

#include <QObject>
#include <QString>
#include <cstddef>
#include <cstdint>

class QAction;
class QSettings;
class TMainForm;

class SourceFeed : public QObject, public IntakeListener {
public:
    explicit SourceFeed(TMainForm& panel);

    void ReceiveBytes(const uint8_t* bytes, int length);
    void PrimeFromBytes(const uint8_t* bytes, size_t length);
    void AppendToRecordFile(const uint8_t* bytes, int length);
    void CountLineError();
    void ShowErrorCount();
    void ShowReceivedTotal();
    void SetReceivedTotal(int64_t total);

    // A live source starts: what it has decoded so far is forgotten.
    void BeginLive();
    // The information line's routine text (the reception, a playback's
    // progress) unless a notice holds the line: that bytes arrive and none
    // decodes, or the once-said Multi-GNSS hint for a while.
    QString Line(const QString& routine) const;

    void SetMultiGnss(bool on);
    bool MultiGnss() const;
    void LoadMultiGnssSetting(const QSettings& s);
    void SaveMultiGnssSetting(QSettings& s) const;
    // Shows the last completed Multi-GNSS epoch in POSITION and SATELLITES;
    // CompleteGnssEpoch first completes the one under way (end of data).
    void CompleteGnssEpoch();
    void GnssIdleTimerTimer();
    void PlaceProfile();
    // The classic views show other's results instead of the panel's intake
    // (a bench receiver clicked in the BENCH window), starting afresh on it;
    // null: the panel's intake again. The panel's own source goes on being
    // recorded, counted and synchronized meanwhile; only its views are lent.
    void Follow(Intake* other);
    Intake* Following() const { return following_; }

    void OnNmeaResult(const Intake& intake, int result) override;
    void OnBinrResult(const Intake& intake, int result) override;
    void OnGnssEpoch(const Intake& intake) override;

private:
    void AddMultiGnssMenu();
    void FinishBinrSync();
    void ShowBinr(const Intake& intake, int result);
    void RepaintWindows();
    // The views start afresh, reading the source one way (Multi-GNSS or not).
    void RestartViews(bool multiGnss);
    void WatchGnssIdle();
    // Whether intake's results drive the views now.
    bool Shown(const Intake& intake) const;
    // Whether intake is the panel's own source (not a followed receiver).
    bool Own(const Intake& intake) const;

    // Bytes of the panel's live source that do not decode: said on the
    // information line, and once per source on stderr when headless.
    void WatchDecoding(int length);
    void OfferMultiGnssHint(const Intake& intake, int result);

    TMainForm& panel_;
    DecodeSilence silence_;
    bool silenceSaid_ = false;
    bool hintSaid_ = false;
    int64_t hintUntilMs_ = 0;
    int64_t gnssLastBytesUs_ = 0;
    QAction* multiGnssAction_ = nullptr;
    Intake* following_ = nullptr;
    bool followedFixesOn_ = false;   // the followed intake's own setting, given back
};

// The name of the record file after a BINR synchronization: the device text
// up to its first blank, "_c", the first digit of the port name, ".dat".
// The device text comes from the receiver, so path separators and control
// characters become "_" and the name always stays in the current folder.
QString SyncRecordFileName(const QString& deviceText, const QString& portName);
// "N kB" below 1 MiB, "N.N MB" from there.
QString ReceivedText(int64_t total);
