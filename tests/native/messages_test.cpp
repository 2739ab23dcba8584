// The message catalogue over simulated pipes: each record's exact bytes, round trips in both
// directions, readers on short and long messages, boolean and wheel-delta decoding, the type
// peek, and the writers' log lines.
#include "link/messages.h"
#include "support/pipe_pair.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;

// The next whole message on `pipe`, as raw bytes.
Bytes NextMessage(GamePipe& pipe) {
    BYTE buffer[512];
    DWORD count = 0;
    if (!ReadPipe(pipe, buffer, sizeof buffer, count))
        return {};
    return Bytes(buffer, buffer + count);
}

Bytes Le(std::initializer_list<uint32_t> words) {
    Bytes out;
    for (uint32_t w : words)
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<BYTE>(w >> (8 * i)));
    return out;
}

std::array<BYTE, 300> KeyStates() {
    std::array<BYTE, 300> keys{};
    for (size_t i = 0; i < keys.size(); ++i)
        keys[i] = static_cast<BYTE>(i * 7 + 1);
    return keys;
}

void Raw(GamePipe& pipe, const Bytes& bytes) {
    ASSERT_TRUE(SendRaw(pipe, bytes.data(), static_cast<DWORD>(bytes.size())));
}

} // namespace

TEST(MessageBytes, EveryWriterSendsItsRecordLittleEndianWithBooleansAsZeroOrOne) {
    PipePair pair = ConnectedPair(1);
    auto keys = KeyStates();
    Bytes mouse = Le({3, 0x020A, static_cast<uint32_t>(-5), 600, 0xFF880012, 123456});
    mouse.insert(mouse.end(), keys.begin(), keys.begin() + 256);
    Bytes keyboard = Le({4, 0x41, 0xC01E0001});
    keyboard.insert(keyboard.end(), keys.begin(), keys.begin() + 256);

    struct Case {
        const char* name;
        std::function<bool(GamePipe&)> send;
        Bytes expected;
    };
    const std::vector<Case> cases = {
        {"RenderActive", [](GamePipe& p) { return SendRenderActive(p, false); }, Le({1, 0})},
        {"InputActive", [](GamePipe& p) { return SendInputActive(p, true); },
         Bytes{0x02, 0, 0, 0, 0x01, 0, 0, 0}},
        {"MouseInput",
         [&](GamePipe& p) {
             return SendMouseInput(p, 0x020A, -5, 600, 0xFF880012, 123456, keys.data());
         },
         mouse},
        {"KeyboardInput",
         [&](GamePipe& p) { return SendKeyboardInput(p, 0x41, 0xC01E0001, keys.data()); },
         keyboard},
        {"ValuePair", [](GamePipe& p) { return SendValuePair(p, 0xDEADBEEF, 7); },
         Le({5, 0xDEADBEEF, 7})},
        {"Init", [](GamePipe& p) { return SendInit(p, 300, true); },
         Bytes{0x06, 0, 0, 0, 0x2C, 0x01, 0, 0, 0x01, 0, 0, 0}},
        {"InitAllThreads", [](GamePipe& p) { return SendInitAllThreads(p, true); }, Le({7, 1})},
        {"InitAllThreadsAllHooks", [](GamePipe& p) { return SendInitAllThreadsAllHooks(p); },
         Le({8})},
        {"TakeScreenshot", [](GamePipe& p) { return SendTakeScreenshot(p); }, Bytes{0x09, 0, 0, 0}},
        {"Notice", [](GamePipe& p) { return SendNotice(p); }, Le({10})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(c.send(pair.client));
        EXPECT_EQ(NextMessage(pair.server), c.expected);
        EXPECT_TRUE(c.send(pair.server));
        EXPECT_EQ(NextMessage(pair.client), c.expected);
    }
    EXPECT_EQ(mouse.size(), 280u);
    EXPECT_EQ(keyboard.size(), 268u);
}

TEST(MessageRoundTrip, EachReaderDeliversWhatItsWriterSentAfterPeekingTheType) {
    PipePair pair = ConnectedPair(2);
    auto keys = KeyStates();
    for (GamePipe* ends : {&pair.client, &pair.server}) {
        GamePipe& from = *ends;
        GamePipe& to = ends == &pair.client ? pair.server : pair.client;
        DWORD type = 0;
        bool flag = false;

        ASSERT_TRUE(SendRenderActive(from, true));
        ASSERT_TRUE(PeekMessageType(to, type));
        EXPECT_EQ(type, 1u);
        ASSERT_TRUE(ReadRenderActive(to, flag));
        EXPECT_TRUE(flag);

        ASSERT_TRUE(SendInputActive(from, false));
        flag = true;
        ASSERT_TRUE(ReadInputActive(to, flag));
        EXPECT_FALSE(flag);

        ASSERT_TRUE(SendMouseInput(from, 0x0200, -17, 2048, 0x12345678, 99, keys.data()));
        ASSERT_TRUE(PeekMessageType(to, type));
        EXPECT_EQ(type, 3u);
        DWORD message = 0, time = 0;
        int32_t x = 0, y = 0, wheel = 0;
        ASSERT_TRUE(PeekMouseInput(to, message, x, y, wheel, time));
        EXPECT_EQ(wheel, 0x1234);
        BYTE received[256] = {};
        ASSERT_TRUE(ReadMouseInput(to, message, x, y, wheel, time, received));
        EXPECT_EQ(message, 0x0200u);
        EXPECT_EQ(x, -17);
        EXPECT_EQ(y, 2048);
        EXPECT_EQ(wheel, 0x1234);
        EXPECT_EQ(time, 99u);
        EXPECT_EQ(std::memcmp(received, keys.data(), 256), 0);

        ASSERT_TRUE(SendKeyboardInput(from, 0x1B, 0x00010001, keys.data() + 10));
        DWORD key = 0, keyFlags = 0;
        ASSERT_TRUE(ReadKeyboardInput(to, key, keyFlags, received));
        EXPECT_EQ(key, 0x1Bu);
        EXPECT_EQ(keyFlags, 0x00010001u);
        EXPECT_EQ(std::memcmp(received, keys.data() + 10, 256), 0);

        ASSERT_TRUE(SendValuePair(from, 4000000000u, 1));
        DWORD first = 0, second = 0;
        ASSERT_TRUE(ReadValuePair(to, first, second));
        EXPECT_EQ(first, 4000000000u);
        EXPECT_EQ(second, 1u);

        ASSERT_TRUE(SendInit(from, 300, true));
        DWORD thread = 0;
        ASSERT_TRUE(ReadInit(to, thread, flag));
        EXPECT_EQ(thread, 300u);
        EXPECT_TRUE(flag);

        ASSERT_TRUE(SendInitAllThreads(from, false));
        flag = true;
        ASSERT_TRUE(ReadInitAllThreads(to, flag));
        EXPECT_FALSE(flag);

        ASSERT_TRUE(SendInitAllThreadsAllHooks(from));
        EXPECT_TRUE(ReadInitAllThreadsAllHooks(to));
        ASSERT_TRUE(SendTakeScreenshot(from));
        EXPECT_TRUE(ReadTakeScreenshot(to));
        ASSERT_TRUE(SendNotice(from));
        EXPECT_TRUE(ReadNotice(to));
        EXPECT_FALSE(PipeHasData(to));
    }
}

TEST(MessageReaders, ShortMessageFailsAndLeavesOutParametersUnchanged) {
    PipePair pair = ConnectedPair(3);
    Raw(pair.client, Le({6}));
    DWORD thread = 77;
    bool raw = true;
    EXPECT_FALSE(ReadInit(pair.server, thread, raw));
    EXPECT_EQ(thread, 77u);
    EXPECT_TRUE(raw);
    EXPECT_FALSE(PipeHasData(pair.server)); // the short message was consumed

    Raw(pair.client, Le({3, 1, 2}));
    DWORD message = 5, time = 6;
    int32_t x = 7, y = 8, wheel = 9;
    BYTE keys[256] = {0xAB};
    EXPECT_FALSE(ReadMouseInput(pair.server, message, x, y, wheel, time, keys));
    EXPECT_EQ(message + time + x + y + wheel, 35u);
    EXPECT_EQ(keys[0], 0xAB);
}

TEST(MessageReaders, LongerMessageFailsAndItsRestStaysForTheNextRead) {
    PipePair pair = ConnectedPair(4);
    Raw(pair.client, Le({1, 1, 0xAABBCCDD}));
    bool active = false;
    EXPECT_FALSE(ReadRenderActive(pair.server, active));
    EXPECT_FALSE(active);
    BYTE rest[4];
    ASSERT_TRUE(ReadRaw(pair.server, rest, 4));
    EXPECT_EQ(Bytes(rest, rest + 4), Le({0xAABBCCDD}));
}

TEST(MessageReaders, AnyNonZeroBooleanReadsAsTrue) {
    PipePair pair = ConnectedPair(5);
    Raw(pair.client, Le({1, 7}));
    Raw(pair.client, Le({6, 12, 0x100}));
    Raw(pair.client, Le({7, 0x80000000}));
    bool active = false, raw = false, flag = false;
    DWORD thread = 0;
    ASSERT_TRUE(ReadRenderActive(pair.server, active));
    ASSERT_TRUE(ReadInit(pair.server, thread, raw));
    ASSERT_TRUE(ReadInitAllThreads(pair.server, flag));
    EXPECT_TRUE(active);
    EXPECT_TRUE(raw);
    EXPECT_TRUE(flag);
}

TEST(MessageReaders, WheelDeltaIsTheSignedUpperHalfOfMouseDataWhateverTheLowerHalfHolds) {
    PipePair pair = ConnectedPair(6);
    BYTE keys[256] = {};
    const struct {
        DWORD mouseData;
        int32_t delta;
    } cases[] = {{0x0078FFFF, 120}, {0xFF881234, -120}, {0x8000ABCD, -32768}, {0x0000FFFF, 0}};
    for (const auto& c : cases) {
        ASSERT_TRUE(SendMouseInput(pair.client, WM_MOUSEWHEEL, 0, 0, c.mouseData, 0, keys));
        DWORD message, time;
        int32_t x, y, peeked = 1, read = 1;
        ASSERT_TRUE(PeekMouseInput(pair.server, message, x, y, peeked, time));
        ASSERT_TRUE(ReadMouseInput(pair.server, message, x, y, read, time, keys));
        EXPECT_EQ(peeked, c.delta) << std::hex << c.mouseData;
        EXPECT_EQ(read, c.delta) << std::hex << c.mouseData;
    }
}

TEST(MessagePeek, TypePeekNeedsFourBytesDeliversOnlyTheFirstAndLeavesTheRecord) {
    PipePair pair = ConnectedPair(7);
    DWORD type = 0;
    EXPECT_FALSE(PeekMessageType(pair.server, type));
    EXPECT_EQ(type, 255u);
    for (DWORD size = 1; size <= 3; ++size) {
        Raw(pair.client, Bytes(size, 0x01));
        type = 0;
        EXPECT_FALSE(PeekMessageType(pair.server, type));
        EXPECT_EQ(type, 255u);
        BYTE sink[4];
        ReadRaw(pair.server, sink, size);
    }
    Raw(pair.client, Bytes{0x03, 0x01, 0x00, 0x00});
    ASSERT_TRUE(PeekMessageType(pair.server, type));
    EXPECT_EQ(type, 3u);
    ASSERT_TRUE(PeekMessageType(pair.server, type));
    EXPECT_EQ(type, 3u);
    EXPECT_EQ(NextMessage(pair.server), (Bytes{0x03, 0x01, 0x00, 0x00}));

    GamePipe invalid;
    type = 0;
    EXPECT_FALSE(PeekMessageType(invalid, type));
    EXPECT_EQ(type, 255u);
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
    EXPECT_EQ(a, 1u);
    EXPECT_EQ(b, 2u);
    EXPECT_EQ(c, 3u);
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
