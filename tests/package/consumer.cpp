// A game and its render proxy, built against the release archive. consumer.exe checks the
// VERSIONINFO of the archive's DLL and peer against the package version, starts the peer on the
// pipe numbered by its process id, sets the DLL's hooks on its own thread with the library's
// installer and types K into its window. The DLL borrows the pipe from d3d9.dll (this file
// with RENDER_PROXY, which opens the client end); scripts/package-test.sh then looks for both
// key records in what the peer printed (peer.txt).
#include "binding/hook_install.h"
#include "link/pipe.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

using namespace korvex;

// Prints the failure and ends main with exit code 1.
#define REQUIRE(ok, what)                                                                          \
    if (!(ok))                                                                                     \
    return std::printf("FAIL: %s\n", what), 1

#ifdef RENDER_PROXY
static GamePipe Pipe;
extern "C" __declspec(dllexport) HANDLE __cdecl _GetGamePipe() {
    if (!IsPipeOpen(Pipe))
        ConnectPipeClient(Pipe, GetCurrentProcessId());
    return Pipe.handle;
}
#else
static bool VersionInfoMatches(const char* file) {
    static char data[16384];
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    unsigned major = 0, minor = 0, patch = 0;
    std::sscanf(PACKAGE_VERSION, "%u.%u.%u", &major, &minor, &patch);
    auto is = [&](const char* key, const char* expected) {
        char path[64], *value = nullptr;
        std::snprintf(path, sizeof path, "\\StringFileInfo\\040904b0\\%s", key);
        return VerQueryValueA(data, path, reinterpret_cast<void**>(&value), &size) &&
               std::strcmp(value, expected) == 0;
    };
    return GetFileVersionInfoA(file, 0, sizeof data, data) &&
           VerQueryValueA(data, "\\", reinterpret_cast<void**>(&fixed), &size) &&
           is("OriginalFilename", file) && is("FileVersion", PACKAGE_VERSION) &&
           is("ProductVersion", PACKAGE_VERSION) &&
           fixed->dwFileVersionMS == (major << 16 | minor) && fixed->dwFileVersionLS == patch << 16;
}

int main() {
    REQUIRE(VersionInfoMatches("VelKorvexHooks.dll") && VersionInfoMatches("korvex-peer.exe"),
            "VERSIONINFO of the DLL or the peer is not " PACKAGE_VERSION);
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError =
        CreateFileA("peer.txt", GENERIC_WRITE, 0, &inherit, CREATE_ALWAYS, 0, nullptr);
    PROCESS_INFORMATION peer = {};
    char command[64], name[kPipeNameSize];
    std::snprintf(command, sizeof command, "korvex-peer.exe --pipe %lu --json",
                  GetCurrentProcessId());
    REQUIRE(CreateProcessA(nullptr, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                           &peer),
            "cannot start korvex-peer.exe");
    MakePipeName(name, GetCurrentProcessId());
    for (int i = 0; i < 200 && !WaitNamedPipeA(name, 100); ++i)
        Sleep(100);

    CRITICAL_SECTION lock;
    InitializeCriticalSection(&lock);
    HHOOK keyboard = nullptr, mouse = nullptr, getmsg = nullptr;
    REQUIRE(InstallInputHooks(GetCurrentThreadId(), &lock, keyboard, mouse, getmsg),
            "InstallInputHooks could not set the DLL's hooks");
    SetForegroundWindow(CreateWindowExA(0, "STATIC", "package test", WS_VISIBLE, 100, 100, 300, 200,
                                        nullptr, nullptr, nullptr, nullptr));
    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = 'K';
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, keys, sizeof(INPUT));
    // Until the release has come through the hooks: the keyboard hook sends before it returns.
    bool released = false;
    for (DWORD start = GetTickCount(); !released && GetTickCount() - start < 20000; Sleep(10))
        for (MSG message; !released && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE);) {
            DispatchMessageA(&message);
            released = message.message == WM_KEYUP && message.wParam == 'K';
        }
    REQUIRE(released, "the key's release never reached the window");
    RemoveInputHooks(keyboard, mouse, getmsg);
    auto lend = reinterpret_cast<HANDLE (*)()>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("d3d9.dll"), "_GetGamePipe")));
    if (lend != nullptr)
        CloseHandle(lend()); // the peer ends when the game closes its end

    DWORD peerExit = 1;
    REQUIRE(WaitForSingleObject(peer.hProcess, 40000) == WAIT_OBJECT_0 &&
                GetExitCodeProcess(peer.hProcess, &peerExit) && peerExit == 0,
            "korvex-peer did not end well; see peer.txt");
    return 0;
}
#endif
