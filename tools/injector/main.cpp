// injector: sends real input, scripted from the command line, to the foreground window.
//   key VK | down VK | up VK      a key press (down and up), or one half of it (VK: 0x41 or 65)
//   move X Y                      move the mouse to screen X,Y (absolute)
//   click X Y [left|right|middle] move there, then press and release the button
//   wheel N                       turn the wheel by N notches (120 each; negative: towards you)
//   focus HWND                    SetForegroundWindow (HWND in hex)
//   sleep MS                      wait
//   xkey TITLE KEYSYM             X input through xdotool on the current DISPLAY: focus the X
//                                 window titled TITLE, then type KEYSYM. Under Wine, SendInput
//                                 keeps legacy messages even for RIDEV_NOLEGACY; X input does not.
//   x "COMMANDS"                  one xdotool run with these commands ("mousemove X Y click 1
//                                 ..."): X input in X's order. Under Wine a SendInput move also
//                                 warps the X pointer, and the target program turns the motion
//                                 X reports for it into a second move, which can arrive after
//                                 later input and put the cursor back for a moment.
// Each action is echoed as one line on standard output. Exit code 0 when every action went in.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool Send(INPUT& input) {
    return SendInput(1, &input, sizeof input) == 1;
}

bool Key(WORD vk, bool up) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return Send(input);
}

// Absolute coordinates are normalised to 0..65535 over the primary screen; rounding up makes
// Windows' mapping back (value * width / 65536) land on the pixel asked for.
bool Move(long x, long y) {
    long width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = static_cast<LONG>((x * 65536 + width - 1) / width);
    input.mi.dy = static_cast<LONG>((y * 65536 + height - 1) / height);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    return Send(input);
}

bool Button(DWORD flag) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flag;
    return Send(input);
}

bool Wheel(long notches) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.mouseData = static_cast<DWORD>(notches * WHEEL_DELTA);
    input.mi.dwFlags = MOUSEEVENTF_WHEEL;
    return Send(input);
}

// Runs xdotool with `commands` as one process, so that X carries out its actions in order. Wine
// starts Unix programs given by their Z: path, but gives no waitable handle for them (the wait
// fails): when it cannot be waited for, the action counts as done once started and the caller
// watches for its effect.
bool Xdotool(const std::string& commands) {
    std::string command = "Z:\\usr\\bin\\xdotool " + commands;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    DWORD code = 0;
    if (WaitForSingleObject(process.hProcess, 10000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    if (code != 0)
        std::fprintf(stderr, "injector: xdotool ended with %lu\n", code);
    return code == 0;
}

long Number(const char* text) {
    return std::strtol(text, nullptr, 0);
}

} // namespace

int main(int argc, char** argv) {
    int failures = 0;
    for (int i = 1; i < argc; ++i) {
        const char* verb = argv[i];
        int left = argc - i - 1;
        bool ok = false;
        std::string echo = verb;
        auto take = [&](int count) {
            for (int n = 1; n <= count; ++n)
                echo += std::string(" ") + argv[i + n];
            i += count;
        };
        if ((!std::strcmp(verb, "key") || !std::strcmp(verb, "down") || !std::strcmp(verb, "up")) &&
            left >= 1) {
            WORD vk = static_cast<WORD>(Number(argv[i + 1]));
            ok = verb[0] == 'u' ? Key(vk, true)
                                : Key(vk, false) && (verb[0] == 'd' || Key(vk, true));
            take(1);
        } else if (!std::strcmp(verb, "move") && left >= 2) {
            ok = Move(Number(argv[i + 1]), Number(argv[i + 2]));
            take(2);
        } else if (!std::strcmp(verb, "click") && left >= 2) {
            DWORD down = MOUSEEVENTF_LEFTDOWN, up = MOUSEEVENTF_LEFTUP;
            long x = Number(argv[i + 1]), y = Number(argv[i + 2]);
            take(2);
            if (i + 1 < argc && !std::strcmp(argv[i + 1], "right")) {
                down = MOUSEEVENTF_RIGHTDOWN, up = MOUSEEVENTF_RIGHTUP;
                take(1);
            } else if (i + 1 < argc && !std::strcmp(argv[i + 1], "middle")) {
                down = MOUSEEVENTF_MIDDLEDOWN, up = MOUSEEVENTF_MIDDLEUP;
                take(1);
            } else if (i + 1 < argc && !std::strcmp(argv[i + 1], "left")) {
                take(1);
            }
            ok = Move(x, y) && Button(down) && Button(up);
        } else if (!std::strcmp(verb, "wheel") && left >= 1) {
            ok = Wheel(Number(argv[i + 1]));
            take(1);
        } else if (!std::strcmp(verb, "focus") && left >= 1) {
            HWND window = reinterpret_cast<HWND>(std::strtoull(argv[i + 1], nullptr, 16));
            ok = SetForegroundWindow(window) != FALSE;
            take(1);
        } else if (!std::strcmp(verb, "sleep") && left >= 1) {
            Sleep(static_cast<DWORD>(Number(argv[i + 1])));
            ok = true;
            take(1);
        } else if (!std::strcmp(verb, "xkey") && left >= 2) {
            ok = Xdotool(std::string("search --name \"") + argv[i + 1] +
                         "\" windowfocus sleep 0.1 key " + argv[i + 2]);
            take(2);
        } else if (!std::strcmp(verb, "x") && left >= 1) {
            ok = Xdotool(argv[i + 1]);
            take(1);
        } else {
            std::fprintf(stderr, "injector: cannot use '%s' here\n", verb);
            return 2;
        }
        std::printf("injected %s%s\n", echo.c_str(), ok ? "" : " (failed)");
        std::fflush(stdout);
        failures += ok ? 0 : 1;
    }
    return failures == 0 ? 0 : 1;
}
