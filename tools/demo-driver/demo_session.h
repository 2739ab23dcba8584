// One end-to-end session: the demo game with the reference proxy as d3d11.dll, korvex-peer as
// the overlay on the game's pipe, and the injector for real input; plus the parsing of what the
// programs print. Used by the demo driver and by the end-to-end Wine tests (header-only for
// the latter).
#pragma once

#include "child_process.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// What the game's "ready" line tells.
struct GameInfo {
    DWORD pid = 0;
    DWORD thread = 0;
    HWND main = nullptr;
    HWND view = nullptr;
    RECT view_client = {}; // screen coordinates, right and bottom exclusive
    RECT main_client = {};
    std::string title;
};

// One "state" line of the game.
struct GameState {
    bool valid = false;
    std::string shape; // arrow, game, none or other
    int counter = 0;
    POINT pos = {};
    std::string raw; // the raw-input registrations, "none" when there are none
};

inline std::string Field(const std::string& line, const std::string& name) {
    std::string key = " " + name + "=";
    size_t at = line.find(key);
    if (at == std::string::npos)
        return {};
    at += key.size();
    size_t end = name == "title" ? line.size() : line.find(' ', at);
    return line.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

inline RECT ParseClient(const std::string& text) {
    long l = 0, t = 0, w = 0, h = 0;
    std::sscanf(text.c_str(), "%ld,%ld,%ld,%ld", &l, &t, &w, &h);
    return RECT{l, t, l + w, t + h};
}

inline bool ParseReady(const std::string& line, GameInfo& info) {
    if (line.compare(0, 6, "ready ") != 0)
        return false;
    info.pid = std::strtoul(Field(line, "pid").c_str(), nullptr, 10);
    info.thread = std::strtoul(Field(line, "thread").c_str(), nullptr, 10);
    info.main = reinterpret_cast<HWND>(std::strtoull(Field(line, "main").c_str(), nullptr, 16));
    info.view = reinterpret_cast<HWND>(std::strtoull(Field(line, "view").c_str(), nullptr, 16));
    info.view_client = ParseClient(Field(line, "view-client"));
    info.main_client = ParseClient(Field(line, "main-client"));
    info.title = Field(line, "title");
    return info.pid != 0 && info.thread != 0 && info.main != nullptr;
}

inline GameState ParseState(const std::string& line) {
    GameState state;
    if (line.compare(0, 6, "state ") != 0)
        return state;
    state.shape = Field(line, "shape");
    state.counter = std::atoi(Field(line, "counter").c_str());
    std::sscanf(Field(line, "pos").c_str(), "%ld,%ld", &state.pos.x, &state.pos.y);
    state.raw = Field(line, "raw");
    state.valid = true;
    return state;
}

inline bool StartsWith(const std::string& line, const char* prefix) {
    return line.compare(0, std::strlen(prefix), prefix) == 0;
}

inline size_t CountLines(const std::vector<std::string>& lines, const char* prefix) {
    size_t n = 0;
    for (const auto& line : lines)
        n += StartsWith(line, prefix) ? 1 : 0;
    return n;
}

inline std::string ProgramFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.rfind('\\') + 1);
}

class DemoSession {
  public:
    static constexpr UINT kStateRequest = WM_APP + 1;

    // Echo handlers (optional) see every line of the game, the peer and the injector.
    ChildProcess::LineHandler echo_game, echo_peer, echo_injector;

    ChildProcess game, peer;
    GameInfo info;

    ~DemoSession() { Stop(); }

    // Starts the game with `options` and waits for its "ready" line.
    bool StartGame(const std::string& options, DWORD timeoutMs = 15000) {
        if (!game.Start("\"" + ProgramFolder() + "demo-game.exe\" " + options, false, echo_game))
            return false;
        long at = game.WaitForLine("ready ", timeoutMs);
        return at >= 0 && ParseReady(game.Lines(static_cast<size_t>(at))[0], info);
    }

    // Starts korvex-peer on the game's pipe number and waits until both ends report the link.
    bool StartPeer(DWORD timeoutMs = 15000) {
        std::string command =
            "\"" + ProgramFolder() + "korvex-peer.exe\" --pipe " + std::to_string(info.pid);
        if (!peer.Start(command, true, echo_peer))
            return false;
        return peer.WaitForLine("game connected", timeoutMs) >= 0 &&
               game.WaitForLine("proxy connected", timeoutMs) >= 0;
    }

    // Sends a peer command and waits for the game line (from now on) that says it was acted on.
    bool Command(const std::string& command, const std::string& gameAck, DWORD timeoutMs = 10000) {
        size_t from = game.LineCount();
        return peer.Send(command) && game.WaitForLine(gameAck, timeoutMs, from) >= 0;
    }

    // Runs the injector with `arguments`; true when every action went in.
    bool Inject(const std::string& arguments, DWORD timeoutMs = 15000) {
        ChildProcess injector;
        if (!injector.Start("\"" + ProgramFolder() + "injector.exe\" " + arguments, false,
                            echo_injector))
            return false;
        bool ended = injector.WaitForExit(timeoutMs);
        bool ok = ended && injector.ExitCode() == 0;
        injector.Stop(0);
        return ok;
    }

    // Asks the game for a state line; the game answers it after every input message that it
    // had already taken, so the lines before it are complete. Returns its index, or -1.
    long RequestState(unsigned id, GameState* state = nullptr, DWORD timeoutMs = 5000) {
        size_t from = game.LineCount();
        PostMessageA(info.main, kStateRequest, id, 0);
        long at = game.WaitForLine("state id=" + std::to_string(id) + " ", timeoutMs, from);
        if (at >= 0 && state)
            *state = ParseState(game.Lines(static_cast<size_t>(at))[0]);
        return at;
    }

    // Screen point of a view-client point.
    POINT ViewPoint(long x, long y) const {
        return POINT{info.view_client.left + x, info.view_client.top + y};
    }

    // Ends the peer (quit) and the game (WM_CLOSE), terminating whichever does not end.
    void Stop() {
        if (peer.Process()) {
            peer.Send("quit");
            peer.Stop(3000);
        }
        if (game.Process()) {
            if (info.main)
                PostMessageA(info.main, WM_CLOSE, 0, 0);
            game.Stop(3000);
        }
    }
};
