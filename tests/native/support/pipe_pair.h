// Test helper for the game pipe: a connected server/client pair made through the product's own
// CreatePipeServer and ConnectPipeClient.
#pragma once

#include "link/pipe.h"

struct PipePair {
    GamePipe server;
    GamePipe client;
    bool created = false; // what CreatePipeServer returned
};

// The client opens as soon as the instance exists, so the server's connect reports 535; with
// `whilePending` it opens only once the server's connect is pending.
PipePair ConnectedPair(DWORD number, bool whilePending = false);
