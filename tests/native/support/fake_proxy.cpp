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

} // namespace

HMODULE Install(const char* fileName) {
    return sim::RegisterModule(fileName, {{"_RenderProxyActive", AsExport(&RenderProxyActive)},
                                          {"_GetGamePipe", AsExport(&GetGamePipe)},
                                          {"_OutputRenderWindow", AsExport(&OutputRenderWindow)},
                                          {"_OverlayInputActive", AsExport(&OverlayInputActive)}});
}

} // namespace fake_proxy
