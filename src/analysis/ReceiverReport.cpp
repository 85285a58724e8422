#include "ReceiverReport.h"

#include "ChartScale.h"
#include "EpochCollector.h"
#include "NmeaDate.h"
#include "TerminalText.h"
#include "Util.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <string_view>

namespace {

const char* const kDash = "\xE2\x80\x93";   // "–": a figure that cannot be computed
constexpr double kDegPerRad = 180.0 / M_PI;

template <Figure Figures::*M>
Figure Member(const Figures& f)
{
    return f.*M;
}

template <int64_t Figures::*M>
Figure Count(const Figures& f)
{
    return double(f.*M);
}

template <size_t K>
Figure KindCount(const Figures& f)
{
    return double(f.perKind[K]);
}

template <std::array<Figure, kSatSystems> Figures::*M, int S>
Figure PerSystem(const Figures& f)
{
    return (f.*M)[S];
}

Figure ReferenceLat(const Figures& f) { return f.reference ? Figure(f.reference->latRad * kDegPerRad) : std::nullopt; }
Figure ReferenceLon(const Figures& f) { return f.reference ? Figure(f.reference->lonRad * kDegPerRad) : std::nullopt; }
Figure ReferenceHeight(const Figures& f) { return f.reference ? Figure(f.reference->heightM) : std::nullopt; }

std::string FirstEpoch(const Figures& f) { return f.firstMs ? TimeLineText(*f.firstMs, f.datesKnown) : std::string(); }
std::string LastEpoch(const Figures& f) { return f.lastMs ? TimeLineText(*f.lastMs, f.datesKnown) : std::string(); }
// Shown where the time to first fix has no value.
std::string TtffText(const Figures& f) { return f.startedWithFix ? std::string("started with a fix") : std::string(); }
std::string ReferenceSource(const Figures& f)
{
    return !f.reference ? std::string() : f.referenceGiven ? std::string("given") : std::string("mean");
}

std::string ClockText(int64_t msOfDay)
{
    const int64_t s = msOfDay / 1000;
    return Format("%02d:%02d:%02d.%03d", int(s / 3600), int(s / 60 % 60), int(s % 60), int(msOfDay % 1000));
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - (a % b < 0); }

// Display width of UTF-8 text: its code points.
size_t Width(const std::string& s)
{
    return size_t(std::count_if(s.begin(), s.end(), [](char c) { return (uint8_t(c) & 0xC0) != 0x80; }));
}

// UTF-8 passes as it is; control characters (C1 and DEL too, so that the
// JSON on a terminal is as harmless as the table) are escaped, and a byte
// that is not UTF-8 (a file name's need not be) becomes U+FFFD.
std::string JsonString(const std::string& s)
{
    std::string out = "\"";
    for (size_t at = 0; at < s.size();) {
        uint32_t cp = 0;
        const size_t length = Utf8SequenceAt(s, at, &cp);
        if (length == 0)
            out += "\\ufffd";
        else if (cp == '"' || cp == '\\')
            out += std::string("\\") + char(cp);
        else if (IsControlCode(cp))
            out += Format("\\u%04x", unsigned(cp));
        else
            out.append(s, at, length);
        at += length ? length : 1;
    }
    return out + "\"";
}

std::string JsonNumber(const Figure& v)
{
    return v && std::isfinite(*v) ? Format("%.10g", *v) : std::string("null");
}

// A text cell. Spreadsheets take a cell that starts with = + - @ (or a tab
// or CR before one) for a formula, and a file name may start so: such a cell
// gets a leading ' and reads as the text it is.
std::string CsvText(const std::string& s)
{
    const std::string text = !s.empty() && std::string_view("=+-@\t\r").find(s[0]) != std::string_view::npos
                                 ? "'" + s
                                 : s;
    if (text.find_first_of(",\"\n\r") == std::string::npos)
        return text;
    std::string out = "\"";
    for (const char c : text)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}


} // namespace

const std::vector<ReportRow>& ReportRows()
{
    using F = Figures;
    static const std::vector<ReportRow> rows = {
        {"Epochs", "epochs", 0, Better::None, Count<&F::epochs>, nullptr, "Time line"},
        {"Accepted fixes", "accepted_fixes", 0, Better::Higher, Count<&F::accepted>, nullptr, "Time line"},
        {"First epoch (UTC)", "first_epoch", -1, Better::None, nullptr, FirstEpoch, "Time line"},
        {"Last epoch (UTC)", "last_epoch", -1, Better::None, nullptr, LastEpoch, "Time line"},
        {"Span, s", "span_s", 1, Better::None, Member<&F::spanS>, nullptr, "Time line"},
        {"Rate (median interval), s", "rate_s", 3, Better::None, Member<&F::rateS>, nullptr, "Time line"},
        {"Gaps", "gaps", 0, Better::Lower, Member<&F::gaps>, nullptr, "Time line"},
        {"Missing epochs", "missing_epochs", 0, Better::Lower, Member<&F::missing>, nullptr, "Time line"},
        {"Clock jumps", "clock_jumps", 0, Better::None, Member<&F::clockJumps>, nullptr, "Time line"},
        {"Availability, %", "availability_pct", 2, Better::Higher, Member<&F::availabilityPct>, nullptr, "Time line"},
        {"Time to first fix, s", "ttff_s", 1, Better::Lower, Member<&F::ttffS>, TtffText, "Time line"},
        {"Epochs without fix", "epochs_no_fix", 0, Better::None, KindCount<0>, nullptr, "Fix kinds"},
        {"Epochs autonomous", "epochs_autonomous", 0, Better::None, KindCount<1>, nullptr, "Fix kinds"},
        {"Epochs differential", "epochs_differential", 0, Better::None, KindCount<2>, nullptr, "Fix kinds"},
        {"Epochs RTK fixed", "epochs_rtk_fixed", 0, Better::None, KindCount<3>, nullptr, "Fix kinds"},
        {"Epochs RTK float", "epochs_rtk_float", 0, Better::None, KindCount<4>, nullptr, "Fix kinds"},
        {"Epochs estimated", "epochs_estimated", 0, Better::None, KindCount<5>, nullptr, "Fix kinds"},
        {"Epochs manual input", "epochs_manual", 0, Better::None, KindCount<6>, nullptr, "Fix kinds"},
        {"Epochs simulated", "epochs_simulated", 0, Better::None, KindCount<7>, nullptr, "Fix kinds"},
        {"Epochs other kind", "epochs_other_kind", 0, Better::None, KindCount<8>, nullptr, "Fix kinds"},
        {"Epochs 2D", "epochs_2d", 0, Better::None, Count<&F::twoD>, nullptr, "Fix kinds"},
        {"Epochs 3D", "epochs_3d", 0, Better::None, Count<&F::threeD>, nullptr, "Fix kinds"},
        {"Fixes of unknown dimension", "epochs_dim_unknown", 0, Better::None, Count<&F::dimUnknown>, nullptr, "Fix kinds"},
        {"Fixes without height", "fixes_no_height", 0, Better::None, Count<&F::noHeight>, nullptr, "Fix kinds"},
        {"Reference", "reference_source", -1, Better::None, nullptr, ReferenceSource, "Reference"},
        {"Reference latitude, deg", "reference_lat_deg", 8, Better::None, ReferenceLat, nullptr, "Reference"},
        {"Reference longitude, deg", "reference_lon_deg", 8, Better::None, ReferenceLon, nullptr, "Reference"},
        {"Reference height, m", "reference_height_m", 3, Better::None, ReferenceHeight, nullptr, "Reference"},
        {"Bias east, m", "bias_east_m", 3, Better::LowerMagnitude, Member<&F::biasEastM>, nullptr, "Accuracy"},
        {"Bias north, m", "bias_north_m", 3, Better::LowerMagnitude, Member<&F::biasNorthM>, nullptr, "Accuracy"},
        {"Bias up, m", "bias_up_m", 3, Better::LowerMagnitude, Member<&F::biasUpM>, nullptr, "Accuracy"},
        {"SD east, m", "sd_east_m", 3, Better::Lower, Member<&F::sdEastM>, nullptr, "Accuracy"},
        {"SD north, m", "sd_north_m", 3, Better::Lower, Member<&F::sdNorthM>, nullptr, "Accuracy"},
        {"SD up, m", "sd_up_m", 3, Better::Lower, Member<&F::sdUpM>, nullptr, "Accuracy"},
        {"CEP50, m", "cep50_m", 3, Better::Lower, Member<&F::cep50M>, nullptr, "Accuracy"},
        {"R68, m", "r68_m", 3, Better::Lower, Member<&F::r68M>, nullptr, "Accuracy"},
        {"R95, m", "r95_m", 3, Better::Lower, Member<&F::r95M>, nullptr, "Accuracy"},
        {"R99, m", "r99_m", 3, Better::Lower, Member<&F::r99M>, nullptr, "Accuracy"},
        {"Horizontal max, m", "horizontal_max_m", 3, Better::Lower, Member<&F::rMaxM>, nullptr, "Accuracy"},
        {"2DRMS, m", "drms2_m", 3, Better::Lower, Member<&F::drms2M>, nullptr, "Accuracy"},
        {"Vertical |up| 50 %, m", "vertical50_m", 3, Better::Lower, Member<&F::up50M>, nullptr, "Accuracy"},
        {"Vertical |up| 95 %, m", "vertical95_m", 3, Better::Lower, Member<&F::up95M>, nullptr, "Accuracy"},
        {"Vertical |up| 99 %, m", "vertical99_m", 3, Better::Lower, Member<&F::up99M>, nullptr, "Accuracy"},
        {"3D error 50 %, m", "error3d50_m", 3, Better::Lower, Member<&F::d3_50M>, nullptr, "Accuracy"},
        {"3D error 95 %, m", "error3d95_m", 3, Better::Lower, Member<&F::d3_95M>, nullptr, "Accuracy"},
        {"HDOP median", "hdop_median", 2, Better::Lower, Member<&F::hdopMedian>, nullptr, "Satellites"},
        {"HDOP 95 %", "hdop95", 2, Better::Lower, Member<&F::hdop95>, nullptr, "Satellites"},
        {"VDOP median", "vdop_median", 2, Better::Lower, Member<&F::vdopMedian>, nullptr, "Satellites"},
        {"VDOP 95 %", "vdop95", 2, Better::Lower, Member<&F::vdop95>, nullptr, "Satellites"},
        {"GPS used, mean", "gps_used_mean", 1, Better::Higher, PerSystem<&F::usedMean, kSysGps>, nullptr, "Satellites"},
        {"GPS used, min", "gps_used_min", 0, Better::Higher, PerSystem<&F::usedMin, kSysGps>, nullptr, "Satellites"},
        {"GPS used, max", "gps_used_max", 0, Better::Higher, PerSystem<&F::usedMax, kSysGps>, nullptr, "Satellites"},
        {"GLONASS used, mean", "glonass_used_mean", 1, Better::Higher, PerSystem<&F::usedMean, kSysGlonass>, nullptr, "Satellites"},
        {"GLONASS used, min", "glonass_used_min", 0, Better::Higher, PerSystem<&F::usedMin, kSysGlonass>, nullptr, "Satellites"},
        {"GLONASS used, max", "glonass_used_max", 0, Better::Higher, PerSystem<&F::usedMax, kSysGlonass>, nullptr, "Satellites"},
        {"Other used, mean", "other_used_mean", 1, Better::Higher, PerSystem<&F::usedMean, kSysOther>, nullptr, "Satellites"},
        {"Other used, min", "other_used_min", 0, Better::Higher, PerSystem<&F::usedMin, kSysOther>, nullptr, "Satellites"},
        {"Other used, max", "other_used_max", 0, Better::Higher, PerSystem<&F::usedMax, kSysOther>, nullptr, "Satellites"},
        {"GPS SNR mean, dB-Hz", "gps_snr_mean_dbhz", 1, Better::Higher, PerSystem<&F::snrMeanDbHz, kSysGps>, nullptr, "Satellites"},
        {"GLONASS SNR mean, dB-Hz", "glonass_snr_mean_dbhz", 1, Better::Higher, PerSystem<&F::snrMeanDbHz, kSysGlonass>, nullptr, "Satellites"},
        {"Other SNR mean, dB-Hz", "other_snr_mean_dbhz", 1, Better::Higher, PerSystem<&F::snrMeanDbHz, kSysOther>, nullptr, "Satellites"},
        {"Decoding errors", "decoding_errors", 0, Better::Lower, Count<&F::errors>, nullptr, "Decoding"},
    };
    return rows;
}

std::string RowText(const ReportRow& row, const Figures& f)
{
    // A number's row may have a text for when it has no value.
    if (row.text && (row.decimals < 0 || !row.value(f))) {
        const std::string t = row.text(f);
        return t.empty() ? std::string(kDash) : t;
    }
    const Figure v = row.value(f);
    if (!v || !std::isfinite(*v))
        return kDash;
    const std::string t = FixedText(*v, row.decimals);
    // A value that rounds to zero reads as zero, whatever its sign.
    return t[0] == '-' && t.find_first_of("123456789") == std::string::npos ? t.substr(1) : t;
}

std::vector<bool> BestOfRow(const ReportRow& row, const std::vector<ReportEntry>& entries)
{
    std::vector<bool> best(entries.size(), false);
    if (row.better == Better::None || !row.value || (IsBiasRow(row) && !AllReferencesGiven(entries)))
        return best;
    // A count of every system together is no count of the others.
    if (std::string_view(row.key).substr(0, 10) == "other_used" && SystemUnknownIn(entries))
        return best;
    std::vector<double> values(entries.size(), 0);
    std::vector<bool> valid(entries.size(), false);
    for (size_t i = 0; i < entries.size(); ++i) {
        const Figure v = row.value(entries[i].figures);
        if (!v || !std::isfinite(*v))
            continue;
        // Compared as shown, so two values that read the same are equal.
        values[i] = TextToReal(FixedText(*v, row.decimals).c_str());
        valid[i] = true;
    }
    const Rank rank = row.better == Better::Higher ? Rank::Higher
                      : row.better == Better::Lower ? Rank::Lower
                                                    : Rank::LowerMagnitude;
    return BestMarks(values, valid, row.decimals, rank);
}

bool SystemUnknownIn(const std::vector<ReportEntry>& entries)
{
    return std::any_of(entries.begin(), entries.end(), [](const ReportEntry& e) { return e.log && e.log->usedSystemUnknown; });
}

std::string RowLabel(const ReportRow& row, const std::vector<ReportEntry>& entries)
{
    const std::string label = row.label;
    if (std::string_view(row.key).substr(0, 10) != "other_used" || !SystemUnknownIn(entries))
        return label;
    return "Other or GNSS (system unknown)" + label.substr(5);
}

bool IsBiasRow(const ReportRow& row) { return std::string_view(row.key).substr(0, 5) == "bias_"; }

bool AllReferencesGiven(const std::vector<ReportEntry>& entries)
{
    return std::all_of(entries.begin(), entries.end(), [](const ReportEntry& e) { return e.figures.referenceGiven; });
}

std::string BaseName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string TimeLineText(int64_t ms, bool datesKnown)
{
    const int64_t day = FloorDiv(ms, kMsPerDay);
    const std::string clock = ClockText(ms - day * kMsPerDay);
    if (!datesKnown)
        return day == 0 ? clock : clock + Format(" +%lldd", static_cast<long long>(day));
    int64_t year;
    int month, dayOfMonth;
    CivilFromDays(day, year, month, dayOfMonth);
    return Format("%04lld-%02d-%02d ", static_cast<long long>(year), month, dayOfMonth) + clock;
}

std::string IsoTime(int64_t ms, bool datesKnown)
{
    if (!datesKnown)
        return {};
    std::string t = TimeLineText(ms, true);
    t[10] = 'T';
    return t + "Z";
}

void WriteTextTable(std::ostream& out, const std::vector<ReportEntry>& entries)
{
    const std::vector<ReportRow>& rows = ReportRows();
    size_t labelWidth = 0;
    for (const ReportRow& row : rows)
        labelWidth = std::max(labelWidth, Width(RowLabel(row, entries)));
    std::vector<std::string> header;
    std::vector<size_t> width;
    for (const ReportEntry& e : entries) {
        header.push_back(TerminalText(BaseName(e.name)));
        width.push_back(Width(header.back()));
    }
    std::vector<std::vector<std::string>> cells(rows.size());
    for (size_t r = 0; r < rows.size(); ++r) {
        const std::vector<bool> best = BestOfRow(rows[r], entries);
        for (size_t i = 0; i < entries.size(); ++i) {
            cells[r].push_back(RowText(rows[r], entries[i].figures) + (best[i] ? " *" : "  "));
            width[i] = std::max(width[i], Width(cells[r].back()));
        }
    }
    auto pad = [](const std::string& s, size_t w) { return std::string(w > Width(s) ? w - Width(s) : 0, ' ') + s; };
    out << std::string(labelWidth, ' ');
    for (size_t i = 0; i < entries.size(); ++i)
        out << "  " << pad(header[i] + "  ", width[i]);
    out << '\n';
    for (size_t r = 0; r < rows.size(); ++r) {
        const std::string label = RowLabel(rows[r], entries);
        out << label << std::string(labelWidth - Width(label), ' ');
        for (size_t i = 0; i < entries.size(); ++i)
            out << "  " << pad(cells[r][i], width[i]);
        out << '\n';
    }
    if (entries.size() > 1)
        out << "* best of the row (by more than its last digit and 1 %)\n";
    if (SystemUnknownIn(entries))
        out << "GNSS (system unknown): a GN GGA's count of satellites used, with no GSA to tell the systems; not ranked\n";
}

void WriteJson(std::ostream& out, const std::vector<ReportEntry>& entries)
{
    out << "{\n  \"files\": [";
    for (size_t i = 0; i < entries.size(); ++i) {
        const ReportEntry& e = entries[i];
        out << (i ? ",\n" : "\n") << "    {\n      \"file\": " << JsonString(e.name)
            << ",\n      \"protocol\": " << JsonString(e.protocol);
        for (const ReportRow& row : ReportRows()) {
            out << ",\n      " << JsonString(row.key) << ": ";
            if (row.decimals < 0) {
                const std::string t = row.text(e.figures);
                out << (t.empty() ? std::string("null") : JsonString(t));
            } else {
                out << JsonNumber(row.value(e.figures));
            }
        }
        out << "\n    }";
    }
    out << "\n  ]\n}\n";
}

namespace {

// The CSV's numbers, written straight into the line with the digits of
// printf's %.Nf, at a fraction of its cost (a dozen numbers an epoch). The
// value scaled to whole units of the last digit is rounded as an integer
// unless the scaling's own error could decide the rounding; then (and for
// huge values) std::to_chars rounds the exact binary value, as printf does.
void Put(std::string& line, double v, int decimals)
{
    static constexpr double kScale[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
    const double scaled = decimals >= 0 && decimals <= 9 ? std::fabs(v) * kScale[decimals] : 1e300;
    constexpr double kExact = 9e15;   // below 2^53: whole numbers are exact
    const double low = std::floor(scaled);
    if (scaled < kExact && std::fabs(scaled - low - 0.5) > scaled * 1e-15 + 1e-9) {
        uint64_t units = uint64_t(scaled - low > 0.5 ? low + 1 : low);
        // Written backwards from the last digit into a buffer, added at once.
        char text[32];
        char* at = text + sizeof text;
        for (int k = 0; k < decimals; ++k, units /= 10)
            *--at = char('0' + units % 10);
        if (decimals > 0)
            *--at = '.';
        do {
            *--at = char('0' + units % 10);
            units /= 10;
        } while (units > 0);
        if (std::signbit(v))
            *--at = '-';   // even when it rounds to zero, as printf does
        line.append(at, size_t(text + sizeof text - at));
        return;
    }
    char buffer[400];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, decimals);
    if (ec == std::errc())
        line.append(buffer, end);
    else
        line += Format("%.*f", decimals, v);
}

void Put(std::string& line, int v)
{
    char buffer[16];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
    line.append(buffer, ec == std::errc() ? end : buffer);
}

// "date,time" of an epoch (date empty on an undated line); the date part is
// worked out once a day.
class CsvTime {
public:
    explicit CsvTime(bool datesKnown) : datesKnown_(datesKnown) {}
    void Put(std::string& line, int64_t ms)
    {
        const int64_t day = FloorDiv(ms, kMsPerDay);
        if (day != day_) {
            day_ = day;
            const std::string t = TimeLineText(day * kMsPerDay, datesKnown_);
            const size_t blank = t.find(' ');
            // Undated: the time carries " +Nd" after the first day.
            prefix_ = datesKnown_ ? t.substr(0, blank) + ',' : std::string(",");
            suffix_ = !datesKnown_ && blank != std::string::npos ? t.substr(blank) : std::string();
        }
        const int64_t msOfDay = ms - day * kMsPerDay;
        char clock[16];
        const int64_t s = msOfDay / 1000;
        const int h = int(s / 3600), m = int(s / 60 % 60), sec = int(s % 60), milli = int(msOfDay % 1000);
        const char text[] = {char('0' + h / 10), char('0' + h % 10), ':', char('0' + m / 10), char('0' + m % 10), ':',
                             char('0' + sec / 10), char('0' + sec % 10), '.', char('0' + milli / 100),
                             char('0' + milli / 10 % 10), char('0' + milli % 10)};
        std::copy(std::begin(text), std::end(text), clock);
        line += prefix_;
        line.append(clock, sizeof text);
        line += suffix_;
    }

private:
    bool datesKnown_;
    int64_t day_ = INT64_MIN;
    std::string prefix_, suffix_;
};

} // namespace

void WriteCsv(std::ostream& out, const std::vector<ReportEntry>& entries)
{
    out << "file,date,time,fix_kind,accepted,lat_deg,lon_deg,height_m,east_m,north_m,up_m,hdop,vdop,"
           "sats_used,gps_used,glonass_used,other_used\n";
    constexpr size_t kFlushBytes = 1 << 20;
    std::string line;
    line.reserve(kFlushBytes + 1024);
    for (const ReportEntry& e : entries) {
        const EpochLog& log = *e.log;
        const std::string file = CsvText(e.name);
        std::optional<LocalFrame> frame;
        if (e.figures.reference)
            frame.emplace(*e.figures.reference);
        CsvTime time(log.datesKnown);
        for (size_t i = 0; i < log.Size(); ++i) {
            const EpochRecord& r = log[i];
            line += file;
            line += ',';
            if (r.TimeKnown())
                time.Put(line, log.TimeMs(i));
            else
                line += ',';
            line += ',';
            line += FixKindName(r.Kind());
            line += r.Accepted() ? ",1" : ",0";
            if (r.HasPosition()) {
                const GeoPoint p = log.PositionOf(r);
                line += ',';
                Put(line, p.latRad * kDegPerRad, 9);
                line += ',';
                Put(line, p.lonRad * kDegPerRad, 9);
                // No height given: its cell and the up error's are empty.
                line += ',';
                if (!std::isnan(p.heightM))
                    Put(line, p.heightM, 3);
                if (frame) {
                    const LocalFrame::Enu enu = frame->ErrorOf(r);
                    for (const double v : {enu.east, enu.north, enu.up}) {
                        line += ',';
                        if (!std::isnan(v))
                            Put(line, v, 3);
                    }
                } else {
                    line += ",,,";
                }
            } else {
                line += ",,,,,,";
            }
            for (const float dop : {r.hdop, r.vdop}) {
                line += ',';
                if (EpochRecord::HasDop(dop))
                    Put(line, double(dop), 2);
            }
            for (const int n : {r.used[0] + r.used[1] + r.used[2], int(r.used[0]), int(r.used[1]), int(r.used[2])}) {
                line += ',';
                Put(line, n);
            }
            line += '\n';
            if (line.size() >= kFlushBytes) {
                out << line;
                line.clear();
            }
        }
    }
    out << line;
}

namespace {

size_t Utf8Length(const std::string& text, size_t at)
{
    const uint8_t lead = uint8_t(text[at]);
    const size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || at + length > text.size())
        return 0;
    for (size_t k = 1; k < length; ++k)
        if ((uint8_t(text[at + k]) & 0xC0) != 0x80)
            return 0;
    return length;
}

} // namespace

std::string XmlEscaped(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (uint8_t(c) >= 0x80) {
            // A file name's bytes need not be UTF-8; the page's must be.
            const size_t length = Utf8Length(text, i);
            out += length ? text.substr(i, length) : std::string("?");
            i += length ? length - 1 : 0;
            continue;
        }
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default:
            // Control characters are not allowed in XML 1.0 at all.
            if (uint8_t(c) >= 0x20 || c == '\t' || c == '\n')
                out += c;
            else
                out += '?';
        }
    }
    return out;
}
