// The hooks' own code, linked into the test program, driven as a game thread runs it: the module
// attached, a game window in the foreground whose client area is kClient on the screen, the
// reference proxy (d3d11.dll) as the active renderer lending that window and the game end of a
// connected pipe, and the overlay's end of that pipe to read the records from.
#pragma once

#include "hooks/exports.h"
#include "hooks/hook_state.h"
#include "support/fixtures.h"
#include "support/import_patch.h"
#include "support/record_bytes.h"

#include <gtest/gtest.h>

#include <ostream>

class HookTest : public ::testing::Test {
  protected:
    static constexpr RECT kClient = {100, 50, 740, 530};

    void SetUp() override;
    void TearDown() override { ClosePipePair(pipe); }

    // What _OverlayInputActive answers from now on: a whole register, of which the low byte counts.
    void Answer(int32_t inputActive);
    // The same, then the render proxy's call that notices the change.
    void Turn(int32_t inputActive);
    LRESULT Mouse(int code, UINT message, POINT pt, DWORD mouseData = 0);
    // getmsgHook for a message (a WM_INPUT whose handle names no record).
    LRESULT GetMsg(UINT message);
    // The next record waiting at the overlay's end, or none.
    Bytes Next();
    POINT Tracked();

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

uint32_t Word(const Bytes& record, size_t index);
// Moves the cursor and waits until GetCursorPos reports it there.
bool MoveCursor(LONG x, LONG y);

inline bool operator==(const POINT& a, const POINT& b) {
    return a.x == b.x && a.y == b.y;
}
inline void PrintTo(const POINT& p, std::ostream* out) {
    *out << "(" << p.x << ", " << p.y << ")";
}
