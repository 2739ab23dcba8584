// keyboardHook (WH_KEYBOARD): forwards every legacy key message to the overlay as a
// KeyboardInput record (unless the game takes its keyboard as raw input only, which getmsgHook
// then forwards) and swallows it while the overlay has the input.
#include "binding/render_proxy.h"
#include "hooks/exports.h"
#include "hooks/hook_state.h"
#include "link/messages.h"

namespace korvex {

extern "C" LRESULT CALLBACK keyboardHook(int code, WPARAM virtualKey, LPARAM keyFlags) noexcept {
    HookStateRecord& s = HookState;
    s.LastHookKind = 0;
    s.ActiveRenderModule = FindActiveRenderProxy(s.ActiveRenderModule, &s.BindingLock);
    AcquireGamePipe(s.Pipe, &s.BindingLock);
    UpdateCursorTakeover();
    bool inputActive = QueryOverlayInputActive(s.ActiveRenderModule, &s.BindingLock);

    // Sent for every call, peeked messages and negative codes included, so that the overlay
    // sees the same key traffic the game does.
    if (!s.RawKeyboardNoLegacy && IsPipeOpen(s.Pipe)) {
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        SendKeyboardInput(s.Pipe, static_cast<DWORD>(virtualKey), static_cast<DWORD>(keyFlags),
                          keys);
    }

    if (code >= 0 && inputActive)
        return 1;
    return CallNextHookEx(nullptr, code, virtualKey, keyFlags);
}

} // namespace korvex
