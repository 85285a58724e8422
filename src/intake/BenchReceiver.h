#pragma once
// One receiver of a bench, live or replayed: its own intake, and the
// figures the bench compares, updated once a second from the epochs so far.
//
// The figures are the report's (Figures.h) with the report's definitions,
// so the bench's table at the end of a test equals the report of its
// recordings. The state behind them is bounded: a bench left running for a
// day keeps its memory flat (README.md, "The bench", says how).
//
// Qt-free: the recorder, the replay, the window and the headless bench all
// drive receivers through this one class.
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
    BenchReceiver(BenchSourceSpec source, const AcceptLimits& limits = {});
    ~BenchReceiver() override;
    BenchReceiver(const BenchReceiver&) = delete;
    BenchReceiver& operator=(const BenchReceiver&) = delete;

    const BenchSourceSpec& Source() const { return source_; }
    Protocol ReadAs() const { return source_.binr ? Protocol::Binr : Protocol::Nmea; }
    // Its intake: the classic views listen here while they follow this receiver.
    Intake& In() { return intake_; }
    const Intake& In() const { return intake_; }

    // The test starts: figures start afresh, TTFF counts from startUs
    // (the monotonic clock, or a replay's clock in the same unit).
    void Start(int64_t startUs);
    // One block of its bytes, received at nowUs.
    void Receive(const uint8_t* bytes, int length, int64_t nowUs);
    // The figures from the epochs so far, about reference or, without one,
    // about the mean of the receiver's accepted fixes. Once a second.
    void Update(const std::optional<BenchReference>& reference);
    // The test ended: the open epoch is closed and the figures made final.
    void Finish(const std::optional<BenchReference>& reference);

    const Figures& LiveFigures() const { return figures_; }
    const BenchNow& Now() const { return now_; }
    // The most recent accepted fixes (bounded), about the same point as the figures.
    const std::vector<BenchPoint>& Scatter() const { return scatter_; }
    int64_t Bytes() const { return bytes_; }

    BenchState State() const { return state_; }
    void SetState(BenchState state) { state_ = state; }

private:
    BenchSourceSpec source_;
    Intake intake_;
    AcceptLimits limits_;
    Figures figures_;
    BenchNow now_;
    std::vector<BenchPoint> scatter_;
    int64_t bytes_ = 0;
    int64_t startUs_ = 0;
    BenchState state_ = BenchState::Idle;
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

// The headless bench's line for one receiver, once a second.
std::string BenchLine(const BenchReceiver& receiver, int64_t secondsSinceStart);
