// What many Wine tests set up: the reference render proxy answering from a state the test sets,
// a connected game pipe inside this process, a real window of this thread, and waiting for a
// condition with a deadline while this thread's messages are dispatched.
#pragma once

#include "link/pipe.h"
#include "render_proxy_fixture.h"

#include <windows.h>

// One copy of the reference render proxy (d3d9.dll, d3d11.dll, opengl32.dll or dinput.dll),
// loaded from this program's folder. Its contract exports answer what `state` held at the last
// Apply(); it starts as the copy does after load: not active, no pipe, no window, all off.
struct ProxyControl {
    explicit ProxyControl(const char* name = "d3d11.dll");
    void Apply() const;

    HMODULE module = nullptr;
    ProxyFixtureState state = {0, INVALID_HANDLE_VALUE, nullptr, 0, 0, 0, 0, 0};

  private:
    ProxySetStateProc set_ = nullptr;
};

// A connected game pipe in this process: the overlay's server end made by CreatePipeServer, the
// game's client end opened by ConnectPipeClient from a second thread while the server waits.
struct PipePair {
    korvex::GamePipe server, client;
};
// A pipe number no other test program uses at the same time.
DWORD UniquePipeNumber();
bool OpenPipePair(PipePair& pair, DWORD number = UniquePipeNumber());
void ClosePipePair(PipePair& pair);

// A visible top-level popup window of this thread whose client area is exactly the rectangle
// given (screen coordinates), brought to the foreground; its procedure is DefWindowProcA.
HWND CreateTestWindow(RECT client);

// Dispatches this thread's messages until done() holds or `timeoutMs` has passed; done()'s value.
template <class Done> bool PumpUntil(Done done, DWORD timeoutMs = 5000) {
    for (DWORD begin = GetTickCount(); !done() && GetTickCount() - begin < timeoutMs; Sleep(2)) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return done();
}
