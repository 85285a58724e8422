#include "TerminalText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kR = "\xEF\xBF\xBD";   // U+FFFD

TEST(TerminalText, ControlsAndBrokenUtf8BecomeReplacements)
{
    const std::pair<std::string, std::string> cases[] = {
        {"track 07.nme", "track 07.nme"},
        {"Z\xC3\xBCrich \xD0\x93\xD0\x9B\xD0\x9E \xE6\x97\xA5 \xF0\x9F\x98\x80 \xC2\xA0", "Z\xC3\xBCrich \xD0\x93\xD0\x9B\xD0\x9E \xE6\x97\xA5 \xF0\x9F\x98\x80 \xC2\xA0"},
        {"a\x1B]0;owned\x07z", "a" + kR + "]0;owned" + kR + "z"},   // retitles the window, rings
        {"\x1B[2J\r\n\t\x7F", kR + "[2J" + kR + kR + kR + kR},
        {std::string("a\0b", 3), "a" + kR + "b"},
        {"\xC2\x9B" "2J \xC2\x80 \xC2\x9F", kR + "2J " + kR + " " + kR},   // C1: CSI and its kin
        {"\xFF\xFE", kR + kR},
        {"\xC0\xAF", kR + kR},                        // an overlong '/'
        {"\xED\xA0\x80", kR + kR + kR},               // a surrogate
        {"\xF4\x90\x80\x80", kR + kR + kR + kR},      // above U+10FFFF
        {"ok\xE6\x97", "ok" + kR + kR},               // cut short
        {"\xE6\x97" "A", kR + kR + "A"},
    };
    for (const auto& [text, want] : cases)
        EXPECT_EQ(TerminalText(text), want) << text;
}

} // namespace
