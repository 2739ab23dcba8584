// Window and thread discovery over a simulated window tree of several processes.
#include "discovery/window_discovery.h"

#include <sim/control.h>
#include <sim/window_tree.h>

#include <gtest/gtest.h>

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
    EXPECT_EQ(ProcessWindowsScratch, windows);
    EXPECT_EQ(WindowThreadsScratch, threads);

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

TEST(WindowDiscovery, TitlePrefixResultsInTheFirstTopLevelWindowWhoseFirst255CharactersMatch) {
    HWND untitled = sim::AddWindow(nullptr, kGame, 101);
    Desktop d;
    std::string longTitle(300, 'x');
    HWND longWindow = sim::AddWindow(nullptr, kGame, 101, longTitle.c_str());
    EXPECT_EQ(FindWindowByTitlePrefix(""), untitled);
    EXPECT_EQ(FindWindowByTitlePrefix("Game"), d.gameMain);
    EXPECT_EQ(FindWindowByTitlePrefix("Game - t"), d.gameTools);
    EXPECT_EQ(FindWindowByTitlePrefix("game"), nullptr);  // case counts
    EXPECT_EQ(FindWindowByTitlePrefix("child"), nullptr); // children are not searched
    EXPECT_EQ(FindWindowByTitlePrefix("Game - main and more"), nullptr);
    EXPECT_EQ(FindWindowByTitlePrefix(std::string(255, 'x').c_str()), longWindow);
    EXPECT_EQ(FindWindowByTitlePrefix(std::string(256, 'x').c_str()), nullptr);
    EXPECT_EQ(FindWindowByTitlePrefix(longTitle.c_str()), nullptr);
    EXPECT_EQ(sim::CallCount("EnumChildWindows"), 0u);
}

TEST(WindowDiscovery, SameProcessSearchReturnsTheProcessesFirstTopLevelWindow) {
    Desktop d;
    EXPECT_EQ(FindWindowOfSameProcess(d.gameTools), d.gameMain);
    EXPECT_EQ(FindWindowOfSameProcess(d.gameMain), d.gameMain);
    EXPECT_EQ(FindWindowOfSameProcess(d.gameChild), d.gameMain);
    // The embedded window's own process is searched, not its parent's.
    EXPECT_EQ(FindWindowOfSameProcess(d.foreignChild), d.otherMain);

    // A process with no top-level window, and a handle that names no window: null.
    HWND lonelyChild = sim::AddWindow(d.gameMain, 30, 301);
    EXPECT_EQ(FindWindowOfSameProcess(lonelyChild), nullptr);
    HWND gone = sim::AddWindow(nullptr, kGame, 103);
    sim::RemoveWindow(gone);
    unsigned enumerations = sim::CallCount("EnumWindows");
    EXPECT_EQ(FindWindowOfSameProcess(gone), nullptr);
    EXPECT_EQ(sim::CallCount("EnumWindows"), enumerations);
}
