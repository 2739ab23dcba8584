// Window and thread discovery: collecting a process's top-level windows with all their
// descendants (or the threads that own them) into the process-wide scratch sets, and the two
// first-match searches over the top-level windows, by title prefix and by owning process.
#include "discovery/window_discovery.h"

#include <cstring>

namespace korvex {

WindowSet ProcessWindowsScratch;
ThreadIdSet WindowThreadsScratch;

namespace {

// The last match of each search, null when the search found nothing.
HWND TitleMatch = nullptr;
HWND ProcessMatch = nullptr;

constexpr int kTitleBufferSize = 256;

// Set when a callback of that collector could not insert for want of memory. Its enumerations
// then stop (the callbacks run inside EnumWindows, which a C++ exception must not cross) and the
// collector returns what it had collected. One flag per collector: the two collectors may run at
// the same time on different threads.
bool ThreadInsertFailed = false;
bool WindowInsertFailed = false;

// Inserts into a scratch set; false (enumeration stops) when the insertion cannot allocate.
template <class Set, class Value> BOOL Insert(Set& set, Value value, bool& failed) {
    try {
        set.insert(value);
        return TRUE;
    } catch (...) {
        failed = true;
        return FALSE;
    }
}

DWORD OwningProcess(HWND window, DWORD& threadId) {
    DWORD processId = 0;
    threadId = GetWindowThreadProcessId(window, &processId);
    return processId;
}

BOOL CALLBACK CollectChildThread(HWND window, LPARAM) {
    return Insert(WindowThreadsScratch, GetWindowThreadProcessId(window, nullptr),
                  ThreadInsertFailed);
}

BOOL CALLBACK CollectTopLevelThread(HWND window, LPARAM processId) {
    DWORD threadId = 0;
    if (OwningProcess(window, threadId) == static_cast<DWORD>(processId) &&
        Insert(WindowThreadsScratch, threadId, ThreadInsertFailed))
        EnumChildWindows(window, CollectChildThread, 0);
    return ThreadInsertFailed ? FALSE : TRUE;
}

BOOL CALLBACK CollectChildWindow(HWND window, LPARAM) {
    return Insert(ProcessWindowsScratch, window, WindowInsertFailed);
}

BOOL CALLBACK CollectTopLevelWindow(HWND window, LPARAM processId) {
    DWORD threadId = 0;
    if (OwningProcess(window, threadId) == static_cast<DWORD>(processId) &&
        Insert(ProcessWindowsScratch, window, WindowInsertFailed))
        EnumChildWindows(window, CollectChildWindow, 0);
    return WindowInsertFailed ? FALSE : TRUE;
}

BOOL CALLBACK MatchTitle(HWND window, LPARAM text) {
    const char* prefix = reinterpret_cast<const char*>(text);
    char title[kTitleBufferSize] = {};
    GetWindowTextA(window, title, kTitleBufferSize);
    // A prefix of 256 characters or more can never match: a title read here has at most 255.
    size_t length = strnlen(prefix, kTitleBufferSize);
    if (strncmp(title, prefix, length) == 0) {
        TitleMatch = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK MatchProcess(HWND window, LPARAM processId) {
    DWORD threadId = 0;
    if (OwningProcess(window, threadId) == static_cast<DWORD>(processId)) {
        ProcessMatch = window;
        return FALSE;
    }
    return TRUE;
}

// Runs one collection into `scratch` and leaves `out` holding the result (no copy when `out` is
// the scratch set). Always true: out of memory, `out` holds what was collected, as far as the
// copy could allocate.
template <class Set>
bool Collect(Set& scratch, bool& failed, Set& out, WNDENUMPROC collect, DWORD processId) {
    scratch.clear();
    failed = false;
    EnumWindows(collect, static_cast<LPARAM>(processId));
    if (&out != &scratch) {
        out.clear();
        try {
            for (auto value : scratch)
                out.insert(out.end(), value);
        } catch (...) {
            // The copy keeps the elements it could take.
        }
    }
    return true;
}

} // namespace

bool CollectWindowThreads(DWORD processId, ThreadIdSet& out) {
    return Collect(WindowThreadsScratch, ThreadInsertFailed, out, CollectTopLevelThread, processId);
}

bool CollectProcessWindows(DWORD processId, WindowSet& out) {
    return Collect(ProcessWindowsScratch, WindowInsertFailed, out, CollectTopLevelWindow,
                   processId);
}

HWND FindWindowByTitlePrefix(const char* text) {
    TitleMatch = nullptr;
    EnumWindows(MatchTitle, reinterpret_cast<LPARAM>(text));
    return TitleMatch;
}

// A handle that names no window gives null without an enumeration: GetWindowThreadProcessId
// then reports thread 0 and defines no process, so there is no process to look for.
HWND FindWindowOfSameProcess(HWND window) {
    DWORD processId = 0;
    DWORD threadId = GetWindowThreadProcessId(window, &processId);
    ProcessMatch = nullptr;
    if (threadId == 0)
        return nullptr;
    EnumWindows(MatchProcess, static_cast<LPARAM>(processId));
    return ProcessMatch;
}

} // namespace korvex
