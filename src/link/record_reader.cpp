// ReadNextRecord: one ReadPipe of the largest record's size, the tag checked against the
// catalogue's sizes, then the fields unpacked (little-endian) into the member the tag names.
#include "link/record_reader.h"

#include <cstring>

namespace korvex {

namespace {

uint32_t Get32(const BYTE* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

// The record size of a catalogue tag; 0 for any other tag.
DWORD RecordSize(uint32_t tag) {
    switch (static_cast<MessageType>(tag)) {
    case MessageType::RenderActive:
        return kRenderActiveSize;
    case MessageType::InputActive:
        return kInputActiveSize;
    case MessageType::MouseInput:
        return kMouseInputSize;
    case MessageType::KeyboardInput:
        return kKeyboardInputSize;
    case MessageType::ValuePair:
        return kValuePairSize;
    case MessageType::Init:
        return kInitSize;
    case MessageType::InitAllThreads:
        return kInitAllThreadsSize;
    case MessageType::InitAllThreadsAllHooks:
    case MessageType::TakeScreenshot:
    case MessageType::Notice:
        return kTagOnlySize;
    default:
        return 0;
    }
}

// Takes the rest of a message that did not fit off the pipe; returns how many bytes it had.
DWORD SkipRest(GamePipe& pipe) {
    BYTE chunk[4096];
    DWORD total = 0;
    for (;;) {
        DWORD read = 0;
        bool done = ReadPipe(pipe, chunk, sizeof chunk, read);
        total += read;
        if (done || GetLastError() != ERROR_MORE_DATA)
            return total;
    }
}

void Decode(Record& record) {
    const BYTE* b = record.bytes;
    switch (record.type) {
    case MessageType::RenderActive:
        record.renderActive.active = Get32(b + 4) != 0;
        break;
    case MessageType::InputActive:
        record.inputActive.active = Get32(b + 4) != 0;
        break;
    case MessageType::MouseInput: {
        MouseInputRecord& m = record.mouseInput;
        m.message = Get32(b + 4);
        m.x = static_cast<int32_t>(Get32(b + 8));
        m.y = static_cast<int32_t>(Get32(b + 12));
        m.wheelDelta = static_cast<int16_t>(static_cast<uint16_t>(b[18] | b[19] << 8));
        m.time = Get32(b + 20);
        std::memcpy(m.keyState, b + 24, kKeyStateSize);
        break;
    }
    case MessageType::KeyboardInput:
        record.keyboardInput.virtualKey = Get32(b + 4);
        record.keyboardInput.keyFlags = Get32(b + 8);
        std::memcpy(record.keyboardInput.keyState, b + 12, kKeyStateSize);
        break;
    case MessageType::ValuePair:
        record.valuePair.first = Get32(b + 4);
        record.valuePair.second = Get32(b + 8);
        break;
    case MessageType::Init:
        record.init.gameThreadId = Get32(b + 4);
        record.init.useRawInputHooks = Get32(b + 8) != 0;
        break;
    case MessageType::InitAllThreads:
        record.initAllThreads.flag = Get32(b + 4) != 0;
        break;
    default: // the tag-only records
        break;
    }
}

} // namespace

bool ReadNextRecord(GamePipe& pipe, Record& record) {
    DWORD read = 0;
    bool whole = ReadPipe(pipe, record.bytes, sizeof record.bytes, read);
    if (!whole && GetLastError() != ERROR_MORE_DATA)
        return false;
    record.count = read;
    record.size = whole ? read : read + SkipRest(pipe);
    record.tag = read >= 4 ? Get32(record.bytes) : 0;
    DWORD expected = RecordSize(record.tag);
    record.type = expected ? static_cast<MessageType>(record.tag) : MessageType::NoMessage;
    if (expected == 0)
        record.status = RecordStatus::UnknownTag;
    else if (record.size != expected)
        record.status = RecordStatus::WrongSize;
    else
        record.status = RecordStatus::Decoded;
    if (record.status == RecordStatus::Decoded)
        Decode(record);
    return true;
}

} // namespace korvex
