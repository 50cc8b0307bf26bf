#include <tolvane/probe/probe.h>

int main() { return ProbeTargets() != 0 ? 0 : 1; }
