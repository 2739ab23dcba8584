// The records' bytes: RecordSize, EncodeRecord, DecodeRecord, DecodeMessageType,
// DecodeLargeHeader and ClassifyRecord. No platform call: this file also builds natively for the
// fuzzer.
#include "link/record_codec.h"

#include <cstring>

namespace korvex {

namespace {

void Put32(BYTE* at, uint32_t value) {
    at[0] = static_cast<BYTE>(value);
    at[1] = static_cast<BYTE>(value >> 8);
    at[2] = static_cast<BYTE>(value >> 16);
    at[3] = static_cast<BYTE>(value >> 24);
}

uint32_t Get32(const BYTE* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

} // namespace

DWORD RecordSize(DWORD tag) {
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

DWORD EncodeRecord(MessageType type, std::initializer_list<uint32_t> fields, const BYTE* keyState,
                   BYTE (&out)[kLargestRecordSize]) {
    Put32(out, static_cast<uint32_t>(type));
    DWORD length = 4;
    for (uint32_t word : fields) {
        Put32(out + length, word);
        length += 4;
    }
    if (keyState != nullptr) {
        std::memcpy(out + length, keyState, kKeyStateSize);
        length += kKeyStateSize;
    }
    return length;
}

bool DecodeRecord(MessageType type, const BYTE* b, DWORD count, Record& record) {
    DWORD size = RecordSize(static_cast<DWORD>(type));
    if (size == 0 || count != size)
        return false;
    switch (type) {
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
        // Bytes 18 and 19, the upper half of mouseData, are the signed wheel delta.
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
    return true;
}

bool DecodeMessageType(const BYTE* bytes, DWORD count, DWORD& type) {
    type = count == 4 ? bytes[0] : static_cast<DWORD>(MessageType::NoMessage);
    return count == 4;
}

bool DecodeLargeHeader(const BYTE* bytes, DWORD count, DWORD& first, DWORD& second, DWORD& third) {
    if (count != kLargeHeaderSize)
        return false;
    first = Get32(bytes + 4);
    second = Get32(bytes + 8);
    third = Get32(bytes + 12);
    return true;
}

void ClassifyRecord(Record& record) {
    record.tag = record.count >= 4 ? Get32(record.bytes) : 0;
    DWORD expected = RecordSize(record.tag);
    record.type = expected ? static_cast<MessageType>(record.tag) : MessageType::NoMessage;
    if (expected == 0)
        record.status = RecordStatus::UnknownTag;
    else if (record.size != expected)
        record.status = RecordStatus::WrongSize;
    else
        record.status = RecordStatus::Decoded;
    if (record.status == RecordStatus::Decoded)
        DecodeRecord(record.type, record.bytes, record.count, record);
}

} // namespace korvex
