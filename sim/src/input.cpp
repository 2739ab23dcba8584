// Simulated cursor (shape, display counter, position), keyboard state, and raw input (records
// behind WM_INPUT handles, and the process's device registrations, honouring RIDEV_REMOVE).
#include "internal.h"

#include <sim/input.h>

#include <cstring>
#include <map>
#include <mutex>

namespace sim {
namespace {

HCURSOR const arrowCursor = reinterpret_cast<HCURSOR>(0x10011);

struct InputState {
    std::mutex mutex;
    HCURSOR cursor = nullptr;
    int displayCount = 0;
    POINT position = {0, 0};
    BYTE keys[256] = {};
    std::map<HRAWINPUT, RAWINPUT> records;
    uintptr_t nextRecord = 0x20000;
    bool shortenNextFill = false;
    std::vector<RAWINPUTDEVICE> registrations;
    std::vector<std::vector<RAWINPUTDEVICE>> registerCalls;
};

InputState& state() {
    static InputState* instance = new InputState;
    return *instance;
}

UINT RecordSize(const RAWINPUT& record) {
    switch (record.header.dwType) {
    case RIM_TYPEMOUSE:
        return sizeof(RAWINPUTHEADER) + sizeof(RAWMOUSE);
    case RIM_TYPEKEYBOARD:
        return sizeof(RAWINPUTHEADER) + sizeof(RAWKEYBOARD);
    default:
        return sizeof(RAWINPUTHEADER) + sizeof(RAWHID);
    }
}

} // namespace

int CursorDisplayCount() {
    std::lock_guard<std::mutex> guard(state().mutex);
    return state().displayCount;
}

POINT CursorPosition() {
    std::lock_guard<std::mutex> guard(state().mutex);
    return state().position;
}

HCURSOR MakeGameCursor(int n) {
    return reinterpret_cast<HCURSOR>(0x30000 + 0x10 * n);
}

void SetKeyboardState(const BYTE (&keys)[256]) {
    std::lock_guard<std::mutex> guard(state().mutex);
    std::memcpy(state().keys, keys, sizeof keys);
}

HRAWINPUT QueueRawInput(const RAWINPUT& record) {
    std::lock_guard<std::mutex> guard(state().mutex);
    HRAWINPUT handle = reinterpret_cast<HRAWINPUT>(state().nextRecord);
    state().nextRecord += 8;
    RAWINPUT copy = record;
    copy.header.dwSize = RecordSize(record);
    state().records[handle] = copy;
    return handle;
}

void ShortenNextRawInputFill() {
    std::lock_guard<std::mutex> guard(state().mutex);
    state().shortenNextFill = true;
}

std::vector<RAWINPUTDEVICE> RawInputRegistrations() {
    std::lock_guard<std::mutex> guard(state().mutex);
    return state().registrations;
}

const std::vector<std::vector<RAWINPUTDEVICE>>& RegisterRawInputCalls() {
    return state().registerCalls;
}

void AddRawInputRegistration(USHORT page, USHORT usage, DWORD flags, HWND target) {
    std::lock_guard<std::mutex> guard(state().mutex);
    state().registrations.push_back(RAWINPUTDEVICE{page, usage, flags, target});
}

} // namespace sim

using sim::state;

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
    if (sim::Fails("LoadCursorA"))
        return nullptr;
    if (instance == nullptr && name == IDC_ARROW)
        return sim::arrowCursor;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
}

HCURSOR SetCursor(HCURSOR cursor) {
    if (sim::Fails("SetCursor"))
        return nullptr;
    std::lock_guard<std::mutex> guard(state().mutex);
    HCURSOR previous = state().cursor;
    state().cursor = cursor;
    return previous;
}

HCURSOR GetCursor() {
    sim::Fails("GetCursor");
    std::lock_guard<std::mutex> guard(state().mutex);
    return state().cursor;
}

int ShowCursor(BOOL show) {
    sim::Fails("ShowCursor");
    std::lock_guard<std::mutex> guard(state().mutex);
    state().displayCount += show ? 1 : -1;
    return state().displayCount;
}

BOOL GetCursorPos(LPPOINT point) {
    if (sim::Fails("GetCursorPos"))
        return FALSE;
    std::lock_guard<std::mutex> guard(state().mutex);
    *point = state().position;
    return TRUE;
}

BOOL SetCursorPos(int x, int y) {
    if (sim::Fails("SetCursorPos"))
        return FALSE;
    std::lock_guard<std::mutex> guard(state().mutex);
    state().position = POINT{x, y};
    return TRUE;
}

BOOL GetKeyboardState(PBYTE keyState) {
    if (sim::Fails("GetKeyboardState"))
        return FALSE;
    std::lock_guard<std::mutex> guard(state().mutex);
    std::memcpy(keyState, state().keys, 256);
    return TRUE;
}

UINT GetRawInputData(HRAWINPUT rawInput, UINT command, LPVOID data, PUINT size, UINT headerSize) {
    if (sim::Fails("GetRawInputData"))
        return static_cast<UINT>(-1);
    std::lock_guard<std::mutex> guard(state().mutex);
    auto it = state().records.find(rawInput);
    if (command != RID_INPUT || headerSize != sizeof(RAWINPUTHEADER) || !size ||
        it == state().records.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return static_cast<UINT>(-1);
    }
    UINT needed = it->second.header.dwSize;
    if (!data) {
        *size = needed;
        return 0;
    }
    if (*size < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return static_cast<UINT>(-1);
    }
    UINT delivered = needed;
    if (state().shortenNextFill) {
        state().shortenNextFill = false;
        --delivered;
    }
    std::memcpy(data, &it->second, delivered);
    return delivered;
}

UINT GetRegisteredRawInputDevices(PRAWINPUTDEVICE devices, PUINT count, UINT size) {
    if (sim::Fails("GetRegisteredRawInputDevices"))
        return static_cast<UINT>(-1);
    std::lock_guard<std::mutex> guard(state().mutex);
    if (size != sizeof(RAWINPUTDEVICE) || !count) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return static_cast<UINT>(-1);
    }
    UINT registered = static_cast<UINT>(state().registrations.size());
    if (!devices) {
        *count = registered;
        return 0;
    }
    if (*count < registered) {
        *count = registered;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return static_cast<UINT>(-1);
    }
    std::memcpy(devices, state().registrations.data(), registered * sizeof(RAWINPUTDEVICE));
    return registered;
}

BOOL RegisterRawInputDevices(PCRAWINPUTDEVICE devices, UINT count, UINT size) {
    if (sim::Fails("RegisterRawInputDevices"))
        return FALSE;
    std::lock_guard<std::mutex> guard(state().mutex);
    if (size != sizeof(RAWINPUTDEVICE) || !devices || count == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    state().registerCalls.emplace_back(devices, devices + count);
    auto& table = state().registrations;
    for (UINT i = 0; i < count; ++i) {
        const RAWINPUTDEVICE& d = devices[i];
        for (auto it = table.begin(); it != table.end();) {
            if (it->usUsagePage == d.usUsagePage && it->usUsage == d.usUsage)
                it = table.erase(it);
            else
                ++it;
        }
        if (!(d.dwFlags & RIDEV_REMOVE))
            table.push_back(d);
    }
    return TRUE;
}
