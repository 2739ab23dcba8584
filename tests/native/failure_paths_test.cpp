// Failure paths that the other suites leave without an injected fault: a failed pipe write in
// the hooks, a proxy that lends no pipe or lacks the input query, failed raw-input
// re-registration, a log whose size cannot be read or whose write fails, and a failed window
// enumeration.
#include "discovery/window_discovery.h"
#include "hooks/exports.h"
#include "hooks/hook_state.h"
#include "link/messages.h"
#include "log/log_file.h"
#include "support/fake_proxy.h"
#include "support/hook_harness.h"
#include "support/temp_dir.h"

#include <sim/control.h>
#include <sim/input.h>
#include <sim/modules.h>

namespace {

using FailurePaths = HookHarness;

template <class F> FARPROC Proc(F f) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(f));
}
bool Yes() {
    return true;
}

} // namespace

TEST_F(FailurePaths, FailedPipeWriteIsNotRetriedAndTheEventIsStillSwallowed) {
    fake_proxy::inputActive = true;
    unsigned writes = sim::CallCount("WriteFile");
    sim::FailNext("WriteFile", ERROR_NO_DATA);
    EXPECT_EQ(keyboardHook(HC_ACTION, 0x41, 0x001E0001), 1);
    EXPECT_EQ(sim::CallCount("WriteFile") - writes, 1u); // one attempt, no retry
    EXPECT_FALSE(OverlayHasData());

    sim::FailNext("WriteFile", ERROR_NO_DATA);
    EXPECT_EQ(Mouse(HC_ACTION, WM_MOUSEMOVE, kLeft + 10, kTop + 10), 1);
    EXPECT_EQ(sim::CallCount("WriteFile") - writes, 2u);
    EXPECT_FALSE(OverlayHasData());
    EXPECT_EQ(HookState.TrackedPos.x, kLeft + 10);

    // The next event goes out as usual.
    EXPECT_EQ(keyboardHook(HC_ACTION, 0x42, 0x00300001), 1);
    KeyRecord key;
    ASSERT_TRUE(NextKey(key));
    EXPECT_EQ(key.virtualKey, 0x42u);
}

TEST_F(FailurePaths, ProxyLendingNoPipeMeansNothingSentWhileSwallowingAndTrackingGoOn) {
    fake_proxy::pipe = INVALID_HANDLE_VALUE;
    fake_proxy::inputActive = true;
    unsigned writes = sim::CallCount("WriteFile");
    EXPECT_EQ(keyboardHook(HC_ACTION, 0x41, 0x001E0001), 1);
    EXPECT_EQ(Mouse(HC_ACTION, WM_MOUSEMOVE, kLeft + 5, kTop + 6), 1);
    EXPECT_EQ(sim::CallCount("WriteFile"), writes);
    EXPECT_FALSE(IsPipeOpen(HookState.Pipe));
    EXPECT_EQ(HookState.TrackedPos.x, kLeft + 5);
    EXPECT_EQ(HookState.TrackedPos.y, kTop + 6);
}

TEST_F(FailurePaths, ProxyWithoutTheInputQueryCountsAsInactiveAndNeverTurnsTheInputOn) {
    // The same proxy minus _OverlayInputActive, registered under the first renderer name.
    sim::SetModuleLoadable("d3d11.dll", false);
    sim::RegisterModule("ddraw.dll", {{"_RenderProxyActive", Proc(&Yes)}});
    sim::AddRawInputRegistration(1, 6, RIDEV_NOLEGACY, nullptr);
    fake_proxy::inputActive = true;

    EXPECT_NE(Mouse(HC_ACTION, WM_LBUTTONDOWN, kLeft + 5, kTop + 5), 1);
    EXPECT_NE(keyboardHook(HC_ACTION, 0x41, 0x001E0001), 1);
    MouseRecord mouse;
    EXPECT_FALSE(NextMouse(mouse)); // nothing sent while inactive
    EXPECT_EQ(HookState.TrackedPos.x, kLeft + 5);

    unsigned registrations = sim::CallCount("RegisterRawInputDevices");
    InputActiveStateTransitionHook();
    EXPECT_FALSE(HookState.TakeoverPending);
    EXPECT_EQ(sim::CallCount("RegisterRawInputDevices"), registrations);
    EXPECT_EQ(sim::RawInputRegistrations().size(), 1u);
}

TEST_F(FailurePaths, FailedRemovalAndRestoreOfRegistrationsAreIgnoredAndCursorRequestsStillMade) {
    sim::AddRawInputRegistration(1, 6, RIDEV_NOLEGACY, nullptr);
    fake_proxy::inputActive = true;
    sim::FailNext("RegisterRawInputDevices", ERROR_INVALID_PARAMETER);
    InputActiveStateTransitionHook();
    EXPECT_TRUE(HookState.TakeoverPending);
    EXPECT_EQ(sim::RawInputRegistrations().size(), 1u); // the removal failed: still registered

    keyboardHook(HC_ACTION, 0x41, 0x001E0001); // carries out the take-over
    unsigned calls = sim::CallCount("RegisterRawInputDevices");
    fake_proxy::inputActive = false;
    sim::FailNext("RegisterRawInputDevices", ERROR_INVALID_PARAMETER);
    InputActiveStateTransitionHook();
    EXPECT_TRUE(HookState.ReleasePending);
    EXPECT_EQ(sim::CallCount("RegisterRawInputDevices") - calls, 1u); // tried once, not retried
}

TEST(FailurePathsLog, UnreadableSizeKeepsTheFileOpenAndAFailedWriteDropsOnlyThatLine) {
    TempDir dir;
    WriteHostFile(dir.File("injected.log"), std::string(100, 'x') + "\n");
    sim::FailNext("GetFileSizeEx", ERROR_ACCESS_DENIED);
    EXPECT_TRUE(OpenModuleLog("injected.log", 10)); // over the limit, but the size is unknown
    EXPECT_FALSE(HostFileExists(dir.File("injected.log.0")));

    sim::FailNext("WriteFile", ERROR_ACCESS_DENIED);
    LogInfo("lost");
    LogInfo("kept");
    std::string text = ReadHostFile(dir.File("injected.log"));
    EXPECT_EQ(text.find("lost"), std::string::npos);
    EXPECT_EQ(text.substr(0, 101), std::string(100, 'x') + "\n");
    EXPECT_NE(text.find("[Info] kept\n"), std::string::npos);
}

TEST(FailurePathsDiscovery, FailedEnumerationStillReportsTrueWithAnEmptySet) {
    WindowSet windows;
    sim::FailNext("EnumWindows", ERROR_ACCESS_DENIED);
    EXPECT_TRUE(CollectProcessWindows(GetCurrentProcessId(), windows));
    EXPECT_TRUE(windows.empty());
    sim::FailNext("EnumWindows", ERROR_ACCESS_DENIED);
    EXPECT_EQ(FindWindowByTitlePrefix(""), nullptr);
}
