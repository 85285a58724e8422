#pragma once
// The program's live source: one port at a time, opened exclusively, raw
// 8-N-1 or 8-O-1, with a reader thread that hands every burst of received
// bytes to the main thread synchronously. One program-wide SourceLink
// (SourceLink.h) behind free functions; main thread only, except the reader
// itself. The bench opens links of its own beside it.
#include "SourceLink.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

void SetCommHandlers(CommHandlers handlers);

// name: as listed (ttyUSB0, or a full path outside /dev), or a network
// address (tcp://, udp://, gpsd://, see SourceAddress.h), for which baud
// means nothing and parity 1 (BINR) is refused through gpsd; parity 0 none,
// 1 odd. A connection is waited for on the calling thread, kConnectTimeoutMs
// at most (and a busy gpsd up to kGpsdBusyMs more).
bool OpenPort(const QString& name, int baud, uint8_t parity);
// Why the last OpenPort of a network source failed, for the info label
// ("Connection failed", or gpsd's refusal), and in more words for a log;
// empty after a serial port's failure.
QString PortOpenError();
QString PortOpenDetail();
// A network source opened off the main thread: the name lookup, the
// connection and gpsd's handshake run on a worker, and the window keeps
// painting. BeginOpenPort returns Failed at once for an address that is not
// well formed (PortOpenError says what is wrong with it) or a serial port
// name (OpenPort those); otherwise Pending, and later, on the main thread,
// done(true) with the source open as OpenPort leaves it, or done(false)
// with PortOpenError/PortOpenDetail set. gpsdBusy runs, on the main thread,
// when gpsd took the connection and has not answered yet. ClosePort (and
// so OpenPort) stops a pending open within milliseconds in every state, and
// its done is never called then.
OpenStart BeginOpenPort(const QString& name, uint8_t parity, OpenCallbacks callbacks);
bool PortOpening();
// What the last connectionLost meant: "Connection lost", or gpsd's silence.
QString PortLostText();
// False for read-only sources (udp, gpsd) and when nothing is open: writes
// are refused then.
bool PortTakesCommands();
// Safe inside a hand-off (it does not wait for the reader then); elsewhere it
// returns once the reader has ended, so the same port can be opened again.
void ClosePort();
bool PortOpen();
// Blocks until the bytes are written (at most kWriteBufferSize); 0 when no
// port is open or the device is gone.
int WritePort(const uint8_t* bytes, int count);
// A CONSOLE command, written whole off the main thread (SourceLink::BeginCommand).
CommandSent BeginPortCommand(const std::vector<uint8_t>& bytes, std::function<void(CommandSent)> done);
// Moves the open serial port to another rate. False when the rate is not
// one of the list's or the driver did not take it (read back after the
// change): the port keeps the rate it had then. A network source has no
// rate and takes any.
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
// Where the stable names of serial adapters live (/dev/serial/by-id); tests
// point it at a folder of their own.
void SetStableNameDir(const QString& dir);
// The full path behind a stable name, for a tooltip; any other name as it is.
QString PortToolTip(const QString& name);
