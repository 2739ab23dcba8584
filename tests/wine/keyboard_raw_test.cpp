// keyboardHook and getmsgHook: which path forwards which key and when it is swallowed, the hook
// chain behind all three hooks with real input, and raw records (served exactly through a
// redirected GetRawInputData) moving the tracked position or failing to be read.
#include "support/hook_rig.h"

using KeyboardHook = HookTest;
using GetmsgHook = HookTest;

namespace {

int Seen[8]; // input that reached the hooks after ours, by type (WM_INPUT only for get-message)

template <int Type> LRESULT CALLBACK NextHook(int code, WPARAM wParam, LPARAM lParam) {
    Seen[Type] += Type != WH_GETMESSAGE || reinterpret_cast<MSG*>(lParam)->message == WM_INPUT;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

RAWINPUT Served;
int Unreadable; // 1: the size query fails, 2: the record comes back short

// GetRawInputData serving one record, as strict about the header size as the real one.
UINT WINAPI ServeRawInput(HRAWINPUT, UINT, LPVOID data, PUINT size, UINT header) {
    if (header != sizeof(RAWINPUTHEADER) || (data == nullptr && Unreadable == 1))
        return static_cast<UINT>(-1);
    *size = sizeof Served;
    if (data != nullptr) // room for a whole RAWINPUT, as the hook always gives
        *static_cast<RAWINPUT*>(data) = Served;
    return data == nullptr ? 0 : sizeof Served - (Unreadable == 2);
}

RAWINPUT Raw(DWORD type, UINT message, USHORT flags = 0, LONG x = 0, LONG y = 0) {
    RAWINPUT r = {};
    r.header.dwType = type;
    if (type == RIM_TYPEKEYBOARD)
        r.data.keyboard = {0x20, 0, 0, 'D', message, 0};
    else
        r.data.mouse.usFlags = flags, r.data.mouse.lLastX = x, r.data.mouse.lLastY = y;
    return r;
}

} // namespace

TEST_F(KeyboardHook, EveryCallIsForwardedAndOnlyAnActiveOverlaySwallowsItWithCodeZeroOrMore) {
    HookState.FocusElsewhere = true; // which does not matter for keys
    auto expect = [&](bool rawOnly, int32_t answer, int code, LRESULT result) {
        HookState.RawKeyboardNoLegacy = rawOnly; // getmsgHook forwards then; swallowed all the same
        Answer(answer);
        EXPECT_EQ(keyboardHook(code, 'A', 0xC01E0001), result) << answer << " " << code;
        EXPECT_EQ(Next(), rawOnly ? Bytes{} : Le({4, 'A', 0xC01E0001}, keys)) << rawOnly;
    };
    expect(true, 1, HC_ACTION, 1);
    expect(false, 0, HC_ACTION, 0);
    expect(false, 1, -1, 0);
    expect(false, 2, HC_NOREMOVE, 1);
    proxy.state.gamePipe = INVALID_HANDLE_VALUE;
    proxy.Apply();
    PipeResetHook(); // the handle is forgotten, not closed: the proxy lends none now
    keyboardHook(HC_ACTION, 'B', 1);
    DWORD flags = 0;
    EXPECT_TRUE(Next().empty() && GetHandleInformation(pipe.client.handle, &flags));
}

TEST_F(KeyboardHook, RealInputPassesOnToTheNextHooksWhileTheOverlayIsInactive) {
    DWORD thread = GetCurrentThreadId();
    SetWindowsHookExA(WH_KEYBOARD, NextHook<WH_KEYBOARD>, nullptr, thread);
    SetWindowsHookExA(WH_MOUSE, NextHook<WH_MOUSE>, nullptr, thread);
    SetWindowsHookExA(WH_GETMESSAGE, NextHook<WH_GETMESSAGE>, nullptr, thread);
    SetWindowsHookExA(WH_KEYBOARD, keyboardHook, nullptr, thread);
    SetWindowsHookExA(WH_MOUSE, mouseHook, nullptr, thread);
    SetWindowsHookExA(WH_GETMESSAGE, getmsgHook, nullptr, thread);
    ASSERT_TRUE(MoveCursor(200, 100));
    keybd_event('K', 0, 0, 0);
    keybd_event('K', 0, KEYEVENTF_KEYUP, 0);
    mouse_event(MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
    PostMessageA(window, WM_INPUT, RIM_INPUT, 1); // one that names no record
    EXPECT_TRUE(PumpUntil([] { return Seen[WH_KEYBOARD] == 2 && Seen[WH_MOUSE] >= 2; }));
    EXPECT_EQ(Seen[WH_GETMESSAGE], 1);
}

TEST_F(GetmsgHook, RawRecordsOfARawOnlyClassAreForwardedOrMoveTheTrackedPositionUnlessUnreadable) {
    ImportPatch serve(nullptr, "user32.dll", "GetRawInputData",
                      reinterpret_cast<void*>(&ServeRawInput));
    HookState.TrackedPos = POINT{100, 100};
    auto expect = [&](RAWINPUT record, bool rawOnly, DWORD sent, XY tracked) {
        HookState.RawKeyboardNoLegacy = HookState.RawMouseNoLegacy = rawOnly;
        Served = record;
        GetMsg(WM_INPUT, PM_NOREMOVE); // a peeked record counts too
        Bytes got = Next();
        if (got.size() > 11)
            got[11] &= 0xDE; // bits 24 and 29 (extended key, context code) are not pinned here
        EXPECT_EQ(got, sent == 1 ? Bytes{} : Le({4, 'D', sent}, keys)) << record.header.dwType;
        EXPECT_EQ(Tracked(), tracked);
    };
    const DWORD none = 1;
    expect(Raw(RIM_TYPEKEYBOARD, WM_KEYDOWN), false, none, XY(100, 100));
    expect(Raw(RIM_TYPEMOUSE, 0, MOUSE_MOVE_ABSOLUTE, 5, -3), false, none, XY(100, 100));
    expect(Raw(RIM_TYPEHID, 0, 0, 5, -3), true, none, XY(100, 100));
    expect(Raw(RIM_TYPEKEYBOARD, WM_KEYDOWN), true, 0x40000000, XY(100, 100));
    expect(Raw(RIM_TYPEKEYBOARD, WM_SYSKEYDOWN), true, 0x40000000, XY(100, 100));
    expect(Raw(RIM_TYPEKEYBOARD, WM_KEYUP), true, 0x80000000, XY(100, 100));
    expect(Raw(RIM_TYPEKEYBOARD, WM_SYSKEYUP), true, 0x80000000, XY(100, 100));
    expect(Raw(RIM_TYPEKEYBOARD, WM_CHAR), true, 0, XY(100, 100));
    expect(Raw(RIM_TYPEMOUSE, 0, MOUSE_MOVE_RELATIVE, 5, -3), true, none, XY(105, 97));
    expect(Raw(RIM_TYPEMOUSE, 0, MOUSE_MOVE_ABSOLUTE, 300, 200), true, none, XY(300, 200));
    expect(Raw(RIM_TYPEMOUSE, 0, MOUSE_MOVE_RELATIVE, INT32_MAX, 1), true, none,
           XY(INT32_MIN + 299, 201));
    ASSERT_TRUE(MoveCursor(300, 200));              // where the take-over puts the tracked position
    for (int failure = 0; failure < 3; ++failure) { // size query fails, record short, no memory
        AllocationWatch watch;
        Unreadable = failure + 1;
        FailAt = failure == 2 ? 1 : 0;
        HookState.TakeoverPending = true; // carried out all the same, back in absolute mode
        expect(Raw(RIM_TYPEMOUSE, 0, MOUSE_MOVE_RELATIVE, 1, 1), true, none, XY(300, 200));
        EXPECT_EQ(HookState.TrackingMode, 0);
    }
}
