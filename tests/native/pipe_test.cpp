// The pipe endpoints against the simulated Win32: names, the server's parameters, security and
// connect paths (535, pending, 30-second time-out, failures), the client end, closing, the raw
// calls and the probes.
#include "link/pipe.h"
#include "support/pipe_pair.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sim/control.h>
#include <sim/pipes.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

namespace {

const char* const kName7 = "\\\\.\\pipe\\Korvex-7-Overlay-Game";

// Makes the next pending connect complete: a client opens the instance.
void ClientConnectsWhilePending(GamePipe& client, DWORD number) {
    sim::OnConnectPending([&client, number](HANDLE) { ConnectPipeClient(client, number); });
}

} // namespace

TEST(PipeName, ZeroIsOneDigitAndTheLargestNumberGivesThirtyNineCharacters) {
    char name[kPipeNameSize];
    MakePipeName(name, 0);
    EXPECT_STREQ(name, "\\\\.\\pipe\\Korvex-0-Overlay-Game");
    MakePipeName(name, 4294967295u);
    EXPECT_STREQ(name, "\\\\.\\pipe\\Korvex-4294967295-Overlay-Game");
    EXPECT_EQ(std::strlen(name), 39u);
}

TEST(PipeServer, PendingConnectCompletedByClientCreatesTheDocumentedPipeAndFreesItsSecurity) {
    TempDir dir;
    OpenTestLog();
    GamePipe server, client;
    ClientConnectsWhilePending(client, 7);
    ASSERT_TRUE(CreatePipeServer(server, 7));

    auto instances = sim::PipeInstances(kName7);
    ASSERT_EQ(instances.size(), 1u);
    const auto& pipe = instances[0];
    EXPECT_EQ(pipe.server, server.handle);
    EXPECT_EQ(pipe.openMode, 0x40000003u);
    EXPECT_EQ(pipe.pipeMode, 6u);
    EXPECT_EQ(pipe.maxInstances, 255u);
    EXPECT_EQ(pipe.outBufferSize, 3145904u);
    EXPECT_EQ(pipe.inBufferSize, 3145904u);
    EXPECT_EQ(pipe.defaultTimeout, 0u);
    EXPECT_TRUE(pipe.clientConnected);

    const auto& security = pipe.security;
    EXPECT_EQ(security.length, sizeof(SECURITY_ATTRIBUTES));
    EXPECT_FALSE(security.inherit);
    EXPECT_EQ(security.revision, 1);
    EXPECT_TRUE(security.daclPresent);
    EXPECT_FALSE(security.daclDefaulted);
    ASSERT_EQ(security.aces.size(), 1u);
    EXPECT_EQ(security.aces[0].type, 0); // allowed
    EXPECT_EQ(security.aces[0].flags, 0);
    EXPECT_EQ(security.aces[0].mask, 0x1FFFFFu);
    EXPECT_EQ(security.aces[0].sid, "S-1-2-0");

    EXPECT_EQ(sim::CallCount("FreeSid"), 1u);
    EXPECT_EQ(sim::CallCount("LocalFree"), 2u); // the ACL and the descriptor
    EXPECT_EQ(sim::CallCount("WaitForSingleObject"), 1u);
    EXPECT_EQ(sim::OpenEventCount(), 0u);
    EXPECT_EQ(sim::PipeReadMode(client.handle), static_cast<DWORD>(PIPE_READMODE_MESSAGE));
    EXPECT_EQ(LoggedMessages(),
              (std::vector<std::string>{
                  "Creating proxy pipe; name=\\\\.\\pipe\\Korvex-7-Overlay-Game",
                  "Connecting to proxy pipe; name=\\\\.\\pipe\\Korvex-7-Overlay-Game",
              }));
}

TEST(PipeServer, ClientConnectingBeforeConnectNamedPipeGives535AndCountsAsConnected) {
    PipePair pair = ConnectedPair(3);
    EXPECT_TRUE(IsPipeOpen(pair.server));
    EXPECT_EQ(sim::CallCount("ConnectNamedPipe"), 1u);
    EXPECT_EQ(sim::CallCount("WaitForSingleObject"), 0u);
    EXPECT_EQ(sim::OpenEventCount(), 0u);
    DWORD written = 0;
    ASSERT_TRUE(WritePipe(pair.client, "abcd", 4, written));
    EXPECT_TRUE(PipeHasData(pair.server));
}

TEST(PipeServer, NoClientWithinExactly30000SimulatedMsLeavesHolderInvalidAndInstanceClosed) {
    TempDir dir;
    OpenTestLog();
    sim::SetIdleWaitsAdvanceTime(true);
    DWORD before = GetTickCount();
    GamePipe server;
    EXPECT_FALSE(CreatePipeServer(server, 7));
    EXPECT_EQ(GetTickCount() - before, 30000u);
    EXPECT_FALSE(IsPipeOpen(server));
    EXPECT_TRUE(sim::PipeInstances(kName7).empty());
    EXPECT_GE(sim::CallCount("CancelIo"), 1u);
    EXPECT_EQ(sim::CallCount("DisconnectNamedPipe"), 1u);
    EXPECT_EQ(sim::OpenEventCount(), 0u);
    EXPECT_EQ(LoggedMessages().size(), 1u);
}

TEST(PipeServer, ClientArrivingOnAnotherThreadJustBeforeTheDeadlineIsAccepted) {
    GamePipe server, client;
    std::atomic<bool> result{false}, done{false};
    std::thread serving([&] {
        result = CreatePipeServer(server, 9);
        done = true;
    });
    ASSERT_TRUE(sim::WaitUntilBlocked(1));
    sim::AdvanceTime(29999);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(sim::WaitUntilBlocked(1));
    EXPECT_FALSE(done);
    ConnectPipeClient(client, 9);
    serving.join();
    EXPECT_TRUE(result);
    EXPECT_TRUE(IsPipeOpen(server));
}

TEST(PipeServer, ConnectFailuresOtherThan535And997DisconnectAndCloseTheInstance) {
    struct Case {
        const char* function;
        DWORD error;
    };
    for (Case failure :
         {Case{"ConnectNamedPipe", ERROR_NO_DATA}, Case{"CreateEventA", ERROR_NOT_ENOUGH_MEMORY},
          Case{"WaitForSingleObject", ERROR_INVALID_HANDLE},
          Case{"GetOverlappedResult", ERROR_GEN_FAILURE}}) {
        SCOPED_TRACE(failure.function);
        GamePipe server, client;
        ClientConnectsWhilePending(client, 5);
        sim::FailNext(failure.function, failure.error);
        EXPECT_FALSE(CreatePipeServer(server, 5));
        EXPECT_FALSE(IsPipeOpen(server));
        EXPECT_TRUE(sim::PipeInstances("\\\\.\\pipe\\Korvex-5-Overlay-Game").empty());
        EXPECT_EQ(sim::OpenEventCount(), 0u);
        ClosePipe(client);
    }
    sim::OnConnectPending(nullptr);
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
    struct Case {
        const char* function;
        unsigned sidsFreed;
        unsigned localFrees;
    };
    TempDir dir;
    OpenTestLog();
    for (Case step : {Case{"AllocateAndInitializeSid", 0, 0}, Case{"SetEntriesInAclA", 1, 0},
                      Case{"LocalAlloc", 1, 1}, Case{"InitializeSecurityDescriptor", 1, 2},
                      Case{"SetSecurityDescriptorDacl", 1, 2}}) {
        SCOPED_TRACE(step.function);
        size_t first = LoggedMessages().size();
        sim::ResetCallCounts();
        sim::FailNext(step.function, ERROR_NOT_ENOUGH_MEMORY);
        PipePair pair = ConnectedPair(2);
        EXPECT_TRUE(IsPipeOpen(pair.server));
        EXPECT_EQ(sim::CallCount("FreeSid"), step.sidsFreed);
        EXPECT_EQ(sim::CallCount("LocalFree"), step.localFrees);
        auto instances = sim::PipeInstances("\\\\.\\pipe\\Korvex-2-Overlay-Game");
        ASSERT_EQ(instances.size(), 1u);
        EXPECT_FALSE(instances[0].security.hasAttributes);
        auto lines = LoggedMessages();
        ASSERT_GE(lines.size(), first + 2);
        EXPECT_EQ(lines[first], "Creating proxy pipe; name=\\\\.\\pipe\\Korvex-2-Overlay-Game");
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
    GamePipe null{nullptr};
    EXPECT_TRUE(IsPipeOpen(null));
}

TEST(PipeHolder, DisconnectingTheServerCutsTheClientOffAndInvalidatesTheHolder) {
    PipePair pair = ConnectedPair(4);
    DisconnectPipe(pair.server);
    EXPECT_FALSE(IsPipeOpen(pair.server));
    EXPECT_EQ(sim::CallCount("CancelIo"), 1u);
    EXPECT_EQ(sim::CallCount("DisconnectNamedPipe"), 1u);
    DWORD total = 99;
    SetLastError(0);
    EXPECT_FALSE(GetPipeBytesAvailable(pair.client, total));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PIPE_NOT_CONNECTED));
    EXPECT_EQ(total, 0u);
}

TEST(PipeClient, NoServerLeavesHolderInvalidAfterLoggingTheAttempt) {
    TempDir dir;
    OpenTestLog();
    GamePipe client{nullptr};
    ConnectPipeClient(client, 11);
    EXPECT_FALSE(IsPipeOpen(client));
    EXPECT_EQ(sim::CallCount("SetNamedPipeHandleState"), 0u);
    EXPECT_EQ(LoggedMessages(),
              std::vector<std::string>{
                  "Connecting to proxy pipe; name=\\\\.\\pipe\\Korvex-11-Overlay-Game"});
}

TEST(PipeRaw, CallsOnABrokenOrInvalidPipeFailAndReportZeroCounts) {
    PipePair pair = ConnectedPair(6);
    ClosePipe(pair.server);
    char buffer[8];
    DWORD count = 99;
    SetLastError(0);
    EXPECT_FALSE(ReadPipe(pair.client, buffer, sizeof buffer, count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE));
    EXPECT_EQ(count, 0u);
    count = 99;
    EXPECT_FALSE(WritePipe(pair.client, buffer, 4, count));
    EXPECT_EQ(count, 0u);
    GamePipe invalid;
    count = 99;
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
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_EQ(count, 4u);
    char rest[16];
    ASSERT_TRUE(ReadPipe(pair.server, rest, sizeof rest, count));
    EXPECT_EQ(std::string(rest, count), "456789AB");
}

TEST(PipeRaw, ReadOnAnEmptyPipeBlocksUntilARecordArrivesOrTheWriterCloses) {
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

    std::thread second([&] { ok = ReadPipe(pair.server, buffer, sizeof buffer, count); });
    ASSERT_TRUE(sim::WaitUntilBlocked(1));
    ClosePipe(pair.client);
    second.join();
    EXPECT_FALSE(ok);
}

TEST(PipeProbe, HasDataIsFalseOnAnEmptyPipeAndTrueOnceTheOtherEndWrites) {
    PipePair pair = ConnectedPair(13);
    EXPECT_FALSE(PipeHasData(pair.client));
    DWORD count = 0;
    ASSERT_TRUE(WritePipe(pair.server, "x", 1, count));
    EXPECT_TRUE(PipeHasData(pair.client));
    GamePipe invalid;
    EXPECT_FALSE(PipeHasData(invalid));
}

TEST(PipeProbe, ReconnectingProbeLeavesFlagsAloneOnAHealthyPipe) {
    PipePair pair = ConnectedPair(14);
    bool a = true, b = false;
    EXPECT_FALSE(PipeHasDataOrReconnect(pair.client, 14, a, b));
    DWORD count = 0;
    ASSERT_TRUE(WritePipe(pair.server, "x", 1, count));
    EXPECT_TRUE(PipeHasDataOrReconnect(pair.client, 14, a, b));
    EXPECT_TRUE(a);
    EXPECT_FALSE(b);
    EXPECT_EQ(sim::CallCount("CreateFileA"), 1u); // only the pair's own connect
}

TEST(PipeProbe, ReconnectingProbeWithTheServerGoneAndNoNewInstanceClearsBothFlags) {
    PipePair pair = ConnectedPair(15);
    DisconnectPipe(pair.server);
    bool a = true, b = true;
    EXPECT_FALSE(PipeHasDataOrReconnect(pair.client, 15, a, b));
    EXPECT_FALSE(IsPipeOpen(pair.client));
    EXPECT_FALSE(a);
    EXPECT_FALSE(b);
}

TEST(PipeProbe, ReconnectingProbeOpensANewInstanceOfTheSameNumberAndKeepsTheFlags) {
    PipePair pair = ConnectedPair(16);
    HANDLE old = pair.client.handle;
    DisconnectPipe(pair.server);
    GamePipe fresh;
    sim::OnConnectPending([&](HANDLE) {
        bool a = true, b = true;
        EXPECT_FALSE(PipeHasDataOrReconnect(pair.client, 16, a, b));
        EXPECT_TRUE(a);
        EXPECT_TRUE(b);
    });
    ASSERT_TRUE(CreatePipeServer(fresh, 16));
    EXPECT_TRUE(IsPipeOpen(pair.client));
    EXPECT_NE(pair.client.handle, old);
    DWORD count = 0;
    ASSERT_TRUE(WritePipe(fresh, "new", 3, count));
    EXPECT_TRUE(PipeHasData(pair.client));
}
