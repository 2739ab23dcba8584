// Setting, replacing and removing the hook trio on a thread, and listing a process's threads.
#include "binding/hook_install.h"

#include <sim/control.h>
#include <sim/hooks.h>
#include <sim/modules.h>
#include <sim/toolhelp.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

LRESULT CALLBACK KeyboardProc(int, WPARAM, LPARAM) {
    return 0;
}
LRESULT CALLBACK MouseProc(int, WPARAM, LPARAM) {
    return 0;
}
LRESULT CALLBACK GetmsgProc(int, WPARAM, LPARAM) {
    return 0;
}

FARPROC AsExport(HOOKPROC procedure) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(procedure));
}

// Registers the hooks module with the given hook procedures; a null one is left unexported.
void AddHooksModule(HOOKPROC keyboard, HOOKPROC mouse, HOOKPROC getmsg) {
    std::vector<sim::ModuleExport> exports;
    if (keyboard)
        exports.push_back({"keyboardHook", AsExport(keyboard)});
    if (mouse)
        exports.push_back({"mouseHook", AsExport(mouse)});
    if (getmsg)
        exports.push_back({"getmsgHook", AsExport(getmsg)});
    sim::RegisterModule("VelKorvexHooks.dll", exports);
}

HHOOK Fake(uintptr_t value) {
    return reinterpret_cast<HHOOK>(value);
}

class HookInstall : public ::testing::Test {
  protected:
    void SetUp() override { InitializeCriticalSection(&lock); }
    void TearDown() override { DeleteCriticalSection(&lock); }
    CRITICAL_SECTION lock;
    HHOOK keyboard = Fake(0x11);
    HHOOK mouse = Fake(0x22);
    HHOOK getmsg = Fake(0x33);
};

} // namespace

TEST_F(HookInstall, InstallingSetsKeyboardMouseGetmsgInOrderWithModuleAndThreadEveryTimeAfresh) {
    AddHooksModule(KeyboardProc, MouseProc, GetmsgProc);
    HMODULE module = sim::RegisteredModule("VelKorvexHooks.dll");

    ASSERT_TRUE(InstallInputHooks(0x1234, &lock, keyboard, mouse, getmsg));

    auto hooks = sim::InstalledHooks();
    ASSERT_EQ(hooks.size(), 3u);
    const int types[] = {WH_KEYBOARD, WH_MOUSE, WH_GETMESSAGE};
    const HOOKPROC procedures[] = {KeyboardProc, MouseProc, GetmsgProc};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(hooks[i].type, types[i]);
        EXPECT_EQ(hooks[i].procedure, procedures[i]);
        EXPECT_EQ(hooks[i].module, module);
        EXPECT_EQ(hooks[i].threadId, 0x1234u);
    }
    EXPECT_EQ(keyboard, hooks[0].handle);
    EXPECT_EQ(mouse, hooks[1].handle);
    EXPECT_EQ(getmsg, hooks[2].handle);

    // Nothing is cached: a second call loads and looks up again.
    EXPECT_TRUE(InstallInputHooks(0x1234, &lock, keyboard, mouse, getmsg));
    EXPECT_EQ(sim::CallCount("LoadLibraryA"), 2u);
    EXPECT_EQ(sim::CallCount("GetProcAddress"), 6u);
    EXPECT_EQ(sim::ModuleReferenceCount("VelKorvexHooks.dll"), 2); // never released
}

TEST_F(HookInstall, RefusedMouseHookGivesFalseWithTheOtherTwoLeftSet) {
    AddHooksModule(KeyboardProc, MouseProc, GetmsgProc);
    sim::RefuseHookType(WH_MOUSE);

    EXPECT_FALSE(InstallInputHooks(7, &lock, keyboard, mouse, getmsg));

    auto hooks = sim::InstalledHooks();
    ASSERT_EQ(hooks.size(), 2u);
    EXPECT_EQ(hooks[0].type, WH_KEYBOARD);
    EXPECT_EQ(hooks[1].type, WH_GETMESSAGE);
    EXPECT_EQ(keyboard, hooks[0].handle);
    EXPECT_EQ(mouse, nullptr);
    EXPECT_EQ(getmsg, hooks[1].handle);
    EXPECT_TRUE(sim::UnhookCalls().empty());

    // The keyboard-and-mouse group fails the same way and keeps its keyboard hook.
    EXPECT_FALSE(InstallInputHookGroup(7, false, &lock, keyboard, mouse, getmsg));
    EXPECT_NE(keyboard, nullptr);
    EXPECT_EQ(mouse, nullptr);
    EXPECT_EQ(getmsg, nullptr);
}

TEST_F(HookInstall, UnloadableModuleOrMissingProcedureLeavesSlotsUntouched) {
    EXPECT_FALSE(InstallInputHooks(7, &lock, keyboard, mouse, getmsg));
    EXPECT_FALSE(InstallInputHookGroup(7, true, &lock, keyboard, mouse, getmsg));
    EXPECT_FALSE(InstallInputHookGroup(7, false, &lock, keyboard, mouse, getmsg));
    EXPECT_EQ(keyboard, Fake(0x11));
    EXPECT_EQ(mouse, Fake(0x22));
    EXPECT_EQ(getmsg, Fake(0x33));
    EXPECT_EQ(sim::CallCount("GetProcAddress"), 0u);

    AddHooksModule(KeyboardProc, nullptr, GetmsgProc);
    EXPECT_FALSE(InstallInputHooks(7, &lock, keyboard, mouse, getmsg));
    EXPECT_FALSE(InstallInputHookGroup(7, false, &lock, keyboard, mouse, getmsg));
    EXPECT_EQ(keyboard, Fake(0x11));
    EXPECT_EQ(mouse, Fake(0x22));
    EXPECT_EQ(getmsg, Fake(0x33));
    EXPECT_EQ(sim::CallCount("SetWindowsHookExA"), 0u);

    // The raw-input group needs only getmsgHook.
    EXPECT_TRUE(InstallInputHookGroup(7, true, &lock, keyboard, mouse, getmsg));
}

TEST_F(HookInstall, GroupsOverwriteTheOtherGroupsSlotsWithNullWithoutUnhooking) {
    AddHooksModule(KeyboardProc, MouseProc, GetmsgProc);
    ASSERT_TRUE(InstallInputHooks(9, &lock, keyboard, mouse, getmsg));
    HHOOK oldGetmsg = getmsg;

    ASSERT_TRUE(InstallInputHookGroup(9, true, &lock, keyboard, mouse, getmsg));
    EXPECT_EQ(keyboard, nullptr);
    EXPECT_EQ(mouse, nullptr);
    auto hooks = sim::InstalledHooks();
    ASSERT_EQ(hooks.size(), 4u); // the earlier three stay set
    EXPECT_EQ(hooks[3].type, WH_GETMESSAGE);
    EXPECT_EQ(hooks[3].threadId, 9u);
    EXPECT_EQ(getmsg, hooks[3].handle);
    EXPECT_NE(getmsg, oldGetmsg);

    ASSERT_TRUE(InstallInputHookGroup(9, false, &lock, keyboard, mouse, getmsg));
    EXPECT_EQ(getmsg, nullptr);
    hooks = sim::InstalledHooks();
    ASSERT_EQ(hooks.size(), 6u);
    EXPECT_EQ(hooks[4].type, WH_KEYBOARD);
    EXPECT_EQ(hooks[5].type, WH_MOUSE);
    EXPECT_EQ(keyboard, hooks[4].handle);
    EXPECT_EQ(mouse, hooks[5].handle);
    EXPECT_TRUE(sim::UnhookCalls().empty());
}

TEST_F(HookInstall, InstallerWaitsForTheCallersLockBeforeLoading) {
    AddHooksModule(KeyboardProc, MouseProc, GetmsgProc);
    sim::ResetCallCounts();
    EnterCriticalSection(&lock);
    std::atomic<bool> done{false};
    std::thread installer([&] {
        InstallInputHooks(5, &lock, keyboard, mouse, getmsg);
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(done);
    EXPECT_EQ(sim::CallCount("LoadLibraryA"), 0u);
    LeaveCriticalSection(&lock);
    installer.join();
    EXPECT_EQ(sim::InstalledHooks().size(), 3u);
}

TEST_F(HookInstall, RemovingTakesHooksOffLastSlotFirstAndEmptiesSlotsEvenWhenRemovalFails) {
    AddHooksModule(KeyboardProc, MouseProc, GetmsgProc);
    ASSERT_TRUE(InstallInputHooks(3, &lock, keyboard, mouse, getmsg));
    HHOOK set[] = {keyboard, mouse, getmsg};

    RemoveInputHooks(keyboard, mouse, getmsg);
    EXPECT_EQ(sim::UnhookCalls(), (std::vector<HHOOK>{set[2], set[1], set[0]}));
    EXPECT_TRUE(sim::InstalledHooks().empty());
    EXPECT_EQ(keyboard, nullptr);
    EXPECT_EQ(mouse, nullptr);
    EXPECT_EQ(getmsg, nullptr);

    // Only the first slot set: one removal. A failed removal still empties the slot.
    HHOOK first = Fake(0x44);
    HHOOK second = nullptr;
    HHOOK third = nullptr;
    sim::FailNext("UnhookWindowsHookEx", ERROR_INVALID_HOOK_HANDLE);
    RemoveInputHooks(first, second, third);
    EXPECT_EQ(sim::CallCount("UnhookWindowsHookEx"), 4u);
    EXPECT_EQ(sim::UnhookCalls().back(), Fake(0x44));
    EXPECT_EQ(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(third, nullptr);
}

TEST(CollectProcessThreads, ReplacesTheCallersSetWithTheProcessThreadsInAscendingOrder) {
    sim::SetThreads({{300, 20}, {104, 10}, {200, 20}, {108, 20}, {400, 30}, {150, 20, 12}});
    ThreadIdSet threads = {999, 108};

    EXPECT_TRUE(CollectProcessThreads(20, threads));
    // 150 belongs to process 20, but its record came back too short to reach the owner field.
    EXPECT_EQ(threads, (ThreadIdSet{108, 200, 300}));
    EXPECT_EQ(sim::OpenSnapshotCount(), 0u);

    EXPECT_TRUE(CollectProcessThreads(77, threads));
    EXPECT_TRUE(threads.empty());
}

TEST(CollectProcessThreads, FailedSnapshotLeavesTheSetEmptyAndStillReportsTrue) {
    sim::SetThreads({{300, 20}});
    ThreadIdSet threads = {5, 6};
    sim::FailNext("CreateToolhelp32Snapshot", ERROR_NOT_ENOUGH_MEMORY);

    EXPECT_TRUE(CollectProcessThreads(20, threads));
    EXPECT_TRUE(threads.empty());
    EXPECT_EQ(sim::CallCount("Thread32First"), 0u);
}
