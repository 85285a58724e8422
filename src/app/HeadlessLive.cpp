// Headless logging: a live source monitored without a display. The windows
// RunHeadless made (offscreen, every view on, no settings) watch or record
// the source exactly as the panel's Watch and Record do, so the record file,
// its side file and the BINR command sequences are the window's own. A
// signal or the end of --seconds stops through the Stop button's path, which
// closes the file complete.
#include "Headless.h"

#include "Comm.h"
#include "Mainfile.h"
#include "SourceAddress.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QTimer>

#include <csignal>
#include <cstdio>

namespace {

constexpr int kSignalPollMs = 100;

volatile std::sig_atomic_t stopSignal = 0;

void OnStopSignal(int) { stopSignal = 1; }

void InstallSignals()
{
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

bool LiveIsBinr(const CommandLine& cl)
{
    if (cl.protocol != CommandLine::Protocol::ByName)
        return cl.protocol == CommandLine::Protocol::Binr;
    return cl.record.endsWith(QLatin1String(".dat"), Qt::CaseInsensitive);
}

void Complain(const QString& what, const QString& detail)
{
    const QString text = detail.isEmpty() || what.endsWith(detail) ? what : what + ": " + detail;
    std::fprintf(stderr, "kestrova: %s\n", text.toUtf8().constData());
}

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
        form.TakeFileName(QFileInfo(cl.record).absoluteFilePath());
        form.RecordButtonClick(nullptr);
    }
    // A network source is opened by a worker; a signal meanwhile ends it.
    InstallSignals();
    QTimer wake;
    wake.start(kSignalPollMs);
    while (PortOpening() && !stopSignal)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (PortOpening()) {
        form.StopButtonClick(nullptr);
        form.InfoLabel->setText(QStringLiteral("Stopped before the source was open"));
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
    QTimer signalPoll;
    QObject::connect(&signalPoll, &QTimer::timeout, &form, [&stop] {
        if (stopSignal)
            stop();
    });
    signalPoll.start(kSignalPollMs);
    if (cl.seconds > 0)
        QTimer::singleShot(cl.seconds * 1000, &form, stop);

    int status = 0;
    QObject::connect(&form, &TMainForm::ModeChanged, &form, [&](uint32_t mode) {
        if (mode != amStop)
            return;
        ReportMainWindow(&form);
        if (!asked) {
            Complain(form.InfoLabel->text(), QString());
            status = 1;
        }
        QCoreApplication::exit(status);
    });
    QCoreApplication::exec();
    return status;
}
