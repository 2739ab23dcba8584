// A render proxy for hook tests: registered under a runtime name in the simulated loader, it
// answers as active renderer, lends `pipe`, names `window` as its output window and reports
// `inputActive` for the overlay. Its bool answers are whole 32-bit registers, as a proxy built
// by any compiler may leave them: only the low byte is the answer.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

// A test function as the address GetProcAddress would hand out for an export.
template <class F> FARPROC AsExport(F* function) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

namespace fake_proxy {

extern std::atomic<uint32_t> inputActive;
extern HWND window;
extern HANDLE pipe;

// Registers the proxy under `fileName` and returns its module handle.
HMODULE Install(const char* fileName = "d3d11.dll");

} // namespace fake_proxy
