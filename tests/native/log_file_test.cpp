// The log file: rotation at open, the line format, expansion of the path, bounds.
#include "log/log_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sim/control.h>

#include <cstdlib>
#include <string>

namespace {

constexpr int kLimit = 5242880;

void FixTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second, WORD ms) {
    SYSTEMTIME t{};
    t.wYear = year;
    t.wMonth = month;
    t.wDay = day;
    t.wHour = hour;
    t.wMinute = minute;
    t.wSecond = second;
    t.wMilliseconds = ms;
    sim::SetSystemTime(t);
}

} // namespace

TEST(LogFile, FileOfExactlyTheLimitStaysAndOneByteMoreRotatesReplacingTheOldGeneration) {
    TempDir dir;
    WriteHostFile("injected.log", std::string(kLimit, 'a'));
    ASSERT_TRUE(OpenModuleLog("injected.log", kLimit));
    LogInfo("appended");
    std::string kept = ReadHostFile("injected.log");
    EXPECT_EQ(kept.substr(0, kLimit), std::string(kLimit, 'a'));
    EXPECT_EQ(kept.substr(kept.size() - 17), " [Info] appended\n");
    EXPECT_FALSE(HostFileExists("injected.log.0"));

    LogFile second;
    WriteHostFile("big.log", std::string(kLimit + 1, 'b'));
    WriteHostFile("big.log.0", "old generation");
    ASSERT_TRUE(second.Open("big.log", kLimit));
    second.WriteLine(LogLevelInfo, "fresh");
    EXPECT_EQ(ReadHostFile("big.log.0"), std::string(kLimit + 1, 'b'));
    std::string fresh = ReadHostFile("big.log");
    EXPECT_NE(fresh.find(" [Info] fresh\n"), std::string::npos);
    EXPECT_LT(fresh.size(), 100u);
}

TEST(LogFile, ZeroOrNegativeLimitNeverRotates) {
    TempDir dir;
    for (int limit : {0, -1}) {
        LogFile log;
        WriteHostFile("any.log", std::string(100, 'x'));
        ASSERT_TRUE(log.Open("any.log", limit));
        EXPECT_FALSE(HostFileExists("any.log.0"));
        EXPECT_EQ(ReadHostFile("any.log"), std::string(100, 'x'));
    }
}

TEST(LogFile, MissingFileIsCreatedWithoutTouchingTheRotatedName) {
    TempDir dir;
    WriteHostFile("injected.log.0", "keep");
    ASSERT_TRUE(OpenModuleLog("injected.log", kLimit));
    EXPECT_TRUE(HostFileExists("injected.log"));
    EXPECT_EQ(ReadHostFile("injected.log.0"), "keep");
}

TEST(LogFile, FailedDeleteOrMoveDuringRotationGivesFalseAndDropsLaterLines) {
    TempDir dir;
    for (const char* failing : {"DeleteFileA", "MoveFileA"}) {
        LogFile log;
        WriteHostFile("r.log", std::string(11, 'z'));
        WriteHostFile("r.log.0", "old");
        sim::FailNext(failing, ERROR_ACCESS_DENIED);
        EXPECT_FALSE(log.Open("r.log", 10)) << failing;
        EXPECT_EQ(log.file, INVALID_HANDLE_VALUE);
        log.WriteLine(LogLevelError, "dropped");
        EXPECT_EQ(ReadHostFile("r.log"), std::string(11, 'z')) << failing;
    }
}

TEST(LogFile, LineIsUtcWithoutLeadingZerosLevelWordAndSingleLineFeed) {
    TempDir dir;
    ASSERT_TRUE(OpenModuleLog("injected.log", kLimit));
    FixTime(2027, 1, 1, 0, 0, 0, 5);
    LogInfo("%s", "");
    FixTime(2026, 3, 4, 7, 5, 9, 42);
    LogInfo("Send TakeScreenshot msg to proxy");
    LogWarning("w %d", 7);
    LogError("name=%s", "\\\\.\\pipe\\100%d%s%%");
    EXPECT_EQ(ReadHostFile("injected.log"),
              "1-1-2027 0:0:0:5 [Info] \n"
              "4-3-2026 7:5:9:42 [Info] Send TakeScreenshot msg to proxy\n"
              "4-3-2026 7:5:9:42 [Warning] w 7\n"
              "4-3-2026 7:5:9:42 [Error] name=\\\\.\\pipe\\100%d%s%%\n");
}

TEST(LogFile, LinesBeforeOpenOrAfterFailedOpenLeaveNoTrace) {
    TempDir dir;
    LogInfo("before open");
    sim::FailAlways("CreateFileA", ERROR_ACCESS_DENIED);
    EXPECT_FALSE(OpenModuleLog("injected.log", kLimit));
    LogInfo("after failed open");
    sim::StopFailing("CreateFileA");
    EXPECT_FALSE(HostFileExists("injected.log"));
}

TEST(LogFile, EnvironmentReferencesAreExpandedInThePathAndTheRotatedName) {
    TempDir dir;
    setenv("KORVEX_LOG_DIR", dir.path().c_str(), 1);
    WriteHostFile(dir.File("env.log"), std::string(20, 'e'));
    LogFile log;
    ASSERT_TRUE(log.Open("%KORVEX_LOG_DIR%/env.log", 10));
    EXPECT_EQ(ReadHostFile(dir.File("env.log.0")), std::string(20, 'e'));
    EXPECT_TRUE(HostFileExists(dir.File("env.log")));
}

TEST(LogFile, OverlongMessageIsCutAt4095AndOverlongPathOpensNothing) {
    TempDir dir;
    ASSERT_TRUE(OpenModuleLog("injected.log", kLimit));
    FixTime(2026, 12, 6, 1, 2, 3, 4);
    std::string huge(10000, 'm');
    LogInfo("%s", huge.c_str());
    ModuleLog.WriteLine(LogLevelInfo, huge.c_str());
    std::string expected = "6-12-2026 1:2:3:4 [Info] " + std::string(4095, 'm') + "\n";
    EXPECT_EQ(ReadHostFile("injected.log"), expected + expected);

    setenv("KORVEX_LONG", std::string(300, 'p').c_str(), 1);
    LogFile log;
    EXPECT_FALSE(log.Open("%KORVEX_LONG%.log", kLimit));
    // A path that fits but whose rotated name does not: the rotation fails cleanly.
    std::string name = dir.File(std::string(258 - dir.path().size() - 1, 'n'));
    ASSERT_EQ(name.size(), 258u);
    WriteHostFile(name, std::string(20, 'q'));
    EXPECT_FALSE(log.Open(name.c_str(), 10));
    EXPECT_EQ(ReadHostFile(name), std::string(20, 'q'));
}
