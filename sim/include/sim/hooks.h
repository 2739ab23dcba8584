// Scripting and inspecting the simulated hook mechanism.
#pragma once

#include <windows.h>

#include <vector>

namespace sim {

// What CallNextHookEx returns (0 until set).
void SetNextHookResult(LRESULT result);

// One hook that SetWindowsHookExA set and that has not been removed.
struct InstalledHook {
    HHOOK handle;
    int type;
    HOOKPROC procedure;
    HINSTANCE module;
    DWORD threadId;
};

// Makes SetWindowsHookExA refuse every hook of `type` (null, ERROR_ACCESS_DENIED).
void RefuseHookType(int type);
// The hooks currently set, in the order they were set.
std::vector<InstalledHook> InstalledHooks();
// Every handle passed to UnhookWindowsHookEx, in call order, whether or not it was set.
std::vector<HHOOK> UnhookCalls();

} // namespace sim
