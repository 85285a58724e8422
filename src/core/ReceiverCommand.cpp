#include "ReceiverCommand.h"

#include "HexDigit.h"
#include "NmeaChecksum.h"

#include <algorithm>

namespace {

constexpr std::string_view kHexPrefix = "hex:";
constexpr std::string_view kBlanks = " \t\r\n";
constexpr int kChecksumTail = 3;   // "*hh"

std::string_view Trimmed(std::string_view text)
{
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    const size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

ParsedCommand Refused(std::string message)
{
    return {{}, std::move(message)};
}

ParsedCommand TooLong()
{
    return Refused("longer than " + std::to_string(kCommandBytesMax) +
                   " bytes, more than a receiver takes in one command");
}

std::string Position(size_t at)
{
    return std::to_string(at + 1);
}

// $body or $body*hh; `offset` is where the line starts in what was typed.
ParsedCommand ParseSentence(std::string_view line, size_t offset)
{
    std::string_view body = line.substr(1);
    const size_t star = body.find('*');
    if (star != std::string_view::npos) {
        if (body.size() - star != kChecksumTail)
            return Refused("the checksum at " + Position(offset + 1 + star) + " must be \"*\" and two hex digits at the end");
        const int high = HexDigitValue(body[star + 1]);
        const int low = HexDigitValue(body[star + 2]);
        if (high < 0 || low < 0)
            return Refused("the checksum at " + Position(offset + 1 + star) + " must be \"*\" and two hex digits at the end");
        const uint8_t typed = uint8_t(high << 4 | low);
        body = body.substr(0, star);
        const uint8_t sum = NmeaChecksum(body);
        if (typed != sum) {
            const char right[] = {kNmeaHexDigits[sum >> 4], kNmeaHexDigits[sum & 0x0F], '\0'};
            return Refused(std::string("wrong checksum: the sentence's is *") + right);
        }
    }
    if (body.empty())
        return Refused("an empty sentence");
    if (body.size() > size_t(kNmeaBodyMax))
        return Refused("the sentence is longer than " + std::to_string(kNmeaBodyMax) + " characters");
    for (size_t i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (c < 0x20 || c > 0x7E || c == '$')
            return Refused("character " + Position(offset + 1 + i) + " cannot be sent in a sentence");
    }
    const std::string sentence = NmeaSentence(body);
    return {std::vector<uint8_t>(sentence.begin(), sentence.end()), {}};
}

ParsedCommand ParseHex(std::string_view line, size_t offset)
{
    std::vector<uint8_t> bytes;
    int high = -1;           // the first digit of a pair under way
    size_t highAt = 0;
    for (size_t i = kHexPrefix.size(); i < line.size(); ++i) {
        const char c = line[i];
        if (c == ' ' || c == '\t') {
            if (high >= 0)
                return Refused("a lone hex digit at " + Position(offset + highAt));
            continue;
        }
        const int v = HexDigitValue(c);
        if (v < 0)
            return Refused("character " + Position(offset + i) + " is not a hex digit");
        if (high < 0) {
            high = v;
            highAt = i;
        } else {
            if (bytes.size() == size_t(kCommandBytesMax))
                return TooLong();
            bytes.push_back(uint8_t(high << 4 | v));
            high = -1;
        }
    }
    if (high >= 0)
        return Refused("a lone hex digit at " + Position(offset + highAt));
    if (bytes.empty())
        return Refused("no bytes after \"hex:\"");
    return {std::move(bytes), {}};
}

} // namespace

ParsedCommand ParseCommand(std::string_view text)
{
    const std::string_view line = Trimmed(text);
    const size_t offset = line.empty() ? 0 : size_t(line.data() - text.data());
    if (!line.empty() && line[0] == '$')
        return ParseSentence(line, offset);
    if (line.substr(0, kHexPrefix.size()) == kHexPrefix)
        return ParseHex(line, offset);
    return Refused("a command starts with \"$\" (an NMEA sentence) or \"hex:\" (bytes)");
}

std::string CommandSentNote(const CommandSent& sent)
{
    if (sent.end == CommandEnd::Whole && sent.written == sent.count)
        return "Sent " + std::to_string(sent.written) + " bytes";
    std::string why;
    switch (sent.end) {
    case CommandEnd::Whole:   // a count that does not add up: say so plainly
    case CommandEnd::Gone:
        why = "the device is gone or refused the rest";
        break;
    case CommandEnd::Stalled:
        why = "the port took nothing more for " + std::to_string(kCommandStallMs / 1000) + " s";
        break;
    case CommandEnd::Closed:
        why = "the port was closed";
        break;
    }
    if (sent.written <= 0)
        return "Not sent: none of the " + std::to_string(sent.count) + " bytes reached the port; " + why;
    return "Cut: " + std::to_string(sent.written) + " of " + std::to_string(sent.count) +
           " bytes reached the port; " + why;
}

void CommandHistory::Add(std::string_view line)
{
    const std::string_view kept = Trimmed(line);
    if (kept.empty())
        return;
    const auto same = std::find(items_.begin(), items_.end(), kept);
    if (same != items_.end())
        items_.erase(same);
    items_.insert(items_.begin(), std::string(kept));
    if (items_.size() > size_t(kCommandHistoryMax))
        items_.resize(kCommandHistoryMax);
}

CommandHistory CommandHistory::Parse(const std::vector<std::string>& stored)
{
    CommandHistory history;
    // Oldest first, so that the first stored ends up in front.
    for (auto it = stored.rbegin(); it != stored.rend(); ++it)
        history.Add(*it);
    return history;
}
