// The message catalogue: one writer and one reader per record type, SendRaw/ReadRaw, and the
// peeks PeekMessageType, PeekMouseInput and PeekLargeHeader. Each record is built or unpacked in
// a fixed local buffer, little-endian, and moved with exactly one pipe call.
#include "link/messages.h"

#include "log/log_file.h"

#include <cstring>

namespace korvex {

namespace {

constexpr DWORD kTypeSize = 4;

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

// The upper half of mouseData (bytes 18 and 19 of MouseInput) is the signed wheel delta.
int32_t WheelDelta(const BYTE* record) {
    return static_cast<int16_t>(static_cast<uint16_t>(record[18] | record[19] << 8));
}

void PutType(BYTE* record, MessageType type) {
    Put32(record, static_cast<uint32_t>(type));
}

bool Send(GamePipe& pipe, const BYTE* record, DWORD size) {
    DWORD written = 0;
    return WritePipe(pipe, record, size, written) && written == size;
}

bool Receive(GamePipe& pipe, BYTE* record, DWORD size) {
    DWORD read = 0;
    return ReadPipe(pipe, record, size, read) && read == size;
}

bool Peek(GamePipe& pipe, BYTE* record, DWORD size) {
    DWORD peeked = 0;
    return PeekPipe(pipe, record, size, peeked) && peeked == size;
}

bool SendFlag(GamePipe& pipe, MessageType type, bool value) {
    BYTE record[8];
    PutType(record, type);
    Put32(record + 4, value ? 1 : 0);
    return Send(pipe, record, sizeof record);
}

bool SendTag(GamePipe& pipe, MessageType type) {
    BYTE record[kTagOnlySize];
    PutType(record, type);
    return Send(pipe, record, sizeof record);
}

bool ReadFlag(GamePipe& pipe, bool& value) {
    BYTE record[8];
    if (!Receive(pipe, record, sizeof record))
        return false;
    value = Get32(record + 4) != 0;
    return true;
}

bool ReadTag(GamePipe& pipe) {
    BYTE record[kTagOnlySize];
    return Receive(pipe, record, sizeof record);
}

void UnpackMouse(const BYTE* record, DWORD& message, int32_t& x, int32_t& y, int32_t& wheelDelta,
                 DWORD& time) {
    message = Get32(record + 4);
    x = static_cast<int32_t>(Get32(record + 8));
    y = static_cast<int32_t>(Get32(record + 12));
    wheelDelta = WheelDelta(record);
    time = Get32(record + 20);
}

} // namespace

bool SendRenderActive(GamePipe& pipe, bool active) {
    LogInfo("Send RenderActive msg to the proxy: active = %u", active ? 1u : 0u);
    return SendFlag(pipe, MessageType::RenderActive, active);
}

bool SendInputActive(GamePipe& pipe, bool active) {
    LogInfo("Send InputActive msg to the proxy: active = %u", active ? 1u : 0u);
    return SendFlag(pipe, MessageType::InputActive, active);
}

bool SendMouseInput(GamePipe& pipe, DWORD message, int32_t x, int32_t y, DWORD mouseData,
                    DWORD time, const BYTE* keyState) {
    BYTE record[kMouseInputSize];
    PutType(record, MessageType::MouseInput);
    Put32(record + 4, message);
    Put32(record + 8, static_cast<uint32_t>(x));
    Put32(record + 12, static_cast<uint32_t>(y));
    Put32(record + 16, mouseData);
    Put32(record + 20, time);
    std::memcpy(record + 24, keyState, kKeyStateSize);
    return Send(pipe, record, sizeof record);
}

bool SendKeyboardInput(GamePipe& pipe, DWORD virtualKey, DWORD keyFlags, const BYTE* keyState) {
    BYTE record[kKeyboardInputSize];
    PutType(record, MessageType::KeyboardInput);
    Put32(record + 4, virtualKey);
    Put32(record + 8, keyFlags);
    std::memcpy(record + 12, keyState, kKeyStateSize);
    return Send(pipe, record, sizeof record);
}

bool SendValuePair(GamePipe& pipe, DWORD first, DWORD second) {
    BYTE record[kValuePairSize];
    PutType(record, MessageType::ValuePair);
    Put32(record + 4, first);
    Put32(record + 8, second);
    return Send(pipe, record, sizeof record);
}

bool SendInit(GamePipe& pipe, DWORD gameThreadId, bool useRawInputHooks) {
    LogInfo("Send Init msg to the proxy: gameThreadId=%u, useRawInputHooks=%u",
            static_cast<unsigned>(gameThreadId), useRawInputHooks ? 1u : 0u);
    BYTE record[kInitSize];
    PutType(record, MessageType::Init);
    Put32(record + 4, gameThreadId);
    Put32(record + 8, useRawInputHooks ? 1 : 0);
    return Send(pipe, record, sizeof record);
}

bool SendInitAllThreads(GamePipe& pipe, bool flag) {
    LogInfo("Send InitAllThreads msg proxy");
    return SendFlag(pipe, MessageType::InitAllThreads, flag);
}

bool SendInitAllThreadsAllHooks(GamePipe& pipe) {
    LogInfo("Send InitAllThreadsAllHooks msg proxy");
    return SendTag(pipe, MessageType::InitAllThreadsAllHooks);
}

bool SendTakeScreenshot(GamePipe& pipe) {
    LogInfo("Send TakeScreenshot msg to proxy");
    return SendTag(pipe, MessageType::TakeScreenshot);
}

bool SendNotice(GamePipe& pipe) {
    return SendTag(pipe, MessageType::Notice);
}

bool SendRaw(GamePipe& pipe, const void* bytes, DWORD count) {
    DWORD written = 0;
    return WritePipe(pipe, bytes, count, written) && written == count;
}

bool ReadRenderActive(GamePipe& pipe, bool& active) {
    return ReadFlag(pipe, active);
}

bool ReadInputActive(GamePipe& pipe, bool& active) {
    return ReadFlag(pipe, active);
}

bool ReadMouseInput(GamePipe& pipe, DWORD& message, int32_t& x, int32_t& y, int32_t& wheelDelta,
                    DWORD& time, BYTE* keyState) {
    BYTE record[kMouseInputSize];
    if (!Receive(pipe, record, sizeof record))
        return false;
    UnpackMouse(record, message, x, y, wheelDelta, time);
    std::memcpy(keyState, record + 24, kKeyStateSize);
    return true;
}

bool ReadKeyboardInput(GamePipe& pipe, DWORD& virtualKey, DWORD& keyFlags, BYTE* keyState) {
    BYTE record[kKeyboardInputSize];
    if (!Receive(pipe, record, sizeof record))
        return false;
    virtualKey = Get32(record + 4);
    keyFlags = Get32(record + 8);
    std::memcpy(keyState, record + 12, kKeyStateSize);
    return true;
}

bool ReadValuePair(GamePipe& pipe, DWORD& first, DWORD& second) {
    BYTE record[kValuePairSize];
    if (!Receive(pipe, record, sizeof record))
        return false;
    first = Get32(record + 4);
    second = Get32(record + 8);
    return true;
}

bool ReadInit(GamePipe& pipe, DWORD& gameThreadId, bool& useRawInputHooks) {
    BYTE record[kInitSize];
    if (!Receive(pipe, record, sizeof record))
        return false;
    gameThreadId = Get32(record + 4);
    useRawInputHooks = Get32(record + 8) != 0;
    return true;
}

bool ReadInitAllThreads(GamePipe& pipe, bool& flag) {
    return ReadFlag(pipe, flag);
}

bool ReadInitAllThreadsAllHooks(GamePipe& pipe) {
    return ReadTag(pipe);
}

bool ReadTakeScreenshot(GamePipe& pipe) {
    return ReadTag(pipe);
}

bool ReadNotice(GamePipe& pipe) {
    return ReadTag(pipe);
}

bool ReadRaw(GamePipe& pipe, void* bytes, DWORD count) {
    DWORD read = 0;
    return ReadPipe(pipe, bytes, count, read) && read == count;
}

bool PeekMessageType(GamePipe& pipe, DWORD& type) {
    BYTE record[kTypeSize];
    if (!Peek(pipe, record, sizeof record)) {
        type = static_cast<DWORD>(MessageType::NoMessage);
        return false;
    }
    type = record[0]; // the low byte of the tag is the whole tag for every defined type
    return true;
}

bool PeekMouseInput(GamePipe& pipe, DWORD& message, int32_t& x, int32_t& y, int32_t& wheelDelta,
                    DWORD& time) {
    BYTE record[kMouseInputSize];
    if (!Peek(pipe, record, sizeof record))
        return false;
    UnpackMouse(record, message, x, y, wheelDelta, time);
    return true;
}

bool PeekLargeHeader(GamePipe& pipe, DWORD& first, DWORD& second, DWORD& third) {
    BYTE record[kLargeHeaderSize];
    if (!Peek(pipe, record, sizeof record))
        return false;
    first = Get32(record + 4);
    second = Get32(record + 8);
    third = Get32(record + 12);
    return true;
}

} // namespace korvex
