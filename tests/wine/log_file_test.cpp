// The log against the real file API: opening with a size limit and rotation, and the ways that
// fails (another handle holding the log or its rotated file, a name too long); the line format
// at a fixed time; dropped and over-long lines; whole lines from several threads on two handles.
#include "log/log_file.h"
#include "support/import_patch.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

using namespace korvex;

namespace {

const std::string kFolder =
    std::string(getenv("TEMP")) + "\\korvex-log-" + std::to_string(GetCurrentProcessId()) + "-";

std::string Read(const std::string& path) {
    return {std::istreambuf_iterator<char>(std::ifstream(path, std::ios::binary).rdbuf()), {}};
}

struct Fake {
    // 4 March 2026, 07:05:09.042: no field has a leading zero, the day is not the month.
    static void WINAPI Time(LPSYSTEMTIME time) { *time = {2026, 3, 3, 4, 7, 5, 9, 42}; }
    static BOOL WINAPI UnreadableSize(HANDLE, PLARGE_INTEGER) { return FALSE; }
};
const std::string kStamp = "4-3-2026 7:5:9:42 ";
const ImportPatch gFixedTime(nullptr, "kernel32.dll", "GetSystemTime",
                             reinterpret_cast<void*>(Fake::Time));

} // namespace

TEST(LogFile, OpenKeepsAFileUpToItsLimitAndRotatesALargerOneOverTheEarlierUnlessEitherIsHeld) {
    const std::string log = kFolder + "a.log", longPath = log + std::string(258 - log.size(), 'n');
    SetEnvironmentVariableA("KORVEX_LOG", log.c_str());
    // Held: by another handle, without delete sharing; NoSize: its size cannot be read. The long
    // path fits in 260 bytes, its rotated name does not.
    enum Fault { None, LogHeld, RotatedHeld, NoSize };
    const struct {
        std::string path;
        int limit, size; // size: of the existing log; -1: none
        Fault fault;
        bool opened, rotated;
    } cases[] = {
        {log, 10, 10, None, true, false},       {log, 10, 11, None, true, true},
        {log, 0, 11, None, true, false},        {log, 10, -1, None, true, false},
        {log, 10, 11, NoSize, true, false},     {"%KORVEX_LOG%", 10, 11, None, true, true},
        {log, 10, 11, LogHeld, false, false},   {log, 10, 11, RotatedHeld, false, false},
        {longPath, 10, 11, None, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        const std::string file = c.path[0] == '%' ? log : c.path, old(c.size > 0 ? c.size : 0, 'x');
        DeleteFileA(file.c_str());
        if (c.size >= 0)
            std::ofstream(file, std::ios::binary) << old;
        std::ofstream(file + ".0", std::ios::binary) << "older";
        std::string held = c.fault == LogHeld ? file : c.fault == RotatedHeld ? file + ".0" : "";
        HANDLE holder = CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        // A patch of an import this program lacks changes nothing.
        ImportPatch size(nullptr, "kernel32.dll", c.fault == NoSize ? "GetFileSizeEx" : "None",
                         reinterpret_cast<void*>(Fake::UnreadableSize));
        LogFile logFile;
        EXPECT_EQ(logFile.Open(c.path.c_str(), c.limit), c.opened);
        logFile.WriteLine(LogLevelInfo, "line");
        CloseHandle(holder);
        EXPECT_EQ(Read(file), (c.rotated ? "" : old) + (c.opened ? kStamp + "[Info] line\n" : ""));
        // A failed move comes after the earlier rotated file is gone.
        EXPECT_EQ(Read(file + ".0"), c.rotated ? old : c.fault == LogHeld ? "" : "older");
    }
}

TEST(LogFile, LineIsUtcDayMonthYearWithoutLeadingZerosLevelWordThenTheMessageCutAt4095) {
    const std::string path = kFolder + "injected.log", huge(5000, 'h');
    DeleteFileA(path.c_str());
    LogInfo("before the log is open");
    ASSERT_TRUE(OpenModuleLog(path.c_str(), 0));
    LogWarning("w %d", 7);
    LogError("name=%s", "\\\\.\\pipe\\100%d%s%%");
    LogInfo("%s", huge.c_str());
    ModuleLog.WriteLine(LogLevelError, huge.c_str());
    const std::string cut = huge.substr(0, 4095) + "\n";
    EXPECT_EQ(Read(path), kStamp + "[Warning] w 7\n" + kStamp +
                              "[Error] name=\\\\.\\pipe\\100%d%s%%\n" + kStamp + "[Info] " + cut +
                              kStamp + "[Error] " + cut);
}

TEST(LogFile, LinesFromSeveralThreadsComeOutWholeAndAnotherHandleOnTheFileAppendsAtItsEnd) {
    const std::string path = kFolder + "shared.log", padding(200, 'x');
    DeleteFileA(path.c_str());
    LogFile log, other; // appends of two handles at once are not atomic under Wine
    ASSERT_TRUE(log.Open(path.c_str(), 0) && other.Open(path.c_str(), 0));
    other.WriteLine(LogLevelInfo, "other");
    std::vector<std::thread> writers;
    for (int t = 0; t < 6; ++t)
        writers.emplace_back([&] {
            for (int i = 0; i < 200; ++i)
                log.WriteLine(LogLevelInfo, padding.c_str());
        });
    for (auto& w : writers)
        w.join();
    other.WriteLine(LogLevelInfo, "other");
    std::string expected = kStamp + "[Info] other\n";
    for (int i = 0; i < 1200; ++i)
        expected += kStamp + "[Info] " + padding + "\n";
    EXPECT_TRUE(Read(path) == expected + kStamp + "[Info] other\n") << Read(path).substr(0, 2000);
}
