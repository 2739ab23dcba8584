// The whole path under Wine with real input from the injector: keys through SendInput, the mouse
// through xdotool, whose X input the target program takes in X's order (under Wine a SendInput
// move also warps the X pointer, and the motion X reports for that warp comes back as a second,
// late move). The first run uses demo-game, which loads the reference proxy as d3d11.dll and
// calls its frame export, with korvex-peer as the overlay; it asserts on what the programs print.
// The second hooks Wine's own notepad, which knows nothing of the overlay: a copy of the proxy
// beside it runs its own frames (KORVEX_PROXY_PIPE), and this program is the overlay. Every wait
// is for a condition, with a deadline.
#include "binding/hook_install.h"
#include "link/record_reader.h"
#include "support/fixtures.h"

#include "../../tools/demo-driver/demo_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>

using namespace korvex;

namespace {

constexpr DWORD kWait = 5000;

std::string Point(POINT p) {
    return std::to_string(p.x) + " " + std::to_string(p.y);
}

// Injector arguments for one xdotool run.
std::string X(const std::string& commands) {
    return "x \"" + commands + "\"";
}

bool Same(POINT a, POINT b) {
    return a.x == b.x && a.y == b.y;
}

bool Contains(const std::vector<std::string>& lines, const std::string& text) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(text) != std::string::npos;
    });
}

class EndToEnd : public ::testing::Test {
  protected:
    void Overlay(bool on) {
        ASSERT_TRUE(
            session.Command(on ? "input on" : "input off",
                            on ? "proxy InputActive active=1" : "proxy InputActive active=0"));
    }

    // Waits for the peer's KeyboardInput of the key's release (keyFlags bit 31).
    bool PeerSawKeyRelease(const char* vk, size_t from) {
        std::string record = std::string("KeyboardInput virtualKey=") + vk + " ";
        auto release = [&](const std::string& line) {
            return StartsWith(line, record.c_str()) &&
                   (std::strtoul(Field(line, "keyFlags").c_str(), nullptr, 16) & 0x80000000u);
        };
        return session.peer.WaitFor(release, kWait, from) >= 0;
    }

    // Asks the game for its state until `wanted` (if given) holds: the cursor position read
    // back can lag behind a move for a moment. The game's lines from `from` up to that state
    // line, which comes after every input message the game had already taken.
    std::vector<std::string>
    GameLinesUntil(size_t from, GameState& state,
                   const std::function<bool(const GameState&)>& wanted = {}) {
        long at = -1;
        PumpUntil([&] {
            at = session.RequestState(++stateId_, &state);
            return at >= 0 && (!wanted || wanted(state));
        });
        auto lines = session.game.Lines(from);
        lines.resize(at >= static_cast<long>(from) ? static_cast<size_t>(at) - from : lines.size());
        return lines;
    }

    // On failure, what the game, the overlay and notepad's proxy said tells why.
    void TearDown() override {
        session.Stop();
        notepad.Stop(0);
        for (ChildProcess* child : {&session.game, &session.peer, &notepad})
            for (const auto& line : HasFailure() ? child->Lines() : std::vector<std::string>())
                std::printf("| %s\n", line.c_str());
    }

    DemoSession session;
    ChildProcess notepad;
    unsigned stateId_ = 0;
};

// This program as the overlay of a hooked program: the server end of the game pipe and every
// record taken off it so far.
struct OverlayEnd {
    // Takes what arrives until a record from index `from` on matches, or the deadline passes.
    bool WaitFor(const std::function<bool(const Record&)>& match, size_t from) {
        return PumpUntil([&] {
            DWORD waiting = 0;
            while (GetPipeBytesAvailable(pipe, waiting) && waiting > 0) {
                records.emplace_back();
                if (!ReadNextRecord(pipe, records.back()))
                    records.pop_back();
            }
            return std::any_of(records.begin() + static_cast<long>(from), records.end(), match);
        });
    }

    GamePipe pipe;
    std::vector<Record> records;
};

std::function<bool(const Record&)> KeyRelease(DWORD vk) {
    return [vk](const Record& r) {
        return r.type == MessageType::KeyboardInput && r.keyboardInput.virtualKey == vk &&
               (r.keyboardInput.keyFlags & 0x80000000u);
    };
}

std::function<bool(const Record&)> ButtonRelease(POINT client) {
    return [client](const Record& r) {
        return r.type == MessageType::MouseInput && r.mouseInput.message == WM_LBUTTONUP &&
               r.mouseInput.x == client.x && r.mouseInput.y == client.y;
    };
}

HWND NotepadWindow(DWORD process) {
    for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, "Notepad", nullptr)) != nullptr;) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == process && IsWindowVisible(w))
            return w;
    }
    return nullptr;
}

std::string EditText(HWND edit) {
    char text[64] = {};
    DWORD_PTR length = 0;
    SendMessageTimeoutA(edit, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 1000, &length);
    return text;
}

// The cursor shape on the screen: the one the foreground window's thread set.
HCURSOR ShownCursor() {
    CURSORINFO info = {};
    info.cbSize = sizeof info;
    return GetCursorInfo(&info) ? info.hCursor : nullptr;
}

} // namespace

TEST_F(EndToEnd, WhileOnKeysAndViewClicksAreSwallowedCursorAndRawInputTakenAndAllComeBackAfterOff) {
    // The game and the peer, which has the proxy set the three hooks on the game's thread.
    ASSERT_TRUE(session.StartGame("--raw both --quit-after 60") && session.StartPeer());
    SetForegroundWindow(session.info.main);
    ASSERT_TRUE(
        session.Command("init " + std::to_string(session.info.thread), "proxy Init thread="));
    POINT start = session.ViewPoint(100, 80);
    size_t game = session.game.LineCount();
    // A click as the last action: the game has seen all of them once it reports the release.
    ASSERT_TRUE(session.Inject(X("mousemove " + Point(start) + " click 1")));
    ASSERT_GE(session.game.WaitForLine("msg WM_LBUTTONUP win=view x=100 y=80", kWait, game), 0);
    GameState before, during, after;
    GameLinesUntil(game, before, [&](const GameState& s) { return Same(s.pos, start); });
    ASSERT_NE(before.raw, "none");

    Overlay(true);
    // The first input message after that takes the cursor over where it rests.
    size_t peer = session.peer.LineCount();
    game = session.game.LineCount();
    ASSERT_TRUE(session.Inject("key 0x41"));
    ASSERT_TRUE(PeerSawKeyRelease("0x41", peer));
    // A click in the status strip above the view (the main window's client area, outside the
    // output window) is passed on, one in the view is not; the overlay gets both in the view's
    // client coordinates. The last move, swallowed in the view, leaves the arrow imposed.
    const RECT& view = session.info.view_client;
    POINT outside = {view.left + 60, view.top - 15}, inside = session.ViewPoint(50, 40);
    ASSERT_TRUE(
        session.Inject(X("mousemove " + Point(outside) + " click 1 mousemove " + Point(inside) +
                         " click 1 mousemove " + Point(session.ViewPoint(200, 150)))));
    ASSERT_GE(session.peer.WaitForLine("MouseInput message=0x200 x=200 y=150 ", kWait, peer), 0);
    auto records = session.peer.Lines(peer);
    EXPECT_TRUE(Contains(records, "MouseInput message=0x202 x=50 y=40 "));
    EXPECT_TRUE(Contains(records, "MouseInput message=0x202 x=60 y=-15 "));
    auto lines = GameLinesUntil(game, during);
    EXPECT_FALSE(Contains(lines, "vk=0x41"));
    EXPECT_FALSE(Contains(lines, "win=view x=50 y=40")); // the move and the button messages
    std::string mainPoint = "x=" + std::to_string(outside.x - session.info.main_client.left) +
                            " y=" + std::to_string(outside.y - session.info.main_client.top);
    EXPECT_TRUE(Contains(lines, "msg WM_LBUTTONDOWN win=main " + mainPoint));
    EXPECT_TRUE(Contains(lines, "msg WM_LBUTTONUP win=main " + mainPoint));
    EXPECT_EQ(during.shape, "arrow");
    EXPECT_EQ(during.counter, 0);
    EXPECT_EQ(during.raw, "none");

    // The first input message after "off" on the thread that took the cursor gives it back.
    Overlay(false);
    game = session.game.LineCount();
    ASSERT_TRUE(session.Inject("key 0x42"));
    ASSERT_GE(session.game.WaitForLine("msg WM_KEYUP win=main vk=0x42", kWait, game), 0);
    GameLinesUntil(game, after, [&](const GameState& s) { return Same(s.pos, start); });
    EXPECT_EQ(after.shape, "game");
    EXPECT_EQ(after.counter, -1);
    EXPECT_TRUE(Same(after.pos, start)) << Point(after.pos);
    EXPECT_EQ(after.raw, before.raw);
}

TEST_F(EndToEnd, WinesNotepadHookedFromOutsideGivesKeysAndClicksToTheOverlayAndGetsItsCursorBack) {
    // Wine's own notepad (the prefix's system32 holds a placeholder) in a folder of its own with
    // a copy of the proxy: a program in system32 would get Wine's builtin d3d11.dll instead.
    std::string folder = ProgramFolder() + "notepad\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(KORVEX_WINE_NOTEPAD, (folder + "notepad.exe").c_str(), FALSE));
    ASSERT_TRUE(
        CopyFileA((ProgramFolder() + "d3d11.dll").c_str(), (folder + "d3d11.dll").c_str(), FALSE));
    DWORD number = UniquePipeNumber();
    SetEnvironmentVariableA("KORVEX_PROXY_PIPE", std::to_string(number).c_str());
    bool started = notepad.Start("\"" + folder + "notepad.exe\"", false);
    SetEnvironmentVariableA("KORVEX_PROXY_PIPE", nullptr);
    ASSERT_TRUE(started);
    HWND main = nullptr, edit = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (main = NotepadWindow(notepad.Pid())) != nullptr; }));
    ASSERT_NE(edit = FindWindowExA(main, nullptr, "Edit", nullptr), nullptr);
    SetForegroundWindow(main);
    POINT client = {0, 0}, text = {0, 0};
    ClientToScreen(main, &client);
    ClientToScreen(edit, &text);
    POINT rest = {text.x + 40, text.y + 30};

    // Hooked from here, as an overlay does; the mouse hook's first call loads the proxy, whose
    // frames then connect to this program's end of the pipe.
    CRITICAL_SECTION lock;
    InitializeCriticalSection(&lock);
    HHOOK keyboard = nullptr, mouse = nullptr, getmsg = nullptr;
    ASSERT_TRUE(
        InstallInputHooks(GetWindowThreadProcessId(main, nullptr), &lock, keyboard, mouse, getmsg));
    // A click, which calls the mouse hook also when the cursor rests there already.
    ASSERT_TRUE(session.Inject(X("mousemove " + Point(rest) + " click 1")));
    OverlayEnd overlay;
    ASSERT_TRUE(CreatePipeServer(overlay.pipe, number));
    ASSERT_GE(notepad.WaitForLine("proxy connected", kWait), 0);
    HCURSOR before = nullptr;
    EXPECT_TRUE(PumpUntil([&] {
        POINT at = {};
        return GetCursorPos(&at) && Same(at, rest) && (before = ShownCursor()) != nullptr;
    }));

    ASSERT_TRUE(session.Inject("key 0x41"));
    EXPECT_TRUE(overlay.WaitFor(KeyRelease(0x41), 0));
    EXPECT_TRUE(PumpUntil([&] { return EditText(edit) == "a"; })) << EditText(edit);

    ASSERT_TRUE(SendInputActive(overlay.pipe, true));
    ASSERT_GE(notepad.WaitForLine("proxy InputActive active=1", kWait), 0);
    size_t from = overlay.records.size();
    ASSERT_TRUE(session.Inject("key 0x42"));
    EXPECT_TRUE(overlay.WaitFor(KeyRelease(0x42), from));
    // Once the cursor was taken where it rests: a click before the "a", in client coordinates.
    ASSERT_TRUE(session.Inject(X("mousemove " + Point(text) + " click 1")));
    EXPECT_TRUE(overlay.WaitFor(ButtonRelease({text.x - client.x, text.y - client.y}), from));
    EXPECT_TRUE(PumpUntil([&] { return ShownCursor() != before && ShownCursor() != nullptr; }));

    ASSERT_TRUE(SendInputActive(overlay.pipe, false));
    ASSERT_GE(notepad.WaitForLine("proxy InputActive active=0", kWait), 0);
    ASSERT_TRUE(session.Inject("key 0x43"));
    EXPECT_TRUE(overlay.WaitFor(KeyRelease(0x43), from));
    // Neither the B nor the click, which would have put the caret before the "a", got through.
    EXPECT_TRUE(PumpUntil([&] { return EditText(edit) == "ac"; })) << EditText(edit);
    EXPECT_TRUE(PumpUntil([&] {
        POINT at = {};
        return GetCursorPos(&at) && Same(at, rest) && ShownCursor() == before;
    }));
}
