// LogFile: opening with rotation, and the one-write-per-line format.
#include "log/log_file.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace korvex {

namespace {

const char* const kLevelWords[] = {"Info", "Warning", "Error"};

constexpr size_t kPathSize = 260;
constexpr size_t kMessageSize = 4096;
constexpr size_t kTimestampSize = 128;

HANDLE OpenForAppend(const char* path, DWORD disposition) {
    return CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Bounded append of `text` to the terminated string in `buffer`; false when it does not fit.
bool Append(char* buffer, size_t size, const char* text) {
    size_t used = std::strlen(buffer);
    size_t length = std::strlen(text);
    if (used + length + 1 > size)
        return false;
    std::memcpy(buffer + used, text, length + 1);
    return true;
}

} // namespace

// The module's log; the hooks module opens it at process attach.
LogFile ModuleLog;

LogFile::LogFile() : file(INVALID_HANDLE_VALUE) {
    InitializeCriticalSection(&lock);
}

LogFile::~LogFile() {
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    DeleteCriticalSection(&lock);
}

bool LogFile::Open(const char* path, int maxBytes) {
    EnterCriticalSection(&lock);
    char expanded[kPathSize] = {};
    // An expansion that does not fit in the buffer (or fails) opens nothing: the log stays
    // closed and later lines are dropped, rather than using a cut-off path.
    DWORD needed = ExpandEnvironmentStringsA(path, expanded, kPathSize);
    if (needed == 0 || needed > kPathSize) {
        LeaveCriticalSection(&lock);
        return false;
    }

    file = OpenForAppend(expanded, OPEN_EXISTING);
    if (file != INVALID_HANDLE_VALUE) {
        LARGE_INTEGER size{};
        bool rotate = maxBytes > 0 && GetFileSizeEx(file, &size) &&
                      size.QuadPart > static_cast<LONGLONG>(maxBytes);
        if (rotate) {
            CloseHandle(file);
            file = INVALID_HANDLE_VALUE;
            char rotated[kPathSize] = {};
            bool ok = Append(rotated, kPathSize, expanded) && Append(rotated, kPathSize, ".0");
            if (ok) {
                HANDLE earlier = OpenForAppend(rotated, OPEN_EXISTING);
                if (earlier != INVALID_HANDLE_VALUE) {
                    CloseHandle(earlier);
                    ok = DeleteFileA(rotated) != FALSE;
                }
            }
            ok = ok && MoveFileA(expanded, rotated);
            if (!ok) {
                LeaveCriticalSection(&lock);
                return false;
            }
            file = OpenForAppend(expanded, OPEN_ALWAYS);
        }
    } else {
        file = OpenForAppend(expanded, OPEN_ALWAYS);
    }
    bool open = file != INVALID_HANDLE_VALUE;
    LeaveCriticalSection(&lock);
    return open;
}

void LogFile::WriteLine(int level, const char* message) {
    SYSTEMTIME now;
    GetSystemTime(&now);
    char timestamp[kTimestampSize] = {};
    std::snprintf(timestamp, sizeof timestamp, "%d-%d-%d %d:%d:%d:%d", now.wDay, now.wMonth,
                  now.wYear, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);

    // The line is assembled in a fixed buffer; a message longer than the 4,095 characters an
    // entry point can produce is cut there, so a direct caller cannot overrun it either.
    char line[kTimestampSize + kMessageSize + 16];
    const char* word = kLevelWords[level >= 0 && level <= 2 ? level : 0];
    int length = std::snprintf(line, sizeof line - 1, "%s [%s] %.4095s", timestamp, word, message);
    if (length < 0)
        return;
    if (static_cast<size_t>(length) > sizeof line - 2)
        length = static_cast<int>(sizeof line - 2);
    line[length++] = '\n';

    EnterCriticalSection(&lock);
    DWORD written = 0;
    if (file != INVALID_HANDLE_VALUE)
        WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
    LeaveCriticalSection(&lock);
}

bool OpenModuleLog(const char* path, int maxBytes) {
    return ModuleLog.Open(path, maxBytes);
}

namespace {

// A formatted message longer than 4,095 characters is cut at 4,095 (vsnprintf truncates).
void WriteFormatted(int level, const char* format, va_list args) {
    char message[kMessageSize] = {};
    std::vsnprintf(message, sizeof message, format, args);
    ModuleLog.WriteLine(level, message);
}

} // namespace

void LogInfo(const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteFormatted(LogLevelInfo, format, args);
    va_end(args);
}

void LogWarning(const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteFormatted(LogLevelWarning, format, args);
    va_end(args);
}

void LogError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteFormatted(LogLevelError, format, args);
    va_end(args);
}

} // namespace korvex
