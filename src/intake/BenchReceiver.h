#pragma once
// One receiver of a bench, live or replayed: its own intake, and the
// figures the bench compares, updated once a second from the epochs so far.
//
// The figures are the report's (Figures.h) with the report's definitions,
// so the bench's table at the end of a test equals the report of its
// recordings. The state behind them is bounded: a bench left running for a
// day keeps its memory flat (docs/guide.md, "The bench", says how).
//
// Qt-free: the recorder, the replay, the window and the headless bench all
// drive receivers through this one class.
//
// How the figures equal the report's: the receiver's bytes go, as they come,
// through its intake's decoders, once; an EpochCollector hears each result
// with where it ended and judges it as `kestrova --report` does on the
// recording, into a live EpochLog, and Update runs ComputeFigures on it. The
// time to first fix is that of the block that completed the first accepted
// fix, since Start, in whole milliseconds as the .times file holds it.
//
// How the state stays bounded: the live log keeps at most kLiveEpochsMax
// epochs. When it would hold more, it is thinned evenly: from then on it
// keeps only the epochs whose number (from Start) is a multiple of a step,
// the step doubling each time the log fills again. Until the first thinning
// (1.8 hours at 10 Hz, 18 hours at 1 Hz) every figure is exactly the
// report's. After it the counts stay exact (epochs, accepted fixes, each
// kind and dimension, satellites used, decoding errors, SNR means, time to
// first fix); the accuracy percentiles, the DOP percentiles, bias and SD are
// read off the thinned log; the rate is the one measured before the first
// thinning, and the missing epochs (so availability) are the epochs that
// rate gives the span less those counted. Gaps and span come from the
// thinned log.
#include "BenchFolder.h"
#include "EpochCollector.h"
#include "EpochLog.h"
#include "Figures.h"
#include "Intake.h"

#include <array>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What the receiver's link is doing; the bench's column shows it.
enum class BenchState : uint8_t { Idle, Opening, Live, Lost, Failed, Ended };
// "", "opening", "live", "lost", "failed", "ended".
const char* BenchStateText(BenchState state);

// The reference as the figures take it: radians, metres; the report's
// --reference and bench.json's reference convert alike.
GeoPoint BenchReferencePoint(const BenchReference& reference);

// What the receiver's last epoch said.
struct BenchNow {
    bool any = false;                       // no epoch yet
    FixKind kind = FixKind::None;
    std::array<int, kSatSystems> used{};
    float hdop = NAN;
};

// An accepted fix about the reference (or the receiver's mean), for the scatter.
struct BenchPoint {
    float eastM;
    float northM;
};

class BenchReceiver : private IntakeListener {
public:
    // Most epochs the live log keeps (40 bytes each).
    static constexpr size_t kLiveEpochsMax = size_t(1) << 16;
    // Most fixes the scatter keeps: the last minute at 10 Hz.
    static constexpr size_t kScatterMax = 600;

    // liveEpochsMax: the live log's bound (tests take a small one).
    BenchReceiver(BenchSourceSetup source, const AcceptLimits& limits = {}, size_t liveEpochsMax = kLiveEpochsMax);
    ~BenchReceiver() override;
    BenchReceiver(const BenchReceiver&) = delete;
    BenchReceiver& operator=(const BenchReceiver&) = delete;

    const BenchSourceSetup& Source() const { return source_; }
    Protocol ReadAs() const { return source_.binr ? Protocol::Binr : Protocol::Nmea; }
    // Its intake: the classic views listen here while they follow this receiver.
    // Its date policy dates BINR weeks for the figures too: the clock unless
    // the owner says otherwise (a replay: the recording's file time).
    Intake& In() { return intake_; }
    const Intake& In() const { return intake_; }
    // Each byte is decoded once, by the intake: the collector has no
    // decoders of its own.
    bool DecodesOnce() const { return !collector_->OwnsDecoders(); }

    // The test starts: figures start afresh, TTFF counts from startUs
    // (the monotonic clock, or a replay's clock in the same unit).
    void Start(int64_t startUs);
    // One block of its bytes, received at nowUs: the clock reading the
    // recorder gives the same block's record in the .times file, so that the
    // live time to first fix is the one the report reads there.
    void Receive(const uint8_t* bytes, int length, int64_t nowUs);
    // The figures from the epochs so far, about reference or, without one,
    // about the mean of the receiver's accepted fixes. Once a second.
    void Update(const std::optional<BenchReference>& reference);
    // The test ended: the open epoch is closed and the figures made final.
    void Finish(const std::optional<BenchReference>& reference);

    const Figures& LiveFigures() const { return figures_; }
    // The live log (thinned once Thinned()); its last epoch is Now()'s.
    const EpochLog& Log() const { return *log_; }
    // True once the live log has been thinned: some figures are estimates
    // from then on (see above). The bench that must show the report's exact
    // figures at the end recomputes them from the recording then.
    bool Thinned() const { return step_ > 1; }
    // Epochs since Start, every one counted, thinned or not.
    int64_t EpochsSeen() const { return seen_; }
    const BenchNow& Now() const { return now_; }
    // The most recent accepted fixes (bounded), about the same point as the figures.
    const std::vector<BenchPoint>& Scatter() const { return scatter_; }
    int64_t Bytes() const { return bytes_; }

    BenchState State() const { return state_; }
    void SetState(BenchState state) { state_ = state; }

private:
    void OnNmeaResult(const Intake& intake, int result) override;
    void OnBinrResult(const Intake& intake, int result) override;
    // The exact counts of every epoch since Start, kept beside the thinned log.
    struct Tally {
        std::array<int64_t, kFixKinds> perKind{};
        int64_t twoD = 0, threeD = 0, dimUnknown = 0, accepted = 0;
        std::array<int64_t, kSatSystems> usedSum{};
        std::array<int, kSatSystems> usedMin{255, 255, 255}, usedMax{};
    };
    // A block's end in the stream and when it came, until the first fix's is known.
    struct BlockTime {
        int64_t endOffset;
        int64_t nowUs;
    };

    void Fresh();
    void TakeNewEpochs();
    void Thin();
    void ResolveTtff();
    void ApplyTally();
    void MakeScatter();

    BenchSourceSetup source_;
    Intake intake_;
    AcceptLimits limits_;
    Figures figures_;
    BenchNow now_;
    std::vector<BenchPoint> scatter_;
    int64_t bytes_ = 0;
    int64_t intakeBase_ = 0;     // the intake's bytes before the test started
    int64_t startUs_ = 0;
    BenchState state_ = BenchState::Idle;

    std::unique_ptr<EpochLog> log_;
    std::unique_ptr<EpochCollector> collector_;
    size_t taken_ = 0;        // epochs of the log already taken in
    int64_t seen_ = 0;        // epochs since Start
    size_t liveEpochsMax_;
    int64_t step_ = 1;        // the log keeps the epochs whose number is a multiple of it
    Tally tally_;
    std::vector<BlockTime> pending_;
    std::optional<int64_t> ttffMs_;
    Figure rateS_;                          // the rate while the log was whole
    std::optional<int64_t> lastTakenMs_;    // the time of the last epoch taken in
    std::vector<GeoPoint> recent_;   // ring of the last accepted positions
    size_t recentNext_ = 0;
};

// The table the bench shows, one row per figure and a column per receiver:
// the texts as the report's text table writes them, and which cell is best
// by the report's rule (ReceiverReport.h, BestOfRow).
struct BenchRow {
    std::string label;
    std::vector<std::string> cells;
    std::vector<bool> best;
};
std::vector<BenchRow> BenchTable(const std::vector<const BenchReceiver*>& receivers);
// The same table made from a report's entries (kestrova --report FOLDER):
// at the end of a test the two are equal.
struct ReportEntry;
std::vector<BenchRow> BenchTable(const std::vector<ReportEntry>& entries, const std::vector<BenchState>& states);

// The headless bench's line for one receiver, once a second (docs/guide.md,
// "The bench"): "t=SECONDS name=NAME state=STATE kind=KIND used=G/R/O
// hdop=X snr=G/R/O ttff=S avail=PCT bias=E/N/U cep50=M r95=M v95=M
// epochs=N bytes=N", the figures as the table writes them, "-" for none.
std::string BenchLine(const BenchReceiver& receiver, int64_t secondsSinceStart);
