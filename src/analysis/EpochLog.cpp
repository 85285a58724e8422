#include "EpochLog.h"

#include <algorithm>
#include <climits>
#include <iterator>
#include <new>
#include <utility>

#include <sys/mman.h>

void EpochLog::AppendAnew(const EpochRecord& r, int64_t timeMs)
{
    if (size_ == blocks_.size() * kBlockRecords)
        AddBlock();
    int64_t offset = segments_.empty() ? 0 : timeMs - segments_.back().baseMs;
    if (segments_.empty() || offset < INT32_MIN || offset > INT32_MAX) {
        segments_.push_back({size_, timeMs});
        lastBaseMs_ = timeMs;
        offset = 0;
    }
    EpochRecord& kept = (*this)[size_++];
    kept = r;
    kept.timeOffsetMs = int32_t(offset);
}

void EpochLog::AddBlock()
{
    const size_t next = blocks_.size();
    const bool roomInChunk = !chunks_.empty() && next < chunks_.back().FirstBlock() + size_t(chunks_.back().Blocks());
    if (!roomInChunk) {
        Chunk chunk(next, next < kAloneBlocks ? 1 : kChunkBlocks);
        if (chunk.Blocks() == 0)
            chunk = Chunk(next, 1);
        if (chunk.Blocks() == 0)
            throw std::bad_alloc();
        chunks_.push_back(std::move(chunk));
    }
    const Chunk& chunk = chunks_.back();
    // Every record is written before it is read: the block is not cleared.
    blocks_.push_back(new (chunk.At(int(next - chunk.FirstBlock()))) Block);
    lastBlock_ = blocks_.back()->data();
    blockEnd_ = blocks_.size() * kBlockRecords;
}

EpochLog::Chunk::Chunk(size_t firstBlock, int blocks) : firstBlock_(firstBlock)
{
    if (blocks == 1) {
        data_ = ::operator new(sizeof(Block), std::nothrow);
        blocks_ = data_ ? 1 : 0;
        return;
    }
    constexpr size_t kHugePage = size_t(2) << 20;
    const size_t bytes = size_t(blocks) * sizeof(Block);
    mappedBytes_ = bytes + kHugePage;
    void* map = ::mmap(nullptr, mappedBytes_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) {
        mappedBytes_ = 0;
        return;
    }
    mapped_ = map;
    const uintptr_t aligned = (reinterpret_cast<uintptr_t>(map) + kHugePage - 1) & ~uintptr_t(kHugePage - 1);
    data_ = reinterpret_cast<void*>(aligned);
    // Only a hint: without huge pages the blocks are as good.
    ::madvise(data_, bytes, MADV_HUGEPAGE);
    blocks_ = blocks;
}

EpochLog::Chunk::Chunk(Chunk&& other) noexcept
    : firstBlock_(other.firstBlock_), blocks_(std::exchange(other.blocks_, 0)), data_(std::exchange(other.data_, nullptr)),
      mapped_(std::exchange(other.mapped_, nullptr)), mappedBytes_(std::exchange(other.mappedBytes_, 0))
{
}

EpochLog::Chunk& EpochLog::Chunk::operator=(Chunk&& other) noexcept
{
    if (this != &other) {
        Release();
        firstBlock_ = other.firstBlock_;
        blocks_ = std::exchange(other.blocks_, 0);
        data_ = std::exchange(other.data_, nullptr);
        mapped_ = std::exchange(other.mapped_, nullptr);
        mappedBytes_ = std::exchange(other.mappedBytes_, 0);
    }
    return *this;
}

EpochLog::Chunk::~Chunk() { Release(); }

void EpochLog::Chunk::Release()
{
    if (mapped_)
        ::munmap(mapped_, mappedBytes_);
    else
        ::operator delete(data_);
    mapped_ = data_ = nullptr;
    blocks_ = 0;
}

int64_t EpochLog::SegmentTimeMs(size_t i) const
{
    const int32_t offset = (*this)[i].timeOffsetMs;
    const auto after = std::upper_bound(segments_.begin(), segments_.end(), i,
                                        [](size_t index, const Segment& s) { return index < s.first; });
    return std::prev(after)->baseMs + offset;
}

void EpochLog::ShiftTimes(int64_t ms)
{
    for (Segment& s : segments_)
        s.baseMs += ms;
    if (!segments_.empty())
        lastBaseMs_ = segments_.back().baseMs;
}

void EpochLog::Clear()
{
    *this = EpochLog(capacity_);
}

void EpochLog::Truncate(size_t size)
{
    if (size >= size_)
        return;
    size_ = size;
    while (!segments_.empty() && segments_.back().first >= size)
        segments_.pop_back();
    lastBaseMs_ = segments_.empty() ? 0 : segments_.back().baseMs;
    // The block holding the next epoch stays; the ones after it go, and so
    // do the chunks that hold none of the blocks kept.
    blocks_.resize((size + kBlockRecords - 1) / kBlockRecords);
    while (!chunks_.empty() && chunks_.back().FirstBlock() >= blocks_.size())
        chunks_.pop_back();
    lastBlock_ = blocks_.empty() ? nullptr : blocks_.back()->data();
    blockEnd_ = blocks_.size() * kBlockRecords;
}
