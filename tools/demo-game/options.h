// The demo game's command line.
#pragma once

#include <windows.h>

#include <string>

struct GameOptions {
    DWORD pipeNumber = 0; // 0: the game's process id
    std::string title;    // empty: "Korvex Demo Game <pid>"
    std::string proxy = "d3d11.dll";
    bool rawMouse = false, rawKeyboard = false;           // register raw input for the device
    bool noLegacyMouse = false, noLegacyKeyboard = false; // ... with RIDEV_NOLEGACY
    int x = 100, y = 100, width = 480, height = 360;      // the main window's rectangle
    int statusHeight = 40; // strip above the render view that belongs to the main window
    UINT frameMs = 16;
    DWORD quitAfterMs = 120000; // a forgotten game ends itself
};

extern const char* const kGameUsage;

// Reads argv into `options`; false (with a message on stderr) for anything unknown.
bool ParseGameOptions(int argc, char** argv, GameOptions& options);
