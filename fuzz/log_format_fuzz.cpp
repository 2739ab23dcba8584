// Fuzz target: the log's lines for arbitrary messages. Each input is a list of messages, each
// written at a level of its choosing through WriteLine or the printf-style entry points (always
// as an argument, never as the format). The log must then hold exactly one line per message:
// the fixed timestamp, the level word and the message up to its first NUL, then a line feed.
#include "log/log_file.h"

#include <sim/control.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

const char* const kWords[] = {"Info", "Warning", "Error"};
const char* const kStamp = "4-3-2025 7:5:9:42"; // see the fixed time below

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static char scratch[] = "/tmp/korvex-logfuzz-XXXXXX";
    if (mkdtemp(scratch) == nullptr || chdir(scratch) != 0)
        std::abort();
    SYSTEMTIME t{};
    t.wYear = 2025, t.wMonth = 3, t.wDay = 4, t.wHour = 7, t.wMinute = 5, t.wSecond = 9;
    t.wMilliseconds = 42;
    sim::SetSystemTime(t);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ::unlink("fuzz.log");
    LogFile& log = ModuleLog; // the object the entry points write to
    if (log.file != INVALID_HANDLE_VALUE)
        CloseHandle(log.file);
    log.file = INVALID_HANDLE_VALUE;
    if (!OpenModuleLog("fuzz.log", 0))
        std::abort();
    std::string expected;
    for (size_t at = 0; at < size;) {
        uint8_t op = data[at++];
        size_t length = std::min<size_t>(size - at, op & 0x1F ? (op & 0x1F) * 13 : 4095);
        std::string message(reinterpret_cast<const char*>(data + at), length);
        at += length;
        int level = (op >> 6) % 3;
        if (op & 0x20)
            log.WriteLine(level, message.c_str());
        else if (level == 0)
            LogInfo("%s", message.c_str());
        else if (level == 1)
            LogWarning("%s", message.c_str());
        else
            LogError("%s", message.c_str());
        expected += std::string(kStamp) + " [" + kWords[level] + "] " + message.c_str() + "\n";
    }
    std::ifstream file("fuzz.log", std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    if (text.str() != expected)
        std::abort();
    return 0;
}
