// CheckFocus: whether the foreground window belongs to the game, and its effect on mouseHook.
#include "hooks/exports.h"
#include "hooks/hook_state.h"
#include "support/fake_proxy.h"
#include "support/hook_harness.h"

#include <sim/hooks.h>
#include <sim/window_tree.h>

namespace {
using FocusCheck = HookHarness;
constexpr DWORD kOtherProcess = 999;
} // namespace

TEST_F(FocusCheck, GameWindowsIncludingDialogsAndChildrenKeepTheFocusHere) {
    EXPECT_FALSE(HookState.FocusElsewhere); // never checked yet
    CheckFocus();
    EXPECT_FALSE(HookState.FocusElsewhere);
    HWND dialog = sim::AddWindow(nullptr, GetCurrentProcessId(), GetCurrentThreadId(), "Options");
    sim::SetForeground(dialog);
    CheckFocus();
    EXPECT_FALSE(HookState.FocusElsewhere);
    HWND child = sim::AddWindow(window, kOtherProcess, 77, "embedded");
    sim::SetForeground(child);
    CheckFocus();
    EXPECT_FALSE(HookState.FocusElsewhere);
}

TEST_F(FocusCheck, ForeignOrNoForegroundWindowMeansFocusElsewhereAndNoSwallowing) {
    HWND other = sim::AddWindow(nullptr, kOtherProcess, 77, "Browser");
    sim::SetForeground(other);
    CheckFocus();
    EXPECT_TRUE(HookState.FocusElsewhere);
    fake_proxy::inputActive = true;
    sim::SetNextHookResult(42);
    EXPECT_EQ(Mouse(HC_ACTION, WM_LBUTTONDOWN, kLeft + 5, kTop + 5), 42);

    sim::SetForeground(window);
    CheckFocus();
    EXPECT_EQ(Mouse(HC_ACTION, WM_LBUTTONDOWN, kLeft + 5, kTop + 5), 1);

    sim::SetForeground(nullptr);
    CheckFocus();
    EXPECT_TRUE(HookState.FocusElsewhere);
}
