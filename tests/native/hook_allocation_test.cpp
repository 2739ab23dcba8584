// Allocation in the hooks: the steady-state paths allocate nothing, and where an export or hook
// procedure does allocate, a failed allocation is a failed step: nothing is thrown into the
// platform's frames and the game's message still goes on.
#include "hooks/exports.h"
#include "hooks/hook_state.h"
#include "support/fake_proxy.h"
#include "support/hook_harness.h"

#include <sim/control.h>
#include <sim/hooks.h>
#include <sim/input.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <set>

namespace {
std::atomic<long> allocations{0};
// While set, allocations of a window-set node fail. Only those: the simulated platform's own
// containers must not see the failure, as the real platform never throws into the module.
std::atomic<bool> failSetNodes{false};
} // namespace

void* operator new(std::size_t size) {
    ++allocations;
    if (!(failSetNodes && size == sizeof(std::_Rb_tree_node<HWND>)))
        if (void* p = std::malloc(size ? size : 1))
            return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

TEST_F(HookHarness, SteadyStateMouseAndKeyboardHooksMakeNoHeapAllocation) {
    // A file stands in for the pipe so that the simulated transport's own buffers stay out of
    // the count; the hooks only see a handle that is open.
    HANDLE sink = CreateFileA("records.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(sink, INVALID_HANDLE_VALUE);
    fake_proxy::pipe = sink;
    fake_proxy::inputActive = true;
    MOUSEHOOKSTRUCTEX record{};
    record.pt = POINT{kLeft + 10, kTop + 10};
    mouseHook(HC_ACTION, WM_MOUSEMOVE, reinterpret_cast<LPARAM>(&record)); // warm the caches
    keyboardHook(HC_ACTION, 'A', 1);
    ASSERT_EQ(HookState.Pipe.handle, sink);

    long before = allocations.load();
    for (int i = 0; i < 5000; ++i) {
        record.pt.x = kLeft + i % 600;
        EXPECT_EQ(mouseHook(HC_ACTION, WM_MOUSEMOVE, reinterpret_cast<LPARAM>(&record)), 1);
        EXPECT_EQ(keyboardHook(HC_ACTION, 'A', 1), 1);
    }
    EXPECT_EQ(allocations.load() - before, 0);
    CloseHandle(sink);
}

TEST_F(HookHarness, FailedAllocationIsAFailedStepAndTheGameMessageGoesOn) {
    sim::SetNextHookResult(42);
    sim::AddRawInputRegistration(1, 6, RIDEV_NOLEGACY, window);
    GetRawInputState();
    ASSERT_TRUE(HookState.RawKeyboardNoLegacy);

    // getmsgHook: no buffer for the raw record, so no KeyboardInput; the pending take-over is
    // still carried out and the message is passed on.
    HookState.TakeoverPending = true;
    sim::FailNext("LocalAlloc", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(RawInput(RawKey('A', WM_KEYDOWN)), 42);
    EXPECT_FALSE(OverlayHasData());
    EXPECT_TRUE(HookState.CursorTaken);

    // GetRawInputState: no room for the registrations reads as none delivered.
    sim::FailNext("LocalAlloc", ERROR_NOT_ENOUGH_MEMORY);
    GetRawInputState();
    EXPECT_FALSE(HookState.RawKeyboardNoLegacy);

    // Turn-on without room for the saved list: nothing saved or removed, cursor requested.
    fake_proxy::inputActive = true;
    HookState.TakeoverPending = false;
    sim::FailNext("LocalAlloc", ERROR_NOT_ENOUGH_MEMORY);
    InputActiveStateTransitionHook();
    EXPECT_TRUE(HookState.TakeoverPending);
    EXPECT_EQ(HookState.SavedRawDeviceCount, 0u);
    EXPECT_EQ(sim::RawInputRegistrations().size(), 1u);

    // Turn-on without room for the removal list: saved, not removed; the turn-off restores it.
    fake_proxy::inputActive = false;
    InputActiveStateTransitionHook();
    fake_proxy::inputActive = true;
    sim::FailNext("LocalAlloc", ERROR_NOT_ENOUGH_MEMORY, 1, 1);
    InputActiveStateTransitionHook();
    EXPECT_EQ(HookState.SavedRawDeviceCount, 1u);
    EXPECT_EQ(sim::RawInputRegistrations().size(), 1u);
    fake_proxy::inputActive = false;
    InputActiveStateTransitionHook();
    EXPECT_EQ(sim::RawInputRegistrations().size(), 1u);

    // CheckFocus: a window set that cannot grow counts as no window of ours; nothing thrown.
    failSetNodes = true;
    CheckFocus();
    failSetNodes = false;
    EXPECT_TRUE(HookState.FocusElsewhere);
    fake_proxy::inputActive = true;
    EXPECT_EQ(Mouse(HC_ACTION, WM_LBUTTONDOWN, kLeft + 5, kTop + 5), 42);
}
