// The module's log file: "injected.log" in the current directory, one line per entry
// ("day-month-year h:m:s:ms [Level] message\n", UTC, no leading zeros), rotated to ".0" at open
// when it is larger than its limit. Implements LogFile, ModuleLog, OpenModuleLog, LogInfo,
// LogWarning and LogError.
#pragma once

#include <windows.h>

namespace korvex {

enum LogLevel { LogLevelInfo = 0, LogLevelWarning = 1, LogLevelError = 2 };

class LogFile {
  public:
    LogFile();
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Expands the path, opens or creates the file, and rotates it when it is larger than
    // maxBytes (0 or less: never). True when a file is open afterwards.
    bool Open(const char* path, int maxBytes);
    // Writes one line with a single WriteFile; dropped while no file is open.
    void WriteLine(int level, const char* message);

    HANDLE file;
    CRITICAL_SECTION lock;
};

// The process-wide log, writing "injected.log" once opened.
extern LogFile ModuleLog;

bool OpenModuleLog(const char* path, int maxBytes);

#if defined(__GNUC__)
#define KORVEX_PRINTF(a, b) __attribute__((format(printf, a, b)))
#else
#define KORVEX_PRINTF(a, b)
#endif
void LogInfo(const char* format, ...) KORVEX_PRINTF(1, 2);
void LogWarning(const char* format, ...) KORVEX_PRINTF(1, 2);
void LogError(const char* format, ...) KORVEX_PRINTF(1, 2);

} // namespace korvex
