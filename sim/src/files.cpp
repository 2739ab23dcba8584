// Simulated files: real host files, with the semantics the log relies on. FILE_APPEND_DATA
// appends at the current end even across handles (O_APPEND), OPEN_EXISTING fails on a missing
// file, OPEN_ALWAYS creates, MoveFileA fails when the target exists. Names beginning with
// \\.\pipe\ are opened as pipe clients.
#include "internal.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sim {
namespace {

struct File : Object {
    int fd = -1;
    ~File() override {
        if (fd >= 0)
            ::close(fd);
    }
    BOOL Write(LPCVOID buffer, DWORD bytes, LPDWORD written, LPOVERLAPPED) override {
        ssize_t n = ::write(fd, buffer, bytes);
        if (written)
            *written = n < 0 ? 0 : static_cast<DWORD>(n);
        if (n < 0) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        return TRUE;
    }
};

DWORD ErrorFromErrno() {
    switch (errno) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
        return ERROR_ACCESS_DENIED;
    default:
        return ERROR_GEN_FAILURE;
    }
}

} // namespace
} // namespace sim

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD flags, HANDLE) {
    if (sim::Fails("CreateFileA"))
        return INVALID_HANDLE_VALUE;
    if (std::strncmp(name, "\\\\.\\pipe\\", 9) == 0)
        return sim::OpenPipeClient(name, access, flags);

    // Files are only ever written here; append-only access appends at the current end.
    int mode = O_WRONLY;
    if ((access & FILE_APPEND_DATA) && !(access & GENERIC_WRITE))
        mode |= O_APPEND;
    switch (disposition) {
    case CREATE_ALWAYS:
        mode |= O_CREAT | O_TRUNC;
        break;
    case OPEN_ALWAYS:
        mode |= O_CREAT;
        break;
    case OPEN_EXISTING:
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    int fd = ::open(name, mode | O_CLOEXEC, 0644);
    if (fd < 0) {
        SetLastError(sim::ErrorFromErrno());
        return INVALID_HANDLE_VALUE;
    }
    auto file = std::make_shared<sim::File>();
    file->fd = fd;
    SetLastError(0);
    return sim::AddObject(file);
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytes, LPDWORD written, LPOVERLAPPED overlapped) {
    if (written)
        *written = 0;
    if (sim::Fails("WriteFile"))
        return FALSE;
    auto object = sim::FindObject(file);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return object->Write(buffer, bytes, written, overlapped);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytes, LPDWORD read, LPOVERLAPPED overlapped) {
    if (read)
        *read = 0;
    if (sim::Fails("ReadFile"))
        return FALSE;
    auto object = sim::FindObject(file);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return object->Read(buffer, bytes, read, overlapped);
}

BOOL GetFileSizeEx(HANDLE handle, PLARGE_INTEGER size) {
    if (sim::Fails("GetFileSizeEx"))
        return FALSE;
    auto file = sim::Find<sim::File>(handle);
    struct stat info {};
    if (!file || ::fstat(file->fd, &info) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    size->QuadPart = info.st_size;
    return TRUE;
}

BOOL DeleteFileA(LPCSTR name) {
    if (sim::Fails("DeleteFileA"))
        return FALSE;
    if (::unlink(name) != 0) {
        SetLastError(sim::ErrorFromErrno());
        return FALSE;
    }
    return TRUE;
}

BOOL MoveFileA(LPCSTR existing, LPCSTR newName) {
    if (sim::Fails("MoveFileA"))
        return FALSE;
    struct stat info {};
    if (::stat(newName, &info) == 0) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    if (::rename(existing, newName) != 0) {
        SetLastError(sim::ErrorFromErrno());
        return FALSE;
    }
    return TRUE;
}
