// The call stubs that reach the hooks module's exports by its file name: each calls its own
// export under the caller's lock, keeps its own address, and looks again while none is found.
#include "binding/hook_stubs.h"
#include "support/fake_proxy.h"

#include <sim/control.h>
#include <sim/modules.h>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

CRITICAL_SECTION* stubLock = nullptr;
int calls[6] = {};
bool lockFreeDuringACall = false;

bool OtherThreadCanTakeLock() {
    bool taken = false;
    std::thread([&] {
        taken = TryEnterCriticalSection(stubLock) != FALSE;
        if (taken)
            LeaveCriticalSection(stubLock);
    }).join();
    return taken;
}

// Export N counts its calls and notes whether the caller's lock was free meanwhile.
template <int N> void __cdecl PlainExport() {
    ++calls[N];
    lockFreeDuringACall |= OtherThreadCanTakeLock();
}
uint32_t __cdecl TrackedCursorPosExport(int32_t* x, int32_t* y) {
    ++calls[5];
    *x = -15;
    *y = 2400;
    return 0x100; // false: the position counts even so
}

const sim::ModuleExport kExports[6] = {{"CheckFocus", AsExport(PlainExport<0>)},
                                       {"EndOfFrameHook", AsExport(PlainExport<1>)},
                                       {"GetRawInputState", AsExport(PlainExport<2>)},
                                       {"InputActiveStateTransitionHook", AsExport(PlainExport<3>)},
                                       {"PipeResetHook", AsExport(PlainExport<4>)},
                                       {"TrackedCursorPos", AsExport(TrackedCursorPosExport)}};

class HookStubs : public ::testing::Test {
  protected:
    void SetUp() override {
        InitializeCriticalSection(&lock);
        stubLock = &lock;
    }
    void TearDown() override { DeleteCriticalSection(&lock); }
    // Calls stub `n`, in the order of kExports.
    void Stub(int n) {
        void (*const plain[5])(CRITICAL_SECTION*) = {
            CallCheckFocus, CallEndOfFrameHook, CallGetRawInputState,
            CallInputActiveStateTransitionHook, CallPipeResetHook};
        if (n < 5)
            plain[n](&lock);
        else
            CallTrackedCursorPos(&lock, position);
    }
    CRITICAL_SECTION lock;
    POINT position = {7, 8};
};

} // namespace

TEST_F(HookStubs, EachStubCallsItsOwnExportUnderTheCallersLockOnceTheModuleHasIt) {
    // No module, then a module without EndOfFrameHook: nothing is called, and the load and the
    // lookup are made again on every call; the position then reads 0, 0.
    for (int n = 0; n < 6; ++n)
        Stub(n);
    EXPECT_EQ(std::vector<long>({position.x, position.y}), std::vector<long>({0, 0}));
    std::vector<sim::ModuleExport> exports(std::begin(kExports), std::end(kExports));
    sim::RegisterModule("VelKorvexHooks.dll", {exports.begin(), exports.begin() + 1});
    Stub(1);
    Stub(1);
    EXPECT_EQ(sim::CallCount("LoadLibraryA"), 8u);
    EXPECT_EQ(sim::CallCount("GetProcAddress"), 2u);

    sim::RegisterModule("VelKorvexHooks.dll", exports);
    for (int n = 0; n < 6; ++n) {
        std::vector<int> before(std::begin(calls), std::end(calls));
        Stub(n);
        for (int e = 0; e < 6; ++e)
            EXPECT_EQ(calls[e] - before[e], e == n ? 1 : 0) << kExports[n].name;
    }
    EXPECT_EQ(position.x, -15);
    EXPECT_EQ(position.y, 2400);
    EXPECT_FALSE(lockFreeDuringACall);
    EXPECT_TRUE(OtherThreadCanTakeLock()); // released on return

    sim::ResetCallCounts();
    for (int n = 0; n < 6; ++n)
        Stub(n);
    EXPECT_EQ(sim::CallCount("LoadLibraryA"), 0u); // each address was kept
}
