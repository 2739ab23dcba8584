// keyboardHook and getmsgHook: which path forwards which key, when keys are swallowed, raw
// mouse movement, and the raw key flags.
#include "hooks/exports.h"
#include "hooks/hook_state.h"
#include "link/messages.h"
#include "support/fake_proxy.h"
#include "support/hook_harness.h"

#include <sim/control.h>
#include <sim/hooks.h>
#include <sim/input.h>

namespace {

class KeyboardHook : public HookHarness {
  protected:
    void SetUp() override {
        HookHarness::SetUp();
        sim::SetNextHookResult(42);
    }
};

constexpr LPARAM kKeyDownFlags = 0x001E0001; // repeat 1, scan code 0x1E

} // namespace

TEST_F(KeyboardHook, RoadOfOneKeyPressReachesTheOverlayAsOneRecordAndIsSwallowed) {
    fake_proxy::inputActive = true;
    BYTE keys[256] = {};
    keys['A'] = 0x81;
    sim::SetKeyboardState(keys);
    EXPECT_EQ(keyboardHook(HC_ACTION, 'A', kKeyDownFlags), 1);

    DWORD available = 0;
    ASSERT_TRUE(GetPipeBytesAvailable(overlay, available));
    EXPECT_EQ(available, kKeyboardInputSize);
    DWORD type = 0;
    ASSERT_TRUE(PeekMessageType(overlay, type));
    EXPECT_EQ(type, 4u);
    DWORD virtualKey = 0, flags = 0;
    BYTE received[256] = {};
    ASSERT_TRUE(ReadKeyboardInput(overlay, virtualKey, flags, received));
    EXPECT_EQ(virtualKey, static_cast<DWORD>('A'));
    EXPECT_EQ(flags, static_cast<DWORD>(kKeyDownFlags));
    EXPECT_EQ(received['A'], 0x81);
    EXPECT_FALSE(OverlayHasData());
    EXPECT_EQ(HookState.LastHookKind, 0);
}

TEST_F(KeyboardHook, InactiveOverlayForwardsEveryCallAndPassesItOn) {
    EXPECT_EQ(keyboardHook(HC_ACTION, 'B', kKeyDownFlags), 42);
    EXPECT_EQ(keyboardHook(3 /* HC_NOREMOVE */, 'B', kKeyDownFlags), 42);
    KeyRecord r{};
    EXPECT_TRUE(NextKey(r));
    EXPECT_TRUE(NextKey(r));
    EXPECT_FALSE(NextKey(r));
}

TEST_F(KeyboardHook, ActiveOverlaySwallowsRegardlessOfFocusButNotNegativeCodes) {
    fake_proxy::inputActive = true;
    HookState.FocusElsewhere = true;
    EXPECT_EQ(keyboardHook(HC_ACTION, 'C', kKeyDownFlags), 1);
    EXPECT_EQ(keyboardHook(-1, 'C', kKeyDownFlags), 42);
    KeyRecord r{};
    EXPECT_TRUE(NextKey(r));
    EXPECT_TRUE(NextKey(r)); // forwarded although passed on
}

TEST_F(KeyboardHook, RawOnlyKeyboardGoesThroughGetmsgHookInstead) {
    fake_proxy::inputActive = true;
    HookState.RawKeyboardNoLegacy = true;
    EXPECT_EQ(keyboardHook(HC_ACTION, 'D', kKeyDownFlags), 1); // swallowed, not sent
    EXPECT_FALSE(OverlayHasData());

    EXPECT_EQ(RawInput(RawKey('D', WM_SYSKEYDOWN)), 42);
    EXPECT_EQ(HookState.LastHookKind, 1);
    KeyRecord r{};
    ASSERT_TRUE(NextKey(r));
    EXPECT_EQ(r.virtualKey, static_cast<DWORD>('D'));
    EXPECT_EQ(r.keyFlags & 0xC0000000u, 0x40000000u);
    RawInput(RawKey('D', WM_KEYUP));
    ASSERT_TRUE(NextKey(r));
    EXPECT_EQ(r.keyFlags & 0xC0000000u, 0x80000000u);
}

TEST_F(KeyboardHook, RawRecordsAreIgnoredWhileTheirClassFlagIsFalse) {
    RawInput(RawKey('E', WM_KEYDOWN));
    HookState.TrackingMode = 0;
    HookState.TrackedPos = POINT{7, 7};
    RawInput(RawMouse(MOUSE_MOVE_RELATIVE, 5, -3));
    RAWINPUT hid{};
    hid.header.dwType = RIM_TYPEHID;
    HookState.RawKeyboardNoLegacy = HookState.RawMouseNoLegacy = true;
    RawInput(hid);
    EXPECT_FALSE(OverlayHasData());
    EXPECT_EQ(HookState.TrackingMode, 0);
    EXPECT_EQ(HookState.TrackedPos.x, 7);
}

TEST_F(KeyboardHook, RawMouseMovesTrackedPositionRelativelyOrAbsolutely) {
    HookState.RawMouseNoLegacy = true;
    HookState.TrackedPos = POINT{100, 100};
    RawInput(RawMouse(MOUSE_MOVE_RELATIVE, 5, -3));
    EXPECT_EQ(HookState.TrackingMode, 1);
    EXPECT_EQ(HookState.TrackedPos.x, 105);
    EXPECT_EQ(HookState.TrackedPos.y, 97);
    RawInput(RawMouse(MOUSE_MOVE_ABSOLUTE, 300, 200));
    EXPECT_EQ(HookState.TrackingMode, 0);
    EXPECT_EQ(HookState.TrackedPos.x, 300);
    EXPECT_EQ(HookState.TrackedPos.y, 200);
    EXPECT_FALSE(OverlayHasData()); // raw mouse records send nothing
}

TEST_F(KeyboardHook, FailingRawInputReadPassesTheMessageOnAndChangesNothing) {
    HookState.RawMouseNoLegacy = true;
    sim::FailNext("GetRawInputData", ERROR_INVALID_HANDLE);
    EXPECT_EQ(RawInput(RawMouse(MOUSE_MOVE_ABSOLUTE, 300, 200)), 42);
    sim::ShortenNextRawInputFill();
    EXPECT_EQ(RawInput(RawMouse(MOUSE_MOVE_ABSOLUTE, 300, 200)), 42);
    EXPECT_EQ(HookState.TrackedPos.x, 0);
    EXPECT_EQ(HookState.LastHookKind, 1); // already updated before the read
}

TEST_F(KeyboardHook, OtherMessagesLeaveGetmsgStateAlone) {
    MSG msg{};
    msg.message = WM_KEYDOWN;
    HookState.TakeoverPending = true;
    EXPECT_EQ(getmsgHook(HC_ACTION, 1, reinterpret_cast<LPARAM>(&msg)), 42);
    EXPECT_EQ(HookState.LastHookKind, 2);
    EXPECT_TRUE(HookState.TakeoverPending);
    EXPECT_EQ(sim::CallCount("GetRawInputData"), 0u);
}

TEST(MakeRawKeyFlags, DownUpExtendedAndSystemKeysSetTheirBits) {
    RAWKEYBOARD k{};
    k.Message = WM_KEYDOWN;
    EXPECT_EQ(MakeRawKeyFlags(k), 0x40000000u);
    k.Message = WM_SYSKEYUP;
    EXPECT_EQ(MakeRawKeyFlags(k), 0x80000000u | 0x20000000u);
    k.Message = WM_KEYUP;
    k.Flags = RI_KEY_BREAK | RI_KEY_E0;
    EXPECT_EQ(MakeRawKeyFlags(k), 0x80000000u | 0x01000000u);
    k.Message = WM_CHAR;
    k.Flags = 0;
    k.MakeCode = 0xFF;
    EXPECT_EQ(MakeRawKeyFlags(k), 0u);
}
