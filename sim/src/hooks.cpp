// Simulated Windows hooks: setting a hook (recorded with its type, procedure, module and
// thread, or refused per type), removing it by handle, and the chain's next-hook call.
#include "internal.h"

#include <sim/hooks.h>

#include <algorithm>
#include <atomic>
#include <set>

namespace sim {
namespace {

std::atomic<LRESULT> nextHookResult{0};

struct HookTable {
    std::mutex mutex;
    std::vector<InstalledHook> installed;
    std::vector<HHOOK> unhookCalls;
    std::set<int> refusedTypes;
    uintptr_t nextHandle = 0x50000;
};

HookTable& hooks() {
    static HookTable* instance = new HookTable; // never destroyed: used until process exit
    return *instance;
}

} // namespace

void SetNextHookResult(LRESULT result) {
    nextHookResult = result;
}

void RefuseHookType(int type) {
    auto& t = hooks();
    std::lock_guard<std::mutex> guard(t.mutex);
    t.refusedTypes.insert(type);
}

std::vector<InstalledHook> InstalledHooks() {
    auto& t = hooks();
    std::lock_guard<std::mutex> guard(t.mutex);
    return t.installed;
}

std::vector<HHOOK> UnhookCalls() {
    auto& t = hooks();
    std::lock_guard<std::mutex> guard(t.mutex);
    return t.unhookCalls;
}

} // namespace sim

// Like Windows: a hook on all threads needs the module that holds the procedure.
HHOOK SetWindowsHookExA(int type, HOOKPROC procedure, HINSTANCE module, DWORD threadId) {
    if (sim::Fails("SetWindowsHookExA"))
        return nullptr;
    if (procedure == nullptr) {
        SetLastError(ERROR_INVALID_FILTER_PROC);
        return nullptr;
    }
    if (module == nullptr && threadId == 0) {
        SetLastError(ERROR_HOOK_NEEDS_HMOD);
        return nullptr;
    }
    auto& t = sim::hooks();
    std::lock_guard<std::mutex> guard(t.mutex);
    if (t.refusedTypes.count(type) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    HHOOK handle = reinterpret_cast<HHOOK>(t.nextHandle);
    t.nextHandle += 4;
    t.installed.push_back(sim::InstalledHook{handle, type, procedure, module, threadId});
    return handle;
}

BOOL UnhookWindowsHookEx(HHOOK hook) {
    auto& t = sim::hooks();
    {
        std::lock_guard<std::mutex> guard(t.mutex);
        t.unhookCalls.push_back(hook);
    }
    if (sim::Fails("UnhookWindowsHookEx"))
        return FALSE;
    std::lock_guard<std::mutex> guard(t.mutex);
    auto it = std::find_if(t.installed.begin(), t.installed.end(),
                           [hook](const sim::InstalledHook& h) { return h.handle == hook; });
    if (it == t.installed.end()) {
        SetLastError(ERROR_INVALID_HOOK_HANDLE);
        return FALSE;
    }
    t.installed.erase(it);
    return TRUE;
}

LRESULT CallNextHookEx(HHOOK, int, WPARAM, LPARAM) {
    sim::Fails("CallNextHookEx");
    return sim::nextHookResult;
}
