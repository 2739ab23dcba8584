// Cursor takeover: while the overlay has the input the visible arrow replaces the game's cursor;
// afterwards the game's cursor, display counter and position come back. Requests are set by
// InputActiveStateTransitionHook and carried out here, on a hooked game thread. Only the thread
// that took the cursor over gives it back, so the ShowCursor and SetCursor pairs match.
#include "hooks/exports.h"
#include "hooks/hook_state.h"

namespace korvex {

void UpdateCursorTakeover() {
    HookStateRecord& s = HookState;
    if (s.TakeoverPending) {
        s.CursorOwnerThread = GetCurrentThreadId();
        s.SavedCursor = SetCursor(s.ArrowCursor);
        ShowCursor(TRUE);
        s.SavedCursorPosValid = GetCursorPos(&s.SavedCursorPos);
        POINT now;
        if (!GetCursorPos(&now)) {
            // The second read failed: take the position the first read saw, or keep the
            // current tracked position when both failed.
            now = s.SavedCursorPosValid ? s.SavedCursorPos : s.TrackedPos;
        }
        s.TrackedPos = now;
        s.AnchorPos = now;
        s.TrackingMode = 0;
        s.TakeoverPending = false;
        s.CursorTaken = true;
    }

    if (s.ReleasePending && s.CursorOwnerThread == GetCurrentThreadId()) {
        SetCursor(s.SavedCursor);
        ShowCursor(FALSE);
        if (s.SavedCursorPosValid) {
            SetCursorPos(s.SavedCursorPos.x, s.SavedCursorPos.y);
            s.SavedCursorPosValid = FALSE;
        }
        s.ReleasePending = false;
        s.CursorTaken = false;
        return;
    }

    // The game may set its own cursor at any time; put the arrow back and remember the game's
    // latest cursor for the release.
    if (s.CursorTaken && GetCursor() != s.ArrowCursor)
        s.SavedCursor = SetCursor(s.ArrowCursor);
}

} // namespace korvex
