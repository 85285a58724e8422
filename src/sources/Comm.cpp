// The program's single live source: the panel's port, network source or
// synchronization, one SourceLink for the whole program. It is never
// destroyed: a source left open at exit is closed when the application
// quits, as the link arranges, and nothing runs at static destruction.
#include "Comm.h"

namespace {

SourceLink& ProgramLink()
{
    static SourceLink* const link = new SourceLink;
    return *link;
}

} // namespace

void SetCommHandlers(CommHandlers handlers) { ProgramLink().SetHandlers(std::move(handlers)); }
bool OpenPort(const QString& name, int baud, uint8_t parity) { return ProgramLink().Open(name, baud, parity); }
QString PortOpenError() { return ProgramLink().OpenError(); }
QString PortOpenDetail() { return ProgramLink().OpenDetail(); }
OpenStart BeginOpenPort(const QString& name, uint8_t parity, OpenCallbacks callbacks)
{
    return ProgramLink().BeginOpen(name, parity, std::move(callbacks));
}
bool PortOpening() { return ProgramLink().Opening(); }
QString PortLostText() { return ProgramLink().LostText(); }
bool PortTakesCommands() { return ProgramLink().TakesCommands(); }
void ClosePort() { ProgramLink().Close(); }
bool PortOpen() { return ProgramLink().IsOpen(); }
int WritePort(const uint8_t* bytes, int count) { return ProgramLink().Write(bytes, count); }
CommandSent BeginPortCommand(const std::vector<uint8_t>& bytes, std::function<void(CommandSent)> done)
{
    return ProgramLink().BeginCommand(bytes, std::move(done));
}
bool SetPortBaud(int baud) { return ProgramLink().SetBaud(baud); }
