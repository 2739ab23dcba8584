#include "support/fake_proxy.h"

#include <sim/modules.h>

namespace fake_proxy {

std::atomic<bool> inputActive{false};
HWND window = nullptr;
HANDLE pipe = INVALID_HANDLE_VALUE;

namespace {
bool RenderProxyActive() {
    return true;
}
HANDLE GetGamePipe() {
    return pipe;
}
HWND OutputRenderWindow() {
    return window;
}
bool OverlayInputActive() {
    return inputActive;
}

template <class F> FARPROC Proc(F f) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(f));
}
} // namespace

HMODULE Install(const char* fileName) {
    return sim::RegisterModule(fileName, {{"_RenderProxyActive", Proc(&RenderProxyActive)},
                                          {"_GetGamePipe", Proc(&GetGamePipe)},
                                          {"_OutputRenderWindow", Proc(&OutputRenderWindow)},
                                          {"_OverlayInputActive", Proc(&OverlayInputActive)}});
}

} // namespace fake_proxy
