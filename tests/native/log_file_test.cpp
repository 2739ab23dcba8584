// The log file: the size limit the module attaches with, rotation at open and its failures, the
// line format, lines written while no file is open, and lines from several threads at once.
#include "log/log_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sim/control.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

namespace {

void FixTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second, WORD ms) {
    SYSTEMTIME t{};
    t.wYear = year, t.wMonth = month, t.wDay = day;
    t.wHour = hour, t.wMinute = minute, t.wSecond = second, t.wMilliseconds = ms;
    sim::SetSystemTime(t);
}

const std::string kLine = "1-1-2026 0:0:0:0 [Info] line\n"; // "line" logged at the fixed time

} // namespace

TEST(LogFile, AttachKeepsALogOfExactly5242880BytesAndRotatesOneOfAByteMore) {
    FixTime(2026, 1, 1, 0, 0, 0, 0);
    for (size_t size : {5242880u, 5242881u}) {
        TempDir dir;
        const std::string old(size, 'a');
        WriteHostFile("injected.log", old);
        WriteHostFile("injected.log.0", "older");
        ASSERT_EQ(DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr), TRUE);
        LogInfo("line");
        DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
        CloseHandle(ModuleLog.file); // the next case attaches afresh
        ModuleLog.file = INVALID_HANDLE_VALUE;
        bool rotated = size > 5242880;
        EXPECT_TRUE(ReadHostFile("injected.log.0") == (rotated ? old : "older")) << size;
        EXPECT_TRUE(ReadHostFile("injected.log") == (rotated ? kLine : old + kLine)) << size;
    }
}

TEST(LogFile, OpenRotatesOnlyAFileOverAPositiveLimitAndFailsCleanlyWhenItCannot) {
    TempDir dir;
    FixTime(2026, 1, 1, 0, 0, 0, 0);
    setenv("KORVEX_LOG", "r.log", 1);
    // A path that fits in 260 bytes while its rotated name does not.
    const std::string longPath = dir.File(std::string(258 - dir.path().size() - 1, 'n'));
    struct Case {
        const char* what;
        std::string path, file;
        int limit;
        const char* failing;
        bool existing, opened, rotated;
    };
    const Case cases[] = {
        {"no limit", "r.log", "r.log", 0, nullptr, true, true, false},
        {"negative limit", "r.log", "r.log", -1, nullptr, true, true, false},
        {"size unreadable", "r.log", "r.log", 10, "GetFileSizeEx", true, true, false},
        {"no file yet", "r.log", "r.log", 10, nullptr, false, true, false},
        {"expanded path", "%KORVEX_LOG%", "r.log", 10, nullptr, true, true, true},
        {"delete fails", "r.log", "r.log", 10, "DeleteFileA", true, false, false},
        {"move fails", "r.log", "r.log", 10, "MoveFileA", true, false, false},
        {"rotated name too long", longPath, longPath, 10, nullptr, true, false, false},
    };
    const std::string old = "11 bytes..."; // over the limit of 10
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::remove(c.file.c_str());
        if (c.existing)
            WriteHostFile(c.file, old);
        WriteHostFile(c.file + ".0", "older");
        if (c.failing)
            sim::FailNext(c.failing, ERROR_ACCESS_DENIED);
        {
            LogFile log;
            EXPECT_EQ(log.Open(c.path.c_str(), c.limit), c.opened);
            log.WriteLine(LogLevelInfo, "line");
        }
        std::string kept = c.existing && !c.rotated ? old : "";
        EXPECT_EQ(ReadHostFile(c.file), c.opened ? kept + kLine : kept);
        // A failed move comes after the earlier rotated file was deleted.
        bool moveFailed = c.failing && std::string(c.failing) == "MoveFileA";
        EXPECT_EQ(ReadHostFile(c.file + ".0"), c.rotated ? old : moveFailed ? "" : "older");
    }
}

TEST(LogFile, LineIsUtcWithoutLeadingZerosLevelWordAndSingleLineFeed) {
    TempDir dir;
    ASSERT_TRUE(OpenModuleLog("injected.log", 0));
    FixTime(2027, 1, 1, 0, 0, 0, 5);
    LogInfo("%s", "");
    FixTime(2026, 3, 4, 17, 45, 59, 942);
    LogInfo("Send TakeScreenshot msg to proxy");
    LogWarning("w %d", 7);
    LogError("name=%s", "\\\\.\\pipe\\100%d%s%%");
    EXPECT_EQ(ReadHostFile("injected.log"),
              "1-1-2027 0:0:0:5 [Info] \n"
              "4-3-2026 17:45:59:942 [Info] Send TakeScreenshot msg to proxy\n"
              "4-3-2026 17:45:59:942 [Warning] w 7\n"
              "4-3-2026 17:45:59:942 [Error] name=\\\\.\\pipe\\100%d%s%%\n");
}

TEST(LogFile, LinesWithoutAnOpenFileOrAWriteLeaveNoTraceAndAnOverlongOneSpoilsNoOther) {
    TempDir dir;
    LogInfo("before open");
    sim::FailAlways("CreateFileA", ERROR_ACCESS_DENIED);
    EXPECT_FALSE(OpenModuleLog("injected.log", 0));
    LogInfo("after failed open");
    sim::StopFailing("CreateFileA");
    EXPECT_FALSE(HostFileExists("injected.log"));

    ASSERT_TRUE(OpenModuleLog("injected.log", 0));
    FixTime(2026, 1, 1, 0, 0, 0, 0);
    sim::FailNext("WriteFile", ERROR_ACCESS_DENIED);
    LogInfo("lost"); // a failed write drops that line only
    const std::string longest(4095, 'm'), huge(10000, 'h');
    LogInfo("%s", longest.c_str());
    LogInfo("%s", huge.c_str()); // cut or dropped, as long as it stays on its own line
    ModuleLog.WriteLine(LogLevelInfo, huge.c_str());
    LogInfo("line");
    std::string text = ReadHostFile("injected.log");
    const std::string first = "1-1-2026 0:0:0:0 [Info] " + longest + "\n";
    EXPECT_TRUE(text.compare(0, first.size(), first) == 0);
    ASSERT_GE(text.size(), first.size() + kLine.size());
    EXPECT_EQ(text.substr(text.size() - kLine.size()), kLine);
    EXPECT_EQ(text[text.size() - kLine.size() - 1], '\n');
}

TEST(LogFile, LinesFromSeveralThreadsAtOnceComeOutWhole) {
    TempDir dir;
    ASSERT_TRUE(OpenModuleLog("injected.log", 0));
    constexpr int kThreads = 8, kLines = 500;
    const std::string padding(200, 'x'); // long lines make a torn write likelier to show
    std::atomic<bool> go{false};         // all start together
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
        writers.emplace_back([t, &padding, &go] {
            while (!go)
                std::this_thread::yield();
            for (int i = 0; i < kLines; ++i)
                LogInfo("writer %d line %d %s end", t, i, padding.c_str());
        });
    go = true;
    for (auto& w : writers)
        w.join();

    std::istringstream file(ReadHostFile("injected.log"));
    const std::regex whole("[-: 0-9]+ \\[Info\\] writer \\d line \\d+ x{200} end");
    size_t lines = 0;
    for (std::string line; std::getline(file, line); ++lines)
        ASSERT_TRUE(std::regex_match(line, whole)) << line.substr(0, 120);
    EXPECT_EQ(lines, size_t{kThreads * kLines});
}
