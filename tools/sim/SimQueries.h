#pragma once
// The few NMEA queries an NMEA receiver answers in its own sentence family,
// so a user at a terminal or a test sees a reply:
//   $PVKTQ,VER*hh   -> $PVKTV,DEVICE,PROTOCOL,BAUD,RATE*hh
//   $PVKTR,N*hh     -> $PVKTK,PVKTR,N*hh and N epochs a second from then on
//   $PVKTC,COLD*hh  -> $PVKTK,PVKTC,COLD*hh and a cold start from then on
// The checksum may be left out (a person typing); when present it must be
// right. A query that cannot be taken gets $PVKTN,SENTENCE,REASON*hh with
// REASON CHECKSUM, UNKNOWN, RANGE or FLOOD. Anything else on the line, ours
// or not, is not answered here.
#include <string>
#include <string_view>

struct QueryContext {
    std::string device;
    const char* protocol;    // "NMEA" or "BINR"
    int baud;
    int rate;                // epochs per second
    bool flood;
};

struct QueryAnswer {
    std::string sentence;    // "$...*hh\r\n", empty when the line is not a query
    int newRate = 0;         // > 0: the receiver's rate from now on
    bool coldStart = false;  // the receiver starts cold from now on
};

// line: one sentence from "$" up to, not including, its CR or LF.
QueryAnswer AnswerQuery(std::string_view line, const QueryContext& context);

// Collects the lines a receiver is sent, one at a time: from a "$" to the
// next CR or LF. An overlong line is dropped whole.
class QueryLineReader {
public:
    // True when c ended a line; Line() then holds it.
    bool Push(char c);
    const std::string& Line() const { return line_; }
    void Reset();

private:
    static constexpr size_t kMaxLine = 96;
    bool inLine_ = false;
    bool overlong_ = false;
    std::string line_;
};
