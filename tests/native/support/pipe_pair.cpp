// Test helpers for the game pipe: connected pairs and the log read back.
#include "support/pipe_pair.h"

#include "log/log_file.h"
#include "support/temp_dir.h"

#include <sim/pipes.h>

#include <sstream>

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

void OpenTestLog() {
    OpenModuleLog("pipes.log", 0);
}

std::vector<std::string> LoggedMessages() {
    std::istringstream in(ReadHostFile("pipes.log"));
    std::vector<std::string> messages;
    for (std::string line; std::getline(in, line);) {
        auto at = line.find("] ");
        messages.push_back(at == std::string::npos ? line : line.substr(at + 2));
    }
    return messages;
}
