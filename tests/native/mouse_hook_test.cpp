// mouseHook: tracking, forwarding in client coordinates, the swallow test, pinned-cursor
// detection and relative tracking per frame.
#include "hooks/exports.h"
#include "hooks/hook_state.h"
#include "support/fake_proxy.h"
#include "link/messages.h"
#include "support/hook_harness.h"

#include <sim/control.h>
#include <sim/hooks.h>
#include <sim/input.h>
#include <sim/modules.h>
#include <sim/window_tree.h>

#include <climits>
#include <thread>
#include <vector>

namespace {

class MouseHook : public HookHarness {
  protected:
    void SetUp() override {
        HookHarness::SetUp();
        sim::SetNextHookResult(42);
    }
};

} // namespace

TEST_F(MouseHook, ActiveOverlaySwallowsInsideAfterSendingClientCoordinates) {
    fake_proxy::inputActive = true;
    BYTE keys[256] = {};
    keys[0x41] = 0x80;
    sim::SetKeyboardState(keys);
    sim::SetTickCount(123456);
    EXPECT_EQ(Mouse(HC_ACTION, WM_MOUSEMOVE, 110, 60), 1);
    MouseRecord r{};
    ASSERT_TRUE(NextMouse(r));
    EXPECT_EQ(r.message, static_cast<DWORD>(WM_MOUSEMOVE));
    EXPECT_EQ(r.x, 10);
    EXPECT_EQ(r.y, 10);
    EXPECT_EQ(r.wheelDelta, 0);
    EXPECT_EQ(r.time, 123456u);
    EXPECT_EQ(r.keys[0x41], 0x80);
    EXPECT_FALSE(OverlayHasData());
    EXPECT_EQ(HookState.LastHookKind, 0);
}

TEST_F(MouseHook, LeftAndTopEdgesAreInsideRightAndBottomEdgesOutside) {
    fake_proxy::inputActive = true;
    struct Case {
        LONG x, y;
        LRESULT result;
    } cases[] = {{kLeft, kTop, 1},
                 {kLeft + kWidth - 1, kTop + kHeight - 1, 1},
                 {kLeft + kWidth, kTop + 10, 42},
                 {kLeft + 10, kTop + kHeight, 42},
                 {kLeft - 1, kTop + 10, 42},
                 {kLeft + 10, kTop - 1, 42}};
    for (const Case& c : cases) {
        EXPECT_EQ(Mouse(HC_ACTION, WM_LBUTTONDOWN, c.x, c.y), c.result) << c.x << "," << c.y;
        MouseRecord r{};
        ASSERT_TRUE(NextMouse(r)); // sent inside and outside alike
        EXPECT_EQ(r.x, c.x - kLeft);
        EXPECT_EQ(r.y, c.y - kTop);
    }
}

TEST_F(MouseHook, InactiveOverlayPassesEverythingOnSendsNothingAndStillTracks) {
    EXPECT_EQ(Mouse(HC_ACTION, WM_MOUSEMOVE, 200, 100), 42);
    EXPECT_EQ(Mouse(HC_ACTION, WM_LBUTTONDOWN, 201, 101), 42);
    EXPECT_FALSE(OverlayHasData());
    EXPECT_EQ(HookState.TrackedPos.x, 201);
    EXPECT_EQ(HookState.TrackedPos.y, 101);
}

TEST_F(MouseHook, ForegroundElsewhereOrNegativeCodeSendsButNeverSwallows) {
    fake_proxy::inputActive = true;
    EXPECT_EQ(Mouse(-1, WM_MOUSEMOVE, 200, 100), 42);
    HookState.FocusElsewhere = true;
    EXPECT_EQ(Mouse(HC_ACTION, WM_MOUSEMOVE, 201, 100), 42);
    MouseRecord r{};
    ASSERT_TRUE(NextMouse(r));
    ASSERT_TRUE(NextMouse(r));
    EXPECT_EQ(r.x, 101);
}

TEST_F(MouseHook, WheelDataTravelsOnlyWithTheVerticalWheel) {
    fake_proxy::inputActive = true;
    Mouse(HC_ACTION, WM_MOUSEWHEEL, 200, 100, 0xFF880005u); // -120 with noise below
    Mouse(HC_ACTION, WM_MOUSEHWHEEL, 200, 100, 0x00780000u);
    Mouse(HC_ACTION, WM_LBUTTONDOWN, 200, 100, 1);
    BYTE bytes[280];
    ASSERT_TRUE(ReadRaw(overlay, bytes, sizeof bytes));
    EXPECT_EQ(bytes[16] | bytes[17] << 8 | bytes[18] << 16 | bytes[19] << 24, 0xFF880005);
    MouseRecord r{};
    ASSERT_TRUE(NextMouse(r));
    EXPECT_EQ(r.wheelDelta, 0);
    ASSERT_TRUE(NextMouse(r));
    EXPECT_EQ(r.wheelDelta, 0);
}

TEST_F(MouseHook, FiveMovesOnTheAnchorSwitchToRelativeTrackingFourAndOneOffDoNot) {
    fake_proxy::inputActive = true;
    HookState.AnchorPos = POINT{300, 200};
    for (int i = 0; i < 4; ++i)
        Mouse(HC_ACTION, WM_MOUSEMOVE, 300, 200);
    Mouse(HC_ACTION, WM_MOUSEMOVE, 301, 200);
    for (int i = 0; i < 4; ++i) {
        Mouse(HC_ACTION, WM_MOUSEMOVE, 300, 200);
        EXPECT_EQ(HookState.TrackingMode, 0) << i;
    }
    Mouse(HC_ACTION, WM_LBUTTONDOWN, 300, 200); // only moves are recorded
    EXPECT_EQ(HookState.TrackingMode, 0);
    Mouse(HC_ACTION, WM_MOUSEMOVE, 300, 200);
    EXPECT_EQ(HookState.TrackingMode, 1);
    Mouse(HC_ACTION, WM_MOUSEMOVE, 500, 400); // relative mode: records no longer move it
    EXPECT_EQ(HookState.TrackedPos.x, 300);
}

TEST_F(MouseHook, HistoryFromAnEarlierActivePeriodCountsAfterATakeover) {
    fake_proxy::inputActive = true;
    SetCursorPos(300, 200);
    HookState.TakeoverPending = true;
    for (int i = 0; i < 3; ++i)
        Mouse(HC_ACTION, WM_MOUSEMOVE, 300, 200);
    fake_proxy::inputActive = false;
    Mouse(HC_ACTION, WM_MOUSEMOVE, 300, 200); // not recorded while inactive
    fake_proxy::inputActive = true;
    HookState.TakeoverPending = true; // a new take-over does not clear the history
    Mouse(HC_ACTION, WM_MOUSEMOVE, 300, 200);
    EXPECT_EQ(HookState.TrackingMode, 0);
    Mouse(HC_ACTION, WM_MOUSEMOVE, 300, 200);
    EXPECT_EQ(HookState.TrackingMode, 1);
}

TEST_F(MouseHook, EndOfFrameAddsTwiceTheOffsetFromTheAnchorOnlyAfterLegacyInput) {
    HookState.AnchorPos = POINT{300, 200};
    HookState.TrackedPos = POINT{1000, 1000};
    HookState.TrackingMode = 1;
    SetCursorPos(303, 199);
    EndOfFrameHook(); // no input hook has run yet (LastHookKind 2)
    EXPECT_EQ(HookState.TrackedPos.x, 1000);
    HookState.LastHookKind = 0;
    EndOfFrameHook();
    EXPECT_EQ(HookState.TrackedPos.x, 1006);
    EXPECT_EQ(HookState.TrackedPos.y, 998);
    EndOfFrameHook();
    EXPECT_EQ(HookState.TrackedPos.x, 1012);
    EXPECT_EQ(HookState.TrackedPos.y, 996);
    HookState.LastHookKind = 1;
    EndOfFrameHook();
    EXPECT_EQ(HookState.TrackedPos.x, 1012);
    HookState.LastHookKind = 0;
    sim::FailNext("GetCursorPos", ERROR_ACCESS_DENIED);
    EndOfFrameHook();
    EXPECT_EQ(HookState.TrackedPos.x, 1012);
    HookState.TrackingMode = 0;
    EndOfFrameHook();
    EXPECT_EQ(HookState.TrackedPos.x, 1012);
    int32_t x = 0, y = 0;
    EXPECT_TRUE(TrackedCursorPos(&x, &y));
    EXPECT_EQ(x, 1012);
    EXPECT_EQ(y, 996);
}

TEST_F(MouseHook, RawOnlyMouseNeitherTracksNorSendsButStillSwallows) {
    fake_proxy::inputActive = true;
    HookState.RawMouseNoLegacy = true;
    HookState.TrackedPos = POINT{kLeft + 5, kTop + 5};
    EXPECT_EQ(Mouse(HC_ACTION, WM_LBUTTONDOWN, 5, 5), 1);
    EXPECT_EQ(HookState.TrackedPos.x, kLeft + 5);
    EXPECT_FALSE(OverlayHasData());
}

TEST_F(MouseHook, PipeResetMakesTheNextEventBorrowThePipeAgain) {
    fake_proxy::inputActive = true;
    Mouse(HC_ACTION, WM_MOUSEMOVE, 200, 100);
    PipeResetHook();
    EXPECT_FALSE(IsPipeOpen(HookState.Pipe));
    EXPECT_TRUE(IsPipeOpen(game)); // not closed: it belongs to the proxy
    Mouse(HC_ACTION, WM_MOUSEMOVE, 201, 100);
    EXPECT_EQ(HookState.Pipe.handle, game.handle);
    MouseRecord r{};
    ASSERT_TRUE(NextMouse(r));
    ASSERT_TRUE(NextMouse(r));
    EXPECT_EQ(r.x, 101);
}

TEST_F(MouseHook, NoProxyMeansNothingSentNothingSwallowedButTrackingGoesOn) {
    fake_proxy::inputActive = true;
    sim::SetModuleLoadable("d3d11.dll", false);
    EXPECT_EQ(Mouse(HC_ACTION, WM_MOUSEMOVE, 200, 100), 42);
    EXPECT_FALSE(OverlayHasData());
    EXPECT_EQ(HookState.TrackedPos.x, 200);
}

TEST_F(MouseHook, UnreadableOutputWindowSwallowsNothingAndSendsScreenCoordinates) {
    fake_proxy::inputActive = true;
    fake_proxy::window = nullptr;
    EXPECT_EQ(Mouse(HC_ACTION, WM_MOUSEMOVE, 200, 100), 42);
    MouseRecord r{};
    ASSERT_TRUE(NextMouse(r));
    EXPECT_EQ(r.x, 200);
    EXPECT_EQ(r.y, 100);
}

TEST_F(MouseHook, RacingHooksOrATornHistoryNeverIndexOutsideItAndFiveAnchorMovesStillPin) {
    fake_proxy::inputActive = true;
    fake_proxy::pipe = INVALID_HANDLE_VALUE; // nothing to send: the threads only record moves
    HookState.SavedRawDeviceCount = 0x5A5A;  // the field beside the history
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([t] {
            MOUSEHOOKSTRUCTEX record{};
            for (int i = 0; i < 2000; ++i) {
                record.pt = POINT{kLeft + (t * 37 + i) % 600, kTop + i % 400};
                mouseHook(HC_ACTION, WM_MOUSEMOVE, reinterpret_cast<LPARAM>(&record));
            }
        });
    for (std::thread& thread : threads)
        thread.join();

    // Whatever a race leaves in the ring's fields, the next appends stay inside it.
    struct Torn {
        int32_t next, filled;
    } torn[] = {{HookState.PositionHistory.next, HookState.PositionHistory.filled},
                {-7, -3},
                {5, 9},
                {INT32_MIN, INT32_MAX},
                {123456, -1}};
    for (const Torn& t : torn) {
        HookState.PositionHistory.next = t.next;
        HookState.PositionHistory.filled = t.filled;
        HookState.TrackingMode = 0;
        HookState.AnchorPos = POINT{300, 200};
        for (int i = 0; i < 5; ++i)
            Mouse(HC_ACTION, WM_MOUSEMOVE, 300, 200);
        EXPECT_EQ(HookState.TrackingMode, 1) << t.next << "," << t.filled;
        EXPECT_EQ(HookState.SavedRawDeviceCount, 0x5A5Au);
    }
}

TEST_F(MouseHook, ClientCoordinatesComeFromTheTrackedPositionAndWrapAtThe32BitLimits) {
    fake_proxy::inputActive = true;
    HookState.TrackingMode = 1; // relative tracking: the record's point is not the position
    struct Case {
        LONG tracked, origin;
        int32_t sent;
    } cases[] = {{350, 100, 250},
                 {INT32_MAX - 10, -100, INT32_MIN + 89},
                 {INT32_MIN + 5, 50, INT32_MAX - 44}};
    for (const Case& c : cases) {
        sim::SetClientArea(window, c.origin, c.origin, kWidth, kHeight);
        HookState.TrackedPos = POINT{c.tracked, c.tracked};
        Mouse(HC_ACTION, WM_LBUTTONDOWN, 7, 7);
        MouseRecord r{};
        ASSERT_TRUE(NextMouse(r));
        EXPECT_EQ(r.x, c.sent) << c.tracked;
        EXPECT_EQ(r.y, c.sent) << c.tracked;
    }
}
