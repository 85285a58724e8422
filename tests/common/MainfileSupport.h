#pragma once
// Whole program windows for the main-window tests: every test starts from
// empty settings, in its own temporary current folder.
#include "CommPty.h"
#include "Cycle.h"
#include "MainFormTestAccess.h"
#include "Mainfile.h"
#include "Windows.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

inline void ClearSettings()
{
    QSettings s("Tamrel", "Kestrova");
    s.clear();
    s.sync();
}

// A file of `size` bytes of NMEA-free filler (no "$", no DLE), so the
// decoders find nothing in it and every byte still counts.
inline std::vector<uint8_t> Filler(size_t size)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = uint8_t('a' + i % 26);
    return bytes;
}

inline bool WriteBytes(const QString& path, const std::vector<uint8_t>& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())) == qint64(bytes.size());
}

inline QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearSettings();
        ASSERT_TRUE(dir.isValid());
        oldFolder = QDir::currentPath();
        QDir::setCurrent(dir.path());
        form.reset(CreateProgramWindows());
    }
    void TearDown() override
    {
        form.reset();
        QDir::setCurrent(oldFolder);
    }
    // Shows the panel and empties its port list, so that no protocol switch
    // in a test reaches a real serial device of the machine.
    void Show()
    {
        form->show();
        form->PortComboBox->clear();
    }
    QString PathOf(const QString& name) const { return dir.path() + "/" + name; }
    bool Stopped() const { return form->Mode() == amStop && form->LiveCycles() == 0; }
    bool WaitStopped(int timeoutMs = 10000) { return WaitFor([this] { return Stopped(); }, timeoutMs); }

    QTemporaryDir dir;
    QString oldFolder;
    std::unique_ptr<TMainForm> form;
};
