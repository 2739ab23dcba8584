// Cursor takeover: the arrow imposed by the first hooked thread that runs and given back only by
// that thread, with the game's latest cursor, its display counter and its position; both requests
// carried out in one call; a failed position read at take-over; and a second hooked thread, whose
// input queue has a cursor of its own.
#include "support/hook_rig.h"

#include <thread>

using namespace korvex;
using CursorTakeover = HookTest;

namespace {

// A hook run on a new thread, which has an input queue of its own; that thread's cursor afterwards.
HCURSOR HookOnAnotherThread() {
    HCURSOR cursor = nullptr;
    std::thread([&] {
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
        keyboardHook(HC_ACTION, 'A', 1);
        cursor = GetCursor();
    }).join();
    return cursor;
}

int DisplayCount() { // of this thread
    int count = ShowCursor(TRUE) - 1;
    ShowCursor(FALSE);
    return count;
}

BOOL WINAPI FailedGetCursorPos(LPPOINT) {
    return FALSE;
}

const HCURSOR kArrow = LoadCursorA(nullptr, IDC_ARROW), kCross = LoadCursorA(nullptr, IDC_CROSS);

} // namespace

TEST_F(CursorTakeover, TheFirstHookedThreadTakesItAndGivesBackTheLatestCursorCountAndPosition) {
    ASSERT_TRUE(MoveCursor(300, 200));
    SetCursor(kCross);
    const int count = DisplayCount();
    Turn(0); // the first call finding the input off does nothing
    keyboardHook(HC_ACTION, 'A', 1);
    EXPECT_EQ(GetCursor(), kCross);
    Turn(1);
    Turn(0);            // on and off before any hook ran
    GetMsg(WM_KEYDOWN); // not WM_INPUT: nothing carried out
    EXPECT_TRUE(HookState.TakeoverPending);
    GetMsg(WM_INPUT); // a WM_INPUT, even one whose record cannot be read: taken and given back
    EXPECT_TRUE(GetCursor() == kCross && DisplayCount() == count);
    EXPECT_FALSE(HookState.CursorTaken || HookState.TakeoverPending || HookState.ReleasePending);

    HookState.TrackingMode = 1;
    Turn(2);
    keyboardHook(HC_ACTION, 'A', 1);
    EXPECT_EQ(GetCursor(), kArrow);
    EXPECT_EQ(DisplayCount(), count + 1);
    EXPECT_EQ(Tracked(), XY(300, 200));
    EXPECT_TRUE(HookState.AnchorPos.x == 300 && HookState.AnchorPos.y == 200);
    EXPECT_EQ(HookState.TrackingMode, 0);
    HCURSOR beam = LoadCursorA(nullptr, IDC_IBEAM);
    SetCursor(beam); // the game sets its own: the next hook puts the arrow back
    Mouse(HC_ACTION, WM_MOUSEMOVE, {10, 10});
    EXPECT_EQ(GetCursor(), kArrow);
    ASSERT_TRUE(MoveCursor(10, 10)); // the overlay's user moves the cursor
    Turn(1);                         // no change: no second take-over
    Turn(0x100);
    keyboardHook(HC_ACTION, 'A', 1);
    EXPECT_EQ(GetCursor(), beam);
    EXPECT_EQ(DisplayCount(), count);
    EXPECT_TRUE(PumpUntil([] { // back where the take-over found it
        POINT p = {};
        return GetCursorPos(&p) && p.x == 300 && p.y == 200;
    }));
    SetCursor(kCross);
    keyboardHook(HC_ACTION, 'A', 1); // given back: nothing is imposed any more
    EXPECT_EQ(GetCursor(), kCross);

    {
        ImportPatch failing(nullptr, "user32.dll", "GetCursorPos",
                            reinterpret_cast<void*>(&FailedGetCursorPos));
        Turn(1);
        keyboardHook(HC_ACTION, 'A', 1);
    }
    EXPECT_FALSE(HookState.SavedCursorPosValid); // no position at take-over: none to go back to
}

// The cursor is per thread (per input queue). A second hooked thread that runs while the cursor
// is taken finds its own cursor, null, sets the arrow on its queue and keeps the null as the
// cursor to give back; while a release waits it gives nothing back and keeps the arrow. The
// owner's release then sets that null cursor on the owner's thread.
TEST_F(CursorTakeover, ASecondHookedThreadKeepsTheArrowAndItsNullCursorIsTheOneGivenBack) {
    SetCursor(kCross);
    const int count = DisplayCount();
    Turn(1);
    keyboardHook(HC_ACTION, 'A', 1);
    EXPECT_EQ(HookOnAnotherThread(), kArrow);
    Turn(0);
    EXPECT_EQ(HookOnAnotherThread(), kArrow);
    EXPECT_TRUE(GetCursor() == kArrow && DisplayCount() == count + 1);
    keyboardHook(HC_ACTION, 'A', 1);
    EXPECT_EQ(GetCursor(), nullptr);
    EXPECT_EQ(DisplayCount(), count);
}
