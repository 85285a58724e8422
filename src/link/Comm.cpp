#include "Comm.h"

// Placeholder until the serial link lands: no port ever opens.
namespace {
CommHandlers handlers;
QStringList extraPorts;
}

void SetCommHandlers(CommHandlers h) { handlers = std::move(h); }
bool OpenPort(const QString&, int, uint8_t) { return false; }
void ClosePort() {}
bool PortOpen() { return false; }
int WritePort(const uint8_t*, int) { return 0; }
bool SetPortBaud(int) { return false; }
void AddExtraPorts(const QStringList& paths) { extraPorts += paths; }
QStringList ListPorts(QString* noPermission)
{
    if (noPermission)
        noPermission->clear();
    return {};
}
