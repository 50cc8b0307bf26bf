// kernel32 and winmm time: one steady clock under every counter.
//
// - timeGetTime and GetTickCount count milliseconds from the first time call of the
//   process (the platform counts from boot; programs only take differences), as a DWORD
//   that wraps after 49.7 days as the platform's does. Both read the same clock, so they
//   agree with each other and with MSG::time. timeBeginPeriod/timeEndPeriod accept 1..1000
//   and change nothing: the clock already has millisecond resolution.
// - QueryPerformanceFrequency is 10 MHz, as on current versions of the platform;
//   QueryPerformanceCounter counts 100 ns ticks of the steady clock, never going back.
// - Sleep(0) gives up the rest of the time slice; Sleep(n) sleeps at least n ms.
#include <chrono>
#include <thread>

#include "platform/win32/window_system.h"

namespace {

std::chrono::steady_clock::time_point Start() {
    static const auto start = std::chrono::steady_clock::now();
    return start;
}

constexpr LONGLONG kPerformanceFrequency = 10'000'000;

}  // namespace

DWORD timeGetTime() { return win32::MessageTime(); }

DWORD GetTickCount() { return win32::MessageTime(); }

UINT timeBeginPeriod(UINT period) { return period >= 1 && period <= 1000 ? TIMERR_NOERROR : TIMERR_NOCANDO; }

UINT timeEndPeriod(UINT period) { return period >= 1 && period <= 1000 ? TIMERR_NOERROR : TIMERR_NOCANDO; }

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    if (frequency == nullptr) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    frequency->QuadPart = kPerformanceFrequency;
    return TRUE;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
    if (count == nullptr) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    const auto elapsed = std::chrono::steady_clock::now() - Start();
    count->QuadPart = std::chrono::duration_cast<std::chrono::duration<LONGLONG, std::ratio<1, kPerformanceFrequency>>>(elapsed).count();
    return TRUE;
}

void Sleep(DWORD milliseconds) {
    if (milliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
