// The hooks' own code, linked into the test program, driven as a game thread runs it: the module
// attached, a game window in the foreground with its client area at (100, 50)-(740, 530) on the
// screen, the reference proxy (d3d11.dll) as the active renderer lending that window and the game
// end of a connected pipe, and the overlay's end of that pipe to read the records from.
#pragma once

#include "hooks/exports.h"
#include "hooks/hook_state.h"
#include "link/messages.h"
#include "support/fixtures.h"
#include "support/import_patch.h"
#include "support/record_bytes.h"

#include <gtest/gtest.h>

#include <utility>

using namespace korvex; // the tests are the hooks' own code

using XY = std::pair<int32_t, int32_t>;

class HookTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ProcessAttach(nullptr);
        EXPECT_EQ(HookState.LastHookKind, 2); // no input hook has run since load
        keys['A'] = 0x81;
        SetKeyboardState(keys);
        window = CreateTestWindow(RECT{100, 50, 740, 530});
        ASSERT_TRUE(OpenPipePair(pipe));
        proxy.state = {1, pipe.client.handle, window, 0, 0, 0, 0, 0};
        proxy.Apply();
    }
    void TearDown() override { ClosePipePair(pipe); }

    // What _OverlayInputActive answers from now on: a whole register, of which the low byte counts.
    void Answer(int32_t active) {
        proxy.state.overlayInputActive = active;
        proxy.Apply();
    }
    // The same, then the render proxy's call that notices the change.
    void Turn(int32_t active) {
        Answer(active);
        InputActiveStateTransitionHook();
    }
    LRESULT Mouse(int code, UINT message, POINT pt, DWORD mouseData = 0) {
        MOUSEHOOKSTRUCTEX record = {{pt, nullptr, 0, 0}, mouseData};
        return mouseHook(code, message, reinterpret_cast<LPARAM>(&record));
    }
    // getmsgHook for a message (a WM_INPUT whose handle names no record).
    LRESULT GetMsg(UINT message, WPARAM removeFlag = PM_REMOVE) {
        MSG msg = {window, message, 0, 1, 0, {0, 0}};
        return getmsgHook(HC_ACTION, removeFlag, reinterpret_cast<LPARAM>(&msg));
    }
    // The next record waiting at the overlay's end, or none.
    Bytes Next() {
        Bytes record(kMouseInputSize);
        DWORD read = 0;
        if (PipeHasData(pipe.server))
            ReadPipe(pipe.server, record.data(), kMouseInputSize, read);
        return Bytes(record.begin(), record.begin() + read);
    }
    XY Tracked() {
        int32_t x = 0, y = 0;
        return TrackedCursorPos(&x, &y) ? XY(x, y) : XY(-1, -1);
    }

    BYTE keys[256] = {}; // this thread's key states, which every record carries
    HWND window = nullptr;
    ProxyControl proxy;
    PipePair pipe;
};

// While an AllocationWatch lives, the malloc and LocalAlloc calls of this program (the product's
// included) are counted in Allocations, from 0, and the one that brings the count to FailAt fails.
inline long Allocations = 0, FailAt = 0;
inline ImportPatch *Heap = nullptr, *Local = nullptr;

inline void* __cdecl WatchedMalloc(size_t size) {
    return ++Allocations == FailAt ? nullptr : Heap->Original<void*(__cdecl*)(size_t)>()(size);
}

inline HLOCAL WINAPI WatchedLocalAlloc(UINT flags, SIZE_T size) {
    using Alloc = HLOCAL(WINAPI*)(UINT, SIZE_T);
    return ++Allocations == FailAt ? nullptr : Local->Original<Alloc>()(flags, size);
}

struct AllocationWatch {
    AllocationWatch() {
        Heap = &heap;
        Local = &local;
        Allocations = FailAt = 0;
        EXPECT_TRUE(heap.Applied() && local.Applied());
    }
    ImportPatch heap{nullptr, "msvcrt.dll", "malloc", reinterpret_cast<void*>(&WatchedMalloc)};
    ImportPatch local{nullptr, "kernel32.dll", "LocalAlloc",
                      reinterpret_cast<void*>(&WatchedLocalAlloc)};
};

// Waits until GetCursorPos reports (x, y).
inline bool CursorAt(LONG x, LONG y) {
    return PumpUntil([&] {
        POINT p = {};
        return GetCursorPos(&p) && p.x == x && p.y == y;
    });
}
inline bool MoveCursor(LONG x, LONG y) {
    return SetCursorPos(x, y) && CursorAt(x, y);
}
