// Interface of the reference render proxy used by the Windows test programs. One source is
// built under several runtime names (d3d9.dll, d3d11.dll, opengl32.dll, dinput.dll); each DLL
// keeps its own state. Besides the render proxy contract exports (_RenderProxyActive,
// _GetGamePipe, _OutputRenderWindow, _OverlayInputActive, _OverlayRenderActive) and the
// DirectInput proxy's DITrackedCursorPos, every copy exports a control function that a test
// looks up with GetProcAddress on the copy it loaded:
//   "ProxySetState" (ProxySetStateProc) sets what the contract exports answer from now on.
// A game uses the copy it loads as a real proxy through three more:
//   "ProxyStart" (ProxyStartProc) takes the pipe number and the output window and makes the
//                proxy the active renderer; the pipe is opened by the frames that follow;
//   "ProxyFrame" (ProxyFrameProc) is called once per rendered frame on the game's thread: it
//                (re)connects the client end, acts on the overlay's records and calls the hooks
//                module's per-frame exports;
//   "ProxyStop"  (ProxyStopProc)  removes the hooks the proxy set and closes its pipe end.
// All exports are plain cdecl functions exported under undecorated names.
// A program that does not know the proxy (a copy beside its executable, loaded by the program or
// by the hooks module's first hook call) runs it all the same when its environment holds
// KORVEX_PROXY_PIPE=N: loading starts a thread of the proxy's own that waits for the process's
// main window (visible, top-level, unowned), calls ProxyStart with N and that window, then
// ProxyFrame every 16 ms; its lines go to the process's standard output. The end-to-end test
// hooks Wine's notepad this way.
#pragma once

#include <windows.h>

#include <stdint.h>

// Answers of the contract exports. After load: not active, no pipe
// (INVALID_HANDLE_VALUE), no window, overlay input and render off, no tracked position. The bool
// answers are returned as these whole 32-bit values; by the contract only their low byte counts.
struct ProxyFixtureState {
    int32_t renderProxyActive;   // _RenderProxyActive
    HANDLE gamePipe;             // _GetGamePipe
    HWND outputWindow;           // _OutputRenderWindow
    int32_t overlayInputActive;  // _OverlayInputActive
    int32_t overlayRenderActive; // _OverlayRenderActive
    int32_t trackedCursorValid;  // DITrackedCursorPos; writes x, y when the low byte is non-zero
    int32_t trackedCursorX;
    int32_t trackedCursorY;
};

typedef void(__cdecl* ProxySetStateProc)(const ProxyFixtureState* state);

// Receives one line (no line feed) for each thing the proxy did: connected, records taken,
// hooks set. Called on the thread that called ProxyFrame.
typedef void(__cdecl* ProxyLogProc)(const char* line);
typedef bool(__cdecl* ProxyStartProc)(DWORD pipeNumber, HWND outputWindow, ProxyLogProc log);
typedef void(__cdecl* ProxyFrameProc)();
typedef void(__cdecl* ProxyStopProc)();
