// The whole path under Wine with real input: demo-game loads the reference proxy as d3d11.dll,
// which connects to korvex-peer (the overlay) and sets the hooks of VelKorvexHooks.dll on the
// game's thread when the peer says Init; the injector (SendInput, or xdotool for raw-only
// input) types and clicks. Everything is asserted on what the three programs print.
#include "binding/hook_install.h"

#include "../../tools/demo-driver/demo_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using namespace korvex;

namespace {

constexpr DWORD kWait = 5000;

std::string Point(POINT p) {
    return std::to_string(p.x) + " " + std::to_string(p.y);
}

bool Contains(const std::vector<std::string>& lines, const std::string& text) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(text) != std::string::npos;
    });
}

class EndToEnd : public ::testing::Test {
  protected:
    // Starts the game with `options` and the peer, then sends `init` (default: Init for the
    // game's thread with all three hooks) unless it is "none".
    void Launch(const std::string& options, std::string init = "") {
        ASSERT_TRUE(session.StartGame(options + " --quit-after 60"));
        ASSERT_TRUE(session.StartPeer());
        SetForegroundWindow(session.info.main);
        if (init == "none")
            return;
        if (init.empty())
            init = "init " + std::to_string(session.info.thread);
        ASSERT_TRUE(session.Command(init, "proxy Init thread="));
        ASSERT_TRUE(Contains(session.game.Lines(), " ok=1 "));
    }

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

    // The game's lines from `from` up to a fresh state line, which comes after every input
    // message the game had already taken.
    std::vector<std::string> GameLinesUpToState(size_t from, unsigned id,
                                                GameState* state = nullptr) {
        long at = session.RequestState(id, state);
        EXPECT_GE(at, 0);
        auto lines = session.game.Lines(from);
        lines.resize(at >= static_cast<long>(from) ? static_cast<size_t>(at) - from : lines.size());
        return lines;
    }

    void TearDown() override { session.Stop(); }

    DemoSession session;
};

} // namespace

TEST_F(EndToEnd, KeysReachOverlayAndGameWhileInputIsOffAndOnlyTheOverlayWhileOn) {
    Launch("");
    size_t peer = session.peer.LineCount(), game = session.game.LineCount();
    ASSERT_TRUE(session.Inject("key 0x41"));
    ASSERT_GE(session.game.WaitForLine("msg WM_KEYUP win=main vk=0x41", kWait, game), 0);
    ASSERT_TRUE(PeerSawKeyRelease("0x41", peer));
    auto lines = session.game.Lines(game);
    EXPECT_TRUE(Contains(lines, "msg WM_KEYDOWN win=main vk=0x41"));
    EXPECT_TRUE(Contains(lines, "msg WM_CHAR win=main char=0x61"));
    EXPECT_EQ(CountLines(session.peer.Lines(peer), "KeyboardInput virtualKey=0x41 "), 2u);

    Overlay(true);
    peer = session.peer.LineCount(), game = session.game.LineCount();
    ASSERT_TRUE(session.Inject("key 0x42"));
    ASSERT_TRUE(PeerSawKeyRelease("0x42", peer));
    lines = GameLinesUpToState(game, 1);
    EXPECT_FALSE(Contains(lines, "vk=0x42"));
    EXPECT_FALSE(Contains(lines, "WM_CHAR"));
    EXPECT_EQ(CountLines(session.peer.Lines(peer), "KeyboardInput virtualKey=0x42 "), 2u);
}

TEST_F(EndToEnd, WhileOnAClickInTheViewIsSwallowedAndOneOutsideIsPassedOnInClientCoordinates) {
    Launch("");
    Overlay(true);
    const RECT& view = session.info.view_client;
    POINT inside = session.ViewPoint(50, 40);
    // The status strip under the view: the main window's client area, outside the output window.
    POINT outside = {view.left + 60, view.bottom + 15};
    size_t peer = session.peer.LineCount(), game = session.game.LineCount();

    ASSERT_TRUE(session.Inject("click " + Point(inside)));
    ASSERT_GE(session.peer.WaitForLine("MouseInput message=0x202 x=50 y=40 ", kWait, peer), 0);

    std::string below = "x=60 y=" + std::to_string(view.bottom - view.top + 15) + " ";
    ASSERT_TRUE(session.Inject("click " + Point(outside)));
    ASSERT_GE(session.peer.WaitForLine("MouseInput message=0x202 " + below, kWait, peer), 0);

    auto lines = GameLinesUpToState(game, 1);
    EXPECT_FALSE(Contains(lines, "msg WM_LBUTTONDOWN win=view"));
    EXPECT_FALSE(Contains(lines, "msg WM_LBUTTONUP win=view"));
    std::string mainY = std::to_string(outside.y - session.info.main_client.top);
    std::string mainX = std::to_string(outside.x - session.info.main_client.left);
    EXPECT_TRUE(Contains(lines, "msg WM_LBUTTONDOWN win=main x=" + mainX + " y=" + mainY));
    EXPECT_TRUE(Contains(lines, "msg WM_LBUTTONUP win=main x=" + mainX + " y=" + mainY));
}

TEST_F(EndToEnd, CursorAndRawRegistrationsAreTakenWhileOnAndComeBackUnchangedAfterOff) {
    Launch("--raw both");
    POINT start = session.ViewPoint(100, 80);
    size_t game = session.game.LineCount();
    ASSERT_TRUE(session.Inject("move " + Point(start)));
    ASSERT_GE(session.game.WaitForLine("msg WM_MOUSEMOVE win=view x=100 y=80", kWait, game), 0);
    GameState before;
    session.RequestState(1, &before);
    ASSERT_TRUE(before.valid);
    EXPECT_EQ(before.raw, "mouse:0x0:main,keyboard:0x0:main");

    Overlay(true);
    GameState on;
    session.RequestState(2, &on);
    EXPECT_EQ(on.raw, "none");
    // The next input message on the game's thread takes the cursor over.
    size_t peer = session.peer.LineCount();
    ASSERT_TRUE(session.Inject("key 0x41"));
    ASSERT_TRUE(PeerSawKeyRelease("0x41", peer));
    POINT moved = session.ViewPoint(200, 150);
    ASSERT_TRUE(session.Inject("move " + Point(moved)));
    ASSERT_GE(session.peer.WaitForLine("MouseInput message=0x200 x=200 y=150 ", kWait, peer), 0);
    GameState during;
    session.RequestState(3, &during);
    EXPECT_EQ(during.shape, "arrow");
    EXPECT_EQ(during.counter, 0);
    EXPECT_EQ(during.pos.x, moved.x);
    EXPECT_EQ(during.pos.y, moved.y);
    EXPECT_EQ(during.raw, "none");

    Overlay(false);
    game = session.game.LineCount();
    ASSERT_TRUE(session.Inject("key 0x42"));
    ASSERT_GE(session.game.WaitForLine("msg WM_KEYUP win=main vk=0x42", kWait, game), 0);
    GameState after;
    // The position read back can lag behind SetCursorPos for a moment.
    for (unsigned id = 4; id < 40; ++id) {
        session.RequestState(id, &after);
        if (after.pos.x == start.x && after.pos.y == start.y)
            break;
        Sleep(20);
    }
    EXPECT_EQ(after.shape, "game");
    EXPECT_EQ(after.counter, -1);
    EXPECT_EQ(after.pos.x, start.x);
    EXPECT_EQ(after.pos.y, start.y);
    EXPECT_EQ(after.raw, before.raw);
}

TEST_F(EndToEnd, KeyboardTakenOnlyAsRawInputIsForwardedThroughTheGetMessageHook) {
    Launch("--nolegacy keyboard", "none");
    ASSERT_TRUE(session.Command("init " + std::to_string(session.info.thread) + " raw",
                                "proxy Init thread="));
    EXPECT_TRUE(Contains(session.game.Lines(), "raw=1 ok=1 hooks=--g"));
    size_t peer = session.peer.LineCount(), game = session.game.LineCount();
    // SendInput from another process keeps the legacy messages; X input honours NOLEGACY.
    ASSERT_TRUE(session.Inject("xkey \"^" + session.info.title + "$\" a"));
    ASSERT_TRUE(PeerSawKeyRelease("0x41", peer));
    auto lines = GameLinesUpToState(game, 1);
    EXPECT_TRUE(Contains(lines, "msg WM_INPUT win=main type=keyboard vkey=0x41 message=0x100"));
    EXPECT_FALSE(Contains(lines, "WM_KEYDOWN"));
    EXPECT_FALSE(Contains(lines, "WM_CHAR"));
}

TEST_F(EndToEnd, ThreadListingFindsTheGuiThreadAndHooksOnEveryThreadForwardKeys) {
    Launch("", "none");
    ThreadIdSet threads;
    EXPECT_TRUE(CollectProcessThreads(session.info.pid, threads));
    EXPECT_EQ(threads.count(session.info.thread), 1u);

    ASSERT_TRUE(session.Command("init-all-hooks", "proxy InitAllThreadsAllHooks"));
    std::string gui = std::to_string(session.info.thread) + ":kmg";
    EXPECT_TRUE(Contains(session.game.Lines(), gui));
    size_t peer = session.peer.LineCount();
    ASSERT_TRUE(session.Inject("key 0x44"));
    EXPECT_TRUE(PeerSawKeyRelease("0x44", peer));
}
