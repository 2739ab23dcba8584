// The game pipe's records as bytes, with no pipe in sight: the message types and record sizes,
// the decoded forms of the records, and the one place that builds and the one place that unpacks
// each record. Every record is its 32-bit type tag, its 32-bit fields in order (little-endian,
// booleans 0 or 1) and, for the two input records, the 256-byte key-state table at its end.
// The pipe-level writers, readers and peeks (messages.h) and ReadNextRecord (record_reader.h)
// move the bytes; this is all they know of their layout.
#pragma once

#include <windows.h>

#include <cstdint>
#include <initializer_list>

namespace korvex {

enum class MessageType : uint32_t {
    RenderActive = 1,
    InputActive = 2,
    MouseInput = 3,
    KeyboardInput = 4,
    ValuePair = 5,
    Init = 6,
    InitAllThreads = 7,
    InitAllThreadsAllHooks = 8,
    TakeScreenshot = 9,
    Notice = 10,
    NoMessage = 255,
};

constexpr DWORD kKeyStateSize = 256;
constexpr DWORD kRenderActiveSize = 8;
constexpr DWORD kInputActiveSize = 8;
constexpr DWORD kMouseInputSize = 280;
constexpr DWORD kKeyboardInputSize = 268;
constexpr DWORD kValuePairSize = 12;
constexpr DWORD kInitSize = 12;
constexpr DWORD kInitAllThreadsSize = 8;
constexpr DWORD kTagOnlySize = 4; // InitAllThreadsAllHooks, TakeScreenshot, Notice
constexpr DWORD kLargestRecordSize = kMouseInputSize;
// A header no record of the catalogue carries whole; only its first values are ever peeked.
constexpr DWORD kLargeHeaderSize = 176;

enum class RecordStatus : uint32_t {
    Decoded,    // a catalogue tag on a message of that record's size: `type` names the member
    WrongSize,  // a catalogue tag on a message of another size
    UnknownTag, // a tag the catalogue does not define (all four bytes count), or no whole tag
};

struct ActiveRecord { // RenderActive, InputActive
    bool active;
};
struct InitAllThreadsRecord {
    bool flag;
};
struct MouseInputRecord {
    DWORD message;
    int32_t x;
    int32_t y;
    int32_t wheelDelta; // the signed upper half of mouseData; its lower half is not delivered
    DWORD time;
    BYTE keyState[kKeyStateSize];
};
struct KeyboardInputRecord {
    DWORD virtualKey;
    DWORD keyFlags;
    BYTE keyState[kKeyStateSize];
};
struct ValuePairRecord {
    DWORD first;
    DWORD second;
};
struct InitRecord {
    DWORD gameThreadId;
    bool useRawInputHooks;
};

// One message as the one-call reader found it. InitAllThreadsAllHooks, TakeScreenshot and
// Notice have no member: their type is all they carry.
struct Record {
    RecordStatus status;
    MessageType type; // the tag when it is a catalogue tag, else NoMessage
    DWORD tag;        // the first four bytes, little-endian; 0 when the message is shorter
    DWORD size;       // the whole message's length in bytes
    DWORD count;      // how many of its bytes `bytes` holds: size, at most kLargestRecordSize
    BYTE bytes[kLargestRecordSize];
    union {
        ActiveRecord renderActive;
        ActiveRecord inputActive;
        MouseInputRecord mouseInput;
        KeyboardInputRecord keyboardInput;
        ValuePairRecord valuePair;
        InitRecord init;
        InitAllThreadsRecord initAllThreads;
    };
};

// The record size of a catalogue tag; 0 for any other value.
DWORD RecordSize(DWORD tag);

// Builds the record of `type` in `out`: the tag, `fields` as 32-bit words, then the 256 bytes
// of `keyState` when it is not null. Returns the record's length.
DWORD EncodeRecord(MessageType type, std::initializer_list<uint32_t> fields, const BYTE* keyState,
                   BYTE (&out)[kLargestRecordSize]);

// Unpacks `count` bytes as a record of `type` into the member of `record` that `type` names,
// without looking at their tag. False, and `record` untouched, unless `count` is that record's
// size. Tag-only records have nothing to unpack.
bool DecodeRecord(MessageType type, const BYTE* bytes, DWORD count, Record& record);

// The type a peek that got `count` bytes shows, always written: the first byte (the low byte of
// the tag, which for every catalogue type is the whole tag) when all four tag bytes came, and
// true; else NoMessage, and false.
bool DecodeMessageType(const BYTE* bytes, DWORD count, DWORD& type);

// The three values at offsets 4, 8 and 12 of a LargeHeader; false, the values untouched, unless
// `count` is its whole 176 bytes.
bool DecodeLargeHeader(const BYTE* bytes, DWORD count, DWORD& first, DWORD& second, DWORD& third);

// Classifies the message whose length is record.size and whose first record.count bytes are in
// record.bytes: sets tag, type and status, and decodes the member when the status is Decoded.
void ClassifyRecord(Record& record);

} // namespace korvex
