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

HWND Create(const std::string& title, HWND parent) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kClass;
    RegisterClassA(&wc); // fails harmlessly once the class exists
    DWORD style = parent != nullptr ? WS_CHILD : WS_OVERLAPPEDWINDOW;
    // No WM_PARENTNOTIFY: the parent may sit in another process.
    return CreateWindowExA(WS_EX_NOPARENTNOTIFY, kClass, title.c_str(), style, 10, 10, 200, 100,
                           parent, nullptr, GetModuleHandleA(nullptr), nullptr);
}

// Window titles, and the name of the event the second process sets when its windows stand.
std::string Name(const char* what, DWORD processId) {
    return std::string("KorvexDiscovery ") + what + " " + std::to_string(processId);
}

// Waits for the handle while serving this thread's messages, so that a child window created
// from the other process can be attached to this thread's window.
bool WaitPumping(HANDLE handle, DWORD milliseconds) {
    DWORD r;
    while ((r = MsgWaitForMultipleObjects(1, &handle, FALSE, milliseconds, QS_ALLINPUT)) ==
           WAIT_OBJECT_0 + 1) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
    return r == WAIT_OBJECT_0;
}

// The second process: two top-level windows, the first with a child and a grandchild, and a
// child window inside the test program's window. Serves its windows until it is terminated.
int RunWindowOwner(HWND foreignParent, DWORD testProcessId) {
    DWORD self = GetCurrentProcessId();
    HWND child = Create(Name("owner child", self), Create(Name("owner main", self), nullptr));
    Create(Name("owner grandchild", self), child);
    Create(Name("owner second", self), nullptr);
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, Name("ready", testProcessId).c_str());
    if (Create(Name("embedded", self), foreignParent) == nullptr || !SetEvent(ready))
        return 1;
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    return 0;
}

DWORD ProcessOf(HWND window) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return processId;
}

// First top-level window in Z order (the order EnumWindows walks) that `match` accepts.
template <class Match> HWND FirstTopLevel(Match match) {
    for (HWND w = GetTopWindow(nullptr); w != nullptr; w = GetWindow(w, GW_HWNDNEXT))
        if (match(w))
            return w;
    return nullptr;
}

class TwoProcesses : public ::testing::Test {
  protected:
    void SetUp() override {
        DWORD self = GetCurrentProcessId();
        main = Create(Name("test main", self), nullptr);
        child = Create(Name("test child", self), main);
        ready = CreateEventA(nullptr, TRUE, FALSE, Name("ready", self).c_str());
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
        ownerMain = FindWindowA(kClass, Name("owner main", other).c_str());
        ownerChild = FindWindowExA(ownerMain, nullptr, kClass, nullptr);
        ownerGrandchild = FindWindowExA(ownerChild, nullptr, kClass, nullptr);
        ownerSecond = FindWindowA(kClass, Name("owner second", other).c_str());
        embedded = FindWindowExA(main, nullptr, kClass, Name("embedded", other).c_str());
        ASSERT_TRUE(child && ownerGrandchild && ownerSecond && embedded);
    }
    void TearDown() override {
        if (owner.hProcess != nullptr) {
            TerminateProcess(owner.hProcess, 0);
            EXPECT_TRUE(WaitPumping(owner.hProcess, 20000));
            CloseHandle(owner.hProcess);
            CloseHandle(owner.hThread);
        }
        DestroyWindow(main);
        CloseHandle(ready);
    }

    HWND main = nullptr, child = nullptr, ownerMain = nullptr, ownerChild = nullptr;
    HWND ownerGrandchild = nullptr, ownerSecond = nullptr, embedded = nullptr;
    HANDLE ready = nullptr;
    PROCESS_INFORMATION owner = {};
};

} // namespace

TEST_F(TwoProcesses, CollectorsTakeEachProcessesWindowsWithAllDescendants) {
    WindowSet windows;
    EXPECT_TRUE(CollectProcessWindows(owner.dwProcessId, windows));
    for (HWND w : {ownerMain, ownerChild, ownerGrandchild, ownerSecond})
        EXPECT_EQ(windows.count(w), 1u) << w;
    EXPECT_EQ(windows.count(embedded) + windows.count(main), 0u); // embedded's parent is ours

    EXPECT_TRUE(CollectProcessWindows(GetCurrentProcessId(), windows));
    for (HWND w : {main, child, embedded})
        EXPECT_EQ(windows.count(w), 1u) << w;
    EXPECT_EQ(windows.count(ownerMain), 0u);

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
    EXPECT_EQ(FindWindowByTitlePrefix(Name("owner second", other).c_str()), ownerSecond);
    // Both of the second process's top-level titles begin with this text.
    EXPECT_EQ(FindWindowByTitlePrefix("KorvexDiscovery owner "),
              FirstTopLevel([&](HWND w) { return w == ownerMain || w == ownerSecond; }));
    EXPECT_EQ(FindWindowByTitlePrefix(Name("owner child", other).c_str()), nullptr);
    EXPECT_EQ(FindWindowByTitlePrefix(""), GetTopWindow(nullptr));

    HWND firstOfOwner = FirstTopLevel([&](HWND w) { return ProcessOf(w) == other; });
    ASSERT_NE(firstOfOwner, nullptr);
    EXPECT_EQ(FindWindowOfSameProcess(ownerGrandchild), firstOfOwner);
    EXPECT_EQ(FindWindowOfSameProcess(embedded), firstOfOwner);
    EXPECT_EQ(FindWindowOfSameProcess(firstOfOwner), firstOfOwner);
    EXPECT_EQ(FindWindowOfSameProcess(child),
              FirstTopLevel([](HWND w) { return ProcessOf(w) == GetCurrentProcessId(); }));
}

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "--window-owner") == 0)
        return RunWindowOwner(reinterpret_cast<HWND>(strtoull(argv[2], nullptr, 16)),
                              static_cast<DWORD>(strtoul(argv[3], nullptr, 10)));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
