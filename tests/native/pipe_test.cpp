// The pipe endpoints against the simulated Win32: the name and published sizes, the server end
// (parameters, DACL, the ways a connect succeeds or fails, the fallback to default security),
// the client end and its log line, closing, the raw calls' counts and the probes.
#include "link/pipe.h"
#include "log/log_file.h"
#include "support/pipe_pair.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sim/control.h>
#include <sim/pipes.h>

#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

std::string Name(DWORD number) {
    char name[kPipeNameSize];
    MakePipeName(name, number);
    return name;
}

// The messages of the lines in the log (the text after "] ").
std::vector<std::string> LoggedMessages() {
    std::istringstream in(ReadHostFile("pipes.log"));
    std::vector<std::string> messages;
    for (std::string line; std::getline(in, line);)
        messages.push_back(line.substr(line.find("] ") + 2));
    return messages;
}

} // namespace

TEST(PipeName, NumberIsWrittenInDecimalAndTheSizesArePublished) {
    EXPECT_EQ(Name(0), "\\\\.\\pipe\\Korvex-0-Overlay-Game");
    EXPECT_EQ(Name(4294967295u), "\\\\.\\pipe\\Korvex-4294967295-Overlay-Game");
    EXPECT_EQ(std::make_tuple(GetPipeBufferSize(), GetLargeHeaderSize(), GetMaxRecordsPerPoll(),
                              GetHighestMessageType()),
              std::make_tuple(3145904u, 176u, 16u, 10u));
}

TEST(PipeServer, ConnectsItsClientOnAMessagePipeWithTheLocalDaclOrElseDefaultSecurity) {
    TempDir dir;
    ASSERT_TRUE(OpenModuleLog("pipes.log", 0));
    // No function: the client opens before ConnectNamedPipe (error 535) or while it is pending.
    // Otherwise one step of building the security fails and the pipe gets default security.
    for (auto [pending, function] : {std::pair<bool, std::string>{false, ""},
                                     {true, ""},
                                     {true, "AllocateAndInitializeSid"},
                                     {true, "SetEntriesInAclA"},
                                     {true, "LocalAlloc"},
                                     {true, "InitializeSecurityDescriptor"},
                                     {true, "SetSecurityDescriptorDacl"}}) {
        SCOPED_TRACE(function + (pending ? " pending" : ""));
        size_t first = LoggedMessages().size();
        if (!function.empty())
            sim::FailNext(function.c_str(), ERROR_NOT_ENOUGH_MEMORY);
        PipePair pair = ConnectedPair(3, pending);
        ASSERT_TRUE(pair.created);
        auto instances = sim::PipeInstances(Name(3).c_str());
        ASSERT_EQ(instances.size(), 1u);
        const auto& pipe = instances[0];
        EXPECT_EQ(
            std::make_tuple(pipe.server, pipe.openMode, pipe.pipeMode, pipe.maxInstances,
                            pipe.outBufferSize, pipe.inBufferSize, pipe.defaultTimeout),
            std::make_tuple(pair.server.handle, 0x40000003u, 6u, 255u, 3145904u, 3145904u, 0u));
        EXPECT_TRUE(pipe.clientConnected);
        EXPECT_EQ(sim::PipeReadMode(pair.client.handle), DWORD{PIPE_READMODE_MESSAGE});
        EXPECT_EQ(sim::OpenEventCount(), 0u);
        std::vector<std::string> lines = {"Creating proxy pipe; name=" + Name(3),
                                          "Connecting to proxy pipe; name=" + Name(3)};
        const auto& security = pipe.security;
        if (function.empty()) {
            EXPECT_EQ(
                std::make_tuple(security.length, security.inherit, security.revision,
                                security.daclPresent, security.daclDefaulted),
                std::make_tuple(DWORD{sizeof(SECURITY_ATTRIBUTES)}, FALSE, BYTE{1}, true, false));
            ASSERT_EQ(security.aces.size(), 1u);
            const auto& ace = security.aces[0]; // type 0: access allowed
            EXPECT_EQ(std::make_tuple(ace.type, ace.flags, ace.mask, ace.sid),
                      std::make_tuple(BYTE{0}, BYTE{0}, DWORD{0x1FFFFF}, std::string("S-1-2-0")));
        } else {
            EXPECT_FALSE(security.hasAttributes);
            lines.insert(lines.begin() + 1, "Failed to create security attributes");
        }
        auto logged = LoggedMessages();
        EXPECT_EQ(std::vector<std::string>(logged.begin() + first, logged.end()), lines);
        ClosePipe(pair.client);
        DisconnectPipe(pair.server);
    }
}

TEST(PipeServer, NoClientWithin30000MsOrAFailingStepGivesFalseAndLeavesNoInstance) {
    sim::SetIdleWaitsAdvanceTime(true);
    const HANDLE before = reinterpret_cast<HANDLE>(0x1234);
    // No function: no client comes. Otherwise a client comes, so only the failing step stops the
    // connect. A failed creation leaves the holder as it was; every other failure invalidates it.
    for (auto [function, error] : {std::pair<std::string, DWORD>{"", 0},
                                   {"CreateNamedPipeA", ERROR_PIPE_BUSY},
                                   {"ConnectNamedPipe", ERROR_NO_DATA},
                                   {"CreateEventA", ERROR_NOT_ENOUGH_MEMORY},
                                   {"WaitForSingleObject", ERROR_INVALID_HANDLE},
                                   {"GetOverlappedResult", ERROR_GEN_FAILURE}}) {
        SCOPED_TRACE(function);
        GamePipe server{before}, client;
        if (!function.empty()) {
            sim::OnConnectPending([&](HANDLE) { ConnectPipeClient(client, 5); });
            sim::FailNext(function.c_str(), error);
        }
        DWORD start = GetTickCount();
        EXPECT_FALSE(CreatePipeServer(server, 5));
        sim::OnConnectPending(nullptr);
        if (function.empty()) {
            EXPECT_EQ(GetTickCount() - start, 30000u);
        }
        EXPECT_EQ(server.handle, function == "CreateNamedPipeA" ? before : INVALID_HANDLE_VALUE);
        EXPECT_TRUE(sim::PipeInstances(Name(5).c_str()).empty());
        EXPECT_EQ(sim::OpenEventCount(), 0u);
        ClosePipe(client);
    }
}

TEST(PipeHolder, OnlyAllBitsSetCountsAsClosedAndClosingItMakesNoCall) {
    GamePipe pipe;
    ClosePipe(pipe);
    DisconnectPipe(pipe);
    EXPECT_EQ(sim::CallCount("CloseHandle") + sim::CallCount("DisconnectNamedPipe"), 0u);
    EXPECT_TRUE(!IsPipeOpen(pipe) && IsPipeOpen(GamePipe{nullptr}));
}

TEST(PipeClient, StaysInvalidWithoutAServerAndLogsItsLineBeforeOpening) {
    GamePipe client{nullptr};
    ConnectPipeClient(client, 11);
    EXPECT_FALSE(IsPipeOpen(client));
    // Here the log writes into a listening server end: a line written before the client opens
    // is refused, one written after it would reach the client.
    GamePipe server;
    sim::OnConnectPending([&](HANDLE end) {
        HANDLE log = std::exchange(ModuleLog.file, end);
        ConnectPipeClient(client, 12);
        ModuleLog.file = log;
    });
    ASSERT_TRUE(CreatePipeServer(server, 12));
    ASSERT_TRUE(IsPipeOpen(client));
    EXPECT_FALSE(PipeHasData(client));
}

TEST(PipeRaw, CallsOnAnEndWhoseServerClosedOrDisconnectedFailWithZeroCounts) {
    for (bool disconnect : {false, true}) {
        SCOPED_TRACE(disconnect);
        PipePair pair = ConnectedPair(4);
        DWORD counts[4] = {99, 99, 99, 99};
        if (disconnect) // cuts the client off, unread data included
            WritePipe(pair.server, "lost", 4, counts[0]);
        (disconnect ? DisconnectPipe : ClosePipe)(pair.server);
        EXPECT_FALSE(IsPipeOpen(pair.server));
        char buffer[8];
        EXPECT_FALSE(ReadPipe(pair.client, buffer, sizeof buffer, counts[0]));
        EXPECT_FALSE(WritePipe(pair.client, buffer, 4, counts[1]));
        EXPECT_FALSE(GetPipeBytesAvailable(pair.client, counts[2]));
        EXPECT_FALSE(PeekPipe(pair.client, buffer, 4, counts[3]));
        EXPECT_EQ(std::vector<DWORD>(counts, counts + 4), std::vector<DWORD>(4, 0));
        ClosePipe(pair.client);
    }
}

TEST(PipeRaw, PartialServerReadReportedAsZeroBytesStillCountsTheFilledBuffer) {
    PipePair pair = ConnectedPair(8);
    sim::SetServerPartialReadReportsZero(true);
    DWORD count = 0;
    ASSERT_TRUE(WritePipe(pair.client, "0123456789AB", 12, count));
    char head[4];
    EXPECT_FALSE(ReadPipe(pair.server, head, 4, count));
    EXPECT_EQ(count, 4u);
    char rest[16];
    ASSERT_TRUE(ReadPipe(pair.server, rest, sizeof rest, count));
    EXPECT_EQ(std::string(rest, count), "456789AB");
}

TEST(PipeProbe, HealthyPipeHasDataOnceWrittenAndOneWhoseServerWentAwayReconnectsOrClearsTheFlags) {
    PipePair pair = ConnectedPair(14);
    bool a = true, b = false;
    EXPECT_FALSE(PipeHasData(pair.client) || PipeHasDataOrReconnect(pair.client, 14, a, b));
    DWORD count = 0;
    ASSERT_TRUE(WritePipe(pair.server, "x", 1, count));
    EXPECT_TRUE(PipeHasData(pair.client) && PipeHasDataOrReconnect(pair.client, 14, a, b));
    EXPECT_TRUE(a && !b); // untouched on a healthy pipe

    HANDLE broken = pair.client.handle;
    DisconnectPipe(pair.server);
    b = true;
    EXPECT_FALSE(PipeHasDataOrReconnect(pair.client, 14, a, b)); // no instance to reopen
    EXPECT_FALSE(IsPipeOpen(pair.client) || PipeHasData(pair.client));
    EXPECT_FALSE(a || b);
    EXPECT_FALSE(CloseHandle(broken));  // the probe closed it
    sim::OnConnectPending([&](HANDLE) { // the next poll, once a new instance exists
        a = b = true;
        EXPECT_FALSE(PipeHasDataOrReconnect(pair.client, 14, a, b));
        EXPECT_TRUE(a && b);
    });
    GamePipe fresh;
    ASSERT_TRUE(CreatePipeServer(fresh, 14));
    ASSERT_TRUE(WritePipe(fresh, "new", 3, count));
    EXPECT_TRUE(PipeHasData(pair.client));
}
