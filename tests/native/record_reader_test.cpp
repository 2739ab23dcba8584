// The one-call reader over a simulated pipe: records a writer sends come back decoded by their
// tag (the fuzzer checks every record type against its bytes); messages with a wrong size, an
// unknown tag, no whole tag or more bytes than any record are reported with their bytes and size,
// and the record after them is still read.
#include "link/record_reader.h"
#include "support/pipe_pair.h"

#include <gtest/gtest.h>

#include "../common/record_bytes.h"

#include <algorithm>
#include <functional>

namespace {

using Fields = std::vector<int64_t>;

// A decoded record's fields in wire order; a key-state table shows its first and last byte.
Fields Decoded(const Record& r) {
    const MouseInputRecord& m = r.mouseInput;
    const KeyboardInputRecord& k = r.keyboardInput;
    if (r.type == MessageType::MouseInput)
        return {m.message, m.x, m.y, m.wheelDelta, m.time, m.keyState[0], m.keyState[255]};
    if (r.type == MessageType::KeyboardInput)
        return {k.virtualKey, k.keyFlags, k.keyState[0], k.keyState[255]};
    if (r.type == MessageType::Init)
        return {r.init.gameThreadId, r.init.useRawInputHooks};
    return {};
}

} // namespace

TEST(RecordReader, PassingRecordsAndFaultyMessagesResultsInEachDecodedOrReportedInOrder) {
    PipePair pair = ConnectedPair(12);
    ASSERT_TRUE(pair.created);
    BYTE keys[256];
    for (int i = 0; i < 256; ++i)
        keys[i] = static_cast<BYTE>(i * 7 + 1);
    Bytes tooLong = Le({3, 0x200, 1, 2, 0, 5}, keys);
    tooLong.resize(600, 0xEE);
    struct Case {
        std::function<bool(GamePipe&)> send; // null: send `bytes` as they are
        MessageType type;
        Fields fields = {}; // decoded
        Bytes bytes = {};   // reported: WrongSize, or UnknownTag when `type` is NoMessage
    };
    using T = MessageType;
    const Case cases[] = {
        {[&](GamePipe& p) { return SendMouseInput(p, 0x20A, -5, 600, 0xFF880012, 99, keys); },
         T::MouseInput,
         {0x20A, -5, 600, -120, 99, 1, 250}},
        {[&](GamePipe& p) { return SendKeyboardInput(p, 0x41, 0xC01E0001, keys); },
         T::KeyboardInput,
         {0x41, 0xC01E0001, 1, 250}},
        {[](GamePipe& p) { return SendInit(p, 300, true); }, T::Init, {300, 1}},
        {SendTakeScreenshot, T::TakeScreenshot},
        {nullptr, T::KeyboardInput, {}, Le({4, 0x41})},
        {nullptr, T::NoMessage, {}, {42, 0, 0, 0, 1, 2, 3}},
        {nullptr, T::NoMessage, {}, Le({0x109})}, // all four bytes of the tag count
        {nullptr, T::NoMessage, {}, {9, 0}},
        {nullptr, T::MouseInput, {}, tooLong},
        {SendTakeScreenshot, T::TakeScreenshot},
    };
    for (const Case& c : cases)
        ASSERT_TRUE(c.send ? c.send(pair.client)
                           : SendRaw(pair.client, c.bytes.data(), DWORD(c.bytes.size())));
    ClosePipe(pair.client); // what is queued stays readable; then the reads fail
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        Record r;
        ASSERT_TRUE(ReadNextRecord(pair.server, r));
        EXPECT_EQ(r.type, c.type);
        if (c.send) {
            EXPECT_EQ(r.status, RecordStatus::Decoded);
            EXPECT_EQ(Decoded(r), c.fields);
            continue;
        }
        EXPECT_EQ(r.status,
                  c.type == T::NoMessage ? RecordStatus::UnknownTag : RecordStatus::WrongSize);
        EXPECT_EQ(r.size, c.bytes.size());
        size_t held = std::min<size_t>(c.bytes.size(), kLargestRecordSize);
        EXPECT_EQ(Bytes(r.bytes, r.bytes + r.count),
                  Bytes(c.bytes.begin(), c.bytes.begin() + held));
    }
    Record r;
    EXPECT_FALSE(ReadNextRecord(pair.server, r));
}
