// The hooks' own code, linked into the test program, driven as a game thread runs it: the module
// attached, a game window in the foreground with its client area at (100, 50)-(740, 530) on the
// screen, the reference proxy (d3d11.dll) as the active renderer lending that window and the game
// end of a connected pipe, and the overlay's end of that pipe to read the records from.
#pragma once

#include "hooks/exports.h"
#include "hooks/hook_state.h"
#include "support/fixtures.h"
#include "support/import_patch.h"
#include "support/record_bytes.h"

#include <gtest/gtest.h>

#include <utility>

using XY = std::pair<int32_t, int32_t>;

class HookTest : public ::testing::Test {
  protected:
    void SetUp() override;
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
    LRESULT Mouse(int code, UINT message, POINT pt, DWORD mouseData = 0);
    // getmsgHook for a message (a WM_INPUT whose handle names no record).
    LRESULT GetMsg(UINT message, WPARAM removeFlag = PM_REMOVE);
    // The next record waiting at the overlay's end, or none.
    Bytes Next();
    XY Tracked();

    HWND window = nullptr;
    ProxyControl proxy;
    PipePair pipe;
};

// While it lives, the malloc and LocalAlloc calls of this program (the product's included) are
// counted in Allocations, from 0, and the one that brings the count to FailAt fails.
struct AllocationWatch {
    AllocationWatch();
    ImportPatch heap, local;
};
extern long Allocations, FailAt;

// Moves the cursor and waits until GetCursorPos reports it there.
bool MoveCursor(LONG x, LONG y);
