// The steady-state hook paths (proxy found, pipe open, exports cached) allocate nothing.
#include "hooks/exports.h"
#include "hooks/hook_state.h"
#include "support/fake_proxy.h"
#include "support/hook_harness.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t size) {
    ++allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

TEST_F(HookHarness, SteadyStateMouseAndKeyboardHooksMakeNoHeapAllocation) {
    // A file stands in for the pipe so that the simulated transport's own buffers stay out of
    // the count; the hooks only see a handle that is open.
    HANDLE sink = CreateFileA("records.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(sink, INVALID_HANDLE_VALUE);
    fake_proxy::pipe = sink;
    fake_proxy::inputActive = true;
    MOUSEHOOKSTRUCTEX record{};
    record.pt = POINT{kLeft + 10, kTop + 10};
    mouseHook(HC_ACTION, WM_MOUSEMOVE, reinterpret_cast<LPARAM>(&record)); // warm the caches
    keyboardHook(HC_ACTION, 'A', 1);
    ASSERT_EQ(HookState.Pipe.handle, sink);

    long before = allocations.load();
    for (int i = 0; i < 5000; ++i) {
        record.pt.x = kLeft + i % 600;
        EXPECT_EQ(mouseHook(HC_ACTION, WM_MOUSEMOVE, reinterpret_cast<LPARAM>(&record)), 1);
        EXPECT_EQ(keyboardHook(HC_ACTION, 'A', 1), 1);
    }
    EXPECT_EQ(allocations.load() - before, 0);
    CloseHandle(sink);
}
