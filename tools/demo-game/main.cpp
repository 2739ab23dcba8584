// demo-game: a windowed "game" for the end-to-end runs. It renders "frames" on a timer into a
// view window (the render proxy's output window) under a status strip that belongs to the main
// window, so that the view's client origin is not the main window's; it loads the reference render
// proxy as d3d11.dll from its own folder and calls its frame export each frame, hides the system
// cursor and sets its own cursor shape as games do, and reports every input message its window
// procedure receives on standard output.
#include "options.h"
#include "report.h"

#include "../render-proxy/render_proxy_fixture.h"

#include <cstdio>
#include <string>

namespace {

constexpr UINT kStateRequest = WM_APP + 1; // wParam: an id echoed in the state line
constexpr UINT_PTR kFrameTimer = 1;
constexpr UINT_PTR kQuitTimer = 2;

GameOptions Options;
HWND MainWindow = nullptr;
HWND ViewWindow = nullptr;
HCURSOR GameCursor = nullptr;
ProxyFrameProc ProxyFrame = nullptr;
ProxyStopProc ProxyStop = nullptr;
unsigned long Frames = 0;

void __cdecl ProxyLine(const char* line) {
    Say("%s", line);
}

// Ends the game with its windows still up: under Wine without a window manager, taking a shown
// top-level window down waits about 2 s for a window manager that never answers.
void Quit(const char* why) {
    Say("%s", why);
    if (ProxyStop)
        ProxyStop();
    Say("bye frames=%lu", Frames);
    ExitProcess(0);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const char* name = window == ViewWindow ? "view" : "main";
    ReportInput(name, window, message, wParam, lParam);
    switch (message) {
    case WM_SETCURSOR:
        // Like a game: its own shape over its own client area.
        if (LOWORD(lParam) == HTCLIENT) {
            SetCursor(GameCursor);
            return TRUE;
        }
        break;
    case WM_MOUSEWHEEL:
        // Handled where it lands, so that each turn is reported once (not again by the parent).
        return 0;
    case WM_TIMER:
        if (wParam == kFrameTimer) {
            ++Frames;
            if (ProxyFrame)
                ProxyFrame();
        } else if (wParam == kQuitTimer) {
            Quit("quit-after elapsed");
        }
        return 0;
    case WM_CLOSE:
        Quit("closing");
        return 0;
    case kStateRequest:
        ReportState(wParam, GameCursor, MainWindow);
        return 0;
    case WM_DESTROY:
        if (window == MainWindow)
            PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool CreateWindows(HINSTANCE instance, const std::string& title) {
    WNDCLASSA main = {};
    main.lpfnWndProc = WindowProc;
    main.hInstance = instance;
    main.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    main.lpszClassName = "KorvexDemoGame";
    WNDCLASSA view = main;
    view.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    view.lpszClassName = "KorvexDemoView";
    if (!RegisterClassA(&main) || !RegisterClassA(&view))
        return false;
    MainWindow = CreateWindowExA(
        0, "KorvexDemoGame", title.c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, Options.x,
        Options.y, Options.width, Options.height, nullptr, nullptr, instance, nullptr);
    if (MainWindow == nullptr)
        return false;
    RECT client = {};
    GetClientRect(MainWindow, &client);
    ViewWindow = CreateWindowExA(
        0, "KorvexDemoView", "view", WS_CHILD | WS_VISIBLE, 0, Options.statusHeight, client.right,
        client.bottom - Options.statusHeight, MainWindow, nullptr, instance, nullptr);
    return ViewWindow != nullptr;
}

bool RegisterRawInput() {
    RAWINPUTDEVICE devices[2];
    UINT count = 0;
    if (Options.rawMouse)
        devices[count++] = {1, 2, Options.noLegacyMouse ? RIDEV_NOLEGACY : 0u, MainWindow};
    if (Options.rawKeyboard)
        devices[count++] = {1, 6, Options.noLegacyKeyboard ? RIDEV_NOLEGACY : 0u, MainWindow};
    return count == 0 || RegisterRawInputDevices(devices, count, sizeof(RAWINPUTDEVICE));
}

// "left,top,width,height" of a window's client area in screen coordinates.
std::string ClientRectText(HWND window) {
    RECT r = {};
    GetClientRect(window, &r);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    char text[64];
    std::snprintf(text, sizeof text, "%ld,%ld,%ld,%ld", origin.x, origin.y, r.right, r.bottom);
    return text;
}

std::string ProgramFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.rfind('\\') + 1);
}

template <class Proc> Proc Export(HMODULE module, const char* name) {
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

} // namespace

int main(int argc, char** argv) {
    if (!ParseGameOptions(argc, argv, Options))
        return 2;
    DWORD pid = GetCurrentProcessId();
    DWORD pipeNumber = Options.pipeNumber ? Options.pipeNumber : pid;
    std::string title =
        Options.title.empty() ? "Korvex Demo Game " + std::to_string(pid) : Options.title;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    GameCursor = LoadCursorA(nullptr, IDC_CROSS);
    if (!CreateWindows(instance, title)) {
        Say("error creating the windows: %lu", GetLastError());
        return 1;
    }
    if (!RegisterRawInput())
        Say("error registering raw input: %lu", GetLastError());

    std::string proxyPath = ProgramFolder() + Options.proxy;
    HMODULE proxy = LoadLibraryA(proxyPath.c_str());
    auto start = Export<ProxyStartProc>(proxy, "ProxyStart");
    ProxyFrame = Export<ProxyFrameProc>(proxy, "ProxyFrame");
    ProxyStop = Export<ProxyStopProc>(proxy, "ProxyStop");
    if (proxy == nullptr || start == nullptr || ProxyFrame == nullptr) {
        Say("error loading the render proxy %s: %lu", proxyPath.c_str(), GetLastError());
        return 1;
    }

    ShowWindow(MainWindow, SW_SHOW);
    UpdateWindow(MainWindow);
    SetForegroundWindow(MainWindow);
    SetFocus(MainWindow);
    // A game hides the system cursor and draws its own shape.
    ShowCursor(FALSE);
    SetCursor(GameCursor);
    start(pipeNumber, ViewWindow, ProxyLine);

    Say("ready pid=%lu thread=%lu pipe=%lu main=%p view=%p main-client=%s view-client=%s "
        "title=%s",
        pid, GetCurrentThreadId(), pipeNumber, static_cast<void*>(MainWindow),
        static_cast<void*>(ViewWindow), ClientRectText(MainWindow).c_str(),
        ClientRectText(ViewWindow).c_str(), title.c_str());
    SetTimer(MainWindow, kFrameTimer, Options.frameMs, nullptr);
    SetTimer(MainWindow, kQuitTimer, Options.quitAfterMs, nullptr);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    Quit("message loop ended");
    return 0;
}
