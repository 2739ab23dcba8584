// keyboardHook and getmsgHook: which path forwards which key, when keys are swallowed, raw
// mouse movement, the raw key flags, and the cursor requests carried out on WM_INPUT.
#include "hooks/exports.h"
#include "hooks/hook_state.h"
#include "link/messages.h"
#include "support/fake_proxy.h"
#include "support/hook_harness.h"

#include <sim/control.h>
#include <sim/input.h>

#include <climits>

using KeyboardHook = HookHarness; // the next hook in the chain answers 42

TEST_F(KeyboardHook, EveryKeyCallIsForwardedAsOneRecordAndSwallowedOnlyWhileActiveWithCodeZeroUp) {
    BYTE keys[256] = {};
    keys['A'] = 0x81;
    sim::SetKeyboardState(keys);
    struct Case {
        uint32_t active;
        bool elsewhere;
        int code;
        LRESULT result;
    } cases[] = {{1, false, HC_ACTION, 1},
                 {1, true, HC_ACTION, 1}, // the focus does not matter for keys
                 {1, false, -1, 42},
                 {0, false, HC_ACTION, 42},
                 {0, false, HC_NOREMOVE, 42}};
    for (const Case& c : cases) {
        fake_proxy::inputActive = c.active;
        HookState.FocusElsewhere = c.elsewhere;
        EXPECT_EQ(keyboardHook(c.code, 'A', 0x001E0001), c.result) << c.active << c.code;
        DWORD available = 0;
        ASSERT_TRUE(GetPipeBytesAvailable(overlay, available));
        EXPECT_EQ(available, kKeyboardInputSize); // exactly one record
        KeyRecord r{};
        ASSERT_TRUE(NextKey(r));
        EXPECT_EQ(r.virtualKey, static_cast<DWORD>('A'));
        EXPECT_EQ(r.keyFlags, 0x001E0001u);
        EXPECT_EQ(r.keys['A'], 0x81);
    }
    EXPECT_EQ(HookState.LastHookKind, 0);
}

TEST_F(KeyboardHook, RawOnlyKeyboardIsForwardedByGetmsgHookInsteadWithDownAndUpFlags) {
    fake_proxy::inputActive = 1;
    HookState.RawKeyboardNoLegacy = true;
    EXPECT_EQ(keyboardHook(HC_ACTION, 'D', 0x001E0001), 1); // swallowed, not sent
    EXPECT_FALSE(OverlayHasData());

    // Bits 30 and 31 say down or up; bits 24 and 29 (extended, context) are not pinned here.
    struct Case {
        UINT message;
        DWORD flags;
    } cases[] = {{WM_KEYDOWN, 0x40000000u},
                 {WM_SYSKEYDOWN, 0x40000000u},
                 {WM_KEYUP, 0x80000000u},
                 {WM_SYSKEYUP, 0x80000000u},
                 {WM_CHAR, 0u}};
    for (const Case& c : cases) {
        EXPECT_EQ(RawInput(RawKey('D', c.message, 0xFFFF, RI_KEY_E0)), 42); // never swallowed
        KeyRecord r{};
        ASSERT_TRUE(NextKey(r));
        EXPECT_EQ(r.virtualKey, static_cast<DWORD>('D'));
        EXPECT_EQ(r.keyFlags & ~0x21000000u, c.flags) << c.message;
    }
    EXPECT_EQ(HookState.LastHookKind, 1);
}

TEST_F(KeyboardHook, RawMouseMovesTheTrackedPositionOnlyWhileRawOnlyAndSendsNothing) {
    HookState.TrackedPos = POINT{100, 100};
    RawInput(RawKey('E', WM_KEYDOWN)); // both class flags false: raw records are ignored
    RawInput(RawMouse(MOUSE_MOVE_ABSOLUTE, 5, -3));
    EXPECT_EQ(HookState.TrackedPos.x, 100);
    RAWINPUT hid{};
    hid.header.dwType = RIM_TYPEHID;
    HookState.RawKeyboardNoLegacy = HookState.RawMouseNoLegacy = true;
    RawInput(hid);
    struct Case {
        USHORT flags;
        LONG x, y;
        int mode;
        LONG trackedX, trackedY;
    } cases[] = {{MOUSE_MOVE_RELATIVE, 5, -3, 1, 105, 97},
                 {MOUSE_MOVE_ABSOLUTE, 300, 200, 0, 300, 200},
                 {MOUSE_MOVE_RELATIVE, INT32_MAX, 1, 1, INT32_MIN + 299, 201}}; // wraps
    for (const Case& c : cases) {
        RawInput(RawMouse(c.flags, c.x, c.y));
        EXPECT_EQ(HookState.TrackingMode, c.mode);
        EXPECT_EQ(HookState.TrackedPos.x, c.trackedX);
        EXPECT_EQ(HookState.TrackedPos.y, c.trackedY);
    }
    EXPECT_FALSE(OverlayHasData());
}

TEST_F(KeyboardHook, WmInputCarriesOutPendingCursorRequestsEvenWhenItsRecordCannotBeRead) {
    HookState.RawMouseNoLegacy = true;
    sim::FailNext("GetRawInputData", ERROR_INVALID_HANDLE);
    HookState.TakeoverPending = true;
    EXPECT_EQ(RawInput(RawMouse(MOUSE_MOVE_ABSOLUTE, 300, 200)), 42);
    EXPECT_TRUE(HookState.CursorTaken);
    sim::ShortenNextRawInputFill(); // the second read delivers less than announced
    HookState.ReleasePending = true;
    EXPECT_EQ(RawInput(RawMouse(MOUSE_MOVE_ABSOLUTE, 300, 200)), 42);
    EXPECT_FALSE(HookState.CursorTaken);
    EXPECT_EQ(HookState.TrackedPos.x, 0); // neither record was used

    MSG other{}; // any other message is passed on untouched
    other.message = WM_KEYDOWN;
    HookState.TakeoverPending = true;
    EXPECT_EQ(getmsgHook(HC_ACTION, 1, reinterpret_cast<LPARAM>(&other)), 42);
    EXPECT_TRUE(HookState.TakeoverPending);
}
