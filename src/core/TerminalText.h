#pragma once
// Text that came from outside (a file name, a device name, a peer's message)
// on its way to a terminal. A terminal obeys control characters: ESC starts
// sequences that retitle the window, move the cursor or rewrite earlier
// lines, CR overwrites the line, BEL rings; C1 controls (U+0080 to U+009F,
// CSI among them) do the same in a UTF-8 terminal. Every such character, and
// every byte that is not part of valid UTF-8, prints as one U+FFFD "�", so
// the user sees that something was there and nothing is executed.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

std::string TerminalText(std::string_view text);

// The length of the well-formed UTF-8 sequence at text[at] (no overlong form,
// no surrogate, nothing above U+10FFFF) with its code point; 0 when the byte
// there does not start one.
size_t Utf8SequenceAt(std::string_view text, size_t at, uint32_t* codePoint);
// C0 controls, DEL and C1 controls.
constexpr bool IsControlCode(uint32_t codePoint)
{
    return codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F);
}
