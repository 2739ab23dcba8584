// The call stubs that reach the hooks module's exports by its file name.
#include "binding/hook_stubs.h"

#include <sim/control.h>
#include <sim/modules.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <thread>
#include <vector>

namespace {

CRITICAL_SECTION* stubLock = nullptr;
int calls[5] = {};
bool lockFreeDuringACall = false;

// True when another thread could take the stubs' lock right now.
bool OtherThreadCanTakeLock() {
    bool taken = false;
    std::thread other([&] {
        taken = TryEnterCriticalSection(stubLock) != FALSE;
        if (taken)
            LeaveCriticalSection(stubLock);
    });
    other.join();
    return taken;
}

// Plain export N counts its calls and notes whether the caller's lock was free meanwhile.
template <int N> void __cdecl PlainExport() {
    ++calls[N];
    lockFreeDuringACall |= OtherThreadCanTakeLock();
}

bool __cdecl TrackedCursorPosExport(int32_t* x, int32_t* y) {
    *x = -15;
    *y = 2400;
    return false; // the position counts even so
}

template <class F> FARPROC AsExport(F* function) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

class HookStubs : public ::testing::Test {
  protected:
    void SetUp() override {
        InitializeCriticalSection(&lock);
        stubLock = &lock;
    }
    void TearDown() override { DeleteCriticalSection(&lock); }
    void CallAllStubs() {
        CallCheckFocus(&lock);
        CallEndOfFrameHook(&lock);
        CallGetRawInputState(&lock);
        CallInputActiveStateTransitionHook(&lock);
        CallPipeResetHook(&lock);
        CallTrackedCursorPos(&lock, position);
    }
    CRITICAL_SECTION lock;
    POINT position = {7, 8};
};

} // namespace

TEST_F(HookStubs, MissingModuleOrExportResultsInNoCallAndALookupEachTimeUntilEachStubFindsItsOwn) {
    CallAllStubs();
    EXPECT_EQ(position.x, 0);
    EXPECT_EQ(position.y, 0);
    EXPECT_EQ(sim::CallCount("LoadLibraryA"), 6u);
    EXPECT_EQ(sim::CallCount("GetProcAddress"), 0u);

    // Only EndOfFrameHook exported: the other five are looked up again on the next call.
    sim::RegisterModule("VelKorvexHooks.dll", {{"EndOfFrameHook", AsExport(PlainExport<1>)}});
    position = {7, 8};
    CallAllStubs();
    CallAllStubs();
    EXPECT_EQ(sim::CallCount("GetProcAddress"), 6u + 5u);
    EXPECT_EQ(calls[0] + calls[1] + calls[2] + calls[3] + calls[4], 2);
    EXPECT_EQ(position.x, 0);
    EXPECT_EQ(position.y, 0);

    sim::RegisterModule("VelKorvexHooks.dll",
                        {{"CheckFocus", AsExport(PlainExport<0>)},
                         {"EndOfFrameHook", AsExport(PlainExport<1>)},
                         {"GetRawInputState", AsExport(PlainExport<2>)},
                         {"InputActiveStateTransitionHook", AsExport(PlainExport<3>)},
                         {"PipeResetHook", AsExport(PlainExport<4>)},
                         {"TrackedCursorPos", AsExport(TrackedCursorPosExport)}});
    sim::ResetCallCounts();
    CallAllStubs();
    CallAllStubs();
    EXPECT_EQ(sim::CallCount("LoadLibraryA"), 5u); // each stub keeps its own export
    EXPECT_EQ(sim::CallCount("GetProcAddress"), 5u);
    EXPECT_EQ(calls[0] + calls[2] + calls[3] + calls[4], 8);
    EXPECT_EQ(calls[1], 4);
    EXPECT_EQ(position.x, -15);
    EXPECT_EQ(position.y, 2400);
    EXPECT_FALSE(lockFreeDuringACall);
    EXPECT_TRUE(OtherThreadCanTakeLock()); // released after each call
}
