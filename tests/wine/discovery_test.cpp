// Window and thread discovery over real windows, one of them parented in from another process (this
// program started again), the thread snapshot, the output window settings and the numeric
// utilities. Out of memory is a failing msvcrt malloc: the product's operator new calls it through
// this program's imports.
#include "binding/hook_install.h"
#include "discovery/output_settings.h"
#include "discovery/window_discovery.h"
#include "support/fixtures.h"
#include "support/import_patch.h"
#include "support/launch.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

using namespace korvex;

namespace {

// Started again with a window handle as its only argument, this program parents a window into
// that window and stays until it is ended.
const bool kForeignChild = [] {
    if (__argc != 2 || !isdigit(__argv[1][0]))
        return false;
    CreateWindowExA(0, "STATIC", "Korvex foreign", WS_CHILD, 0, 0, 20, 20,
                    reinterpret_cast<HWND>(std::stoull(__argv[1])), nullptr, nullptr, nullptr);
    PumpUntil([] { return false; }, 20000);
    ExitProcess(0);
}();

// In place for the program's life: both forward until a test arms them.
void* __cdecl CountedMalloc(size_t size);
BOOL WINAPI Next(HANDLE snapshot, LPTHREADENTRY32 entry);
const ImportPatch Malloc(nullptr, "msvcrt.dll", "malloc", reinterpret_cast<void*>(CountedMalloc));
const ImportPatch Walk(nullptr, "kernel32.dll", "Thread32Next", reinterpret_cast<void*>(Next));

// The allocation that fails, counted from 1 (0: none), and whether the next allocation first runs
// a thread collection that runs out of memory, as one may on another thread at the same time.
int AllocationFailsIn = 0;
bool ThreadsRunOutFirst = false;
void* __cdecl CountedMalloc(size_t size) {
    if (std::exchange(ThreadsRunOutFirst, false)) {
        AllocationFailsIn = 2;
        CollectWindowThreads(GetCurrentProcessId(), WindowThreadsScratch);
    }
    if (AllocationFailsIn > 0 && --AllocationFailsIn == 0)
        return nullptr;
    return Malloc.Original<void*(__cdecl*)(size_t)>()(size);
}

// Records of these threads come back too short to hold the owner, and just long enough.
DWORD ShortThread = 0, EdgeThread = 0;
bool SizeNotSet = false;
BOOL WINAPI Next(HANDLE snapshot, LPTHREADENTRY32 entry) {
    SizeNotSet |= entry->dwSize != sizeof(THREADENTRY32);
    BOOL more = Walk.Original<decltype(&Thread32Next)>()(snapshot, entry);
    if (more && (entry->th32ThreadID == ShortThread || entry->th32ThreadID == EdgeThread))
        entry->dwSize = entry->th32ThreadID == ShortThread ? 15 : 16;
    return more;
}

HANDLE WINAPI NoSnapshot(DWORD, DWORD) {
    return INVALID_HANDLE_VALUE;
}

} // namespace

TEST(WindowDiscovery, CollectorsTakeAllDescendantsOfTheProcesssTopLevelWindowsForeignOnesToo) {
    const DWORD self = GetCurrentProcessId();
    HWND top = CreateTestWindow({100, 100, 300, 300}), second = CreateTestWindow({50, 50, 90, 90});
    HWND child = CreateWindowExA(0, "STATIC", "Korvex child", WS_CHILD, 0, 0, 50, 50, top, nullptr,
                                 nullptr, nullptr);
    HANDLE other = Launch("\"" + ProgramPath() + "\" " + std::to_string(uintptr_t(child)));
    HWND foreign = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return foreign = FindWindowExA(child, 0, 0, "Korvex foreign"); }));

    WindowSet windows = {top}, none;
    ThreadIdSet threads = {1};
    EXPECT_TRUE(CollectProcessWindows(0xFFFFFFF0, windows) && windows.empty()); // no such process
    EXPECT_TRUE(CollectProcessWindows(self, windows) && CollectWindowThreads(self, threads));
    for (HWND window : {top, second, child, foreign})
        EXPECT_EQ(windows.count(window), 1u);
    EXPECT_EQ(threads, ThreadIdSet({GetCurrentThreadId(), GetWindowThreadProcessId(foreign, 0)}));
    EXPECT_EQ(ProcessWindowsScratch, windows); // kept until the next collection
    EXPECT_TRUE(CollectWindowThreads(self, WindowThreadsScratch));
    EXPECT_EQ(WindowThreadsScratch, threads);
    DWORD process = 0; // a foreign window's own process, not that of its top-level ancestor
    GetWindowThreadProcessId(FindWindowOfSameProcess(foreign), &process);
    EXPECT_EQ(process, GetProcessId(other));

    // Searches: the first top-level window in enumeration order, which HWND_TOP decides here.
    const std::string title = "Korvex A" + std::string(292, 'x');
    SetWindowTextA(top, "Korvex A one");
    SetWindowTextA(second, title.c_str());
    for (HWND first : {top, second}) {
        SetWindowPos(first, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        EXPECT_EQ(FindWindowByTitlePrefix("Korvex A"), first);
        EXPECT_TRUE(FindWindowOfSameProcess(child) == first &&
                    FindWindowOfSameProcess(first) == first);
    }
    for (const auto& [text, window] : {std::pair<std::string, HWND>{"", GetTopWindow(nullptr)},
                                       {"korvex a", nullptr},
                                       {"Korvex child", nullptr},
                                       {title.substr(0, 255), second},
                                       {title.substr(0, 256), nullptr}})
        EXPECT_EQ(FindWindowByTitlePrefix(text.c_str()), window) << text;

    // Out of memory, a collector stops and keeps what it had; the thread collector running out
    // meanwhile does not stop the window collector.
    ThreadsRunOutFirst = true;
    EXPECT_TRUE(CollectProcessWindows(self, none) && none == windows);
    AllocationFailsIn = 2; // the second insertion fails and ends the collection
    EXPECT_TRUE(CollectProcessWindows(self, none) && none.size() == 1);
    TerminateProcess(other, 0);
    WaitForExit(other);
}

TEST(CollectProcessThreads, SnapshotReplacesTheSetWithTheProcesssThreadsPastShortRecords) {
    for (DWORD* id : {&ShortThread, &EdgeThread}) // never resumed: their routine never runs
        CloseHandle(CreateThread(nullptr, 0, ResumeThread, nullptr, CREATE_SUSPENDED, id));
    ThreadIdSet threads = {ShortThread};
    EXPECT_TRUE(CollectProcessThreads(GetCurrentProcessId(), threads));
    EXPECT_EQ(threads.count(GetCurrentThreadId()) + threads.count(EdgeThread), 2u);
    EXPECT_FALSE(threads.count(ShortThread) || SizeNotSet);
    EXPECT_TRUE(CollectProcessThreads(0xFFFFFFF0, threads) && threads.empty()); // no such process
    AllocationFailsIn = 2; // the walk stops at the second insertion
    EXPECT_TRUE(CollectProcessThreads(GetCurrentProcessId(), threads) && threads.size() == 1);
    ImportPatch none(nullptr, "kernel32.dll", "CreateToolhelp32Snapshot",
                     reinterpret_cast<void*>(NoSnapshot));
    EXPECT_TRUE(CollectProcessThreads(GetCurrentProcessId(), threads) && threads.empty());
}

TEST(OutputSettings, ModeTakesOnlyItsTwoExactValuesAndTheNameAtMost255CharactersInPlace) {
    const char* name = GetOutputWindowName();
    const std::string w300(300, 'w'), w255(255, 'w');
    // Each setting in turn (the first one unknown), and the mode and name after it.
    const std::tuple<const char*, const char*, int32_t, std::string> steps[] = {
        {"OutputWindowNames", "xyz", 0, ""},
        {"OutputWindowMode", "OutputWindowMode_Name", 1, ""},
        {"OutputWindowMode", "OutputWindowMode_Defaults", 1, ""},
        {"outputwindowmode", "OutputWindowMode_Default", 1, ""},
        {"OutputWindowName", w300.c_str(), 1, w255},
        {"OutputWindowMode", "OutputWindowMode_Default", 0, w255},
        {"OutputWindowMode", "OutputWindowMode_Nam", 0, w255},
        {"OutputWindowMode", "outputwindowmode_name", 0, w255},
        {"OutputWindowName", "abc", 0, "abc"},
        {"OutputWindowName", "", 0, ""}};
    for (const auto& [key, value, mode, after] : steps)
        EXPECT_TRUE(ApplyOutputWindowSetting(key, nullptr, value) &&
                    GetOutputWindowMode() == mode && GetOutputWindowName() == name && name == after)
            << key << " " << value;
}

TEST(NumericUtilities, ColorBytesGoMostSignificantFirstOver255AndPowersOfTwoRoundUp) {
    float out[4] = {};
    UnpackColor(0x0364C8FA, out);
    for (int i = 0; i < 4; ++i) {
        // Stored, so that the x87 unit of i686 rounds the quotient to single precision.
        volatile float expected = static_cast<float>(0x0364C8FA >> (24 - 8 * i) & 0xFF) / 255.0f;
        EXPECT_EQ(out[i], float(expected)) << i;
    }
    const int32_t n[] = {0, -5, INT32_MIN, 1, 2, 3, 5, 1 << 30, (1 << 30) + 1, INT32_MAX};
    const uint32_t power[] = {0, 0, 0, 1, 2, 4, 8, 1u << 30, 1u << 31, 1u << 31};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(NextPowerOfTwo(n[i]), power[i]) << n[i];
}
