#include "TerminalText.h"

namespace {

const char kReplacement[] = "\xEF\xBF\xBD";   // U+FFFD

} // namespace

size_t Utf8SequenceAt(std::string_view text, size_t at, uint32_t* codePoint)
{
    const uint8_t lead = uint8_t(text[at]);
    size_t length;
    uint32_t cp;
    uint32_t lowest;
    if (lead < 0x80) {
        *codePoint = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, cp = lead & 0x1F, lowest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, cp = lead & 0x0F, lowest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, cp = lead & 0x07, lowest = 0x10000;
    } else {
        return 0;
    }
    if (text.size() - at < length)
        return 0;
    for (size_t k = 1; k < length; ++k) {
        const uint8_t b = uint8_t(text[at + k]);
        if ((b & 0xC0) != 0x80)
            return 0;
        cp = cp << 6 | (b & 0x3F);
    }
    if (cp < lowest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    *codePoint = cp;
    return length;
}

std::string TerminalText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        uint32_t cp = 0;
        const size_t length = Utf8SequenceAt(text, at, &cp);
        if (length == 0 || IsControlCode(cp)) {
            out += kReplacement;
            at += length ? length : 1;
        } else {
            out.append(text, at, length);
            at += length;
        }
    }
    return out;
}
