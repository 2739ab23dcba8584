// The game pipe's endpoints: MakePipeName, CreatePipeSecurity, CreatePipeServer,
// ConnectPipeClient, ClosePipe, DisconnectPipe, IsPipeOpen, the raw PeekPipe, ReadPipe and
// WritePipe, the probes GetPipeBytesAvailable, PipeHasData and PipeHasDataOrReconnect, and the
// published sizes.
#include "link/pipe.h"

#include "log/log_file.h"

#include <aclapi.h>

#include <cstdio>
#include <cstring>

namespace korvex {

namespace {

constexpr DWORD kOpenMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED;
constexpr DWORD kPipeMode = PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT;
constexpr DWORD kAllRights = STANDARD_RIGHTS_ALL | SPECIFIC_RIGHTS_ALL; // 0x1FFFFF

void ReleasePipeSecurity(PipeSecurity& security) {
    if (security.sid)
        FreeSid(security.sid);
    if (security.acl)
        LocalFree(security.acl);
    if (security.attributes.lpSecurityDescriptor)
        LocalFree(security.attributes.lpSecurityDescriptor);
}

// Waits up to `timeoutMs` for the client of a freshly created server end, or until `cancel`
// (when given) is signalled; `why` receives the reason it did not connect. The OVERLAPPED
// record and its event live on this frame, so a connect that is still pending when we give up
// is cancelled and waited for before they go away; otherwise it could complete into a dead
// frame.
bool AwaitClient(HANDLE server, DWORD timeoutMs, HANDLE cancel, DWORD& why) {
    OVERLAPPED overlapped;
    std::memset(&overlapped, 0, sizeof overlapped);
    overlapped.hEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    if (overlapped.hEvent == nullptr) {
        why = GetLastError();
        return false;
    }

    bool connected = false;
    bool pending = false;
    if (ConnectNamedPipe(server, &overlapped)) {
        connected = true;
    } else {
        why = GetLastError();
        if (why == ERROR_PIPE_CONNECTED) {
            connected = true; // the client came between creation and this call
        } else if (why == ERROR_IO_PENDING) {
            pending = true;
            HANDLE events[2] = {overlapped.hEvent, cancel};
            DWORD waited = cancel ? WaitForMultipleObjects(2, events, FALSE, timeoutMs)
                                  : WaitForSingleObject(overlapped.hEvent, timeoutMs);
            DWORD transferred = 0;
            if (waited == WAIT_OBJECT_0 &&
                GetOverlappedResult(server, &overlapped, &transferred, FALSE))
                connected = true;
            else if (waited == WAIT_TIMEOUT || waited == WAIT_OBJECT_0 + 1)
                why = waited == WAIT_TIMEOUT ? ERROR_TIMEOUT : ERROR_CANCELLED;
            else
                why = GetLastError();
        }
    }
    if (pending && !connected) {
        DWORD transferred = 0;
        CancelIo(server);
        GetOverlappedResult(server, &overlapped, &transferred, TRUE);
    }
    CloseHandle(overlapped.hEvent);
    return connected;
}

// Both forms of CreatePipeServer; `why` receives the reason when no client connected.
bool ServePipe(GamePipe& pipe, DWORD number, DWORD timeoutMs, HANDLE cancel, DWORD& why) {
    char name[kPipeNameSize];
    MakePipeName(name, number);
    LogInfo("Creating proxy pipe; name=%s", name);

    PipeSecurity security;
    std::memset(&security, 0, sizeof security);
    HANDLE handle;
    if (CreatePipeSecurity(security)) {
        handle = CreateNamedPipeA(name, kOpenMode, kPipeMode, PIPE_UNLIMITED_INSTANCES,
                                  kPipeBufferSize, kPipeBufferSize, 0, &security.attributes);
        // The pipe keeps its own copy of the descriptor.
        ReleasePipeSecurity(security);
    } else {
        LogInfo("Failed to create security attributes");
        handle = CreateNamedPipeA(name, kOpenMode, kPipeMode, PIPE_UNLIMITED_INSTANCES,
                                  kPipeBufferSize, kPipeBufferSize, 0, nullptr);
    }
    if (handle == INVALID_HANDLE_VALUE) {
        why = GetLastError();
        return false;
    }

    pipe.handle = handle;
    SetLastError(0);
    // Not connected, including when no event could be made for the wait: the new instance is
    // closed rather than left open in the holder, so that no unconnected end leaks.
    if (!AwaitClient(handle, timeoutMs, cancel, why)) {
        DisconnectPipe(pipe);
        return false;
    }
    return true;
}

} // namespace

void MakePipeName(char (&name)[kPipeNameSize], DWORD number) {
    std::sprintf(name, "\\\\.\\pipe\\Korvex-%u-Overlay-Game", static_cast<unsigned>(number));
}

bool CreatePipeSecurity(PipeSecurity& out) {
    SID_IDENTIFIER_AUTHORITY localAuthority = SECURITY_LOCAL_SID_AUTHORITY;
    PSID sid = nullptr;
    if (!AllocateAndInitializeSid(&localAuthority, 1, SECURITY_LOCAL_RID, 0, 0, 0, 0, 0, 0, 0,
                                  &sid))
        return false;

    EXPLICIT_ACCESS_A access;
    std::memset(&access, 0, sizeof access);
    access.grfAccessPermissions = kAllRights;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = NO_INHERITANCE;
    access.Trustee.pMultipleTrustee = nullptr;
    access.Trustee.MultipleTrusteeOperation = NO_MULTIPLE_TRUSTEE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    access.Trustee.ptstrName = static_cast<LPSTR>(sid);
    PACL acl = nullptr;
    if (SetEntriesInAclA(1, &access, nullptr, &acl) != ERROR_SUCCESS) {
        FreeSid(sid);
        return false;
    }

    PSECURITY_DESCRIPTOR descriptor = LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH);
    if (descriptor == nullptr ||
        !InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(descriptor, TRUE, acl, FALSE)) {
        if (descriptor)
            LocalFree(descriptor);
        LocalFree(acl);
        FreeSid(sid);
        return false;
    }

    out.sid = sid;
    out.acl = acl;
    out.attributes.nLength = sizeof(SECURITY_ATTRIBUTES); // 12 in a 32-bit process
    out.attributes.lpSecurityDescriptor = descriptor;
    out.attributes.bInheritHandle = FALSE;
    return true;
}

bool CreatePipeServer(GamePipe& pipe, DWORD number) {
    DWORD why = 0;
    return ServePipe(pipe, number, kPipeConnectTimeoutMs, nullptr, why);
}

bool CreatePipeServer(GamePipe& pipe, DWORD number, DWORD timeoutMs, HANDLE cancel) {
    DWORD why = 0;
    bool connected = ServePipe(pipe, number, timeoutMs, cancel, why);
    if (!connected)
        SetLastError(why);
    return connected;
}

void ConnectPipeClient(GamePipe& pipe, DWORD number) {
    char name[kPipeNameSize];
    MakePipeName(name, number);
    LogInfo("Connecting to proxy pipe; name=%s", name);
    HANDLE handle =
        CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        DWORD mode = PIPE_READMODE_MESSAGE;
        SetNamedPipeHandleState(handle, &mode, nullptr, nullptr);
    }
    pipe.handle = handle;
}

void ClosePipe(GamePipe& pipe) {
    if (pipe.handle == INVALID_HANDLE_VALUE)
        return;
    CloseHandle(pipe.handle);
    pipe.handle = INVALID_HANDLE_VALUE;
}

void DisconnectPipe(GamePipe& pipe) {
    if (pipe.handle == INVALID_HANDLE_VALUE)
        return;
    CancelIo(pipe.handle);
    DisconnectNamedPipe(pipe.handle);
    CloseHandle(pipe.handle);
    pipe.handle = INVALID_HANDLE_VALUE;
}

bool IsPipeOpen(const GamePipe& pipe) {
    return pipe.handle != INVALID_HANDLE_VALUE;
}

bool PeekPipe(GamePipe& pipe, void* buffer, DWORD size, DWORD& peeked) {
    DWORD count = 0;
    BOOL ok = PeekNamedPipe(pipe.handle, buffer, size, &count, nullptr, nullptr);
    peeked = count;
    return ok != FALSE;
}

bool GetPipeBytesAvailable(GamePipe& pipe, DWORD& total) {
    DWORD count = 0;
    BOOL ok = PeekNamedPipe(pipe.handle, nullptr, 0, nullptr, &count, nullptr);
    total = count;
    return ok != FALSE;
}

bool PipeHasData(GamePipe& pipe) {
    DWORD total = 0;
    return GetPipeBytesAvailable(pipe, total) && total > 0;
}

bool PipeHasDataOrReconnect(GamePipe& pipe, DWORD number, bool& flagA, bool& flagB) {
    DWORD total = 0;
    if (GetPipeBytesAvailable(pipe, total))
        return total > 0;
    ClosePipe(pipe);
    ConnectPipeClient(pipe, number);
    if (!IsPipeOpen(pipe)) {
        flagA = false;
        flagB = false;
        return false;
    }
    return GetPipeBytesAvailable(pipe, total) && total > 0;
}

// Reads and writes pass no OVERLAPPED record on either end. For the overlapped server end that
// is still a complete operation: without a record, ReadFile/WriteFile wait on the handle for a
// pending transfer themselves (Windows and Wine alike), so no call returns ERROR_IO_PENDING and
// the buffer is final when the call returns. Only the count can be off: some Wine builds report
// 0 bytes for a partial message read on that handle. A read that fails with ERROR_MORE_DATA has
// filled the whole buffer (the message is longer than it), so the true count is the size.
bool ReadPipe(GamePipe& pipe, void* buffer, DWORD size, DWORD& read) {
    DWORD count = 0;
    BOOL ok = ReadFile(pipe.handle, buffer, size, &count, nullptr);
    if (!ok && count == 0 && GetLastError() == ERROR_MORE_DATA)
        count = size;
    read = count;
    return ok != FALSE;
}

bool WritePipe(GamePipe& pipe, const void* bytes, DWORD size, DWORD& written) {
    DWORD count = 0;
    BOOL ok = WriteFile(pipe.handle, bytes, size, &count, nullptr);
    written = count;
    return ok != FALSE;
}

DWORD GetPipeBufferSize() {
    return kPipeBufferSize;
}
DWORD GetLargeHeaderSize() {
    return kLargeHeaderSize;
}
DWORD GetMaxRecordsPerPoll() {
    return kMaxRecordsPerPoll;
}
DWORD GetHighestMessageType() {
    return kHighestMessageType;
}

} // namespace korvex
