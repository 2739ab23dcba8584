// Scripting the simulated hook mechanism.
#pragma once

#include <windows.h>

namespace sim {

// What CallNextHookEx returns (0 until set).
void SetNextHookResult(LRESULT result);

} // namespace sim
