// <windows.h> for programs written for the platform: the Windows subset of this system
// (installed under include/tolvane/compat, which the package puts on the include path).
#pragma once

#include "platform/win32/windows.h"
