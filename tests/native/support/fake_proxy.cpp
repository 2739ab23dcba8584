#include "support/fake_proxy.h"

#include <sim/modules.h>

namespace fake_proxy {

std::atomic<uint32_t> inputActive{0};
HWND window = nullptr;
HANDLE pipe = INVALID_HANDLE_VALUE;

namespace {
uint32_t RenderProxyActive() {
    return 1;
}
HANDLE GetGamePipe() {
    return pipe;
}
HWND OutputRenderWindow() {
    return window;
}
uint32_t OverlayInputActive() {
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
