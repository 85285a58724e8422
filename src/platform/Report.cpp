#include "Report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {
bool reportOn = false;
bool outputFailed = false;
std::function<void()> failureHandler;
std::vector<std::pair<const char*, QString>> extraFields;

void AppendField(QString& line, const char* name, const QString& text)
{
    line += QChar('\t');
    line += QString::fromLatin1(name);
    line += QChar('=');
    // A receiver's text may hold tabs or line ends; they would break the
    // one-line-per-event format, so control characters (C1 ones too, which
    // a terminal obeys as it obeys ESC) print as blanks.
    for (const QChar c : text)
        line += c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F) ? QChar(' ') : c;
}
void WriteLine(const QByteArray& utf8);
} // namespace

void SetHeadlessReport(bool on) { reportOn = on; }
bool HeadlessReport() { return reportOn; }

void ReportView(const char* view, std::initializer_list<std::pair<const char*, QString>> fields)
{
    if (!reportOn)
        return;
    QString line = QString::fromLatin1(view);
    for (const auto& [name, text] : fields)
        AppendField(line, name, text);
    for (const auto& [name, text] : extraFields)
        AppendField(line, name, text);
    extraFields.clear();
    line += QChar('\n');
    WriteLine(line.toUtf8());
}

void ReportLine(const std::string& line)
{
    if (reportOn)
        WriteLine(QByteArray::fromStdString(line + '\n'));
}

namespace {
void WriteLine(const QByteArray& utf8)
{
    if (outputFailed)
        return;
    errno = 0;
    const size_t written = std::fwrite(utf8.constData(), 1, size_t(utf8.size()), stdout);
    if (std::fflush(stdout) != 0 || written != size_t(utf8.size()))
        ReportOutputFailure(errno != 0 ? errno : EIO);
}
} // namespace

bool ReportOutputFailed() { return outputFailed; }

void SetReportFailureHandler(std::function<void()> handler) { failureHandler = std::move(handler); }

void ReportOutputFailure(int error)
{
    if (outputFailed)
        return;
    outputFailed = true;
    std::fprintf(stderr, "kestrova: standard output: write error: %s\n", std::strerror(error));
    if (failureHandler)
        failureHandler();
}

void ReportExtra(std::initializer_list<std::pair<const char*, QString>> fields)
{
    if (reportOn)
        extraFields.assign(fields);
}
