// Window and thread discovery: the windows (and window-owning threads) of a process including
// all descendants, the first top-level window by title prefix, and the first top-level window
// of a given window's process. Each routine fills a process-wide scratch object and takes no
// lock: callers keep calls of one routine apart.
#pragma once

#include <windows.h>

#include <set>

namespace korvex {

using ThreadIdSet = std::set<DWORD>;
using WindowSet = std::set<HWND>;

// The scratch sets the enumeration callbacks fill; each keeps the last result of its collector.
extern WindowSet ProcessWindowsScratch;
extern ThreadIdSet WindowThreadsScratch;

// Both replace `out` and return true. Out of memory the collection stops at the insertion that
// failed and `out` holds what was collected before it: nothing is thrown, since the collecting
// runs inside EnumWindows.
bool CollectWindowThreads(DWORD processId, ThreadIdSet& out);
bool CollectProcessWindows(DWORD processId, WindowSet& out);
HWND FindWindowByTitlePrefix(const char* text);
HWND FindWindowOfSameProcess(HWND window);

} // namespace korvex
