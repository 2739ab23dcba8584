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
bool lockFreeDuringCall = true;
bool trackedResult = true;

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

void __cdecl CheckFocusExport() {
    ++calls[0];
}
void __cdecl EndOfFrameExport() {
    ++calls[1];
}
void __cdecl GetRawInputStateExport() {
    ++calls[2];
}
void __cdecl TransitionExport() {
    ++calls[3];
}
void __cdecl PipeResetExport() {
    ++calls[4];
    lockFreeDuringCall = OtherThreadCanTakeLock();
}
bool __cdecl TrackedCursorPosExport(int32_t* x, int32_t* y) {
    *x = -15;
    *y = 2400;
    return trackedResult;
}

template <class F> FARPROC AsExport(F* function) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

std::vector<sim::ModuleExport> AllExports() {
    return {{"CheckFocus", AsExport(CheckFocusExport)},
            {"EndOfFrameHook", AsExport(EndOfFrameExport)},
            {"GetRawInputState", AsExport(GetRawInputStateExport)},
            {"InputActiveStateTransitionHook", AsExport(TransitionExport)},
            {"PipeResetHook", AsExport(PipeResetExport)},
            {"TrackedCursorPos", AsExport(TrackedCursorPosExport)}};
}

class HookStubs : public ::testing::Test {
  protected:
    void SetUp() override {
        InitializeCriticalSection(&lock);
        stubLock = &lock;
    }
    void TearDown() override { DeleteCriticalSection(&lock); }
    void CallAllPlainStubs() {
        CallCheckFocus(&lock);
        CallEndOfFrameHook(&lock);
        CallGetRawInputState(&lock);
        CallInputActiveStateTransitionHook(&lock);
        CallPipeResetHook(&lock);
    }
    CRITICAL_SECTION lock;
};

} // namespace

TEST_F(HookStubs, UnloadableModuleMeansNoCallAndPositionZeroUntilTheModuleAppears) {
    POINT position = {7, 8};
    CallAllPlainStubs();
    CallTrackedCursorPos(&lock, position);
    EXPECT_EQ(position.x, 0);
    EXPECT_EQ(position.y, 0);
    EXPECT_EQ(sim::CallCount("LoadLibraryA"), 6u);
    EXPECT_EQ(sim::CallCount("GetProcAddress"), 0u);

    sim::RegisterModule("VelKorvexHooks.dll", AllExports());
    CallAllPlainStubs();
    CallTrackedCursorPos(&lock, position);
    for (int count : calls)
        EXPECT_EQ(count, 1);
    EXPECT_EQ(position.x, -15);
    EXPECT_EQ(position.y, 2400);
}

TEST_F(HookStubs, MissingExportIsLookedUpAgainOnEveryCall) {
    sim::RegisterModule("VelKorvexHooks.dll", {{"EndOfFrameHook", AsExport(EndOfFrameExport)}});
    POINT position = {7, 8};
    for (int i = 0; i < 3; ++i) {
        CallCheckFocus(&lock);
        CallTrackedCursorPos(&lock, position);
    }
    EXPECT_EQ(sim::CallCount("LoadLibraryA"), 6u);
    EXPECT_EQ(sim::CallCount("GetProcAddress"), 6u);
    EXPECT_EQ(calls[0], 0);
    EXPECT_EQ(position.x, 0);
    EXPECT_EQ(position.y, 0);
}

TEST_F(HookStubs, EachStubCachesOnlyItsOwnExport) {
    sim::RegisterModule("VelKorvexHooks.dll", AllExports());
    CallCheckFocus(&lock);
    CallCheckFocus(&lock);
    CallCheckFocus(&lock);
    EXPECT_EQ(calls[0], 3);
    EXPECT_EQ(sim::CallCount("LoadLibraryA"), 1u);
    EXPECT_EQ(sim::CallCount("GetProcAddress"), 1u);

    CallPipeResetHook(&lock);
    CallPipeResetHook(&lock);
    EXPECT_EQ(calls[4], 2);
    EXPECT_EQ(sim::CallCount("LoadLibraryA"), 2u);
    EXPECT_EQ(sim::CallCount("GetProcAddress"), 2u);
}

TEST_F(HookStubs, TrackedPositionIsDeliveredEvenWhenTheExportAnswersFalse) {
    sim::RegisterModule("VelKorvexHooks.dll", AllExports());
    trackedResult = false;
    POINT position = {7, 8};
    CallTrackedCursorPos(&lock, position);
    EXPECT_EQ(position.x, -15);
    EXPECT_EQ(position.y, 2400);
}

TEST_F(HookStubs, ExportRunsWithTheCallersLockHeld) {
    sim::RegisterModule("VelKorvexHooks.dll", AllExports());
    CallPipeResetHook(&lock);
    EXPECT_EQ(calls[4], 1);
    EXPECT_FALSE(lockFreeDuringCall);
    EXPECT_TRUE(OtherThreadCanTakeLock()); // and released afterwards
}
