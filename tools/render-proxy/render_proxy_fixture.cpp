// Reference render proxy: the contract exports answer from one state, which a test sets
// through ProxySetState or the proxy's own link to the overlay keeps (proxy_link.cpp), and
// count their calls for ProxyGetCounters.
#include "render_proxy_fixture.h"
#include "proxy_state.h"

namespace {

const ProxyFixtureState kInitialState = {0, INVALID_HANDLE_VALUE, nullptr, 0, 0, 0, 0, 0};

// One state per DLL copy. It is written before the module under test is let in (by a test) or
// on the game thread that also runs the hooks (by the link), so plain reads are enough; the
// counters may be bumped from several threads.
ProxyFixtureState State = kInitialState;
volatile LONG Counts[6];

enum Counter {
    kRenderProxyActive,
    kGetGamePipe,
    kOutputRenderWindow,
    kOverlayInputActive,
    kOverlayRenderActive,
    kDITrackedCursorPos
};

void Count(Counter counter) {
    InterlockedIncrement(&Counts[counter]);
}

} // namespace

ProxyFixtureState& ProxyState() {
    return State;
}

extern "C" {

bool __cdecl _RenderProxyActive() {
    Count(kRenderProxyActive);
    return State.renderProxyActive != 0;
}

HANDLE __cdecl _GetGamePipe() {
    Count(kGetGamePipe);
    return State.gamePipe;
}

HWND __cdecl _OutputRenderWindow() {
    Count(kOutputRenderWindow);
    return State.outputWindow;
}

bool __cdecl _OverlayInputActive() {
    Count(kOverlayInputActive);
    return State.overlayInputActive != 0;
}

bool __cdecl _OverlayRenderActive() {
    Count(kOverlayRenderActive);
    return State.overlayRenderActive != 0;
}

bool __cdecl DITrackedCursorPos(int32_t* x, int32_t* y) {
    Count(kDITrackedCursorPos);
    if (State.trackedCursorValid == 0)
        return false;
    *x = State.trackedCursorX;
    *y = State.trackedCursorY;
    return true;
}

void __cdecl ProxySetState(const ProxyFixtureState* state) {
    State = *state;
}

void __cdecl ProxyGetCounters(ProxyFixtureCounters* counters) {
    counters->renderProxyActive = static_cast<uint32_t>(Counts[kRenderProxyActive]);
    counters->getGamePipe = static_cast<uint32_t>(Counts[kGetGamePipe]);
    counters->outputRenderWindow = static_cast<uint32_t>(Counts[kOutputRenderWindow]);
    counters->overlayInputActive = static_cast<uint32_t>(Counts[kOverlayInputActive]);
    counters->overlayRenderActive = static_cast<uint32_t>(Counts[kOverlayRenderActive]);
    counters->diTrackedCursorPos = static_cast<uint32_t>(Counts[kDITrackedCursorPos]);
}

void __cdecl ProxyReset() {
    State = kInitialState;
    for (volatile LONG& count : Counts)
        InterlockedExchange(&count, 0);
}

} // extern "C"
