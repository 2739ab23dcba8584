// Render proxy binding against fake proxy modules: search orders, caching, the shared query
// slots, the pipe rules and the lock held across the call into a proxy.
#include "binding/render_proxy.h"

#include <sim/control.h>
#include <sim/modules.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

// What one fake proxy answers, and how often each of its exports ran.
struct FakeProxy {
    bool active = false;
    HANDLE pipe = INVALID_HANDLE_VALUE;
    HWND window = nullptr;
    bool inputActive = false;
    bool renderActive = false;
    int activeCalls = 0;
    int pipeCalls = 0;
    int windowCalls = 0;
    int inputCalls = 0;
    int renderCalls = 0;
};

FakeProxy proxies[4];
CRITICAL_SECTION* bindingLock = nullptr;

template <int N> bool RenderProxyActive() {
    ++proxies[N].activeCalls;
    return proxies[N].active;
}
template <int N> HANDLE GetGamePipe() {
    ++proxies[N].pipeCalls;
    return proxies[N].pipe;
}
template <int N> HWND OutputRenderWindow() {
    ++proxies[N].windowCalls;
    return proxies[N].window;
}
template <int N> bool OverlayInputActive() {
    ++proxies[N].inputCalls;
    return proxies[N].inputActive;
}
template <int N> bool OverlayRenderActive() {
    ++proxies[N].renderCalls;
    return proxies[N].renderActive;
}

template <class F> FARPROC AsExport(F* function) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

// Registers fake proxy N under a runtime name with all five contract exports.
template <int N> HMODULE AddProxy(const char* name) {
    return sim::RegisterModule(name, {{"_RenderProxyActive", AsExport(RenderProxyActive<N>)},
                                      {"_GetGamePipe", AsExport(GetGamePipe<N>)},
                                      {"_OutputRenderWindow", AsExport(OutputRenderWindow<N>)},
                                      {"_OverlayInputActive", AsExport(OverlayInputActive<N>)},
                                      {"_OverlayRenderActive", AsExport(OverlayRenderActive<N>)}});
}

HANDLE Handle(uintptr_t value) {
    return reinterpret_cast<HANDLE>(value);
}

HWND Window(uintptr_t value) {
    return reinterpret_cast<HWND>(value);
}

class RenderProxyBinding : public ::testing::Test {
  protected:
    void SetUp() override {
        InitializeCriticalSection(&lock);
        bindingLock = &lock;
    }
    void TearDown() override { DeleteCriticalSection(&lock); }
    CRITICAL_SECTION lock;
};

} // namespace

TEST_F(RenderProxyBinding, D3d11WinsTheRendererSearchButOpenGlSuppliesThePipe) {
    HMODULE d3d11 = AddProxy<0>("d3d11.dll");
    AddProxy<1>("opengl32.dll");
    proxies[0].active = true;
    proxies[1].active = true;
    proxies[0].pipe = Handle(0x110);
    proxies[1].pipe = Handle(0x220);

    EXPECT_EQ(FindActiveRenderProxy(nullptr, &lock), d3d11);
    EXPECT_EQ(proxies[1].activeCalls, 0); // opengl32 comes last and is never asked

    GamePipe pipe;
    AcquireGamePipe(pipe, &lock);
    EXPECT_EQ(pipe.handle, Handle(0x220));
    EXPECT_EQ(proxies[0].pipeCalls, 0); // d3d11 comes after opengl32 in the pipe search
}

TEST_F(RenderProxyBinding, EachSearchLoadsAllEightNamesInItsOwnOrderOnEveryCall) {
    const std::vector<std::string> renderer = {"ddraw.dll", "d3d8.dll",    "d3d9.dll",
                                               "d3d10.dll", "d3d10_1.dll", "d3d11.dll",
                                               "d3d12.dll", "opengl32.dll"};
    const std::vector<std::string> pipeOrder = {"ddraw.dll",    "d3d8.dll",  "d3d9.dll",
                                                "opengl32.dll", "d3d10.dll", "d3d10_1.dll",
                                                "d3d11.dll",    "d3d12.dll"};
    EXPECT_EQ(FindActiveRenderProxy(nullptr, &lock), nullptr);
    EXPECT_EQ(sim::LoadRequests(), renderer);
    EXPECT_EQ(FindActiveRenderProxy(nullptr, &lock), nullptr);
    EXPECT_EQ(sim::LoadRequests().size(), 16u);

    GamePipe pipe;
    AcquireGamePipe(pipe, &lock);
    EXPECT_EQ(pipe.handle, INVALID_HANDLE_VALUE);
    auto requests = sim::LoadRequests();
    EXPECT_EQ(std::vector<std::string>(requests.begin() + 16, requests.end()), pipeOrder);
    EXPECT_EQ(sim::CallCount("GetProcAddress"), 0u);
}

TEST_F(RenderProxyBinding, EarlierRuntimeWinsAndLaterProxiesAreNotAsked) {
    AddProxy<0>("d3d9.dll");
    HMODULE d3d10 = AddProxy<1>("d3d10.dll");
    AddProxy<2>("d3d11.dll");
    proxies[1].active = true;
    proxies[2].active = true;
    EXPECT_EQ(FindActiveRenderProxy(nullptr, &lock), d3d10);
    EXPECT_EQ(proxies[0].activeCalls, 1);
    EXPECT_EQ(proxies[2].activeCalls, 0);
}

TEST_F(RenderProxyBinding, KnownModuleIsReturnedWithoutLoadingOrAsking) {
    AddProxy<0>("d3d9.dll");
    HMODULE known = reinterpret_cast<HMODULE>(0x7700);
    EXPECT_EQ(FindActiveRenderProxy(known, &lock), known);
    EXPECT_EQ(sim::CallCount("LoadLibraryA"), 0u);
    EXPECT_EQ(proxies[0].activeCalls, 0);
}

TEST_F(RenderProxyBinding, FalseAnswerIsAskedAgainWithoutReloading) {
    HMODULE d3d9 = AddProxy<0>("d3d9.dll");
    EXPECT_EQ(FindActiveRenderProxy(nullptr, &lock), nullptr);
    EXPECT_EQ(proxies[0].activeCalls, 1);
    EXPECT_EQ(sim::ModuleReferenceCount("d3d9.dll"), 1);

    proxies[0].active = true;
    EXPECT_EQ(FindActiveRenderProxy(nullptr, &lock), d3d9);
    EXPECT_EQ(proxies[0].activeCalls, 2);
    // The found address is cached: the other seven names are loaded again, d3d9 is not.
    EXPECT_EQ(sim::ModuleReferenceCount("d3d9.dll"), 1);
    EXPECT_EQ(sim::CallCount("LoadLibraryA"), 15u);
    EXPECT_EQ(sim::CallCount("GetProcAddress"), 1u);
}

TEST_F(RenderProxyBinding, NameThatBecomesLoadableLaterIsFoundThenAndStaysReferenced) {
    HMODULE d3d12 = AddProxy<0>("d3d12.dll");
    proxies[0].active = true;
    sim::SetModuleLoadable("d3d12.dll", false);
    EXPECT_EQ(FindActiveRenderProxy(nullptr, &lock), nullptr);

    sim::SetModuleLoadable("d3d12.dll", true);
    EXPECT_EQ(FindActiveRenderProxy(nullptr, &lock), d3d12);
    EXPECT_EQ(FindActiveRenderProxy(nullptr, &lock), d3d12);
    EXPECT_EQ(sim::ModuleReferenceCount("d3d12.dll"), 1);
    EXPECT_EQ(sim::CallCount("FreeLibrary"), 0u);
}

TEST_F(RenderProxyBinding, ModuleWithoutTheExportIsLoadedAndLookedUpOnEveryCall) {
    sim::RegisterModule("ddraw.dll", {});
    FindActiveRenderProxy(nullptr, &lock);
    FindActiveRenderProxy(nullptr, &lock);
    EXPECT_EQ(sim::ModuleReferenceCount("ddraw.dll"), 2);
    EXPECT_EQ(sim::CallCount("GetProcAddress"), 2u);
}

TEST_F(RenderProxyBinding, PipeSearchStopsAtTheFirstUsableHandleEvenZero) {
    AddProxy<0>("d3d9.dll");     // third in the pipe search, has no pipe
    AddProxy<1>("opengl32.dll"); // fourth, answers zero
    AddProxy<2>("d3d10.dll");    // fifth
    proxies[1].pipe = nullptr;
    proxies[2].pipe = Handle(0x330);

    GamePipe pipe;
    AcquireGamePipe(pipe, &lock);
    EXPECT_EQ(pipe.handle, nullptr);
    EXPECT_TRUE(IsPipeOpen(pipe));
    EXPECT_EQ(proxies[0].pipeCalls, 1);
    EXPECT_EQ(proxies[2].pipeCalls, 0);
    EXPECT_EQ(proxies[0].activeCalls + proxies[1].activeCalls, 0); // activity is not asked

    // An open pipe means no load and no call, even though nothing was looked up before.
    unsigned loads = sim::CallCount("LoadLibraryA");
    AcquireGamePipe(pipe, &lock);
    GamePipe other;
    other.handle = Handle(0x999);
    AcquireGamePipe(other, &lock);
    EXPECT_EQ(sim::CallCount("LoadLibraryA"), loads);
    EXPECT_EQ(proxies[1].pipeCalls, 1);

    // After a reset the cached exports are called again without loading anything.
    pipe.handle = INVALID_HANDLE_VALUE;
    proxies[1].pipe = INVALID_HANDLE_VALUE;
    sim::ResetCallCounts();
    AcquireGamePipe(pipe, &lock);
    EXPECT_EQ(pipe.handle, Handle(0x330));
    EXPECT_EQ(proxies[0].pipeCalls, 2);
    EXPECT_EQ(proxies[1].pipeCalls, 2);
    EXPECT_EQ(sim::CallCount("GetProcAddress"), 0u);
    EXPECT_EQ(sim::CallCount("LoadLibraryA"), 5u); // the five names without a proxy
}

TEST_F(RenderProxyBinding, QueriesShareOneSlotAcrossModules) {
    HMODULE a = AddProxy<0>("d3d9.dll");
    HMODULE b = AddProxy<1>("d3d11.dll");
    ASSERT_EQ(LoadLibraryA("d3d9.dll"), a);
    ASSERT_EQ(LoadLibraryA("d3d11.dll"), b);
    proxies[0].inputActive = true;
    proxies[0].renderActive = true;
    proxies[0].window = Window(0x1230);
    proxies[1].window = Window(0x4560);

    // Nothing is known yet: a null module looks nothing up and answers null or false.
    EXPECT_FALSE(QueryOverlayInputActive(nullptr, &lock));
    EXPECT_FALSE(QueryOverlayRenderActive(nullptr, &lock));
    EXPECT_EQ(QueryOutputRenderWindow(nullptr, &lock), nullptr);
    EXPECT_EQ(sim::CallCount("GetProcAddress"), 0u);

    EXPECT_TRUE(QueryOverlayInputActive(a, &lock));
    EXPECT_TRUE(QueryOverlayInputActive(b, &lock));
    EXPECT_TRUE(QueryOverlayInputActive(nullptr, &lock));
    EXPECT_EQ(proxies[0].inputCalls, 3);
    EXPECT_EQ(proxies[1].inputCalls, 0);

    EXPECT_EQ(QueryOutputRenderWindow(a, &lock), Window(0x1230));
    EXPECT_EQ(QueryOutputRenderWindow(b, &lock), Window(0x1230));
    // The render flag has a slot of its own, first filled from b: a's true answer is never seen.
    EXPECT_FALSE(QueryOverlayRenderActive(b, &lock));
    EXPECT_FALSE(QueryOverlayRenderActive(a, &lock));
    EXPECT_EQ(proxies[0].renderCalls, 0);
    EXPECT_EQ(proxies[1].renderCalls, 2);
    EXPECT_EQ(sim::CallCount("GetProcAddress"), 3u);
    EXPECT_EQ(sim::CallCount("LoadLibraryA"), 2u); // only the test's own
}

TEST_F(RenderProxyBinding, QueryWithoutTheExportLooksUpAgainOnEveryCall) {
    HMODULE bare = sim::RegisterModule("d3d8.dll", {});
    ASSERT_EQ(LoadLibraryA("d3d8.dll"), bare);
    EXPECT_FALSE(QueryOverlayInputActive(bare, &lock));
    EXPECT_EQ(QueryOutputRenderWindow(bare, &lock), nullptr);
    EXPECT_FALSE(QueryOverlayInputActive(bare, &lock));
    EXPECT_EQ(sim::CallCount("GetProcAddress"), 3u);

    HMODULE proxy = AddProxy<0>("d3d9.dll");
    ASSERT_EQ(LoadLibraryA("d3d9.dll"), proxy);
    proxies[0].inputActive = true;
    EXPECT_TRUE(QueryOverlayInputActive(proxy, &lock));
}

namespace {

bool diResult = true;
int diCalls = 0;
bool __cdecl DITrackedCursorPos(int32_t* x, int32_t* y) {
    ++diCalls;
    *x = -40;
    *y = 70000;
    return diResult;
}

} // namespace

TEST_F(RenderProxyBinding, TrackedPositionIsCopiedOnlyWhenTheDirectInputProxyAnswersTrue) {
    POINT position = {5, 6};
    EXPECT_FALSE(QueryDITrackedCursorPos(&lock, position));
    sim::RegisterModule("dinput.dll", {});
    EXPECT_FALSE(QueryDITrackedCursorPos(&lock, position));
    EXPECT_EQ(position.x, 5);
    EXPECT_EQ(position.y, 6);
    EXPECT_EQ(sim::CallCount("LoadLibraryA"), 2u); // retried while the slot is null

    sim::RegisterModule("dinput.dll", {{"DITrackedCursorPos", AsExport(DITrackedCursorPos)}});
    diResult = false;
    EXPECT_FALSE(QueryDITrackedCursorPos(&lock, position));
    EXPECT_EQ(diCalls, 1);
    EXPECT_EQ(position.x, 5);
    EXPECT_EQ(position.y, 6);

    diResult = true;
    EXPECT_TRUE(QueryDITrackedCursorPos(&lock, position));
    EXPECT_EQ(position.x, -40);
    EXPECT_EQ(position.y, 70000);
    EXPECT_EQ(sim::CallCount("LoadLibraryA"), 3u);
}

namespace {

// A proxy export that calls back into the binding on the same thread, as a proxy calling the
// hooks module's exports would, and checks that no other thread can take the lock meanwhile.
bool lockFreeForOthers = true;
int reentries = 0;
bool ReentrantActive() {
    if (reentries++ == 0) {
        GamePipe pipe;
        AcquireGamePipe(pipe, bindingLock); // re-enters the lock on this thread
        std::thread other([] {
            lockFreeForOthers = TryEnterCriticalSection(bindingLock) != FALSE;
            if (lockFreeForOthers)
                LeaveCriticalSection(bindingLock);
        });
        other.join();
    }
    return true;
}

} // namespace

TEST_F(RenderProxyBinding, LockIsHeldAcrossTheProxyCallAndReenterableByItsThread) {
    HMODULE proxy =
        sim::RegisterModule("d3d10_1.dll", {{"_RenderProxyActive", AsExport(ReentrantActive)}});
    EXPECT_EQ(FindActiveRenderProxy(nullptr, &lock), proxy);
    EXPECT_EQ(reentries, 1);
    EXPECT_FALSE(lockFreeForOthers);

    // Released on return: another thread now gets it at once.
    bool taken = false;
    std::thread other([&] {
        taken = TryEnterCriticalSection(&lock) != FALSE;
        if (taken)
            LeaveCriticalSection(&lock);
    });
    other.join();
    EXPECT_TRUE(taken);
}
