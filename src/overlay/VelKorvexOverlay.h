/* VelKorvexOverlay.h: the C interface of VelKorvexOverlay.dll, the overlay's side of the Korvex
 * game pipe for any Windows compiler or language. It creates the pipe's server end and waits
 * for the game, opens a client end, sends the overlay's records, takes the next record with one
 * call, sets and removes the input hooks of VelKorvexHooks.dll on a thread, and lists a
 * process's threads and windows. Every name carries the prefix vko_ / VKO_; results are
 * vko_result codes (VKO_OK is 0), plain values and caller-owned buffers; nothing is thrown.
 * Functions are __cdecl on x86. The byte layout of the records: docs/protocol.md. */
#ifndef VELKORVEX_OVERLAY_H
#define VELKORVEX_OVERLAY_H

#include <stdint.h>

#ifdef VKO_BUILDING_DLL
#define VKO_API __declspec(dllexport)
#else
#define VKO_API __declspec(dllimport)
#endif
#define VKO_CALL __cdecl

#ifdef __cplusplus
extern "C" {
#endif

typedef int vko_result;
#define VKO_OK 0
#define VKO_INVALID_ARGUMENT 1 /* a null pointer or an unknown choice */
#define VKO_TIMEOUT 2          /* no game connected, or no record came, in the time given */
#define VKO_CANCELLED 3        /* the cancel event was signalled */
#define VKO_NO_PIPE 4          /* the pipe could not be created, or no server end to open */
#define VKO_PIPE_CLOSED 5      /* the other end closed the pipe or it broke */
#define VKO_NO_HOOKS_DLL 6     /* VelKorvexHooks.dll not found, or without its hook procedures */
#define VKO_HOOK_REFUSED 7     /* Windows refused a hook (the thread does not exist, ...) */
#define VKO_BUFFER_TOO_SMALL 8 /* the list is longer than the buffer: *count says how long */
#define VKO_OUT_OF_MEMORY 9

#define VKO_WAIT_FOREVER 0xFFFFFFFFu

/* Record types, the tag at offset 0 of every record. */
#define VKO_RENDER_ACTIVE 1
#define VKO_INPUT_ACTIVE 2
#define VKO_MOUSE_INPUT 3
#define VKO_KEYBOARD_INPUT 4
#define VKO_VALUE_PAIR 5
#define VKO_INIT 6
#define VKO_INIT_ALL_THREADS 7
#define VKO_INIT_ALL_THREADS_ALL_HOOKS 8
#define VKO_TAKE_SCREENSHOT 9
#define VKO_NOTICE 10
#define VKO_NO_MESSAGE 255

/* What vko_read_record made of a message. */
#define VKO_DECODED 0    /* a known type of the right size: its fields below are filled */
#define VKO_WRONG_SIZE 1 /* a known type with another size: only tag, size, count, bytes */
#define VKO_UNKNOWN_TAG 2

#define VKO_LARGEST_RECORD 280

/* One message from the pipe. The fields of the type read are filled; the others are 0. */
typedef struct vko_record {
    uint32_t status; /* VKO_DECODED, VKO_WRONG_SIZE or VKO_UNKNOWN_TAG */
    uint32_t type;   /* VKO_MOUSE_INPUT, ...; VKO_NO_MESSAGE with VKO_UNKNOWN_TAG */
    uint32_t tag;    /* the first four bytes, little-endian (0 when shorter) */
    uint32_t size;   /* the whole message's length */
    uint32_t count;  /* bytes held in `bytes`: size, at most VKO_LARGEST_RECORD */
    uint8_t bytes[VKO_LARGEST_RECORD];
    int32_t active;              /* RenderActive, InputActive: 0 or 1 */
    int32_t flag;                /* InitAllThreads: 0 or 1 */
    uint32_t message;            /* MouseInput: the mouse window message (0x200 a move, ...) */
    int32_t x, y;                /* MouseInput: relative to the game's output window client area */
    int32_t wheel_delta;         /* MouseInput: signed, 120 a notch away from the user */
    uint32_t time;               /* MouseInput: the game's GetTickCount */
    uint32_t virtual_key;        /* KeyboardInput */
    uint32_t key_flags;          /* KeyboardInput: laid out as a key message's lParam */
    uint8_t key_state[256];      /* MouseInput, KeyboardInput: as GetKeyboardState fills it */
    uint32_t first, second;      /* ValuePair */
    uint32_t game_thread_id;     /* Init */
    int32_t use_raw_input_hooks; /* Init: 0 or 1 */
} vko_record;

/* One end of the game pipe; vko_close ends and frees it. */
typedef struct vko_pipe vko_pipe;

/* The hook handles of one thread (HHOOK values); null where a hook is not set. */
typedef struct vko_hooks {
    void* keyboard;
    void* mouse;
    void* getmsg;
} vko_hooks;

/* The library's version, "major.minor.patch". */
VKO_API const char* VKO_CALL vko_version(void);
/* A short English text for a result code. */
VKO_API const char* VKO_CALL vko_result_text(vko_result result);

/* Creates the server end of pipe \\.\pipe\Korvex-<number>-Overlay-Game (by convention the
 * game's process id) and waits until the game connects: up to timeout_ms (VKO_WAIT_FOREVER for
 * no limit), or until cancel_event, a Win32 event HANDLE (optional, may be null), is signalled
 * from another thread. VKO_OK puts the connected pipe in *pipe; otherwise *pipe is null. */
VKO_API vko_result VKO_CALL vko_create_server(uint32_t number, uint32_t timeout_ms,
                                              void* cancel_event, vko_pipe** pipe);
/* Opens the client end of pipe <number>, as the game does; VKO_NO_PIPE when no server end
 * waits for it. */
VKO_API vko_result VKO_CALL vko_connect_client(uint32_t number, vko_pipe** pipe);
/* Closes the end and frees it; null is ignored. Records already sent stay readable by the other
 * end until it has taken them. */
VKO_API void VKO_CALL vko_close(vko_pipe* pipe);

/* The overlay's records to the game's render proxy; each is one message. Flags are 0 or
 * non-zero. VKO_PIPE_CLOSED when it could not be sent whole. */
VKO_API vko_result VKO_CALL vko_send_render_active(vko_pipe* pipe, int active);
VKO_API vko_result VKO_CALL vko_send_input_active(vko_pipe* pipe, int active);
VKO_API vko_result VKO_CALL vko_send_init(vko_pipe* pipe, uint32_t game_thread_id,
                                          int use_raw_input_hooks);
VKO_API vko_result VKO_CALL vko_send_init_all_threads(vko_pipe* pipe, int flag);
VKO_API vko_result VKO_CALL vko_send_init_all_threads_all_hooks(vko_pipe* pipe);
VKO_API vko_result VKO_CALL vko_send_take_screenshot(vko_pipe* pipe);

/* Takes the next message off the pipe into *record, waiting up to timeout_ms for one (0: only
 * what is already there; VKO_WAIT_FOREVER: until one comes). Every message comes back whole,
 * malformed ones with their status and bytes. VKO_TIMEOUT when none came; VKO_PIPE_CLOSED once
 * the other end has gone and nothing is left to read. A bounded wait looks for a message, then
 * sleeps 1 ms (up to a scheduler tick, often 15.6 ms on Windows) before it looks again;
 * VKO_WAIT_FOREVER reads at once and holds a client end until a message comes (sends on it
 * from other threads wait meanwhile). */
VKO_API vko_result VKO_CALL vko_read_record(vko_pipe* pipe, uint32_t timeout_ms,
                                            vko_record* record);

/* Sets VelKorvexHooks.dll's keyboard, mouse and get-message hooks on a thread of any process
 * (which loads the DLL there). The DLL is loaded by its file name, so it must be where this
 * process finds it (beside the program). On VKO_HOOK_REFUSED the hooks that were set stay set,
 * with their handles in *hooks: remove them with vko_remove_hooks. */
VKO_API vko_result VKO_CALL vko_install_hooks(uint32_t thread_id, vko_hooks* hooks);
/* As vko_install_hooks, one group only: the get-message hook alone when raw_input is non-zero
 * (it handles raw input), else the keyboard and mouse hooks. The slots of the other group are
 * set to null without removing what they held. */
VKO_API vko_result VKO_CALL vko_install_hook_group(uint32_t thread_id, int raw_input,
                                                   vko_hooks* hooks);
/* Removes the hooks whose handles *hooks holds and sets its slots to null. */
VKO_API void VKO_CALL vko_remove_hooks(vko_hooks* hooks);

/* What vko_list_threads lists. */
#define VKO_ALL_THREADS 0    /* every thread of the process */
#define VKO_WINDOW_THREADS 1 /* the threads that own one of its windows (its input threads) */

/* Writes up to `capacity` thread ids of a process into ids, in ascending order, and their
 * number into *count; VKO_BUFFER_TOO_SMALL when there are more (the first `capacity` are
 * written). */
VKO_API vko_result VKO_CALL vko_list_threads(uint32_t process_id, int which, uint32_t* ids,
                                             uint32_t capacity, uint32_t* count);
/* The same for the process's top-level windows and all their descendants (HWND values). */
VKO_API vko_result VKO_CALL vko_list_windows(uint32_t process_id, void** windows, uint32_t capacity,
                                             uint32_t* count);

#ifdef __cplusplus
}
#endif

#endif
