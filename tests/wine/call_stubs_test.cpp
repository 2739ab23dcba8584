// The call stubs reaching the real VelKorvexHooks.dll (i686 or x86_64) under Wine, from a
// program that plays both game and render proxy: the reference proxy (d3d11.dll) is the active
// renderer, the installers set the real hooks on this thread, and real input (SendInput) drives
// them.
#include "binding/hook_install.h"
#include "binding/hook_stubs.h"

#include "../../tools/render-proxy/render_proxy_fixture.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>

namespace {

UINT LastMouseMove = 0; // WM_MOUSEMOVE count seen by the window procedure
UINT KeyUps = 0;

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_MOUSEMOVE)
        ++LastMouseMove;
    if (message == WM_KEYUP)
        ++KeyUps;
    if (message == WM_SETCURSOR)
        return TRUE; // the test decides the shape
    return DefWindowProcA(window, message, wParam, lParam);
}

// Dispatches this thread's messages until `done` holds or 3 s have passed.
bool PumpUntil(const std::function<bool()>& done) {
    DWORD begin = GetTickCount();
    while (!done() && GetTickCount() - begin < 3000) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(5);
    }
    return done();
}

void MoveTo(LONG x, LONG y) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = (x * 65536 + GetSystemMetrics(SM_CXSCREEN) - 1) / GetSystemMetrics(SM_CXSCREEN);
    input.mi.dy = (y * 65536 + GetSystemMetrics(SM_CYSCREEN) - 1) / GetSystemMetrics(SM_CYSCREEN);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &input, sizeof input);
}

void PressKey(WORD vk) {
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = vk;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof input[0]);
}

int CursorCounter() {
    int counter = ShowCursor(FALSE);
    ShowCursor(TRUE);
    return counter + 1;
}

} // namespace

TEST(CallStubsWine, StubsDriveTheRealModuleWhoseHooksSeeRealInputOnThisThread) {
    CRITICAL_SECTION lock;
    InitializeCriticalSection(&lock);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = Procedure;
    windowClass.lpszClassName = "KorvexStubsTest";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "KorvexStubsTest", "Korvex stubs test", WS_POPUP | WS_VISIBLE,
                                  200, 150, 320, 240, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    SetForegroundWindow(window);

    HMODULE proxy = LoadLibraryA("d3d11.dll");
    ASSERT_NE(proxy, nullptr);
    auto setState = reinterpret_cast<ProxySetStateProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(proxy, "ProxySetState")));
    ASSERT_NE(setState, nullptr);
    ProxyFixtureState state = {};
    state.renderProxyActive = 1;
    state.gamePipe = INVALID_HANDLE_VALUE;
    state.outputWindow = window;
    setState(&state);

    // The first stub call loads the module from this program's folder by its bare name.
    EXPECT_EQ(GetModuleHandleA("VelKorvexHooks.dll"), nullptr);
    CallCheckFocus(&lock);
    HMODULE hooks = GetModuleHandleA("VelKorvexHooks.dll");
    ASSERT_NE(hooks, nullptr);
    char path[MAX_PATH] = {};
    GetModuleFileNameA(hooks, path, MAX_PATH);
    EXPECT_NE(std::string(path).find("\\bin\\VelKorvexHooks.dll"), std::string::npos) << path;

    HHOOK keyboard = nullptr, mouse = nullptr, getmsg = nullptr;
    ASSERT_TRUE(InstallInputHooks(GetCurrentThreadId(), &lock, keyboard, mouse, getmsg));

    // Overlay input off: the mouse hook keeps the tracked position on the real pointer.
    UINT moves = LastMouseMove;
    MoveTo(260, 200);
    ASSERT_TRUE(PumpUntil([&] { return LastMouseMove > moves; }));
    POINT tracked = {-1, -1};
    CallTrackedCursorPos(&lock, tracked);
    EXPECT_EQ(tracked.x, 260);
    EXPECT_EQ(tracked.y, 200);
    CallEndOfFrameHook(&lock); // absolute tracking: the frame end leaves the position alone
    CallTrackedCursorPos(&lock, tracked);
    EXPECT_EQ(tracked.x, 260);

    // Input on: the transition export requests the take-over; the next hooked input performs
    // it on this thread and the move inside the window is swallowed.
    HCURSOR gameCursor = LoadCursorA(nullptr, IDC_CROSS);
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    SetCursor(gameCursor);
    int counter = CursorCounter();
    state.overlayInputActive = 1;
    setState(&state);
    CallInputActiveStateTransitionHook(&lock);
    CallGetRawInputState(&lock);
    moves = LastMouseMove;
    MoveTo(300, 220);
    EXPECT_TRUE(PumpUntil([&] { return GetCursor() == arrow; }));
    EXPECT_EQ(CursorCounter(), counter + 1);
    EXPECT_TRUE(PumpUntil([&] {
        CallTrackedCursorPos(&lock, tracked);
        return tracked.x == 300 && tracked.y == 220;
    }));
    EXPECT_EQ(LastMouseMove, moves);

    // Input off: the next hooked input on this (the owner) thread gives the game's cursor back.
    state.overlayInputActive = 0;
    setState(&state);
    CallInputActiveStateTransitionHook(&lock);
    UINT keyUps = KeyUps;
    PressKey('K');
    EXPECT_TRUE(PumpUntil([&] { return KeyUps > keyUps; }));
    EXPECT_EQ(GetCursor(), gameCursor);
    EXPECT_EQ(CursorCounter(), counter);

    // PipeResetHook with no pipe anywhere: the next send finds none and nothing breaks.
    CallPipeResetHook(&lock);
    keyUps = KeyUps;
    PressKey('L');
    EXPECT_TRUE(PumpUntil([&] { return KeyUps > keyUps; }));

    RemoveInputHooks(keyboard, mouse, getmsg);
    EXPECT_EQ(keyboard, nullptr);
    EXPECT_EQ(getmsg, nullptr);
    // The window stays up: under Wine without a window manager, hiding it costs about 2 s.
    DeleteCriticalSection(&lock);
}
