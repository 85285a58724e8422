#pragma once
// NMEA synthesis from BINR: while a BINR stream is recorded or played, every
// navigation solution (0x88) appends GGA, RMC, GSA and PVKTD sentences and
// every satellites-in-view message (0x52) a GSV group to a side file.
//
// Each sentence is "$...*" followed by the XOR checksum as two upper-case hex
// digits and a single line feed (no carriage return). The builders format one
// sentence from the decoder's kept payloads into a caller buffer; the writers
// append it to the one output file, and write nothing while it is closed.
//
// Values a receiver or a damaged file can send that no printf field could
// hold sensibly are tamed before formatting, so every sentence stays short and
// no conversion is undefined:
//  - NaN becomes 0; latitude is clamped to +-90 degrees and longitude to
//    +-180 degrees (a NaN position prints as 0 N, 0 E);
//  - altitude, rms2D, HDOP, VDOP and each velocity component are clamped to
//    +-kNmeaValueLimit (infinities included);
//  - time of week: NaN or infinity counts as 0; otherwise it is rounded to a
//    whole millisecond and the time of day is that value modulo one day,
//    taken as positive for negative times; the date's whole seconds are
//    clamped to 0 .. 2^31 - 1;
//  - the satellite counts of message 0x60 below 0 count as 0;
//  - the satellites-in-view count is read within 0 .. 32.
#include "SideFile.h"
#include "WeekRollover.h"

#include <cstddef>
#include <cstdint>
#include <string>

class BinrDecoder;

// Largest magnitude written for altitude, rms2D, DOPs and velocities.
constexpr double kNmeaValueLimit = 1e7;
// Room for any one sentence the builders make (a GSA with 56 satellites is the
// longest, under 280 bytes), checksum and line feed included.
constexpr int kSynthSentenceMax = 512;
constexpr int kGsvSentencesMax = 8;          // 32 satellites, four per sentence

// Builders: each writes one complete sentence (checksum and line feed
// included, no terminating NUL) into out and returns its length, or 0 when
// outSize is too small. They allocate nothing.
int BuildGga(const BinrDecoder& decoder, char* out, int outSize);
// The RMC's date takes the week's cycle from the source's policy.
int BuildRmc(const BinrDecoder& decoder, const DatePolicy& dates, char* out, int outSize);
int BuildGsa(const BinrDecoder& decoder, char* out, int outSize);
int BuildPvktd(const BinrDecoder& decoder, char* out, int outSize);
// Number of GSV sentences of the latest 0x52 (0 when it held no satellite).
int GsvSentenceCount(const BinrDecoder& decoder);
// Sentence number (1 .. GsvSentenceCount) of the GSV group.
int BuildGsv(const BinrDecoder& decoder, int number, char* out, int outSize);

// Appends "%02X\n" with the XOR of everything between "$" and "*" to a
// sentence text ending in "*"; returns the new length, or 0 when it does not
// fit. Shared by the builders, and by tests to check them independently.
int FinishSentence(char* out, int length, int outSize);

// How many bytes the writers keep before handing them to the file. Live
// recording flushes small blocks so the side file grows as the data arrives;
// batch conversion collects large ones.
constexpr size_t kNmeaLiveFlushBytes = 4096;
constexpr size_t kNmeaBatchFlushBytes = 256 * 1024;

// Creates or truncates the file for binary writing, or with append goes on
// at its end. Called only while no output is open; false (and no output
// open) when it cannot be opened.
bool OpenNmeaOutput(const char* fileName, size_t flushBytes = kNmeaLiveFlushBytes, bool append = false);
// The same for the side file of a recording (its path): the side file is
// marked as Kestrova's for that recording as it opens and again as it
// closes (SideFile.h), so a later playback or recording may take it again.
bool OpenSideOutput(const char* fileName, const char* recording, size_t flushBytes = kNmeaLiveFlushBytes,
                    bool append = false);
// Writes what is kept and closes the file; nothing when none is open.
void CloseNmeaOutput();
bool NmeaOutputOpen();
// Since the last successful open: sentences handed to the file, and whether
// any write (or the final close) failed. Still readable after the close.
int64_t NmeaSentencesWritten();
bool NmeaOutputFailed();
int NmeaOutputErrno();          // errno of the first failed write, 0 if none

// The generators, reading the payloads the decoder keeps.
void WriteGga(const BinrDecoder& decoder);
void WriteRmc(const BinrDecoder& decoder, const DatePolicy& dates);
void WriteGsa(const BinrDecoder& decoder);
void WritePvktd(const BinrDecoder& decoder);
void WriteGsv(const BinrDecoder& decoder);
// GGA, RMC, GSA and PVKTD in that order, reading the payloads once.
void WriteSolutionSentences(const BinrDecoder& decoder, const DatePolicy& dates);
// What the side file gets for a message the decoder has just completed, the
// one rule of recording, playback and --to-nmea: the solution sentences for
// a 0x88, a GSV group for a 0x52, nothing for any other message.
void WriteSentencesFor(int messageId, const BinrDecoder& decoder, const DatePolicy& dates);

// Converts a whole BINR recording into its side file (marked as its side
// file, see OpenSideOutput) with a decoder of its own, through the same
// generators as playback: GGA, RMC, GSA and PVKTD for
// every 0x88, a GSV group for every 0x52. Uses the output module, so it must
// not run while a playback or recording has the output open. Dated by the
// file's time unless dates forces a count of rollovers.
struct BinrConversion {
    enum class Failure {
        None,
        InputOpen,      // the recording cannot be opened
        InputRead,      // reading it failed (or it is a folder)
        NotRegular,     // a FIFO, a device or a socket: never read, it may never end
        SameFile,       // the side file would be the recording itself: nothing written
        OutputOpen,     // the side file cannot be created
        OutputWrite,    // writing the side file failed (disk full, ...)
    };
    Failure failure = Failure::None;
    int error = 0;              // errno of the failure, 0 if none
    int64_t bytes = 0;          // input bytes decoded
    int64_t sentences = 0;      // sentences written
    int64_t errors = 0;         // decoder errors (-1 results)
};
BinrConversion ConvertBinrToNmea(const char* inputName, const char* outputName, DatePolicy dates = {});
