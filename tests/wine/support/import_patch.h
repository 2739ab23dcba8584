// Fault injection by real means: redirects one import of a loaded module (this test program, or
// a DLL it loaded) to a function of the test's. Every call the module makes through that import
// goes to the replacement until the patch is destroyed; the replacement can record the call,
// fail it, or forward it to Original(). Product code linked into the test program calls the
// platform through the program's own imports, so patching the program reaches it too.
// The compiler treats an import's address as a constant: a function that calls the import itself
// may keep the address in a register across the patch's lifetime. So the test function that
// holds the patch should not call the patched function directly; the product's functions (and
// the test's helpers) it calls see the patch.
#pragma once

#include <windows.h>

class ImportPatch {
  public:
    // `module` null means this program. Applied() tells whether the import was found.
    ImportPatch(HMODULE module, const char* dll, const char* function, const void* replacement);
    ~ImportPatch();
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    bool Applied() const { return slot_ != nullptr; }
    // The function the import reached before the patch, as type F.
    template <class F> F Original() const {
        return reinterpret_cast<F>(reinterpret_cast<void (*)()>(original_));
    }

  private:
    void** slot_ = nullptr;
    void* original_ = nullptr;
};
