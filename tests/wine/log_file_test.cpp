// The log against the real file API: two processes appending to one log file, rotation of a
// closed log, and rotation refused while another log holds the file (it is shared without
// delete access). The second process is this program started with "--log-writer <path>".
#include "log/log_file.h"

#include "support/launch.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

using namespace korvex;

namespace {

std::string Folder() {
    char path[MAX_PATH];
    GetTempPathA(MAX_PATH, path);
    std::string folder = std::string(path) + "korvex-log-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder + "\\";
}

void Write(const std::string& path, size_t bytes) {
    std::ofstream(path, std::ios::binary) << std::string(bytes, 'x');
}

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Messages(const std::string& text) {
    std::string out;
    for (size_t at = text.find("] "); at != std::string::npos; at = text.find("] ", at + 1))
        out += text.substr(at + 2, text.find('\n', at) + 1 - (at + 2));
    return out;
}

} // namespace

TEST(LogFileWine, TwoProcessesWithTheLogOpenBothAppendWholeLinesAtItsEnd) {
    std::string path = Folder() + "shared.log";
    DeleteFileA(path.c_str());
    LogFile log;
    ASSERT_TRUE(log.Open(path.c_str(), 0));
    log.WriteLine(LogLevelInfo, "first");
    ASSERT_EQ(WaitForExit(Launch("\"" + ProgramPath() + "\" --log-writer " + path)), 0u);
    log.WriteLine(LogLevelInfo, "third");
    EXPECT_EQ(Messages(Read(path)), "first\nsecond\nthird\n") << Read(path);
}

TEST(LogFileWine, ClosedLogRotatesButOneAnotherLogHoldsDoesNot) {
    std::string path = Folder() + "injected.log";
    Write(path, 101);
    Write(path + ".0", 7);
    {
        LogFile log;
        ASSERT_TRUE(log.Open(path.c_str(), 100));
        log.WriteLine(LogLevelInfo, "fresh");
    }
    EXPECT_EQ(Read(path + ".0").size(), 101u);
    EXPECT_EQ(Messages(Read(path)), "fresh\n");

    Write(path, 200);
    LogFile holder, log;
    ASSERT_TRUE(holder.Open(path.c_str(), 0));
    EXPECT_FALSE(log.Open(path.c_str(), 100));
    log.WriteLine(LogLevelInfo, "dropped");
    EXPECT_EQ(Read(path), std::string(200, 'x'));
}

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--log-writer") == 0) {
        LogFile log;
        if (!log.Open(argv[2], 0))
            return 3;
        log.WriteLine(LogLevelInfo, "second");
        return 0;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
