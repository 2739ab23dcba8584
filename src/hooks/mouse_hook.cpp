// mouseHook (WH_MOUSE): keeps the tracked cursor position, forwards mouse messages to the
// overlay as MouseInput records in client coordinates while it has the input, and swallows
// them when the tracked position lies inside the game's output window. Also the pinned-cursor
// detection, relative tracking per frame (EndOfFrameHook), TrackedCursorPos and PipeResetHook.
#include "binding/render_proxy.h"
#include "hooks/exports.h"
#include "hooks/hook_state.h"
#include "link/messages.h"

namespace korvex {

namespace {

// a - b in 32-bit arithmetic that wraps like the rest of the position arithmetic: a tracked
// position near the limits minus an origin of the other sign must not overflow.
int32_t WrappingDifference(LONG a, LONG b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

// The output window's client rectangle in screen coordinates. When it cannot be read (no window
// known, or the window is gone) the rectangle is empty at the screen origin: nothing counts as
// inside, and positions are sent unconverted.
RECT ClientRectOnScreen(HWND window) {
    RECT client = {0, 0, 0, 0};
    if (!GetClientRect(window, &client))
        return RECT{0, 0, 0, 0};
    POINT topLeft = {client.left, client.top};
    POINT bottomRight = {client.right, client.bottom};
    ClientToScreen(window, &topLeft);
    ClientToScreen(window, &bottomRight);
    return RECT{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
}

} // namespace

// Pinned when the last five recorded positions all lie on AnchorPos. The five entries of a full
// ring are exactly the last five positions, so their order does not matter here.
bool IsCursorPinned(LONG x, LONG y) {
    PositionQueue& history = HookState.PositionHistory;
    history.push_back(POINT{x, y});
    if (history.size() < PositionQueue::kCapacity)
        return false;
    for (const POINT& entry : history.entries) {
        if (entry.x != HookState.AnchorPos.x || entry.y != HookState.AnchorPos.y)
            return false;
    }
    return true;
}

extern "C" LRESULT CALLBACK mouseHook(int code, WPARAM message, LPARAM record) noexcept {
    HookStateRecord& s = HookState;
    const MOUSEHOOKSTRUCTEX* mouse = reinterpret_cast<const MOUSEHOOKSTRUCTEX*>(record);

    s.LastHookKind = 0;
    s.ActiveRenderModule = FindActiveRenderProxy(s.ActiveRenderModule, &s.BindingLock);
    UpdateCursorTakeover();
    bool inputActive = QueryOverlayInputActive(s.ActiveRenderModule, &s.BindingLock);

    if (!s.RawMouseNoLegacy) {
        if (s.TrackingMode == 0)
            s.TrackedPos = mouse->pt;
        DWORD wheel = message == WM_MOUSEWHEEL ? mouse->mouseData : 0;
        HWND window = QueryOutputRenderWindow(s.ActiveRenderModule, &s.BindingLock);
        RECT client = {0, 0, 0, 0};
        if (!GetClientRect(window, &client))
            client = RECT{0, 0, 0, 0};
        if (inputActive) {
            if (s.TrackingMode == 0 && message == WM_MOUSEMOVE &&
                IsCursorPinned(s.TrackedPos.x, s.TrackedPos.y))
                s.TrackingMode = 1;
            AcquireGamePipe(s.Pipe, &s.BindingLock);
            if (IsPipeOpen(s.Pipe)) {
                DWORD time = GetTickCount();
                POINT origin = {client.left, client.top};
                if (!ClientToScreen(window, &origin))
                    origin = POINT{0, 0};
                BYTE keys[256] = {};
                GetKeyboardState(keys);
                SendMouseInput(s.Pipe, static_cast<DWORD>(message),
                               WrappingDifference(s.TrackedPos.x, origin.x),
                               WrappingDifference(s.TrackedPos.y, origin.y), wheel, time, keys);
            }
        }
    }

    RECT area = ClientRectOnScreen(QueryOutputRenderWindow(s.ActiveRenderModule, &s.BindingLock));
    bool inside = s.TrackedPos.x >= area.left && s.TrackedPos.y >= area.top &&
                  s.TrackedPos.x < area.right && s.TrackedPos.y < area.bottom;

    if (!s.FocusElsewhere && code >= 0 && inputActive && inside)
        return 1;
    return CallNextHookEx(nullptr, code, message, record);
}

extern "C" void __cdecl EndOfFrameHook() noexcept {
    HookStateRecord& s = HookState;
    if (s.LastHookKind != 0 || s.TrackingMode != 1)
        return;
    POINT p;
    if (!GetCursorPos(&p))
        return; // no position this frame: the tracked position stays where it is
    // 32-bit signed arithmetic that wraps rather than saturating, done unsigned to stay defined.
    s.TrackedPos.x =
        static_cast<LONG>(static_cast<uint32_t>(s.TrackedPos.x) +
                          2u * (static_cast<uint32_t>(p.x) - static_cast<uint32_t>(s.AnchorPos.x)));
    s.TrackedPos.y =
        static_cast<LONG>(static_cast<uint32_t>(s.TrackedPos.y) +
                          2u * (static_cast<uint32_t>(p.y) - static_cast<uint32_t>(s.AnchorPos.y)));
}

extern "C" bool __cdecl TrackedCursorPos(int32_t* x, int32_t* y) noexcept {
    *x = HookState.TrackedPos.x;
    *y = HookState.TrackedPos.y;
    return true;
}

extern "C" void __cdecl PipeResetHook() noexcept {
    // The handle belongs to the render proxy: forget it without closing it.
    HookState.Pipe.handle = INVALID_HANDLE_VALUE;
}

} // namespace korvex
