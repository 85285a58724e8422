#pragma once
// The serial link: one port at a time, opened exclusively, raw 8-N-1 or 8-O-1,
// with a reader thread that hands every burst of received bytes to the main
// thread synchronously. Module-level state, main thread only, except the
// reader itself.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

constexpr int kReadBufferSize = 10240;
constexpr int kWriteBufferSize = 1024;

// Where the reader delivers, always on the main thread and synchronously.
struct CommHandlers {
    std::function<void(const uint8_t* bytes, int length)> receiveBytes;
    std::function<void()> countLineError;
    std::function<void()> connectionLost;   // the device vanished or hung up
};
void SetCommHandlers(CommHandlers handlers);

// name: as listed (ttyUSB0, or a full path outside /dev); parity 0 none, 1 odd.
bool OpenPort(const QString& name, int baud, uint8_t parity);
// Safe inside a hand-off (it does not wait for the reader then); elsewhere it
// returns once the reader has ended, so the same port can be opened again.
void ClosePort();
bool PortOpen();
// Blocks until the bytes are written (at most kWriteBufferSize); 0 when no
// port is open or the device is gone.
int WritePort(const uint8_t* bytes, int count);
bool SetPortBaud(int baud);

// The device path a listed port name stands for: "ttyUSB0" -> "/dev/ttyUSB0",
// a full path unchanged; empty for an empty name.
QString PortPath(const QString& name);
// How the port list shows a device path: without "/dev/" inside /dev, the
// full path elsewhere.
QString PortDisplayName(const QString& path);

// Ports named on the command line (--port) or in KESTROVA_PORTS join the
// candidates of the port list.
void AddExtraPorts(const QStringList& paths);
// Why a port named there would not be listed (the open's error text, "in use
// by another program", "not a serial port"), or empty when it would be.
QString PortProblem(const QString& path);
// Every candidate that opens and whose line settings can be read. When a
// device exists but may not be opened, the first such name is put in
// *noPermission (empty otherwise).
QStringList ListPorts(QString* noPermission);
