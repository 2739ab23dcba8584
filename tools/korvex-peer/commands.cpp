// The peer's commands: input on|off, render on|off, init <thread-id> [raw], init-all [0|1],
// init-all-hooks, screenshot, quit.
#include "commands.h"

#include "link/messages.h"

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
    "  quit                    close the pipe and exit\n";

namespace {

// Splits `line` into blank-separated words (in place); returns their count, 4 for more than 3.
int Words(char* line, char* words[3]) {
    const char* const blanks = " \t\r\n";
    int count = 0;
    for (char* token = std::strtok(line, blanks); token; token = std::strtok(nullptr, blanks)) {
        if (count == 3)
            return 4;
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

CommandResult Sent(bool ok) {
    return ok ? CommandResult::Sent : CommandResult::SendFailed;
}

} // namespace

CommandResult RunCommand(GamePipe& pipe, const char* text) {
    char line[256];
    std::strncpy(line, text, sizeof line - 1);
    line[sizeof line - 1] = '\0';
    char* w[3] = {};
    int n = Words(line, w);
    if (n == 0 || n > 3)
        return CommandResult::Invalid;
    bool flag = false;
    DWORD thread = 0;
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
    return CommandResult::Invalid;
}
