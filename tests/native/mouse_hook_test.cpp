// mouseHook: the swallow decision, the MouseInput record, pinned-cursor detection, relative
// tracking per frame, and the hook state under racing game threads.
#include "hooks/exports.h"
#include "hooks/hook_state.h"
#include "link/messages.h"
#include "support/fake_proxy.h"
#include "support/hook_harness.h"

#include <sim/control.h>
#include <sim/input.h>
#include <sim/window_tree.h>

#include <climits>
#include <thread>
#include <vector>

using MouseHook = HookHarness; // the next hook in the chain answers 42

TEST_F(MouseHook, SwallowsOnlyWhileActiveFocusedWithACodeOfZeroOrMoreAndInsideTheClientArea) {
    struct Case {
        const char* what;
        uint32_t active;
        bool elsewhere;
        int code;
        LONG x, y;
        LRESULT result;
    } cases[] = {{"top-left corner", 1, false, HC_ACTION, kLeft, kTop, 1},
                 {"last pixel", 1, false, HC_ACTION, kLeft + kWidth - 1, kTop + kHeight - 1, 1},
                 {"right edge", 1, false, HC_ACTION, kLeft + kWidth, kTop + 10, 42},
                 {"bottom edge", 1, false, HC_ACTION, kLeft + 10, kTop + kHeight, 42},
                 {"left of it", 1, false, HC_ACTION, kLeft - 1, kTop + 10, 42},
                 {"above it", 1, false, HC_ACTION, kLeft + 10, kTop - 1, 42},
                 {"focus elsewhere", 1, true, HC_ACTION, kLeft + 10, kTop + 10, 42},
                 {"negative code", 1, false, -1, kLeft + 10, kTop + 10, 42},
                 {"overlay inactive", 0, false, HC_ACTION, kLeft + 10, kTop + 10, 42}};
    for (const Case& c : cases) {
        fake_proxy::inputActive = c.active;
        HookState.FocusElsewhere = c.elsewhere;
        EXPECT_EQ(Mouse(c.code, WM_LBUTTONDOWN, c.x, c.y), c.result) << c.what;
        EXPECT_EQ(HookState.TrackedPos.x, c.x) << c.what; // tracked in every case
        MouseRecord r{};
        EXPECT_EQ(NextMouse(r), c.active != 0) << c.what; // sent whenever the overlay has input
        EXPECT_EQ(r.x, c.active ? c.x - kLeft : 0) << c.what;
    }

    // A raw-only mouse is neither tracked nor sent here, but swallowed by the same test.
    fake_proxy::inputActive = 1;
    HookState.FocusElsewhere = false;
    HookState.RawMouseNoLegacy = true;
    HookState.TrackedPos = POINT{kLeft + 5, kTop + 5};
    EXPECT_EQ(Mouse(HC_ACTION, WM_LBUTTONDOWN, 5, 5), 1);
    EXPECT_EQ(HookState.TrackedPos.x, kLeft + 5);
    EXPECT_FALSE(OverlayHasData());
}

TEST_F(MouseHook, RecordCarriesTheMessageTimeKeysAndTheWholeWheelWordOnlyForTheVerticalWheel) {
    fake_proxy::inputActive = 1;
    PipeResetHook(); // forgets the handle without closing it: the next event borrows it again
    BYTE keys[256] = {};
    keys['A'] = 0x80;
    sim::SetKeyboardState(keys);
    sim::SetTickCount(123456);
    Mouse(HC_ACTION, WM_MOUSEWHEEL, kLeft + 10, kTop + 20, 0xFF880005u); // -120, noise below
    Mouse(HC_ACTION, WM_MOUSEHWHEEL, kLeft, kTop, 0x00780000u);
    Mouse(HC_ACTION, WM_LBUTTONDOWN, kLeft, kTop, 1);
    BYTE bytes[kMouseInputSize];
    ASSERT_TRUE(ReadRaw(overlay, bytes, sizeof bytes));
    EXPECT_EQ(bytes[16] | bytes[17] << 8 | bytes[18] << 16 | bytes[19] << 24, 0xFF880005);
    for (DWORD message : {WM_MOUSEHWHEEL, WM_LBUTTONDOWN}) {
        MouseRecord r{};
        ASSERT_TRUE(NextMouse(r));
        EXPECT_EQ(r.message, message);
        EXPECT_EQ(r.wheelDelta, 0);
        EXPECT_EQ(r.time, 123456u);
        EXPECT_EQ(r.keys['A'], 0x80);
    }
    EXPECT_EQ(HookState.LastHookKind, 0);
    EXPECT_EQ(HookState.Pipe.handle, game.handle);
}

TEST_F(MouseHook, ClientCoordinatesComeFromTheTrackedPositionAndWrapAtThe32BitLimits) {
    fake_proxy::inputActive = 1;
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

TEST_F(MouseHook, FiveActiveMovesOnTheAnchorPinTheCursorAndTheHistorySpansTakeovers) {
    fake_proxy::inputActive = 1;
    auto move = [&](LONG x, LONG y, UINT message = WM_MOUSEMOVE) {
        Mouse(HC_ACTION, message, x, y);
    };
    for (int i = 0; i < 4; ++i)
        move(0, 0); // on the anchor of load time, but fewer than five since load
    EXPECT_EQ(HookState.TrackingMode, 0);
    SetCursorPos(300, 200);
    HookState.TakeoverPending = true; // anchors at (300, 200)
    for (int i = 0; i < 5; ++i)
        move(400, 300); // five equal positions, but not on the anchor
    for (int i = 0; i < 3; ++i)
        move(300, 200);
    move(300, 200, WM_LBUTTONDOWN); // only moves are recorded
    fake_proxy::inputActive = 0;
    move(300, 200); // nor while the overlay is inactive
    EXPECT_EQ(HookState.TrackingMode, 0);

    fake_proxy::inputActive = 1;
    HookState.TakeoverPending = true; // a new take-over does not clear the history
    move(300, 200);
    EXPECT_EQ(HookState.TrackingMode, 0); // four of the last five on the anchor
    move(300, 200);
    EXPECT_EQ(HookState.TrackingMode, 1);
    move(500, 400); // relative mode: records no longer move the tracked position
    EXPECT_EQ(HookState.TrackedPos.x, 300);
}

TEST_F(MouseHook, EndOfFrameAddsTwiceTheOffsetFromTheAnchorOnlyInRelativeModeAfterLegacyInput) {
    HookState.AnchorPos = POINT{300, 200};
    HookState.TrackedPos = POINT{1000, 1000};
    SetCursorPos(303, 199);
    struct Case {
        int lastHook, mode;
        LONG x, y;
    } cases[] = {{2, 1, 1000, 1000}, // no input hook has run yet
                 {0, 1, 1006, 998},
                 {0, 1, 1012, 996},
                 {1, 1, 1012, 996},
                 {0, 0, 1012, 996}};
    for (const Case& c : cases) {
        HookState.LastHookKind = c.lastHook;
        HookState.TrackingMode = c.mode;
        EndOfFrameHook();
        int32_t x = 0, y = 0;
        EXPECT_TRUE(TrackedCursorPos(&x, &y));
        EXPECT_EQ(x, c.x) << c.lastHook << c.mode;
        EXPECT_EQ(y, c.y) << c.lastHook << c.mode;
    }
}

TEST_F(MouseHook, RacingHooksOrATornHistoryNeverIndexOutsideItAndFiveAnchorMovesStillPin) {
    fake_proxy::inputActive = 1;
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
