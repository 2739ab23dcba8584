// The game pipe's endpoints: the GamePipe holder, the overlay's server end (with its security
// descriptor and 30-second wait for the client), the client end, closing, and the raw read,
// write and peek calls the message catalogue is built on.
#pragma once

#include "link/record_codec.h"

#include <windows.h>

namespace korvex {

// Holder of one pipe handle. INVALID_HANDLE_VALUE means no pipe; every other value, null
// included, counts as open.
struct GamePipe {
    HANDLE handle = INVALID_HANDLE_VALUE;
};

// Security objects for the server end; the caller frees each non-null one.
struct PipeSecurity {
    PSID sid;
    PACL acl;
    SECURITY_ATTRIBUTES attributes;
};

constexpr DWORD kPipeNameSize = 256;
constexpr DWORD kPipeBufferSize = kLargeHeaderSize + 3 * 1048576; // 3,145,904
constexpr DWORD kPipeConnectTimeoutMs = 30000;
constexpr DWORD kMaxRecordsPerPoll = 16;
constexpr DWORD kHighestMessageType = 10;

void MakePipeName(char (&name)[kPipeNameSize], DWORD number);
bool CreatePipeSecurity(PipeSecurity& out);
bool CreatePipeServer(GamePipe& pipe, DWORD number);
// The same server end with the wait chosen by the caller: up to `timeoutMs` (INFINITE for no
// limit), ended early when the event `cancel` (optional) is signalled. On false GetLastError
// says why: ERROR_TIMEOUT, ERROR_CANCELLED, or the error of the call that failed.
bool CreatePipeServer(GamePipe& pipe, DWORD number, DWORD timeoutMs, HANDLE cancel);
void ConnectPipeClient(GamePipe& pipe, DWORD number);
void ClosePipe(GamePipe& pipe);
void DisconnectPipe(GamePipe& pipe);
bool IsPipeOpen(const GamePipe& pipe);
bool PeekPipe(GamePipe& pipe, void* buffer, DWORD size, DWORD& peeked);
bool GetPipeBytesAvailable(GamePipe& pipe, DWORD& total);
bool PipeHasData(GamePipe& pipe);
bool PipeHasDataOrReconnect(GamePipe& pipe, DWORD number, bool& flagA, bool& flagB);
bool ReadPipe(GamePipe& pipe, void* buffer, DWORD size, DWORD& read);
bool WritePipe(GamePipe& pipe, const void* bytes, DWORD size, DWORD& written);

// Published sizes for the overlay's other modules; nothing in this library uses the last two.
DWORD GetPipeBufferSize();
DWORD GetLargeHeaderSize();
// The most records a receiver takes off the pipe in one polling round before it yields.
DWORD GetMaxRecordsPerPoll();
// The highest type tag the catalogue defines (Notice); larger tags are unknown records.
DWORD GetHighestMessageType();

} // namespace korvex
