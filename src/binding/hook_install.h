// Setting the hook trio (keyboard, mouse, get-message) of "VelKorvexHooks.dll" on one thread,
// or one of its two groups; removing them; and listing the threads of a process.
#pragma once

#include "discovery/window_discovery.h"

#include <windows.h>

namespace korvex {

bool InstallInputHooks(DWORD threadId, CRITICAL_SECTION* lock, HHOOK& keyboard, HHOOK& mouse,
                       HHOOK& getmsg);
bool InstallInputHookGroup(DWORD threadId, bool rawInput, CRITICAL_SECTION* lock, HHOOK& keyboard,
                           HHOOK& mouse, HHOOK& getmsg);
void RemoveInputHooks(HHOOK& first, HHOOK& second, HHOOK& third);
// Replaces `threads` with the ids of the process's threads and returns true; out of memory, with
// the ids found before the insertion that failed.
bool CollectProcessThreads(DWORD processId, ThreadIdSet& threads);

} // namespace korvex
