// Window and thread discovery: collecting a process's top-level windows with all their
// descendants (or the threads that own them) into the process-wide scratch sets, and the two
// first-match searches over the top-level windows, by title prefix and by owning process.
#include "discovery/window_discovery.h"

#include <cstring>

namespace {

// The last match of each search, null when the search found nothing.
HWND TitleMatch = nullptr;
HWND ProcessMatch = nullptr;

constexpr int kTitleBufferSize = 256;

DWORD OwningProcess(HWND window, DWORD& threadId) {
    DWORD processId = 0;
    threadId = GetWindowThreadProcessId(window, &processId);
    return processId;
}

BOOL CALLBACK CollectChildThread(HWND window, LPARAM) {
    WindowThreadsScratch.insert(GetWindowThreadProcessId(window, nullptr));
    return TRUE;
}

BOOL CALLBACK CollectTopLevelThread(HWND window, LPARAM processId) {
    DWORD threadId = 0;
    if (OwningProcess(window, threadId) == static_cast<DWORD>(processId)) {
        WindowThreadsScratch.insert(threadId);
        EnumChildWindows(window, CollectChildThread, 0);
    }
    return TRUE;
}

BOOL CALLBACK CollectChildWindow(HWND window, LPARAM) {
    ProcessWindowsScratch.insert(window);
    return TRUE;
}

BOOL CALLBACK CollectTopLevelWindow(HWND window, LPARAM processId) {
    DWORD threadId = 0;
    if (OwningProcess(window, threadId) == static_cast<DWORD>(processId)) {
        ProcessWindowsScratch.insert(window);
        EnumChildWindows(window, CollectChildWindow, 0);
    }
    return TRUE;
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

// Leaves `out` holding what the scratch set holds; no copy when `out` is the scratch set.
template <class Set> void CopyResult(const Set& scratch, Set& out) {
    if (&out == &scratch)
        return;
    out = scratch;
}

} // namespace

bool CollectWindowThreads(DWORD processId, ThreadIdSet& out) {
    WindowThreadsScratch.clear();
    EnumWindows(CollectTopLevelThread, static_cast<LPARAM>(processId));
    CopyResult(WindowThreadsScratch, out);
    return true;
}

bool CollectProcessWindows(DWORD processId, WindowSet& out) {
    ProcessWindowsScratch.clear();
    EnumWindows(CollectTopLevelWindow, static_cast<LPARAM>(processId));
    CopyResult(ProcessWindowsScratch, out);
    return true;
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
