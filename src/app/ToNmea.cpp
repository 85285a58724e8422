#include "ToNmea.h"

// Placeholder until the batch conversion lands.
int RunToNmea(const QStringList&) { return 1; }
