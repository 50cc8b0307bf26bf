// <mmsystem.h>: the multimedia timers (timeGetTime, timeBeginPeriod) are in windows.h.
#pragma once

#include "platform/win32/windows.h"
