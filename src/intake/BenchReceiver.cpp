#include "BenchReceiver.h"

#include "Angles.h"
#include "ReceiverReport.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int64_t kUsPerMs = 1000;
constexpr double kMsPerS = 1000.0;
// Blocks remembered while no fix has been accepted and no epoch closes (a
// stream of nothing but noise): past this they are halved, keeping the later
// of each pair, so the time to first fix may come out one block late.
constexpr size_t kPendingMax = 1 << 16;
// New epochs taken in by Receive when nobody calls Update, so the log stays
// bounded between calls too.
constexpr size_t kTakeAfter = 4096;

} // namespace

const char* BenchStateText(BenchState state)
{
    switch (state) {
    case BenchState::Idle: return "";
    case BenchState::Opening: return "opening";
    case BenchState::Live: return "live";
    case BenchState::Lost: return "lost";
    case BenchState::Failed: return "failed";
    case BenchState::Ended: return "ended";
    }
    return "";
}

GeoPoint BenchReferencePoint(const BenchReference& reference)
{
    return {reference.latDeg * kRadPerDeg, reference.lonDeg * kRadPerDeg, reference.heightM};
}

BenchReceiver::BenchReceiver(BenchSourceSetup source, const AcceptLimits& limits, size_t liveEpochsMax)
    : source_(std::move(source)), limits_(limits), liveEpochsMax_(std::max<size_t>(liveEpochsMax, 2))
{
    intake_.AddListener(this);
    // Live data date BINR weeks by the clock, as the report dates them by
    // the file's time; a replay sets the file's time on In().Dates().
    intake_.Dates().UseClock();
    Fresh();
}

BenchReceiver::~BenchReceiver() { intake_.RemoveListener(this); }

void BenchReceiver::Fresh()
{
    collector_.reset();
    log_ = std::make_unique<EpochLog>();
    collector_ = std::make_unique<EpochCollector>(*log_, limits_);
    intakeBase_ = intake_.Received();
    figures_ = {};
    now_ = {};
    scatter_.clear();
    bytes_ = 0;
    taken_ = 0;
    seen_ = 0;
    step_ = 1;
    tally_ = {};
    pending_.clear();
    ttffMs_.reset();
    rateS_.reset();
    lastTakenMs_.reset();
    recent_.clear();
    recentNext_ = 0;
}

void BenchReceiver::OnNmeaResult(const Intake& intake, int result)
{
    collector_->Judge(result, intake.Nmea(), intake.ResultEndByte() - intakeBase_);
}

void BenchReceiver::OnBinrResult(const Intake& intake, int result)
{
    collector_->Judge(result, intake.Binr(), intake.Dates(), intake.ResultEndByte() - intakeBase_);
}

void BenchReceiver::Start(int64_t startUs)
{
    Fresh();
    startUs_ = startUs;
}

void BenchReceiver::Receive(const uint8_t* bytes, int length, int64_t nowUs)
{
    if (bytes == nullptr || length <= 0)
        return;
    // The collector hears the intake's decoders (OnNmeaResult, OnBinrResult)
    // and judges each fix as the report does on the recording: the live log
    // is the report's log, and each byte is decoded once.
    const size_t before = log_->Size();
    intake_.Receive(bytes, length, ReadAs());
    bytes_ += length;
    if (!ttffMs_) {
        if (pending_.size() >= kPendingMax) {
            for (size_t i = 0; i < pending_.size() / 2; ++i)
                pending_[i] = pending_[2 * i + 1];
            pending_.resize(pending_.size() / 2);
        }
        pending_.push_back({bytes_, nowUs});
        ResolveTtff();
        // An epoch that closed in this block was followed by one that opened
        // in it: no later first fix can end in an earlier block.
        if (!ttffMs_ && log_->Size() != before)
            pending_.assign(1, pending_.back());
    }
    if (log_->Size() - taken_ >= std::min(kTakeAfter, liveEpochsMax_))
        TakeNewEpochs();
}

// The report's time to first fix on a test folder: the .times record of the
// block holding the end of the first accepted fix, in whole milliseconds
// since the Start that every receiver's .times header holds.
void BenchReceiver::ResolveTtff()
{
    const int64_t byte = log_->firstAcceptedByte;
    if (ttffMs_ || byte < 0 || pending_.empty())
        return;
    const auto block = std::lower_bound(pending_.begin(), pending_.end(), byte,
                                        [](const BlockTime& t, int64_t b) { return t.endOffset < b; });
    const BlockTime& at = block != pending_.end() ? *block : pending_.back();
    ttffMs_ = (at.nowUs - startUs_) / kUsPerMs;
    pending_.clear();
    pending_.shrink_to_fit();
}

// Every epoch closed since the last call is counted, shown in Now() and the
// scatter, and kept in the log only when its number is a multiple of the step.
void BenchReceiver::TakeNewEpochs()
{
    EpochLog& log = *log_;
    const size_t end = log.Size();
    if (end == taken_)
        return;
    struct Kept {
        EpochRecord record;
        int64_t timeMs;
    };
    std::vector<Kept> kept;
    for (size_t i = taken_; i < end; ++i) {
        const EpochRecord& r = log[i];
        const int64_t number = seen_++;
        const FixDim dim = r.Dim();
        ++tally_.perKind[size_t(r.Kind())];
        tally_.twoD += dim == FixDim::TwoD;
        tally_.threeD += dim == FixDim::ThreeD;
        tally_.dimUnknown += dim == FixDim::Unknown && r.Kind() != FixKind::None;
        if (r.Accepted()) {
            ++tally_.accepted;
            for (int s = 0; s < kSatSystems; ++s) {
                tally_.usedSum[size_t(s)] += r.used[size_t(s)];
                tally_.usedMin[size_t(s)] = std::min<int>(tally_.usedMin[size_t(s)], r.used[size_t(s)]);
                tally_.usedMax[size_t(s)] = std::max<int>(tally_.usedMax[size_t(s)], r.used[size_t(s)]);
            }
            if (r.HasPosition()) {
                if (recent_.size() < kScatterMax)
                    recent_.push_back(EpochLog::PositionOf(r));
                else
                    recent_[recentNext_] = EpochLog::PositionOf(r);
                recentNext_ = (recentNext_ + 1) % kScatterMax;
            }
        }
        if (step_ > 1 && number % step_ == 0)
            kept.push_back({r, log.TimeMs(i)});
    }
    const EpochRecord& last = log[end - 1];
    if (last.TimeKnown())
        lastTakenMs_ = log.TimeMs(end - 1);
    now_.any = true;
    now_.kind = last.Kind();
    for (int s = 0; s < kSatSystems; ++s)
        now_.used[size_t(s)] = last.used[size_t(s)];
    now_.hdop = last.hdop;
    if (step_ > 1) {
        log.Truncate(taken_);
        for (const Kept& k : kept)
            log.Append(k.record, k.timeMs);
    }
    taken_ = log.Size();
    while (taken_ > liveEpochsMax_)
        Thin();
}

// The log holds the epochs numbered 0, step, 2 step...: every other one goes
// and the step doubles, so the epochs kept stay evenly spread over the test.
void BenchReceiver::Thin()
{
    EpochLog& log = *log_;
    std::vector<std::pair<EpochRecord, int64_t>> kept;
    kept.reserve(log.Size() / 2 + 1);
    for (size_t i = 0; i < log.Size(); i += 2)
        kept.push_back({log[i], log.TimeMs(i)});
    log.Truncate(0);
    for (const auto& [record, timeMs] : kept)
        log.Append(record, timeMs);
    step_ *= 2;
    taken_ = log.Size();
}

void BenchReceiver::Update(const std::optional<BenchReference>& reference)
{
    TakeNewEpochs();
    std::optional<GeoPoint> point;
    if (reference)
        point = BenchReferencePoint(*reference);
    figures_ = ComputeFigures(*log_, point);
    if (!Thinned() && figures_.rateS)
        rateS_ = figures_.rateS;
    if (ttffMs_)
        figures_.ttffS = double(*ttffMs_) / kMsPerS;
    if (Thinned())
        ApplyTally();
    MakeScatter();
}

void BenchReceiver::Finish(const std::optional<BenchReference>& reference)
{
    collector_->Finish();
    ResolveTtff();
    Update(reference);
}

// The counts of a thinned log made whole again; the time line read off the
// thinned log scaled by its step.
void BenchReceiver::ApplyTally()
{
    Figures& f = figures_;
    f.epochs = seen_;
    f.accepted = tally_.accepted;
    f.perKind = tally_.perKind;
    f.twoD = tally_.twoD;
    f.threeD = tally_.threeD;
    f.dimUnknown = tally_.dimUnknown;
    for (int s = 0; s < kSatSystems; ++s) {
        if (f.accepted == 0)
            continue;
        f.usedMean[size_t(s)] = double(tally_.usedSum[size_t(s)]) / double(f.accepted);
        f.usedMin[size_t(s)] = tally_.usedMin[size_t(s)];
        f.usedMax[size_t(s)] = tally_.usedMax[size_t(s)];
    }
    // The rate of the whole log before it was first thinned; the epochs
    // missing are those the span at that rate leaves for the epochs counted.
    f.rateS = rateS_;
    if (rateS_ && *rateS_ > 0 && f.firstMs && lastTakenMs_) {
        const int64_t expected = std::llround(double(*lastTakenMs_ - *f.firstMs) / (*rateS_ * kMsPerS)) + 1;
        f.missing = double(std::max<int64_t>(0, expected - seen_));
    }
    const double offered = double(f.epochs) + f.missing.value_or(0);
    f.availabilityPct = offered > 0 ? Figure(100.0 * double(f.accepted) / offered) : std::nullopt;
}

void BenchReceiver::MakeScatter()
{
    scatter_.clear();
    if (!figures_.reference)
        return;
    const LocalFrame frame(*figures_.reference);
    scatter_.reserve(recent_.size());
    // Oldest first: the ring's next place holds the oldest once it is full.
    const size_t start = recent_.size() < kScatterMax ? 0 : recentNext_;
    for (size_t k = 0; k < recent_.size(); ++k) {
        const LocalFrame::Enu e = frame.ErrorOf(recent_[(start + k) % recent_.size()]);
        scatter_.push_back({float(e.east), float(e.north)});
    }
}

// ---- the table

namespace {

// The rows the bench compares, by the report's keys, between the fix kind
// and the state.
constexpr const char* kBenchRowKeys[] = {
    "gps_used_mean",     "glonass_used_mean",     "other_used_mean",       "hdop_median",
    "gps_snr_mean_dbhz", "glonass_snr_mean_dbhz", "other_snr_mean_dbhz",   "ttff_s",
    "availability_pct",  "bias_east_m",           "bias_north_m",          "bias_up_m",
    "cep50_m",           "r95_m",                 "vertical95_m",
};

const ReportRow& RowOf(const char* key)
{
    for (const ReportRow& row : ReportRows())
        if (std::string_view(row.key) == key)
            return row;
    return ReportRows().front();   // every key above is one of them
}

// "–" as the report shows a figure it cannot give.
std::string NoValue()
{
    static const std::string dash = RowText(RowOf("ttff_s"), Figures{});
    return dash;
}

std::vector<BenchRow> Table(const std::vector<ReportEntry>& entries, const std::vector<std::optional<FixKind>>& kinds,
                            const std::vector<BenchState>& states)
{
    const size_t n = entries.size();
    std::vector<BenchRow> rows;
    BenchRow kind{"Fix kind", {}, std::vector<bool>(n, false)};
    for (size_t i = 0; i < n; ++i)
        kind.cells.push_back(i < kinds.size() && kinds[i] ? FixKindName(*kinds[i]) : NoValue());
    rows.push_back(std::move(kind));
    for (const char* key : kBenchRowKeys) {
        const ReportRow& row = RowOf(key);
        BenchRow out{RowLabel(row, entries), {}, BestOfRow(row, entries)};
        for (const ReportEntry& e : entries)
            out.cells.push_back(RowText(row, e.figures));
        rows.push_back(std::move(out));
    }
    BenchRow state{"State", {}, std::vector<bool>(n, false)};
    for (size_t i = 0; i < n; ++i)
        state.cells.push_back(i < states.size() ? BenchStateText(states[i]) : "");
    rows.push_back(std::move(state));
    return rows;
}

ReportEntry EntryOf(const BenchReceiver& r)
{
    ReportEntry e;
    e.name = r.Source().name;
    e.protocol = r.Source().binr ? "binr" : "nmea";
    e.log = &r.Log();
    e.figures = r.LiveFigures();
    return e;
}

} // namespace

std::vector<BenchRow> BenchTable(const std::vector<const BenchReceiver*>& receivers)
{
    std::vector<ReportEntry> entries;
    std::vector<std::optional<FixKind>> kinds;
    std::vector<BenchState> states;
    for (const BenchReceiver* r : receivers) {
        entries.push_back(EntryOf(*r));
        kinds.push_back(r->Now().any ? std::optional<FixKind>(r->Now().kind) : std::nullopt);
        states.push_back(r->State());
    }
    return Table(entries, kinds, states);
}

std::vector<BenchRow> BenchTable(const std::vector<ReportEntry>& entries, const std::vector<BenchState>& states)
{
    std::vector<std::optional<FixKind>> kinds;
    for (const ReportEntry& e : entries)
        kinds.push_back(e.log && e.log->Size() > 0 ? std::optional<FixKind>((*e.log)[e.log->Size() - 1].Kind()) : std::nullopt);
    return Table(entries, kinds, states);
}

// t=SECONDS name=NAME state=STATE kind=KIND used=G/R/O hdop=X snr=G/R/O
// ttff=S avail=PCT bias=E/N/U cep50=M r95=M v95=M epochs=N bytes=N
std::string BenchLine(const BenchReceiver& receiver, int64_t secondsSinceStart)
{
    const Figures& f = receiver.LiveFigures();
    auto text = [&](const char* key) {
        const std::string t = RowText(RowOf(key), f);
        return t == NoValue() ? std::string("-") : t;
    };
    auto three = [&](const char* a, const char* b, const char* c) { return text(a) + "/" + text(b) + "/" + text(c); };
    const std::string state = BenchStateText(receiver.State());
    std::string line = "t=" + std::to_string(secondsSinceStart);
    line += " name=" + BenchSafeName(receiver.Source().name);
    line += " state=" + (state.empty() ? std::string("-") : state);
    line += " kind=" + std::string(receiver.Now().any ? FixKindName(receiver.Now().kind) : "-");
    line += " used=" + three("gps_used_mean", "glonass_used_mean", "other_used_mean");
    line += " hdop=" + text("hdop_median");
    line += " snr=" + three("gps_snr_mean_dbhz", "glonass_snr_mean_dbhz", "other_snr_mean_dbhz");
    line += " ttff=" + text("ttff_s");
    line += " avail=" + text("availability_pct");
    line += " bias=" + three("bias_east_m", "bias_north_m", "bias_up_m");
    line += " cep50=" + text("cep50_m");
    line += " r95=" + text("r95_m");
    line += " v95=" + text("vertical95_m");
    line += " epochs=" + std::to_string(f.epochs);
    line += " bytes=" + std::to_string(receiver.Bytes());
    return line;
}
