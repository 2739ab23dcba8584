// Run-time binding to the render proxies (modules loaded under graphics runtime names) and to
// the DirectInput proxy: finding the active renderer, borrowing the game pipe, and asking for
// the output window and the overlay's input and render flags. Every operation holds the lock it
// is given for its whole call, across the loads, lookups and the call into the proxy.
#pragma once

#include "link/pipe.h"

#include <windows.h>

#include <cstdint>

// The exports a render proxy offers (plain functions, caller removes the arguments).
typedef bool(__cdecl* RenderProxyActiveProc)();
typedef HANDLE(__cdecl* GetGamePipeProc)();
typedef HWND(__cdecl* OutputRenderWindowProc)();
typedef bool(__cdecl* OverlayInputActiveProc)();
typedef bool(__cdecl* OverlayRenderActiveProc)();
typedef bool(__cdecl* DITrackedCursorPosProc)(int32_t* x, int32_t* y);

HMODULE FindActiveRenderProxy(HMODULE known, CRITICAL_SECTION* lock);
void AcquireGamePipe(GamePipe& pipe, CRITICAL_SECTION* lock);
HWND QueryOutputRenderWindow(HMODULE module, CRITICAL_SECTION* lock);
bool QueryOverlayInputActive(HMODULE module, CRITICAL_SECTION* lock);
bool QueryOverlayRenderActive(HMODULE module, CRITICAL_SECTION* lock);
bool QueryDITrackedCursorPos(CRITICAL_SECTION* lock, POINT& position);
