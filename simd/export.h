// Symbol visibility of the installed libraries. A shared build compiles with hidden
// visibility; a public header opens its declarations with TOLVANE_API_BEGIN and closes
// them with TOLVANE_API_END, so exactly what the public headers declare is exported.
// Every layer has this header, so that none includes another layer for it.
#pragma once

#ifndef TOLVANE_API_BEGIN
#define TOLVANE_API_BEGIN _Pragma("GCC visibility push(default)")
#define TOLVANE_API_END _Pragma("GCC visibility pop")
#endif
