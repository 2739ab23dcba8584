// The reference proxy run as a real render proxy by a game: ProxyStart, ProxyFrame, ProxyStop.
// Each frame it (re)connects the client end of the game pipe until the overlay is there, acts on
// the overlay's records (flags, hook installation) and calls the hooks module's per-frame
// exports. Stubs and installers all run under one critical section that the proxy owns. In a
// program that does not know the proxy, a thread of the proxy's own runs the frames (below).
#include "proxy_state.h"

#include "binding/hook_install.h"
#include "binding/hook_stubs.h"
#include "link/messages.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

using namespace korvex;

namespace {

struct HookTrio {
    HHOOK keyboard = nullptr;
    HHOOK mouse = nullptr;
    HHOOK getmsg = nullptr;
};

enum class HookChoice { AllThree, GetMessageOnly, KeyboardAndMouse };

bool Started = false;
bool LockReady = false;
DWORD PipeNumber = 0;
GamePipe Pipe;
HANDLE LentHandle = INVALID_HANDLE_VALUE; // what _GetGamePipe answered after the last frame
ProxyLogProc Log = nullptr;
CRITICAL_SECTION Lock;
std::map<DWORD, HookTrio> Hooks; // one trio per hooked thread

void Say(const char* format, ...) {
    if (Log == nullptr)
        return;
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    Log(line);
}

const char* SlotsSet(const HookTrio& trio) {
    static char names[32];
    std::snprintf(names, sizeof names, "%s%s%s", trio.keyboard ? "k" : "-", trio.mouse ? "m" : "-",
                  trio.getmsg ? "g" : "-");
    return names;
}

// A repeated Init for a thread replaces its hooks rather than stacking a second set.
bool Install(DWORD thread, HookChoice choice) {
    HookTrio& trio = Hooks[thread];
    RemoveInputHooks(trio.keyboard, trio.mouse, trio.getmsg);
    if (choice == HookChoice::AllThree)
        return InstallInputHooks(thread, &Lock, trio.keyboard, trio.mouse, trio.getmsg);
    return InstallInputHookGroup(thread, choice == HookChoice::GetMessageOnly, &Lock, trio.keyboard,
                                 trio.mouse, trio.getmsg);
}

void InstallOnEveryThread(HookChoice choice, const char* what) {
    ThreadIdSet threads;
    CollectProcessThreads(GetCurrentProcessId(), threads);
    std::string list;
    unsigned set = 0;
    for (DWORD thread : threads) {
        bool ok = Install(thread, choice);
        set += ok ? 1 : 0;
        list += (list.empty() ? "" : ",") + std::to_string(thread) + ":" + SlotsSet(Hooks[thread]);
    }
    Say("proxy %s threads=%u ok=%u hooks=%s", what, static_cast<unsigned>(threads.size()), set,
        list.c_str());
}

// Takes the rest of a message we cannot or did not read whole off the pipe.
void Discard() {
    BYTE scrap[4096];
    DWORD read = 0;
    while (!ReadPipe(Pipe, scrap, sizeof scrap, read) && GetLastError() == ERROR_MORE_DATA) {
    }
}

void SetInputActive(bool active) {
    ProxyState().overlayInputActive = active;
    CallInputActiveStateTransitionHook(&Lock);
}

// One record off the pipe; false when nothing could be taken.
bool TakeRecord() {
    DWORD type = 0;
    if (!PeekMessageType(Pipe, type))
        return false;
    bool flag = false;
    DWORD thread = 0, first = 0, second = 0;
    switch (static_cast<MessageType>(type)) {
    case MessageType::RenderActive:
        if (!ReadRenderActive(Pipe, flag))
            break;
        ProxyState().overlayRenderActive = flag;
        Say("proxy RenderActive active=%d", flag);
        return true;
    case MessageType::InputActive:
        if (!ReadInputActive(Pipe, flag))
            break;
        // Reported after the hooks module has seen the change, so that input sent after this
        // line meets the new state.
        SetInputActive(flag);
        Say("proxy InputActive active=%d", flag);
        return true;
    case MessageType::Init:
        if (!ReadInit(Pipe, thread, flag))
            break;
        {
            bool ok = Install(thread, flag ? HookChoice::GetMessageOnly : HookChoice::AllThree);
            Say("proxy Init thread=%lu raw=%d ok=%d hooks=%s", static_cast<unsigned long>(thread),
                flag, ok, SlotsSet(Hooks[thread]));
        }
        return true;
    case MessageType::InitAllThreads:
        if (!ReadInitAllThreads(Pipe, flag))
            break;
        // The flag chooses the group, as Init's raw-input flag does.
        InstallOnEveryThread(flag ? HookChoice::GetMessageOnly : HookChoice::KeyboardAndMouse,
                             flag ? "InitAllThreads raw=1" : "InitAllThreads raw=0");
        return true;
    case MessageType::InitAllThreadsAllHooks:
        if (!ReadInitAllThreadsAllHooks(Pipe))
            break;
        InstallOnEveryThread(HookChoice::AllThree, "InitAllThreadsAllHooks");
        return true;
    case MessageType::TakeScreenshot:
        if (!ReadTakeScreenshot(Pipe))
            break;
        Say("proxy TakeScreenshot (the reference proxy draws nothing to capture)");
        return true;
    case MessageType::ValuePair:
        if (!ReadValuePair(Pipe, first, second))
            break;
        Say("proxy ValuePair first=%lu second=%lu", static_cast<unsigned long>(first),
            static_cast<unsigned long>(second));
        return true;
    default:
        break;
    }
    Say("proxy skipped a record of type %lu", static_cast<unsigned long>(type));
    Discard();
    return true;
}

// Lends the pipe through _GetGamePipe and makes the hooks module borrow it again when it changed.
void LendPipe() {
    if (Pipe.handle == LentHandle)
        return;
    LentHandle = Pipe.handle;
    ProxyState().gamePipe = Pipe.handle;
    CallPipeResetHook(&Lock);
    if (IsPipeOpen(Pipe))
        Say("proxy connected pipe=%lu", static_cast<unsigned long>(PipeNumber));
    else
        Say("proxy disconnected");
}

} // namespace

extern "C" {

bool __cdecl ProxyStart(DWORD pipeNumber, HWND outputWindow, ProxyLogProc log) {
    if (Started)
        return false;
    if (!LockReady)
        InitializeCriticalSection(&Lock);
    LockReady = true;
    Started = true;
    PipeNumber = pipeNumber;
    Log = log;
    ProxyFixtureState& state = ProxyState();
    state.renderProxyActive = 1;
    state.outputWindow = outputWindow;
    state.gamePipe = INVALID_HANDLE_VALUE;
    Say("proxy started pipe-number=%lu", static_cast<unsigned long>(pipeNumber));
    return true;
}

void __cdecl ProxyFrame() {
    if (!Started)
        return;
    EnterCriticalSection(&Lock);
    ProxyFixtureState& state = ProxyState();
    bool input = state.overlayInputActive != 0;
    bool render = state.overlayRenderActive != 0;
    // Reopens the client end when it is missing or broken; clears both flags when that fails.
    bool hasData = PipeHasDataOrReconnect(Pipe, PipeNumber, input, render);
    LendPipe();
    state.overlayRenderActive = render;
    if (input != (state.overlayInputActive != 0))
        SetInputActive(input);
    for (DWORD n = 0; hasData && n < GetMaxRecordsPerPoll(); ++n) {
        if (!TakeRecord())
            break;
        hasData = PipeHasData(Pipe);
    }
    CallEndOfFrameHook(&Lock);
    CallCheckFocus(&Lock);
    CallGetRawInputState(&Lock);
    LeaveCriticalSection(&Lock);
}

void __cdecl ProxyStop() {
    if (!Started)
        return;
    EnterCriticalSection(&Lock);
    for (auto& entry : Hooks)
        RemoveInputHooks(entry.second.keyboard, entry.second.mouse, entry.second.getmsg);
    Hooks.clear();
    ClosePipe(Pipe);
    LendPipe();
    ProxyState().renderProxyActive = 0;
    Started = false;
    LeaveCriticalSection(&Lock);
    Say("proxy stopped");
}

} // extern "C"

// Inside a program that does not know the proxy (nobody calls ProxyStart or ProxyFrame): when
// the process's environment names a pipe number in KORVEX_PROXY_PIPE, loading the proxy starts a
// thread of its own that waits for the process's main window, then runs the proxy on it.
namespace {

DWORD AutoPipeNumber = 0;

// The proxy's lines go to the process's standard output, when it has one.
void __cdecl WriteLine(const char* line) {
    std::string text = std::string(line) + "\n";
    DWORD written = 0;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out != nullptr && out != INVALID_HANDLE_VALUE)
        WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// The main window: a visible top-level window of this process that no other window owns.
BOOL CALLBACK TakeMainWindow(HWND window, LPARAM found) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window) ||
        GetWindow(window, GW_OWNER) != nullptr)
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// Frames every 16 ms on this thread for the life of the process; the hooks module's exports are
// made for being called from a render thread that is not the game's input thread.
DWORD WINAPI FrameLoop(LPVOID) {
    HWND window = nullptr;
    for (; window == nullptr; Sleep(16))
        EnumWindows(TakeMainWindow, reinterpret_cast<LPARAM>(&window));
    ProxyStart(AutoPipeNumber, window, WriteLine);
    for (;; Sleep(16))
        ProxyFrame();
}

} // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    char number[16];
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    DWORD length = GetEnvironmentVariableA("KORVEX_PROXY_PIPE", number, sizeof number);
    if (length > 0 && length < sizeof number) {
        AutoPipeNumber = std::strtoul(number, nullptr, 10);
        // The thread starts running once the loader has finished with this module.
        HANDLE thread = CreateThread(nullptr, 0, FrameLoop, nullptr, 0, nullptr);
        if (thread != nullptr)
            CloseHandle(thread);
    }
    return TRUE;
}
