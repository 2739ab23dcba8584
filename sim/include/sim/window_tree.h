// Scripting the simulated window tree: top-level windows in enumeration order, their children
// and deeper descendants, each with an owner thread and process, a title and a client area,
// and the foreground window.
#pragma once

#include <windows.h>

namespace sim {

// Creates a window owned by `threadId` of `processId`. A null `parent` makes a top-level window,
// enumerated after the existing ones; otherwise the window becomes the parent's last child.
// The parent may belong to another process. Handles grow with each new window.
HWND AddWindow(HWND parent, DWORD processId, DWORD threadId, const char* title = "");
// Places the client area: its top-left corner on the screen and its size (all 0 at first).
void SetClientArea(HWND window, LONG screenX, LONG screenY, LONG width, LONG height);
// Removes the window and its descendants; their handles become unknown.
void RemoveWindow(HWND window);
// What GetForegroundWindow reports (null at first, and may be set back to null).
void SetForeground(HWND window);

} // namespace sim
