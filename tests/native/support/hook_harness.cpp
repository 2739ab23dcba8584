#include "support/hook_harness.h"

#include "hooks/exports.h"
#include "link/messages.h"
#include "support/fake_proxy.h"

#include <sim/hooks.h>
#include <sim/input.h>
#include <sim/window_tree.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

namespace {
constexpr DWORD kPipeNumber = 7;
}

void HookHarness::SetUp() {
    ASSERT_EQ(DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr), TRUE);
    window = sim::AddWindow(nullptr, GetCurrentProcessId(), GetCurrentThreadId(), "Game");
    sim::SetClientArea(window, kLeft, kTop, kWidth, kHeight);
    sim::SetForeground(window);

    char name[kPipeNameSize];
    MakePipeName(name, kPipeNumber);
    overlay.handle = CreateNamedPipeA(
        name, PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
        PIPE_UNLIMITED_INSTANCES, kPipeBufferSize, kPipeBufferSize, 0, nullptr);
    ASSERT_TRUE(IsPipeOpen(overlay));
    ConnectPipeClient(game, kPipeNumber);
    ASSERT_TRUE(IsPipeOpen(game));

    fake_proxy::pipe = game.handle;
    fake_proxy::window = window;
    fake_proxy::inputActive = 0;
    fake_proxy::Install();
    sim::SetNextHookResult(42); // what the rest of the chain answers for a message passed on
}

void HookHarness::TearDown() {
    ClosePipe(game);
    ClosePipe(overlay);
}

LRESULT HookHarness::Mouse(int code, UINT message, LONG x, LONG y, DWORD mouseData) {
    MOUSEHOOKSTRUCTEX record{};
    record.pt = POINT{x, y};
    record.hwnd = window;
    record.mouseData = mouseData;
    return mouseHook(code, message, reinterpret_cast<LPARAM>(&record));
}

LRESULT HookHarness::RawInput(const RAWINPUT& record) {
    MSG msg{};
    msg.hwnd = window;
    msg.message = WM_INPUT;
    msg.lParam = reinterpret_cast<LPARAM>(sim::QueueRawInput(record));
    return getmsgHook(HC_ACTION, 1, reinterpret_cast<LPARAM>(&msg));
}

bool HookHarness::OverlayHasData() {
    return PipeHasData(overlay);
}

bool HookHarness::NextMouse(MouseRecord& out) {
    DWORD type = 0;
    if (!PipeHasData(overlay) || !PeekMessageType(overlay, type))
        return false;
    EXPECT_EQ(type, static_cast<DWORD>(MessageType::MouseInput));
    return ReadMouseInput(overlay, out.message, out.x, out.y, out.wheelDelta, out.time,
                          out.keys.data());
}

bool HookHarness::NextKey(KeyRecord& out) {
    DWORD type = 0;
    if (!PipeHasData(overlay) || !PeekMessageType(overlay, type))
        return false;
    EXPECT_EQ(type, static_cast<DWORD>(MessageType::KeyboardInput));
    return ReadKeyboardInput(overlay, out.virtualKey, out.keyFlags, out.keys.data());
}

RAWINPUT RawKey(USHORT vkey, UINT message, USHORT makeCode, USHORT flags) {
    RAWINPUT r{};
    r.header.dwType = RIM_TYPEKEYBOARD;
    r.data.keyboard.MakeCode = makeCode;
    r.data.keyboard.Flags = flags;
    r.data.keyboard.VKey = vkey;
    r.data.keyboard.Message = message;
    return r;
}

RAWINPUT RawMouse(USHORT flags, LONG x, LONG y) {
    RAWINPUT r{};
    r.header.dwType = RIM_TYPEMOUSE;
    r.data.mouse.usFlags = flags;
    r.data.mouse.lLastX = x;
    r.data.mouse.lLastY = y;
    return r;
}
