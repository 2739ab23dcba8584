// HookState: the one process-wide record of the input-interception code. It has no lock and no
// atomic fields; hook procedures and exports read and write its fields directly. The
// BindingLock only serialises the render proxy binding calls.
#pragma once

#include "link/pipe.h"

#include <windows.h>

#include <cstdint>

namespace korvex {

// The last five WM_MOUSEMOVE positions seen while the overlay had the input. A fixed ring:
// appending never allocates, which keeps the mouse hook allocation-free. mouseHook runs on
// several game threads at once without a lock, so a racing append may lose a sample or leave
// `next`/`filled` torn; every use therefore clamps the value it reads into range, and no
// interleaving can index outside `entries` or write into a neighbouring field.
struct PositionQueue {
    static constexpr unsigned kCapacity = 5;

    // Appends p, overwriting the oldest entry once the ring is full.
    void push_back(POINT p) {
        unsigned at = static_cast<unsigned>(next) % kCapacity;
        entries[at] = p;
        next = static_cast<int32_t>((at + 1) % kCapacity);
        unsigned held = size();
        filled = static_cast<int32_t>(held < kCapacity ? held + 1 : kCapacity);
    }
    // How many entries hold a recorded position, 0 to 5.
    unsigned size() const {
        int32_t held = filled;
        return held <= 0                                 ? 0u
               : held >= static_cast<int32_t>(kCapacity) ? kCapacity
                                                         : static_cast<unsigned>(held);
    }

    POINT entries[kCapacity] = {};
    int32_t next = 0;   // where the next position goes
    int32_t filled = 0; // positions recorded so far, saturating at kCapacity
};

struct HookStateRecord {
    uint32_t SavedRawDeviceCount = 0;
    PositionQueue PositionHistory;
    int32_t TrackingMode = 0; // 0 absolute, 1 relative
    CRITICAL_SECTION BindingLock = {};
    HCURSOR ArrowCursor = nullptr;
    HCURSOR SavedCursor = nullptr;
    DWORD CursorOwnerThread = 0;
    BOOL SavedCursorPosValid = 0;
    POINT SavedCursorPos = {0, 0};
    bool TakeoverPending = false;
    bool ReleasePending = false;
    bool CursorTaken = false;
    bool RawKeyboardNoLegacy = false;
    bool RawMouseNoLegacy = false;
    bool FocusElsewhere = false;
    POINT AnchorPos = {0, 0};
    POINT TrackedPos = {0, 0};
    GamePipe Pipe; // borrowed from a render proxy; never closed here
    HMODULE ActiveRenderModule = nullptr;
    RAWINPUTDEVICE* SavedRawDevices = nullptr;
    int32_t LastHookKind = 2; // 2 none since load, 1 getmsgHook (WM_INPUT), 0 mouse or keyboard
    bool LastInputActive = false;
};

// Defined in hooks/hook_state.cpp.
extern HookStateRecord HookState;

// Module attach: marks the pipe not open, opens the log, creates the BindingLock and loads the
// arrow cursor.
void ProcessAttach(HINSTANCE instance);

} // namespace korvex
