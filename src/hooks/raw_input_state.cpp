// The game's raw-input registrations: GetRawInputState records whether the game takes its mouse
// or keyboard as raw input only (RIDEV_NOLEGACY bits); InputActiveStateTransitionHook saves and
// removes the registrations when the overlay's input turns on, restores them when it turns off,
// and requests the cursor take-over and release.
#include "binding/render_proxy.h"
#include "hooks/exports.h"
#include "hooks/hook_state.h"

#include <cstdlib>

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
    auto* devices = static_cast<RAWINPUTDEVICE*>(std::calloc(count, sizeof(RAWINPUTDEVICE)));
    if (!devices) {
        count = 0;
        return nullptr;
    }
    UINT room = count;
    UINT delivered = GetRegisteredRawInputDevices(devices, &room, sizeof(RAWINPUTDEVICE));
    if (delivered == static_cast<UINT>(-1) || delivered == 0) {
        std::free(devices);
        count = 0;
        return nullptr;
    }
    count = delivered < count ? delivered : count;
    return devices;
}

} // namespace

extern "C" void __cdecl GetRawInputState() {
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
    std::free(devices);
}

extern "C" void __cdecl InputActiveStateTransitionHook() {
    HookStateRecord& s = HookState;
    bool previous = s.LastInputActive;
    s.ActiveRenderModule = FindActiveRenderProxy(s.ActiveRenderModule, &s.BindingLock);
    bool active = QueryOverlayInputActive(s.ActiveRenderModule, &s.BindingLock);
    s.LastInputActive = active;
    if (active == previous)
        return;

    if (active) {
        s.TakeoverPending = true;
        std::free(s.SavedRawDevices);
        s.SavedRawDevices = nullptr;
        UINT count = 0;
        s.SavedRawDevices = FetchRegistrations(count);
        s.SavedRawDeviceCount = count;
        if (count == 0)
            return;
        auto* removal = static_cast<RAWINPUTDEVICE*>(std::calloc(count, sizeof(RAWINPUTDEVICE)));
        if (!removal)
            return;
        for (UINT i = 0; i < count; ++i) {
            removal[i].usUsagePage = s.SavedRawDevices[i].usUsagePage;
            removal[i].usUsage = s.SavedRawDevices[i].usUsage;
            removal[i].dwFlags = RIDEV_REMOVE;
            removal[i].hwndTarget = nullptr;
        }
        RegisterRawInputDevices(removal, count, sizeof(RAWINPUTDEVICE));
        std::free(removal);
    } else {
        s.ReleasePending = true;
        if (s.SavedRawDeviceCount != 0)
            RegisterRawInputDevices(s.SavedRawDevices, s.SavedRawDeviceCount,
                                    sizeof(RAWINPUTDEVICE));
    }
}
