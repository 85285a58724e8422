#include "Headless.h"

// Placeholder until headless mode lands.
int RunHeadless(const CommandLine&) { return 1; }
