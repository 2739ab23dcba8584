// The message catalogue of the game pipe: fixed-size little-endian records (record_codec.h),
// one pipe message each, with a writer, a reader and (for some) a peek per type. Booleans go out
// as 0 or 1 and are read as non-zero.
#pragma once

#include "link/pipe.h"
#include "link/record_codec.h"

#include <cstdint>

namespace korvex {

// Writers: true when one write moved the whole record.
bool SendRenderActive(GamePipe& pipe, bool active);
bool SendInputActive(GamePipe& pipe, bool active);
bool SendMouseInput(GamePipe& pipe, DWORD message, int32_t x, int32_t y, DWORD mouseData,
                    DWORD time, const BYTE* keyState);
bool SendKeyboardInput(GamePipe& pipe, DWORD virtualKey, DWORD keyFlags, const BYTE* keyState);
bool SendValuePair(GamePipe& pipe, DWORD first, DWORD second);
bool SendInit(GamePipe& pipe, DWORD gameThreadId, bool useRawInputHooks);
bool SendInitAllThreads(GamePipe& pipe, bool flag);
bool SendInitAllThreadsAllHooks(GamePipe& pipe);
bool SendTakeScreenshot(GamePipe& pipe);
bool SendNotice(GamePipe& pipe);
bool SendRaw(GamePipe& pipe, const void* bytes, DWORD count);

// Readers: take exactly one record; out-parameters are written only on success.
bool ReadRenderActive(GamePipe& pipe, bool& active);
bool ReadInputActive(GamePipe& pipe, bool& active);
bool ReadMouseInput(GamePipe& pipe, DWORD& message, int32_t& x, int32_t& y, int32_t& wheelDelta,
                    DWORD& time, BYTE* keyState);
bool ReadKeyboardInput(GamePipe& pipe, DWORD& virtualKey, DWORD& keyFlags, BYTE* keyState);
bool ReadValuePair(GamePipe& pipe, DWORD& first, DWORD& second);
bool ReadInit(GamePipe& pipe, DWORD& gameThreadId, bool& useRawInputHooks);
bool ReadInitAllThreads(GamePipe& pipe, bool& flag);
bool ReadInitAllThreadsAllHooks(GamePipe& pipe);
bool ReadTakeScreenshot(GamePipe& pipe);
bool ReadNotice(GamePipe& pipe);
bool ReadRaw(GamePipe& pipe, void* bytes, DWORD count);

// Peeks: the record stays in the pipe. PeekMessageType always writes `type` (255 on failure).
bool PeekMessageType(GamePipe& pipe, DWORD& type);
bool PeekMouseInput(GamePipe& pipe, DWORD& message, int32_t& x, int32_t& y, int32_t& wheelDelta,
                    DWORD& time);
bool PeekLargeHeader(GamePipe& pipe, DWORD& first, DWORD& second, DWORD& third);

} // namespace korvex
