// <windowsx.h>: the message crackers programs use for mouse positions.
#pragma once

#include "platform/win32/windows.h"

#ifndef GET_X_LPARAM
#define GET_X_LPARAM(lParam) ((int)(short)LOWORD(lParam))
#define GET_Y_LPARAM(lParam) ((int)(short)HIWORD(lParam))
#endif
