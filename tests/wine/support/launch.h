// Starting another program (often this one again) from a Wine test and waiting for its exit.
#pragma once

#include <windows.h>

#include <cstring>
#include <string>

// Full path of this program, or of `name` in its folder.
inline std::string ProgramPath(const char* name = nullptr) {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return name ? std::string(path, std::strrchr(path, '\\') + 1) + name : path;
}

// Starts a command line with the given standard input and output (null: inherited) and
// returns its process, or null; the two handles are closed here.
inline HANDLE Launch(const std::string& commandLine, HANDLE in = nullptr, HANDLE out = nullptr) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = in || out ? STARTF_USESTDHANDLES : 0;
    startup.hStdInput = in;
    startup.hStdOutput = startup.hStdError = out;
    PROCESS_INFORMATION process{};
    std::string line = commandLine;
    bool started = CreateProcessA(nullptr, &line[0], nullptr, nullptr, in || out, 0, nullptr,
                                  nullptr, &startup, &process);
    for (HANDLE h : {in, out, process.hThread})
        if (h)
            CloseHandle(h);
    return started ? process.hProcess : nullptr;
}

// The exit code, or 0xDEAD when the process did not end within 20 s.
inline DWORD WaitForExit(HANDLE process) {
    DWORD code = 0xDEAD;
    if (process && WaitForSingleObject(process, 20000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process, &code);
    if (process)
        CloseHandle(process);
    return code;
}
