// The real DLL (i686 or x86_64) under Wine: its hook procedures called directly with real
// arguments while the reference render proxy lends a real pipe and a real window, the records
// read off the pipe's other end, and the cursor take-over and release seen through the real
// cursor calls.
#include "link/messages.h"

#include "../../tools/render-proxy/render_proxy_fixture.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

template <class Proc> Proc Export(HMODULE module, const char* name) {
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

typedef void(__cdecl* VoidExport)();

constexpr DWORD kPipeNumber = 4711;

DWORD WINAPI ServeOnce(LPVOID holder) {
    return CreatePipeServer(*static_cast<GamePipe*>(holder), kPipeNumber) ? 0 : 1;
}

// Display counter of this thread's cursor, read without changing it.
int CursorCounter() {
    int counter = ShowCursor(FALSE);
    ShowCursor(TRUE);
    return counter + 1;
}

POINT SettledCursorPos() {
    POINT p = {};
    POINT last = {-1, -1};
    for (int i = 0; i < 50; ++i) {
        GetCursorPos(&p);
        if (p.x == last.x && p.y == last.y)
            break;
        last = p;
        Sleep(10);
    }
    return p;
}

class HookProceduresWine : public ::testing::Test {
  protected:
    void SetUp() override {
        window = CreateWindowExA(0, "STATIC", "Korvex hook test", WS_POPUP | WS_VISIBLE, 200, 150,
                                 320, 240, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        SetForegroundWindow(window);

        HANDLE server = CreateThread(nullptr, 0, ServeOnce, &overlay, 0, nullptr);
        for (int i = 0; i < 200 && !IsPipeOpen(game); ++i) {
            ConnectPipeClient(game, kPipeNumber);
            if (!IsPipeOpen(game))
                Sleep(10);
        }
        ASSERT_EQ(WaitForSingleObject(server, 10000), WAIT_OBJECT_0);
        CloseHandle(server);
        ASSERT_TRUE(IsPipeOpen(game));
        ASSERT_TRUE(IsPipeOpen(overlay));

        proxy = LoadLibraryA("d3d11.dll");
        ASSERT_NE(proxy, nullptr);
        state = ProxyFixtureState{};
        state.renderProxyActive = 1;
        state.gamePipe = game.handle;
        state.outputWindow = window;
        SetOverlayInput(false);

        hooks = LoadLibraryA("VelKorvexHooks.dll");
        ASSERT_NE(hooks, nullptr) << GetLastError();
        keyboardHook = Export<HOOKPROC>(hooks, "keyboardHook");
        mouseHook = Export<HOOKPROC>(hooks, "mouseHook");
        transition = Export<VoidExport>(hooks, "InputActiveStateTransitionHook");
        ASSERT_TRUE(keyboardHook && mouseHook && transition);
    }

    void TearDown() override {
        ClosePipe(game);
        DisconnectPipe(overlay);
        DestroyWindow(window);
    }

    void SetOverlayInput(bool on) {
        state.overlayInputActive = on;
        Export<ProxySetStateProc>(proxy, "ProxySetState")(&state);
    }

    LRESULT Mouse(UINT message, LONG x, LONG y) {
        MOUSEHOOKSTRUCTEX record = {};
        record.pt = POINT{x, y};
        record.hwnd = window;
        return mouseHook(HC_ACTION, message, reinterpret_cast<LPARAM>(&record));
    }

    HWND window = nullptr;
    HMODULE proxy = nullptr, hooks = nullptr;
    ProxyFixtureState state = {};
    GamePipe overlay, game;
    HOOKPROC keyboardHook = nullptr, mouseHook = nullptr;
    VoidExport transition = nullptr;
};

} // namespace

TEST_F(HookProceduresWine, KeysAreForwardedAlwaysAndSwallowedOnlyWhileTheOverlayHasInput) {
    BYTE keys[256] = {};
    EXPECT_NE(keyboardHook(HC_ACTION, 'K', 0x00250001), 1);
    SetOverlayInput(true);
    EXPECT_EQ(keyboardHook(HC_ACTION, 'L', 0x00260001), 1);

    DWORD type = 0, virtualKey = 0, flags = 0;
    ASSERT_TRUE(PeekMessageType(overlay, type));
    EXPECT_EQ(type, static_cast<DWORD>(MessageType::KeyboardInput));
    ASSERT_TRUE(ReadKeyboardInput(overlay, virtualKey, flags, keys));
    EXPECT_EQ(virtualKey, static_cast<DWORD>('K'));
    EXPECT_EQ(flags, 0x00250001u);
    ASSERT_TRUE(ReadKeyboardInput(overlay, virtualKey, flags, keys));
    EXPECT_EQ(virtualKey, static_cast<DWORD>('L'));
    EXPECT_FALSE(PipeHasData(overlay));
}

TEST_F(HookProceduresWine, MouseRecordsCarryClientCoordinatesAndOnlyInsideIsSwallowed) {
    POINT origin = {0, 0};
    ASSERT_TRUE(ClientToScreen(window, &origin));
    SetOverlayInput(true);
    EXPECT_EQ(Mouse(WM_LBUTTONDOWN, origin.x + 10, origin.y + 20), 1);
    EXPECT_NE(Mouse(WM_LBUTTONDOWN, origin.x + 320, origin.y + 20), 1); // right edge: outside

    DWORD message = 0, time = 0;
    int32_t x = 0, y = 0, wheel = 0;
    BYTE keys[256];
    ASSERT_TRUE(ReadMouseInput(overlay, message, x, y, wheel, time, keys));
    EXPECT_EQ(message, static_cast<DWORD>(WM_LBUTTONDOWN));
    EXPECT_EQ(x, 10);
    EXPECT_EQ(y, 20);
    ASSERT_TRUE(ReadMouseInput(overlay, message, x, y, wheel, time, keys));
    EXPECT_EQ(x, 320);
}

TEST_F(HookProceduresWine, TakeoverShowsTheArrowAndReleaseRestoresCursorCounterAndPosition) {
    HCURSOR gameCursor = LoadCursorA(nullptr, IDC_CROSS);
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    SetCursor(gameCursor);
    ShowCursor(FALSE); // the game hides its cursor
    int counterBefore = CursorCounter();
    SetCursorPos(250, 200);
    POINT before = SettledCursorPos();

    SetOverlayInput(true);
    transition();
    keyboardHook(HC_ACTION, VK_SHIFT, 0); // the next hook performs the take-over
    EXPECT_EQ(GetCursor(), arrow);
    EXPECT_EQ(CursorCounter(), counterBefore + 1);

    SetCursorPos(400, 300); // the overlay's user moves the cursor around
    SettledCursorPos();
    SetOverlayInput(false);
    transition();
    keyboardHook(HC_ACTION, VK_SHIFT, 0);
    EXPECT_EQ(GetCursor(), gameCursor);
    EXPECT_EQ(CursorCounter(), counterBefore);
    POINT after = SettledCursorPos();
    EXPECT_EQ(after.x, before.x);
    EXPECT_EQ(after.y, before.y);
    ShowCursor(TRUE);
}
