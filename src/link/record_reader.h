// The one-call reader of the game pipe, for the overlay's side: the next record, whatever its
// type, taken with one read into a buffer of the largest record's size and decoded by its tag
// into a Record. A message whose size does not match its tag, or whose tag the catalogue does
// not define, comes back as such with its bytes; the call after it reads the next message.
#pragma once

#include "link/messages.h"

#include <cstdint>

namespace korvex {

constexpr DWORD kLargestRecordSize = kMouseInputSize;

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
    int32_t wheelDelta; // the signed upper half of mouseData, as ReadMouseInput delivers it
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

// One message as ReadNextRecord found it. InitAllThreadsAllHooks, TakeScreenshot and Notice
// have no member: their type is all they carry.
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

// Takes the next message off the pipe with one ReadFile (which waits while the pipe is empty)
// and decodes it into `record`. A message longer than kLargestRecordSize keeps its first bytes
// in `bytes` and its whole length in `size`; its rest is taken off with further reads so that
// the next call starts at the next message. False only when the read failed (the pipe broke or
// closed; GetLastError tells); `record` then holds nothing of use.
bool ReadNextRecord(GamePipe& pipe, Record& record);

} // namespace korvex
