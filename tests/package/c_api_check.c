// What the sample's runs do not show about the C interface, checked from a program built in the
// MSVC ABI: the server end's chosen wait and cancel event, the result codes of a missing pipe, a
// missing hooks DLL, a refused hook and a short buffer, a timed read on an empty pipe, and the
// hook installers' slots. Run from a folder without VelKorvexHooks.dll, which it then loads from
// hooks/. Prints each failed check; the exit code is their number.
#include "VelKorvexOverlay.h"

#include <stdio.h>

#define WINAPI __stdcall
__declspec(dllimport) void* WINAPI CreateEventA(void*, int, int, const char*);
__declspec(dllimport) unsigned long WINAPI GetTickCount(void);
__declspec(dllimport) unsigned long WINAPI GetCurrentProcessId(void);
__declspec(dllimport) unsigned long WINAPI GetCurrentThreadId(void);
__declspec(dllimport) void* WINAPI LoadLibraryA(const char*);
__declspec(dllimport) void* WINAPI CreateThread(void*, size_t, unsigned long(WINAPI*)(void*), void*,
                                                unsigned long, unsigned long*);
__declspec(dllimport) unsigned long WINAPI WaitForSingleObject(void*, unsigned long);
__declspec(dllimport) void WINAPI Sleep(unsigned long);

static int failures = 0;
#define CHECK(ok) ((ok) ? (void)0 : (void)(++failures, printf("FAIL line %d: %s\n", __LINE__, #ok)))

#define PIPE 3900000001u
static vko_pipe* client;

static unsigned long WINAPI connect_client(void* unused) {
    (void)unused;
    while (vko_connect_client(PIPE, &client) != VKO_OK)
        Sleep(5);
    return 0;
}

int main(void) {
    struct {
        uint32_t timeout;
        int cancelled;
        vko_result expected;
        unsigned long at_least_ms;
    } const waits[] = {{150, 0, VKO_TIMEOUT, 100}, {20000, 1, VKO_CANCELLED, 0}};
    vko_pipe* pipe = (vko_pipe*)&failures;
    vko_hooks hooks = {0, 0, 0};
    vko_record record;
    uint32_t ids[256], count = 0, i, own = 0;
    unsigned long start;
    void* thread;

    for (i = 0; i < 2; ++i) {
        start = GetTickCount();
        CHECK(vko_create_server(PIPE, waits[i].timeout,
                                waits[i].cancelled ? CreateEventA(0, 1, 1, 0) : 0,
                                &pipe) == waits[i].expected);
        CHECK(pipe == 0 && GetTickCount() - start >= waits[i].at_least_ms &&
              GetTickCount() - start < 5000);
    }
    CHECK(vko_connect_client(PIPE, &pipe) == VKO_NO_PIPE && pipe == 0);

    // A pair in this process: a timed read on the empty pipe, then a record, then the end.
    thread = CreateThread(0, 0, connect_client, 0, 0, 0);
    CHECK(vko_create_server(PIPE, 10000, 0, &pipe) == VKO_OK);
    WaitForSingleObject(thread, 10000);
    start = GetTickCount();
    CHECK(vko_read_record(pipe, 200, &record) == VKO_TIMEOUT && GetTickCount() - start >= 150);
    CHECK(vko_send_init(client, 300, 7) == VKO_OK && vko_read_record(pipe, 0, &record) == VKO_OK);
    CHECK(record.type == VKO_INIT && record.game_thread_id == 300 &&
          record.use_raw_input_hooks == 1);
    vko_close(client);
    CHECK(vko_read_record(pipe, VKO_WAIT_FOREVER, &record) == VKO_PIPE_CLOSED);
    vko_close(pipe);

    CHECK(vko_list_threads(GetCurrentProcessId(), VKO_ALL_THREADS, ids, 0, &count) ==
              VKO_BUFFER_TOO_SMALL &&
          count >= 1);
    CHECK(vko_list_threads(GetCurrentProcessId(), VKO_ALL_THREADS, ids, 256, &count) == VKO_OK);
    for (i = 0; i < count; ++i)
        own += ids[i] == GetCurrentThreadId();
    CHECK(own == 1 && count >= 1);

    CHECK(vko_install_hooks(GetCurrentThreadId(), &hooks) == VKO_NO_HOOKS_DLL && !hooks.keyboard);
    CHECK(LoadLibraryA("hooks\\VelKorvexHooks.dll") != 0);
    CHECK(vko_install_hooks(GetCurrentThreadId(), &hooks) == VKO_OK && hooks.keyboard &&
          hooks.mouse && hooks.getmsg);
    vko_remove_hooks(&hooks);
    CHECK(!hooks.keyboard && !hooks.mouse && !hooks.getmsg);
    CHECK(vko_install_hook_group(GetCurrentThreadId(), 1, &hooks) == VKO_OK && !hooks.keyboard &&
          !hooks.mouse && hooks.getmsg);
    vko_remove_hooks(&hooks);
    CHECK(vko_install_hook_group(0xFFFFFFF0u, 0, &hooks) == VKO_HOOK_REFUSED && !hooks.keyboard);

    printf("c_api_check: %d failed\n", failures);
    return failures;
}
