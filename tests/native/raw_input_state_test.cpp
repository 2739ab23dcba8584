// The game's raw-input registrations: the no-legacy flags, and saving, removing and restoring
// them as the overlay's input turns on and off.
#include "hooks/exports.h"
#include "hooks/hook_state.h"
#include "support/fake_proxy.h"
#include "support/hook_harness.h"

#include <sim/control.h>
#include <sim/input.h>

#include <tuple>
#include <vector>

namespace {

using RawInputState = HookHarness;

HWND Target(int n) {
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x5000 + n));
}

// Page, usage, flags and target of each registration, for comparing lists.
std::vector<std::tuple<USHORT, USHORT, DWORD, HWND>>
Fields(const std::vector<RAWINPUTDEVICE>& list) {
    std::vector<std::tuple<USHORT, USHORT, DWORD, HWND>> fields;
    for (const RAWINPUTDEVICE& d : list)
        fields.emplace_back(d.usUsagePage, d.usUsage, d.dwFlags, d.hwndTarget);
    return fields;
}

// `answer` is the whole register the proxy's _OverlayInputActive leaves; its low byte counts.
void TurnOverlayInput(uint32_t answer) {
    fake_proxy::inputActive = answer;
    InputActiveStateTransitionHook();
}

} // namespace

TEST_F(RawInputState, OnlyNoLegacyBitsOnGenericDesktopMouseOrKeyboardSetTheirFlag) {
    struct Case {
        USHORT page, usage;
        DWORD flags;
        bool mouse, keyboard;
    } cases[] = {{1, 2, RIDEV_NOLEGACY, true, false},
                 {1, 6, 0x20, false, true},
                 {1, 2, RIDEV_INPUTSINK, false, false},
                 {13, 6, RIDEV_NOLEGACY, false, false},
                 {1, 5, RIDEV_NOLEGACY, false, false}};
    for (const Case& c : cases) {
        sim::AddRawInputRegistration(c.page, c.usage, c.flags, Target(1));
        HookState.RawMouseNoLegacy = HookState.RawKeyboardNoLegacy = true;
        GetRawInputState();
        EXPECT_EQ(HookState.RawMouseNoLegacy, c.mouse) << c.page << "/" << c.usage;
        EXPECT_EQ(HookState.RawKeyboardNoLegacy, c.keyboard) << c.page << "/" << c.usage;
        RAWINPUTDEVICE removal = {c.page, c.usage, RIDEV_REMOVE, nullptr};
        RegisterRawInputDevices(&removal, 1, sizeof removal);
    }
}

TEST_F(RawInputState, TurnOnRemovesAllInOneCallAndTurnOffRestoresThemUnchanged) {
    sim::AddRawInputRegistration(1, 2, RIDEV_NOLEGACY, Target(1));
    sim::AddRawInputRegistration(1, 6, RIDEV_NOLEGACY | RIDEV_INPUTSINK, Target(2));
    sim::AddRawInputRegistration(12, 1, 0, Target(3));
    auto before = sim::RawInputRegistrations();

    TurnOverlayInput(1);
    EXPECT_TRUE(HookState.TakeoverPending);
    ASSERT_EQ(sim::RegisterRawInputCalls().size(), 1u);
    const auto& removal = sim::RegisterRawInputCalls()[0];
    ASSERT_EQ(removal.size(), 3u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(Fields({removal[i]}),
                  Fields({{before[i].usUsagePage, before[i].usUsage, RIDEV_REMOVE, nullptr}}));
    GetRawInputState(); // while removed, the game takes legacy input again
    EXPECT_FALSE(HookState.RawMouseNoLegacy || HookState.RawKeyboardNoLegacy);
    TurnOverlayInput(1); // no change: nothing more happens
    EXPECT_EQ(sim::RegisterRawInputCalls().size(), 1u);

    TurnOverlayInput(0);
    EXPECT_TRUE(HookState.ReleasePending);
    EXPECT_EQ(Fields(sim::RawInputRegistrations()), Fields(before));

    // The next turn-on saves the registrations as they are then.
    sim::AddRawInputRegistration(1, 5, 0, Target(4));
    TurnOverlayInput(1); // frees the first saved list (AddressSanitizer would see a leak)
    EXPECT_EQ(sim::RegisterRawInputCalls().back().size(), 4u);
    TurnOverlayInput(0);
    EXPECT_EQ(sim::RawInputRegistrations().size(), 4u);
}

TEST_F(RawInputState, WithoutRegistrationsOrTheirCountTheCursorIsStillRequestedButNothingRemoved) {
    InputActiveStateTransitionHook(); // the first call finding input off does nothing
    EXPECT_FALSE(HookState.TakeoverPending || HookState.ReleasePending);
    TurnOverlayInput(1);
    TurnOverlayInput(0);
    EXPECT_TRUE(HookState.TakeoverPending && HookState.ReleasePending);
    EXPECT_TRUE(sim::RegisterRawInputCalls().empty());

    sim::AddRawInputRegistration(1, 2, RIDEV_NOLEGACY, Target(1));
    sim::FailNext("GetRegisteredRawInputDevices", ERROR_INSUFFICIENT_BUFFER);
    TurnOverlayInput(1);
    EXPECT_EQ(sim::RawInputRegistrations().size(), 1u);
    EXPECT_TRUE(sim::RegisterRawInputCalls().empty());
}

TEST_F(RawInputState, ProxyAnsweringTwoThenOneIsOneTurnOnAndTheRegistrationsComeBack) {
    sim::AddRawInputRegistration(1, 2, RIDEV_NOLEGACY, Target(1));
    auto before = sim::RawInputRegistrations();
    for (uint32_t on : {2u, 1u, 0x1FFu})
        TurnOverlayInput(on);
    EXPECT_EQ(sim::RegisterRawInputCalls().size(), 1u); // removed once, saved once
    TurnOverlayInput(0x100);                            // low byte 0: off
    EXPECT_EQ(Fields(sim::RawInputRegistrations()), Fields(before));
    EXPECT_EQ(keyboardHook(HC_ACTION, 'A', 1), 42); // 0x100 is not input-active either
}
