// <tchar.h>: the ANSI character set, the one programs built for this system use.
#pragma once

#include <stdio.h>
#include <string.h>

#include "platform/win32/windows.h"

#ifndef _T
#define _T(text) text
#define _TEXT(text) text
#define _tcslen strlen
#define _tcscpy strcpy
#define _tcsncpy strncpy
#define _tcscat strcat
#define _tcscmp strcmp
#define _stprintf sprintf
#define _sntprintf snprintf
#define _tprintf printf
#endif
