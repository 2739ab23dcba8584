// Simulated module loading: LoadLibraryA by bare file name over the modules tests register,
// GetProcAddress by export name, FreeLibrary, with per-module reference counts.
#include "internal.h"

#include <sim/modules.h>

#include <algorithm>
#include <cctype>
#include <map>

namespace sim {
namespace {

struct Module {
    HMODULE handle;
    std::vector<ModuleExport> exports;
    int references = 0;
    bool loadable = true;
};

struct ModuleTable {
    std::mutex mutex;
    std::map<std::string, Module> byName; // lower-case file name
    std::vector<std::string> requests;
    uintptr_t nextHandle = 0x10000000;
};

ModuleTable& modules() {
    static ModuleTable* instance = new ModuleTable; // never destroyed: used until process exit
    return *instance;
}

// Windows compares module file names without regard to case.
std::string Key(const char* fileName) {
    std::string key(fileName);
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return key;
}

Module* FindLoaded(ModuleTable& t, HMODULE handle) {
    for (auto& entry : t.byName)
        if (entry.second.handle == handle && entry.second.references > 0)
            return &entry.second;
    return nullptr;
}

} // namespace

HMODULE RegisterModule(const char* fileName, const std::vector<ModuleExport>& exports) {
    auto& t = modules();
    std::lock_guard<std::mutex> guard(t.mutex);
    auto found = t.byName.find(Key(fileName));
    if (found != t.byName.end()) {
        found->second.exports = exports;
        return found->second.handle;
    }
    HMODULE handle = reinterpret_cast<HMODULE>(t.nextHandle);
    t.nextHandle += 0x100000;
    t.byName.emplace(Key(fileName), Module{handle, exports});
    return handle;
}

HMODULE RegisteredModule(const char* fileName) {
    auto& t = modules();
    std::lock_guard<std::mutex> guard(t.mutex);
    auto found = t.byName.find(Key(fileName));
    return found == t.byName.end() ? nullptr : found->second.handle;
}

int ModuleReferenceCount(const char* fileName) {
    auto& t = modules();
    std::lock_guard<std::mutex> guard(t.mutex);
    auto found = t.byName.find(Key(fileName));
    return found == t.byName.end() ? 0 : found->second.references;
}

void SetModuleLoadable(const char* fileName, bool loadable) {
    auto& t = modules();
    std::lock_guard<std::mutex> guard(t.mutex);
    auto found = t.byName.find(Key(fileName));
    if (found != t.byName.end())
        found->second.loadable = loadable;
}

std::vector<std::string> LoadRequests() {
    auto& t = modules();
    std::lock_guard<std::mutex> guard(t.mutex);
    return t.requests;
}

} // namespace sim

HMODULE LoadLibraryA(LPCSTR name) {
    if (sim::Fails("LoadLibraryA"))
        return nullptr;
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto& t = sim::modules();
    std::lock_guard<std::mutex> guard(t.mutex);
    t.requests.push_back(name);
    auto found = t.byName.find(sim::Key(name));
    if (found == t.byName.end() || !found->second.loadable) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    ++found->second.references;
    return found->second.handle;
}

BOOL FreeLibrary(HMODULE module) {
    if (sim::Fails("FreeLibrary"))
        return FALSE;
    auto& t = sim::modules();
    std::lock_guard<std::mutex> guard(t.mutex);
    sim::Module* loaded = sim::FindLoaded(t, module);
    if (loaded == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    --loaded->references;
    return TRUE;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    if (sim::Fails("GetProcAddress"))
        return nullptr;
    auto& t = sim::modules();
    std::lock_guard<std::mutex> guard(t.mutex);
    sim::Module* loaded = sim::FindLoaded(t, module);
    if (loaded == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    // A value below 0x10000 is an ordinal; fake modules export by name only.
    if (reinterpret_cast<uintptr_t>(name) >= 0x10000)
        for (const auto& e : loaded->exports)
            if (e.name == name)
                return e.address;
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}
