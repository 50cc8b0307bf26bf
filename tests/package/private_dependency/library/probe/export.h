#pragma once
#define TOLVANE_API_BEGIN _Pragma("GCC visibility push(default)")
#define TOLVANE_API_END _Pragma("GCC visibility pop")
