// mouseHook: the swallow decision and the MouseInput record, the pinned-cursor detection and
// relative tracking per frame, the hook on a torn position history and in its steady state, and
// the focus check.
#include "support/hook_rig.h"
#include "support/launch.h"

#include <climits>
#include <cstring>

using namespace korvex;
using MouseHook = HookTest;
using FocusCheck = HookTest;

namespace {

DWORD WINAPI FixedTick() {
    return 0x12345678;
}

// Started with "--foreign-window", this program is another application whose window holds the
// foreground until the process is ended.
const bool ForeignWindow = [] {
    if (std::strstr(GetCommandLineA(), "--foreign-window")) {
        CreateTestWindow(RECT{300, 300, 400, 400});
        PumpUntil([] { return false; }, 20000);
        ExitProcess(0);
    }
    return false;
}();

} // namespace

TEST_F(MouseHook, SwallowsOnlyWhileActiveWithCodeZeroOrMoreInsideTheClientAreaAndSendsWhileActive) {
    ImportPatch tick(nullptr, "kernel32.dll", "GetTickCount", reinterpret_cast<void*>(&FixedTick));
    BYTE keys[256] = {};
    keys['A'] = 0x80;
    SetKeyboardState(keys);
    proxy.state.renderProxyActive = 0; // no renderer yet: inactive, but the position is tracked
    Answer(1);
    EXPECT_EQ(Mouse(HC_ACTION, WM_LBUTTONDOWN, {120, 70}), 0);
    EXPECT_TRUE(Next().empty() && Tracked() == XY(120, 70));
    proxy.state.renderProxyActive = 1;
    // Sent in client coordinates, with the whole wheel word for the vertical wheel only.
    auto expect = [&](int32_t answer, int code, UINT message, POINT pt, DWORD data, DWORD wheel,
                      LRESULT result) {
        Answer(answer);
        EXPECT_EQ(Mouse(code, message, pt, data), result) << pt.x << "," << pt.y;
        EXPECT_EQ(Tracked(), XY(pt.x, pt.y));
        uint32_t x = static_cast<uint32_t>(pt.x - 100), y = static_cast<uint32_t>(pt.y - 50);
        EXPECT_EQ(Next(), answer ? Le({3, message, x, y, wheel, 0x12345678}, keys) : Bytes{});
    };
    expect(0, HC_ACTION, WM_LBUTTONDOWN, {110, 60}, 1, 0, 0);
    expect(1, HC_ACTION, WM_LBUTTONDOWN, {100, 50}, 1, 0, 1); // top-left corner
    expect(2, HC_ACTION, WM_MOUSEMOVE, {739, 529}, 0, 0, 1);  // last pixel
    expect(1, HC_ACTION, WM_LBUTTONUP, {740, 60}, 2, 0, 0);   // right edge
    expect(1, HC_ACTION, WM_LBUTTONUP, {110, 530}, 2, 0, 0);  // bottom edge
    expect(1, HC_ACTION, WM_MOUSEMOVE, {99, 60}, 0, 0, 0);
    expect(1, HC_ACTION, WM_MOUSEMOVE, {110, 49}, 0, 0, 0);
    expect(1, -1, WM_MOUSEMOVE, {110, 60}, 0, 0, 0);
    expect(1, HC_ACTION, WM_MOUSEWHEEL, {200, 100}, 0xFF880005, 0xFF880005, 1);
    expect(1, HC_ACTION, WM_MOUSEHWHEEL, {200, 100}, 0x00780000, 0, 1);

    HookState.RawMouseNoLegacy = true; // neither tracked nor sent here, swallowed by the same test
    EXPECT_EQ(Mouse(HC_ACTION, WM_LBUTTONDOWN, {10, 10}), 1);
    EXPECT_TRUE(Next().empty() && Tracked() == XY(200, 100));
    HookState.RawMouseNoLegacy = false; // relative mode: the tracked position is sent, wrapping
    HookState.TrackingMode = 1;
    HookState.TrackedPos = POINT{INT32_MAX - 10, INT32_MIN + 5};
    MoveWindow(window, -100, 50, 640, 480, FALSE);
    Mouse(HC_ACTION, WM_MOUSEMOVE, {7, 7});
    EXPECT_EQ(Next(), Le({3, WM_MOUSEMOVE, 0x80000059, INT32_MAX - 44, 0, 0x12345678}, keys));
}

TEST_F(MouseHook, FiveActiveMovesOnTheAnchorSwitchToRelativeModeWhereEachFrameAddsTwiceTheOffset) {
    auto moves = [&](int n, POINT p, UINT message = WM_MOUSEMOVE) {
        for (int i = 0; i < n; ++i)
            Mouse(HC_ACTION, message, p);
    };
    Answer(1);
    moves(4, {0, 0}); // on the anchor of load time, but fewer than five since load
    EXPECT_EQ(HookState.TrackingMode, 0);
    ASSERT_TRUE(MoveCursor(300, 200));
    HookState.TakeoverPending = true; // the next hook anchors at (300, 200)
    moves(5, {300, 300});             // five alike, off the anchor in y
    moves(5, {400, 200});             // and in x
    moves(3, {300, 200});
    moves(1, {300, 200}, WM_LBUTTONDOWN); // only moves count
    Answer(0);
    moves(1, {300, 200}); // and only while the overlay is active
    EXPECT_EQ(HookState.TrackingMode, 0);
    Answer(1);
    HookState.TakeoverPending = true; // a new take-over keeps the history
    moves(1, {300, 200});
    EXPECT_EQ(HookState.TrackingMode, 0); // four of the last five on the anchor
    ASSERT_TRUE(MoveCursor(303, 199));
    EndOfFrameHook(); // absolute mode: frames move nothing
    EXPECT_EQ(Tracked(), XY(300, 200));
    moves(1, {300, 200});
    moves(1, {500, 400}); // relative mode: events no longer move the tracked position
    EXPECT_EQ(Tracked(), XY(300, 200));

    // The second pass starts after mouseHook, the wrapping frame after keyboardHook.
    XY at(300, 200);
    for (int pass = 0; pass < 2; ++pass) {
        for (UINT message : std::initializer_list<UINT>{0, WM_MOUSEMOVE, WM_INPUT}) {
            if (message) // what getmsgHook saw before the frame: raw input last, no move
                GetMsg(message);
            at = message == WM_INPUT ? at : XY(at.first + 6, at.second - 2);
            EndOfFrameHook();
            EXPECT_EQ(Tracked(), at) << pass << " " << message;
        }
        pass ? keyboardHook(HC_ACTION, 'A', 1) : Mouse(HC_ACTION, WM_MOUSEMOVE, {1, 1});
    }
    HookState.TrackedPos = POINT{INT32_MAX - 1, INT32_MIN};
    EndOfFrameHook();
    EXPECT_EQ(Tracked(), XY(INT32_MIN + 4, INT32_MAX - 1));
}

// Hooks race on game threads without a lock; whatever they leave in the history's fields.
TEST_F(MouseHook, ATornHistoryIsNeverIndexedOutsideItAndTheSteadyPathAllocatesNothing) {
    Answer(1);
    HookState.SavedRawDeviceCount = 0x5A5A; // the field before the history
    PositionQueue& history = HookState.PositionHistory;
    for (XY torn : {XY(-7, -3), XY(5, 9), XY(INT32_MIN, INT32_MAX), XY(123456, -1)}) {
        history.next = torn.first;
        history.filled = torn.second;
        HookState.AnchorPos = POINT{300, 200};
        HookState.TrackingMode = 0;
        for (int i = 0; i < 5; ++i)
            Mouse(HC_ACTION, WM_MOUSEMOVE, {300, 200});
        EXPECT_EQ(HookState.TrackingMode, 1) << torn.first << "," << torn.second;
        EXPECT_EQ(HookState.SavedRawDeviceCount, 0x5A5Au);
    }
    HookState.TrackingMode = 0;
    AllocationWatch watch;
    LRESULT swallowed = 0;
    for (LONG i = 0; i < 200; ++i)
        swallowed +=
            Mouse(HC_ACTION, WM_MOUSEMOVE, {110 + i, 60}) + keyboardHook(HC_ACTION, 'A', 1);
    EXPECT_EQ(Allocations, 0);
    EXPECT_EQ(swallowed, 400);
}

TEST_F(FocusCheck, OnlyAForegroundWindowOfThisProcessKeepsTheMouseSwallowedAndItIsSentAnyway) {
    Answer(1);
    CreateTestWindow(RECT{800, 50, 900, 150}); // another window of the game, in the foreground
    auto expectFocus = [&](bool elsewhere) {
        CheckFocus();
        EXPECT_EQ(HookState.FocusElsewhere, elsewhere);
        EXPECT_EQ(Mouse(HC_ACTION, WM_LBUTTONDOWN, {110, 60}), elsewhere ? 0 : 1);
        EXPECT_EQ(Next().size(), 280u);
    };
    expectFocus(false);
    HANDLE other = Launch(ProgramPath() + " --foreign-window");
    EXPECT_TRUE(PumpUntil([&] {
        DWORD process = 0;
        GetWindowThreadProcessId(GetForegroundWindow(), &process);
        return process == GetProcessId(other);
    }));
    expectFocus(true);
    TerminateProcess(other, 0);
    WaitForSingleObject(other, 5000);
    CloseHandle(other);
    // With no window manager, nothing takes the foreground when its owner is gone.
    EXPECT_TRUE(PumpUntil([] { return GetForegroundWindow() == nullptr; }));
    expectFocus(true);
    SetForegroundWindow(window);
    expectFocus(false);
    AllocationWatch watch;
    FailAt = 1; // no room for the window set: no window counts as the game's
    CheckFocus();
    EXPECT_TRUE(HookState.FocusElsewhere);
}
