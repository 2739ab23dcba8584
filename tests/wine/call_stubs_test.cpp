// The call stubs and installers against the real VelKorvexHooks.dll under Wine, from a program
// that plays both game and render proxy (the reference proxy, d3d11.dll, is the active
// renderer): the stubs load the module from this program's folder by its bare name, the
// installers set its real hooks on this thread, and the proxy answers with whole registers: 2
// and then 1 are one turn-on, which removes the game's raw-input registration and takes the
// cursor over at the next real input, and 0x100 (low byte 0) is the turn-off that gives both back.
#include "binding/hook_install.h"
#include "binding/hook_stubs.h"

#include "../../tools/render-proxy/render_proxy_fixture.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

using namespace korvex;

namespace {

UINT KeyUps = 0; // WM_KEYUP seen by the game's window procedure

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    KeyUps += message == WM_KEYUP;
    if (message == WM_SETCURSOR)
        return TRUE; // the test decides the shape
    return DefWindowProcA(window, message, wParam, lParam);
}

// Types a key and dispatches this thread's messages until `done` holds or 3 s have passed.
template <class Done> bool PressKeyUntil(Done done) {
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = 'K';
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof input[0]);
    for (DWORD begin = GetTickCount(); !done() && GetTickCount() - begin < 3000; Sleep(5)) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
    }
    return done();
}

} // namespace

TEST(CallStubsWine, RealModuleFoundByNameTakesAndGivesBackRawInputAndCursorOnByteAnswers) {
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

    EXPECT_EQ(GetModuleHandleA("VelKorvexHooks.dll"), nullptr);
    CallCheckFocus(&lock);
    char path[MAX_PATH] = {};
    GetModuleFileNameA(GetModuleHandleA("VelKorvexHooks.dll"), path, MAX_PATH);
    EXPECT_NE(std::string(path).find("\\bin\\VelKorvexHooks.dll"), std::string::npos) << path;
    HHOOK keyboard = nullptr, mouse = nullptr, getmsg = nullptr;
    ASSERT_TRUE(InstallInputHooks(GetCurrentThreadId(), &lock, keyboard, mouse, getmsg));

    RAWINPUTDEVICE device = {1, 6, RIDEV_INPUTSINK, window};
    ASSERT_TRUE(RegisterRawInputDevices(&device, 1, sizeof device));
    HCURSOR gameCursor = LoadCursorA(nullptr, IDC_CROSS), arrow = LoadCursorA(nullptr, IDC_ARROW);
    SetCursor(gameCursor);
    for (int32_t answer : {2, 1, 0x100}) {
        state.overlayInputActive = answer;
        setState(&state);
        CallInputActiveStateTransitionHook(&lock);
        bool on = answer != 0x100;
        RAWINPUTDEVICE registered = {};
        UINT count = 1;
        EXPECT_EQ(GetRegisteredRawInputDevices(&registered, &count, sizeof registered),
                  on ? 0u : 1u)
            << answer;
        EXPECT_TRUE(PressKeyUntil([&] { return GetCursor() == (on ? arrow : gameCursor); }))
            << answer;
        if (!on) {
            EXPECT_EQ(registered.hwndTarget, window); // restored as it was
            UINT keyUps = KeyUps;
            EXPECT_TRUE(PressKeyUntil([&] { return KeyUps > keyUps; })); // keys reach the game
        }
    }
    RemoveInputHooks(keyboard, mouse, getmsg);
    // The window stays up: under Wine without a window manager, hiding it costs about 2 s.
    DeleteCriticalSection(&lock);
}
