#include "ToNmea.h"

#include "Nmeafile.h"
#include "PathIdentity.h"
#include "TerminalText.h"

#include <QFile>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The side file sits beside its recording: the folder part of the argument is
// kept as typed and the naming rule applies to the bare name; a recording
// or a file Kestrova did not write is never replaced (SideFile.h). The
// reason for skipping when neither name can take it, else empty.
QString WhyNoSideFile(const SideFileChoice& choice)
{
    if (!choice.path.empty())
        return {};
    if (choice.usualKept == SideKept::No)
        return QStringLiteral("its side file would be the file itself; skipped");
    if (choice.usualKept == SideKept::Recording && choice.apartKept == SideKept::Recording)
        return QStringLiteral("both side-file names hold recordings; skipped");
    return QFile::decodeName(SideFileNotice(choice).c_str()) + QStringLiteral("; skipped");
}

QString Count(int64_t n, const char* noun)
{
    return QString("%1 %2%3").arg(n).arg(noun).arg(n == 1 ? "" : "s");
}

void Complain(const QString& name, const QString& what, int error)
{
    QString text = "kestrova: " + name + ": " + what;
    if (error)
        text += QString(": ") + std::strerror(error);
    std::fprintf(stderr, "%s\n", TerminalText(text.toLocal8Bit().toStdString()).c_str());
}

} // namespace

// Runs before any QApplication exists: plain files and standard streams only.
int RunToNmea(const QStringList& files, int weekRollovers)
{
    int status = 0;
    std::vector<std::string> written;   // side files made by this run
    DatePolicy dates;
    dates.ForceRollovers(weekRollovers);
    for (const QString& file : files) {
        const SideFileChoice choice = ChooseSideFile(QFile::encodeName(file).toStdString());
        if (const QString why = WhyNoSideFile(choice); !why.isEmpty()) {
            Complain(file, why, 0);
            status = 1;
            continue;
        }
        const QString side = QFile::decodeName(choice.path.c_str());
        const std::string sideName = QFile::encodeName(side).toStdString();
        if (SameFile(QFile::encodeName(file).toStdString(), sideName)) {
            Complain(file, "its side file would be the file itself; skipped", 0);
            status = 1;
            continue;
        }
        if (std::any_of(written.begin(), written.end(), [&](const std::string& w) { return SameFile(w, sideName); })) {
            Complain(file, "side file " + side + " was already written by this run; skipped", 0);
            status = 1;
            continue;
        }
        const BinrConversion r = ConvertBinrToNmea(QFile::encodeName(file).constData(),
                                                   QFile::encodeName(side).constData(), dates);
        using Failure = BinrConversion::Failure;
        switch (r.failure) {
        case Failure::None:
            break;
        case Failure::InputOpen:
        case Failure::InputRead:
            Complain(file, "cannot read", r.error);
            break;
        case Failure::NotRegular:
            Complain(file, "not a regular file; skipped", 0);
            break;
        case Failure::SameFile:
            Complain(file, "its side file would be the file itself; skipped", 0);
            break;
        case Failure::OutputOpen:
            Complain(side, "cannot create", r.error);
            break;
        case Failure::OutputWrite:
            Complain(side, "write error", r.error);
            break;
        }
        if (r.failure != Failure::OutputOpen && r.failure != Failure::SameFile
            && r.failure != Failure::InputOpen && r.failure != Failure::NotRegular)
            written.push_back(sideName);
        if (r.failure != Failure::None) {
            status = 1;
            continue;
        }
        const QString line = file + " -> " + side + ": " + Count(r.sentences, "sentence") + ", "
            + Count(r.errors, "error");
        std::printf("%s\n", TerminalText(line.toLocal8Bit().toStdString()).c_str());
        std::fflush(stdout);
    }
    return status;
}
