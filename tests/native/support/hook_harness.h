// What the hook tests share: the module attached in a fresh directory, a render proxy lending
// the game end of a real (simulated) game pipe, the game's output window, and the overlay's end
// of the pipe to read records from.
#pragma once

#include "link/messages.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <array>

class HookHarness : public ::testing::Test {
  protected:
    // Client area of the output window on the screen: (100, 50), 640 x 480.
    static constexpr LONG kLeft = 100, kTop = 50, kWidth = 640, kHeight = 480;

    void SetUp() override;
    void TearDown() override;

    LRESULT Mouse(int code, UINT message, LONG x, LONG y, DWORD mouseData = 0);
    // A WM_INPUT message carrying `record` through getmsgHook.
    LRESULT RawInput(const RAWINPUT& record);

    struct MouseRecord {
        DWORD message;
        int32_t x, y, wheelDelta;
        DWORD time;
        std::array<BYTE, 256> keys;
    };
    struct KeyRecord {
        DWORD virtualKey, keyFlags;
        std::array<BYTE, 256> keys;
    };
    // The next record the overlay end has, or false when none is waiting.
    bool NextMouse(MouseRecord& out);
    bool NextIs(MessageType type);
    bool NextKey(KeyRecord& out);
    bool OverlayHasData() { return PipeHasData(overlay); }

    TempDir dir;
    HWND window = nullptr;
    GamePipe overlay; // server end, read by the test
    GamePipe game;    // client end, lent by the proxy
};

RAWINPUT RawKey(USHORT vkey, UINT message, USHORT makeCode = 0x1E, USHORT flags = 0);
RAWINPUT RawMouse(USHORT flags, LONG x, LONG y);
