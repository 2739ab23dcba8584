// The game's raw-input registrations: the no-legacy flags, and saving, removing and restoring
// them as the overlay's input turns on and off.
#include "hooks/exports.h"
#include "hooks/hook_state.h"
#include "support/fake_proxy.h"
#include "support/hook_harness.h"

#include <sim/control.h>
#include <sim/hooks.h>
#include <sim/input.h>

namespace {

using RawInputState = HookHarness;

HWND Target(int n) {
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x5000 + n));
}

bool Same(const RAWINPUTDEVICE& a, const RAWINPUTDEVICE& b) {
    return a.usUsagePage == b.usUsagePage && a.usUsage == b.usUsage && a.dwFlags == b.dwFlags &&
           a.hwndTarget == b.hwndTarget;
}

// `answer` is the whole register the proxy's _OverlayInputActive leaves; its low byte counts.
void TurnOverlayInput(uint32_t answer) {
    fake_proxy::inputActive = answer;
    InputActiveStateTransitionHook();
}

} // namespace

TEST_F(RawInputState, OnlyNoLegacyBitsOfMouseAndKeyboardUsagesSetTheFlags) {
    sim::AddRawInputRegistration(1, 2, RIDEV_NOLEGACY, Target(1));
    sim::AddRawInputRegistration(1, 6, RIDEV_INPUTSINK, Target(1));
    GetRawInputState();
    EXPECT_TRUE(HookState.RawMouseNoLegacy);
    EXPECT_FALSE(HookState.RawKeyboardNoLegacy);

    sim::AddRawInputRegistration(13, 6, RIDEV_NOLEGACY, nullptr); // not generic desktop
    sim::AddRawInputRegistration(1, 6, 0x20, nullptr);            // one of the no-legacy bits
    GetRawInputState();
    EXPECT_TRUE(HookState.RawKeyboardNoLegacy);
}

TEST_F(RawInputState, InputSinkAloneDoesNotCountAsNoLegacy) {
    sim::AddRawInputRegistration(1, 2, RIDEV_INPUTSINK, Target(1));
    HookState.RawMouseNoLegacy = true;
    GetRawInputState();
    EXPECT_FALSE(HookState.RawMouseNoLegacy);
}

TEST_F(RawInputState, TurnOnRemovesAllInOneCallAndTurnOffRestoresThemUnchanged) {
    sim::AddRawInputRegistration(1, 2, RIDEV_NOLEGACY, Target(1));
    sim::AddRawInputRegistration(1, 6, RIDEV_NOLEGACY | RIDEV_INPUTSINK, Target(2));
    sim::AddRawInputRegistration(12, 1, 0, Target(3));
    auto before = sim::RawInputRegistrations();

    TurnOverlayInput(true);
    EXPECT_TRUE(HookState.TakeoverPending);
    ASSERT_EQ(sim::RegisterRawInputCalls().size(), 1u);
    const auto& removal = sim::RegisterRawInputCalls()[0];
    ASSERT_EQ(removal.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(removal[i].usUsagePage, before[i].usUsagePage);
        EXPECT_EQ(removal[i].usUsage, before[i].usUsage);
        EXPECT_EQ(removal[i].dwFlags, RIDEV_REMOVE);
        EXPECT_EQ(removal[i].hwndTarget, nullptr);
    }
    EXPECT_TRUE(sim::RawInputRegistrations().empty());
    GetRawInputState(); // while removed, the game takes legacy input again
    EXPECT_FALSE(HookState.RawMouseNoLegacy || HookState.RawKeyboardNoLegacy);

    TurnOverlayInput(true); // no change: nothing more happens
    EXPECT_EQ(sim::RegisterRawInputCalls().size(), 1u);

    TurnOverlayInput(false);
    EXPECT_TRUE(HookState.ReleasePending);
    ASSERT_EQ(sim::RegisterRawInputCalls().size(), 2u);
    auto after = sim::RawInputRegistrations();
    ASSERT_EQ(after.size(), 3u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_TRUE(Same(after[i], before[i])) << i;
}

TEST_F(RawInputState, SecondCycleSavesTheRegistrationsAsTheyAreThen) {
    sim::AddRawInputRegistration(1, 2, RIDEV_NOLEGACY, Target(1));
    TurnOverlayInput(true);
    RAWINPUTDEVICE* first = HookState.SavedRawDevices;
    TurnOverlayInput(false);
    EXPECT_EQ(HookState.SavedRawDevices, first); // kept while off
    sim::AddRawInputRegistration(1, 6, 0, Target(2));

    TurnOverlayInput(true); // the first array is freed (AddressSanitizer would see a leak)
    EXPECT_EQ(HookState.SavedRawDeviceCount, 2u);
    EXPECT_EQ(sim::RegisterRawInputCalls().back().size(), 2u);
    TurnOverlayInput(false);
    EXPECT_EQ(sim::RawInputRegistrations().size(), 2u);
}

TEST_F(RawInputState, NoRegistrationsStillRequestsTheCursorButRegistersNothing) {
    InputActiveStateTransitionHook(); // first call inactive: nothing
    EXPECT_FALSE(HookState.TakeoverPending || HookState.ReleasePending);
    TurnOverlayInput(true);
    TurnOverlayInput(false);
    EXPECT_TRUE(HookState.TakeoverPending);
    EXPECT_TRUE(HookState.ReleasePending);
    EXPECT_EQ(sim::CallCount("RegisterRawInputDevices"), 0u);
}

TEST_F(RawInputState, FailedFetchSavesNothingAndRemovesNothing) {
    sim::AddRawInputRegistration(1, 2, RIDEV_NOLEGACY, Target(1));
    sim::FailNext("GetRegisteredRawInputDevices", ERROR_INSUFFICIENT_BUFFER, 1);
    GetRawInputState(); // count query failed: no records scanned
    EXPECT_FALSE(HookState.RawMouseNoLegacy);
    sim::FailNext("GetRegisteredRawInputDevices", ERROR_INSUFFICIENT_BUFFER, 1);
    TurnOverlayInput(true);
    EXPECT_TRUE(HookState.TakeoverPending);
    EXPECT_EQ(HookState.SavedRawDeviceCount, 0u);
    EXPECT_EQ(sim::RawInputRegistrations().size(), 1u);
}

TEST_F(RawInputState, ProxyAnsweringTwoThenOneIsOneTurnOnAndTheRegistrationsComeBack) {
    sim::AddRawInputRegistration(1, 2, RIDEV_NOLEGACY, Target(1));
    auto before = sim::RawInputRegistrations();
    for (uint32_t on : {2u, 1u, 0x1FFu})
        TurnOverlayInput(on);
    EXPECT_EQ(sim::RegisterRawInputCalls().size(), 1u); // removed once, saved once
    EXPECT_EQ(HookState.SavedRawDeviceCount, 1u);
    TurnOverlayInput(0x100); // low byte 0: off
    ASSERT_EQ(sim::RawInputRegistrations().size(), 1u);
    EXPECT_TRUE(Same(sim::RawInputRegistrations()[0], before[0]));
    sim::SetNextHookResult(42);
    EXPECT_EQ(keyboardHook(HC_ACTION, 'A', 1), 42); // 0x100 is not input-active either
}
