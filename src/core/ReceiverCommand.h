#pragma once
// Commands typed for the receiver, and the history of those sent.
//
// A line is one of:
//  - an NMEA sentence "$..." without "*hh": the checksum and CR LF are
//    appended;
//  - an NMEA sentence with "*hh" at its end: the checksum is checked, and a
//    wrong one refuses the line (the user typed it, so the user corrects it
//    rather than the program sending something else than was typed); CR LF
//    is appended;
//  - "hex:" and pairs of hex digits, with or without blanks between pairs
//    ("hex: 10 0B 01 10 03", "hex:100B"): the bytes as typed, a BINR frame
//    among them. An odd digit count or any other character refuses the line,
//    naming its position (1-based, in the line as typed).
// Anything else, an empty sentence and an empty hex list are refused with a
// message. Blanks around the line are ignored; a sentence's body must be
// printable ASCII, without "$" or "*" inside, and at most 79 characters, the
// longest NMEA allows between "$" and "*". A command is at most
// kCommandBytesMax bytes: a receiver's input buffer takes a few frames at a
// time, and a longer burst would overrun it, so a longer line is refused
// whole rather than sent in part.
//
// A command goes to the port whole or the user is told exactly how much of
// it reached the port and why the rest did not (CommandSentNote).
//
// The history keeps the last 50 distinct lines sent, the most recent first;
// sending a line again moves it to the front. It is stored as a plain list of
// strings, the most recent first; a stored list is read back de-duplicated,
// without empty lines, and cut to 50.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

constexpr int kCommandHistoryMax = 50;
constexpr int kNmeaBodyMax = 79;
constexpr int kCommandBytesMax = 4096;

struct ParsedCommand {
    std::vector<uint8_t> bytes;   // empty when refused
    std::string error;            // empty when accepted

    bool Ok() const { return error.empty(); }
};

ParsedCommand ParseCommand(std::string_view text);

// How writing a command to the port ended.
enum class CommandEnd {
    Whole,     // every byte reached the port
    Stalled,   // the port took nothing more for kCommandStallMs
    Gone,      // the device went away or refused the write
    Closed,    // the port was closed (Stop, another source) meanwhile
};
// A write that makes no progress for this long is given up: with flow
// control off only a dead or stalled device does that.
constexpr int kCommandStallMs = 5000;

// A command handed to the port: the bytes that reached it so far, of count;
// pending while the rest is still being written (its end comes later).
struct CommandSent {
    int written = 0;
    int count = 0;
    CommandEnd end = CommandEnd::Closed;
    bool pending = false;
};

// What the CONSOLE says once a command's write has ended: "Sent N bytes", or
// how many reached the port and why the rest did not.
std::string CommandSentNote(const CommandSent& sent);

class CommandHistory {
public:
    // A line sent; blanks around it are dropped, an empty line is ignored.
    void Add(std::string_view line);
    const std::vector<std::string>& Items() const { return items_; }

    std::vector<std::string> Serialise() const { return items_; }
    static CommandHistory Parse(const std::vector<std::string>& stored);

private:
    std::vector<std::string> items_;
};
