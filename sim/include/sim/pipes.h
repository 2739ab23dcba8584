// Scripting and inspecting the simulated named pipes, events, waits and security objects.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace sim {

// One access-control entry as the simulated SetEntriesInAclA built it.
struct AceRecord {
    BYTE type;  // 0 access allowed, 1 access denied
    BYTE flags; // inheritance flags
    DWORD mask;
    std::string sid; // "S-1-2-0" form
};

// What a SECURITY_ATTRIBUTES (and the descriptor and DACL behind it) held, copied out so that
// it can be inspected after the caller freed the objects.
struct SecurityRecord {
    bool hasAttributes = false;
    DWORD length = 0;
    BOOL inherit = FALSE;
    BYTE revision = 0;
    bool daclPresent = false;
    bool daclDefaulted = false;
    std::vector<AceRecord> aces;
};
SecurityRecord DescribeSecurityAttributes(const SECURITY_ATTRIBUTES* attributes);

// Parameters and state of one pipe instance whose server handle is still open.
struct PipeInstanceInfo {
    HANDLE server;
    DWORD openMode;
    DWORD pipeMode;
    DWORD maxInstances;
    DWORD outBufferSize;
    DWORD inBufferSize;
    DWORD defaultTimeout;
    SecurityRecord security;
    bool clientConnected; // a client end is attached and open
};
// Open instances of the pipe `name` (case-insensitive), oldest first.
std::vector<PipeInstanceInfo> PipeInstances(const char* name);

// Read mode of a pipe handle (PIPE_READMODE_BYTE or PIPE_READMODE_MESSAGE); 0xFFFFFFFF when
// the handle is not a pipe end.
DWORD PipeReadMode(HANDLE pipe);

// Called (outside any simulator lock) right after CreateNamedPipeA made an instance, with its
// name: a test can open a client here, before the server calls ConnectNamedPipe.
void OnPipeCreated(std::function<void(const std::string& name)> callback);
// Called right after an overlapped ConnectNamedPipe went pending, with the server handle.
void OnConnectPending(std::function<void(HANDLE server)> callback);

// Makes a plain ReadFile on an overlapped server handle report 0 bytes when it fails with
// ERROR_MORE_DATA, as one Wine build does (the bytes are in the buffer all the same).
void SetServerPartialReadReportsZero(bool on);

// When on, a WaitForSingleObject that cannot be satisfied at once advances simulated time to
// its deadline and times out, so single-threaded tests never block on a time-out.
void SetIdleWaitsAdvanceTime(bool on);
// Events created and not yet closed.
size_t OpenEventCount();

} // namespace sim
