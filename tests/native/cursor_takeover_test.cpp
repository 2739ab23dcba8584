// Cursor takeover: the arrow imposed on the first hooked thread, released only on that thread,
// re-imposed when the game changes it, both requests in one call.
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
    void RunOnOtherThread() {
        std::thread([] { UpdateCursorTakeover(); }).join();
    }
    HCURSOR gameCursor = sim::MakeGameCursor(1);
};

} // namespace

TEST_F(CursorTakeover, TakeoverImposesShownArrowAndAnchorsTrackingAtCursor) {
    HookState.TrackingMode = 1;
    HookState.TrackedPos = POINT{5, 5};
    HookState.TakeoverPending = true;
    UpdateCursorTakeover();
    EXPECT_EQ(GetCursor(), HookState.ArrowCursor);
    EXPECT_EQ(sim::CursorDisplayCount(), 1);
    EXPECT_EQ(HookState.TrackedPos.x, 300);
    EXPECT_EQ(HookState.TrackedPos.y, 200);
    EXPECT_EQ(HookState.AnchorPos.x, 300);
    EXPECT_EQ(HookState.AnchorPos.y, 200);
    EXPECT_EQ(HookState.TrackingMode, 0);
    EXPECT_EQ(HookState.CursorOwnerThread, GetCurrentThreadId());
    EXPECT_TRUE(HookState.CursorTaken);
    EXPECT_FALSE(HookState.TakeoverPending);
}

TEST_F(CursorTakeover, ReleaseOnOwnerRestoresCursorCounterAndPosition) {
    HookState.TakeoverPending = true;
    UpdateCursorTakeover();
    SetCursorPos(10, 10);
    HookState.ReleasePending = true;
    UpdateCursorTakeover();
    EXPECT_EQ(GetCursor(), gameCursor);
    EXPECT_EQ(sim::CursorDisplayCount(), 0);
    EXPECT_EQ(sim::CursorPosition().x, 300);
    EXPECT_EQ(sim::CursorPosition().y, 200);
    EXPECT_FALSE(HookState.CursorTaken || HookState.ReleasePending ||
                 HookState.SavedCursorPosValid);
}

TEST_F(CursorTakeover, ReleaseRequestedWhileOnlyOtherThreadsRunKeepsArrowThere) {
    HookState.TakeoverPending = true;
    UpdateCursorTakeover();
    HookState.ReleasePending = true;
    SetCursor(sim::MakeGameCursor(2)); // the game changes its cursor meanwhile
    RunOnOtherThread();
    EXPECT_TRUE(HookState.ReleasePending);
    EXPECT_TRUE(HookState.CursorTaken);
    EXPECT_EQ(GetCursor(), HookState.ArrowCursor); // re-imposed on the other thread
    EXPECT_EQ(sim::CursorDisplayCount(), 1);
    UpdateCursorTakeover(); // the owner releases, restoring the game's latest cursor
    EXPECT_EQ(GetCursor(), sim::MakeGameCursor(2));
    EXPECT_EQ(sim::CursorDisplayCount(), 0);
}

TEST_F(CursorTakeover, GameCursorSetEveryFrameIsReplacedAndRememberedForRelease) {
    HookState.TakeoverPending = true;
    UpdateCursorTakeover();
    for (int frame = 2; frame < 5; ++frame) {
        SetCursor(sim::MakeGameCursor(frame));
        UpdateCursorTakeover();
        EXPECT_EQ(GetCursor(), HookState.ArrowCursor);
        EXPECT_EQ(HookState.SavedCursor, sim::MakeGameCursor(frame));
    }
    unsigned sets = sim::CallCount("SetCursor");
    UpdateCursorTakeover(); // arrow still current: nothing to do
    EXPECT_EQ(sim::CallCount("SetCursor"), sets);
}

TEST_F(CursorTakeover, BothRequestsPendingTakeAndReleaseInOneCall) {
    HookState.TakeoverPending = true;
    HookState.ReleasePending = true;
    UpdateCursorTakeover();
    EXPECT_EQ(GetCursor(), gameCursor);
    EXPECT_EQ(sim::CursorDisplayCount(), 0);
    EXPECT_EQ(sim::CursorPosition().x, 300);
    EXPECT_FALSE(HookState.TakeoverPending || HookState.ReleasePending || HookState.CursorTaken);
}

TEST_F(CursorTakeover, FailedPositionReadMeansReleaseDoesNotMoveTheCursor) {
    sim::FailNext("GetCursorPos", ERROR_ACCESS_DENIED);
    HookState.TakeoverPending = true;
    UpdateCursorTakeover();
    EXPECT_FALSE(HookState.SavedCursorPosValid);
    EXPECT_EQ(HookState.AnchorPos.x, 300); // the second read still anchors
    SetCursorPos(50, 60);
    HookState.ReleasePending = true;
    UpdateCursorTakeover();
    EXPECT_EQ(sim::CallCount("SetCursorPos"), 2u); // only the test's own calls
    EXPECT_EQ(sim::CursorPosition().x, 50);
}

TEST_F(CursorTakeover, NoPreviousCursorIsRestoredAsNull) {
    SetCursor(nullptr);
    HookState.TakeoverPending = true;
    UpdateCursorTakeover();
    HookState.ReleasePending = true;
    UpdateCursorTakeover();
    EXPECT_EQ(GetCursor(), nullptr);
}

TEST_F(CursorTakeover, FailingCursorCallsAtReleaseStillEndFree) {
    HookState.TakeoverPending = true;
    UpdateCursorTakeover();
    HookState.ReleasePending = true;
    sim::FailNext("SetCursorPos", ERROR_ACCESS_DENIED);
    sim::FailNext("SetCursor", ERROR_INVALID_PARAMETER);
    UpdateCursorTakeover();
    EXPECT_FALSE(HookState.CursorTaken || HookState.ReleasePending ||
                 HookState.SavedCursorPosValid);
    unsigned sets = sim::CallCount("SetCursor");
    UpdateCursorTakeover(); // free: nothing is re-imposed
    EXPECT_EQ(sim::CallCount("SetCursor"), sets);
}
