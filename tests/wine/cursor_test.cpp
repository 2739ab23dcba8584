// Cursor takeover: the arrow imposed by the first hooked thread that runs and given back only by
// that thread, with the game's latest cursor, its display counter and its position; both requests
// carried out in one call; a failed position read at take-over; and a second hooked thread, whose
// input queue has a cursor of its own.
#include "support/hook_rig.h"

#include <thread>

using CursorTakeover = HookTest;

namespace {

// A hook run on a new thread, which has an input queue of its own; that thread's cursor afterwards.
HCURSOR HookOnAnotherThread() {
    HCURSOR cursor = nullptr;
    std::thread([&] {
        keyboardHook(HC_ACTION, 'A', 1);
        cursor = GetCursor();
    }).join();
    return cursor;
}

int DisplayCount() { // of this thread
    ShowCursor(FALSE);
    return ShowCursor(TRUE);
}

BOOL WINAPI FailedGetCursorPos(LPPOINT) {
    return FALSE;
}

const HCURSOR kArrow = LoadCursorA(nullptr, IDC_ARROW), kCross = LoadCursorA(nullptr, IDC_CROSS);

} // namespace

// The cursor is per thread (per input queue). A second hooked thread that runs while the cursor
// is taken finds its own cursor, null, sets the arrow on its queue and keeps the null as the game's
// latest cursor; while a release waits it gives nothing back. The owner's release sets that null.
TEST_F(CursorTakeover, OnlyTheThreadThatTookItGivesBackTheLatestCursorCountAndPosition) {
    ASSERT_TRUE(MoveCursor(300, 200));
    SetCursor(kCross);
    const int count = DisplayCount();
    Turn(1);
    Turn(0);            // on and off before any hook ran
    GetMsg(WM_KEYDOWN); // not WM_INPUT: nothing carried out
    EXPECT_TRUE(HookState.TakeoverPending);
    GetMsg(WM_INPUT); // a WM_INPUT, even one whose record cannot be read: taken and given back
    EXPECT_TRUE(GetCursor() == kCross && DisplayCount() == count);

    Turn(2);
    keyboardHook(HC_ACTION, 'A', 1);
    EXPECT_TRUE(GetCursor() == kArrow && DisplayCount() == count + 1);
    EXPECT_EQ(HookOnAnotherThread(), kArrow);
    ASSERT_TRUE(MoveCursor(10, 10)); // the overlay's user moves the cursor
    Turn(1);                         // no change: no second take-over
    Turn(0x100);
    EXPECT_EQ(HookOnAnotherThread(), kArrow);
    keyboardHook(HC_ACTION, 'A', 1);
    EXPECT_TRUE(GetCursor() == nullptr && DisplayCount() == count);
    EXPECT_TRUE(CursorAt(300, 200)); // back where the take-over found it
    SetCursor(kCross);
    keyboardHook(HC_ACTION, 'A', 1); // given back: nothing is imposed any more
    EXPECT_EQ(GetCursor(), kCross);

    ImportPatch failing(nullptr, "user32.dll", "GetCursorPos",
                        reinterpret_cast<void*>(&FailedGetCursorPos));
    Turn(1);
    keyboardHook(HC_ACTION, 'A', 1);
    EXPECT_FALSE(HookState.SavedCursorPosValid); // no position at take-over: none to go back to
}
