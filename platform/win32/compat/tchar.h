// <tchar.h>: the ANSI character set, the one programs built for this system use.
#pragma once

#include <cstdio>
#include <cstring>

#include "platform/win32/windows.h"

#ifndef _T
#define _T(text) text
#define _TEXT(text) text
#define _tcslen std::strlen
#define _tcscpy std::strcpy
#define _tcsncpy std::strncpy
#define _tcscat std::strcat
#define _tcscmp std::strcmp
#define _stprintf std::sprintf
#define _sntprintf std::snprintf
#define _tprintf std::printf
#endif
