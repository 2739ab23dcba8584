// Fuzz target: the log file with arbitrary paths, size limits, existing files and messages.
// Each input opens a LogFile on a path it chooses (relative, inside a scratch folder, with
// environment references), possibly over an existing file and an earlier rotated file, then
// writes messages through WriteLine and the printf-style entry points. The file must then hold
// exactly the expected lines: fixed timestamp, level word, the message cut at its first NUL and
// at 4,095 characters, one line feed each. The rotated file must hold the old contents.
#include "log/log_file.h"

#include <sim/control.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

struct Input {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    bool Done() const { return at >= size; }
    uint8_t Byte() { return at < size ? data[at++] : 0; }
    std::string Text(size_t length) {
        std::string out;
        for (size_t i = 0; i < length && !Done(); ++i)
            out += static_cast<char>(Byte());
        return out;
    }
};

std::string ReadAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

bool Exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

// Empties the scratch folder (files only; the paths never contain a separator).
void ClearFolder() {
    DIR* dir = opendir(".");
    std::vector<std::string> names;
    while (dirent* entry = readdir(dir))
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.push_back(entry->d_name);
    closedir(dir);
    for (auto& n : names)
        ::unlink(n.c_str());
}

const char* const kWords[] = {"Info", "Warning", "Error"};
const char* const kStamp = "4-3-2025 7:5:9:42"; // see the fixed time below

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static char scratch[] = "/tmp/korvex-logfuzz-XXXXXX";
    Check(mkdtemp(scratch) != nullptr && chdir(scratch) == 0);
    setenv("KORVEX_FUZZ_NAME", "expanded", 1);
    setenv("KORVEX_FUZZ_LONG", std::string(200, 'L').c_str(), 1);
    SYSTEMTIME t{};
    t.wYear = 2025, t.wMonth = 3, t.wDay = 4, t.wHour = 7, t.wMinute = 5, t.wSecond = 9;
    t.wMilliseconds = 42;
    sim::SetSystemTime(t);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ClearFolder();
    Input in{data, size};

    // The path: bytes from the input without separators (the log stays in the scratch folder)
    // and without NUL; '%' references may name the two variables set above or none at all.
    std::string path;
    size_t pathLength = in.Byte() + (in.Byte() & 1) * 100; // up to 355: past the 260 limit
    for (char c : in.Text(pathLength))
        if (c != '/' && c != '\0')
            path += c;
    if (path.empty() || path == "." || path == "..")
        path = "injected.log";
    char expanded[1024] = {};
    DWORD needed = ExpandEnvironmentStringsA(path.c_str(), expanded, sizeof expanded);
    if (needed == 0 || needed > sizeof expanded || std::strchr(expanded, '/') ||
        std::strcmp(expanded, ".") == 0 || std::strcmp(expanded, "..") == 0)
        return 0; // would leave the scratch folder
    std::string target = expanded, rotated = target + ".0";

    // An existing log and an earlier rotated file, as the input chooses.
    int maxBytes = static_cast<int8_t>(in.Byte()) * 4;
    std::string old;
    bool hadOld = in.Byte() & 1, hadRotated = in.Byte() & 1;
    if (hadOld && target.size() < 250) {
        old = in.Text(in.Byte());
        std::ofstream(target, std::ios::binary) << old;
    }
    if (hadRotated && rotated.size() < 250)
        std::ofstream(rotated, std::ios::binary) << "earlier";
    bool oldExists = Exists(target);
    if (!oldExists)
        old.clear();
    bool willRotate = oldExists && maxBytes > 0 && old.size() > static_cast<size_t>(maxBytes);

    std::string expected;
    // ModuleLog is the object the entry points write to; each input starts it afresh.
    if (ModuleLog.file != INVALID_HANDLE_VALUE)
        CloseHandle(ModuleLog.file);
    ModuleLog.file = INVALID_HANDLE_VALUE;
    bool open = OpenModuleLog(path.c_str(), maxBytes);
    if (needed > 260)
        Check(!open);
    while (!in.Done()) {
        uint8_t op = in.Byte();
        size_t length = in.Byte() | (op & 0x30) << 4; // up to 1023 bytes
        if (op & 0x40)
            length *= 5; // past the 4,095-character message buffer
        std::string message = in.Text(length);
        int level = op % 3;
        std::string visible = message.substr(0, std::strlen(message.c_str()));
        if (op & 0x80)
            ModuleLog.WriteLine(level, message.c_str());
        else if (level == 0)
            LogInfo("%s", message.c_str()); // the message is an argument, never the format
        else if (level == 1)
            LogWarning("%s", message.c_str());
        else
            LogError("%s", message.c_str());
        if (visible.size() > 4095)
            visible.resize(4095);
        if (open)
            expected += std::string(kStamp) + " [" + kWords[level] + "] " + visible + "\n";
    }
    if (open) {
        Check(ReadAll(target) == (willRotate ? "" : old) + expected);
        if (willRotate)
            Check(ReadAll(rotated) == old);
    }
    if (ModuleLog.file != INVALID_HANDLE_VALUE)
        CloseHandle(ModuleLog.file);
    ModuleLog.file = INVALID_HANDLE_VALUE;
    return 0;
}
