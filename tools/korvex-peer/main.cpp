// korvex-peer: creates the overlay's server end of the game pipe, waits for the game, prints
// every record the game sends (one line each, text or JSON; or, with --stats, a line of rates
// once a second) and sends the commands typed on standard input. Pipe I/O stays on the main
// thread; a reader thread only queues input lines.
#include "commands.h"
#include "records.h"
#include "stats.h"

#include "link/record_reader.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace korvex;

namespace {

const char* const kUsage =
    "usage: korvex-peer --pipe N [--json] [--stats]\n"
    "       korvex-peer --version\n"
    "\n"
    "The overlay's end of the game pipe, for debugging a game: creates the pipe\n"
    "\\\\.\\pipe\\Korvex-N-Overlay-Game, waits up to 30 s for the game to connect, then prints\n"
    "every record the game sends, one per line (JSON lines with --json), and sends the\n"
    "commands typed on standard input, one per line. With --stats it prints, instead of a\n"
    "line per record, one line a second: records per second by type, the total, and the\n"
    "largest backlog (bytes waiting in the pipe) in that second and since the start; records\n"
    "with a wrong size or an unknown tag are still printed one by one.\n"
    "\n";

struct InputQueue {
    CRITICAL_SECTION lock;
    std::vector<std::string> lines;
    bool ended = false;
};

DWORD WINAPI ReadInput(LPVOID parameter) {
    auto* queue = static_cast<InputQueue*>(parameter);
    char line[256];
    while (std::fgets(line, sizeof line, stdin)) {
        EnterCriticalSection(&queue->lock);
        queue->lines.push_back(line);
        LeaveCriticalSection(&queue->lock);
    }
    EnterCriticalSection(&queue->lock);
    queue->ended = true;
    LeaveCriticalSection(&queue->lock);
    return 0;
}

// Sends the queued commands; false once "quit" was given.
bool RunQueuedCommands(GamePipe& pipe, InputQueue& queue, bool& announcedEnd) {
    EnterCriticalSection(&queue.lock);
    std::vector<std::string> lines;
    lines.swap(queue.lines);
    bool ended = queue.ended;
    LeaveCriticalSection(&queue.lock);
    for (const auto& line : lines) {
        switch (RunCommand(pipe, line.c_str())) {
        case CommandResult::Quit:
            return false;
        case CommandResult::Invalid:
            if (line.find_first_not_of(" \t\r\n") != std::string::npos)
                std::fprintf(stderr, "korvex-peer: unknown command: %s", line.c_str());
            break;
        case CommandResult::SendFailed:
            std::fprintf(stderr, "korvex-peer: sending failed: %s", line.c_str());
            break;
        case CommandResult::Sent:
            break;
        }
    }
    if (ended && !announcedEnd) {
        std::fprintf(stderr, "korvex-peer: end of input; serving until the game closes\n");
        announcedEnd = true;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    bool json = false;
    bool stats = false;
    bool havePipe = false;
    DWORD number = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("%s%s", kUsage, kCommandHelp);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("korvex-peer %s\n", KORVEX_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--json") == 0) {
            json = true;
        } else if (std::strcmp(argv[i], "--stats") == 0) {
            stats = true;
        } else if (std::strcmp(argv[i], "--pipe") == 0 && i + 1 < argc) {
            char* end = nullptr;
            unsigned long value = std::strtoul(argv[++i], &end, 10);
            havePipe = *argv[i] != '\0' && *end == '\0' && value <= 0xFFFFFFFFul;
            number = static_cast<DWORD>(value);
        } else {
            havePipe = false;
            break;
        }
    }
    if (!havePipe) {
        std::fprintf(stderr, "%s%s", kUsage, kCommandHelp);
        return 2;
    }

    char name[kPipeNameSize];
    MakePipeName(name, number);
    std::fprintf(stderr, "korvex-peer: waiting up to 30 s for the game on %s\n", name);
    GamePipe pipe;
    if (!CreatePipeServer(pipe, number)) {
        std::fprintf(stderr, "korvex-peer: could not create %s, or no game connected within 30 s\n",
                     name);
        return 1;
    }
    std::fprintf(stderr, "korvex-peer: game connected\n");

    static InputQueue queue;
    InitializeCriticalSection(&queue.lock);
    HANDLE reader = CreateThread(nullptr, 0, ReadInput, &queue, 0, nullptr);
    if (reader)
        CloseHandle(reader);

    bool announcedEnd = false;
    Record record;
    PeerStats figures;
    for (;;) {
        if (!RunQueuedCommands(pipe, queue, announcedEnd))
            break;
        // One look at the backlog per round; ReadNextRecord waits on an empty pipe, so only
        // what is known to wait is read, a bounded batch so that typed commands are not starved.
        DWORD waiting = 0;
        bool open = GetPipeBytesAvailable(pipe, waiting);
        bool idle = waiting == 0;
        figures.Backlog(waiting);
        for (DWORD n = 0; open && waiting > 0 && n < GetMaxRecordsPerPoll(); ++n) {
            open = ReadNextRecord(pipe, record);
            if (!open)
                break;
            waiting -= record.size < waiting ? record.size : waiting;
            figures.Count(record);
            if (!stats || record.status != RecordStatus::Decoded)
                PrintRecord(record, json);
        }
        if (stats)
            figures.Print(json, !open); // the last, partial second too
        if (!open) {
            std::fprintf(stderr, "korvex-peer: the game closed the pipe\n");
            break;
        }
        if (idle)
            Sleep(5);
    }
    DisconnectPipe(pipe);
    std::fflush(stdout);
    // The input thread may still be blocked reading; leaving the process ends it.
    ExitProcess(0);
}
