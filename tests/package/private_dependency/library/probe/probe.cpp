#include "probe/probe.h"

#include <hwy/targets.h>

long long ProbeTargets() { return static_cast<long long>(hwy::SupportedTargets()); }
