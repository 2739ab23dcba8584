// The log against the real file API: rotation at open, and a rotation refused while another
// handle holds the log open (it is shared without delete access).
#include "log/log_file.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

std::string Folder() {
    char path[MAX_PATH];
    GetTempPathA(MAX_PATH, path);
    std::string folder = std::string(path) + "korvex-log-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder + "\\";
}

void Write(const std::string& path, size_t bytes) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    std::string data(bytes, 'x');
    DWORD written = 0;
    WriteFile(f, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    CloseHandle(f);
}

LONGLONG Size(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &info))
        return -1;
    return (static_cast<LONGLONG>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
}

} // namespace

TEST(LogFileWine, OversizedLogMovesToDotZeroReplacingTheOldOneAndANewLogStarts) {
    std::string log = Folder() + "injected.log";
    Write(log, 101);
    Write(log + ".0", 7);
    {
        LogFile file;
        ASSERT_TRUE(file.Open(log.c_str(), 100));
        file.WriteLine(LogLevelInfo, "fresh");
    }
    EXPECT_EQ(Size(log + ".0"), 101);
    LONGLONG fresh = Size(log);
    EXPECT_GT(fresh, 0);
    EXPECT_LT(fresh, 60);
    {
        LogFile file; // exactly at the limit: kept and appended to
        Write(log, 100);
        ASSERT_TRUE(file.Open(log.c_str(), 100));
        file.WriteLine(LogLevelInfo, "kept");
    }
    EXPECT_GT(Size(log), 100);
    EXPECT_EQ(Size(log + ".0"), 101);
}

TEST(LogFileWine, RotationFailsWhileAnotherHandleHoldsTheLogAndLaterLinesAreDropped) {
    std::string log = Folder() + "held.log";
    Write(log, 200);
    HANDLE holder = CreateFileA(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    LogFile file;
    EXPECT_FALSE(file.Open(log.c_str(), 100));
    file.WriteLine(LogLevelInfo, "dropped");
    CloseHandle(holder);
    EXPECT_EQ(Size(log), 200);
    EXPECT_EQ(Size(log + ".0"), -1);
}
