#include "support/hook_harness.h"

#include "hooks/exports.h"
#include "link/messages.h"
#include "support/fake_proxy.h"
#include "support/pipe_pair.h"

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

    PipePair pair = ConnectedPair(kPipeNumber);
    ASSERT_TRUE(pair.created);
    overlay = pair.server;
    game = pair.client;

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

// True when the next record waiting at the overlay's end is of `type`, which it then reads.
bool HookHarness::NextIs(MessageType type) {
    DWORD next = 0;
    if (!PipeHasData(overlay) || !PeekMessageType(overlay, next))
        return false;
    EXPECT_EQ(next, static_cast<DWORD>(type));
    return next == static_cast<DWORD>(type);
}

bool HookHarness::NextMouse(MouseRecord& out) {
    return NextIs(MessageType::MouseInput) &&
           ReadMouseInput(overlay, out.message, out.x, out.y, out.wheelDelta, out.time,
                          out.keys.data());
}

bool HookHarness::NextKey(KeyRecord& out) {
    return NextIs(MessageType::KeyboardInput) &&
           ReadKeyboardInput(overlay, out.virtualKey, out.keyFlags, out.keys.data());
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
