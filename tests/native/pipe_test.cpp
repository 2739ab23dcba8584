// The pipe endpoints against the simulated Win32: names, the server's parameters and security,
// the connect paths (535, pending, 30-second time-out, failures), the client end, closing, the
// raw calls and the probes.
#include "link/pipe.h"
#include "support/pipe_pair.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sim/control.h>
#include <sim/pipes.h>

#include <string>
#include <thread>
#include <tuple>

namespace {

std::string Name(DWORD number) {
    char name[kPipeNameSize];
    MakePipeName(name, number);
    return name;
}

} // namespace

TEST(PipeName, PassingZeroOrTheLargestNumberResultsInItsDecimalDigitsInTheName) {
    EXPECT_EQ(Name(0), "\\\\.\\pipe\\Korvex-0-Overlay-Game");
    EXPECT_EQ(Name(4294967295u), "\\\\.\\pipe\\Korvex-4294967295-Overlay-Game");
}

TEST(PipeServer, PassingAClientBeforeOrDuringTheConnectResultsInTheDocumentedPipeWithItsDacl) {
    TempDir dir;
    OpenTestLog();
    for (bool pending : {false, true}) { // before ConnectNamedPipe: 535, no wait
        SCOPED_TRACE(pending);
        sim::ResetCallCounts();
        DWORD number = pending ? 7 : 3;
        PipePair pair = ConnectedPair(number, pending);
        ASSERT_TRUE(pair.created);
        auto instances = sim::PipeInstances(Name(number).c_str());
        ASSERT_EQ(instances.size(), 1u);
        const auto& pipe = instances[0];
        EXPECT_EQ(
            std::make_tuple(pipe.server, pipe.openMode, pipe.pipeMode, pipe.maxInstances,
                            pipe.outBufferSize, pipe.inBufferSize, pipe.defaultTimeout),
            std::make_tuple(pair.server.handle, 0x40000003u, 6u, 255u, 3145904u, 3145904u, 0u));
        EXPECT_TRUE(pipe.clientConnected);
        const auto& security = pipe.security;
        EXPECT_EQ(std::make_tuple(security.length, security.inherit, security.revision,
                                  security.daclPresent, security.daclDefaulted),
                  std::make_tuple(DWORD{sizeof(SECURITY_ATTRIBUTES)}, FALSE, BYTE{1}, true, false));
        ASSERT_EQ(security.aces.size(), 1u);
        const auto& ace = security.aces[0]; // type 0: access allowed
        EXPECT_EQ(std::make_tuple(ace.type, ace.flags, ace.mask, ace.sid),
                  std::make_tuple(BYTE{0}, BYTE{0}, DWORD{0x1FFFFF}, std::string("S-1-2-0")));
        EXPECT_EQ(sim::CallCount("FreeSid"), 1u);
        EXPECT_EQ(sim::CallCount("LocalFree"), 2u); // the ACL and the descriptor
        EXPECT_EQ(sim::CallCount("ConnectNamedPipe"), 1u);
        EXPECT_EQ(sim::CallCount("WaitForSingleObject"), pending ? 1u : 0u);
        EXPECT_EQ(sim::OpenEventCount(), 0u);
        EXPECT_EQ(sim::PipeReadMode(pair.client.handle), DWORD{PIPE_READMODE_MESSAGE});
        auto lines = LoggedMessages();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(std::vector<std::string>(lines.end() - 2, lines.end()),
                  (std::vector<std::string>{"Creating proxy pipe; name=" + Name(number),
                                            "Connecting to proxy pipe; name=" + Name(number)}));
    }
}

TEST(PipeServer, PassingNoClientWithin30000MsOrAFailingConnectStepResultsInFalseAndNoInstance) {
    TempDir dir;
    OpenTestLog();
    sim::SetIdleWaitsAdvanceTime(true);
    // No function: no client comes and the wait times out after exactly 30,000 simulated ms.
    for (auto [function, error] : {std::pair<const char*, DWORD>{"", 0},
                                   {"ConnectNamedPipe", ERROR_NO_DATA},
                                   {"CreateEventA", ERROR_NOT_ENOUGH_MEMORY},
                                   {"WaitForSingleObject", ERROR_INVALID_HANDLE},
                                   {"GetOverlappedResult", ERROR_GEN_FAILURE}}) {
        SCOPED_TRACE(function);
        bool timeOut = *function == '\0';
        sim::ResetCallCounts();
        DWORD before = GetTickCount();
        PipePair pair;
        if (timeOut) {
            pair.created = CreatePipeServer(pair.server, 5);
        } else { // a client comes, so only the failing step stops the connect
            sim::FailNext(function, error);
            pair = ConnectedPair(5, true);
        }
        EXPECT_FALSE(pair.created);
        EXPECT_FALSE(IsPipeOpen(pair.server));
        EXPECT_TRUE(sim::PipeInstances(Name(5).c_str()).empty());
        EXPECT_EQ(sim::OpenEventCount(), 0u);
        if (timeOut) {
            EXPECT_EQ(GetTickCount() - before, 30000u);
            EXPECT_GE(sim::CallCount("CancelIo"), 1u);
            EXPECT_EQ(sim::CallCount("DisconnectNamedPipe"), 1u);
            EXPECT_EQ(LoggedMessages().size(), 1u); // only the "Creating" line
        }
        ClosePipe(pair.client);
    }
}

TEST(PipeServer, FailedCreationReturnsFalseLeavesHolderUnchangedAndStillFreesSecurity) {
    GamePipe server{reinterpret_cast<HANDLE>(0x1234)};
    sim::FailNext("CreateNamedPipeA", ERROR_PIPE_BUSY);
    EXPECT_FALSE(CreatePipeServer(server, 1));
    EXPECT_EQ(server.handle, reinterpret_cast<HANDLE>(0x1234));
    EXPECT_EQ(sim::CallCount("FreeSid"), 1u);
    EXPECT_EQ(sim::CallCount("LocalFree"), 2u);
    EXPECT_EQ(sim::CallCount("ConnectNamedPipe"), 0u);
}

TEST(PipeSecurity, EachFailingStepReleasesWhatWasBuiltAndTheServerFallsBackToDefaultSecurity) {
    TempDir dir;
    OpenTestLog();
    for (auto [function, sidsFreed, localFrees] :
         {std::tuple<const char*, unsigned, unsigned>{"AllocateAndInitializeSid", 0, 0},
          {"SetEntriesInAclA", 1, 0},
          {"LocalAlloc", 1, 1},
          {"InitializeSecurityDescriptor", 1, 2},
          {"SetSecurityDescriptorDacl", 1, 2}}) {
        SCOPED_TRACE(function);
        size_t first = LoggedMessages().size();
        sim::ResetCallCounts();
        sim::FailNext(function, ERROR_NOT_ENOUGH_MEMORY);
        PipePair pair = ConnectedPair(2);
        EXPECT_TRUE(pair.created);
        EXPECT_EQ(sim::CallCount("FreeSid"), sidsFreed);
        EXPECT_EQ(sim::CallCount("LocalFree"), localFrees);
        auto instances = sim::PipeInstances(Name(2).c_str());
        ASSERT_EQ(instances.size(), 1u);
        EXPECT_FALSE(instances[0].security.hasAttributes);
        auto lines = LoggedMessages();
        ASSERT_GE(lines.size(), first + 2);
        EXPECT_EQ(lines[first], "Creating proxy pipe; name=" + Name(2));
        EXPECT_EQ(lines[first + 1], "Failed to create security attributes");
        ClosePipe(pair.client);
        DisconnectPipe(pair.server);
    }
}

TEST(PipeHolder, InvalidHolderClosesWithoutAnyCallAndOnlyAllBitsSetCountsAsClosed) {
    GamePipe pipe;
    ClosePipe(pipe);
    DisconnectPipe(pipe);
    EXPECT_EQ(sim::CallCount("CloseHandle"), 0u);
    EXPECT_EQ(sim::CallCount("CancelIo"), 0u);
    EXPECT_EQ(sim::CallCount("DisconnectNamedPipe"), 0u);
    EXPECT_FALSE(IsPipeOpen(pipe));
    EXPECT_TRUE(IsPipeOpen(GamePipe{nullptr}));
}

TEST(PipeClient, NoServerLeavesHolderInvalidAfterLoggingTheAttempt) {
    TempDir dir;
    OpenTestLog();
    GamePipe client{nullptr};
    ConnectPipeClient(client, 11);
    EXPECT_FALSE(IsPipeOpen(client));
    EXPECT_EQ(sim::CallCount("SetNamedPipeHandleState"), 0u);
    EXPECT_EQ(LoggedMessages(),
              std::vector<std::string>{"Connecting to proxy pipe; name=" + Name(11)});
}

TEST(PipeRaw, PassingAnEndWhoseServerClosedOrDisconnectedOrAnInvalidOneResultsInZeroCounts) {
    for (bool disconnect : {false, true}) {
        SCOPED_TRACE(disconnect);
        sim::ResetCallCounts();
        PipePair pair = ConnectedPair(disconnect ? 4 : 6);
        if (disconnect) { // cuts the client off and invalidates the server's holder
            DisconnectPipe(pair.server);
            EXPECT_FALSE(IsPipeOpen(pair.server));
            EXPECT_EQ(sim::CallCount("CancelIo"), 1u);
            EXPECT_EQ(sim::CallCount("DisconnectNamedPipe"), 1u);
        } else {
            ClosePipe(pair.server);
        }
        char buffer[8];
        DWORD count = 99;
        SetLastError(0);
        EXPECT_FALSE(ReadPipe(pair.client, buffer, sizeof buffer, count));
        EXPECT_EQ(GetLastError(), DWORD(disconnect ? ERROR_PIPE_NOT_CONNECTED : ERROR_BROKEN_PIPE));
        EXPECT_EQ(count, 0u);
        count = 99;
        EXPECT_FALSE(WritePipe(pair.client, buffer, 4, count));
        EXPECT_EQ(count, 0u);
        count = 99;
        EXPECT_FALSE(GetPipeBytesAvailable(pair.client, count));
        EXPECT_EQ(count, 0u);
    }
    GamePipe invalid;
    char buffer[4];
    DWORD count = 99;
    EXPECT_FALSE(PeekPipe(invalid, buffer, 4, count));
    EXPECT_EQ(count, 0u);
}

TEST(PipeRaw, PartialServerReadReportedAsZeroBytesStillCountsTheFilledBuffer) {
    PipePair pair = ConnectedPair(8);
    sim::SetServerPartialReadReportsZero(true);
    DWORD count = 0;
    ASSERT_TRUE(WritePipe(pair.client, "0123456789AB", 12, count));
    char head[4];
    SetLastError(0);
    EXPECT_FALSE(ReadPipe(pair.server, head, 4, count));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_MORE_DATA});
    EXPECT_EQ(count, 4u);
    char rest[16];
    ASSERT_TRUE(ReadPipe(pair.server, rest, sizeof rest, count));
    EXPECT_EQ(std::string(rest, count), "456789AB");
}

TEST(PipeRaw, PassingAnEmptyPipeToReadResultsInWaitingForTheNextRecord) {
    PipePair pair = ConnectedPair(12);
    char buffer[8];
    DWORD count = 0;
    bool ok = false;
    std::thread reader([&] { ok = ReadPipe(pair.server, buffer, sizeof buffer, count); });
    ASSERT_TRUE(sim::WaitUntilBlocked(1));
    ASSERT_TRUE(WritePipe(pair.client, "ping", 4, count));
    reader.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(std::string(buffer, count), "ping");
}

TEST(PipeProbe, PassingAHealthyPipeResultsInDataOnlyOnceWrittenAndTheFlagsUntouched) {
    PipePair pair = ConnectedPair(14);
    bool a = true, b = false;
    EXPECT_FALSE(PipeHasData(pair.client));
    EXPECT_FALSE(PipeHasDataOrReconnect(pair.client, 14, a, b));
    DWORD count = 0;
    ASSERT_TRUE(WritePipe(pair.server, "x", 1, count));
    EXPECT_TRUE(PipeHasData(pair.client));
    EXPECT_TRUE(PipeHasDataOrReconnect(pair.client, 14, a, b));
    EXPECT_TRUE(a);
    EXPECT_FALSE(b);
    EXPECT_EQ(sim::CallCount("CreateFileA"), 1u); // only the pair's own connect
    GamePipe invalid;
    EXPECT_FALSE(PipeHasData(invalid));
}

TEST(PipeProbe, PassingAClientWhoseServerWentAwayResultsInClearedFlagsThenReconnectingToTheNext) {
    PipePair pair = ConnectedPair(15);
    DisconnectPipe(pair.server);
    bool a = true, b = true;
    EXPECT_FALSE(PipeHasDataOrReconnect(pair.client, 15, a, b)); // no instance exists
    EXPECT_FALSE(IsPipeOpen(pair.client));
    EXPECT_FALSE(a || b);
    GamePipe fresh;
    sim::OnConnectPending([&](HANDLE) { // the next poll, once a new instance exists
        a = b = true;
        EXPECT_FALSE(PipeHasDataOrReconnect(pair.client, 15, a, b));
        EXPECT_TRUE(a && b);
    });
    ASSERT_TRUE(CreatePipeServer(fresh, 15));
    EXPECT_TRUE(IsPipeOpen(pair.client));
    DWORD count = 0;
    ASSERT_TRUE(WritePipe(fresh, "new", 3, count));
    EXPECT_TRUE(PipeHasData(pair.client));
}
