// Render proxy binding against fake proxy modules: search orders, caching, the shared query
// slots, the pipe rules, bool answers read by their low byte, and the lock held across every
// call into a proxy.
#include "binding/render_proxy.h"
#include "support/fake_proxy.h"

#include <sim/control.h>
#include <sim/modules.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

// What one fake proxy answers, and how often each of its counted exports ran. Its bool answers
// are whole registers: a proxy's compiler may leave anything above the low byte.
struct FakeProxy {
    uint32_t active = 0, inputActive = 0, renderActive = 0;
    HANDLE pipe = INVALID_HANDLE_VALUE;
    HWND window = nullptr;
    int activeCalls = 0, pipeCalls = 0, windowCalls = 0, inputCalls = 0, renderCalls = 0;
};

FakeProxy proxies[3];
CRITICAL_SECTION* bindingLock = nullptr;
bool lockFreeDuringACall = false;

// Every export notes whether another thread could have taken the binding lock meanwhile.
template <class T> T Counted(int& calls, T answer) {
    ++calls;
    std::thread([] {
        if (TryEnterCriticalSection(bindingLock)) {
            lockFreeDuringACall = true;
            LeaveCriticalSection(bindingLock);
        }
    }).join();
    return answer;
}

template <int N> struct Exports {
    static uint32_t Active() { return Counted(proxies[N].activeCalls, proxies[N].active); }
    static HANDLE Pipe() { return Counted(proxies[N].pipeCalls, proxies[N].pipe); }
    static HWND Window() { return Counted(proxies[N].windowCalls, proxies[N].window); }
    static uint32_t Input() { return Counted(proxies[N].inputCalls, proxies[N].inputActive); }
    static uint32_t Render() { return Counted(proxies[N].renderCalls, proxies[N].renderActive); }
};

// Registers fake proxy N under a runtime name with all five contract exports.
template <int N> HMODULE AddProxy(const char* name) {
    return sim::RegisterModule(name, {{"_RenderProxyActive", AsExport(Exports<N>::Active)},
                                      {"_GetGamePipe", AsExport(Exports<N>::Pipe)},
                                      {"_OutputRenderWindow", AsExport(Exports<N>::Window)},
                                      {"_OverlayInputActive", AsExport(Exports<N>::Input)},
                                      {"_OverlayRenderActive", AsExport(Exports<N>::Render)}});
}

template <class T> T Fake(uintptr_t value) {
    return reinterpret_cast<T>(value);
}

// The DirectInput proxy's export: writes a position and answers `diResult`.
uint32_t diResult = 1;
int diCalls = 0;
uint32_t __cdecl DITrackedCursorPos(int32_t* x, int32_t* y) {
    *x = -40;
    *y = 70000;
    return Counted(diCalls, diResult);
}

class RenderProxyBinding : public ::testing::Test {
  protected:
    void SetUp() override {
        InitializeCriticalSection(&lock);
        bindingLock = &lock;
    }
    void TearDown() override {
        EXPECT_FALSE(lockFreeDuringACall); // every operation holds the lock into the proxy
        DeleteCriticalSection(&lock);
    }
    HMODULE Find(HMODULE known = nullptr) { return FindActiveRenderProxy(known, &lock); }
    CRITICAL_SECTION lock;
};

} // namespace

TEST_F(RenderProxyBinding, D3d11AndOpenGlProxiesResultInD3d11RenderingAndOpenGlLendingThePipe) {
    AddProxy<0>("d3d9.dll"); // asked first, answers false and lends no pipe
    HMODULE d3d11 = AddProxy<1>("d3d11.dll");
    AddProxy<2>("opengl32.dll");
    proxies[1].active = proxies[2].active = 1;
    proxies[1].pipe = Fake<HANDLE>(0x110);
    proxies[2].pipe = Fake<HANDLE>(0x220);

    EXPECT_EQ(Find(), d3d11);
    EXPECT_EQ(proxies[2].activeCalls, 0); // opengl32 comes last and is never asked
    GamePipe pipe;
    AcquireGamePipe(pipe, &lock);
    EXPECT_EQ(pipe.handle, Fake<HANDLE>(0x220));
    EXPECT_EQ(proxies[1].pipeCalls, 0); // d3d11 comes after opengl32 in the pipe search

    const std::vector<std::string> loads = {
        "ddraw.dll",   "d3d8.dll",    "d3d9.dll",  "d3d10.dll",
        "d3d10_1.dll", "d3d11.dll",   "d3d12.dll", "opengl32.dll", // renderer search
        "ddraw.dll",   "d3d8.dll",    "d3d9.dll",  "opengl32.dll",
        "d3d10.dll",   "d3d10_1.dll", "d3d11.dll", "d3d12.dll"}; // pipe search
    EXPECT_EQ(sim::LoadRequests(), loads);

    // A known module is returned as it is, without a load or a call.
    EXPECT_EQ(Find(Fake<HMODULE>(0x7700)), Fake<HMODULE>(0x7700));
    EXPECT_EQ(sim::LoadRequests().size(), 16u);
    EXPECT_EQ(proxies[0].activeCalls, 1);
}

TEST_F(RenderProxyBinding, FalseAnswerMissingExportOrUnloadableNameMeanTryingAgainNextCall) {
    sim::RegisterModule("d3d8.dll", {}); // loads, but has no export
    HMODULE d3d9 = AddProxy<0>("d3d9.dll");
    HMODULE d3d12 = AddProxy<1>("d3d12.dll");
    proxies[1].active = 1;
    sim::SetModuleLoadable("d3d12.dll", false);
    EXPECT_EQ(Find(), nullptr);
    sim::SetModuleLoadable("d3d12.dll", true);
    EXPECT_EQ(Find(), d3d12);
    proxies[0].active = 1; // its false answers were not remembered
    EXPECT_EQ(Find(), d3d9);

    // A found export is never looked up again; the names without one are loaded every time,
    // and no reference is ever given back.
    EXPECT_EQ(sim::CallCount("LoadLibraryA"), 8u + 7u + 6u);
    EXPECT_EQ(sim::ModuleReferenceCount("d3d8.dll"), 3);
    EXPECT_EQ(sim::CallCount("FreeLibrary"), 0u);
}

TEST_F(RenderProxyBinding, PipeOfZeroIsOpenAndEndsTheSearchAndAnOpenPipeIsLeftAlone) {
    AddProxy<0>("d3d9.dll");     // third in the pipe search, has no pipe
    AddProxy<1>("opengl32.dll"); // fourth, answers zero
    AddProxy<2>("d3d10.dll");    // fifth
    proxies[1].pipe = nullptr;
    proxies[2].pipe = Fake<HANDLE>(0x330);

    GamePipe pipe;
    AcquireGamePipe(pipe, &lock);
    EXPECT_EQ(pipe.handle, nullptr);
    EXPECT_EQ(proxies[2].pipeCalls, 0);
    EXPECT_EQ(proxies[0].activeCalls + proxies[1].activeCalls, 0); // activity is not asked
    AcquireGamePipe(pipe, &lock);
    EXPECT_EQ(proxies[1].pipeCalls, 1);
}

TEST_F(RenderProxyBinding, EachQueryKeepsTheFirstExportFoundForEveryModuleAndRetriesWhileMissing) {
    HMODULE bare = sim::RegisterModule("d3d8.dll", {}); // without the exports
    HMODULE a = AddProxy<0>("d3d9.dll");
    HMODULE b = AddProxy<1>("d3d11.dll");
    for (const char* name : {"d3d8.dll", "d3d9.dll", "d3d11.dll"})
        ASSERT_NE(LoadLibraryA(name), nullptr); // the hooks hand in modules the game loaded
    proxies[0].inputActive = proxies[0].renderActive = 1;
    proxies[0].window = Fake<HWND>(0x1230);
    proxies[1].window = Fake<HWND>(0x4560);

    EXPECT_FALSE(QueryOverlayInputActive(nullptr, &lock)); // nothing known: nothing looked up
    EXPECT_EQ(sim::CallCount("GetProcAddress"), 0u);
    EXPECT_FALSE(QueryOverlayInputActive(bare, &lock));
    EXPECT_EQ(QueryOutputRenderWindow(bare, &lock), nullptr);
    EXPECT_FALSE(QueryOverlayInputActive(bare, &lock)); // looked up again while missing
    EXPECT_EQ(sim::CallCount("GetProcAddress"), 3u);

    for (HMODULE module : {a, b, static_cast<HMODULE>(nullptr)}) {
        EXPECT_TRUE(QueryOverlayInputActive(module, &lock));
        EXPECT_EQ(QueryOutputRenderWindow(module, &lock), Fake<HWND>(0x1230));
    }
    EXPECT_EQ(proxies[1].inputCalls, 0);
    // The render flag has a slot of its own, first filled from b: a's true answer is never seen.
    EXPECT_FALSE(QueryOverlayRenderActive(b, &lock));
    EXPECT_FALSE(QueryOverlayRenderActive(a, &lock));
    EXPECT_EQ(proxies[0].renderCalls, 0);
}

TEST_F(RenderProxyBinding, BoolAnswersCountByTheirLowByteAndAFalseDirectInputAnswerMovesNothing) {
    HMODULE proxy = AddProxy<0>("d3d9.dll");
    POINT position = {5, 6};
    EXPECT_FALSE(QueryDITrackedCursorPos(&lock, position)); // no dinput.dll yet: retried later
    sim::RegisterModule("dinput.dll", {{"DITrackedCursorPos", AsExport(DITrackedCursorPos)}});
    struct Case {
        uint32_t reg;
        bool answer;
    } cases[] = {{0, false},   {1, true},      {2, true},
                 {0x80, true}, {0x100, false}, {0xFFFFFF00, false}};
    for (const Case& c : cases) {
        proxies[0].active = proxies[0].inputActive = proxies[0].renderActive = diResult = c.reg;
        position = {5, 6};
        bool answers[] = {Find() == proxy, QueryOverlayInputActive(proxy, &lock),
                          QueryOverlayRenderActive(proxy, &lock),
                          QueryDITrackedCursorPos(&lock, position)};
        for (bool answer : answers) // stored or compared, each is exactly 0 or 1
            EXPECT_EQ(static_cast<int>(answer), static_cast<int>(c.answer)) << std::hex << c.reg;
        EXPECT_EQ(position.x, c.answer ? -40 : 5);
        EXPECT_EQ(position.y, c.answer ? 70000 : 6);
    }
}
