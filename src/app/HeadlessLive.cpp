// Headless logging: a live source monitored without a display. The windows
// RunHeadless made (offscreen, every view on, no settings) watch or record
// the source exactly as the panel's Watch and Record do, so the record file,
// its side file and the BINR command sequences are the window's own. A
// signal or the end of --seconds stops through the Stop button's path, which
// closes the file complete.
//
// Nobody watches a logger's window: whatever the information line would say
// about a failing record file or its receive times goes to stderr as it
// happens, and the run ends
// with exit status 1. The recording goes on meanwhile (a disk may be freed,
// a removed file is created again); standard output failing ends a run that
// only watches, as its lines are all it gives.
#include "Headless.h"

#include "Comm.h"
#include "Mainfile.h"
#include "MonotonicClock.h"
#include "RecordFile.h"
#include "Report.h"
#include "SourceAddress.h"
#include "StopSignals.h"
#include "TerminalText.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kSignalPollMs = 100;
// A record file that keeps failing is named again at most this often.
constexpr int64_t kWriteErrorRepeatMs = 1000;

bool LiveIsBinr(const CommandLine& cl)
{
    if (cl.protocol != CommandLine::Protocol::ByName)
        return cl.protocol == CommandLine::Protocol::Binr;
    return cl.record.endsWith(QLatin1String(".dat"), Qt::CaseInsensitive);
}

void Complain(const QString& what, const QString& detail)
{
    const QString text = detail.isEmpty() || what.endsWith(detail) ? what : what + ": " + detail;
    std::fprintf(stderr, "kestrova: %s\n", TerminalText(text.toUtf8().toStdString()).c_str());
}

// Says on stderr how much of the recording is missing from its file, each
// time that grows (at most once a second while it keeps growing).
class LossReporter {
public:
    LossReporter(const TMainForm& form, const QString& file) : form_(form), file_(file) {}
    void Check(bool final)
    {
        const int64_t lost = form_.RecordLostBytes();
        if (lost <= said_ || (!final && said_ > 0 && MonotonicMs() - saidAtMs_ < kWriteErrorRepeatMs))
            return;
        std::fprintf(stderr, "kestrova: %s: write error: %lld bytes lost\n", file_.toUtf8().constData(),
                     static_cast<long long>(lost));
        said_ = lost;
        saidAtMs_ = MonotonicMs();
    }
    // What became of the receive times, each note once (the writer notes a
    // failing streak once, not every block).
    void CheckTimes()
    {
        const std::vector<TimesNote>& notes = form_.RecordTimes().Notes();
        timesSaid_ = std::min(timesSaid_, notes.size());
        for (; timesSaid_ < notes.size(); ++timesSaid_)
            Complain(file_ + QStringLiteral(".times: ") + QString::fromStdString(notes[timesSaid_].what), QString());
    }
    bool AnyLost() const { return said_ > 0 || form_.RecordTimes().AnyLost(); }

private:
    const TMainForm& form_;
    QString file_;
    int64_t said_ = 0;
    int64_t saidAtMs_ = 0;
    size_t timesSaid_ = 0;
};

} // namespace

int RunHeadlessLive(TMainForm& form, const CommandLine& cl)
{
    QString source = cl.ports.value(0);
    // A relative path is taken as the window takes --port: from the current folder.
    if (!LooksLikeNetworkSource(source.toStdString()) && source.contains('/') && !source.startsWith('/'))
        source = QFileInfo(source).absoluteFilePath();
    // The protocol first: its switch names the default file and rate, and
    // with no port in the list yet it sends the receiver nothing.
    SetUpHeadlessWindows(&form, cl, LiveIsBinr(cl));
    form.PortComboBox->clear();
    form.PortComboBox->addItem(source);
    form.PortComboBox->setCurrentIndex(0);
    if (cl.baud > 0)
        form.BaudComboBox->setCurrentIndex(form.BaudComboBox->findText(QString::number(cl.baud)));
    form.SetReconnectEnabled(cl.reconnect);

    if (cl.record.isEmpty()) {
        form.WatchClick(nullptr);
    } else {
        // A folder that cannot be entered, or a log that a restart would
        // wipe, is refused before the source is opened.
        const QString file = QFileInfo(cl.record).absoluteFilePath();
        if (!form.TakeFileName(file)) {
            Complain(form.InfoLabel->text(), QString());
            return 2;
        }
        // A folder, a FIFO (whose open would wait for a reader) or a file
        // another process records is refused at once.
        if (const QString problem = RecordFileProblem(file); !problem.isEmpty()) {
            Complain(cl.record + QStringLiteral(": ") + problem, QString());
            return 2;
        }
        if (!cl.append && !cl.overwrite && QFileInfo(file).size() > 0) {
            Complain(cl.record + QStringLiteral(": exists; --append continues it, --overwrite replaces it"), QString());
            return 2;
        }
        form.SetRecordAppend(cl.append);
        form.RecordButtonClick(nullptr);
    }
    // A network source is opened by a worker; a signal meanwhile ends it.
    InstallStopSignals();
    QTimer wake;
    wake.start(kSignalPollMs);
    while (PortOpening() && !StopSignalled())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (PortOpening()) {
        form.StopButtonClick(nullptr);
        form.InfoLabel->setText(QStringLiteral("Stopped before the source was open"));
    }
    if (form.Mode() != amRecord && form.Mode() != amWatch && !form.RecordOpenProblem().isEmpty()) {
        Complain(cl.record + QStringLiteral(": ") + form.RecordOpenProblem(), QString());
        return 2;
    }
    if (form.Mode() != amRecord && form.Mode() != amWatch) {
        const QString why = form.InfoLabel->text().isEmpty() ? QStringLiteral("Cannot open ") + source
                                                             : form.InfoLabel->text();
        Complain(why, PortOpenDetail());
        return 2;
    }

    bool asked = false;
    auto stop = [&form, &asked] {
        asked = true;
        form.StopButtonClick(nullptr);
    };
    LossReporter losses(form, cl.record);
    QTimer signalPoll;
    losses.CheckTimes();
    QObject::connect(&signalPoll, &QTimer::timeout, &form, [&] {
        losses.Check(false);
        losses.CheckTimes();
        if (StopSignalled())
            stop();
    });
    signalPoll.start(kSignalPollMs);
    SetReportFailureHandler([&] {
        if (cl.record.isEmpty())
            QMetaObject::invokeMethod(&form, stop, Qt::QueuedConnection);
    });

    QTimer endTimer;
    StopAfterSeconds(endTimer, cl.seconds, stop);

    int status = 0;
    QObject::connect(&form, &TMainForm::ModeChanged, &form, [&](uint32_t mode) {
        if (mode != amStop)
            return;
        endTimer.stop();
        losses.Check(true);
        losses.CheckTimes();
        ReportMainWindow(&form);
        if (!asked) {
            Complain(form.InfoLabel->text(), QString());
            status = 1;
        }
        if (losses.AnyLost() || ReportOutputFailed())
            status = 1;
        QCoreApplication::exit(status);
    });
    QCoreApplication::exec();
    SetReportFailureHandler(nullptr);
    return status;
}
