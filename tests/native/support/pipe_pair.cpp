#include "support/pipe_pair.h"

#include <sim/pipes.h>

PipePair ConnectedPair(DWORD number, bool whilePending) {
    PipePair pair;
    auto connect = [&] { ConnectPipeClient(pair.client, number); };
    if (whilePending)
        sim::OnConnectPending([&](HANDLE) { connect(); });
    else
        sim::OnPipeCreated([&](const std::string&) { connect(); });
    pair.created = CreatePipeServer(pair.server, number);
    sim::OnPipeCreated(nullptr);
    sim::OnConnectPending(nullptr);
    return pair;
}
