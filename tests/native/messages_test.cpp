// The message catalogue: each writer's exact bytes (after its log line, for the six that log),
// each record decoded by its reader in both directions, readers on messages of the wrong size,
// and the type peek. (The fuzzer puts every reader and peek, the large-header peek and the
// non-zero booleans included, against arbitrary messages.)
#include "link/messages.h"
#include "log/log_file.h"
#include "support/pipe_pair.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sim/control.h>

#include "../common/record_bytes.h"

#include <cstring>
#include <sys/resource.h>
#include <functional>
#include <string>
#include <vector>

namespace {

using Fields = std::vector<int64_t>;

Bytes NextMessage(GamePipe& pipe) {
    BYTE buffer[512];
    DWORD count = 0;
    return ReadPipe(pipe, buffer, sizeof buffer, count) ? Bytes(buffer, buffer + count) : Bytes{};
}

void Raw(GamePipe& pipe, const Bytes& bytes) {
    ASSERT_TRUE(SendRaw(pipe, bytes.data(), static_cast<DWORD>(bytes.size())));
}

} // namespace

TEST(MessageRecords, EachWriterLogsFirstThenSendsItsRecordWhichItsReaderDecodes) {
    TempDir dir;
    ASSERT_TRUE(OpenModuleLog("records.log", 0));
    SYSTEMTIME time{};
    time.wYear = 2026, time.wMonth = 1, time.wDay = 1;
    sim::SetSystemTime(time);
    BYTE keys[256], got[256];
    for (int i = 0; i < 256; ++i)
        keys[i] = static_cast<BYTE>(i * 7 + 1);
    struct Case {
        std::function<bool(GamePipe&)> send;
        Bytes bytes;
        std::string line = ""; // logged before sending; empty: none
    };
    const Case cases[] = {
        {[](GamePipe& p) { return SendRenderActive(p, false); }, Le({1, 0}),
         "Send RenderActive msg to the proxy: active = 0"},
        {[](GamePipe& p) { return SendInputActive(p, true); }, Bytes{2, 0, 0, 0, 1, 0, 0, 0},
         "Send InputActive msg to the proxy: active = 1"},
        {[&](GamePipe& p) { return SendMouseInput(p, 0x020A, -5, 600, 0xFF880012, 123456, keys); },
         Le({3, 0x020A, static_cast<uint32_t>(-5), 600, 0xFF880012, 123456}, keys)},
        {[&](GamePipe& p) { return SendKeyboardInput(p, 0xA5A50041, 0xC01E0001, keys); },
         Le({4, 0xA5A50041, 0xC01E0001}, keys)},
        {[](GamePipe& p) { return SendValuePair(p, 0xDEADBEEF, 7); }, Le({5, 0xDEADBEEF, 7})},
        {[](GamePipe& p) { return SendInit(p, 300, true); },
         Bytes{0x06, 0, 0, 0, 0x2C, 0x01, 0, 0, 0x01, 0, 0, 0},
         "Send Init msg to the proxy: gameThreadId=300, useRawInputHooks=1"},
        {[](GamePipe& p) { return SendInit(p, 4294967295u, false); }, Le({6, 4294967295u, 0}),
         "Send Init msg to the proxy: gameThreadId=4294967295, useRawInputHooks=0"},
        {[](GamePipe& p) { return SendInitAllThreads(p, false); }, Le({7, 0}),
         "Send InitAllThreads msg proxy"},
        {SendInitAllThreadsAllHooks, Le({8}), "Send InitAllThreadsAllHooks msg proxy"},
        {SendTakeScreenshot, Bytes{0x09, 0, 0, 0}, "Send TakeScreenshot msg to proxy"},
        {SendNotice, Le({10})},
    };
    // The log file stands in for the pipe here, so it shows what came first.
    GamePipe log{ModuleLog.file};
    std::string expected;
    for (const auto& c : cases) {
        ASSERT_TRUE(c.send(log));
        if (!c.line.empty())
            expected += "1-1-2026 0:0:0:0 [Info] " + c.line + "\n";
        expected.append(c.bytes.begin(), c.bytes.end());
        ASSERT_EQ(ReadHostFile("records.log"), expected) << "tag " << int(c.bytes[0]);
    }

    // Each reader takes its record whole, in both directions, and overwrites what its
    // out-parameters held.
    PipePair pair = ConnectedPair(1);
    for (bool fromClient : {true, false}) {
        SCOPED_TRACE(fromClient);
        GamePipe& to = fromClient ? pair.server : pair.client;
        for (const auto& c : cases)
            ASSERT_TRUE(c.send(fromClient ? pair.client : pair.server));
        bool f = false;
        DWORD a = 0, b = 0, t = 0;
        int32_t x = 0, y = 0, w = 0;
        EXPECT_TRUE(ReadRenderActive(to, f = true) && !f);
        EXPECT_TRUE(ReadInputActive(to, f = false) && f);
        // The wheel delta is the signed upper half of mouseData, whatever its lower half holds.
        ASSERT_TRUE(PeekMouseInput(to, a, x, y, w, t));
        EXPECT_EQ(Fields({a, x, y, w, t}), Fields({0x020A, -5, 600, -120, 123456}));
        a = t = 0, x = y = w = 0;
        ASSERT_TRUE(ReadMouseInput(to, a, x, y, w, t, got));
        EXPECT_EQ(Fields({a, x, y, w, t}), Fields({0x020A, -5, 600, -120, 123456}));
        EXPECT_EQ(Bytes(got, got + 256), Bytes(keys, keys + 256));
        std::memset(got, 0, sizeof got);
        ASSERT_TRUE(ReadKeyboardInput(to, a, b, got));
        EXPECT_EQ(Fields({a, b}), Fields({0xA5A50041, 0xC01E0001}));
        EXPECT_EQ(Bytes(got, got + 256), Bytes(keys, keys + 256));
        ASSERT_TRUE(ReadValuePair(to, a, b));
        EXPECT_EQ(Fields({a, b}), Fields({0xDEADBEEF, 7}));
        EXPECT_TRUE(ReadInit(to, a, f = false) && a == 300 && f);
        EXPECT_TRUE(ReadInit(to, a, f = true) && a == 4294967295u && !f);
        EXPECT_TRUE(ReadInitAllThreads(to, f = true) && !f);
        EXPECT_TRUE(ReadInitAllThreadsAllHooks(to) && ReadTakeScreenshot(to) && ReadNotice(to));
        EXPECT_FALSE(PipeHasData(to));
    }
}

TEST(MessageWriters, WriteThatMovesLessThanTheWholeRecordGivesFalse) {
    TempDir dir;
    // A file that may grow to only 4 bytes stands in for the pipe.
    GamePipe pipe{CreateFileA("short.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)};
    rlimit saved{}, cut{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    cut = {4, saved.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &cut), 0);
    EXPECT_FALSE(SendInputActive(pipe, true));
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(ReadHostFile("short.bin").size(), 4u); // the write did move 4 bytes
    CloseHandle(pipe.handle);
}

TEST(MessageReaders, MessageOfTheWrongSizeGivesFalseAndLeavesTheOutParameters) {
    PipePair pair = ConnectedPair(3);
    Raw(pair.client, Le({6})); // short: consumed whole
    DWORD thread = 77;
    bool raw = true;
    EXPECT_FALSE(ReadInit(pair.server, thread, raw));
    EXPECT_TRUE(thread == 77 && raw);
    Raw(pair.client, Le({9}));
    BYTE bytes[8];
    EXPECT_FALSE(ReadRaw(pair.server, bytes, 8));
    EXPECT_FALSE(PipeHasData(pair.server));

    Bytes mouse = Le({3, 1, 2, 3, 4, 5});
    mouse.resize(kMouseInputSize - 1, 0x80); // one byte short
    Raw(pair.client, mouse);
    DWORD message = 5, time = 6;
    int32_t x = 7, y = 8, wheel = 9;
    BYTE keys[256] = {0xAB};
    EXPECT_FALSE(PeekMouseInput(pair.server, message, x, y, wheel, time));
    EXPECT_FALSE(ReadMouseInput(pair.server, message, x, y, wheel, time, keys));
    EXPECT_EQ(Fields({message, time, x, y, wheel, keys[0]}), Fields({5, 6, 7, 8, 9, 0xAB}));

    Raw(pair.client, Le({1, 1, 0xAABBCCDD})); // longer: the rest stays for the next read
    bool active = false;
    EXPECT_FALSE(ReadRenderActive(pair.server, active));
    EXPECT_FALSE(active);
    EXPECT_EQ(NextMessage(pair.server), Le({0xAABBCCDD}));
}

TEST(MessagePeek, TypePeekNeedsFourBytesDeliversOnlyTheFirstAndLeavesTheRecord) {
    PipePair pair = ConnectedPair(7);
    GamePipe invalid;
    DWORD type = 0;
    EXPECT_FALSE(PeekMessageType(invalid, type));
    EXPECT_EQ(type, 255u);
    // Nothing waiting, 1 to 3 bytes, then a tag whose second byte is set.
    for (const Bytes& message :
         {Bytes{}, Bytes{3}, Bytes{3, 1}, Bytes{3, 1, 0}, Bytes{3, 1, 0, 0}}) {
        if (!message.empty())
            Raw(pair.client, message);
        bool whole = message.size() == 4;
        type = 0;
        EXPECT_EQ(PeekMessageType(pair.server, type), whole);
        EXPECT_EQ(PeekMessageType(pair.server, type), whole); // the record stays
        EXPECT_EQ(type, whole ? 3u : 255u);
        EXPECT_EQ(message.empty() ? message : NextMessage(pair.server), message);
    }
}
