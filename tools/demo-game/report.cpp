// The demo game's report lines: input messages as the window procedure sees them (client
// coordinates for the mouse, the raw record's type and virtual key for WM_INPUT) and the state
// of the cursor and of the raw-input registrations.
#include "report.h"

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

void Say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::printf("\n");
    std::fflush(stdout);
}

namespace {

const char* KeyName(UINT message) {
    switch (message) {
    case WM_KEYDOWN:
        return "WM_KEYDOWN";
    case WM_KEYUP:
        return "WM_KEYUP";
    case WM_SYSKEYDOWN:
        return "WM_SYSKEYDOWN";
    case WM_SYSKEYUP:
        return "WM_SYSKEYUP";
    default:
        return nullptr;
    }
}

const char* MouseName(UINT message) {
    switch (message) {
    case WM_MOUSEMOVE:
        return "WM_MOUSEMOVE";
    case WM_LBUTTONDOWN:
        return "WM_LBUTTONDOWN";
    case WM_LBUTTONUP:
        return "WM_LBUTTONUP";
    case WM_RBUTTONDOWN:
        return "WM_RBUTTONDOWN";
    case WM_RBUTTONUP:
        return "WM_RBUTTONUP";
    case WM_MBUTTONDOWN:
        return "WM_MBUTTONDOWN";
    case WM_MBUTTONUP:
        return "WM_MBUTTONUP";
    default:
        return nullptr;
    }
}

void ReportRawInput(const char* name, LPARAM handle) {
    UINT size = 0;
    HRAWINPUT input = reinterpret_cast<HRAWINPUT>(handle);
    if (GetRawInputData(input, RID_INPUT, nullptr, &size, sizeof(RAWINPUTHEADER)) != 0)
        return;
    std::vector<BYTE> buffer(size);
    if (GetRawInputData(input, RID_INPUT, buffer.data(), &size, sizeof(RAWINPUTHEADER)) != size)
        return;
    const RAWINPUT* raw = reinterpret_cast<const RAWINPUT*>(buffer.data());
    if (raw->header.dwType == RIM_TYPEKEYBOARD)
        Say("msg WM_INPUT win=%s type=keyboard vkey=0x%X message=0x%X", name,
            raw->data.keyboard.VKey, raw->data.keyboard.Message);
    else if (raw->header.dwType == RIM_TYPEMOUSE)
        Say("msg WM_INPUT win=%s type=mouse flags=0x%X dx=%ld dy=%ld buttons=0x%X", name,
            raw->data.mouse.usFlags, raw->data.mouse.lLastX, raw->data.mouse.lLastY,
            raw->data.mouse.usButtonFlags);
    else
        Say("msg WM_INPUT win=%s type=%lu", name, raw->header.dwType);
}

// "mouse:0x30:main,keyboard:0x0:main", or "none".
std::string RawRegistrations(HWND mainWindow) {
    UINT count = 0;
    GetRegisteredRawInputDevices(nullptr, &count, sizeof(RAWINPUTDEVICE));
    std::vector<RAWINPUTDEVICE> devices(count);
    if (count > 0) {
        UINT got = GetRegisteredRawInputDevices(devices.data(), &count, sizeof(RAWINPUTDEVICE));
        devices.resize(got == static_cast<UINT>(-1) ? 0 : got);
    }
    std::string list;
    for (const RAWINPUTDEVICE& d : devices) {
        char item[96];
        char usage[32];
        if (d.usUsagePage == 1 && d.usUsage == 2)
            std::snprintf(usage, sizeof usage, "mouse");
        else if (d.usUsagePage == 1 && d.usUsage == 6)
            std::snprintf(usage, sizeof usage, "keyboard");
        else
            std::snprintf(usage, sizeof usage, "%u/%u", d.usUsagePage, d.usUsage);
        char target[32];
        if (d.hwndTarget == mainWindow)
            std::snprintf(target, sizeof target, "main");
        else
            std::snprintf(target, sizeof target, "%p", static_cast<void*>(d.hwndTarget));
        std::snprintf(item, sizeof item, "%s%s:0x%lX:%s", list.empty() ? "" : ",", usage, d.dwFlags,
                      target);
        list += item;
    }
    return list.empty() ? "none" : list;
}

} // namespace

void ReportInput(const char* name, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (const char* key = KeyName(message)) {
        Say("msg %s win=%s vk=0x%X lparam=0x%08lX", key, name, static_cast<unsigned>(wParam),
            static_cast<unsigned long>(lParam));
    } else if (message == WM_CHAR) {
        Say("msg WM_CHAR win=%s char=0x%X", name, static_cast<unsigned>(wParam));
    } else if (const char* mouse = MouseName(message)) {
        Say("msg %s win=%s x=%d y=%d", mouse, name, static_cast<short>(LOWORD(lParam)),
            static_cast<short>(HIWORD(lParam)));
    } else if (message == WM_MOUSEWHEEL) {
        // The wheel's position comes in screen coordinates.
        POINT p = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        ScreenToClient(window, &p);
        Say("msg WM_MOUSEWHEEL win=%s x=%ld y=%ld delta=%d", name, p.x, p.y,
            static_cast<short>(HIWORD(wParam)));
    } else if (message == WM_INPUT) {
        ReportRawInput(name, lParam);
    }
}

void ReportState(WPARAM id, HCURSOR gameCursor, HWND mainWindow) {
    HCURSOR cursor = GetCursor();
    const char* shape = cursor == LoadCursorA(nullptr, IDC_ARROW) ? "arrow"
                        : cursor == gameCursor                    ? "game"
                        : cursor == nullptr                       ? "none"
                                                                  : "other";
    // ShowCursor answers with the new counter; the pair leaves it as it was.
    int counter = ShowCursor(FALSE) + 1;
    ShowCursor(TRUE);
    POINT pos = {};
    GetCursorPos(&pos);
    Say("state id=%u shape=%s counter=%d pos=%ld,%ld raw=%s", static_cast<unsigned>(id), shape,
        counter, pos.x, pos.y, RawRegistrations(mainWindow).c_str());
}
