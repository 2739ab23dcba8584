// The game's raw-input registrations: GetRawInputState records whether the game takes its mouse
// or keyboard as raw input only (RIDEV_NOLEGACY bits); InputActiveStateTransitionHook saves and
// removes the registrations when the overlay's input turns on, restores them when it turns off,
// and requests the cursor take-over and release.
#include "binding/render_proxy.h"
#include "hooks/exports.h"
#include "hooks/hook_state.h"

namespace korvex {

namespace {

constexpr USHORT kGenericDesktop = 1;
constexpr USHORT kUsageMouse = 2;
constexpr USHORT kUsageKeyboard = 6;
constexpr DWORD kNoLegacyBits = 0x30;

// Fetches the process's registrations into a new array (null when there are none). When the
// second call fails, for instance because a registration was added in between, nothing is
// delivered: the count comes back 0.
RAWINPUTDEVICE* FetchRegistrations(UINT& count) {
    count = 0;
    if (GetRegisteredRawInputDevices(nullptr, &count, sizeof(RAWINPUTDEVICE)) != 0 || count == 0) {
        count = 0;
        return nullptr;
    }
    // A failed allocation counts as a failed fetch: nothing delivered.
    auto* devices = static_cast<RAWINPUTDEVICE*>(LocalAlloc(LPTR, count * sizeof(RAWINPUTDEVICE)));
    if (!devices) {
        count = 0;
        return nullptr;
    }
    UINT room = count;
    UINT delivered = GetRegisteredRawInputDevices(devices, &room, sizeof(RAWINPUTDEVICE));
    if (delivered == static_cast<UINT>(-1) || delivered == 0) {
        LocalFree(devices);
        count = 0;
        return nullptr;
    }
    count = delivered < count ? delivered : count;
    return devices;
}

} // namespace

extern "C" void __cdecl GetRawInputState() noexcept {
    HookStateRecord& s = HookState;
    UINT count = 0;
    RAWINPUTDEVICE* devices = FetchRegistrations(count);
    s.RawMouseNoLegacy = false;
    s.RawKeyboardNoLegacy = false;
    for (UINT i = 0; i < count && !(s.RawMouseNoLegacy && s.RawKeyboardNoLegacy); ++i) {
        const RAWINPUTDEVICE& d = devices[i];
        if (d.usUsagePage != kGenericDesktop || !(d.dwFlags & kNoLegacyBits))
            continue;
        if (d.usUsage == kUsageMouse)
            s.RawMouseNoLegacy = true;
        else if (d.usUsage == kUsageKeyboard)
            s.RawKeyboardNoLegacy = true;
    }
    LocalFree(devices);
}

extern "C" void __cdecl InputActiveStateTransitionHook() noexcept {
    HookStateRecord& s = HookState;
    bool previous = s.LastInputActive;
    s.ActiveRenderModule = FindActiveRenderProxy(s.ActiveRenderModule, &s.BindingLock);
    bool active = QueryOverlayInputActive(s.ActiveRenderModule, &s.BindingLock);
    s.LastInputActive = active;
    if (active == previous)
        return;

    if (active) {
        s.TakeoverPending = true;
        // The count goes to 0 before the array it sizes is freed, and a new array is in place
        // before its count is set, so a turn-off running meanwhile never registers more records
        // than the array it reads holds.
        s.SavedRawDeviceCount = 0;
        LocalFree(s.SavedRawDevices);
        s.SavedRawDevices = nullptr;
        UINT count = 0;
        RAWINPUTDEVICE* saved = FetchRegistrations(count);
        s.SavedRawDevices = saved;
        s.SavedRawDeviceCount = count;
        if (count == 0)
            return;
        // Without room for the removal records nothing is removed, as if the removal failed;
        // the registrations stay saved and the turn-off registers them again unchanged.
        auto* removal =
            static_cast<RAWINPUTDEVICE*>(LocalAlloc(LPTR, count * sizeof(RAWINPUTDEVICE)));
        if (!removal)
            return;
        for (UINT i = 0; i < count; ++i) {
            removal[i].usUsagePage = saved[i].usUsagePage;
            removal[i].usUsage = saved[i].usUsage;
            removal[i].dwFlags = RIDEV_REMOVE;
            removal[i].hwndTarget = nullptr;
        }
        RegisterRawInputDevices(removal, count, sizeof(RAWINPUTDEVICE));
        LocalFree(removal);
    } else {
        s.ReleasePending = true;
        if (s.SavedRawDeviceCount != 0)
            RegisterRawInputDevices(s.SavedRawDevices, s.SavedRawDeviceCount,
                                    sizeof(RAWINPUTDEVICE));
    }
}

} // namespace korvex
