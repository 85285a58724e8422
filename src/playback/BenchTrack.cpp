#include "BenchTrack.h"

#include "Cycle.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

constexpr size_t kIndexBlockBytes = size_t(1) << 20;
constexpr int64_t kUsPerMs = 1000;
// Receive times spanning more than this are no test's: taken as they are
// they would only overflow the line's clock.
constexpr int64_t kMaxSpanMs = 400 * kMsPerDay;
// A serial byte on the line: start bit, 8 data bits, stop bit.
constexpr int kLineBitsPerByte = 10;

} // namespace

BenchTrack::BenchTrack(const QString& path, const BenchSourceSetup& source, QString* note)
{
    const QString name = QFileInfo(path).fileName();
    QString why;
    file_ = OpenRecording(path, &size_, nullptr, &why);
    if (!file_) {
        *note = name + QStringLiteral(": not played (") + why + QLatin1Char(')');
        return;
    }
    if (size_ == 0) {
        *note = name + QStringLiteral(": empty");
        return;
    }
    ReceiveTimesRead read = ReadReceiveTimes(TimesFileName(QFile::encodeName(path).toStdString()), size_);
    if (!read.times.empty() && read.times.back().ms <= kMaxSpanMs) {
        times_ = std::move(read.times);
        timesStartUs_ = read.startUs;
        pacing_ = BenchPacing::ReceiveTimes;
        return;
    }
    const QString timesWhy = !read.times.empty()  ? QStringLiteral("receive times ignored (span over a year)")
                             : read.problem.empty() ? QStringLiteral("no receive times")
                                                    : QStringLiteral("receive times ignored (%1)").arg(QString::fromStdString(read.problem));

    // Indexed for its epochs block by block, up to the size it had when opened.
    index_ = std::make_unique<EpochIndex>(source.binr);
    std::vector<uint8_t> block(kIndexBlockBytes);
    for (int64_t left = size_; left > 0;) {
        const size_t got = std::fread(block.data(), 1, size_t(std::min<int64_t>(left, int64_t(block.size()))), file_.get());
        if (got == 0)
            break;
        index_->Feed(block.data(), got);
        left -= int64_t(got);
    }
    index_->Compact();
    PaceOptions options;
    if (source.baud > 0)
        options.bytesPerSecond = std::max(source.baud / kLineBitsPerByte, 1);
    pace_ = std::make_unique<ReplayPace>(*index_, std::vector<ReceiveTime>{}, options);
    pacing_ = pace_->Source() == PaceSource::EpochTimes ? BenchPacing::EpochTimes : BenchPacing::ByteCount;
    Rewind();
    // Where it ends on the line: the deliveries walked through once, without reading the file.
    for (Delivery d; pace_->Next(d);) {
        pacedLastMs_ = d.dueUs / kUsPerMs;
        pace_->Done(d);
    }
    Rewind();
    *note = name + QStringLiteral(": ") + timesWhy
            + (pacing_ == BenchPacing::EpochTimes
                   ? QStringLiteral("; paced by its epochs' UTC times from the test's start")
                   : QStringLiteral("; paced by its bytes at %1 bytes/s from the test's start").arg(options.bytesPerSecond));
}

BenchTrack::~BenchTrack() = default;

int64_t BenchTrack::LastMs() const
{
    if (pacing_ == BenchPacing::ReceiveTimes)
        return shiftMs_ + times_.back().ms;
    return pace_ ? pacedLastMs_ : 0;
}

bool BenchTrack::Peek(int64_t* ms, int64_t* end)
{
    if (!peeked_) {
        if (cut_ || !file_)
            return false;
        if (pacing_ == BenchPacing::ReceiveTimes) {
            if (next_ >= times_.size())
                return false;
            peekMs_ = shiftMs_ + times_[next_].ms;
            peekEnd_ = times_[next_].endOffset;
        } else {
            Delivery d;
            if (!pace_ || !pace_->Next(d))
                return false;
            peekMs_ = d.dueUs / kUsPerMs;
            peekEnd_ = d.end;
        }
        peeked_ = true;
    }
    *ms = peekMs_;
    *end = peekEnd_;
    return true;
}

size_t BenchTrack::Read(uint8_t* out, size_t room)
{
    int64_t ms = 0, end = 0;
    if (!Peek(&ms, &end))
        return 0;
    const size_t want = size_t(std::min<int64_t>(end - done_, int64_t(room)));
    const size_t got = std::fread(out, 1, want, file_.get());
    done_ += int64_t(got);
    if (got < want)
        cut_ = true;
    else if (done_ >= end)
        Advance();
    return got;
}

void BenchTrack::Advance()
{
    peeked_ = false;
    if (pacing_ == BenchPacing::ReceiveTimes) {
        ++next_;
    } else if (Delivery d; pace_ && pace_->Next(d)) {
        pace_->Done(d);
    }
}

void BenchTrack::Rewind()
{
    next_ = 0;
    done_ = 0;
    peeked_ = false;
    cut_ = !file_ || ::fseeko(file_.get(), 0, SEEK_SET) != 0;
    if (pace_)
        pace_->Seek(0, 0);
}
