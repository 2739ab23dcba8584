// Failure paths with an injected fault: a failed pipe write in the hooks, a proxy that lends no
// pipe or lacks the input query, no proxy at all, failed raw-input re-registration, and a failed
// window enumeration.
#include "discovery/window_discovery.h"
#include "hooks/exports.h"
#include "hooks/hook_state.h"
#include "support/fake_proxy.h"
#include "support/hook_harness.h"

#include <sim/control.h>
#include <sim/input.h>
#include <sim/modules.h>

namespace {

using FailurePaths = HookHarness; // the next hook in the chain answers 42

uint32_t Yes() {
    return 1;
}

} // namespace

TEST_F(FailurePaths, FailedPipeWriteIsNotRetriedAndTheEventIsStillSwallowed) {
    fake_proxy::inputActive = 1;
    for (int i = 0; i < 2; ++i) {
        unsigned writes = sim::CallCount("WriteFile");
        sim::FailNext("WriteFile", ERROR_NO_DATA);
        EXPECT_EQ(i ? Mouse(HC_ACTION, WM_MOUSEMOVE, kLeft + 10, kTop + 10)
                    : keyboardHook(HC_ACTION, 0x41, 0x001E0001),
                  1);
        EXPECT_EQ(sim::CallCount("WriteFile") - writes, 1u); // one attempt, no retry
        EXPECT_FALSE(OverlayHasData());
    }
    EXPECT_EQ(HookState.TrackedPos.x, kLeft + 10);
    keyboardHook(HC_ACTION, 0x42, 0x00300001); // the next event goes out as usual
    KeyRecord key;
    ASSERT_TRUE(NextKey(key));
    EXPECT_EQ(key.virtualKey, 0x42u);
}

TEST_F(FailurePaths, ProxyLendingNoPipeMeansNothingSentWhileSwallowingAndTrackingGoOn) {
    fake_proxy::pipe = INVALID_HANDLE_VALUE;
    fake_proxy::inputActive = 1;
    unsigned writes = sim::CallCount("WriteFile");
    EXPECT_EQ(keyboardHook(HC_ACTION, 0x41, 0x001E0001), 1);
    EXPECT_EQ(Mouse(HC_ACTION, WM_MOUSEMOVE, kLeft + 5, kTop + 6), 1);
    EXPECT_EQ(sim::CallCount("WriteFile"), writes);
    EXPECT_EQ(HookState.TrackedPos.y, kTop + 6);
}

TEST_F(FailurePaths, NoProxyOrOneWithoutTheInputQueryMeansInactiveWithTrackingGoingOn) {
    sim::AddRawInputRegistration(1, 6, RIDEV_NOLEGACY, nullptr);
    fake_proxy::inputActive = 1;
    sim::SetModuleLoadable("d3d11.dll", false);
    for (bool withProxy : {false, true}) {
        if (withProxy) // the same proxy minus _OverlayInputActive, under another name
            sim::RegisterModule("ddraw.dll", {{"_RenderProxyActive", AsExport(&Yes)}});
        EXPECT_EQ(Mouse(HC_ACTION, WM_LBUTTONDOWN, kLeft + 5, kTop + 5), 42);
        EXPECT_EQ(keyboardHook(HC_ACTION, 0x41, 0x001E0001), 42);
        EXPECT_FALSE(OverlayHasData()); // no pipe borrowed either
        EXPECT_EQ(HookState.TrackedPos.x, kLeft + 5);
        InputActiveStateTransitionHook();
        EXPECT_FALSE(HookState.TakeoverPending);
        EXPECT_EQ(sim::RawInputRegistrations().size(), 1u);
    }
}

TEST_F(FailurePaths, FailedRemovalAndRestoreOfRegistrationsAreNotRetriedAndTheCursorIsRequested) {
    sim::AddRawInputRegistration(1, 6, RIDEV_NOLEGACY, nullptr);
    for (uint32_t active : {1u, 0u}) {
        fake_proxy::inputActive = active;
        unsigned calls = sim::CallCount("RegisterRawInputDevices");
        sim::FailNext("RegisterRawInputDevices", ERROR_INVALID_PARAMETER);
        InputActiveStateTransitionHook();
        EXPECT_EQ(sim::CallCount("RegisterRawInputDevices") - calls, 1u);
        EXPECT_TRUE(active ? HookState.TakeoverPending : HookState.ReleasePending);
        EXPECT_EQ(sim::RawInputRegistrations().size(), 1u); // the removal failed
    }
}

TEST(FailurePathsDiscovery, FailedEnumerationStillReportsTrueWithAnEmptySet) {
    WindowSet windows = {reinterpret_cast<HWND>(0x10)};
    sim::FailNext("EnumWindows", ERROR_ACCESS_DENIED);
    EXPECT_TRUE(CollectProcessWindows(GetCurrentProcessId(), windows));
    EXPECT_TRUE(windows.empty());
}
