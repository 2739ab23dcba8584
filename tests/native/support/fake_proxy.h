// A render proxy for hook tests: registered under a runtime name in the simulated loader, it
// answers as active renderer, lends `pipe`, names `window` as its output window and reports
// `inputActive` for the overlay. Its bool answers are whole 32-bit registers, as a proxy built
// by any compiler may leave them: only the low byte is the answer.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

namespace fake_proxy {

extern std::atomic<uint32_t> inputActive; // flipped from other threads in the stress test
extern HWND window;
extern HANDLE pipe;

// Registers the proxy under `fileName` and returns its module handle.
HMODULE Install(const char* fileName = "d3d11.dll");

} // namespace fake_proxy
