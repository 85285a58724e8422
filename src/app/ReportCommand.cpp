#include "ReportCommand.h"

#include "Angles.h"
#include "BenchFolder.h"
#include "BenchReceiver.h"
#include "EpochCollector.h"
#include "Figures.h"
#include "PathIdentity.h"
#include "ReceiveTimes.h"
#include "ReceiverReport.h"
#include "RecordingIdentity.h"
#include "ReportOptions.h"
#include "SmallFile.h"
#include "TerminalText.h"
#include "Util.h"
#include "WeekRollover.h"
#include "WholeFile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <fcntl.h>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <sys/mman.h>
#include <system_error>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t kReadBlock = 1 << 20;
constexpr size_t kMapWindow = 16 << 20;    // a multiple of the page size

struct Output {
    const char* option;
    const std::string& name;
};

std::vector<Output> AskedOutputs(const ReportOptions& o)
{
    std::vector<Output> asked;
    for (const Output& out : {Output{"--json", o.json}, Output{"--csv", o.csv}, Output{"--html", o.html},
                              Output{"--gpx", o.gpx}, Output{"--kml", o.kml}})
        if (!out.name.empty())
            asked.push_back(out);
    return asked;
}

// Every output is checked before anything is read or written: one that is an
// input would replace the recording with its own report, two on one file or
// on standard output would leave one of them, or both interleaved.
std::string OutputConflict(const ReportOptions& o)
{
    const std::vector<Output> outputs = AskedOutputs(o);
    for (size_t i = 0; i < outputs.size(); ++i) {
        const Output& out = outputs[i];
        const std::string named = std::string(out.option) + " " + out.name;
        for (size_t k = 0; k < i; ++k) {
            const Output& earlier = outputs[k];
            if (out.name == "-" && earlier.name == "-")
                return std::string(earlier.option) + " - and " + out.option + " -: only one output can go to standard output";
            if (out.name != "-" && earlier.name != "-" && SameFile(earlier.name, out.name))
                return std::string(earlier.option) + " " + earlier.name + " and " + named + " are the same file";
        }
        if (out.name == "-")
            continue;
        for (const std::string& file : o.files)
            if (SameFile(file, out.name))
                return named + " would overwrite the input " + file;
    }
    return {};
}

// Where the messages of a report run go besides standard error: the
// bench's "Report" button shows them.
thread_local std::string* tMessages = nullptr;

void Say(const std::string& text)
{
    std::fprintf(stderr, "%s\n", TerminalText(text).c_str());
    if (tMessages)
        *tMessages += (tMessages->empty() ? "" : "\n") + text;
}

void Complain(const std::string& name, const char* what, int error)
{
    std::string text = "kestrova: " + name + ": " + what;
    if (error)
        text += std::string(": ") + std::strerror(error);
    Say(text);
}

// A closed standard output or error would hand its number to the next file
// opened, and what was meant for the terminal would land in an input or an
// output; /dev/null holds the place. True when standard output was closed.
bool HoldStandardStreams()
{
    bool outClosed = false;
    for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
            continue;
        outClosed = outClosed || fd == STDOUT_FILENO;
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null >= 0 && null != fd) {
            ::dup2(null, fd);
            ::close(null);
        }
    }
    return outClosed;
}

bool IsBinr(const ReportOptions& o, const std::string& file)
{
    if (o.protocol != ReportOptions::Protocol::ByName)
        return o.protocol == ReportOptions::Protocol::Binr;
    return file.size() >= 4 && strcasecmp(file.c_str() + file.size() - 4, ".dat") == 0;
}

void RefuseNonRegular(const std::string& file, const struct stat& st)
{
    Complain(file, S_ISDIR(st.st_mode) ? "a folder, not a file" : "not a regular file", 0);
}

// Reads the whole file through the collector; complains and returns false
// when it cannot be read. Only a regular file is read: a device may never end
// (/dev/zero) and a FIFO may never be written to. Such a name is not even
// opened (opening a device can act on it); should it change in between, the
// open does not wait for a FIFO's writer and the check is made again.
// The file's identity for the page, worked out from the same blocks.
struct Identity {
    explicit Identity(bool binr) : names(binr) {}
    Sha256 sha;
    ReceiverNameFinder names;
    uint64_t size = 0;
};

bool Collect(const std::string& file, bool binr, DatePolicy dates, EpochCollector& collector, Identity* identity)
{
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        RefuseNonRegular(file, st);
        return false;
    }
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        Complain(file, "cannot open", errno);
        return false;
    }
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        Complain(file, "cannot open", error);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        RefuseNonRegular(file, st);
        return false;
    }
    // BINR weeks are dated by the file's time, as its playback dates them.
    dates.UseFileTime(st.st_mtim.tv_sec);
    collector.SetDates(dates);
    // The hash runs on a second thread beside the decoding of the same
    // window (joined before the window goes), so the page costs no more time.
    auto feed = [&](const char* bytes, size_t n) {
        std::thread hashing;
        if (identity) {
            const auto hash = [&identity, bytes, n] { identity->sha.Add(reinterpret_cast<const uint8_t*>(bytes), n); };
            try {
                hashing = std::thread(hash);
            } catch (const std::system_error&) {
                hash();   // no thread to be had: hashed here instead
            }
            identity->names.Add(reinterpret_cast<const uint8_t*>(bytes), n);
            identity->size += n;
        }
        struct Join {
            std::thread& t;
            ~Join()
            {
                if (t.joinable())
                    t.join();
            }
        } join{hashing};
        if (binr)
            collector.PushBinr(reinterpret_cast<const uint8_t*>(bytes), n);
        else
            collector.PushNmea(bytes, n);
    };
    // The file is mapped a window at a time, which spares copying it and
    // keeps no more than a window in memory; where it cannot be mapped, the
    // rest is read.
    const size_t size = size_t(st.st_size);
    size_t offset = 0;
    while (offset < size) {
        const size_t length = std::min(kMapWindow, size - offset);
        void* map = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd, off_t(offset));
        if (map == MAP_FAILED)
            break;
        ::madvise(map, length, MADV_SEQUENTIAL);
        feed(static_cast<const char*>(map), length);
        ::munmap(map, length);
        offset += length;
    }
    if (offset == size) {
        ::close(fd);
        collector.Finish();
        return true;
    }
    if (::lseek(fd, off_t(offset), SEEK_SET) < 0) {
        const int error = errno;
        ::close(fd);
        Complain(file, "cannot read", error);
        return false;
    }
    std::unique_ptr<char[]> buffer(new char[kReadBlock]);
    int error = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.get(), kReadBlock);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            error = errno;
        if (n <= 0)
            break;
        feed(buffer.get(), size_t(n));
    }
    ::close(fd);
    collector.Finish();
    if (error)
        Complain(file, "cannot read", error);
    return error == 0;
}

using Writer = std::function<void(std::ostream&, const std::vector<ReportEntry>&)>;

// Writes to standard output; false (with a message) when it could not be
// written: a closed stream, a full disk, a reader gone.
bool WriteStandardOutput(const Writer& write, const std::vector<ReportEntry>& entries, bool closed)
{
    if (closed) {
        Complain("standard output", "cannot write", EBADF);
        return false;
    }
    errno = 0;
    write(std::cout, entries);
    std::cout.flush();
    int error = errno;
    if (std::fflush(stdout) != 0)
        error = errno;
    if (std::cout && !std::ferror(stdout))
        return true;
    Complain("standard output", "cannot write", error);
    return false;
}

constexpr int32_t kLastSecondOfDay = 86399;

std::string ClockText(int32_t s)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", int(s / 3600), int(s / 60 % 60), int(s % 60));
    return text;
}

// A recording with its receive times has its time to first fix measured on
// the computer's clock, which no default date of the receiver can spoil.
// A recording of a test folder counts from the bench's Start, which its
// .times header holds, as the bench counted live.
void ApplyReceiveTimes(const std::string& file, const EpochLog& log, Figures& f, bool sinceStart)
{
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    const std::string name = TimesFileName(file);
    const ReceiveTimesRead times = ReadReceiveTimes(name, int64_t(st.st_size));
    if (!times.problem.empty())
        Say("kestrova: " + name + " ignored: " + times.problem);
    if (sinceStart)
        TtffSinceStart(f, log, times.times);
    else
        TtffFromReceiveTimes(f, log, times.times);
}

// Writes one output; false (with a message) when it could not be written.
bool WriteOutput(const std::string& name, const Writer& write, const std::vector<ReportEntry>& entries,
                 bool standardOutputClosed)
{
    if (name.empty())
        return true;
    if (name == "-")
        return WriteStandardOutput(write, entries, standardOutputClosed);
    // Whole or not at all: a full disk or a kill leaves the previous file.
    const int error = WriteWholeFile(name, [&](std::ostream& out) { write(out, entries); });
    if (error)
        Complain(name, "cannot write", error);
    return error == 0;
}

std::string LimitText(const std::string& v) { return v.empty() || v == "0.0" ? std::string("none") : v; }

std::string ClockOfDay(int32_t s) { return Format("%02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60); }

// The kinds as --kinds names them; the default in the words docs/evaluating.md uses.
std::string KindsText(uint16_t kinds)
{
    if (kinds == kDefaultKinds)
        return "every kind but manual and simulated (the default)";
    std::string text;
    for (int k = 0; k < kFixKinds; ++k)
        if (kinds & KindBit(FixKind(k)))
            text += std::string(text.empty() ? "" : ", ") + FixKindName(FixKind(k));
    return text + " (--kinds)";
}

// One recording to read: a FILE of the command line, or one of a test folder's.
struct Input {
    std::string path;
    bool binr = false;
    std::optional<GeoPoint> reference;
    bool sinceStart = false;   // of a test folder: the time to first fix from the bench's Start
};

// The command line's FILEs with each test folder in place of its recordings,
// and what the page says of the tests.
struct Inputs {
    std::vector<Input> list;
    std::vector<std::pair<std::string, std::string>> testRows;
    std::string title;                        // the first test's
    int folders = 0;
    std::optional<GeoPoint> folderReference;  // the only test folder's reference, when it has one
    bool failed = false;                      // a test folder's bench.json could not be used
};

std::string DegreesText(const GeoPoint& p)
{
    return Format("%.8f, %.8f, %.3f m", p.latRad / kRadPerDeg, p.lonRad / kRadPerDeg, p.heightM);
}

std::string WithoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

Inputs ExpandInputs(const ReportOptions& o)
{
    Inputs in;
    for (const std::string& file : o.files) {
        struct stat st {};
        if (::stat(file.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || !IsBenchFolder(file)) {
            in.list.push_back({file, IsBinr(o, file), o.reference, false});
            continue;
        }
        const std::string folder = WithoutTrailingSlashes(file);
        BenchManifest m;
        std::string problem;
        if (!ReadBenchFolder(folder, &m, &problem)) {
            Say("kestrova: " + problem);
            in.failed = true;
            continue;
        }
        std::optional<GeoPoint> reference = o.reference;
        if (!reference && m.reference)
            reference = BenchReferencePoint(*m.reference);
        for (const BenchSourceSetup& source : m.sources)
            in.list.push_back({folder + "/" + BenchFileName(source), source.binr, reference, true});
        const std::string name = BaseName(folder);
        in.testRows.push_back({"Test", m.title.empty() ? name : m.title + " (" + name + ")"});
        in.testRows.push_back({"Test start (UTC)", TimeLineText(m.startUnixMs, true)});
        if (!m.program.empty())
            in.testRows.push_back({"Recorded by", m.program});
        for (const BenchSourceSetup& source : m.sources)
            in.testRows.push_back({"Receiver " + source.name, source.address + (source.binr ? ", BINR" : ", NMEA") +
                                                                  (source.baud > 0 ? Format(", %d baud", source.baud) : std::string())});
        in.testRows.push_back({"Test reference", !m.reference ? std::string("none")
                                                 : DegreesText(BenchReferencePoint(*m.reference)) +
                                                       (o.reference ? " (not used: --reference given)" : "")});
        if (in.title.empty())
            in.title = m.title;
        in.folderReference = ++in.folders == 1 && m.reference ? std::optional(BenchReferencePoint(*m.reference)) : std::nullopt;
    }
    return in;
}

std::string ReferenceText(const ReportOptions& o, const Inputs& in)
{
    if (o.reference)
        return DegreesText(*o.reference) + " (given with --reference)";
    const bool allFromFolder = std::all_of(in.list.begin(), in.list.end(), [](const Input& i) { return i.sinceStart; });
    if (in.folderReference && allFromFolder)
        return DegreesText(*in.folderReference) + " (from bench.json)";
    const bool anyGiven = std::any_of(in.list.begin(), in.list.end(), [](const Input& i) { return i.reference.has_value(); });
    if (anyGiven)
        return "each test's from its bench.json; for a recording without one, the mean of its accepted fixes";
    return "the mean of each recording's accepted fixes";
}

// What the page says about how it was made.
ReportPage PageOf(const ReportOptions& o, const Inputs& in, int argc, char* argv[], std::string& error)
{
    ReportPage page;
    page.title = o.title.empty() ? in.title : o.title;
    const std::time_t now = std::time(nullptr);
    std::tm utc {};
    char stamp[32] = "";
    if (gmtime_r(&now, &utc))
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S UTC", &utc);
    page.generatedUtc = stamp;
    std::string line = "kestrova";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool plain = !a.empty() && a.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_.,:/=+@") == std::string::npos;
        std::string quoted = "'";
        for (const char c : a)
            quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        line += " " + (plain ? a : quoted + "'");
    }
    page.settings.push_back({"Command line", line});
    page.settings.insert(page.settings.end(), in.testRows.begin(), in.testRows.end());
    page.settings.push_back({"HDOP limit", LimitText(o.limits.maxHdop)});
    page.settings.push_back({"VDOP limit", LimitText(o.limits.maxVdop)});
    page.settings.push_back({"DIFF only", o.limits.diffOnly ? "yes" : "no"});
    page.settings.push_back({"Kinds accepted", KindsText(o.limits.kinds)});
    const bool window = o.window.fromS >= 0 || o.window.toS >= 0;
    page.settings.push_back({"Time window (UTC)", !window ? std::string("whole recording")
                                                          : (o.window.fromS >= 0 ? ClockOfDay(o.window.fromS) : std::string("start")) +
                                                                " to " + (o.window.toS >= 0 ? ClockOfDay(o.window.toS) : std::string("end"))});
    page.settings.push_back({"Reference", ReferenceText(o, in)});
    if (!o.notes.empty()) {
        // Notes are the tester's words, not a recording: a megabyte is plenty.
        constexpr size_t kNotesMax = 1 << 20;
        std::string text, why;
        if (!ReadSmallFile(o.notes, kNotesMax, &text, &why))
            error = "cannot read the notes: " + why;
        if (text.size() > kNotesMax) {
            error = "the notes are cut to their first megabyte";
            text.resize(kNotesMax);
        }
        page.notes = text;
    }
    return page;
}

} // namespace

ReportOptions ParseReportOptions(int argc, char* argv[])
{
    ParsedOptions<ReportOptions> parsed = ParseOptions(kReportOptionTable, std::vector<std::string>(argv, argv + argc));
    ReportOptions o = std::move(parsed.options);
    o.error = std::move(parsed.error);
    if (o.error.empty() && !o.help && o.files.empty())
        o.error = "--report needs at least one FILE";
    return o;
}

std::string ReportUsageText()
{
    return "Usage: kestrova --report [options] FILE...\n"
           "\n"
           "Figures of each recording, side by side; the best value of each row is marked.\n"
           "A FILE that is a test folder (holding bench.json) stands for its recordings.\n"
           "\n" +
           OptionHelp(kReportOptionTable);
}

bool IsReportCommand(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--report") == 0)
            return true;
    return false;
}

namespace {

// The outputs that write a line or a point per epoch.
bool EpochsWanted(const ReportOptions& o) { return !o.csv.empty() || !o.gpx.empty() || !o.kml.empty(); }

// Reads every input into its entry; the status as RunReport's (2: an input
// could not be read).
int ReadEntries(const ReportOptions& o, const Inputs& in, bool identities, bool keepEpochs, std::vector<std::unique_ptr<EpochLog>>& logs,
                std::vector<ReportEntry>& entries, bool& windowEmpty)
{
    DatePolicy dates;
    dates.ForceRollovers(o.weekRollovers);
    int status = in.failed ? 2 : 0;
    for (const Input& input : in.list) {
        const std::string& file = input.path;
        auto log = std::make_unique<EpochLog>();
        log->KeepCharts(!o.html.empty());
        EpochCollector collector(*log, o.limits, o.window);
        // Only the page shows the hash: the other outputs keep their speed.
        std::optional<Identity> identity;
        if (identities)
            identity.emplace(input.binr);
        // A receiver of a test that never opened has no recording, one that
        // opened and sent nothing an empty one: its column stays empty, as
        // the bench showed it.
        struct stat st {};
        const bool neverRecorded = input.sinceStart && ::lstat(file.c_str(), &st) != 0 && errno == ENOENT;
        const bool sentNothing = input.sinceStart && !neverRecorded && S_ISREG(st.st_mode) && st.st_size == 0;
        if (neverRecorded)
            Say("kestrova: " + file + ": not recorded (the source never opened); its column is empty");
        else if (sentNothing)
            Say("kestrova: " + file + ": empty (the source opened but sent nothing); its column is empty");
        else if (!Collect(file, input.binr, dates, collector, identity ? &*identity : nullptr)) {
            status = 2;
            continue;
        }
        ReportEntry e;
        e.name = file;
        e.protocol = input.binr ? "binr" : "nmea";
        e.log = log.get();
        e.figures = ComputeFigures(*log, input.reference);
        if (!sentNothing)
            ApplyReceiveTimes(file, *log, e.figures, input.sinceStart);
        if ((o.window.fromS >= 0 || o.window.toS >= 0) && log->Size() == 0) {
            Say("kestrova: " + file + " has no epoch from " + ClockText(o.window.fromS < 0 ? 0 : o.window.fromS) + " to " +
                ClockText(o.window.toS < 0 ? kLastSecondOfDay : o.window.toS) + " UTC");
            windowEmpty = true;
        }
        if (identity) {
            e.sizeBytes = identity->size;
            e.sha256 = identity->sha.HexDigest();
            e.receiver = identity->names.Name();
        }
        // No output wants every epoch: the page's are drawn now and the
        // epochs go, so that a week of eight receivers is held one at a time.
        if (!keepEpochs) {
            if (!o.html.empty())
                DrawEntryCharts(e);
            log->Truncate(0);
        }
        entries.push_back(std::move(e));
        logs.push_back(std::move(log));
    }
    return status;
}

// The report of parsed options; table: the text table goes to standard
// output unless another output does.
int Report(const ReportOptions& o, int argc, char* argv[], bool table, bool* pageWritten = nullptr)
{
    const Inputs in = ExpandInputs(o);
    ReportOptions expanded = o;
    expanded.files.clear();
    for (const Input& input : in.list)
        expanded.files.push_back(input.path);
    if (const std::string conflict = OutputConflict(expanded); !conflict.empty()) {
        Say("kestrova: " + conflict + "; nothing written");
        return 2;
    }
    const bool standardOutputClosed = HoldStandardStreams();
    std::vector<std::unique_ptr<EpochLog>> logs;
    std::vector<ReportEntry> entries;
    bool windowEmpty = false;
    int status = ReadEntries(o, in, !o.html.empty(), EpochsWanted(o), logs, entries, windowEmpty);
    bool toStdout = false;
    for (const std::string* name : {&o.json, &o.csv, &o.html, &o.gpx, &o.kml})
        toStdout = toStdout || *name == "-";
    bool written = true;
    if (table && !toStdout && !entries.empty())
        written = WriteStandardOutput(WriteTextTable, entries, standardOutputClosed);
    written = WriteOutput(o.json, WriteJson, entries, standardOutputClosed) && written;
    written = WriteOutput(o.csv, WriteCsv, entries, standardOutputClosed) && written;
    if (!o.html.empty()) {
        std::string notesError;
        const ReportPage page = PageOf(o, in, argc, argv, notesError);
        if (!notesError.empty()) {
            Complain(o.notes, notesError.c_str(), 0);
            status = status ? status : 1;
        }
        const bool pageOk = WriteOutput(o.html, [&](std::ostream& out, const std::vector<ReportEntry>& e) { WriteHtml(out, e, page); },
                                       entries, standardOutputClosed);
        if (pageWritten)
            *pageWritten = pageOk && !entries.empty();
        written = pageOk && written;
    }
    written = WriteOutput(o.gpx, WriteGpx, entries, standardOutputClosed) && written;
    written = WriteOutput(o.kml, WriteKml, entries, standardOutputClosed) && written;
    if (status == 0 && (!written || windowEmpty))
        status = 1;
    return status;
}

// A test folder's report options, and the command line that asks for them.
struct FolderRun {
    explicit FolderRun(const std::string& folder)
    {
        o.files = {WithoutTrailingSlashes(folder)};
        o.html = o.files.front() + "/" + kBenchReportName;
        arguments = {"kestrova", "--report", o.files.front(), "--html", o.html};
        for (std::string& a : arguments)
            argv.push_back(a.data());
    }
    ReportOptions o;
    std::vector<std::string> arguments;
    std::vector<char*> argv;
};

// Collects what a run says for a caller that shows it.
struct Messages {
    Messages() : previous(tMessages) { tMessages = &text; }
    ~Messages() { tMessages = previous; }
    Messages(const Messages&) = delete;
    Messages& operator=(const Messages&) = delete;
    std::string* previous;
    std::string text;
};

} // namespace

int RunReport(int argc, char* argv[])
{
    const ReportOptions o = ParseReportOptions(argc, argv);
    if (o.help) {
        std::fputs(ReportUsageText().c_str(), stdout);
        return 0;
    }
    if (!o.error.empty()) {
        std::fprintf(stderr, "kestrova: %s\n", TerminalText(o.error).c_str());
        return 2;
    }
    return Report(o, argc, argv, true);
}

int ReportBenchFolder(const std::string& folder, std::string* written, std::string* problem)
{
    Messages messages;
    FolderRun run(folder);
    int status = 2;
    bool pageWritten = false;
    if (!IsBenchFolder(run.o.files.front()))
        Say("kestrova: " + run.o.files.front() + ": not a test folder (no " + kBenchJsonName + ")");
    else
        status = Report(run.o, int(run.argv.size()), run.argv.data(), false, &pageWritten);
    // A recording that could not be read still leaves the page of the others.
    if (written)
        *written = pageWritten ? run.o.html : std::string();
    if (problem)
        *problem = messages.text;
    return status;
}

int BenchFolderTable(const std::string& folder, const std::vector<BenchState>& states, std::vector<BenchRow>* table,
                     std::string* problem)
{
    Messages messages;
    FolderRun run(folder);
    const Inputs in = ExpandInputs(run.o);
    std::vector<std::unique_ptr<EpochLog>> logs;
    std::vector<ReportEntry> entries;
    bool windowEmpty = false;
    const int status = !in.folders ? 2 : ReadEntries(run.o, in, false, true, logs, entries, windowEmpty);
    if (!in.folders && !in.failed)
        Say("kestrova: " + run.o.files.front() + ": not a test folder (no " + kBenchJsonName + ")");
    if (table)
        *table = status == 0 ? BenchTable(entries, states) : std::vector<BenchRow>();
    if (problem)
        *problem = messages.text;
    return status;
}
