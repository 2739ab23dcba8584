// The DLL entry point. Attach sets up HookState and the log; detach only deletes the
// BindingLock: the cursor, raw-input registrations and borrowed pipe are left as they are.
#include "hooks/hook_state.h"

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        korvex::ProcessAttach(instance);
    else if (reason == DLL_PROCESS_DETACH)
        DeleteCriticalSection(&korvex::HookState.BindingLock);
    return TRUE;
}
