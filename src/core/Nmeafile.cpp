// The side file's output module: sentences collect in one buffer and reach
// the file in blocks; the writers, the side file's name and the conversion
// of a whole recording. The sentence texts are NmeafileSentences'.
#include "Nmeafile.h"

#include "FileHandle.h"
#include "NmeafileSentences.h"
#include "PathIdentity.h"
#include "WeekRollover.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

FileHandle gOutput;
// Sentences collect here and reach the file in blocks; the spare room after
// the flush mark holds the largest burst one message makes.
constexpr size_t kBufferBytes = kNmeaBatchFlushBytes + size_t(kSynthSentenceMax) * kGsvSentencesMax;
char gBuffer[kBufferBytes];
size_t gUsed = 0;
size_t gFlushAt = kNmeaLiveFlushBytes;
int64_t gSentences = 0;
// The output's name and its recording's, when it is a recording's side file.
std::string gSideName;
std::string gRecordingName;
bool gFailed = false;
int gErrno = 0;

void NoteFailure()
{
    if (!gFailed)
        gErrno = errno;
    gFailed = true;
}

// Write errors do not stop the writers: later blocks are still tried.
void FlushOutput()
{
    if (gUsed && std::fwrite(gBuffer, 1, gUsed, gOutput.get()) != gUsed)
        NoteFailure();
    gUsed = 0;
}

// Formats one sentence straight into the buffer, which always has room for
// a whole GSV group past the flush mark.
template <typename Text>
void Emit(Text text)
{
    const int n = text(gBuffer + gUsed);
    if (n <= 0)
        return;
    gUsed += size_t(n);
    ++gSentences;
}

void FlushIfFull()
{
    if (gUsed >= gFlushAt)
        FlushOutput();
}

} // namespace

bool OpenNmeaOutput(const char* fileName, size_t flushBytes, bool append)
{
    if (gOutput)
        CloseNmeaOutput();
    gOutput = OpenFile(fileName, append ? "ab" : "wb");
    if (!gOutput)
        return false;
    // Sentences are already collected in blocks; a second buffer would only copy.
    std::setvbuf(gOutput.get(), nullptr, _IONBF, 0);
    gUsed = 0;
    gFlushAt = std::clamp<size_t>(flushBytes, 1, kNmeaBatchFlushBytes);
    gSentences = 0;
    gFailed = false;
    gErrno = 0;
    gSideName.clear();
    gRecordingName.clear();
    return true;
}

bool OpenSideOutput(const char* fileName, const char* recording, size_t flushBytes, bool append)
{
    if (!OpenNmeaOutput(fileName, flushBytes, append))
        return false;
    gSideName = fileName;
    gRecordingName = recording;
    MarkSideFile(::fileno(gOutput.get()), gSideName, gRecordingName, false);
    return true;
}

void CloseNmeaOutput()
{
    if (!gOutput)
        return;
    FlushOutput();
    if (!gSideName.empty())
        MarkSideFile(::fileno(gOutput.get()), gSideName, gRecordingName, true);
    if (!CloseFile(gOutput))
        NoteFailure();
}

bool NmeaOutputOpen() { return gOutput != nullptr; }
int64_t NmeaSentencesWritten() { return gSentences; }
bool NmeaOutputFailed() { return gFailed; }
int NmeaOutputErrno() { return gErrno; }

namespace {

template <int (*Text)(const Solution&, char*)>
void WriteFromSolution(const BinrDecoder& decoder, const DatePolicy& dates = kNoDates)
{
    if (!gOutput)
        return;
    const Solution solution = ReadSolution(decoder, dates);
    Emit([&](char* s) { return Text(solution, s); });
    FlushIfFull();
}

} // namespace

void WriteGga(const BinrDecoder& decoder) { WriteFromSolution<GgaText>(decoder); }
void WriteRmc(const BinrDecoder& decoder, const DatePolicy& dates) { WriteFromSolution<RmcText>(decoder, dates); }
void WriteGsa(const BinrDecoder& decoder) { WriteFromSolution<GsaText>(decoder); }
void WritePvktd(const BinrDecoder& decoder) { WriteFromSolution<PvktdText>(decoder); }

void WriteSolutionSentences(const BinrDecoder& decoder, const DatePolicy& dates)
{
    if (!gOutput)
        return;
    const Solution solution = ReadSolution(decoder, dates);
    for (const auto text : {GgaText, RmcText, GsaText, PvktdText})
        Emit([&](char* s) { return text(solution, s); });
    FlushIfFull();
}

void WriteGsv(const BinrDecoder& decoder)
{
    if (!gOutput)
        return;
    const int total = GsvSentenceCount(decoder);
    for (int m = 1; m <= total; ++m)
        Emit([&](char* s) { return GsvText(decoder, m, s); });
    FlushIfFull();
}

void WriteSentencesFor(int messageId, const BinrDecoder& decoder, const DatePolicy& dates)
{
    if (messageId == kMsgNavSolution)
        WriteSolutionSentences(decoder, dates);
    else if (messageId == kMsgSatInView)
        WriteGsv(decoder);
}


BinrConversion ConvertBinrToNmea(const char* inputName, const char* outputName, DatePolicy dates)
{
    BinrConversion result;
    // Opened without waiting: a FIFO would block the open itself until a
    // writer came, and it or a device never ends; only a regular file is read.
    const int fd = ::open(inputName, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        result.failure = BinrConversion::Failure::InputOpen;
        result.error = errno;
        return result;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        result.failure = BinrConversion::Failure::InputRead;
        result.error = errno;
    } else if (S_ISDIR(info.st_mode)) {
        result.failure = BinrConversion::Failure::InputRead;
        result.error = EISDIR;
    } else if (!S_ISREG(info.st_mode)) {
        result.failure = BinrConversion::Failure::NotRegular;
    }
    if (result.failure != BinrConversion::Failure::None) {
        ::close(fd);
        return result;
    }
    const FileHandle input(::fdopen(fd, "rb"));
    if (!input) {
        result.failure = BinrConversion::Failure::InputOpen;
        result.error = errno;
        ::close(fd);
        return result;
    }
    // Opening the side file truncates it: never when it is the input itself.
    if (SameFile(inputName, outputName)) {
        result.failure = BinrConversion::Failure::SameFile;
        return result;
    }
    if (!OpenSideOutput(outputName, inputName, kNmeaBatchFlushBytes)) {
        result.failure = BinrConversion::Failure::OutputOpen;
        result.error = errno;
        return result;
    }

    // Dated as a playback of the same file would date it.
    dates.UseFileTime(info.st_mtim.tv_sec);
    constexpr size_t kBlockBytes = 1 << 20;
    std::vector<uint8_t> block(kBlockBytes);
    BinrDecoder decoder;
    for (;;) {
        const size_t n = std::fread(block.data(), 1, kBlockBytes, input.get());
        for (size_t at = 0; at < n;) {
            int used = 0;
            const int id = decoder.PushBlock(block.data() + at, int(n - at), used);
            if (used <= 0)
                break;   // cannot happen with a non-empty block; never spin
            at += size_t(used);
            if (id < 0)
                ++result.errors;
            else
                WriteSentencesFor(id, decoder, dates);
        }
        result.bytes += int64_t(n);
        if (n < kBlockBytes)
            break;
    }
    if (std::ferror(input.get())) {
        result.failure = BinrConversion::Failure::InputRead;
        result.error = errno;
    }
    CloseNmeaOutput();
    result.sentences = NmeaSentencesWritten();
    if (NmeaOutputFailed() && result.failure == BinrConversion::Failure::None) {
        result.failure = BinrConversion::Failure::OutputWrite;
        result.error = NmeaOutputErrno();
    }
    return result;
}
