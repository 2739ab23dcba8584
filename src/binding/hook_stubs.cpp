// The six call stubs into "VelKorvexHooks.dll": CallCheckFocus, CallEndOfFrameHook,
// CallGetRawInputState, CallInputActiveStateTransitionHook, CallPipeResetHook and
// CallTrackedCursorPos. Each stub keeps its own export address, found once and never cleared,
// and holds the caller's lock across the load, the lookup and the call into the export.
#include "binding/hook_stubs.h"

#include <cstdint>

namespace korvex {

namespace {

const char kHooksModule[] = "VelKorvexHooks.dll";

typedef void(__cdecl* PlainExportProc)();
// The export's bool answer is a byte in AL; the stub does not pass it on.
typedef BYTE(__cdecl* TrackedCursorPosProc)(int32_t* x, int32_t* y);

// One address per stub; a stub never uses another stub's address.
FARPROC checkFocusAddress = nullptr;
FARPROC endOfFrameHookAddress = nullptr;
FARPROC getRawInputStateAddress = nullptr;
FARPROC inputActiveStateTransitionHookAddress = nullptr;
FARPROC pipeResetHookAddress = nullptr;
FARPROC trackedCursorPosAddress = nullptr;

// Looks `name` up in the hooks module while `address` is still empty. The reference that
// LoadLibraryA takes is kept for the life of the process. The caller holds the lock.
void LookUpWhileEmpty(FARPROC& address, const char* name) {
    if (address != nullptr)
        return;
    HMODULE module = LoadLibraryA(kHooksModule);
    if (module != nullptr)
        address = GetProcAddress(module, name);
}

void CallPlainExport(CRITICAL_SECTION* lock, FARPROC& address, const char* name) {
    EnterCriticalSection(lock);
    LookUpWhileEmpty(address, name);
    if (address != nullptr)
        reinterpret_cast<PlainExportProc>(reinterpret_cast<void (*)()>(address))();
    LeaveCriticalSection(lock);
}

} // namespace

void CallCheckFocus(CRITICAL_SECTION* lock) {
    CallPlainExport(lock, checkFocusAddress, "CheckFocus");
}

void CallEndOfFrameHook(CRITICAL_SECTION* lock) {
    CallPlainExport(lock, endOfFrameHookAddress, "EndOfFrameHook");
}

void CallGetRawInputState(CRITICAL_SECTION* lock) {
    CallPlainExport(lock, getRawInputStateAddress, "GetRawInputState");
}

void CallInputActiveStateTransitionHook(CRITICAL_SECTION* lock) {
    CallPlainExport(lock, inputActiveStateTransitionHookAddress, "InputActiveStateTransitionHook");
}

void CallPipeResetHook(CRITICAL_SECTION* lock) {
    CallPlainExport(lock, pipeResetHookAddress, "PipeResetHook");
}

// Without the export the position becomes 0, 0. With it, whatever the export left in x and y
// is delivered, whether it answered true or false.
void CallTrackedCursorPos(CRITICAL_SECTION* lock, POINT& position) {
    EnterCriticalSection(lock);
    LookUpWhileEmpty(trackedCursorPosAddress, "TrackedCursorPos");
    if (trackedCursorPosAddress == nullptr) {
        position.x = 0;
        position.y = 0;
    } else {
        int32_t x = 0;
        int32_t y = 0;
        reinterpret_cast<TrackedCursorPosProc>(
            reinterpret_cast<void (*)()>(trackedCursorPosAddress))(&x, &y);
        position.x = x;
        position.y = y;
    }
    LeaveCriticalSection(lock);
}

} // namespace korvex
