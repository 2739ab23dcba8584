// Scripting the simulated cursor, keyboard state and raw input.
#pragma once

#include <windows.h>

#include <vector>

namespace sim {

// Cursor: the shape SetCursor/GetCursor see, the ShowCursor display counter, the position.
int CursorDisplayCount();
POINT CursorPosition();
// A distinct cursor handle standing for a game's own cursor.
HCURSOR MakeGameCursor(int n);

// What GetKeyboardState delivers (all zero until set).
void SetKeyboardState(const BYTE (&keys)[256]);

// Queues a raw-input record and returns the handle a WM_INPUT message would carry.
HRAWINPUT QueueRawInput(const RAWINPUT& record);
// The next GetRawInputData fill delivers one byte less than the size it announced.
void ShortenNextRawInputFill();

// The process's raw-input registrations, and every RegisterRawInputDevices call's records.
std::vector<RAWINPUTDEVICE> RawInputRegistrations();
const std::vector<std::vector<RAWINPUTDEVICE>>& RegisterRawInputCalls();
// Adds a registration (as the game would) without recording a call.
void AddRawInputRegistration(USHORT page, USHORT usage, DWORD flags, HWND target);

} // namespace sim
