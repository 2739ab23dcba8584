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

// Distinct hook procedures: 0 keyboard, 1 mouse, 2 getmsg.
template <int N> LRESULT CALLBACK Proc(int, WPARAM, LPARAM) {
    return N;
}

FARPROC AsExport(HOOKPROC procedure) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(procedure));
}

// Registers the hooks module with its three hook procedures, mouseHook optionally left out.
void AddHooksModule(bool withMouse = true) {
    std::vector<sim::ModuleExport> exports = {{"keyboardHook", AsExport(Proc<0>)},
                                              {"getmsgHook", AsExport(Proc<2>)}};
    if (withMouse)
        exports.push_back({"mouseHook", AsExport(Proc<1>)});
    sim::RegisterModule("VelKorvexHooks.dll", exports);
}

HHOOK Fake(uintptr_t value) {
    return reinterpret_cast<HHOOK>(value);
}

class HookInstall : public ::testing::Test {
  protected:
    void SetUp() override { InitializeCriticalSection(&lock); }
    void TearDown() override { DeleteCriticalSection(&lock); }
    bool Install(DWORD thread = 7) { return InstallInputHooks(thread, &lock, kb, mouse, getmsg); }
    bool Group(bool rawInput) {
        return InstallInputHookGroup(7, rawInput, &lock, kb, mouse, getmsg);
    }
    void ExpectSlots(HHOOK k, HHOOK m, HHOOK g) {
        EXPECT_EQ(kb, k);
        EXPECT_EQ(mouse, m);
        EXPECT_EQ(getmsg, g);
    }
    CRITICAL_SECTION lock;
    HHOOK kb = Fake(0x11), mouse = Fake(0x22), getmsg = Fake(0x33);
};

} // namespace

TEST_F(HookInstall, InstallingTheTrioThenEachGroupResultsInNewHooksAndTheOtherSlotsNulled) {
    AddHooksModule();
    ASSERT_TRUE(Install(0x1234));
    auto hooks = sim::InstalledHooks();
    ASSERT_EQ(hooks.size(), 3u);
    const int types[] = {WH_KEYBOARD, WH_MOUSE, WH_GETMESSAGE};
    const HOOKPROC procedures[] = {Proc<0>, Proc<1>, Proc<2>};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(hooks[i].type, types[i]);
        EXPECT_EQ(hooks[i].procedure, procedures[i]);
        EXPECT_EQ(hooks[i].module, sim::RegisteredModule("VelKorvexHooks.dll"));
        EXPECT_EQ(hooks[i].threadId, 0x1234u);
    }
    ExpectSlots(hooks[0].handle, hooks[1].handle, hooks[2].handle);

    // The groups leave the earlier hooks set and unhook nothing.
    ASSERT_TRUE(Group(true));
    hooks = sim::InstalledHooks();
    ASSERT_EQ(hooks.size(), 4u);
    EXPECT_EQ(hooks[3].type, WH_GETMESSAGE);
    ExpectSlots(nullptr, nullptr, hooks[3].handle);
    ASSERT_TRUE(Group(false));
    hooks = sim::InstalledHooks();
    ASSERT_EQ(hooks.size(), 6u);
    EXPECT_EQ(hooks[4].type, WH_KEYBOARD);
    EXPECT_EQ(hooks[5].type, WH_MOUSE);
    ExpectSlots(hooks[4].handle, hooks[5].handle, nullptr);
    EXPECT_TRUE(sim::UnhookCalls().empty());

    // Nothing is cached: every call loads and looks up again, and never releases the module.
    EXPECT_EQ(sim::CallCount("LoadLibraryA"), 3u);
    EXPECT_EQ(sim::CallCount("GetProcAddress"), 3u + 1u + 2u);
    EXPECT_EQ(sim::ModuleReferenceCount("VelKorvexHooks.dll"), 3);
}

TEST_F(HookInstall, RefusedMouseHookGivesFalseWithTheOtherTwoLeftSet) {
    AddHooksModule();
    sim::RefuseHookType(WH_MOUSE);
    EXPECT_FALSE(Install());
    auto hooks = sim::InstalledHooks();
    ASSERT_EQ(hooks.size(), 2u);
    EXPECT_EQ(hooks[0].type, WH_KEYBOARD);
    EXPECT_EQ(hooks[1].type, WH_GETMESSAGE);
    ExpectSlots(hooks[0].handle, nullptr, hooks[1].handle);
    EXPECT_TRUE(sim::UnhookCalls().empty());

    // The keyboard-and-mouse group fails the same way and keeps its keyboard hook.
    EXPECT_FALSE(Group(false));
    ExpectSlots(sim::InstalledHooks().back().handle, nullptr, nullptr);
}

TEST_F(HookInstall, UnloadableModuleOrMissingProcedureLeavesSlotsUntouched) {
    EXPECT_FALSE(Install());
    EXPECT_FALSE(Group(true));
    EXPECT_FALSE(Group(false));
    EXPECT_EQ(sim::CallCount("GetProcAddress"), 0u);

    AddHooksModule(false);
    EXPECT_FALSE(Install());
    EXPECT_FALSE(Group(false));
    ExpectSlots(Fake(0x11), Fake(0x22), Fake(0x33));
    EXPECT_EQ(sim::CallCount("SetWindowsHookExA"), 0u);
    EXPECT_TRUE(Group(true)); // the raw-input group needs only getmsgHook
}

TEST_F(HookInstall, InstallerWaitsForTheCallersLockBeforeLoading) {
    AddHooksModule();
    EnterCriticalSection(&lock);
    std::atomic<bool> done{false};
    std::thread installer([&] {
        Install();
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
    AddHooksModule();
    ASSERT_TRUE(Install());
    std::vector<HHOOK> reversed = {getmsg, mouse, kb};
    RemoveInputHooks(kb, mouse, getmsg);
    EXPECT_EQ(sim::UnhookCalls(), reversed);
    EXPECT_TRUE(sim::InstalledHooks().empty());
    ExpectSlots(nullptr, nullptr, nullptr);

    // Only the first slot set: one removal, and a failed removal still empties the slot.
    kb = Fake(0x44);
    sim::FailNext("UnhookWindowsHookEx", ERROR_INVALID_HOOK_HANDLE);
    RemoveInputHooks(kb, mouse, getmsg);
    EXPECT_EQ(sim::CallCount("UnhookWindowsHookEx"), 4u);
    EXPECT_EQ(sim::UnhookCalls().back(), Fake(0x44));
    ExpectSlots(nullptr, nullptr, nullptr);
}

TEST(CollectProcessThreads, SnapshotResultsInTheProcessThreadsAscendingAndFailureInAnEmptySet) {
    sim::SetThreads({{300, 20}, {104, 10}, {200, 20}, {108, 20}, {400, 30}, {150, 20, 12}});
    ThreadIdSet threads = {999, 108};
    EXPECT_TRUE(CollectProcessThreads(20, threads));
    // 150 belongs to process 20, but its record came back too short to reach the owner field.
    EXPECT_EQ(threads, (ThreadIdSet{108, 200, 300}));
    EXPECT_EQ(sim::OpenSnapshotCount(), 0u);
    EXPECT_TRUE(CollectProcessThreads(77, threads));
    EXPECT_TRUE(threads.empty());

    // A snapshot that cannot be taken still reports true, with the set emptied.
    threads = {5, 6};
    sim::FailNext("CreateToolhelp32Snapshot", ERROR_NOT_ENOUGH_MEMORY);
    unsigned walks = sim::CallCount("Thread32First");
    EXPECT_TRUE(CollectProcessThreads(20, threads));
    EXPECT_TRUE(threads.empty());
    EXPECT_EQ(sim::CallCount("Thread32First"), walks);
}
