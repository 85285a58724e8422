// bench.json is read back from disk by the PLAYER, the report and the
// headless bench, so the reader trusts nothing: the text is parsed by a
// small recursive-descent reader with a cap on size and nesting, every
// field is checked for type and range, and names that become file names must
// already be safe ones. Any fault gives a reason and no manifest.
#include "BenchFolder.h"

#include "BenchManifestCheck.h"
#include "FileHandle.h"
#include "NmeaDate.h"
#include "SmallFile.h"

#include <charconv>
#include <sys/stat.h>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <set>

namespace {

constexpr size_t kNameMax = kBenchSafeNameMax;   // characters kept of a title or a name
constexpr size_t kJsonMax = 1 << 20;          // a bench.json is a few hundred bytes
constexpr int kDepthMax = 16;                 // nesting of arrays and objects
constexpr int kValuesMax = 4096;              // values in all; a real one holds about fifty
constexpr int kFormatVersion = 1;
constexpr int64_t kMsPerDay = 86'400'000;

bool KeptInName(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_'; }

// Letters, digits, '-' and '_' kept; any other character (a whole UTF-8
// sequence counts as one) becomes one '_'; at most kNameMax of them.
std::string Sanitized(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size() && out.size() < kNameMax;) {
        const unsigned char c = static_cast<unsigned char>(text[i++]);
        if (KeptInName(c)) {
            out += char(c);
            continue;
        }
        if (c >= 0xC0)
            while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
                ++i;
        out += '_';
    }
    return out;
}

struct UtcParts {
    int64_t year;
    int month, day, hour, minute, second, ms;
};

UtcParts Utc(int64_t unixMs)
{
    // Floor division: a time before 1970 still names its own day.
    int64_t days = unixMs / kMsPerDay;
    int64_t inDay = unixMs % kMsPerDay;
    if (inDay < 0) {
        inDay += kMsPerDay;
        --days;
    }
    UtcParts p{};
    CivilFromDays(days, p.year, p.month, p.day);
    p.hour = int(inDay / 3'600'000);
    p.minute = int(inDay / 60'000 % 60);
    p.second = int(inDay / 1000 % 60);
    p.ms = int(inDay % 1000);
    return p;
}

std::string Digits(int64_t value, int width)
{
    std::string s = std::to_string(value < 0 ? -value : value);
    if (s.size() < size_t(width))
        s.insert(0, size_t(width) - s.size(), '0');
    return value < 0 ? "-" + s : s;
}

// "2026-12-07T20:45:00.000Z": the start as a person reads it.
std::string IsoUtc(int64_t unixMs)
{
    const UtcParts p = Utc(unixMs);
    return Digits(p.year, 4) + "-" + Digits(p.month, 2) + "-" + Digits(p.day, 2) + "T" + Digits(p.hour, 2) + ":" +
           Digits(p.minute, 2) + ":" + Digits(p.second, 2) + "." + Digits(p.ms, 3) + "Z";
}

// ---- writing

void PutString(std::string& out, const std::string& text)
{
    static const char kHex[] = "0123456789abcdef";
    out += '"';
    for (char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += ch;   // other bytes as they are: the program's texts are 8-bit
        }
    }
    out += '"';
}

// The shortest text that reads back as the same double.
void PutReal(std::string& out, double value)
{
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, r.ptr);
}

bool ReferenceWritable(const BenchReference& r) { return std::isfinite(r.latDeg) && std::isfinite(r.lonDeg) && std::isfinite(r.heightM); }

// ---- reading

// A parsed JSON value. Objects keep their members by key (a key given twice
// is refused while parsing); numbers keep their text so integers read exactly.
struct Json {
    enum class Type { Null, Bool, Number, String, Array, Object } type = Type::Null;
    bool boolean = false;
    std::string text;   // a string's value or a number's text
    std::vector<Json> items;
    std::map<std::string, Json> members;
};

class Reader {
public:
    explicit Reader(const std::string& text) : p_(text.data()), end_(text.data() + text.size()) {}

    bool Document(Json* out)
    {
        SkipSpace();
        if (!Value(out, 0))
            return false;
        SkipSpace();
        return p_ == end_ || Fail("something follows the object");
    }
    const std::string& Problem() const { return problem_; }

private:
    bool Fail(const char* why)
    {
        if (problem_.empty())
            problem_ = why;
        return false;
    }
    void SkipSpace()
    {
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\n' || *p_ == '\r'))
            ++p_;
    }
    bool Literal(const char* word)
    {
        const size_t n = std::strlen(word);
        if (size_t(end_ - p_) < n || std::memcmp(p_, word, n) != 0)
            return Fail("a value is not valid JSON");
        p_ += n;
        return true;
    }

    bool Value(Json* out, int depth)
    {
        if (p_ == end_)
            return Fail("the text ends early");
        if (++values_ > kValuesMax)
            return Fail("the text holds too many values");
        switch (*p_) {
        case '{': return Object(out, depth + 1);
        case '[': return Array(out, depth + 1);
        case '"': out->type = Json::Type::String; return String(&out->text);
        case 't': out->type = Json::Type::Bool; out->boolean = true; return Literal("true");
        case 'f': out->type = Json::Type::Bool; return Literal("false");
        case 'n': out->type = Json::Type::Null; return Literal("null");
        default: out->type = Json::Type::Number; return Number(&out->text);
        }
    }

    bool Object(Json* out, int depth)
    {
        if (depth > kDepthMax)
            return Fail("the text nests too deep");
        out->type = Json::Type::Object;
        ++p_;
        SkipSpace();
        if (p_ < end_ && *p_ == '}') {
            ++p_;
            return true;
        }
        for (;;) {
            SkipSpace();
            std::string key;
            if (p_ == end_ || *p_ != '"')
                return Fail(p_ == end_ ? "the text ends early" : "a field name is not a string");
            if (!String(&key))
                return false;
            SkipSpace();
            if (p_ == end_ || *p_ != ':')
                return Fail(p_ == end_ ? "the text ends early" : "a ':' is missing after a field name");
            ++p_;
            SkipSpace();
            Json value;
            if (!Value(&value, depth))
                return false;
            if (!out->members.emplace(std::move(key), std::move(value)).second)
                return Fail("a field is given twice");
            SkipSpace();
            if (p_ == end_)
                return Fail("the text ends early");
            if (*p_ == '}') {
                ++p_;
                return true;
            }
            if (*p_ != ',')
                return Fail("a ',' or '}' is missing in an object");
            ++p_;
        }
    }

    bool Array(Json* out, int depth)
    {
        if (depth > kDepthMax)
            return Fail("the text nests too deep");
        out->type = Json::Type::Array;
        ++p_;
        SkipSpace();
        if (p_ < end_ && *p_ == ']') {
            ++p_;
            return true;
        }
        for (;;) {
            SkipSpace();
            Json value;
            if (!Value(&value, depth))
                return false;
            out->items.push_back(std::move(value));
            SkipSpace();
            if (p_ == end_)
                return Fail("the text ends early");
            if (*p_ == ']') {
                ++p_;
                return true;
            }
            if (*p_ != ',')
                return Fail("a ',' or ']' is missing in an array");
            ++p_;
        }
    }

    bool Hex4(unsigned* code)
    {
        if (end_ - p_ < 4)
            return Fail("the text ends early");
        unsigned v = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = *p_++;
            v <<= 4;
            if (c >= '0' && c <= '9') v |= unsigned(c - '0');
            else if (c >= 'a' && c <= 'f') v |= unsigned(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') v |= unsigned(c - 'A' + 10);
            else return Fail("a \\u escape is not four hexadecimal digits");
        }
        *code = v;
        return true;
    }

    static void PutUtf8(std::string* out, unsigned code)
    {
        if (code < 0x80) {
            *out += char(code);
        } else if (code < 0x800) {
            *out += char(0xC0 | (code >> 6));
            *out += char(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            *out += char(0xE0 | (code >> 12));
            *out += char(0x80 | ((code >> 6) & 0x3F));
            *out += char(0x80 | (code & 0x3F));
        } else {
            *out += char(0xF0 | (code >> 18));
            *out += char(0x80 | ((code >> 12) & 0x3F));
            *out += char(0x80 | ((code >> 6) & 0x3F));
            *out += char(0x80 | (code & 0x3F));
        }
    }

    bool Escape(std::string* out)
    {
        if (p_ == end_)
            return Fail("the text ends early");
        const char c = *p_++;
        switch (c) {
        case '"': case '\\': case '/': *out += c; return true;
        case 'b': *out += '\b'; return true;
        case 'f': *out += '\f'; return true;
        case 'n': *out += '\n'; return true;
        case 'r': *out += '\r'; return true;
        case 't': *out += '\t'; return true;
        case 'u': break;
        default: return Fail("a string holds an unknown escape");
        }
        unsigned code = 0;
        if (!Hex4(&code))
            return false;
        if (code >= 0xD800 && code <= 0xDBFF) {
            unsigned low = 0;
            if (end_ - p_ < 2 || p_[0] != '\\' || p_[1] != 'u')
                return Fail("a string holds half a surrogate pair");
            p_ += 2;
            if (!Hex4(&low))
                return false;
            if (low < 0xDC00 || low > 0xDFFF)
                return Fail("a string holds half a surrogate pair");
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        } else if (code >= 0xDC00 && code <= 0xDFFF) {
            return Fail("a string holds half a surrogate pair");
        }
        if (code == 0)
            return Fail("a string holds a NUL character");
        PutUtf8(out, code);
        return true;
    }

    bool String(std::string* out)
    {
        ++p_;   // the opening quote
        for (;;) {
            if (p_ == end_)
                return Fail("the text ends inside a string");
            const unsigned char c = static_cast<unsigned char>(*p_);
            if (c == '"') {
                ++p_;
                return true;
            }
            if (c < 0x20)
                return Fail("a string holds a control character");
            ++p_;
            if (c == '\\') {
                if (!Escape(out))
                    return false;
            } else {
                *out += char(c);
            }
        }
    }

    // JSON's number grammar, kept as text.
    bool Number(std::string* out)
    {
        const char* start = p_;
        auto digits = [&] {
            const char* from = p_;
            while (p_ < end_ && *p_ >= '0' && *p_ <= '9')
                ++p_;
            return p_ > from;
        };
        if (p_ < end_ && *p_ == '-')
            ++p_;
        if (p_ < end_ && *p_ == '0')
            ++p_;
        else if (!digits())
            return Fail("a value is not valid JSON");
        if (p_ < end_ && *p_ == '.') {
            ++p_;
            if (!digits())
                return Fail("a number has no digits after its point");
        }
        if (p_ < end_ && (*p_ == 'e' || *p_ == 'E')) {
            ++p_;
            if (p_ < end_ && (*p_ == '+' || *p_ == '-'))
                ++p_;
            if (!digits())
                return Fail("a number has no digits in its exponent");
        }
        out->assign(start, p_);
        return true;
    }

    const char* p_;
    const char* end_;
    int values_ = 0;
    std::string problem_;
};

// Field readers: false with a reason naming the field.
class Fields {
public:
    Fields(const Json& object, std::string where) : object_(object), where_(std::move(where)) {}

    const Json* Find(const char* key) const
    {
        const auto it = object_.members.find(key);
        return it == object_.members.end() ? nullptr : &it->second;
    }
    bool Fail(const char* key, const char* why)
    {
        problem_ = where_ + "\"" + key + "\" " + why;
        return false;
    }
    bool Text(const char* key, std::string* out, bool required)
    {
        const Json* v = Find(key);
        if (!v)
            return !required || Fail(key, "is missing");
        if (v->type != Json::Type::String)
            return Fail(key, "is not a string");
        if (v->text.size() > kBenchTextMax)
            return Fail(key, "is too long");
        *out = v->text;
        return true;
    }
    bool Integer(const char* key, int64_t low, int64_t high, int64_t* out)
    {
        const Json* v = Find(key);
        if (!v)
            return Fail(key, "is missing");
        int64_t value = 0;
        const char* b = v->text.data();
        const char* e = b + v->text.size();
        const auto r = std::from_chars(b, e, value);
        if (v->type != Json::Type::Number || r.ec != std::errc() || r.ptr != e)
            return Fail(key, "is not a whole number");
        if (value < low || value > high)
            return Fail(key, "is out of range");
        *out = value;
        return true;
    }
    bool Real(const char* key, double low, double high, double* out)
    {
        const Json* v = Find(key);
        if (!v)
            return Fail(key, "is missing");
        if (v->type != Json::Type::Number)
            return Fail(key, "is not a number");
        double value = 0;
        const char* b = v->text.data();
        const char* e = b + v->text.size();
        const auto r = std::from_chars(b, e, value);
        if (r.ec != std::errc() || r.ptr != e || !std::isfinite(value) || value < low || value > high)
            return Fail(key, "is out of range");
        *out = value;
        return true;
    }
    const std::string& Problem() const { return problem_; }

private:
    const Json& object_;
    std::string where_;
    std::string problem_;
};

bool Refuse(std::string* problem, const std::string& why)
{
    if (problem)
        *problem = why;
    return false;
}

bool ReadSource(const Json& item, size_t index, BenchSourceSetup* out, std::string* problem)
{
    const std::string where = "bench.json: source " + std::to_string(index + 1) + ": ";
    if (item.type != Json::Type::Object)
        return Refuse(problem, where + "is not an object");
    Fields f(item, where);
    std::string protocol;
    int64_t baud = 0;
    if (!f.Text("name", &out->name, true) || !f.Text("address", &out->address, true) ||
        !f.Text("protocol", &protocol, true) || !f.Integer("baud", 0, kBenchBaudMax, &baud))
        return Refuse(problem, f.Problem());
    // The name becomes a file name in the folder: only a safe one is taken,
    // so no bench.json can point the reader outside its folder.
    if (out->name.empty() || BenchSafeName(out->name) != out->name)
        return Refuse(problem, where + "\"name\" is not a file name of letters, digits, '-' and '_'");
    if (out->address.empty())
        return Refuse(problem, where + "\"address\" is empty");
    if (protocol != "nmea" && protocol != "binr")
        return Refuse(problem, where + "\"protocol\" is neither \"nmea\" nor \"binr\"");
    out->binr = protocol == "binr";
    out->baud = int(baud);
    return true;
}

} // namespace

std::string BenchFolderName(int64_t startUnixMs, const std::string& title)
{
    const UtcParts p = Utc(startUnixMs);
    std::string name = Digits(p.year, 4) + "-" + Digits(p.month, 2) + "-" + Digits(p.day, 2) + "_" + Digits(p.hour, 2) +
                       Digits(p.minute, 2) + Digits(p.second, 2);
    const std::string safe = Sanitized(title);
    if (!safe.empty())
        name += "_" + safe;
    return name;
}

std::string BenchSafeName(const std::string& name)
{
    const std::string safe = Sanitized(name);
    return safe.empty() ? std::string("receiver") : safe;
}

std::vector<std::string> BenchSafeNames(const std::vector<std::string>& names)
{
    std::vector<std::string> out;
    std::set<std::string> taken;
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string safe = Sanitized(names[i]);
        const std::string base = safe.empty() ? "receiver" + std::to_string(i + 1) : safe;
        std::string name = base;
        // The base is cut to leave room for its number: a name stays a safe one.
        for (int n = 2; taken.count(name); ++n) {
            const std::string number = "_" + std::to_string(n);
            name = base.substr(0, kNameMax - number.size()) + number;
        }
        taken.insert(name);
        out.push_back(name);
    }
    return out;
}

std::string BenchFileName(const BenchSourceSetup& source) { return source.name + (source.binr ? ".dat" : ".nme"); }

std::string BenchDefaultName(const std::string& address)
{
    static const char* const kSchemes[] = {"tcp://", "udp://", "gpsd://"};
    for (const char* scheme : kSchemes) {
        if (address.rfind(scheme, 0) != 0)
            continue;
        std::string rest = address.substr(std::strlen(scheme));
        rest = rest.substr(0, rest.find('/'));
        std::string host;
        if (!rest.empty() && rest.front() == '[')
            host = rest.substr(1, rest.find(']') - 1);
        else
            host = rest.substr(0, rest.rfind(':'));
        if (host.empty()) {   // udp://:PORT: every local address, named by its port
            const size_t colon = rest.rfind(':');
            return BenchSafeName(std::string(scheme, std::strlen(scheme) - 3) + (colon == std::string::npos ? "" : rest.substr(colon + 1)));
        }
        return BenchSafeName(host);
    }
    // A serial port: "/dev/serial/by-id/usb-Maker_GNSS_123-if00-port0" names
    // the device whatever socket it is in; "/dev/ttyUSB0" names the port.
    const size_t slash = address.rfind('/');
    std::string last = slash == std::string::npos ? address : address.substr(slash + 1);
    if (address.find("/by-id/") != std::string::npos) {
        static const char* const kBusPrefixes[] = {"usb-", "pci-", "platform-"};
        for (const char* prefix : kBusPrefixes)
            if (last.rfind(prefix, 0) == 0 && last.size() > std::strlen(prefix))
                last = last.substr(std::strlen(prefix));
        const size_t port = last.rfind("-if");
        if (port != std::string::npos && port > 0)
            last.resize(port);
    }
    return BenchSafeName(last);
}

std::string BenchJsonText(const BenchManifest& manifest)
{
    std::string out = "{\n";
    out += "  \"format\": " + std::to_string(kFormatVersion) + ",\n";
    out += "  \"title\": ";
    PutString(out, manifest.title);
    out += ",\n  \"start\": ";
    PutString(out, IsoUtc(manifest.startUnixMs));
    out += ",\n  \"startUnixMs\": " + std::to_string(manifest.startUnixMs) + ",\n";
    out += "  \"reference\": ";
    if (manifest.reference && ReferenceWritable(*manifest.reference)) {
        out += "{\"lat\": ";
        PutReal(out, manifest.reference->latDeg);
        out += ", \"lon\": ";
        PutReal(out, manifest.reference->lonDeg);
        out += ", \"height\": ";
        PutReal(out, manifest.reference->heightM);
        out += "}";
    } else {
        out += "null";
    }
    out += ",\n  \"program\": ";
    PutString(out, manifest.program);
    out += ",\n  \"sources\": [";
    for (size_t i = 0; i < manifest.sources.size(); ++i) {
        const BenchSourceSetup& s = manifest.sources[i];
        out += i ? ",\n    " : "\n    ";
        out += "{\"name\": ";
        PutString(out, s.name);
        out += ", \"address\": ";
        PutString(out, s.address);
        out += s.binr ? ", \"protocol\": \"binr\"" : ", \"protocol\": \"nmea\"";
        out += ", \"baud\": " + std::to_string(s.baud) + "}";
    }
    out += manifest.sources.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

bool ParseBenchJson(const std::string& text, BenchManifest* out, std::string* problem)
{
    if (text.size() > kJsonMax)
        return Refuse(problem, "bench.json is larger than 1 MiB");
    Json doc;
    Reader reader(text);
    if (!reader.Document(&doc))
        return Refuse(problem, "bench.json is not valid JSON: " + reader.Problem());
    if (doc.type != Json::Type::Object)
        return Refuse(problem, "bench.json does not hold an object");

    BenchManifest m;
    Fields f(doc, "bench.json: ");
    int64_t format = 0;
    if (!f.Integer("format", 1, std::numeric_limits<int32_t>::max(), &format))
        return Refuse(problem, f.Problem());
    if (format > kFormatVersion)
        return Refuse(problem, "bench.json is of format " + std::to_string(format) + ", made by a newer version of the program");
    // The start in milliseconds is the one read; the ISO text beside it is
    // for people. Years 1970..9999 cover any real test.
    if (!f.Text("title", &m.title, false) || !f.Text("program", &m.program, false) ||
        !f.Integer("startUnixMs", 0, kBenchLatestMs, &m.startUnixMs))
        return Refuse(problem, f.Problem());

    if (const Json* ref = f.Find("reference"); ref && ref->type != Json::Type::Null) {
        if (ref->type != Json::Type::Object)
            return Refuse(problem, "bench.json: \"reference\" is neither an object nor null");
        Fields r(*ref, "bench.json: reference ");
        BenchReference point;
        if (!r.Real("lat", -90, 90, &point.latDeg) || !r.Real("lon", -180, 180, &point.lonDeg) ||
            !r.Real("height", -kBenchHeightMaxM, kBenchHeightMaxM, &point.heightM))
            return Refuse(problem, r.Problem());
        m.reference = point;
    }

    const Json* sources = f.Find("sources");
    if (!sources || sources->type != Json::Type::Array)
        return Refuse(problem, "bench.json: \"sources\" is missing or not a list");
    if (sources->items.empty())
        return Refuse(problem, "bench.json names no source");
    if (sources->items.size() > size_t(kBenchMaxSources))
        return Refuse(problem, "bench.json names more than " + std::to_string(kBenchMaxSources) + " sources");
    std::set<std::string> names;
    for (size_t i = 0; i < sources->items.size(); ++i) {
        BenchSourceSetup s;
        if (!ReadSource(sources->items[i], i, &s, problem))
            return false;
        if (!names.insert(s.name).second)
            return Refuse(problem, "bench.json names the source \"" + s.name + "\" twice");
        m.sources.push_back(std::move(s));
    }
    // Whatever the fields above let through, the rule the bench starts by.
    if (const std::string why = BenchManifestProblem(m); !why.empty())
        return Refuse(problem, "bench.json: " + why);
    if (out)
        *out = std::move(m);
    return true;
}

std::string BenchJsonPath(const std::string& folder) { return folder + "/" + kBenchJsonName; }

bool IsBenchFolder(const std::string& folder)
{
    // Whatever is there by that name: what cannot be read as a bench.json
    // is said by ReadBenchFolder, rather than the folder taken for a file.
    struct stat st {};
    return ::lstat(BenchJsonPath(folder).c_str(), &st) == 0;
}

bool ReadBenchFolder(const std::string& folder, BenchManifest* out, std::string* problem)
{
    const std::string path = BenchJsonPath(folder);
    std::string text, why;
    if (!ReadSmallFile(path, kJsonMax, &text, &why))
        return Refuse(problem, path + " cannot be read: " + why);
    if (!ParseBenchJson(text, out, &why))
        return Refuse(problem, folder + "/" + why);   // every reason starts "bench.json"
    return true;
}

bool WriteBenchFolder(const std::string& folder, const BenchManifest& manifest, std::string* problem)
{
    // Written beside and renamed, so a reader never sees half a file.
    const std::string path = BenchJsonPath(folder);
    if (const std::string why = BenchManifestProblem(manifest); !why.empty())
        return Refuse(problem, path + " not written: " + why);
    const std::string part = path + ".part";
    const std::string text = BenchJsonText(manifest);
    FileHandle f = OpenFile(part.c_str(), "wb");
    const bool written = f && std::fwrite(text.data(), 1, text.size(), f.get()) == text.size();
    if (!CloseFile(f) || !written || std::rename(part.c_str(), path.c_str()) != 0) {
        std::remove(part.c_str());
        return Refuse(problem, path + " cannot be written");
    }
    return true;
}
