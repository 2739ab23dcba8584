// The message catalogue: one writer and one reader per record type, SendRaw/ReadRaw, and the
// peeks PeekMessageType, PeekMouseInput and PeekLargeHeader. Each record is built or unpacked by
// record_codec in a fixed local buffer and moved with exactly one pipe call.
#include "link/messages.h"

#include "log/log_file.h"

#include <cstring>

namespace korvex {

namespace {

bool Send(GamePipe& pipe, MessageType type, std::initializer_list<uint32_t> fields,
          const BYTE* keyState = nullptr) {
    BYTE record[kLargestRecordSize];
    DWORD size = EncodeRecord(type, fields, keyState, record);
    DWORD written = 0;
    return WritePipe(pipe, record, size, written) && written == size;
}

// Takes the next message off the pipe as a record of `type`; `record` keeps what it held unless
// one read brought exactly that record's size.
bool Receive(GamePipe& pipe, MessageType type, Record& record) {
    BYTE bytes[kLargestRecordSize];
    DWORD read = 0;
    return ReadPipe(pipe, bytes, RecordSize(static_cast<DWORD>(type)), read) &&
           DecodeRecord(type, bytes, read, record);
}

bool ReadTag(GamePipe& pipe, MessageType type) {
    Record record;
    return Receive(pipe, type, record);
}

bool ReadFlag(GamePipe& pipe, MessageType type, bool& value) {
    Record record;
    if (!Receive(pipe, type, record))
        return false;
    // RenderActive and InputActive are one struct type.
    value = type == MessageType::InitAllThreads ? record.initAllThreads.flag
                                                : record.renderActive.active;
    return true;
}

uint32_t Bit(bool value) {
    return value ? 1 : 0;
}

} // namespace

bool SendRenderActive(GamePipe& pipe, bool active) {
    LogInfo("Send RenderActive msg to the proxy: active = %u", Bit(active));
    return Send(pipe, MessageType::RenderActive, {Bit(active)});
}

bool SendInputActive(GamePipe& pipe, bool active) {
    LogInfo("Send InputActive msg to the proxy: active = %u", Bit(active));
    return Send(pipe, MessageType::InputActive, {Bit(active)});
}

bool SendMouseInput(GamePipe& pipe, DWORD message, int32_t x, int32_t y, DWORD mouseData,
                    DWORD time, const BYTE* keyState) {
    return Send(pipe, MessageType::MouseInput,
                {message, static_cast<uint32_t>(x), static_cast<uint32_t>(y), mouseData, time},
                keyState);
}

bool SendKeyboardInput(GamePipe& pipe, DWORD virtualKey, DWORD keyFlags, const BYTE* keyState) {
    return Send(pipe, MessageType::KeyboardInput, {virtualKey, keyFlags}, keyState);
}

bool SendValuePair(GamePipe& pipe, DWORD first, DWORD second) {
    return Send(pipe, MessageType::ValuePair, {first, second});
}

bool SendInit(GamePipe& pipe, DWORD gameThreadId, bool useRawInputHooks) {
    LogInfo("Send Init msg to the proxy: gameThreadId=%u, useRawInputHooks=%u",
            static_cast<unsigned>(gameThreadId), Bit(useRawInputHooks));
    return Send(pipe, MessageType::Init, {gameThreadId, Bit(useRawInputHooks)});
}

bool SendInitAllThreads(GamePipe& pipe, bool flag) {
    LogInfo("Send InitAllThreads msg proxy");
    return Send(pipe, MessageType::InitAllThreads, {Bit(flag)});
}

bool SendInitAllThreadsAllHooks(GamePipe& pipe) {
    LogInfo("Send InitAllThreadsAllHooks msg proxy");
    return Send(pipe, MessageType::InitAllThreadsAllHooks, {});
}

bool SendTakeScreenshot(GamePipe& pipe) {
    LogInfo("Send TakeScreenshot msg to proxy");
    return Send(pipe, MessageType::TakeScreenshot, {});
}

bool SendNotice(GamePipe& pipe) {
    return Send(pipe, MessageType::Notice, {});
}

bool SendRaw(GamePipe& pipe, const void* bytes, DWORD count) {
    DWORD written = 0;
    return WritePipe(pipe, bytes, count, written) && written == count;
}

bool ReadRenderActive(GamePipe& pipe, bool& active) {
    return ReadFlag(pipe, MessageType::RenderActive, active);
}

bool ReadInputActive(GamePipe& pipe, bool& active) {
    return ReadFlag(pipe, MessageType::InputActive, active);
}

bool ReadMouseInput(GamePipe& pipe, DWORD& message, int32_t& x, int32_t& y, int32_t& wheelDelta,
                    DWORD& time, BYTE* keyState) {
    Record record;
    if (!Receive(pipe, MessageType::MouseInput, record))
        return false;
    const MouseInputRecord& m = record.mouseInput;
    message = m.message, x = m.x, y = m.y, wheelDelta = m.wheelDelta, time = m.time;
    std::memcpy(keyState, m.keyState, kKeyStateSize);
    return true;
}

bool ReadKeyboardInput(GamePipe& pipe, DWORD& virtualKey, DWORD& keyFlags, BYTE* keyState) {
    Record record;
    if (!Receive(pipe, MessageType::KeyboardInput, record))
        return false;
    virtualKey = record.keyboardInput.virtualKey;
    keyFlags = record.keyboardInput.keyFlags;
    std::memcpy(keyState, record.keyboardInput.keyState, kKeyStateSize);
    return true;
}

bool ReadValuePair(GamePipe& pipe, DWORD& first, DWORD& second) {
    Record record;
    if (!Receive(pipe, MessageType::ValuePair, record))
        return false;
    first = record.valuePair.first;
    second = record.valuePair.second;
    return true;
}

bool ReadInit(GamePipe& pipe, DWORD& gameThreadId, bool& useRawInputHooks) {
    Record record;
    if (!Receive(pipe, MessageType::Init, record))
        return false;
    gameThreadId = record.init.gameThreadId;
    useRawInputHooks = record.init.useRawInputHooks;
    return true;
}

bool ReadInitAllThreads(GamePipe& pipe, bool& flag) {
    return ReadFlag(pipe, MessageType::InitAllThreads, flag);
}

bool ReadInitAllThreadsAllHooks(GamePipe& pipe) {
    return ReadTag(pipe, MessageType::InitAllThreadsAllHooks);
}

bool ReadTakeScreenshot(GamePipe& pipe) {
    return ReadTag(pipe, MessageType::TakeScreenshot);
}

bool ReadNotice(GamePipe& pipe) {
    return ReadTag(pipe, MessageType::Notice);
}

bool ReadRaw(GamePipe& pipe, void* bytes, DWORD count) {
    DWORD read = 0;
    return ReadPipe(pipe, bytes, count, read) && read == count;
}

bool PeekMessageType(GamePipe& pipe, DWORD& type) {
    BYTE bytes[4];
    DWORD peeked = 0;
    bool ok = PeekPipe(pipe, bytes, sizeof bytes, peeked);
    return DecodeMessageType(bytes, ok ? peeked : 0, type);
}

bool PeekMouseInput(GamePipe& pipe, DWORD& message, int32_t& x, int32_t& y, int32_t& wheelDelta,
                    DWORD& time) {
    BYTE bytes[kMouseInputSize];
    DWORD peeked = 0;
    Record record;
    if (!PeekPipe(pipe, bytes, sizeof bytes, peeked) ||
        !DecodeRecord(MessageType::MouseInput, bytes, peeked, record))
        return false;
    const MouseInputRecord& m = record.mouseInput;
    message = m.message, x = m.x, y = m.y, wheelDelta = m.wheelDelta, time = m.time;
    return true;
}

bool PeekLargeHeader(GamePipe& pipe, DWORD& first, DWORD& second, DWORD& third) {
    BYTE bytes[kLargeHeaderSize];
    DWORD peeked = 0;
    return PeekPipe(pipe, bytes, sizeof bytes, peeked) &&
           DecodeLargeHeader(bytes, peeked, first, second, third);
}

} // namespace korvex
