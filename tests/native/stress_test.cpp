// Stress under AddressSanitizer and UndefinedBehaviorSanitizer: the log written by eight
// threads at once, every line whole.
#include "log/log_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(Stress, EightThreadsLoggingAThousandLinesEachLeaveEveryLineWholeAndWellFormed) {
    TempDir dir;
    ASSERT_TRUE(OpenModuleLog("injected.log", 5242880));
    std::vector<std::thread> writers;
    const std::string padding(200, 'x'); // long lines make a torn write likelier to show
    for (int t = 0; t < 8; ++t)
        writers.emplace_back([t, &padding] {
            for (int i = 0; i < 1000; ++i)
                LogInfo("writer %d line %d %s end", t, i, padding.c_str());
        });
    for (auto& w : writers)
        w.join();

    std::istringstream file(ReadHostFile(dir.File("injected.log")));
    const std::regex line("\\d{1,2}-\\d{1,2}-\\d{4} \\d{1,2}:\\d{1,2}:\\d{1,2}:\\d{1,3} "
                          "\\[Info\\] writer (\\d) line (\\d+) x{200} end");
    std::set<std::pair<int, int>> seen;
    std::string text;
    size_t lines = 0, bad = 0;
    while (std::getline(file, text)) {
        ++lines;
        std::smatch m;
        if (!std::regex_match(text, m, line)) {
            if (bad++ == 0)
                ADD_FAILURE() << "malformed line: " << text.substr(0, 120);
            continue;
        }
        EXPECT_TRUE(seen.emplace(std::stoi(m[1]), std::stoi(m[2])).second) << text;
    }
    EXPECT_EQ(lines, 8000u);
    EXPECT_EQ(seen.size(), 8000u);
    EXPECT_EQ(bad, 0u);
}

} // namespace
