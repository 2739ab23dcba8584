// A game and its render proxy, built against the release archive. consumer.exe checks the
// VERSIONINFO of the archive's DLL and peer against the package version, starts the peer on the
// pipe numbered by its process id, sets the DLL's hooks on its own thread with the library's
// installer and types K into its window. The DLL borrows the pipe from d3d9.dll (this file
// with RENDER_PROXY, which opens the client end) and the peer must print both key records.
#include "binding/hook_install.h"
#include "link/pipe.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

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
    DWORD size = GetFileVersionInfoSizeA(file, nullptr);
    VS_FIXEDFILEINFO* fixed = nullptr;
    const char* names[3] = {"OriginalFilename", "FileVersion", "ProductVersion"};
    const char* expected[3] = {file, PACKAGE_VERSION, PACKAGE_VERSION};
    UINT length = 0;
    if (size == 0 || size > sizeof data || !GetFileVersionInfoA(file, 0, size, data) ||
        !VerQueryValueA(data, "\\", reinterpret_cast<void**>(&fixed), &length))
        return false;
    for (int i = 0; i < 3; ++i) {
        char path[64], *value = nullptr;
        std::snprintf(path, sizeof path, "\\StringFileInfo\\040904b0\\%s", names[i]);
        if (!VerQueryValueA(data, path, reinterpret_cast<void**>(&value), &length) ||
            std::strcmp(value, expected[i]) != 0)
            return false;
    }
    unsigned major = 0, minor = 0, patch = 0;
    std::sscanf(PACKAGE_VERSION, "%u.%u.%u", &major, &minor, &patch);
    return fixed->dwFileVersionMS == (major << 16 | minor) &&
           fixed->dwFileVersionLS == patch << 16 &&
           fixed->dwProductVersionMS == fixed->dwFileVersionMS &&
           fixed->dwProductVersionLS == fixed->dwFileVersionLS;
}

static int Fail(const char* what) {
    std::printf("FAIL: %s\n", what);
    return 1;
}

int main() {
    if (!VersionInfoMatches("VelKorvexHooks.dll") || !VersionInfoMatches("korvex-peer.exe"))
        return Fail("VERSIONINFO of the DLL or the peer is not " PACKAGE_VERSION);
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE output = CreateFileA("peer.txt", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = output;
    PROCESS_INFORMATION peer = {};
    char command[64], name[kPipeNameSize];
    std::snprintf(command, sizeof command, "korvex-peer.exe --pipe %lu --json",
                  GetCurrentProcessId());
    if (!CreateProcessA(nullptr, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &peer))
        return Fail("cannot start korvex-peer.exe");
    MakePipeName(name, GetCurrentProcessId());
    for (int i = 0; i < 200 && !WaitNamedPipeA(name, 100); ++i)
        Sleep(100);

    CRITICAL_SECTION lock;
    InitializeCriticalSection(&lock);
    HHOOK keyboard = nullptr, mouse = nullptr, getmsg = nullptr;
    if (!InstallInputHooks(GetCurrentThreadId(), &lock, keyboard, mouse, getmsg))
        return Fail("InstallInputHooks could not set the DLL's hooks");
    HWND window = CreateWindowExA(0, "STATIC", "package test", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                  100, 100, 300, 200, nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(window);
    INPUT keys[2] = {};
    for (INPUT& key : keys) {
        key.type = INPUT_KEYBOARD;
        key.ki.wVk = 'K';
    }
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, keys, sizeof(INPUT));
    for (DWORD start = GetTickCount(); GetTickCount() - start < 1000; Sleep(10))
        for (MSG message; PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE);)
            DispatchMessageA(&message);
    RemoveInputHooks(keyboard, mouse, getmsg);
    // Closing the proxy's end ends the peer.
    auto lend = reinterpret_cast<HANDLE (*)()>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("d3d9.dll"), "_GetGamePipe")));
    if (lend != nullptr)
        CloseHandle(lend());
    DWORD peerExit = 1, read = 0;
    WaitForSingleObject(peer.hProcess, 40000);
    GetExitCodeProcess(peer.hProcess, &peerExit);
    static char text[65536];
    SetFilePointer(output, 0, nullptr, FILE_BEGIN);
    ReadFile(output, text, sizeof text - 1, &read, nullptr);
    std::printf("%s", text);
    const char* record = "{\"type\":\"KeyboardInput\",\"virtualKey\":75,";
    const char* second = std::strstr(text, record);
    if (peerExit != 0 || second == nullptr || std::strstr(second + 1, record) == nullptr)
        return Fail("the peer did not receive both key records from the DLL, or failed");
    std::printf("PASS: VERSIONINFO %s; DLL hooks set by the library sent K down and up to the "
                "peer\n",
                PACKAGE_VERSION);
    return 0;
}
#endif
