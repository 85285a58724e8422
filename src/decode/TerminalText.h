#pragma once
// Text that came from outside (a file name, a device name, a peer's message)
// on its way to a terminal. A terminal obeys control characters: ESC starts
// sequences that retitle the window, move the cursor or rewrite earlier
// lines, CR overwrites the line, BEL rings; C1 controls (U+0080 to U+009F,
// CSI among them) do the same in a UTF-8 terminal. Every such character, and
// every byte that is not part of valid UTF-8, prints as one U+FFFD "�", so
// the user sees that something was there and nothing is executed.
#include <string>
#include <string_view>

std::string TerminalText(std::string_view text);
