// getmsgHook (WH_GETMESSAGE): for WM_INPUT only, reads the raw-input record and, for the device
// classes the game takes as raw input only, forwards raw keystrokes as KeyboardInput records and
// moves the tracked cursor position from raw mouse movement. It never swallows or alters a
// message.
#include "binding/render_proxy.h"
#include "hooks/exports.h"
#include "hooks/hook_state.h"
#include "link/messages.h"

namespace korvex {

DWORD MakeRawKeyFlags(const RAWKEYBOARD& record) {
    DWORD flags = 0;
    // Bit 24, extended key: the raw record's E0/E1 prefix flags, as Windows sets it for legacy
    // key messages. Bit 29, context code: set for the system-key messages (Alt held), the
    // closest the raw record comes to the legacy meaning.
    if (record.Flags & (RI_KEY_E0 | RI_KEY_E1))
        flags |= 0x01000000u;
    if (record.Message == WM_SYSKEYDOWN || record.Message == WM_SYSKEYUP)
        flags |= 0x20000000u;
    if (record.Message == WM_KEYDOWN || record.Message == WM_SYSKEYDOWN)
        flags |= 0x40000000u;
    if (record.Message == WM_KEYUP || record.Message == WM_SYSKEYUP)
        flags |= 0x80000000u;
    return flags;
}

namespace {

void HandleRawInput(const RAWINPUT& raw, UINT size) {
    HookStateRecord& s = HookState;
    if (raw.header.dwType == RIM_TYPEKEYBOARD && s.RawKeyboardNoLegacy &&
        size >= sizeof(RAWINPUTHEADER) + sizeof(RAWKEYBOARD)) {
        AcquireGamePipe(s.Pipe, &s.BindingLock);
        if (IsPipeOpen(s.Pipe)) {
            BYTE keys[256] = {};
            GetKeyboardState(keys);
            SendKeyboardInput(s.Pipe, raw.data.keyboard.VKey, MakeRawKeyFlags(raw.data.keyboard),
                              keys);
        }
    } else if (raw.header.dwType == RIM_TYPEMOUSE && s.RawMouseNoLegacy &&
               size >= sizeof(RAWINPUTHEADER) + sizeof(RAWMOUSE)) {
        const RAWMOUSE& mouse = raw.data.mouse;
        s.TrackingMode = (mouse.usFlags & MOUSE_MOVE_ABSOLUTE) ? 0 : 1;
        if (s.TrackingMode == 0) {
            s.TrackedPos = POINT{mouse.lLastX, mouse.lLastY};
        } else {
            // Wrapping 32-bit addition, done unsigned to stay defined.
            s.TrackedPos.x = static_cast<LONG>(static_cast<uint32_t>(s.TrackedPos.x) +
                                               static_cast<uint32_t>(mouse.lLastX));
            s.TrackedPos.y = static_cast<LONG>(static_cast<uint32_t>(s.TrackedPos.y) +
                                               static_cast<uint32_t>(mouse.lLastY));
        }
    }
}

} // namespace

extern "C" LRESULT CALLBACK getmsgHook(int code, WPARAM removeFlag, LPARAM msgParam) noexcept {
    const MSG* msg = reinterpret_cast<const MSG*>(msgParam);
    if (msg->message != WM_INPUT)
        return CallNextHookEx(nullptr, code, removeFlag, msgParam);

    HookStateRecord& s = HookState;
    s.LastHookKind = 1;
    s.ActiveRenderModule = FindActiveRenderProxy(s.ActiveRenderModule, &s.BindingLock);
    UpdateCursorTakeover();

    HRAWINPUT handle = reinterpret_cast<HRAWINPUT>(msg->lParam);
    UINT size = 0;
    if (GetRawInputData(handle, RID_INPUT, nullptr, &size, sizeof(RAWINPUTHEADER)) == 0 &&
        size >= sizeof(RAWINPUTHEADER)) {
        // A failed allocation skips the record as a failed read would; the message goes on.
        RAWINPUT* raw = static_cast<RAWINPUT*>(
            LocalAlloc(LPTR, size < sizeof(RAWINPUT) ? sizeof(RAWINPUT) : size));
        if (raw) {
            if (GetRawInputData(handle, RID_INPUT, raw, &size, sizeof(RAWINPUTHEADER)) == size)
                HandleRawInput(*raw, size);
            LocalFree(raw);
        }
    }
    return CallNextHookEx(nullptr, code, removeFlag, msgParam);
}

} // namespace korvex
