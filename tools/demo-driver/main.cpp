// demo-driver: the end-to-end demo. Starts demo-game (raw input registered for mouse and
// keyboard) and korvex-peer as the overlay, injects a scripted sequence of keys and mouse input
// with the overlay's input off, on, and off again, prints everything the three programs say as
// a transcript, then a summary per phase; last, a game that takes its keyboard only as raw
// input gets one X key press. Started as a Windows program so that the programs' output comes
// back through Windows pipes only.
#include "demo_session.h"

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

namespace {

CRITICAL_SECTION PrintLock;

void Print(const char* format, ...) {
    EnterCriticalSection(&PrintLock);
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fflush(stdout);
    LeaveCriticalSection(&PrintLock);
}

ChildProcess::LineHandler Echo(const char* who) {
    return [who](const std::string& line) { Print("  %-8s| %s\n", who, line.c_str()); };
}

struct Phase {
    std::string name;
    size_t game0 = 0, game1 = 0, peer0 = 0, peer1 = 0;
    int keysInjected = 0, clicksInjected = 0, wheelsInjected = 0;
    GameState state;
};

size_t Count(const std::vector<std::string>& lines, const char* text) {
    size_t n = 0;
    for (const auto& line : lines)
        n += line.find(text) != std::string::npos ? 1 : 0;
    return n;
}

std::string At(POINT p) {
    return std::to_string(p.x) + " " + std::to_string(p.y);
}

class Demo {
  public:
    Demo() {
        s.echo_game = Echo("game");
        s.echo_peer = Echo("overlay");
        s.echo_injector = Echo("inject");
    }

    bool Run() {
        Print("== starting demo-game (raw input for mouse and keyboard) and korvex-peer\n");
        if (!s.StartGame("--raw both --quit-after 100") || !s.StartPeer())
            return Fail("the game or the peer did not start");
        SetForegroundWindow(s.info.main);
        if (!Command("render on", "proxy RenderActive active=1") ||
            !Command("init " + std::to_string(s.info.thread), "proxy Init thread="))
            return false;
        const RECT& view = s.info.view_client;
        POINT start = s.ViewPoint(120, 90), moved = s.ViewPoint(260, 170);
        POINT inside = s.ViewPoint(50, 40), last = s.ViewPoint(300, 200);
        std::string lastRecord = "MouseInput message=0x200 x=300 y=200 ";
        POINT outside = {view.left + 60, view.top - 15}; // status strip, outside the view

        Phase before = Begin("overlay input off");
        if (!Inject(before,
                    "key 0x41 key 0x42 click " + At(inside) + " wheel 1 click " + At(outside) +
                        " move " + At(start),
                    2, 2, 1) ||
            s.game.WaitForLine("msg WM_MOUSEMOVE win=view x=120 y=90", 5000, before.game0) < 0)
            return Fail("the game did not see the input");
        Snapshot(before);
        Close(before);

        if (!Command("input on", "proxy InputActive active=1"))
            return false;
        Phase on = Begin("overlay input on");
        // The first key lets the hooks take the cursor over where it rests; the rest follows
        // once that happened, so that the position saved is the one the game left.
        if (!Inject(on, "key 0x43", 1, 0, 0) ||
            s.peer.WaitForLine("KeyboardInput virtualKey=0x43 keyFlags=0xC", 5000, on.peer0) < 0)
            return Fail("the overlay did not get the key");
        // Ends with a move inside the view, which puts the arrow back after the game set its
        // own cursor over the status strip.
        if (!Inject(on,
                    "move " + At(moved) + " key 0x44 click " + At(inside) + " wheel -1 click " +
                        At(outside) + " move " + At(last),
                    1, 2, 1) ||
            s.peer.WaitForLine(lastRecord, 5000, on.peer0) < 0)
            return Fail("the overlay did not get the input");
        Snapshot(on);
        Close(on);

        if (!Command("input off", "proxy InputActive active=0"))
            return false;
        Phase after = Begin("overlay input off again");
        // The first key after the overlay lets go gives the cursor back; look before moving it.
        if (!Inject(after, "key 0x45", 1, 0, 0) ||
            s.game.WaitForLine("msg WM_KEYUP win=main vk=0x45", 5000, after.game0) < 0)
            return Fail("the game did not see the key");
        Snapshot(after);
        size_t clicks = s.game.LineCount();
        if (!Inject(after, "click " + At(inside) + " wheel 1 click " + At(outside), 0, 2, 1) ||
            s.game.WaitForLine("msg WM_LBUTTONUP win=main", 5000, clicks) < 0)
            return Fail("the game did not see the clicks");
        Close(after);

        phases_ = {before, on, after};
        s.Stop();
        RawOnlyGame();
        Summary(start);
        return true;
    }

  private:
    bool Fail(const char* what) {
        Print("demo failed: %s\n", what);
        return false;
    }

    bool Command(const std::string& command, const std::string& ack) {
        Print("== overlay command: %s\n", command.c_str());
        return s.Command(command, ack) || Fail("the proxy did not act on the command");
    }

    Phase Begin(const char* name) {
        Print("== phase: %s\n", name);
        Phase phase;
        phase.name = name;
        phase.game0 = s.game.LineCount();
        phase.peer0 = s.peer.LineCount();
        return phase;
    }

    bool Inject(Phase& phase, const std::string& script, int keys, int clicks, int wheels) {
        phase.keysInjected += keys;
        phase.clicksInjected += clicks;
        phase.wheelsInjected += wheels;
        return s.Inject(script);
    }

    // The cursor and registrations now. The state line comes after every input message the
    // game had taken; a moment first so that a restored cursor position has settled.
    void Snapshot(Phase& phase) {
        Sleep(50);
        s.RequestState(static_cast<unsigned>(phase.game0), &phase.state);
    }

    // Ends the phase after everything the game and the peer had to say about it.
    void Close(Phase& phase) {
        Sleep(100);
        long at = s.RequestState(static_cast<unsigned>(phase.game0) + 1);
        phase.game1 = at < 0 ? s.game.LineCount() : static_cast<size_t>(at);
        phase.peer1 = s.peer.LineCount();
    }

    // A game registered for the keyboard with RIDEV_NOLEGACY: its keys arrive only as WM_INPUT,
    // which getmsgHook forwards. X input through xdotool, since Wine keeps legacy messages for
    // SendInput from another process.
    void RawOnlyGame() {
        Print("== a game that takes its keyboard only as raw input (RIDEV_NOLEGACY), hooked "
              "with the get-message hook alone; one X key press through xdotool\n");
        DemoSession raw;
        raw.echo_game = Echo("raw-game");
        raw.echo_peer = Echo("overlay");
        raw.echo_injector = Echo("inject");
        if (!raw.StartGame("--nolegacy keyboard --quit-after 30") || !raw.StartPeer() ||
            !raw.Command("init " + std::to_string(raw.info.thread) + " raw", "proxy Init")) {
            Fail("the raw-only game did not start");
            return;
        }
        SetForegroundWindow(raw.info.main);
        size_t peer0 = raw.peer.LineCount(), game0 = raw.game.LineCount();
        raw.Inject("xkey \"^" + raw.info.title + "$\" r");
        bool got =
            raw.peer.WaitForLine("KeyboardInput virtualKey=0x52 keyFlags=0x8", 5000, peer0) >= 0;
        long at = raw.RequestState(1);
        auto lines = raw.game.Lines(game0);
        if (at >= 0)
            lines.resize(static_cast<size_t>(at) - game0);
        rawSummary_ =
            std::string("overlay got ") +
            std::to_string(Count(raw.peer.Lines(peer0), "KeyboardInput virtualKey=0x52")) +
            " KeyboardInput records for R" + (got ? "" : " (release missing)") + "; the game saw " +
            std::to_string(Count(lines, "type=keyboard vkey=0x52")) + " WM_INPUT and " +
            std::to_string(Count(lines, "WM_KEY")) + " legacy key messages";
        raw.Stop();
    }

    void Summary(POINT start) {
        Print("\n== summary\n");
        Print("%-24s | %-20s | %-50s | %s\n", "phase", "overlay received",
              "game window procedure saw", "swallowed (not seen)");
        for (const Phase& p : phases_) {
            auto game = s.game.Lines(p.game0);
            game.resize(p.game1 - p.game0);
            auto peer = s.peer.Lines(p.peer0);
            peer.resize(p.peer1 - p.peer0);
            size_t keys = CountLines(game, "msg WM_KEY"), chars = CountLines(game, "msg WM_CHAR");
            size_t buttons = Count(game, "BUTTONDOWN ") + Count(game, "BUTTONUP ");
            size_t wheels = CountLines(game, "msg WM_MOUSEWHEEL");
            size_t moves = CountLines(game, "msg WM_MOUSEMOVE");
            size_t raw = CountLines(game, "msg WM_INPUT");
            char received[64], saw[96], swallowed[64];
            std::snprintf(received, sizeof received, "%zu keyboard, %zu mouse",
                          CountLines(peer, "KeyboardInput"), CountLines(peer, "MouseInput"));
            std::snprintf(saw, sizeof saw,
                          "%zu key, %zu char, %zu button, %zu wheel, %zu move, %zu raw", keys,
                          chars, buttons, wheels, moves, raw);
            std::snprintf(swallowed, sizeof swallowed, "%zu key, %zu button, %zu wheel",
                          2 * p.keysInjected - keys, 2 * p.clicksInjected - buttons,
                          p.wheelsInjected - wheels);
            Print("%-24s | %-20s | %-50s | %s\n", p.name.c_str(), received, saw, swallowed);
        }
        Print("\n%-24s | %-6s | %-7s | %-10s | %s\n", "state in phase", "shape", "counter",
              "position", "raw-input registrations");
        for (const Phase& p : phases_) {
            char position[32];
            std::snprintf(position, sizeof position, "%ld,%ld", p.state.pos.x, p.state.pos.y);
            Print("%-24s | %-6s | %7d | %-10s | %s\n", p.name.c_str(), p.state.shape.c_str(),
                  p.state.counter, position, p.state.raw.c_str());
        }
        Print("(shape \"game\" is the game's own cursor, which it hides (counter -1); the cursor "
              "rested at %ld,%ld when the overlay took the input; the last row is read right "
              "after the first key that followed \"input off\")\n",
              start.x, start.y);
        Print("\nraw-only keyboard game: %s\n", rawSummary_.c_str());
    }

    DemoSession s;
    std::vector<Phase> phases_;
    std::string rawSummary_ = "not run";
};

} // namespace

int main() {
    InitializeCriticalSection(&PrintLock);
    DWORD begin = GetTickCount();
    bool ok = Demo().Run();
    Print("demo %s in %.1f s\n", ok ? "finished" : "FAILED", (GetTickCount() - begin) / 1000.0);
    return ok ? 0 : 1;
}
