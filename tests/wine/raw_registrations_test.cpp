// The game's raw-input registrations, real ones: which of them make the mouse or the keyboard
// raw-only, and how they are saved and removed when the overlay's input turns on (the proxy
// answering with whole registers: 2 and then 1 are one turn-on, 0x100 is off) and registered again
// when it turns off, also when a call fails or a list finds no memory.
#include "support/hook_rig.h"

#include <string>
#include <vector>

using RawRegistrations = HookTest;

namespace {

// The process's registrations as Windows lists them (sorted), byte for byte.
std::string Registered() {
    RAWINPUTDEVICE list[8];
    UINT room = 8, count = GetRegisteredRawInputDevices(list, &room, sizeof list[0]);
    return std::string(reinterpret_cast<char*>(list), count <= 8 ? count * sizeof list[0] : 0);
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

TEST_F(RawRegistrations, NoLegacyBitsMakeTheClassRawOnlyAndTurnOnRemovesAllUntilTurnOffRestores) {
    RAWINPUTDEVICE game[] = {{13, 2, RIDEV_NOLEGACY, window}, // not the generic desktop page
                             {1, 5, RIDEV_NOLEGACY, window},  // neither a mouse nor a keyboard
                             {1, 2, RIDEV_INPUTSINK, window},
                             {1, 2, 0x10, window}, // one of the two bits is enough
                             {1, 6, 0x20 | RIDEV_INPUTSINK, window},
                             {12, 1, 0, window}};
    ASSERT_TRUE(RegisterRawInputDevices(game, 3, sizeof game[0]));
    HookState.RawMouseNoLegacy = HookState.RawKeyboardNoLegacy = true;
    GetRawInputState();
    EXPECT_FALSE(HookState.RawMouseNoLegacy || HookState.RawKeyboardNoLegacy);
    ASSERT_TRUE(RegisterRawInputDevices(game + 3, 2, sizeof game[0])); // the mouse's replaced
    GetRawInputState();
    EXPECT_TRUE(HookState.RawMouseNoLegacy && HookState.RawKeyboardNoLegacy);

    const std::string four = Registered();
    ImportPatch patch(nullptr, "user32.dll", "RegisterRawInputDevices",
                      reinterpret_cast<void*>(&RecordedRegister));
    RegisterPatch = &patch;
    Turn(2);
    EXPECT_TRUE(Registered().empty());
    EXPECT_TRUE(HookState.RawMouseNoLegacy); // the flags stay as they were while the input is on
    Turn(1);                                 // no change
    Turn(0x100);
    EXPECT_EQ(Registered(), four);
    RegisterRawInputDevices(game + 5, 1, sizeof game[0]); // the next turn-on saves the five then
    const std::string five = Registered();
    FailCalls = true; // a failed removal or registration is not tried again
    Turn(1);
    Turn(0);
    EXPECT_EQ(Calls, (std::vector<UINT>{4, 4, 5, 5}));
    FailCalls = false;
    AllocationWatch watch;
    FailAt = 2; // saved, but no room for the removal list: nothing removed
    Turn(1);
    EXPECT_EQ(Registered(), five);
}
