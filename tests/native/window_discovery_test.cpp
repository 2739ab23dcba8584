// Window and thread discovery over a simulated window tree of several processes.
#include "discovery/window_discovery.h"

#include <gtest/gtest.h>
#include <sim/window_tree.h>

#include <string>

namespace {

constexpr DWORD kGame = 10;
constexpr DWORD kOther = 20;

// Two processes: the game has a main window with a nested child and a grandchild, one of which
// belongs to another process; the other process's window comes first in enumeration order.
struct Desktop {
    HWND otherMain = sim::AddWindow(nullptr, kOther, 201, "Other main");
    HWND gameMain = sim::AddWindow(nullptr, kGame, 101, "Game - main");
    HWND gameChild = sim::AddWindow(gameMain, kGame, 101, "child");
    HWND foreignChild = sim::AddWindow(gameChild, kOther, 202, "embedded");
    HWND gameTools = sim::AddWindow(nullptr, kGame, 102, "Game - tools");
    HWND otherChild = sim::AddWindow(otherMain, kOther, 201, "other child");
};

} // namespace

TEST(WindowDiscovery, CollectorsTakeAllDescendantsWithForeignOnesAndNothingForChildrenAlone) {
    Desktop d;
    WindowSet windows = {reinterpret_cast<HWND>(0x1)}; // replaced, not added to
    EXPECT_TRUE(CollectProcessWindows(kGame, windows));
    EXPECT_EQ(windows, (WindowSet{d.gameMain, d.gameChild, d.foreignChild, d.gameTools}));
    ThreadIdSet threads = {999};
    EXPECT_TRUE(CollectWindowThreads(kGame, threads));
    EXPECT_EQ(threads, (ThreadIdSet{101, 102, 202}));

    // A scratch set passed as the output holds the result itself.
    EXPECT_TRUE(CollectProcessWindows(kOther, ProcessWindowsScratch));
    EXPECT_EQ(ProcessWindowsScratch, (WindowSet{d.otherMain, d.otherChild}));
    EXPECT_TRUE(CollectWindowThreads(kOther, WindowThreadsScratch));
    EXPECT_EQ(WindowThreadsScratch, (ThreadIdSet{201}));

    // Process 30 owns only a child inside the game's window: children alone give empty sets.
    sim::AddWindow(d.gameMain, 30, 301);
    EXPECT_TRUE(CollectProcessWindows(30, windows));
    EXPECT_TRUE(CollectWindowThreads(30, threads));
    EXPECT_TRUE(windows.empty());
    EXPECT_TRUE(threads.empty());
}

TEST(WindowDiscovery, TitleSearchFindsTheFirstTopLevelWindowWhoseTitleBeginsWithTheText) {
    HWND untitled = sim::AddWindow(nullptr, kGame, 101);
    Desktop d;
    std::string longTitle(300, 'x');
    HWND longWindow = sim::AddWindow(nullptr, kGame, 101, longTitle.c_str());
    const std::pair<std::string, HWND> cases[] = {
        {"", untitled},
        {"Game", d.gameMain},
        {"Game - t", d.gameTools},
        {"game", nullptr},  // case counts
        {"child", nullptr}, // children are not searched
        {"Game - main and more", nullptr},
        {std::string(255, 'x'), longWindow}, // a title is read as its first 255 characters
        {std::string(256, 'x'), nullptr},
    };
    for (const auto& [text, window] : cases)
        EXPECT_EQ(FindWindowByTitlePrefix(text.c_str()), window) << text;
}

TEST(WindowDiscovery, SameProcessSearchFindsThatProcessesFirstTopLevelWindow) {
    Desktop d;
    EXPECT_EQ(FindWindowOfSameProcess(d.gameTools), d.gameMain);
    EXPECT_EQ(FindWindowOfSameProcess(d.gameMain), d.gameMain);
    EXPECT_EQ(FindWindowOfSameProcess(d.gameChild), d.gameMain);
    // The embedded window's own process is searched, not its parent's.
    EXPECT_EQ(FindWindowOfSameProcess(d.foreignChild), d.otherMain);
    // A process with no top-level window: null.
    EXPECT_EQ(FindWindowOfSameProcess(sim::AddWindow(d.gameMain, 30, 301)), nullptr);
}
