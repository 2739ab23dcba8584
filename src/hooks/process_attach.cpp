// What the module does when it is attached to a process.
#include "hooks/hook_state.h"
#include "log/log_file.h"

namespace korvex {

void ProcessAttach(HINSTANCE) {
    HookState.Pipe.handle = INVALID_HANDLE_VALUE; // the first hook asks a render proxy for it
    OpenModuleLog("injected.log", 0x500000);
    InitializeCriticalSection(&HookState.BindingLock);
    HookState.ArrowCursor = LoadCursorA(nullptr, IDC_ARROW);
}

} // namespace korvex
