// Call stubs through which another module in the game reaches the hooks module's exports by its
// file name, "VelKorvexHooks.dll", under a lock the caller owns. Each stub caches its own
// export address once found.
#pragma once

#include <windows.h>

namespace korvex {

void CallCheckFocus(CRITICAL_SECTION* lock);
void CallEndOfFrameHook(CRITICAL_SECTION* lock);
void CallGetRawInputState(CRITICAL_SECTION* lock);
void CallInputActiveStateTransitionHook(CRITICAL_SECTION* lock);
void CallPipeResetHook(CRITICAL_SECTION* lock);
void CallTrackedCursorPos(CRITICAL_SECTION* lock, POINT& position);

} // namespace korvex
