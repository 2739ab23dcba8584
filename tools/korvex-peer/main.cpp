// korvex-peer: plays the overlay's end of the game pipe (creates the server end and waits for
// the game) or, with --game, the game's end (opens the client end); prints every record the
// other end sends (one line each, text or JSON; or, with --stats, a line of rates once a
// second) and sends the commands typed on standard input or read from a file. Pipe I/O stays
// on the main thread; a reader thread only queues input lines.
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
    "usage: korvex-peer --pipe N [--json] [--stats] [--input FILE]\n"
    "       korvex-peer --game N [--json] [--stats] [--input FILE]\n"
    "       korvex-peer --version\n"
    "\n"
    "Plays one end of the game pipe \\\\.\\pipe\\Korvex-N-Overlay-Game, for debugging a game or\n"
    "an overlay. With --pipe it is the overlay: it creates the pipe and waits up to 30 s for\n"
    "the game to connect. With --game it is the game: it connects to the overlay's pipe,\n"
    "waiting up to 30 s for the overlay to create it, so that an overlay can be tried without\n"
    "a game. Then it prints every record the other end sends, one per line (JSON lines with\n"
    "--json), and sends the commands typed on standard input, or read from FILE, one per line.\n"
    "With --stats it prints, instead of a line per record, one line a second: records per\n"
    "second by type, the total, and the largest backlog (bytes waiting in the pipe) in that\n"
    "second and since the start; records with a wrong size or an unknown tag are still printed\n"
    "one by one. It ends when the other end closes the pipe, or on quit.\n"
    "\n"
    "Commands, one per line:\n";

struct InputQueue {
    FILE* source = stdin;
    CRITICAL_SECTION lock;
    std::vector<std::string> lines;
    bool ended = false;
};

DWORD WINAPI ReadInput(LPVOID parameter) {
    auto* queue = static_cast<InputQueue*>(parameter);
    char line[256];
    while (std::fgets(line, sizeof line, queue->source)) {
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
        std::fprintf(stderr, "korvex-peer: end of input; serving until the other end closes\n");
        announcedEnd = true;
    }
    return true;
}

// Opens the client end of pipe `number`, trying again while the overlay has not created it.
bool ConnectAsGame(GamePipe& pipe, DWORD number) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < kPipeConnectTimeoutMs; Sleep(100)) {
        ConnectPipeClient(pipe, number);
        if (IsPipeOpen(pipe))
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    static InputQueue queue;
    bool json = false;
    bool stats = false;
    bool havePipe = false;
    bool game = false;
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
        } else if (std::strcmp(argv[i], "--input") == 0 && i + 1 < argc) {
            queue.source = std::fopen(argv[++i], "r");
            if (queue.source == nullptr) {
                std::fprintf(stderr, "korvex-peer: cannot read %s\n", argv[i]);
                return 2;
            }
        } else if ((std::strcmp(argv[i], "--pipe") == 0 || std::strcmp(argv[i], "--game") == 0) &&
                   i + 1 < argc) {
            game = std::strcmp(argv[i], "--game") == 0;
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
    const char* other = game ? "overlay" : "game";
    std::fprintf(stderr, "korvex-peer: waiting up to 30 s for the %s on %s\n", other, name);
    GamePipe pipe;
    if (game ? !ConnectAsGame(pipe, number) : !CreatePipeServer(pipe, number)) {
        std::fprintf(stderr, "korvex-peer: could not %s %s, or no %s %s within 30 s\n",
                     game ? "open" : "create", name, other, game ? "created it" : "connected");
        return 1;
    }
    std::fprintf(stderr, "korvex-peer: %s connected\n", other);

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
            std::fprintf(stderr, "korvex-peer: the %s closed the pipe\n", other);
            break;
        }
        if (idle)
            Sleep(5);
    }
    if (game)
        ClosePipe(pipe);
    else
        DisconnectPipe(pipe);
    std::fflush(stdout);
    // The input thread may still be blocked reading; leaving the process ends it.
    ExitProcess(0);
}
