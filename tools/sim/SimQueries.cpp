#include "SimQueries.h"

#include "HexDigit.h"
#include "NmeaChecksum.h"

#include <cstdlib>

namespace {

constexpr int kMinRate = 1;
constexpr int kMaxRate = 100;

// Splits "$BODY*hh" or "$BODY" into BODY; false when a checksum is there but
// not two hexadecimal digits matching BODY.
bool BodyOf(std::string_view line, std::string_view& body)
{
    line.remove_prefix(1);
    const size_t star = line.find('*');
    body = line.substr(0, star);
    if (star == std::string_view::npos)
        return true;
    const std::string_view sum = line.substr(star + 1);
    if (sum.size() != 2 || HexDigitValue(sum[0]) < 0 || HexDigitValue(sum[1]) < 0)
        return false;
    return HexDigitValue(sum[0]) * 16 + HexDigitValue(sum[1]) == NmeaChecksum(body);
}

// Fields go out between commas: a device text must not add or end any.
std::string FieldText(const std::string& text)
{
    std::string out;
    for (char c : text)
        out += (c == ',' || c == '*' || c == '$' || c < ' ' || c > '~') ? '_' : c;
    return out;
}

QueryAnswer Nak(std::string_view id, const char* reason)
{
    return {NmeaSentence("PVKTN," + std::string(id) + "," + reason), 0};
}

QueryAnswer RateChange(std::string_view value, const QueryContext& context)
{
    const std::string text(value);
    char* end = nullptr;
    const long rate = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || rate < kMinRate || rate > kMaxRate)
        return Nak("PVKTR", "RANGE");
    if (context.flood)
        return Nak("PVKTR", "FLOOD");
    return {NmeaSentence("PVKTK,PVKTR," + std::to_string(rate)), int(rate)};
}

} // namespace

QueryAnswer AnswerQuery(std::string_view line, const QueryContext& context)
{
    if (line.size() < 6 || line[0] != '$')
        return {};
    const std::string_view id = line.substr(1, 5);
    if (id != "PVKTQ" && id != "PVKTR" && id != "PVKTC")
        return {};
    std::string_view body;
    if (!BodyOf(line, body))
        return Nak(id, "CHECKSUM");
    if (body.size() < 6 || body[5] != ',')
        return Nak(id, "UNKNOWN");
    const std::string_view value = body.substr(6);
    if (id == "PVKTR")
        return RateChange(value, context);
    if (id == "PVKTC")
        return value == "COLD" ? QueryAnswer{NmeaSentence("PVKTK,PVKTC,COLD"), 0, true} : Nak(id, "UNKNOWN");
    if (value != "VER")
        return Nak(id, "UNKNOWN");
    return {NmeaSentence("PVKTV," + FieldText(context.device) + "," + context.protocol + ","
                         + std::to_string(context.baud) + "," + std::to_string(context.rate)),
            0};
}

bool QueryLineReader::Push(char c)
{
    if (c == '$') {
        inLine_ = true;
        overlong_ = false;
        line_.assign(1, c);
        return false;
    }
    if (!inLine_)
        return false;
    if (c == '\r' || c == '\n') {
        inLine_ = false;
        return !overlong_;
    }
    if (line_.size() >= kMaxLine)
        overlong_ = true;
    else
        line_ += c;
    return false;
}

void QueryLineReader::Reset()
{
    inLine_ = false;
    overlong_ = false;
    line_.clear();
}
