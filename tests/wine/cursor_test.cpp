// Cursor takeover: the arrow imposed by the first hooked thread that runs and given back only by
// that thread, with the game's latest cursor, its display counter and its position; both requests
// carried out in one call; a failed position read at take-over; and a second hooked thread, whose
// input queue has a cursor of its own.
#include "support/hook_rig.h"

using namespace korvex;
using CursorTakeover = HookTest;

namespace {

// A hook run on a new thread, which has an input queue of its own; that thread's cursor afterwards.
DWORD WINAPI HookOnOwnQueue(LPVOID cursor) {
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    keyboardHook(HC_ACTION, 'A', 1);
    *static_cast<HCURSOR*>(cursor) = GetCursor();
    return 0;
}
HCURSOR HookOnAnotherThread() {
    HCURSOR cursor = nullptr;
    HANDLE thread = CreateThread(nullptr, 0, HookOnOwnQueue, &cursor, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return cursor;
}

int DisplayCount() { // of this thread
    int count = ShowCursor(TRUE) - 1;
    ShowCursor(FALSE);
    return count;
}

int Moves = 0; // SetCursorPos calls while counted
ImportPatch* SetCursorPosPatch = nullptr;
BOOL WINAPI CountedSetCursorPos(int x, int y) {
    ++Moves;
    return SetCursorPosPatch->Original<BOOL(WINAPI*)(int, int)>()(x, y);
}
BOOL WINAPI FailedGetCursorPos(LPPOINT) {
    return FALSE;
}

const HCURSOR kArrow = LoadCursorA(nullptr, IDC_ARROW), kCross = LoadCursorA(nullptr, IDC_CROSS);

} // namespace

TEST_F(CursorTakeover,
       TheFirstHookedThreadTakesItAndOnlyThatThreadGivesBackTheLatestCursorCountAndPosition) {
    ASSERT_TRUE(MoveCursor(300, 200));
    SetCursor(kCross);
    const int count = DisplayCount();
    HookState.TrackingMode = 1;
    Turn(0); // the first call finding the input off does nothing
    keyboardHook(HC_ACTION, 'A', 1);
    EXPECT_EQ(GetCursor(), kCross);
    Turn(2);
    keyboardHook(HC_ACTION, 'A', 1);
    EXPECT_EQ(GetCursor(), kArrow);
    EXPECT_EQ(DisplayCount(), count + 1);
    EXPECT_TRUE(Tracked() == (POINT{300, 200}) && HookState.AnchorPos == (POINT{300, 200}));
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

    // A second hooked thread while taken: its own cursor was null, so it gets the arrow and null
    // becomes the cursor to give back; while a release waits there, it keeps the arrow.
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

TEST_F(CursorTakeover, BothRequestsAreCarriedOutInOneCallAndAFailedPositionReadMovesNothingBack) {
    ASSERT_TRUE(MoveCursor(300, 200));
    SetCursor(kCross);
    const int count = DisplayCount();
    Turn(1);
    Turn(0);            // on and off before any hook ran
    GetMsg(WM_KEYDOWN); // not WM_INPUT: nothing carried out
    EXPECT_TRUE(HookState.TakeoverPending);
    GetMsg(WM_INPUT); // a WM_INPUT, even one whose record cannot be read
    EXPECT_TRUE(GetCursor() == kCross && DisplayCount() == count);
    EXPECT_FALSE(HookState.CursorTaken || HookState.TakeoverPending || HookState.ReleasePending);

    ImportPatch moves(nullptr, "user32.dll", "SetCursorPos",
                      reinterpret_cast<void*>(&CountedSetCursorPos));
    SetCursorPosPatch = &moves;
    {
        ImportPatch failing(nullptr, "user32.dll", "GetCursorPos",
                            reinterpret_cast<void*>(&FailedGetCursorPos));
        ASSERT_TRUE(moves.Applied() && failing.Applied());
        Turn(1);
        keyboardHook(HC_ACTION, 'A', 1);
    }
    EXPECT_EQ(GetCursor(), kArrow);
    Turn(0);
    keyboardHook(HC_ACTION, 'A', 1);
    EXPECT_EQ(GetCursor(), kCross);
    EXPECT_EQ(Moves, 0);
}
