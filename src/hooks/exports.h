// The nine exports of VelKorvexHooks.dll. The three hook procedures have the hook-procedure
// form (callee removes the arguments); the six others are plain functions whose caller removes
// the arguments. All nine are called from frames a C++ exception cannot cross (the platform's
// hook dispatch, a render proxy's C code), so none of them lets one out: they are noexcept, and
// the paths inside them that allocate handle a failed allocation as a failed step.
#pragma once

#include <windows.h>

#include <cstdint>

extern "C" {
LRESULT CALLBACK mouseHook(int code, WPARAM message, LPARAM record) noexcept;
LRESULT CALLBACK keyboardHook(int code, WPARAM virtualKey, LPARAM keyFlags) noexcept;
LRESULT CALLBACK getmsgHook(int code, WPARAM removeFlag, LPARAM msg) noexcept;

void __cdecl EndOfFrameHook() noexcept;
bool __cdecl TrackedCursorPos(int32_t* x, int32_t* y) noexcept;
void __cdecl PipeResetHook() noexcept;
void __cdecl GetRawInputState() noexcept;
void __cdecl InputActiveStateTransitionHook() noexcept;
void __cdecl CheckFocus() noexcept;
}

namespace korvex {

// Internal steps shared by the hook procedures.
void UpdateCursorTakeover();
bool IsCursorPinned(LONG x, LONG y);
DWORD MakeRawKeyFlags(const RAWKEYBOARD& record);

} // namespace korvex
