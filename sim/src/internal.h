// Shared machinery of the simulated Win32: call accounting with fault injection, and the table
// of kernel objects behind HANDLE values.
#pragma once

#include <windows.h>

#include <memory>
#include <mutex>

namespace sim {

// Counts a call of `function`; returns true (with the last error set) when a test made it fail.
bool Fails(const char* function);

// A kernel object behind a handle. Each area derives its own kinds.
struct Object {
    virtual ~Object() = default;
    // Called when the last handle goes away through CloseHandle.
    virtual void Closed() {}
    virtual BOOL Write(LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    virtual BOOL Read(LPVOID, DWORD, LPDWORD, LPOVERLAPPED) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
};

HANDLE AddObject(std::shared_ptr<Object> object);
std::shared_ptr<Object> FindObject(HANDLE handle);
template <class T> std::shared_ptr<T> Find(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(FindObject(handle));
}
// Removes the handle; returns the object it named, or null.
std::shared_ptr<Object> RemoveObject(HANDLE handle);

// Opens the client end of a simulated named pipe (CreateFileA with a \\.\pipe\ name).
HANDLE OpenPipeClient(LPCSTR name, DWORD access, DWORD flags);

// Wakes threads blocked in WaitForSingleObject so they re-check simulated time.
void NotifyTimeChanged();

} // namespace sim
