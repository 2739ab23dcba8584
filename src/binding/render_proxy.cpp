// Render proxy binding: the runtime names in their two search orders, the cache of looked-up
// proxy exports, and the six operations that find the active proxy, borrow its game pipe and
// ask it (or the DirectInput proxy) for its answers. Every operation holds the caller's lock
// from entry to return, across LoadLibraryA, GetProcAddress and the call into the proxy.
#include "binding/render_proxy.h"

namespace korvex {

namespace {

constexpr int kRuntimeCount = 8;

// Order in which FindActiveRenderProxy asks the proxies whether they render.
const char* const kRendererSearch[kRuntimeCount] = {"ddraw.dll", "d3d8.dll",    "d3d9.dll",
                                                    "d3d10.dll", "d3d10_1.dll", "d3d11.dll",
                                                    "d3d12.dll", "opengl32.dll"};

// Order in which AcquireGamePipe asks the proxies for the pipe: OpenGL comes fourth here.
const char* const kPipeSearch[kRuntimeCount] = {"ddraw.dll",    "d3d8.dll",  "d3d9.dll",
                                                "opengl32.dll", "d3d10.dll", "d3d10_1.dll",
                                                "d3d11.dll",    "d3d12.dll"};

// The binding cache. An address slot, once non-null, never changes; nothing clears the cache
// and the module references taken while filling it are kept for the life of the process.
HMODULE RendererModules[kRuntimeCount];
RenderProxyActiveProc RenderProxyActiveSlots[kRuntimeCount];
GetGamePipeProc GetGamePipeSlots[kRuntimeCount];
OutputRenderWindowProc OutputRenderWindowSlot;
OverlayInputActiveProc OverlayInputActiveSlot;
OverlayRenderActiveProc OverlayRenderActiveSlot;
DITrackedCursorPosProc DITrackedCursorPosSlot;

// Holds the caller's critical section for the rest of the scope.
class LockHeld {
  public:
    explicit LockHeld(CRITICAL_SECTION* lock) : lock_(lock) { EnterCriticalSection(lock_); }
    ~LockHeld() { LeaveCriticalSection(lock_); }
    LockHeld(const LockHeld&) = delete;
    LockHeld& operator=(const LockHeld&) = delete;

  private:
    CRITICAL_SECTION* lock_;
};

// Exports are looked up as FARPROC; going through a plain function pointer type first keeps
// the conversion to the export's own type free of cast-function-type warnings.
template <class Proc> Proc AsProc(FARPROC address) {
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(address));
}

template <class Proc> Proc LookUp(HMODULE module, const char* name) {
    return AsProc<Proc>(GetProcAddress(module, name));
}

// Fills a single query slot from `module` while it is still null; no loading here.
template <class Proc> void FillQuerySlot(Proc& slot, HMODULE module, const char* name) {
    if (module != nullptr && slot == nullptr)
        slot = LookUp<Proc>(module, name);
}

} // namespace

HMODULE FindActiveRenderProxy(HMODULE known, CRITICAL_SECTION* lock) {
    LockHeld held(lock);
    if (known != nullptr)
        return known;

    for (int i = 0; i < kRuntimeCount; ++i) {
        if (RenderProxyActiveSlots[i] != nullptr)
            continue;
        RendererModules[i] = LoadLibraryA(kRendererSearch[i]);
        if (RendererModules[i] != nullptr)
            RenderProxyActiveSlots[i] =
                LookUp<RenderProxyActiveProc>(RendererModules[i], "_RenderProxyActive");
    }

    // A false answer is not remembered: the proxy is asked again on the next call.
    for (int i = 0; i < kRuntimeCount; ++i)
        if (RenderProxyActiveSlots[i] != nullptr && ForeignBool(RenderProxyActiveSlots[i]()))
            return RendererModules[i];
    return nullptr;
}

void AcquireGamePipe(GamePipe& pipe, CRITICAL_SECTION* lock) {
    LockHeld held(lock);
    if (IsPipeOpen(pipe))
        return;

    for (int i = 0; i < kRuntimeCount; ++i) {
        if (GetGamePipeSlots[i] != nullptr)
            continue;
        HMODULE module = LoadLibraryA(kPipeSearch[i]);
        if (module != nullptr)
            GetGamePipeSlots[i] = LookUp<GetGamePipeProc>(module, "_GetGamePipe");
    }

    // Any proxy may supply the pipe, active renderer or not; the first usable handle wins.
    for (int i = 0; i < kRuntimeCount && !IsPipeOpen(pipe); ++i)
        if (GetGamePipeSlots[i] != nullptr)
            pipe.handle = GetGamePipeSlots[i]();
}

// The three queries share one slot each, not one per module: the first address found serves
// every later call, whatever module is passed.
HWND QueryOutputRenderWindow(HMODULE module, CRITICAL_SECTION* lock) {
    LockHeld held(lock);
    FillQuerySlot(OutputRenderWindowSlot, module, "_OutputRenderWindow");
    return OutputRenderWindowSlot != nullptr ? OutputRenderWindowSlot() : nullptr;
}

bool QueryOverlayInputActive(HMODULE module, CRITICAL_SECTION* lock) {
    LockHeld held(lock);
    FillQuerySlot(OverlayInputActiveSlot, module, "_OverlayInputActive");
    return OverlayInputActiveSlot != nullptr && ForeignBool(OverlayInputActiveSlot());
}

bool QueryOverlayRenderActive(HMODULE module, CRITICAL_SECTION* lock) {
    LockHeld held(lock);
    FillQuerySlot(OverlayRenderActiveSlot, module, "_OverlayRenderActive");
    return OverlayRenderActiveSlot != nullptr && ForeignBool(OverlayRenderActiveSlot());
}

bool QueryDITrackedCursorPos(CRITICAL_SECTION* lock, POINT& position) {
    LockHeld held(lock);
    if (DITrackedCursorPosSlot == nullptr) {
        HMODULE module = LoadLibraryA("dinput.dll");
        if (module != nullptr)
            DITrackedCursorPosSlot = LookUp<DITrackedCursorPosProc>(module, "DITrackedCursorPos");
    }
    if (DITrackedCursorPosSlot == nullptr)
        return false;

    int32_t x = 0;
    int32_t y = 0;
    bool delivered = ForeignBool(DITrackedCursorPosSlot(&x, &y));
    if (delivered) {
        position.x = x;
        position.y = y;
    }
    return delivered;
}

} // namespace korvex
