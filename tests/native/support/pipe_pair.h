// Test helpers for the game pipe: a connected server/client pair made through the product's
// own CreatePipeServer and ConnectPipeClient, and reading the log file back line by line.
#pragma once

#include "link/pipe.h"

#include <string>
#include <vector>

struct PipePair {
    GamePipe server;
    GamePipe client;
    bool created = false; // what CreatePipeServer returned
};

// The client opens as soon as the instance exists, so the server's connect reports 535; with
// `whilePending` it opens only once the server's connect is pending.
PipePair ConnectedPair(DWORD number, bool whilePending = false);

// Opens ModuleLog on a file in the current directory (use inside a TempDir).
void OpenTestLog();
// The messages of the log lines written so far (the text after "] ").
std::vector<std::string> LoggedMessages();
