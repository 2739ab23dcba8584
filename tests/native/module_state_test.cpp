// The module right after attach, thread notifications, and detach.
#include "hooks/exports.h"
#include "hooks/hook_state.h"
#include "link/pipe.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sim/control.h>
#include <sim/input.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

TEST(ModuleState, AttachLeavesInitialStateWithPipeInvalidAnEmptyLogOpenAndTheArrowLoaded) {
    TempDir dir;
    EXPECT_EQ(DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr), TRUE);
    EXPECT_EQ(HookState.LastHookKind, 2);
    EXPECT_FALSE(IsPipeOpen(HookState.Pipe));
    EXPECT_EQ(HookState.ArrowCursor, LoadCursorA(nullptr, IDC_ARROW));
    int32_t x = -1, y = -1;
    EXPECT_TRUE(TrackedCursorPos(&x, &y));
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(ReadHostFile("injected.log"), ""); // attach writes no line
    for (DWORD reason : {DWORD{DLL_THREAD_ATTACH}, DWORD{DLL_THREAD_DETACH}})
        EXPECT_EQ(DllMain(nullptr, reason, nullptr), TRUE);
    EXPECT_EQ(HookState.LastHookKind, 2);
}

TEST(ModuleState, AttachWithoutLogOrCursorStillSucceeds) {
    TempDir dir;
    sim::FailAlways("CreateFileA", ERROR_ACCESS_DENIED);
    sim::FailNext("LoadCursorA", ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr), TRUE);
    sim::StopFailing("CreateFileA");
    EXPECT_EQ(HookState.ArrowCursor, nullptr);
}

TEST(ModuleState, DetachWhileTakenLeavesCursorAndRegistrationsAsTheyAre) {
    TempDir dir;
    ASSERT_EQ(DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr), TRUE);
    HookState.TakeoverPending = true;
    UpdateCursorTakeover();
    unsigned registers = sim::CallCount("RegisterRawInputDevices");
    EXPECT_EQ(DllMain(nullptr, DLL_PROCESS_DETACH, nullptr), TRUE);
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_EQ(sim::CursorDisplayCount(), 1);
    EXPECT_EQ(sim::CallCount("RegisterRawInputDevices"), registers);
}
