// Scripting the simulated module loader: tests register fake modules under bare file names,
// each with named exports that are plain functions of the test, and inspect reference counts.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace sim {

struct ModuleExport {
    std::string name;
    FARPROC address;
};

// Makes a module loadable by LoadLibraryA under `fileName` (compared without regard to case)
// and returns its handle. Registering a name again replaces the exports and keeps the handle
// and the reference count.
HMODULE RegisterModule(const char* fileName, const std::vector<ModuleExport>& exports);
// The handle of a registered module, loaded or not; null for an unknown name.
HMODULE RegisteredModule(const char* fileName);
// References taken by LoadLibraryA and not yet given back by FreeLibrary (0 for unknown names).
int ModuleReferenceCount(const char* fileName);
// A module that is not loadable makes LoadLibraryA fail (null, ERROR_MOD_NOT_FOUND) as if the
// file were missing; references already taken stay valid. Registered modules start loadable.
void SetModuleLoadable(const char* fileName, bool loadable);
// Every name passed to LoadLibraryA, in call order, whether or not it loaded.
std::vector<std::string> LoadRequests();

} // namespace sim
