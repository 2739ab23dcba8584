// Window and thread discovery under Wine against real windows of two processes: this program
// and a copy of it started with "--window-owner", which creates its own windows and one child
// window inside a window of this program.
#include "discovery/window_discovery.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char kClass[] = "KorvexDiscoveryTest";

void RegisterTestClass() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kClass;
    RegisterClassA(&wc);
}

HWND Create(const std::string& title, HWND parent) {
    DWORD style = parent != nullptr ? WS_CHILD : WS_OVERLAPPEDWINDOW;
    // No WM_PARENTNOTIFY: the parent may sit in another process.
    return CreateWindowExA(WS_EX_NOPARENTNOTIFY, kClass, title.c_str(), style, 10, 10, 200, 100,
                           parent, nullptr, GetModuleHandleA(nullptr), nullptr);
}

std::string Title(const char* what, DWORD processId) {
    return std::string("KorvexDiscovery ") + what + " " + std::to_string(processId);
}

std::string EventName(const char* what, DWORD processId) {
    return std::string("KorvexDiscovery-") + what + "-" + std::to_string(processId);
}

// Waits for the handle while serving this thread's messages, so that a child window created
// from the other process can be attached to this thread's window.
bool WaitPumping(HANDLE handle, DWORD milliseconds) {
    DWORD deadline = GetTickCount() + milliseconds;
    for (;;) {
        DWORD now = GetTickCount();
        if (static_cast<int32_t>(deadline - now) <= 0)
            return false;
        DWORD r = MsgWaitForMultipleObjects(1, &handle, FALSE, deadline - now, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0)
            return true;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
}

// The second process: two top-level windows, the first with a child and a grandchild, and a
// child window inside the test program's window. Stays until the test program says quit.
int RunWindowOwner(HWND foreignParent, DWORD testProcessId) {
    RegisterTestClass();
    DWORD self = GetCurrentProcessId();
    HWND main = Create(Title("owner main", self), nullptr);
    HWND child = Create(Title("owner child", self), main);
    Create(Title("owner grandchild", self), child);
    Create(Title("owner second", self), nullptr);
    HWND embedded = Create(Title("embedded", self), foreignParent);
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, EventName("ready", testProcessId).c_str());
    HANDLE quit = OpenEventA(SYNCHRONIZE, FALSE, EventName("quit", testProcessId).c_str());
    if (embedded == nullptr || ready == nullptr || quit == nullptr)
        return 1;
    SetEvent(ready);
    return WaitPumping(quit, 60000) ? 0 : 2;
}

// First top-level window in Z order (the order EnumWindows walks) owned by `processId`.
HWND FirstTopLevelOf(DWORD processId) {
    for (HWND w = GetTopWindow(nullptr); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == processId)
            return w;
    }
    return nullptr;
}

// Whichever of the two top-level windows comes first in Z order.
HWND FirstOf(HWND a, HWND b) {
    for (HWND w = GetTopWindow(nullptr); w != nullptr; w = GetWindow(w, GW_HWNDNEXT))
        if (w == a || w == b)
            return w;
    return nullptr;
}

class TwoProcesses : public ::testing::Test {
  protected:
    void SetUp() override {
        RegisterTestClass();
        DWORD self = GetCurrentProcessId();
        main = Create(Title("test main", self), nullptr);
        child = Create(Title("test child", self), main);
        ASSERT_NE(child, nullptr);
        ready = CreateEventA(nullptr, TRUE, FALSE, EventName("ready", self).c_str());
        quit = CreateEventA(nullptr, TRUE, FALSE, EventName("quit", self).c_str());

        char program[MAX_PATH];
        GetModuleFileNameA(nullptr, program, MAX_PATH);
        char command[2 * MAX_PATH];
        snprintf(command, sizeof command, "\"%s\" --window-owner %llx %lu", program,
                 static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(main)),
                 static_cast<unsigned long>(self));
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        ASSERT_TRUE(CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   &startup, &owner));
        ASSERT_TRUE(WaitPumping(ready, 20000)) << "second process did not get ready";

        DWORD other = owner.dwProcessId;
        ownerMain = FindWindowA(kClass, Title("owner main", other).c_str());
        ownerChild = FindWindowExA(ownerMain, nullptr, kClass, nullptr);
        ownerGrandchild = FindWindowExA(ownerChild, nullptr, kClass, nullptr);
        ownerSecond = FindWindowA(kClass, Title("owner second", other).c_str());
        embedded = FindWindowExA(main, nullptr, kClass, Title("embedded", other).c_str());
        ASSERT_NE(ownerGrandchild, nullptr);
        ASSERT_NE(ownerSecond, nullptr);
        ASSERT_NE(embedded, nullptr);
    }
    void TearDown() override {
        if (owner.hProcess != nullptr) {
            SetEvent(quit);
            EXPECT_TRUE(WaitPumping(owner.hProcess, 20000));
            DWORD code = 99;
            GetExitCodeProcess(owner.hProcess, &code);
            EXPECT_EQ(code, 0u);
            CloseHandle(owner.hProcess);
            CloseHandle(owner.hThread);
        }
        DestroyWindow(main);
        CloseHandle(ready);
        CloseHandle(quit);
    }

    HWND main = nullptr, child = nullptr;
    HWND ownerMain = nullptr, ownerChild = nullptr, ownerGrandchild = nullptr;
    HWND ownerSecond = nullptr, embedded = nullptr;
    HANDLE ready = nullptr, quit = nullptr;
    PROCESS_INFORMATION owner = {};
};

bool Has(const WindowSet& set, HWND w) {
    return set.count(w) != 0;
}

} // namespace

TEST_F(TwoProcesses, CollectorsTakeEachProcessesWindowsWithAllDescendants) {
    WindowSet windows;
    EXPECT_TRUE(CollectProcessWindows(owner.dwProcessId, windows));
    for (HWND w : {ownerMain, ownerChild, ownerGrandchild, ownerSecond})
        EXPECT_TRUE(Has(windows, w)) << w;
    EXPECT_FALSE(Has(windows, embedded)); // its parent belongs to this program
    EXPECT_FALSE(Has(windows, main));

    EXPECT_TRUE(CollectProcessWindows(GetCurrentProcessId(), windows));
    for (HWND w : {main, child, embedded})
        EXPECT_TRUE(Has(windows, w)) << w;
    EXPECT_FALSE(Has(windows, ownerMain));

    ThreadIdSet threads;
    EXPECT_TRUE(CollectWindowThreads(GetCurrentProcessId(), threads));
    EXPECT_EQ(threads.count(GetCurrentThreadId()), 1u);
    EXPECT_EQ(threads.count(owner.dwThreadId), 1u); // through the embedded window
    EXPECT_TRUE(CollectWindowThreads(owner.dwProcessId, threads));
    EXPECT_EQ(threads.count(owner.dwThreadId), 1u);
    EXPECT_EQ(threads.count(GetCurrentThreadId()), 0u);
}

TEST_F(TwoProcesses, SearchesFindWindowsByTitlePrefixAndByProcess) {
    DWORD other = owner.dwProcessId;
    EXPECT_EQ(FindWindowByTitlePrefix(Title("owner second", other).c_str()), ownerSecond);
    // Both of the second process's top-level titles begin with this text.
    EXPECT_EQ(FindWindowByTitlePrefix("KorvexDiscovery owner "), FirstOf(ownerMain, ownerSecond));
    EXPECT_EQ(FindWindowByTitlePrefix(Title("owner child", other).c_str()), nullptr);
    EXPECT_EQ(FindWindowByTitlePrefix(""), GetTopWindow(nullptr));

    HWND firstOfOwner = FirstTopLevelOf(other);
    ASSERT_NE(firstOfOwner, nullptr);
    EXPECT_EQ(FindWindowOfSameProcess(ownerGrandchild), firstOfOwner);
    EXPECT_EQ(FindWindowOfSameProcess(embedded), firstOfOwner);
    EXPECT_EQ(FindWindowOfSameProcess(firstOfOwner), firstOfOwner);
    EXPECT_EQ(FindWindowOfSameProcess(child), FirstTopLevelOf(GetCurrentProcessId()));
}

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "--window-owner") == 0)
        return RunWindowOwner(reinterpret_cast<HWND>(strtoull(argv[2], nullptr, 16)),
                              static_cast<DWORD>(strtoul(argv[3], nullptr, 10)));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
