#pragma once
// The sentence texts of the NMEA synthesis, shared by the builders and the
// output module (Nmeafile.h states the rules every text follows). Each text
// function formats one whole sentence, checksum and line feed included, into
// out, which holds kSynthSentenceMax bytes, and returns its length.
#include "BinrDecoder.h"
#include "BinrLayouts.h"
#include "Nmeafile.h"

// The payloads one navigation solution's sentences are made from, read once.
struct Solution {
    NavSolution nav;
    DopInfo dop;
    SolutionStatus status;
    const DatePolicy& dates;   // of the source: the RMC's date
};

// The sentences without a date need no policy of a source.
inline const DatePolicy kNoDates;

inline Solution ReadSolution(const BinrDecoder& decoder, const DatePolicy& dates = kNoDates)
{
    return {ReadNavSolution(decoder.NavSolution()), ReadDopInfo(decoder.DopInfo()),
            ReadSolutionStatus(decoder.StatusHeader()), dates};
}

int GgaText(const Solution& solution, char* out);
int RmcText(const Solution& solution, char* out);
int GsaText(const Solution& solution, char* out);
int PvktdText(const Solution& solution, char* out);
// Sentence number (1 .. GsvSentenceCount) of the latest 0x52's GSV group.
int GsvText(const BinrDecoder& decoder, int number, char* out);
