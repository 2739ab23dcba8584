// Scripting the simulated Win32 from tests: failing calls, counting calls, and setting time.
// Area-specific controls live beside this file (pipes.h, modules.h, windows.h, input.h,
// hooks.h, toolhelp.h).
#pragma once

#include <windows.h>

namespace sim {

// Makes the named Win32 function fail with `error` for `times` calls, after letting the next
// `skip` calls succeed.
void FailNext(const char* function, DWORD error, int times = 1, int skip = 0);
// Makes the named Win32 function fail with `error` on every call until StopFailing.
void FailAlways(const char* function, DWORD error);
void StopFailing(const char* function);
// How many times the named Win32 function has been called since the process started (or since
// ResetCallCounts).
unsigned CallCount(const char* function);
void ResetCallCounts();

// Simulated time: GetTickCount and the deadline of WaitForSingleObject follow it.
void SetTickCount(DWORD ticks);
void AdvanceTime(DWORD milliseconds);
// Fixes what GetSystemTime reports (the host's UTC clock until this is called).
void SetSystemTime(const SYSTEMTIME& time);

} // namespace sim
