// Setting the hooks of "VelKorvexHooks.dll" on one game thread (InstallInputHooks,
// InstallInputHookGroup), removing hooks by the handles a caller holds (RemoveInputHooks), and
// listing the threads of a process from a thread snapshot (CollectProcessThreads).
#include "binding/hook_install.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cstddef>

namespace korvex {

namespace {

const char kHooksModule[] = "VelKorvexHooks.dll";

// The full THREADENTRY32, and the part of it a record must fill for its owner to be read.
const DWORD kThreadEntrySize = 28;
const DWORD kThreadEntryOwnerEnd = offsetof(THREADENTRY32, th32OwnerProcessID) + sizeof(DWORD);
static_assert(sizeof(THREADENTRY32) == kThreadEntrySize, "THREADENTRY32 layout");
static_assert(kThreadEntryOwnerEnd == 16, "THREADENTRY32 layout");

HOOKPROC LookUpHookProc(HMODULE module, const char* name) {
    return reinterpret_cast<HOOKPROC>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

} // namespace

// Nothing is cached and nothing is rolled back: every call loads the module and looks the
// procedures up again, and hooks set before a refused one stay set, their handles in the slots.
bool InstallInputHooks(DWORD threadId, CRITICAL_SECTION* lock, HHOOK& keyboard, HHOOK& mouse,
                       HHOOK& getmsg) {
    bool result = false;
    EnterCriticalSection(lock);
    HMODULE module = LoadLibraryA(kHooksModule);
    if (module != nullptr) {
        HOOKPROC keyboardProc = LookUpHookProc(module, "keyboardHook");
        HOOKPROC mouseProc = LookUpHookProc(module, "mouseHook");
        HOOKPROC getmsgProc = LookUpHookProc(module, "getmsgHook");
        if (keyboardProc != nullptr && mouseProc != nullptr && getmsgProc != nullptr) {
            keyboard = SetWindowsHookExA(WH_KEYBOARD, keyboardProc, module, threadId);
            mouse = SetWindowsHookExA(WH_MOUSE, mouseProc, module, threadId);
            getmsg = SetWindowsHookExA(WH_GETMESSAGE, getmsgProc, module, threadId);
            result = keyboard != nullptr && mouse != nullptr && getmsg != nullptr;
        }
    }
    LeaveCriticalSection(lock);
    return result;
}

// The group not chosen has its slots overwritten with null; hooks they held are not removed.
bool InstallInputHookGroup(DWORD threadId, bool rawInput, CRITICAL_SECTION* lock, HHOOK& keyboard,
                           HHOOK& mouse, HHOOK& getmsg) {
    bool result = false;
    EnterCriticalSection(lock);
    HMODULE module = LoadLibraryA(kHooksModule);
    if (module != nullptr) {
        if (rawInput) {
            HOOKPROC getmsgProc = LookUpHookProc(module, "getmsgHook");
            if (getmsgProc != nullptr) {
                getmsg = SetWindowsHookExA(WH_GETMESSAGE, getmsgProc, module, threadId);
                keyboard = nullptr;
                mouse = nullptr;
                result = getmsg != nullptr;
            }
        } else {
            HOOKPROC keyboardProc = LookUpHookProc(module, "keyboardHook");
            HOOKPROC mouseProc = LookUpHookProc(module, "mouseHook");
            if (keyboardProc != nullptr && mouseProc != nullptr) {
                keyboard = SetWindowsHookExA(WH_KEYBOARD, keyboardProc, module, threadId);
                mouse = SetWindowsHookExA(WH_MOUSE, mouseProc, module, threadId);
                getmsg = nullptr;
                result = keyboard != nullptr && mouse != nullptr;
            }
        }
    }
    LeaveCriticalSection(lock);
    return result;
}

// Removes last slot first, so that slots given in keyboard, mouse, get-message order come off
// in the reverse of the order the installers set them. A slot is emptied even when the removal
// fails.
void RemoveInputHooks(HHOOK& first, HHOOK& second, HHOOK& third) {
    // All three are read before any is changed, so the handles removed are the ones held on
    // entry.
    const HHOOK held[] = {third, second, first};
    HHOOK* slots[] = {&third, &second, &first};
    for (int i = 0; i < 3; ++i) {
        if (held[i] != nullptr) {
            UnhookWindowsHookEx(held[i]);
            *slots[i] = nullptr;
        }
    }
}

// A thread snapshot always covers the whole system, so it is taken with process id 0 and
// filtered here. The caller's set is cleared first, so a failed snapshot leaves it empty. Out of
// memory the walk stops there and the set keeps the threads inserted so far; the snapshot is
// closed either way, nothing is thrown and the result is always true.
bool CollectProcessThreads(DWORD processId, ThreadIdSet& threads) {
    threads.clear();
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return true;
    try {
        THREADENTRY32 entry;
        entry.dwSize = kThreadEntrySize;
        BOOL more = Thread32First(snapshot, &entry);
        while (more) {
            if (entry.dwSize >= kThreadEntryOwnerEnd && entry.th32OwnerProcessID == processId)
                threads.insert(entry.th32ThreadID);
            entry.dwSize = kThreadEntrySize;
            more = Thread32Next(snapshot, &entry);
        }
    } catch (...) {
        // A failed insertion: what was collected before it stands.
    }
    CloseHandle(snapshot);
    return true;
}

} // namespace korvex
