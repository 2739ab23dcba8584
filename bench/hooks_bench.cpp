// Hook procedure cost per event in the steady state (render proxy found, pipe open, exports
// cached, overlay input active), beside the bare work every forwarded event needs: reading the
// key states and one write of the record. The pipe is a loopback handle, so nothing queues.
#include "hooks/exports.h"
#include "link/messages.h"

#include <benchmark/benchmark.h>
#include <sim/bench.h>
#include <sim/modules.h>
#include <sim/window_tree.h>

namespace {

HANDLE lentPipe = INVALID_HANDLE_VALUE;
HWND outputWindow = nullptr;

bool ProxyActive() {
    return true;
}
HANDLE ProxyPipe() {
    return lentPipe;
}
HWND ProxyWindow() {
    return outputWindow;
}
bool ProxyInputActive() {
    return true;
}

template <class F> FARPROC Proc(F f) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(f));
}

// Once per process: a proxy under d3d11.dll lending a loopback handle, and an output window
// of 640 x 480 at (100, 50). One event of each kind fills the binding caches.
void SteadyState() {
    static bool done = false;
    if (done)
        return;
    done = true;
    lentPipe = sim::CreateLoopbackHandle();
    outputWindow = sim::AddWindow(nullptr, GetCurrentProcessId(), GetCurrentThreadId(), "Game");
    sim::SetClientArea(outputWindow, 100, 50, 640, 480);
    sim::SetForeground(outputWindow);
    sim::RegisterModule("d3d11.dll", {{"_RenderProxyActive", Proc(&ProxyActive)},
                                      {"_GetGamePipe", Proc(&ProxyPipe)},
                                      {"_OutputRenderWindow", Proc(&ProxyWindow)},
                                      {"_OverlayInputActive", Proc(&ProxyInputActive)}});
    keyboardHook(HC_ACTION, 0x41, 0x001E0001);
    MOUSEHOOKSTRUCTEX mouse{};
    mouse.pt = POINT{300, 200};
    mouseHook(HC_ACTION, WM_MOUSEMOVE, reinterpret_cast<LPARAM>(&mouse));
}

void BM_Bare_KeyStatesAndWrite_268(benchmark::State& state) {
    SteadyState();
    BYTE record[268] = {};
    for (auto _ : state) {
        GetKeyboardState(record + 12);
        DWORD written = 0;
        WriteFile(lentPipe, record, sizeof record, &written, nullptr);
        benchmark::DoNotOptimize(written);
    }
}

void BM_Hook_keyboardHook(benchmark::State& state) {
    SteadyState();
    uint64_t before = sim::LoopbackWrites(lentPipe);
    LPARAM flags = 0x001E0001;
    for (auto _ : state)
        benchmark::DoNotOptimize(keyboardHook(HC_ACTION, 0x41, flags));
    if (sim::LoopbackWrites(lentPipe) - before != static_cast<uint64_t>(state.iterations()))
        state.SkipWithError("keyboardHook did not write one record per event");
}

void BM_Bare_KeyStatesAndWrite_280(benchmark::State& state) {
    SteadyState();
    BYTE record[280] = {};
    for (auto _ : state) {
        GetKeyboardState(record + 24);
        DWORD written = 0;
        WriteFile(lentPipe, record, sizeof record, &written, nullptr);
        benchmark::DoNotOptimize(written);
    }
}

void BM_Hook_mouseHook(benchmark::State& state) {
    SteadyState();
    uint64_t before = sim::LoopbackWrites(lentPipe);
    MOUSEHOOKSTRUCTEX mouse{};
    LONG step = 0;
    for (auto _ : state) {
        // Moving positions inside the window: never pinned, always swallowed.
        mouse.pt = POINT{200 + (step & 63), 150 + (step & 31)};
        ++step;
        benchmark::DoNotOptimize(
            mouseHook(HC_ACTION, WM_MOUSEMOVE, reinterpret_cast<LPARAM>(&mouse)));
    }
    if (sim::LoopbackWrites(lentPipe) - before != static_cast<uint64_t>(state.iterations()))
        state.SkipWithError("mouseHook did not write one record per event");
}

} // namespace

BENCHMARK(BM_Bare_KeyStatesAndWrite_268);
BENCHMARK(BM_Hook_keyboardHook);
BENCHMARK(BM_Bare_KeyStatesAndWrite_280);
BENCHMARK(BM_Hook_mouseHook);
