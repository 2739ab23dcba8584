// VelKorvexOverlay.dll: the C interface (VelKorvexOverlay.h) over the overlay-side C++ library.
// Each function checks its arguments, calls the C++ function and turns its result into a
// vko_result; the std::set results of the collectors are copied into the caller's buffers.
#include "VelKorvexOverlay.h"

#include "binding/hook_install.h"
#include "discovery/window_discovery.h"
#include "link/messages.h"
#include "link/record_reader.h"

#include <windows.h>

#include <cstring>
#include <new>

using namespace korvex;

struct vko_pipe {
    GamePipe end;
};

namespace {

// The installers take a caller's lock, and the window collectors fill process-wide scratch
// sets: one lock keeps all their calls through this DLL apart.
struct Lock {
    Lock() { InitializeCriticalSection(&section); }
    CRITICAL_SECTION section;
} CallLock;

struct Hold {
    Hold() { EnterCriticalSection(&CallLock.section); }
    ~Hold() { LeaveCriticalSection(&CallLock.section); }
};

vko_result Sent(bool ok) {
    return ok ? VKO_OK : VKO_PIPE_CLOSED;
}

template <class Set, class Item>
vko_result CopyOut(const Set& set, Item* items, uint32_t capacity, uint32_t* count) {
    *count = static_cast<uint32_t>(set.size());
    uint32_t n = 0;
    for (auto value : set) {
        if (n == capacity)
            return VKO_BUFFER_TOO_SMALL;
        items[n++] = value;
    }
    return VKO_OK;
}

// 0: all three hooks; 1: the get-message hook alone; 2: keyboard and mouse.
vko_result Install(uint32_t thread, int group, vko_hooks* hooks) {
    if (hooks == nullptr)
        return VKO_INVALID_ARGUMENT;
    Hold hold;
    // Loaded here, as the installer would, so that a missing DLL has its own answer.
    HMODULE module = LoadLibraryA("VelKorvexHooks.dll");
    for (const char* name : {"keyboardHook", "mouseHook", "getmsgHook"})
        if (module == nullptr || GetProcAddress(module, name) == nullptr)
            return VKO_NO_HOOKS_DLL;
    HHOOK keyboard = static_cast<HHOOK>(hooks->keyboard), mouse = static_cast<HHOOK>(hooks->mouse),
          getmsg = static_cast<HHOOK>(hooks->getmsg);
    bool ok = group == 0 ? InstallInputHooks(thread, &CallLock.section, keyboard, mouse, getmsg)
                         : InstallInputHookGroup(thread, group == 1, &CallLock.section, keyboard,
                                                 mouse, getmsg);
    hooks->keyboard = keyboard;
    hooks->mouse = mouse;
    hooks->getmsg = getmsg;
    return ok ? VKO_OK : VKO_HOOK_REFUSED;
}

} // namespace

extern "C" {

const char* VKO_CALL vko_version(void) {
    return KORVEX_VERSION;
}

const char* VKO_CALL vko_result_text(vko_result result) {
    static const char* const kTexts[] = {
        "ok",
        "invalid argument",
        "timed out",
        "cancelled",
        "no pipe: it could not be created, or no server end waits",
        "the pipe is closed",
        "VelKorvexHooks.dll not found or without its hook procedures",
        "Windows refused a hook",
        "buffer too small",
        "out of memory"};
    return result >= 0 && result < static_cast<int>(sizeof kTexts / sizeof kTexts[0])
               ? kTexts[result]
               : "unknown result";
}

vko_result VKO_CALL vko_create_server(uint32_t number, uint32_t timeout_ms, void* cancel_event,
                                      vko_pipe** pipe) {
    if (pipe == nullptr)
        return VKO_INVALID_ARGUMENT;
    *pipe = nullptr;
    vko_pipe* server = new (std::nothrow) vko_pipe;
    if (server == nullptr)
        return VKO_OUT_OF_MEMORY;
    if (CreatePipeServer(server->end, number, timeout_ms, static_cast<HANDLE>(cancel_event))) {
        *pipe = server;
        return VKO_OK;
    }
    DWORD why = GetLastError();
    delete server;
    return why == ERROR_TIMEOUT     ? VKO_TIMEOUT
           : why == ERROR_CANCELLED ? VKO_CANCELLED
                                    : VKO_NO_PIPE;
}

vko_result VKO_CALL vko_connect_client(uint32_t number, vko_pipe** pipe) {
    if (pipe == nullptr)
        return VKO_INVALID_ARGUMENT;
    *pipe = nullptr;
    vko_pipe* client = new (std::nothrow) vko_pipe;
    if (client == nullptr)
        return VKO_OUT_OF_MEMORY;
    ConnectPipeClient(client->end, number);
    if (!IsPipeOpen(client->end)) {
        delete client;
        return VKO_NO_PIPE;
    }
    *pipe = client;
    return VKO_OK;
}

// Both ends are closed without DisconnectNamedPipe, which would throw away the records the
// other end has not read yet (the last InputActive, typically).
void VKO_CALL vko_close(vko_pipe* pipe) {
    if (pipe == nullptr)
        return;
    ClosePipe(pipe->end);
    delete pipe;
}

vko_result VKO_CALL vko_send_render_active(vko_pipe* pipe, int active) {
    return pipe ? Sent(SendRenderActive(pipe->end, active != 0)) : VKO_INVALID_ARGUMENT;
}
vko_result VKO_CALL vko_send_input_active(vko_pipe* pipe, int active) {
    return pipe ? Sent(SendInputActive(pipe->end, active != 0)) : VKO_INVALID_ARGUMENT;
}
vko_result VKO_CALL vko_send_init(vko_pipe* pipe, uint32_t game_thread_id,
                                  int use_raw_input_hooks) {
    return pipe ? Sent(SendInit(pipe->end, game_thread_id, use_raw_input_hooks != 0))
                : VKO_INVALID_ARGUMENT;
}
vko_result VKO_CALL vko_send_init_all_threads(vko_pipe* pipe, int flag) {
    return pipe ? Sent(SendInitAllThreads(pipe->end, flag != 0)) : VKO_INVALID_ARGUMENT;
}
vko_result VKO_CALL vko_send_init_all_threads_all_hooks(vko_pipe* pipe) {
    return pipe ? Sent(SendInitAllThreadsAllHooks(pipe->end)) : VKO_INVALID_ARGUMENT;
}
vko_result VKO_CALL vko_send_take_screenshot(vko_pipe* pipe) {
    return pipe ? Sent(SendTakeScreenshot(pipe->end)) : VKO_INVALID_ARGUMENT;
}

vko_result VKO_CALL vko_read_record(vko_pipe* pipe, uint32_t timeout_ms, vko_record* out) {
    if (pipe == nullptr || out == nullptr)
        return VKO_INVALID_ARGUMENT;
    // ReadNextRecord waits in ReadFile while the pipe is empty, and the client end is a
    // synchronous handle with nothing to wait on: a bounded wait polls.
    if (timeout_ms != VKO_WAIT_FOREVER) {
        DWORD start = GetTickCount(), waiting = 0;
        for (;; Sleep(1)) {
            if (!GetPipeBytesAvailable(pipe->end, waiting))
                return VKO_PIPE_CLOSED;
            if (waiting > 0)
                break;
            if (GetTickCount() - start >= timeout_ms)
                return VKO_TIMEOUT;
        }
    }
    Record record;
    if (!ReadNextRecord(pipe->end, record))
        return VKO_PIPE_CLOSED;

    std::memset(out, 0, sizeof *out);
    static_assert(static_cast<int>(RecordStatus::UnknownTag) == VKO_UNKNOWN_TAG &&
                      static_cast<int>(RecordStatus::WrongSize) == VKO_WRONG_SIZE,
                  "status codes");
    out->status = static_cast<uint32_t>(record.status);
    out->type = static_cast<uint32_t>(record.type);
    out->tag = record.tag;
    out->size = record.size;
    out->count = record.count;
    std::memcpy(out->bytes, record.bytes, record.count);
    if (record.status != RecordStatus::Decoded)
        return VKO_OK;
    switch (record.type) {
    case MessageType::RenderActive:
        out->active = record.renderActive.active;
        break;
    case MessageType::InputActive:
        out->active = record.inputActive.active;
        break;
    case MessageType::InitAllThreads:
        out->flag = record.initAllThreads.flag;
        break;
    case MessageType::MouseInput:
        out->message = record.mouseInput.message;
        out->x = record.mouseInput.x;
        out->y = record.mouseInput.y;
        out->wheel_delta = record.mouseInput.wheelDelta;
        out->time = record.mouseInput.time;
        std::memcpy(out->key_state, record.mouseInput.keyState, sizeof out->key_state);
        break;
    case MessageType::KeyboardInput:
        out->virtual_key = record.keyboardInput.virtualKey;
        out->key_flags = record.keyboardInput.keyFlags;
        std::memcpy(out->key_state, record.keyboardInput.keyState, sizeof out->key_state);
        break;
    case MessageType::ValuePair:
        out->first = record.valuePair.first;
        out->second = record.valuePair.second;
        break;
    case MessageType::Init:
        out->game_thread_id = record.init.gameThreadId;
        out->use_raw_input_hooks = record.init.useRawInputHooks;
        break;
    default: // the tag-only records
        break;
    }
    return VKO_OK;
}

vko_result VKO_CALL vko_install_hooks(uint32_t thread_id, vko_hooks* hooks) {
    return Install(thread_id, 0, hooks);
}

vko_result VKO_CALL vko_install_hook_group(uint32_t thread_id, int raw_input, vko_hooks* hooks) {
    return Install(thread_id, raw_input ? 1 : 2, hooks);
}

void VKO_CALL vko_remove_hooks(vko_hooks* hooks) {
    if (hooks == nullptr)
        return;
    HHOOK keyboard = static_cast<HHOOK>(hooks->keyboard), mouse = static_cast<HHOOK>(hooks->mouse),
          getmsg = static_cast<HHOOK>(hooks->getmsg);
    RemoveInputHooks(keyboard, mouse, getmsg);
    hooks->keyboard = hooks->mouse = hooks->getmsg = nullptr;
}

vko_result VKO_CALL vko_list_threads(uint32_t process_id, int which, uint32_t* ids,
                                     uint32_t capacity, uint32_t* count) {
    if (count == nullptr || (ids == nullptr && capacity > 0) ||
        (which != VKO_ALL_THREADS && which != VKO_WINDOW_THREADS))
        return VKO_INVALID_ARGUMENT;
    try {
        Hold hold;
        ThreadIdSet threads;
        bool ok = which == VKO_ALL_THREADS ? CollectProcessThreads(process_id, threads)
                                           : CollectWindowThreads(process_id, threads);
        return ok ? CopyOut(threads, ids, capacity, count) : VKO_OUT_OF_MEMORY;
    } catch (const std::bad_alloc&) {
        return VKO_OUT_OF_MEMORY;
    }
}

vko_result VKO_CALL vko_list_windows(uint32_t process_id, void** windows, uint32_t capacity,
                                     uint32_t* count) {
    if (count == nullptr || (windows == nullptr && capacity > 0))
        return VKO_INVALID_ARGUMENT;
    try {
        Hold hold;
        WindowSet set;
        return CollectProcessWindows(process_id, set) ? CopyOut(set, windows, capacity, count)
                                                      : VKO_OUT_OF_MEMORY;
    } catch (const std::bad_alloc&) {
        return VKO_OUT_OF_MEMORY;
    }
}

} // extern "C"
