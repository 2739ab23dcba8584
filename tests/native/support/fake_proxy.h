// A render proxy for hook tests: registered under a runtime name in the simulated loader, it
// answers as active renderer, lends `pipe`, names `window` as its output window and reports
// `inputActive` for the overlay.
#pragma once

#include <windows.h>

#include <atomic>

namespace fake_proxy {

extern std::atomic<bool> inputActive; // flipped from other threads in the stress test
extern HWND window;
extern HANDLE pipe;

// Registers the proxy under `fileName` and returns its module handle.
HMODULE Install(const char* fileName = "d3d11.dll");

} // namespace fake_proxy
