// Commands typed for the receiver: checksums appended or checked, hex bytes,
// refusals naming the position, and the history of lines sent.
#include "ReceiverCommand.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct CommandCase {
    std::string typed;
    std::string bytes;   // sent, or empty when refused
    const char* error;   // a part of the message, or "" when accepted
};

std::string HexOf(const std::string& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string hex = "hex:";
    for (const unsigned char b : bytes)
        hex += {digits[b >> 4], digits[b & 15]};
    return hex;
}

TEST(ReceiverCommand, ParsesSentencesAndHex)
{
    const std::string longest(kCommandBytesMax, '\x5A');
    const CommandCase cases[] = {
        {"$PVKTQ,1", "$PVKTQ,1*55\r\n", ""},
        {"  $PVKTQ,1 \r\n", "$PVKTQ,1*55\r\n", ""},
        {"$PVKTQ,RATE,5*7F", "$PVKTQ,RATE,5*7F\r\n", ""},
        {"$PVKTQ,RATE,5*7f", "$PVKTQ,RATE,5*7F\r\n", ""},
        {"$PVKTQ,RATE,5*7E", "", "wrong checksum: the sentence's is *7F"},
        {"$PVKTQ,1*0", "", "checksum at 9"},
        {"$PVKTQ,1*0D,2", "", "checksum at 9"},
        {"$PVKTQ*,1", "", "checksum at 7"},
        {"$", "", "an empty sentence"},
        {"$*00", "", "an empty sentence"},
        {"$PV$KT", "", "character 4"},
        {"$PV\tKT", "", "character 4"},
        {"$" + std::string(80, 'A'), "", "longer than 79"},
        {"hex: 10 0B 01 10 03", std::string("\x10\x0B\x01\x10\x03", 5), ""},
        {"hex:100b0110 03", std::string("\x10\x0B\x01\x10\x03", 5), ""},
        {"hex:  ff", "\xFF", ""},
        {"hex: 10 0B 1", "", "lone hex digit at 12"},
        {"hex: 1 0B", "", "lone hex digit at 6"},
        {"hex: 10 0G", "", "character 10 is not a hex digit"},
        {"  hex: 10,0B", "", "character 10 is not a hex digit"},
        {"hex:", "", "no bytes"},
        {HexOf(longest), longest, ""},
        {HexOf(longest + "Z"), "", "longer than 4096 bytes"},
        // A paste the input box cut at 32767 characters, in mid-pair.
        {HexOf(std::string(16381, 'Z')) + "5", "", "longer than 4096 bytes"},
        {"HEX: 10", "", "starts with"},
        {"GPGGA,1", "", "starts with"},
        {"", "", "starts with"},
    };
    for (const CommandCase& c : cases) {
        const ParsedCommand got = ParseCommand(c.typed);
        const std::string typed = c.typed.substr(0, 40);   // the long ones' start says enough
        EXPECT_TRUE(std::string(got.bytes.begin(), got.bytes.end()) == c.bytes) << typed;
        if (*c.error == '\0')
            EXPECT_TRUE(got.Ok()) << typed << ": " << got.error;
        else
            EXPECT_NE(got.error.find(c.error), std::string::npos) << typed << ": " << got.error;
    }
}

// Whole, or exactly what reached the port and why the rest did not.
TEST(ReceiverCommand, NoteSaysWhatReachedThePort)
{
    const struct {
        CommandSent sent;
        const char* note;
    } cases[] = {
        {{4000, 4000, CommandEnd::Whole, false}, "Sent 4000 bytes"},
        {{48, 1000, CommandEnd::Stalled, false}, "Cut: 48 of 1000 bytes reached the port; the port took nothing more for 5 s"},
        {{0, 1000, CommandEnd::Stalled, false}, "Not sent: none of the 1000 bytes reached the port; the port took nothing more for 5 s"},
        {{512, 4096, CommandEnd::Gone, false}, "Cut: 512 of 4096 bytes reached the port; the device is gone or refused the rest"},
        {{1, 2, CommandEnd::Closed, false}, "Cut: 1 of 2 bytes reached the port; the port was closed"},
        {{1, 2, CommandEnd::Whole, false}, "Cut: 1 of 2 bytes reached the port; the device is gone or refused the rest"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CommandSentNote(c.sent), c.note);
}

TEST(ReceiverCommand, HistoryKeepsTheLastFiftyDistinct)
{
    CommandHistory h;
    for (const char* line : {"$A", "hex: 10", "  ", "$B", " $A "})
        h.Add(line);
    EXPECT_EQ(h.Items(), (std::vector<std::string>{"$A", "$B", "hex: 10"}));

    for (int i = 0; i < kCommandHistoryMax + 5; ++i)
        h.Add("$C" + std::to_string(i));
    ASSERT_EQ(int(h.Items().size()), kCommandHistoryMax);
    EXPECT_EQ(h.Items().front(), "$C54");
    EXPECT_EQ(h.Items().back(), "$C5");

    const CommandHistory back = CommandHistory::Parse(h.Serialise());
    EXPECT_EQ(back.Items(), h.Items());
    // A stored list with duplicates and empty lines, most recent first.
    const CommandHistory read = CommandHistory::Parse({"$X", "", "$Y", "$X", " $Z"});
    EXPECT_EQ(read.Items(), (std::vector<std::string>{"$X", "$Y", "$Z"}));
}

} // namespace
