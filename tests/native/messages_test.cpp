// The message catalogue over simulated pipes: each record's exact bytes and decoded fields in
// both directions, readers on short and long messages, boolean and wheel-delta decoding, the
// peeks, and the writers' log lines.
#include "link/messages.h"
#include "support/pipe_pair.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include "../common/record_bytes.h"

#include <cstring>
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

TEST(MessageBytes, PassingEachWriterResultsInItsLittleEndianRecordThatItsReaderDecodes) {
    PipePair pair = ConnectedPair(1);
    BYTE keys[256], got[256];
    for (int i = 0; i < 256; ++i)
        keys[i] = static_cast<BYTE>(i * 7 + 1);
    // Out-parameters start from values every reader must overwrite.
    DWORD a = 9, b = 9, t = 9;
    int32_t x = 9, y = 9, w = 9;
    bool f = false;
    auto same = [&] { return std::memcmp(got, keys, 256) == 0; };
    struct Case {
        std::function<bool(GamePipe&)> send;
        Bytes bytes;
        std::function<Fields(GamePipe&)> read; // the decoded fields; {-1} when the read fails
        Fields fields;
    };
    const Case cases[] = {
        {[](GamePipe& p) { return SendRenderActive(p, false); },
         Le({1, 0}),
         [&](GamePipe& p) { return ReadRenderActive(p, f = true) ? Fields{f} : Fields{-1}; },
         {false}},
        {[](GamePipe& p) { return SendInputActive(p, true); },
         Bytes{2, 0, 0, 0, 1, 0, 0, 0},
         [&](GamePipe& p) { return ReadInputActive(p, f = false) ? Fields{f} : Fields{-1}; },
         {true}},
        {[&](GamePipe& p) { return SendMouseInput(p, 0x020A, -5, 600, 0xFF880012, 99, keys); },
         Le({3, 0x020A, static_cast<uint32_t>(-5), 600, 0xFF880012, 99}, keys),
         [&](GamePipe& p) {
             bool ok = ReadMouseInput(p, a, x, y, w, t, got);
             return ok ? Fields{a, x, y, w, t, same()} : Fields{-1};
         },
         {0x020A, -5, 600, -120, 99, true}},
        {[&](GamePipe& p) { return SendKeyboardInput(p, 0x41, 0xC01E0001, keys); },
         Le({4, 0x41, 0xC01E0001}, keys),
         [&](GamePipe& p) {
             return ReadKeyboardInput(p, a, b, got) ? Fields{a, b, same()} : Fields{-1};
         },
         {0x41, 0xC01E0001, true}},
        {[](GamePipe& p) { return SendValuePair(p, 0xDEADBEEF, 7); },
         Le({5, 0xDEADBEEF, 7}),
         [&](GamePipe& p) {
             return ReadValuePair(p, a, b) ? Fields{a, b} : Fields{-1};
         },
         {0xDEADBEEF, 7}},
        {[](GamePipe& p) { return SendInit(p, 300, true); },
         Bytes{0x06, 0, 0, 0, 0x2C, 0x01, 0, 0, 0x01, 0, 0, 0},
         [&](GamePipe& p) {
             return ReadInit(p, a, f = false) ? Fields{a, f} : Fields{-1};
         },
         {300, true}},
        {[](GamePipe& p) { return SendInitAllThreads(p, false); },
         Le({7, 0}),
         [&](GamePipe& p) { return ReadInitAllThreads(p, f = true) ? Fields{f} : Fields{-1}; },
         {false}},
        {SendInitAllThreadsAllHooks,
         Le({8}),
         [](GamePipe& p) { return Fields{ReadInitAllThreadsAllHooks(p)}; },
         {true}},
        {SendTakeScreenshot,
         Bytes{0x09, 0, 0, 0},
         [](GamePipe& p) { return Fields{ReadTakeScreenshot(p)}; },
         {true}},
        {SendNotice, Le({10}), [](GamePipe& p) { return Fields{ReadNotice(p)}; }, {true}},
    };
    for (bool fromClient : {true, false}) {
        GamePipe& from = fromClient ? pair.client : pair.server;
        GamePipe& to = fromClient ? pair.server : pair.client;
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << "tag " << int(c.bytes[0]) << " from " << fromClient);
            ASSERT_TRUE(c.send(from));
            BYTE peeked[512];
            DWORD count = 0, type = 0;
            ASSERT_TRUE(PeekPipe(to, peeked, sizeof peeked, count));
            EXPECT_EQ(Bytes(peeked, peeked + count), c.bytes);
            ASSERT_TRUE(PeekMessageType(to, type));
            EXPECT_EQ(type, c.bytes[0]);
            std::memset(got, 0, sizeof got);
            EXPECT_EQ(c.read(to), c.fields);
        }
        EXPECT_FALSE(PipeHasData(to));
    }
}

TEST(MessageReaders, PassingAMessageOfTheWrongSizeResultsInFalseAndOutParametersUnchanged) {
    PipePair pair = ConnectedPair(3);
    Raw(pair.client, Le({6})); // short: consumed whole
    DWORD thread = 77;
    bool raw = true;
    EXPECT_FALSE(ReadInit(pair.server, thread, raw));
    EXPECT_EQ(thread, 77u);
    EXPECT_TRUE(raw);
    EXPECT_FALSE(PipeHasData(pair.server));

    Raw(pair.client, Le({3, 1, 2}));
    DWORD message = 5, time = 6;
    int32_t x = 7, y = 8, wheel = 9;
    BYTE keys[256] = {0xAB};
    EXPECT_FALSE(ReadMouseInput(pair.server, message, x, y, wheel, time, keys));
    EXPECT_EQ(message + time + x + y + wheel, 35u);
    EXPECT_EQ(keys[0], 0xAB);

    Raw(pair.client, Le({1, 1, 0xAABBCCDD})); // longer: the rest stays for the next read
    bool active = false;
    EXPECT_FALSE(ReadRenderActive(pair.server, active));
    EXPECT_FALSE(active);
    BYTE rest[4];
    ASSERT_TRUE(ReadRaw(pair.server, rest, 4));
    EXPECT_EQ(Bytes(rest, rest + 4), Le({0xAABBCCDD}));
}

TEST(MessageReaders, PassingAnyNonZeroBooleanSuchAs7ResultsInTrue) {
    PipePair pair = ConnectedPair(5);
    Raw(pair.client, Le({1, 7}));
    Raw(pair.client, Le({2, 0x100}));
    Raw(pair.client, Le({6, 12, 7}));
    Raw(pair.client, Le({7, 0x80000000}));
    bool flags[4] = {};
    DWORD thread = 0;
    ASSERT_TRUE(ReadRenderActive(pair.server, flags[0]));
    ASSERT_TRUE(ReadInputActive(pair.server, flags[1]));
    ASSERT_TRUE(ReadInit(pair.server, thread, flags[2]));
    ASSERT_TRUE(ReadInitAllThreads(pair.server, flags[3]));
    EXPECT_TRUE(flags[0] && flags[1] && flags[2] && flags[3]);
}

TEST(MessageReaders, WheelDeltaIsTheSignedUpperHalfOfMouseDataWhateverTheLowerHalfHolds) {
    PipePair pair = ConnectedPair(6);
    BYTE keys[256] = {};
    const std::pair<DWORD, int32_t> cases[] = {
        {0x0078FFFF, 120}, {0xFF881234, -120}, {0x8000ABCD, -32768}, {0x0000FFFF, 0}};
    for (auto [mouseData, delta] : cases) {
        ASSERT_TRUE(SendMouseInput(pair.client, WM_MOUSEWHEEL, 0, 0, mouseData, 0, keys));
        DWORD message, time;
        int32_t x, y, peeked = 1, read = 1;
        ASSERT_TRUE(PeekMouseInput(pair.server, message, x, y, peeked, time));
        ASSERT_TRUE(ReadMouseInput(pair.server, message, x, y, read, time, keys));
        EXPECT_EQ(peeked, delta) << std::hex << mouseData;
        EXPECT_EQ(read, delta) << std::hex << mouseData;
    }
}

TEST(MessagePeek, TypePeekNeedsFourBytesDeliversOnlyTheFirstAndLeavesTheRecord) {
    PipePair pair = ConnectedPair(7);
    GamePipe invalid;
    DWORD type = 0;
    EXPECT_FALSE(PeekMessageType(invalid, type));
    EXPECT_EQ(type, 255u);
    for (DWORD size = 0; size <= 3; ++size) { // empty, then 1 to 3 bytes
        if (size > 0)
            Raw(pair.client, Bytes(size, 0x01));
        type = 0;
        EXPECT_FALSE(PeekMessageType(pair.server, type));
        EXPECT_EQ(type, 255u);
        if (size > 0)
            NextMessage(pair.server);
    }
    Raw(pair.client, Bytes{0x03, 0x01, 0x00, 0x00});
    ASSERT_TRUE(PeekMessageType(pair.server, type));
    ASSERT_TRUE(PeekMessageType(pair.server, type));
    EXPECT_EQ(type, 3u);
    EXPECT_EQ(NextMessage(pair.server), (Bytes{0x03, 0x01, 0x00, 0x00}));
}

TEST(MessagePeek, LargeHeaderPeekNeeds176BytesAndDeliversTheThreeValuesAfterTheTag) {
    PipePair pair = ConnectedPair(8);
    Bytes header = Le({42, 1, 2, 3});
    header.resize(100, 0xEE);
    Raw(pair.client, header);
    DWORD a = 9, b = 9, c = 9;
    EXPECT_FALSE(PeekLargeHeader(pair.server, a, b, c));
    EXPECT_EQ(a + b + c, 27u);
    NextMessage(pair.server);
    header.resize(300, 0xEE); // longer than the header: its first bytes still peek
    Raw(pair.client, header);
    ASSERT_TRUE(PeekLargeHeader(pair.server, a, b, c));
    EXPECT_EQ(Fields({a, b, c}), Fields({1, 2, 3}));
    EXPECT_EQ(NextMessage(pair.server).size(), 300u);
}

TEST(MessageLog, SixWritersLogTheirLineBeforeSendingEvenWhenThePipeIsNotOpen) {
    TempDir dir;
    OpenTestLog();
    GamePipe closed;
    BYTE keys[256] = {};
    EXPECT_FALSE(SendRenderActive(closed, true));
    EXPECT_FALSE(SendInputActive(closed, false));
    EXPECT_FALSE(SendInit(closed, 4294967295u, true));
    EXPECT_FALSE(SendInitAllThreads(closed, true));
    EXPECT_FALSE(SendInitAllThreadsAllHooks(closed));
    EXPECT_FALSE(SendTakeScreenshot(closed));
    EXPECT_FALSE(SendMouseInput(closed, 0, 0, 0, 0, 0, keys));
    EXPECT_FALSE(SendKeyboardInput(closed, 0, 0, keys));
    EXPECT_FALSE(SendValuePair(closed, 0, 0));
    EXPECT_FALSE(SendNotice(closed));
    EXPECT_EQ(LoggedMessages(),
              (std::vector<std::string>{
                  "Send RenderActive msg to the proxy: active = 1",
                  "Send InputActive msg to the proxy: active = 0",
                  "Send Init msg to the proxy: gameThreadId=4294967295, useRawInputHooks=1",
                  "Send InitAllThreads msg proxy",
                  "Send InitAllThreadsAllHooks msg proxy",
                  "Send TakeScreenshot msg to proxy",
              }));
}
