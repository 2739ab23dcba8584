// CheckFocus: whether the foreground window belongs to the game, and its effect on mouseHook.
#include "hooks/exports.h"
#include "hooks/hook_state.h"
#include "support/fake_proxy.h"
#include "support/hook_harness.h"

#include <sim/window_tree.h>

using FocusCheck = HookHarness; // the next hook in the chain answers 42

TEST_F(FocusCheck, OnlyAWindowOfTheGameOrItsDescendantsKeepsTheFocusHereAndMouseSwallowing) {
    EXPECT_FALSE(HookState.FocusElsewhere); // never checked yet
    fake_proxy::inputActive = 1;
    const DWORD other = 999;
    HWND dialog = sim::AddWindow(nullptr, GetCurrentProcessId(), GetCurrentThreadId(), "Options");
    HWND embedded = sim::AddWindow(window, other, 77, "embedded"); // a child owned elsewhere
    HWND browser = sim::AddWindow(nullptr, other, 77, "Browser");
    struct Case {
        HWND foreground;
        bool elsewhere;
    } cases[] = {
        {window, false}, {dialog, false}, {embedded, false}, {browser, true}, {nullptr, true}};
    for (const Case& c : cases) {
        sim::SetForeground(c.foreground);
        CheckFocus();
        EXPECT_EQ(HookState.FocusElsewhere, c.elsewhere) << c.foreground;
        EXPECT_EQ(Mouse(HC_ACTION, WM_LBUTTONDOWN, kLeft + 5, kTop + 5), c.elsewhere ? 42 : 1);
    }
}
