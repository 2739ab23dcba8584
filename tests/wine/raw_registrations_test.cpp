// The game's raw-input registrations, real ones: which of them make the mouse or the keyboard
// raw-only, and how they are saved and removed when the overlay's input turns on (the proxy
// answering with whole registers: 2 and then 1 are one turn-on, 0x100 is off) and registered again
// when it turns off, also when a call fails or a list finds no memory.
#include "support/hook_rig.h"

#include <tuple>
#include <vector>

using namespace korvex;
using RawRegistrations = HookTest;

namespace {

using Fields = std::vector<std::tuple<USHORT, USHORT, DWORD, HWND>>;

// The process's registrations, as Windows lists them (sorted).
Fields Registered() {
    RAWINPUTDEVICE list[8];
    UINT room = 8, count = GetRegisteredRawInputDevices(list, &room, sizeof list[0]);
    Fields fields;
    for (UINT i = 0; i < count && count <= 8; ++i)
        fields.emplace_back(list[i].usUsagePage, list[i].usUsage, list[i].dwFlags,
                            list[i].hwndTarget);
    return fields;
}

std::vector<UINT> Calls; // records per RegisterRawInputDevices call
bool FailCalls = false;
ImportPatch* RegisterPatch = nullptr;
BOOL WINAPI RecordedRegister(PCRAWINPUTDEVICE devices, UINT count, UINT size) {
    Calls.push_back(count);
    using Register = BOOL(WINAPI*)(PCRAWINPUTDEVICE, UINT, UINT);
    return !FailCalls && RegisterPatch->Original<Register>()(devices, count, size);
}

} // namespace

TEST_F(RawRegistrations, OnlyNoLegacyBitsOfAGenericDesktopMouseOrKeyboardMakeItRawOnly) {
    auto expect = [&](USHORT page, USHORT usage, DWORD flags, bool mouse, bool keyboard) {
        RAWINPUTDEVICE device = {page, usage, flags, window};
        ASSERT_TRUE(RegisterRawInputDevices(&device, 1, sizeof device));
        HookState.RawMouseNoLegacy = HookState.RawKeyboardNoLegacy = true;
        GetRawInputState();
        EXPECT_EQ(HookState.RawMouseNoLegacy, mouse) << page << "/" << usage << " " << flags;
        EXPECT_EQ(HookState.RawKeyboardNoLegacy, keyboard) << page << "/" << usage << " " << flags;
        device = {page, usage, RIDEV_REMOVE, nullptr};
        RegisterRawInputDevices(&device, 1, sizeof device);
    };
    expect(1, 2, RIDEV_NOLEGACY, true, false);
    expect(1, 2, 0x10, true, false);
    expect(1, 6, 0x20, false, true);
    expect(1, 2, RIDEV_INPUTSINK, false, false);
    expect(13, 2, RIDEV_NOLEGACY, false, false);
    expect(1, 5, RIDEV_NOLEGACY, false, false);
}

TEST_F(RawRegistrations, TurnOnRemovesThemAllInOneCallAndTurnOffRegistersThemAgainAsTheyWere) {
    RAWINPUTDEVICE game[] = {{1, 2, RIDEV_NOLEGACY, window},
                             {1, 6, RIDEV_NOLEGACY | RIDEV_INPUTSINK, window},
                             {12, 1, 0, window},
                             {1, 5, 0, window}};
    ASSERT_TRUE(RegisterRawInputDevices(game, 3, sizeof game[0]));
    const Fields three = Registered();
    GetRawInputState();
    EXPECT_TRUE(HookState.RawMouseNoLegacy && HookState.RawKeyboardNoLegacy);
    ImportPatch patch(nullptr, "user32.dll", "RegisterRawInputDevices",
                      reinterpret_cast<void*>(&RecordedRegister));
    RegisterPatch = &patch;
    Turn(2);
    EXPECT_TRUE(HookState.TakeoverPending && HookState.RawMouseNoLegacy); // flags as they were
    EXPECT_TRUE(Registered().empty());
    GetRawInputState(); // removed: the game takes legacy input again
    EXPECT_FALSE(HookState.RawMouseNoLegacy || HookState.RawKeyboardNoLegacy);
    Turn(1); // no change
    Turn(0x100);
    EXPECT_TRUE(HookState.ReleasePending);
    EXPECT_EQ(Registered(), three);
    EXPECT_EQ(Calls, (std::vector<UINT>{3, 3}));

    RegisterRawInputDevices(game + 3, 1, sizeof game[0]); // the next turn-on saves the four then
    const Fields four = Registered();
    Calls.clear();
    Turn(1);
    Turn(0);
    FailCalls = true; // a failed removal or registration is not tried again
    Turn(1);
    Turn(0);
    EXPECT_EQ(Calls, (std::vector<UINT>{4, 4, 4, 4}));
    FailCalls = false;
    AllocationWatch watch;
    FailAt = 2; // saved, but no room for the removal list: nothing removed, all registered again
    Turn(1);
    EXPECT_EQ(Registered(), four);
    Turn(0);
    EXPECT_EQ(Registered(), four);
}
