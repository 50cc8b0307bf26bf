// The calling thread's last error number.
#include "platform/win32/windows.h"

namespace {
thread_local DWORD g_lastError = ERROR_SUCCESS;
}  // namespace

DWORD GetLastError() { return g_lastError; }

void SetLastError(DWORD error) { g_lastError = error; }
