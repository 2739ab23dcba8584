// Reference render proxy: the contract exports answer from one state, which a test sets
// through ProxySetState or the proxy's own link to the overlay keeps (proxy_link.cpp).
#include "render_proxy_fixture.h"
#include "proxy_state.h"

namespace {

const ProxyFixtureState kInitialState = {0, INVALID_HANDLE_VALUE, nullptr, 0, 0, 0, 0, 0};

// One state per DLL copy. It is written before the module under test is let in (by a test) or
// by the proxy's frames (by the link); each field is one aligned word, written and read whole,
// also when the frames run on a thread of their own.
ProxyFixtureState State = kInitialState;

} // namespace

ProxyFixtureState& ProxyState() {
    return State;
}

extern "C" {

// The contract's bool answers go back as the whole 32-bit value the state holds, so that a test
// can answer with a register whose low byte disagrees with the rest (2, 0x100): a caller must
// read only the low byte.
uint32_t __cdecl _RenderProxyActive() {
    return static_cast<uint32_t>(State.renderProxyActive);
}

HANDLE __cdecl _GetGamePipe() {
    return State.gamePipe;
}

HWND __cdecl _OutputRenderWindow() {
    return State.outputWindow;
}

uint32_t __cdecl _OverlayInputActive() {
    return static_cast<uint32_t>(State.overlayInputActive);
}

uint32_t __cdecl _OverlayRenderActive() {
    return static_cast<uint32_t>(State.overlayRenderActive);
}

uint32_t __cdecl DITrackedCursorPos(int32_t* x, int32_t* y) {
    if ((State.trackedCursorValid & 0xFF) != 0) {
        *x = State.trackedCursorX;
        *y = State.trackedCursorY;
    }
    return static_cast<uint32_t>(State.trackedCursorValid);
}

void __cdecl ProxySetState(const ProxyFixtureState* state) {
    State = *state;
}

} // extern "C"
