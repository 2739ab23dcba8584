// Setting and removing the hook trio (or one of its groups) on a thread, and listing a
// process's threads.
#include "binding/hook_install.h"
#include "support/fake_proxy.h"

#include <sim/control.h>
#include <sim/hooks.h>
#include <sim/modules.h>
#include <sim/toolhelp.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

// Distinct hook procedures: 0 keyboard, 1 mouse, 2 getmsg.
template <int N> LRESULT CALLBACK Proc(int, WPARAM, LPARAM) {
    return N;
}

// Registers the hooks module with its three hook procedures, `missing` left out.
void AddHooksModule(const char* missing = "") {
    std::vector<sim::ModuleExport> exports;
    for (const sim::ModuleExport& e : {sim::ModuleExport{"keyboardHook", AsExport(Proc<0>)},
                                       sim::ModuleExport{"mouseHook", AsExport(Proc<1>)},
                                       sim::ModuleExport{"getmsgHook", AsExport(Proc<2>)}})
        if (e.name != missing)
            exports.push_back(e);
    sim::RegisterModule("VelKorvexHooks.dll", exports);
}

HHOOK Fake(uintptr_t value) {
    return reinterpret_cast<HHOOK>(value);
}

class HookInstall : public ::testing::Test {
  protected:
    void SetUp() override { InitializeCriticalSection(&lock); }
    void TearDown() override { DeleteCriticalSection(&lock); }
    bool Install() { return InstallInputHooks(0x1234, &lock, kb, mouse, getmsg); }
    bool Group(bool rawInput) {
        return InstallInputHookGroup(0x1234, rawInput, &lock, kb, mouse, getmsg);
    }
    std::vector<HHOOK> Slots() { return {kb, mouse, getmsg}; }
    CRITICAL_SECTION lock;
    HHOOK kb = Fake(0x11), mouse = Fake(0x22), getmsg = Fake(0x33);
};

} // namespace

TEST_F(HookInstall, TheTrioAndEachGroupSetTheirHooksOnTheThreadAndNullTheOtherSlots) {
    AddHooksModule();
    ASSERT_TRUE(Install());
    ASSERT_TRUE(Group(true));
    ASSERT_TRUE(Group(false));
    auto hooks = sim::InstalledHooks(); // in the order set; none was taken off
    ASSERT_EQ(hooks.size(), 6u);
    const int types[] = {WH_KEYBOARD,   WH_MOUSE,    WH_GETMESSAGE,
                         WH_GETMESSAGE, WH_KEYBOARD, WH_MOUSE};
    const HOOKPROC procedures[] = {Proc<0>, Proc<1>, Proc<2>, Proc<2>, Proc<0>, Proc<1>};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(hooks[i].type, types[i]) << i;
        EXPECT_EQ(hooks[i].procedure, procedures[i]) << i;
        EXPECT_EQ(hooks[i].module, sim::RegisteredModule("VelKorvexHooks.dll"));
        EXPECT_EQ(hooks[i].threadId, 0x1234u);
    }
    EXPECT_EQ(Slots(), (std::vector<HHOOK>{hooks[4].handle, hooks[5].handle, nullptr}));
    EXPECT_EQ(sim::ModuleReferenceCount("VelKorvexHooks.dll"), 3); // never given back
}

TEST_F(HookInstall, MissingModuleOrProcedureLeavesTheSlotsUntouchedAndARefusedHookFails) {
    EXPECT_FALSE(Install());
    struct Case {
        const char* missing;
        bool trio, raw, legacy;
    } cases[] = {{"mouseHook", false, true, false}, {"getmsgHook", false, false, true}};
    for (const Case& c : cases) {
        AddHooksModule(c.missing);
        const bool results[] = {c.trio, c.raw, c.legacy};
        for (int call = 0; call < 3; ++call) {
            kb = Fake(0x11), mouse = Fake(0x22), getmsg = Fake(0x33);
            bool set = call == 0 ? Install() : Group(call == 1);
            EXPECT_EQ(set, results[call]) << c.missing << call;
            if (!set) {
                EXPECT_EQ(Slots(), (std::vector<HHOOK>{Fake(0x11), Fake(0x22), Fake(0x33)}));
            }
        }
    }
    // A refused mouse hook: false, with the hooks set before and after it left in place.
    AddHooksModule();
    sim::RefuseHookType(WH_MOUSE);
    unsigned before = static_cast<unsigned>(sim::InstalledHooks().size());
    EXPECT_FALSE(Install());
    auto hooks = sim::InstalledHooks();
    ASSERT_EQ(hooks.size(), before + 2);
    EXPECT_EQ(Slots(), (std::vector<HHOOK>{hooks[before].handle, nullptr, hooks.back().handle}));
    EXPECT_TRUE(sim::UnhookCalls().empty());
}

TEST_F(HookInstall, RemovingTakesHooksOffLastSlotFirstAndEmptiesSlotsEvenWhenRemovalFails) {
    AddHooksModule();
    ASSERT_TRUE(Install());
    std::vector<HHOOK> reversed = {getmsg, mouse, kb};
    sim::FailNext("UnhookWindowsHookEx", ERROR_INVALID_HOOK_HANDLE);
    RemoveInputHooks(kb, mouse, getmsg);
    EXPECT_EQ(sim::UnhookCalls(), reversed);
    EXPECT_EQ(Slots(), (std::vector<HHOOK>{nullptr, nullptr, nullptr}));
}

TEST(CollectProcessThreads, SnapshotGivesTheProcessThreadsAscendingPastShortRecordsAndFailureNone) {
    // 150 belongs to process 20, but its record comes back too short to reach the owner field;
    // the walk goes on past it.
    sim::SetThreads({{300, 20}, {104, 10}, {150, 20, 12}, {200, 20}, {108, 20}, {400, 30}});
    ThreadIdSet threads = {999, 108};
    EXPECT_TRUE(CollectProcessThreads(20, threads));
    EXPECT_EQ(threads, (ThreadIdSet{108, 200, 300}));
    EXPECT_EQ(sim::OpenSnapshotCount(), 0u);

    sim::FailNext("CreateToolhelp32Snapshot", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_TRUE(CollectProcessThreads(20, threads));
    EXPECT_TRUE(threads.empty());
}
