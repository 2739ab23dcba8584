// Render proxy binding under Wine against the reference proxy DLLs beside the test program
// (d3d9.dll, d3d11.dll, opengl32.dll, dinput.dll), which wine-run.sh makes native-first. The
// other runtime names load Wine's own DLLs, which lack the proxy exports.
#include "binding/render_proxy.h"

#include "../../tools/render-proxy/render_proxy_fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string ProgramFolder() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.rfind('\\') + 1);
}

template <class Proc> Proc Export(HMODULE module, const char* name) {
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Loads a reference proxy by its bare runtime name, as the binding will, and checks that it is
// the copy from the program's folder rather than Wine's builtin DLL.
HMODULE LoadFixture(const char* name, const ProxyFixtureState& state) {
    HMODULE module = LoadLibraryA(name);
    EXPECT_NE(module, nullptr) << name << " error " << GetLastError();
    char path[MAX_PATH] = {};
    GetModuleFileNameA(module, path, MAX_PATH);
    EXPECT_EQ(std::string(path), ProgramFolder() + name);
    auto set = Export<ProxySetStateProc>(module, "ProxySetState");
    EXPECT_NE(set, nullptr) << name << " is not the reference proxy";
    if (set != nullptr)
        set(&state);
    return module;
}

ProxyFixtureCounters Counters(HMODULE module) {
    ProxyFixtureCounters counters = {};
    Export<ProxyGetCountersProc>(module, "ProxyGetCounters")(&counters);
    return counters;
}

ProxyFixtureState State(bool active, uintptr_t pipe) {
    ProxyFixtureState s = {};
    s.renderProxyActive = active;
    s.gamePipe = reinterpret_cast<HANDLE>(pipe);
    return s;
}

const uintptr_t kNoPipe = ~uintptr_t(0);

class RenderProxyWine : public ::testing::Test {
  protected:
    void SetUp() override { InitializeCriticalSection(&lock); }
    void TearDown() override { DeleteCriticalSection(&lock); }
    CRITICAL_SECTION lock;
};

} // namespace

TEST_F(RenderProxyWine, D3d11IsTheActiveRendererWhileOpenGlSuppliesThePipe) {
    HMODULE d3d9 = LoadFixture("d3d9.dll", State(false, kNoPipe));
    HMODULE d3d11 = LoadFixture("d3d11.dll", State(true, 0x110));
    HMODULE opengl = LoadFixture("opengl32.dll", State(true, 0x220));

    EXPECT_EQ(FindActiveRenderProxy(nullptr, &lock), d3d11);
    EXPECT_EQ(Counters(d3d9).renderProxyActive, 1u);
    EXPECT_EQ(Counters(opengl).renderProxyActive, 0u);

    GamePipe pipe;
    AcquireGamePipe(pipe, &lock);
    EXPECT_EQ(pipe.handle, reinterpret_cast<HANDLE>(0x220));
    EXPECT_EQ(Counters(d3d9).getGamePipe, 1u);
    EXPECT_EQ(Counters(d3d11).getGamePipe, 0u);
}

TEST_F(RenderProxyWine, InactiveProxyIsAskedAgainAndQueriesReachTheChosenOne) {
    ProxyFixtureState state = State(false, kNoPipe);
    state.outputWindow = reinterpret_cast<HWND>(0x10020);
    state.overlayInputActive = 1;
    HMODULE opengl = LoadFixture("opengl32.dll", state);

    EXPECT_EQ(FindActiveRenderProxy(nullptr, &lock), nullptr);
    state.renderProxyActive = 1;
    Export<ProxySetStateProc>(opengl, "ProxySetState")(&state);
    HMODULE active = FindActiveRenderProxy(nullptr, &lock);
    EXPECT_EQ(active, opengl);
    EXPECT_EQ(Counters(opengl).renderProxyActive, 2u);

    EXPECT_TRUE(QueryOverlayInputActive(active, &lock));
    EXPECT_FALSE(QueryOverlayRenderActive(active, &lock));
    EXPECT_EQ(QueryOutputRenderWindow(active, &lock), state.outputWindow);
    EXPECT_EQ(QueryOutputRenderWindow(nullptr, &lock), state.outputWindow);
    EXPECT_EQ(Counters(opengl).outputRenderWindow, 2u);

    // No proxy lends a pipe: it stays at all ones after every runtime name was tried.
    GamePipe pipe;
    AcquireGamePipe(pipe, &lock);
    EXPECT_FALSE(IsPipeOpen(pipe));
    EXPECT_EQ(Counters(opengl).getGamePipe, 1u);
}

TEST_F(RenderProxyWine, DirectInputPositionIsDeliveredOnlyOnTrue) {
    ProxyFixtureState state = {};
    state.trackedCursorX = -12;
    state.trackedCursorY = 3400;
    HMODULE dinput = LoadFixture("dinput.dll", state);

    POINT position = {1, 2};
    EXPECT_FALSE(QueryDITrackedCursorPos(&lock, position));
    EXPECT_EQ(position.x, 1);
    EXPECT_EQ(position.y, 2);

    state.trackedCursorValid = 1;
    Export<ProxySetStateProc>(dinput, "ProxySetState")(&state);
    EXPECT_TRUE(QueryDITrackedCursorPos(&lock, position));
    EXPECT_EQ(position.x, -12);
    EXPECT_EQ(position.y, 3400);
    EXPECT_EQ(Counters(dinput).diTrackedCursorPos, 2u);
}
