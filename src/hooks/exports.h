// The nine exports of VelKorvexHooks.dll. The three hook procedures have the hook-procedure
// form (callee removes the arguments); the six others are plain functions whose caller removes
// the arguments.
#pragma once

#include <windows.h>

#include <cstdint>

extern "C" {
LRESULT CALLBACK mouseHook(int code, WPARAM message, LPARAM record);
LRESULT CALLBACK keyboardHook(int code, WPARAM virtualKey, LPARAM keyFlags);
LRESULT CALLBACK getmsgHook(int code, WPARAM removeFlag, LPARAM msg);

void __cdecl EndOfFrameHook();
bool __cdecl TrackedCursorPos(int32_t* x, int32_t* y);
void __cdecl PipeResetHook();
void __cdecl GetRawInputState();
void __cdecl InputActiveStateTransitionHook();
void __cdecl CheckFocus();
}

// Internal steps shared by the hook procedures.
void UpdateCursorTakeover();
bool IsCursorPinned(LONG x, LONG y);
DWORD MakeRawKeyFlags(const RAWKEYBOARD& record);
