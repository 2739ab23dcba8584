// The log against the real file API: opening with a size limit and rotation, and the ways that
// fails (another handle holding the log or its rotated file, a name too long); the line format
// at a fixed time; dropped and over-long lines; whole lines from several threads on two handles.
#include "log/log_file.h"
#include "support/import_patch.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace korvex;

namespace {

std::string Folder() {
    char path[MAX_PATH];
    GetTempPathA(MAX_PATH, path);
    std::string folder = std::string(path) + "korvex-log-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder + "\\";
}

void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string Read(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

SYSTEMTIME gTime = {2026, 3, 3, 4, 7, 5, 9, 42}; // 4 March 2026, 07:05:09.042
const std::string kStamp = "4-3-2026 7:5:9:42 ";

void WINAPI FixedTime(LPSYSTEMTIME time) {
    *time = gTime;
}
BOOL WINAPI NoSize(HANDLE, PLARGE_INTEGER) {
    return FALSE;
}

} // namespace

TEST(LogFile, OpenKeepsAFileUpToItsLimitAndRotatesALargerOneOverTheEarlierUnlessEitherIsHeld) {
    ImportPatch time(nullptr, "kernel32.dll", "GetSystemTime", reinterpret_cast<void*>(FixedTime));
    const std::string dir = Folder(), log = dir + "a.log",
                      longPath = dir + std::string(258 - dir.size(), 'n');
    SetEnvironmentVariableA("KORVEX_LOG_DIR", dir.c_str());
    enum Held { None, Log, Rotated }; // by another handle, without delete sharing
    struct Case {
        const char* what;
        std::string path;
        int limit, size; // size: of the existing log; -1: none
        Held held;
        bool noSize, opened, rotated;
    };
    const Case cases[] = {
        {"at the limit", log, 10, 10, None, false, true, false},
        {"one byte over", log, 10, 11, None, false, true, true},
        {"no limit", log, 0, 11, None, false, true, false},
        {"negative limit", log, -1, 11, None, false, true, false},
        {"no log yet", log, 10, -1, None, false, true, false},
        {"size unreadable", log, 10, 11, None, true, true, false},
        {"path expanded", "%KORVEX_LOG_DIR%a.log", 10, 11, None, false, true, true},
        {"log held", log, 10, 11, Log, false, false, false},
        {"rotated file held", log, 10, 11, Rotated, false, false, false},
        {"rotated name too long", longPath, 10, 11, None, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string file = c.path[0] == '%' ? log : c.path, old(c.size > 0 ? c.size : 0, 'x');
        DeleteFileA(file.c_str());
        if (c.size >= 0)
            Write(file, old);
        Write(file + ".0", "older");
        HANDLE holder = c.held == None
                            ? INVALID_HANDLE_VALUE
                            : CreateFileA((c.held == Log ? file : file + ".0").c_str(),
                                          GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, 0, nullptr);
        bool opened;
        {
            auto noSize =
                c.noSize ? std::make_unique<ImportPatch>(nullptr, "kernel32.dll", "GetFileSizeEx",
                                                         reinterpret_cast<void*>(NoSize))
                         : nullptr;
            LogFile logFile;
            opened = logFile.Open(c.path.c_str(), c.limit);
            logFile.WriteLine(LogLevelInfo, "line");
        }
        CloseHandle(holder);
        EXPECT_EQ(opened, c.opened);
        const std::string kept = c.rotated ? "" : old;
        EXPECT_EQ(Read(file), opened ? kept + kStamp + "[Info] line\n" : kept);
        // A failed move comes after the earlier rotated file is gone.
        EXPECT_EQ(Read(file + ".0"), c.rotated ? old : c.held == Log ? "" : "older");
    }
}

TEST(LogFile, LineIsUtcDayMonthYearWithoutLeadingZerosLevelWordThenTheMessageCutAt4095) {
    ImportPatch time(nullptr, "kernel32.dll", "GetSystemTime", reinterpret_cast<void*>(FixedTime));
    const std::string path = Folder() + "injected.log", longest(4095, 'm'), huge(5000, 'h');
    DeleteFileA(path.c_str());
    LogInfo("before the log is open");
    ASSERT_TRUE(OpenModuleLog(path.c_str(), 0));
    gTime = {2027, 1, 5, 1, 0, 0, 0, 5}; // 1 January 2027, 00:00:00.005
    LogInfo("%s", "");
    gTime = {2026, 3, 3, 4, 17, 45, 59, 942};
    LogInfo("Send TakeScreenshot msg to proxy");
    LogWarning("w %d", 7);
    LogError("name=%s", "\\\\.\\pipe\\100%d%s%%");
    LogInfo("%s", longest.c_str());
    LogInfo("%s", huge.c_str());
    ModuleLog.WriteLine(LogLevelError, huge.c_str());
    const std::string stamp = "4-3-2026 17:45:59:942 ";
    EXPECT_EQ(Read(path),
              "1-1-2027 0:0:0:5 [Info] \n" + stamp + "[Info] Send TakeScreenshot msg to proxy\n" +
                  stamp + "[Warning] w 7\n" + stamp + "[Error] name=\\\\.\\pipe\\100%d%s%%\n" +
                  stamp + "[Info] " + longest + "\n" + stamp + "[Info] " + huge.substr(0, 4095) +
                  "\n" + stamp + "[Error] " + huge.substr(0, 4095) + "\n");
}

TEST(LogFile, LinesFromSeveralThreadsOnTwoHandlesComeOutWholeAtTheEndOfTheFile) {
    const std::string path = Folder() + "shared.log";
    DeleteFileA(path.c_str());
    LogFile first, second;
    ASSERT_TRUE(first.Open(path.c_str(), 0) && second.Open(path.c_str(), 0));
    constexpr int kThreads = 6, kLines = 200;
    const std::string padding(200, 'x'); // long lines make a torn write likelier to show
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
        writers.emplace_back([&, t] {
            for (int i = 0; i < kLines; ++i)
                (t % 2 ? first : second)
                    .WriteLine(LogLevelInfo, (std::to_string(t) + padding).c_str());
        });
    for (auto& w : writers)
        w.join();
    std::istringstream file(Read(path));
    int lines = 0;
    for (std::string line; std::getline(file, line); ++lines)
        ASSERT_EQ(line.substr(line.find(" [Info] ") + 9), padding) << line;
    EXPECT_EQ(lines, kThreads * kLines);
}
