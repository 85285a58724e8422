#pragma once
// Drives kestrova-sim as a separate process and whole program windows for
// the end-to-end tests of the link.
#include "About.h"
#include "Comm.h"
#include "Mainfile.h"
#include "Position.h"
#include "Profile.h"
#include "Satellites.h"
#include "Statistic.h"
#include "Timerfile.h"
#include "Visual.h"
#include "WindowGlobals.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

// One simulated receiver on its own pty, logging both directions.
class SimReceiver {
public:
    explicit SimReceiver(const QStringList& args, const QString& logDir)
    {
        log_ = logDir + "/sim.log";
        proc_.setProgram(KESTROVA_SIM_BIN);
        proc_.setArguments(args + QStringList{"--log", log_});
        proc_.setProcessChannelMode(QProcess::SeparateChannels);
        proc_.start();
        if (!proc_.waitForStarted(5000))
            return;
        QByteArray out;
        while (!out.contains('\n') && proc_.waitForReadyRead(5000))
            out += proc_.readAllStandardOutput();
        path_ = QString::fromLocal8Bit(out.left(out.indexOf('\n'))).trimmed();
    }
    ~SimReceiver() { Stop(); }

    // A pty's path, or tcp://127.0.0.1:PORT with --tcp.
    bool Ok() const { return path_.startsWith('/') || path_.startsWith("tcp://"); }
    QString Path() const { return path_; }
    // Ends the receiver: its pty goes away as a pulled adapter would.
    void Stop()
    {
        if (proc_.state() == QProcess::NotRunning)
            return;
        proc_.terminate();
        if (!proc_.waitForFinished(3000)) {
            proc_.kill();
            proc_.waitForFinished(3000);
        }
    }
    // Everything the receiver got from the program, and everything it sent.
    QByteArray Received() const { return ReadFile(log_ + ".rx"); }
    QByteArray Sent() const { return ReadFile(log_ + ".tx"); }

    static QByteArray ReadFile(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    QProcess proc_;
    QString path_;
    QString log_;
};

// The program's windows, created in the program's order and shown as at
// start-up; a private current folder for record files.
class ProgramWindows {
public:
    ProgramWindows()
    {
        previousDir_ = QDir::currentPath();
        QDir::setCurrent(dir_.path());
        main_.reset(TrackWindow(MainForm, new TMainForm));
        TrackWindow(PositionForm, new TPositionForm(main_.get()));
        TrackWindow(StatisticForm, new TStatisticForm(main_.get()));
        TrackWindow(AboutForm, new TAboutForm(main_.get()));
        TrackWindow(SatellitesForm, new TSatellitesForm(main_.get()));
        TrackWindow(VisualForm, new TVisualForm(main_.get()));
        TrackWindow(ProfileForm, new TProfileForm(main_.get()));
        TrackWindow(TimerForm, new TTimerForm(main_.get()));
        main_->show();
    }
    ~ProgramWindows()
    {
        ClosePort();
        main_.reset();
        QDir::setCurrent(previousDir_);
    }
    TMainForm& Main() { return *main_; }
    QString Dir() const { return dir_.path(); }
    // Puts a port into the list and selects it, as a user picking it would.
    void SelectPort(const QString& name)
    {
        int i = main_->PortComboBox->findText(name);
        if (i < 0) {
            main_->PortComboBox->addItem(name);
            i = main_->PortComboBox->count() - 1;
        }
        main_->PortComboBox->setCurrentIndex(i);
    }
    void SelectBaud(const QString& rate)
    {
        main_->BaudComboBox->setCurrentIndex(main_->BaudComboBox->findText(rate));
    }

private:
    QTemporaryDir dir_;
    QString previousDir_;
    std::unique_ptr<TMainForm> main_;
};

// BINR command frame as the program must send it.
inline QByteArray Frame(uint8_t id, const std::vector<uint8_t>& payload = {})
{
    QByteArray f;
    f.append(char(0x10));
    f.append(char(id));
    for (uint8_t b : payload) {
        f.append(char(b));
        if (b == 0x10)
            f.append(char(0x10));
    }
    f.append(char(0x10));
    f.append(char(0x03));
    return f;
}

inline int CountOf(const QByteArray& haystack, const QByteArray& needle)
{
    int n = 0;
    for (qsizetype i = haystack.indexOf(needle); i >= 0; i = haystack.indexOf(needle, i + needle.size()))
        ++n;
    return n;
}
