// Run-time binding to the render proxies (modules loaded under graphics runtime names) and to
// the DirectInput proxy: finding the active renderer, borrowing the game pipe, and asking for
// the output window and the overlay's input and render flags. Every operation holds the lock it
// is given for its whole call, across the loads, lookups and the call into the proxy.
#pragma once

#include "link/pipe.h"

#include <windows.h>

#include <cstdint>

namespace korvex {

// The exports a render proxy offers (plain functions, caller removes the arguments). A foreign
// bool is declared as what the machine hands back, a byte in AL: the rest of the register is
// whatever the proxy left there, so only the low 8 bits count, and ForeignBool turns them into
// a clean true or false once, before anything stores or compares the answer.
typedef BYTE(__cdecl* RenderProxyActiveProc)();
typedef HANDLE(__cdecl* GetGamePipeProc)();
typedef HWND(__cdecl* OutputRenderWindowProc)();
typedef BYTE(__cdecl* OverlayInputActiveProc)();
typedef BYTE(__cdecl* OverlayRenderActiveProc)();
typedef BYTE(__cdecl* DITrackedCursorPosProc)(int32_t* x, int32_t* y);

inline bool ForeignBool(BYTE answer) {
    return answer != 0;
}

HMODULE FindActiveRenderProxy(HMODULE known, CRITICAL_SECTION* lock);
void AcquireGamePipe(GamePipe& pipe, CRITICAL_SECTION* lock);
HWND QueryOutputRenderWindow(HMODULE module, CRITICAL_SECTION* lock);
bool QueryOverlayInputActive(HMODULE module, CRITICAL_SECTION* lock);
bool QueryOverlayRenderActive(HMODULE module, CRITICAL_SECTION* lock);
bool QueryDITrackedCursorPos(CRITICAL_SECTION* lock, POINT& position);

} // namespace korvex
