// CheckFocus: whether the foreground window is one of this process's windows (descendants
// included). mouseHook never swallows while another application has the foreground.
#include "discovery/window_discovery.h"
#include "hooks/exports.h"
#include "hooks/hook_state.h"

namespace korvex {

extern "C" void __cdecl CheckFocus() noexcept {
    WindowSet windows;
    HWND foreground = GetForegroundWindow();
    // Out of memory the set holds only the windows collected before the failed insertion, and
    // after a failed enumeration none: a foreground window not among them counts as elsewhere,
    // and the game keeps its mouse input.
    CollectProcessWindows(GetCurrentProcessId(), windows);
    HookState.FocusElsewhere = false;
    if (windows.count(foreground) == 0)
        HookState.FocusElsewhere = true;
}

} // namespace korvex
