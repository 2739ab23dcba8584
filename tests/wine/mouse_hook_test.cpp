// mouseHook: the swallow decision (with the focus check) and the MouseInput record, the
// pinned-cursor detection and relative tracking per frame, and the hook on a torn position history
// and in its steady state.
#include "support/hook_rig.h"
#include "support/launch.h"

using MouseHook = HookTest;

namespace {

DWORD WINAPI FixedTick() {
    return 0x12345678;
}

// Started with "--foreign-window", this program is another application whose window holds the
// foreground until the process is ended.
const bool ForeignWindow = [] {
    if (std::string(GetCommandLineA()).find("--foreign-window") != std::string::npos) {
        CreateTestWindow(RECT{300, 300, 400, 400});
        PumpUntil([] { return false; }, 20000);
        ExitProcess(0);
    }
    return false;
}();

} // namespace

// The swallow decision and the record sent for it, also while the focus is elsewhere: with another
// window of the game in the foreground, another application's, and none.
TEST_F(MouseHook, SwallowsOnlyWhileActiveWithCodeZeroOrMoreInsideTheClientAreaAndTheGameInFront) {
    ImportPatch tick(nullptr, "kernel32.dll", "GetTickCount", reinterpret_cast<void*>(&FixedTick));
    proxy.state.renderProxyActive = 0; // no renderer yet: inactive, but the position is tracked
    Answer(1);
    EXPECT_EQ(Mouse(HC_ACTION, WM_LBUTTONDOWN, {120, 70}), 0);
    EXPECT_TRUE(Next().empty() && Tracked() == XY(120, 70));
    proxy.state.renderProxyActive = 1;
    HWND second = CreateTestWindow(RECT{800, 50, 900, 150}); // the game's too: focus is the game's
    CheckFocus();
    // Sent while active in client coordinates, with the whole wheel word for the vertical wheel.
    auto expect = [&](int32_t answer, int code, UINT message, POINT pt, DWORD data, DWORD wheel,
                      LRESULT result) {
        Answer(answer);
        EXPECT_EQ(Mouse(code, message, pt, data), result) << pt.x << "," << pt.y;
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

    HANDLE other = Launch(ProgramPath() + " --foreign-window");
    EXPECT_TRUE(
        PumpUntil([&] { return GetForegroundWindow() != second && GetForegroundWindow(); }));
    CheckFocus();
    expect(1, HC_ACTION, WM_LBUTTONDOWN, {110, 60}, 1, 0, 0);
    TerminateProcess(other, 0);
    CloseHandle(other);
    // With no window manager, nothing takes the foreground when its owner is gone.
    EXPECT_TRUE(PumpUntil([] { return GetForegroundWindow() == nullptr; }));
    CheckFocus();
    expect(1, HC_ACTION, WM_LBUTTONDOWN, {110, 60}, 1, 0, 0);
    SetForegroundWindow(window);
    CheckFocus();

    HookState.RawMouseNoLegacy = true; // neither tracked nor sent here, swallowed by the same test
    EXPECT_EQ(Mouse(HC_ACTION, WM_LBUTTONDOWN, {10, 10}), 1);
    EXPECT_TRUE(Next().empty() && Tracked() == XY(110, 60));
    HookState.RawMouseNoLegacy = false; // relative mode: the tracked position is sent, wrapping
    HookState.TrackingMode = 1;
    HookState.TrackedPos = POINT{INT32_MAX - 10, INT32_MIN + 5};
    MoveWindow(window, -100, 50, 640, 480, FALSE);
    Mouse(HC_ACTION, WM_MOUSEMOVE, {7, 7});
    EXPECT_EQ(Next(), Le({3, WM_MOUSEMOVE, 0x80000059, INT32_MAX - 44, 0, 0x12345678}, keys));
    AllocationWatch watch;
    FailAt = 1; // no room for the window set: no window counts as the game's
    CheckFocus();
    EXPECT_TRUE(HookState.FocusElsewhere);
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
    moves(1, {300, 200});             // four of the last five on the anchor
    ASSERT_TRUE(MoveCursor(303, 199));
    EndOfFrameHook(); // absolute mode: frames move nothing
    EXPECT_EQ(Tracked(), XY(300, 200));
    moves(1, {300, 200}); // relative mode from here

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

// Hooks race on game threads without a lock; whatever they leave in the history's fields, it is
// never indexed outside, and five moves on the anchor still pin the cursor. (Its own program: a
// trap here must not hide the failures above.)
TEST_F(MouseHook, ATornHistoryIsNeverIndexedOutsideItAndTheSteadyPathAllocatesNothing) {
    Answer(1);
    HookState.AnchorPos = POINT{300, 200};
    for (XY torn : {XY(-7, -3), XY(5, 9), XY(INT32_MIN, INT32_MAX), XY(123456, -1)}) {
        HookState.PositionHistory.next = torn.first;
        HookState.PositionHistory.filled = torn.second;
        HookState.TrackingMode = 0;
        for (int i = 0; i < 5; ++i)
            Mouse(HC_ACTION, WM_MOUSEMOVE, {300, 200});
        EXPECT_EQ(HookState.TrackingMode, 1) << torn.first << "," << torn.second;
    }
    AllocationWatch watch; // nor does the steady path allocate
    EXPECT_EQ(Mouse(HC_ACTION, WM_MOUSEMOVE, {110, 60}) + keyboardHook(HC_ACTION, 'A', 1), 2);
    EXPECT_EQ(Allocations, 0);
}
