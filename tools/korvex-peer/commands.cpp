// The peer's commands: the overlay's records (input on|off, render on|off, init <thread-id>
// [raw], init-all [0|1], init-all-hooks, screenshot), the game's (mouse, key), the others
// (value, notice, raw bytes), and quit.
#include "commands.h"

#include "link/record_reader.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace korvex;

const char* const kCommandHelp =
    "  input on|off            send InputActive (the overlay takes or gives back the input)\n"
    "  render on|off           send RenderActive\n"
    "  init <thread-id> [raw]  send Init for a game thread; 'raw' also hooks raw input\n"
    "  init-all [0|1]          send InitAllThreads with the flag (default 0)\n"
    "  init-all-hooks          send InitAllThreadsAllHooks\n"
    "  screenshot              send TakeScreenshot\n"
    "  mouse MSG X Y [WHEEL]   send MouseInput: window message MSG (0x200 move, 0x201 left\n"
    "                          button down, 0x20A wheel), client position X,Y, wheel delta\n"
    "  key VK [up]             send KeyboardInput for virtual key VK (0x41 is A), down or up;\n"
    "                          the key-state table carries the keys sent down and not yet up\n"
    "  value FIRST SECOND      send ValuePair\n"
    "  notice                  send Notice\n"
    "  raw HEX                 send the bytes HEX (e.g. 2A00000001) as one message\n"
    "  quit                    close the pipe and exit\n"
    "Numbers are decimal or 0x hexadecimal.\n";

namespace {

constexpr int kMaxWords = 5;
BYTE KeysDown[kKeyStateSize]; // bit 7 for each key sent down and not yet up

// Splits `line` into blank-separated words (in place); returns their count, one more than
// kMaxWords when there are more.
int Words(char* line, char* words[kMaxWords]) {
    const char* const blanks = " \t\r\n";
    int count = 0;
    for (char* token = std::strtok(line, blanks); token; token = std::strtok(nullptr, blanks)) {
        if (count == kMaxWords)
            return kMaxWords + 1;
        words[count++] = token;
    }
    return count;
}

bool OnOff(const char* word, bool& value) {
    if (std::strcmp(word, "on") == 0 || std::strcmp(word, "1") == 0)
        value = true;
    else if (std::strcmp(word, "off") == 0 || std::strcmp(word, "0") == 0)
        value = false;
    else
        return false;
    return true;
}

bool Number(const char* word, DWORD& value) {
    char* end = nullptr;
    unsigned long parsed = std::strtoul(word, &end, 0);
    if (end == word || *end != '\0' || parsed > 0xFFFFFFFFul)
        return false;
    value = static_cast<DWORD>(parsed);
    return true;
}

bool Signed(const char* word, int32_t& value) {
    char* end = nullptr;
    long long parsed = std::strtoll(word, &end, 0);
    if (end == word || *end != '\0' || parsed < INT32_MIN || parsed > INT32_MAX)
        return false;
    value = static_cast<int32_t>(parsed);
    return true;
}

// Two hexadecimal digits per byte, at most one record's worth.
bool Hex(const char* word, BYTE* bytes, DWORD& count) {
    size_t length = std::strlen(word);
    if (length == 0 || length % 2 != 0 || length / 2 > kLargestRecordSize)
        return false;
    for (count = 0; count < length / 2; ++count) {
        char pair[3] = {word[2 * count], word[2 * count + 1], '\0'}, *end = nullptr;
        bytes[count] = static_cast<BYTE>(std::strtoul(pair, &end, 16));
        if (*end != '\0')
            return false;
    }
    return true;
}

CommandResult Sent(bool ok) {
    return ok ? CommandResult::Sent : CommandResult::SendFailed;
}

} // namespace

CommandResult RunCommand(GamePipe& pipe, const char* text) {
    char line[256];
    std::strncpy(line, text, sizeof line - 1);
    line[sizeof line - 1] = '\0';
    char* w[kMaxWords] = {};
    int n = Words(line, w);
    if (n == 0 || n > kMaxWords)
        return CommandResult::Invalid;
    bool flag = false;
    DWORD thread = 0, first = 0, second = 0;
    int32_t x = 0, y = 0, wheel = 0;
    BYTE bytes[kLargestRecordSize];
    if (std::strcmp(w[0], "quit") == 0 && n == 1)
        return CommandResult::Quit;
    if (std::strcmp(w[0], "input") == 0 && n == 2 && OnOff(w[1], flag))
        return Sent(SendInputActive(pipe, flag));
    if (std::strcmp(w[0], "render") == 0 && n == 2 && OnOff(w[1], flag))
        return Sent(SendRenderActive(pipe, flag));
    if (std::strcmp(w[0], "init") == 0 && n >= 2 && Number(w[1], thread) &&
        (n == 2 || std::strcmp(w[2], "raw") == 0))
        return Sent(SendInit(pipe, thread, n == 3));
    if (std::strcmp(w[0], "init-all") == 0 && (n == 1 || OnOff(w[1], flag)) && n <= 2)
        return Sent(SendInitAllThreads(pipe, flag));
    if (std::strcmp(w[0], "init-all-hooks") == 0 && n == 1)
        return Sent(SendInitAllThreadsAllHooks(pipe));
    if (std::strcmp(w[0], "screenshot") == 0 && n == 1)
        return Sent(SendTakeScreenshot(pipe));
    if (std::strcmp(w[0], "mouse") == 0 && n >= 4 && Number(w[1], first) && Signed(w[2], x) &&
        Signed(w[3], y) && (n == 4 || Signed(w[4], wheel)))
        return Sent(SendMouseInput(pipe, first, x, y, static_cast<DWORD>(wheel) << 16,
                                   GetTickCount(), KeysDown));
    if (std::strcmp(w[0], "key") == 0 && (n == 2 || (n == 3 && std::strcmp(w[2], "up") == 0)) &&
        Number(w[1], first) && first < kKeyStateSize) {
        // Flags as a key message's lParam: repeat count 1; going up also sets the previous
        // state and transition bits.
        KeysDown[first] = n == 2 ? 0x80 : 0;
        return Sent(SendKeyboardInput(pipe, first, n == 2 ? 1u : 0xC0000001u, KeysDown));
    }
    if (std::strcmp(w[0], "value") == 0 && n == 3 && Number(w[1], first) && Number(w[2], second))
        return Sent(SendValuePair(pipe, first, second));
    if (std::strcmp(w[0], "notice") == 0 && n == 1)
        return Sent(SendNotice(pipe));
    if (std::strcmp(w[0], "raw") == 0 && n == 2 && Hex(w[1], bytes, first))
        return Sent(SendRaw(pipe, bytes, first));
    return CommandResult::Invalid;
}
