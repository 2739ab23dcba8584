// The demo game's standard output: one flushed line per input message its window procedure
// receives, and state lines (cursor shape, display counter, position, raw-input registrations).
#pragma once

#include <windows.h>

// Prints one line (a line feed is added) and flushes it.
void Say(const char* format, ...);

// Prints the line for an input message, if `message` is one; `name` tells which window got it.
void ReportInput(const char* name, HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Prints "state id=... shape=... counter=... pos=x,y raw=..."; `gameCursor` is the game's own
// cursor shape and `mainWindow` the raw-input target it registers.
void ReportState(WPARAM id, HCURSOR gameCursor, HWND mainWindow);
