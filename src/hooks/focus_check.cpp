// CheckFocus: whether the foreground window is one of this process's windows (descendants
// included). mouseHook never swallows while another application has the foreground.
#include "discovery/window_discovery.h"
#include "hooks/exports.h"
#include "hooks/hook_state.h"

namespace korvex {

extern "C" void __cdecl CheckFocus() noexcept {
    WindowSet windows;
    HWND foreground = GetForegroundWindow();
    // Out of memory the set stays empty, as after a failed enumeration: the focus then counts
    // as elsewhere, and the game keeps its mouse input.
    CollectProcessWindows(GetCurrentProcessId(), windows);
    HookState.FocusElsewhere = false;
    if (windows.count(foreground) == 0)
        HookState.FocusElsewhere = true;
}

} // namespace korvex
