#pragma once
#include "probe/export.h"
TOLVANE_API_BEGIN
// The processor targets Highway can dispatch to here (never 0).
long long ProbeTargets();
TOLVANE_API_END
