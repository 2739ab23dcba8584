// Cursor takeover: the arrow imposed on the first hooked thread, released only on that thread,
// re-imposed when the game changes it, both requests in one call, and failing cursor calls.
#include "hooks/exports.h"
#include "hooks/hook_state.h"

#include <gtest/gtest.h>
#include <sim/control.h>
#include <sim/input.h>

#include <thread>

namespace {

class CursorTakeover : public ::testing::Test {
  protected:
    void SetUp() override {
        HookState.ArrowCursor = LoadCursorA(nullptr, IDC_ARROW);
        SetCursor(gameCursor);
        SetCursorPos(300, 200);
    }
    void Take() {
        HookState.TakeoverPending = true;
        UpdateCursorTakeover();
    }
    void Release() {
        HookState.ReleasePending = true;
        UpdateCursorTakeover();
    }
    void ExpectGiven(HCURSOR cursor, LONG x) {
        EXPECT_EQ(GetCursor(), cursor);
        EXPECT_EQ(sim::CursorDisplayCount(), 0);
        EXPECT_EQ(sim::CursorPosition().x, x);
        EXPECT_FALSE(HookState.CursorTaken || HookState.TakeoverPending ||
                     HookState.ReleasePending);
    }
    HCURSOR gameCursor = sim::MakeGameCursor(1);
};

} // namespace

TEST_F(CursorTakeover, TakeoverShowsTheArrowAnchorsAtTheCursorAndTheOwnerGivesEverythingBack) {
    HookState.TrackingMode = 1;
    Take();
    EXPECT_EQ(GetCursor(), HookState.ArrowCursor);
    EXPECT_EQ(sim::CursorDisplayCount(), 1);
    EXPECT_EQ(HookState.TrackedPos.x, 300);
    EXPECT_EQ(HookState.AnchorPos.y, 200);
    EXPECT_EQ(HookState.TrackingMode, 0);
    EXPECT_TRUE(HookState.CursorTaken);

    SetCursorPos(10, 10); // the overlay's user moves the cursor around
    Release();
    ExpectGiven(gameCursor, 300);
    EXPECT_EQ(sim::CursorPosition().y, 200);
}

TEST_F(CursorTakeover, OnlyTheOwnerThreadReleasesWhileEveryThreadReimposesTheArrow) {
    Take();
    for (int frame = 2; frame < 4; ++frame) {
        SetCursor(sim::MakeGameCursor(frame)); // the game sets its cursor again
        HookState.ReleasePending = frame == 3;
        std::thread([] { UpdateCursorTakeover(); }).join();
        EXPECT_EQ(GetCursor(), HookState.ArrowCursor);
        EXPECT_TRUE(HookState.CursorTaken);
    }
    EXPECT_EQ(sim::CursorDisplayCount(), 1);
    UpdateCursorTakeover(); // the owner releases, restoring the game's latest cursor
    ExpectGiven(sim::MakeGameCursor(3), 300);
}

TEST_F(CursorTakeover, BothRequestsInOneCallTakeAndGiveBackEvenANullCursor) {
    SetCursor(nullptr);
    HookState.TakeoverPending = true;
    Release();
    ExpectGiven(nullptr, 300);
}

TEST_F(CursorTakeover, FailingCursorCallsNeverLeaveTheCursorTakenAfterARelease) {
    sim::FailNext("GetCursorPos", ERROR_ACCESS_DENIED); // no position saved: none put back
    Take();
    SetCursorPos(50, 60);
    sim::FailNext("SetCursor", ERROR_INVALID_PARAMETER);
    Release();
    EXPECT_EQ(sim::CursorPosition().x, 50);
    EXPECT_FALSE(HookState.CursorTaken || HookState.ReleasePending);
    SetCursor(gameCursor);
    UpdateCursorTakeover(); // free: nothing is re-imposed
    EXPECT_EQ(GetCursor(), gameCursor);
}
