// HookState: the one process-wide record of the input-interception code. It has no lock and no
// atomic fields; hook procedures and exports read and write its fields directly. The
// BindingLock only serialises the render proxy binding calls.
#pragma once

#include "link/pipe.h"

#include <windows.h>

#include <cstdint>

// The last five WM_MOUSEMOVE positions seen while the overlay had the input, oldest first.
// A fixed ring: appending never allocates, which keeps the mouse hook allocation-free.
class PositionQueue {
  public:
    static constexpr int kCapacity = 5;
    int size() const { return count_; }
    void pop_front() {
        first_ = (first_ + 1) % kCapacity;
        --count_;
    }
    void push_back(POINT p) {
        entries_[(first_ + count_) % kCapacity] = p;
        ++count_;
    }
    // i = 0 is the oldest entry.
    const POINT& operator[](int i) const { return entries_[(first_ + i) % kCapacity]; }

  private:
    POINT entries_[kCapacity] = {};
    int first_ = 0;
    int count_ = 0;
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

// Defined first among the static objects in hooks/static_objects.cpp.
extern HookStateRecord HookState;

// Module attach: marks the pipe not open, opens the log, creates the BindingLock and loads the
// arrow cursor.
void ProcessAttach(HINSTANCE instance);
