// Simulated named pipes, events, waits and overlapped completion: CreateNamedPipeA,
// ConnectNamedPipe, DisconnectNamedPipe, PeekNamedPipe, SetNamedPipeHandleState, the pipe side
// of ReadFile/WriteFile/CreateFileA, CreateEventA, WaitForSingleObject,
// GetOverlappedResult and CancelIo. Pipes are duplex, one message queue per direction; errors
// follow what Windows (and Wine 8, measured) report. Waits run on simulated time.
#include "internal.h"

#include <sim/control.h>
#include <sim/pipes.h>

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <vector>

namespace sim {
namespace {

// OVERLAPPED::Internal holds an NTSTATUS, as on Windows.
constexpr ULONG_PTR kStatusPending = 0x103;
constexpr ULONG_PTR kStatusBufferOverflow = 0x80000005;
constexpr ULONG_PTR kStatusCancelled = 0xC0000120;
constexpr ULONG_PTR kStatusPipeBroken = 0xC000014B;
constexpr ULONG_PTR kStatusOther = 0xE0000000; // this simulator's: Win32 error in the low bits

ULONG_PTR StatusFromError(DWORD error) {
    switch (error) {
    case ERROR_SUCCESS:
        return 0;
    case ERROR_MORE_DATA:
        return kStatusBufferOverflow;
    case ERROR_OPERATION_ABORTED:
        return kStatusCancelled;
    case ERROR_BROKEN_PIPE:
        return kStatusPipeBroken;
    default:
        return kStatusOther | error;
    }
}

DWORD ErrorFromStatus(ULONG_PTR status) {
    switch (status) {
    case 0:
        return ERROR_SUCCESS;
    case kStatusBufferOverflow:
        return ERROR_MORE_DATA;
    case kStatusCancelled:
        return ERROR_OPERATION_ABORTED;
    case kStatusPipeBroken:
        return ERROR_BROKEN_PIPE;
    default:
        return static_cast<DWORD>(status & 0xFFFF);
    }
}

// One lock and one condition for all pipes, events and waits: simple, and every state change
// wakes every waiter, which re-checks its own condition.
std::mutex& lock() {
    static std::mutex* instance = new std::mutex;
    return *instance;
}
std::condition_variable& changed() {
    static std::condition_variable* instance = new std::condition_variable;
    return *instance;
}

size_t openEvents = 0;
bool idleWaitsAdvance = false;
bool partialReadZero = false;
std::function<void(const std::string&)> createdCallback;
std::function<void(HANDLE)> pendingCallback;

// Blocks on the shared condition until some state changes.
void Block(std::unique_lock<std::mutex>& held) {
    changed().wait(held);
}

struct Event : Object {
    bool manualReset = true;
    bool signaled = false;
    void Closed() override {
        std::lock_guard<std::mutex> guard(lock());
        --openEvents;
    }
};

// Called with the lock held.
void SignalEvent(HANDLE handle) {
    if (auto event = Find<Event>(handle))
        event->signaled = true;
    changed().notify_all();
}

void Complete(LPOVERLAPPED overlapped, DWORD error, DWORD bytes) {
    if (!overlapped)
        return;
    overlapped->InternalHigh = bytes;
    overlapped->Internal = StatusFromError(error);
    if (overlapped->hEvent)
        SignalEvent(overlapped->hEvent);
    changed().notify_all();
}

struct Message {
    std::vector<BYTE> bytes;
    size_t offset = 0;
    size_t Left() const { return bytes.size() - offset; }
};

// Server states as Windows names them: listening for a client, connected, closing (the client
// closed its end), disconnected (DisconnectNamedPipe; ConnectNamedPipe listens again).
enum class State { Listening, Connected, Closing, Disconnected };

struct Instance {
    std::string name; // lower case
    PipeInstanceInfo info{};
    State state = State::Listening;
    bool serverOpen = true;
    unsigned connection = 0; // bumped for every client that attaches
    DWORD serverReadMode = PIPE_READMODE_BYTE;
    std::deque<Message> toServer, toClient;
    LPOVERLAPPED pendingConnect = nullptr;
};

std::vector<std::shared_ptr<Instance>>& instances() {
    static auto* list = new std::vector<std::shared_ptr<Instance>>;
    return *list;
}

std::string Lower(const char* text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

DWORD QueuedBytes(const std::deque<Message>& queue) {
    DWORD total = 0;
    for (const auto& m : queue)
        total += static_cast<DWORD>(m.Left());
    return total;
}

// Takes bytes off `queue` into `buffer`: in message mode from the front message only (failing
// with ERROR_MORE_DATA when it does not fit, the rest staying queued); in byte mode across
// messages. Returns the error (0 on success) and the count.
DWORD Take(std::deque<Message>& queue, DWORD readMode, BYTE* buffer, DWORD size, DWORD& count) {
    count = 0;
    if (readMode & PIPE_READMODE_MESSAGE) {
        Message& m = queue.front();
        DWORD n = static_cast<DWORD>(std::min<size_t>(size, m.Left()));
        if (n > 0) // an empty message has no bytes (and may have no storage) to copy
            std::memcpy(buffer, m.bytes.data() + m.offset, n);
        m.offset += n;
        count = n;
        if (m.Left() > 0)
            return ERROR_MORE_DATA;
        queue.pop_front();
        return ERROR_SUCCESS;
    }
    while (!queue.empty() && count < size) {
        Message& m = queue.front();
        DWORD n = static_cast<DWORD>(std::min<size_t>(size - count, m.Left()));
        if (n > 0)
            std::memcpy(buffer + count, m.bytes.data() + m.offset, n);
        m.offset += n;
        count += n;
        if (m.Left() == 0)
            queue.pop_front();
    }
    return ERROR_SUCCESS;
}

// Copies without taking; message mode stops at the end of the front message.
DWORD Look(const std::deque<Message>& queue, DWORD readMode, BYTE* buffer, DWORD size) {
    DWORD count = 0;
    for (const auto& m : queue) {
        DWORD n = static_cast<DWORD>(std::min<size_t>(size - count, m.Left()));
        if (buffer && n > 0)
            std::memcpy(buffer + count, m.bytes.data() + m.offset, n);
        count += n;
        if ((readMode & PIPE_READMODE_MESSAGE) || count == size)
            break;
    }
    return count;
}

// One end of a pipe. The server end owns the instance; the client end belongs to one
// connection of it and is cut off when the server disconnects.
struct End : Object {
    std::shared_ptr<Instance> pipe;
    bool server = false;
    bool overlapped = false;
    unsigned connection = 0;
    DWORD readMode = PIPE_READMODE_BYTE;

    // The error that makes a transfer impossible right now, or 0 when it may go on (or wait).
    DWORD Blocker(bool reading, bool dataQueued) const {
        if (server) {
            switch (pipe->state) {
            case State::Listening:
                return ERROR_PIPE_LISTENING;
            case State::Disconnected:
                return ERROR_PIPE_NOT_CONNECTED;
            case State::Closing:
                return reading ? (dataQueued ? 0 : ERROR_BROKEN_PIPE) : ERROR_NO_DATA;
            case State::Connected:
                return 0;
            }
        }
        if (connection != pipe->connection || pipe->state == State::Disconnected)
            return ERROR_PIPE_NOT_CONNECTED;
        if (!pipe->serverOpen)
            return reading ? (dataQueued ? 0 : ERROR_BROKEN_PIPE) : ERROR_NO_DATA;
        return 0;
    }
    std::deque<Message>& Inbox() { return server ? pipe->toServer : pipe->toClient; }
    std::deque<Message>& Outbox() { return server ? pipe->toClient : pipe->toServer; }

    BOOL Write(LPCVOID buffer, DWORD bytes, LPDWORD written, LPOVERLAPPED ov) override {
        std::lock_guard<std::mutex> guard(lock());
        DWORD error = Blocker(false, false);
        if (error == 0) {
            const BYTE* data = static_cast<const BYTE*>(buffer);
            Outbox().push_back(Message{std::vector<BYTE>(data, data + bytes), 0});
            changed().notify_all();
        }
        DWORD count = error == 0 ? bytes : 0;
        if (written)
            *written = count;
        Complete(ov, error, count);
        if (error)
            SetLastError(error);
        return error == 0;
    }

    // Blocks while the pipe is connected and empty, as a synchronous read does on Windows.
    BOOL Read(LPVOID buffer, DWORD bytes, LPDWORD read, LPOVERLAPPED ov) override {
        std::unique_lock<std::mutex> held(lock());
        DWORD error = 0;
        while ((error = Blocker(true, !Inbox().empty())) == 0 && Inbox().empty())
            Block(held);
        DWORD count = 0;
        if (error == 0)
            error = Take(Inbox(), readMode, static_cast<BYTE*>(buffer), bytes, count);
        if (read)
            *read = (error == ERROR_MORE_DATA && server && overlapped && !ov && partialReadZero)
                        ? 0
                        : count;
        Complete(ov, error, count);
        if (error)
            SetLastError(error);
        return error == 0;
    }

    void Closed() override {
        std::lock_guard<std::mutex> guard(lock());
        if (server) {
            pipe->serverOpen = false;
            Complete(pipe->pendingConnect, ERROR_OPERATION_ABORTED, 0);
            pipe->pendingConnect = nullptr;
            auto& list = instances();
            list.erase(std::remove(list.begin(), list.end(), pipe), list.end());
        } else if (connection == pipe->connection && pipe->state == State::Connected) {
            pipe->state = State::Closing;
        }
        changed().notify_all();
    }
};

std::shared_ptr<End> FindEnd(HANDLE handle) {
    auto end = Find<End>(handle);
    if (!end)
        SetLastError(ERROR_INVALID_HANDLE);
    return end;
}

} // namespace

HANDLE OpenPipeClient(LPCSTR name, DWORD, DWORD flags) {
    std::string key = Lower(name);
    std::lock_guard<std::mutex> guard(lock());
    bool exists = false;
    for (auto& pipe : instances()) {
        if (pipe->name != key)
            continue;
        exists = true;
        if (pipe->state != State::Listening)
            continue;
        pipe->state = State::Connected;
        ++pipe->connection;
        pipe->toServer.clear();
        pipe->toClient.clear();
        Complete(pipe->pendingConnect, ERROR_SUCCESS, 0);
        pipe->pendingConnect = nullptr;
        auto end = std::make_shared<End>();
        end->pipe = pipe;
        end->connection = pipe->connection;
        end->overlapped = flags & FILE_FLAG_OVERLAPPED;
        SetLastError(0);
        return AddObject(end);
    }
    SetLastError(exists ? ERROR_PIPE_BUSY : ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

void NotifyTimeChanged() {
    std::lock_guard<std::mutex> guard(lock());
    changed().notify_all();
}

std::vector<PipeInstanceInfo> PipeInstances(const char* name) {
    std::string key = Lower(name);
    std::lock_guard<std::mutex> guard(lock());
    std::vector<PipeInstanceInfo> out;
    for (auto& pipe : instances()) {
        if (pipe->name != key)
            continue;
        PipeInstanceInfo info = pipe->info;
        info.clientConnected = pipe->state == State::Connected;
        out.push_back(info);
    }
    return out;
}

DWORD PipeReadMode(HANDLE handle) {
    auto end = Find<End>(handle);
    std::lock_guard<std::mutex> guard(lock());
    return end ? end->readMode : 0xFFFFFFFFu;
}

void OnPipeCreated(std::function<void(const std::string&)> callback) {
    std::lock_guard<std::mutex> guard(lock());
    createdCallback = std::move(callback);
}

void OnConnectPending(std::function<void(HANDLE)> callback) {
    std::lock_guard<std::mutex> guard(lock());
    pendingCallback = std::move(callback);
}

void SetServerPartialReadReportsZero(bool on) {
    std::lock_guard<std::mutex> guard(lock());
    partialReadZero = on;
}

void SetIdleWaitsAdvanceTime(bool on) {
    std::lock_guard<std::mutex> guard(lock());
    idleWaitsAdvance = on;
}

size_t OpenEventCount() {
    std::lock_guard<std::mutex> guard(lock());
    return openEvents;
}

} // namespace sim

HANDLE CreateNamedPipeA(LPCSTR name, DWORD openMode, DWORD pipeMode, DWORD maxInstances,
                        DWORD outBufferSize, DWORD inBufferSize, DWORD defaultTimeout,
                        LPSECURITY_ATTRIBUTES security) {
    if (sim::Fails("CreateNamedPipeA"))
        return INVALID_HANDLE_VALUE;
    auto pipe = std::make_shared<sim::Instance>();
    pipe->name = sim::Lower(name);
    pipe->info = sim::PipeInstanceInfo{
        nullptr,       openMode,     pipeMode,       maxInstances,
        outBufferSize, inBufferSize, defaultTimeout, sim::DescribeSecurityAttributes(security),
        false};
    pipe->serverReadMode = pipeMode & PIPE_READMODE_MESSAGE;
    auto end = std::make_shared<sim::End>();
    end->pipe = pipe;
    end->server = true;
    end->overlapped = openMode & FILE_FLAG_OVERLAPPED;
    end->readMode = pipe->serverReadMode;
    std::function<void(const std::string&)> callback;
    HANDLE handle;
    {
        std::lock_guard<std::mutex> guard(sim::lock());
        handle = sim::AddObject(end);
        pipe->info.server = handle;
        sim::instances().push_back(pipe);
        callback = sim::createdCallback;
    }
    if (callback)
        callback(name);
    return handle;
}

BOOL ConnectNamedPipe(HANDLE handle, LPOVERLAPPED overlapped) {
    if (sim::Fails("ConnectNamedPipe"))
        return FALSE;
    auto end = sim::FindEnd(handle);
    if (!end || !end->server) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::function<void(HANDLE)> callback;
    {
        std::lock_guard<std::mutex> guard(sim::lock());
        auto& pipe = *end->pipe;
        switch (pipe.state) {
        case sim::State::Connected:
            SetLastError(ERROR_PIPE_CONNECTED);
            return FALSE;
        case sim::State::Closing:
            SetLastError(ERROR_NO_DATA);
            return FALSE;
        case sim::State::Disconnected:
            pipe.state = sim::State::Listening;
            break;
        case sim::State::Listening:
            break;
        }
        if (pipe.pendingConnect) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        if (!overlapped) { // the module always connects with an OVERLAPPED record
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        // Windows resets the event when an overlapped operation starts.
        overlapped->Internal = sim::kStatusPending;
        overlapped->InternalHigh = 0;
        if (auto event = sim::Find<sim::Event>(overlapped->hEvent))
            event->signaled = false;
        pipe.pendingConnect = overlapped;
        callback = sim::pendingCallback;
    }
    if (callback)
        callback(handle);
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
}

BOOL DisconnectNamedPipe(HANDLE handle) {
    if (sim::Fails("DisconnectNamedPipe"))
        return FALSE;
    auto end = sim::FindEnd(handle);
    if (!end || !end->server) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(sim::lock());
    auto& pipe = *end->pipe;
    if (pipe.state == sim::State::Listening) {
        SetLastError(ERROR_PIPE_LISTENING);
        return FALSE;
    }
    if (pipe.state == sim::State::Disconnected) {
        SetLastError(ERROR_PIPE_NOT_CONNECTED);
        return FALSE;
    }
    pipe.state = sim::State::Disconnected;
    pipe.toServer.clear();
    pipe.toClient.clear();
    sim::changed().notify_all();
    return TRUE;
}

// The count of bytes left in the message is not reported: the module never asks for it.
BOOL PeekNamedPipe(HANDLE handle, LPVOID buffer, DWORD size, LPDWORD read, LPDWORD totalAvailable,
                   LPDWORD) {
    if (sim::Fails("PeekNamedPipe"))
        return FALSE;
    auto end = sim::FindEnd(handle);
    if (!end)
        return FALSE;
    std::lock_guard<std::mutex> guard(sim::lock());
    auto& inbox = end->Inbox();
    DWORD error = end->Blocker(true, !inbox.empty());
    if (error == ERROR_PIPE_LISTENING)
        error = ERROR_BAD_PIPE; // what Windows reports for a peek on a listening server
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    DWORD count = sim::Look(inbox, end->readMode, static_cast<BYTE*>(buffer), buffer ? size : 0);
    if (read)
        *read = count;
    if (totalAvailable)
        *totalAvailable = sim::QueuedBytes(inbox);
    return TRUE;
}

BOOL SetNamedPipeHandleState(HANDLE handle, LPDWORD mode, LPDWORD, LPDWORD) {
    if (sim::Fails("SetNamedPipeHandleState"))
        return FALSE;
    auto end = sim::FindEnd(handle);
    if (!end)
        return FALSE;
    std::lock_guard<std::mutex> guard(sim::lock());
    if (mode) {
        bool messageType = end->pipe->info.pipeMode & PIPE_TYPE_MESSAGE;
        if ((*mode & PIPE_READMODE_MESSAGE) && !messageType) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        end->readMode = *mode & PIPE_READMODE_MESSAGE;
    }
    return TRUE;
}

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR) {
    if (sim::Fails("CreateEventA"))
        return nullptr;
    auto event = std::make_shared<sim::Event>();
    event->manualReset = manualReset;
    event->signaled = initialState;
    {
        std::lock_guard<std::mutex> guard(sim::lock());
        ++sim::openEvents;
    }
    SetLastError(0);
    return sim::AddObject(event);
}

// Waits on an event against simulated time: the deadline passes only when a test advances the
// clock (sim::AdvanceTime), or at once when idle waits advance time.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    if (sim::Fails("WaitForSingleObject"))
        return WAIT_FAILED;
    auto event = sim::Find<sim::Event>(handle);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    const DWORD start = GetTickCount();
    std::unique_lock<std::mutex> held(sim::lock());
    for (;;) {
        if (event->signaled) {
            if (!event->manualReset)
                event->signaled = false;
            return WAIT_OBJECT_0;
        }
        DWORD elapsed = GetTickCount() - start;
        if (milliseconds != INFINITE && elapsed >= milliseconds)
            return WAIT_TIMEOUT;
        if (sim::idleWaitsAdvance && milliseconds != INFINITE) {
            held.unlock();
            sim::AdvanceTime(milliseconds - elapsed);
            held.lock();
            continue;
        }
        sim::Block(held);
    }
}

BOOL GetOverlappedResult(HANDLE handle, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait) {
    if (sim::Fails("GetOverlappedResult"))
        return FALSE;
    if (!sim::FindObject(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::unique_lock<std::mutex> held(sim::lock());
    while (overlapped->Internal == sim::kStatusPending) {
        if (!wait) {
            SetLastError(ERROR_IO_INCOMPLETE);
            return FALSE;
        }
        sim::Block(held);
    }
    if (transferred)
        *transferred = static_cast<DWORD>(overlapped->InternalHigh);
    DWORD error = sim::ErrorFromStatus(overlapped->Internal);
    if (error)
        SetLastError(error);
    return error == ERROR_SUCCESS;
}

// Cancels the pending connect of a server end (the only operation that can be pending here):
// it completes with ERROR_OPERATION_ABORTED into its OVERLAPPED record.
BOOL CancelIo(HANDLE handle) {
    if (sim::Fails("CancelIo"))
        return FALSE;
    auto end = sim::FindEnd(handle);
    if (!end)
        return FALSE;
    std::lock_guard<std::mutex> guard(sim::lock());
    if (end->server && end->pipe->pendingConnect) {
        sim::Complete(end->pipe->pendingConnect, ERROR_OPERATION_ABORTED, 0);
        end->pipe->pendingConnect = nullptr;
    }
    return TRUE;
}
