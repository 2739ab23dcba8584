// ProxyControl, the in-process pipe pair and the test window.
#include "support/fixtures.h"

#include <atomic>

using namespace korvex;

ProxyControl::ProxyControl(const char* name) : module(LoadLibraryA(name)) {
    if (module != nullptr)
        set_ = reinterpret_cast<ProxySetStateProc>(
            reinterpret_cast<void (*)()>(GetProcAddress(module, "ProxySetState")));
}

void ProxyControl::Apply() const {
    if (set_ != nullptr)
        set_(&state);
}

DWORD UniquePipeNumber() {
    static std::atomic<DWORD> next{0};
    return GetCurrentProcessId() * 64 + next++ % 64;
}

namespace {

struct ClientRequest {
    GamePipe* client;
    DWORD number;
};

// Opens the client end, trying again while the server end does not exist yet.
DWORD WINAPI ConnectClient(LPVOID parameter) {
    auto* request = static_cast<ClientRequest*>(parameter);
    for (int i = 0; i < 1000 && !IsPipeOpen(*request->client); ++i) {
        ConnectPipeClient(*request->client, request->number);
        if (!IsPipeOpen(*request->client))
            Sleep(5);
    }
    return 0;
}

} // namespace

bool OpenPipePair(PipePair& pair, DWORD number) {
    ClientRequest request = {&pair.client, number};
    HANDLE thread = CreateThread(nullptr, 0, ConnectClient, &request, 0, nullptr);
    if (thread == nullptr)
        return false;
    bool created = CreatePipeServer(pair.server, number);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return created && IsPipeOpen(pair.client);
}

void ClosePipePair(PipePair& pair) {
    ClosePipe(pair.client);
    DisconnectPipe(pair.server);
}

HWND CreateTestWindow(RECT client) {
    static const char* const kClass = "KorvexTestWindow";
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = nullptr; // the test decides the cursor shape
    windowClass.lpszClassName = kClass;
    RegisterClassA(&windowClass); // fails harmlessly when already registered
    HWND window =
        CreateWindowExA(0, kClass, "Korvex test window", WS_POPUP | WS_VISIBLE, client.left,
                        client.top, client.right - client.left, client.bottom - client.top, nullptr,
                        nullptr, GetModuleHandleA(nullptr), nullptr);
    SetForegroundWindow(window);
    return window;
}
