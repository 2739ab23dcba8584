// Simulated loopback handle for benchmarks: WriteFile on it succeeds at once and keeps the last
// record, ReadFile hands that record back, so each call is one handle lookup and one copy.
#include "internal.h"

#include <sim/bench.h>

#include <atomic>
#include <cstring>

namespace sim {
namespace {

struct Loopback : Object {
    std::mutex mutex;
    BYTE last[512] = {};
    DWORD lastSize = 0;
    std::atomic<uint64_t> writes{0};

    BOOL Write(LPCVOID buffer, DWORD bytes, LPDWORD written, LPOVERLAPPED) override {
        DWORD kept = bytes < sizeof last ? bytes : static_cast<DWORD>(sizeof last);
        {
            std::lock_guard<std::mutex> guard(mutex);
            std::memcpy(last, buffer, kept);
            lastSize = kept;
        }
        writes.fetch_add(1, std::memory_order_relaxed);
        if (written)
            *written = bytes;
        return TRUE;
    }

    BOOL Read(LPVOID buffer, DWORD bytes, LPDWORD read, LPOVERLAPPED) override {
        std::lock_guard<std::mutex> guard(mutex);
        DWORD n = lastSize < bytes ? lastSize : bytes;
        std::memcpy(buffer, last, n);
        if (read)
            *read = n;
        if (lastSize > bytes) {
            SetLastError(ERROR_MORE_DATA);
            return FALSE;
        }
        return TRUE;
    }
};

} // namespace

HANDLE CreateLoopbackHandle() {
    return AddObject(std::make_shared<Loopback>());
}

uint64_t LoopbackWrites(HANDLE loopback) {
    auto object = Find<Loopback>(loopback);
    return object ? object->writes.load() : 0;
}

} // namespace sim
