// The rig of the white-box hook tests.
#include "support/hook_rig.h"

#include "link/messages.h"

using namespace korvex;

void HookTest::SetUp() {
    ProcessAttach(nullptr);
    window = CreateTestWindow(RECT{100, 50, 740, 530});
    ASSERT_TRUE(OpenPipePair(pipe));
    ASSERT_NE(proxy.module, nullptr);
    proxy.state = {1, pipe.client.handle, window, 0, 0, 0, 0, 0};
    proxy.Apply();
}

LRESULT HookTest::Mouse(int code, UINT message, POINT pt, DWORD mouseData) {
    MOUSEHOOKSTRUCTEX record = {};
    record.pt = pt;
    record.mouseData = mouseData;
    return mouseHook(code, message, reinterpret_cast<LPARAM>(&record));
}

LRESULT HookTest::GetMsg(UINT message, WPARAM removeFlag) {
    MSG msg = {window, message, 0, 1, 0, {0, 0}};
    return getmsgHook(HC_ACTION, removeFlag, reinterpret_cast<LPARAM>(&msg));
}

Bytes HookTest::Next() {
    Bytes record(kMouseInputSize);
    DWORD read = 0;
    if (!PipeHasData(pipe.server) || !ReadPipe(pipe.server, record.data(), kMouseInputSize, read))
        read = 0;
    record.resize(read);
    return record;
}

XY HookTest::Tracked() {
    int32_t x = 0, y = 0;
    EXPECT_TRUE(TrackedCursorPos(&x, &y));
    return XY(x, y);
}

long Allocations = 0, FailAt = 0;
static ImportPatch *Heap = nullptr, *Local = nullptr;

static void* __cdecl WatchedMalloc(size_t size) {
    return ++Allocations == FailAt ? nullptr : Heap->Original<void*(__cdecl*)(size_t)>()(size);
}

static HLOCAL WINAPI WatchedLocalAlloc(UINT flags, SIZE_T size) {
    using Alloc = HLOCAL(WINAPI*)(UINT, SIZE_T);
    return ++Allocations == FailAt ? nullptr : Local->Original<Alloc>()(flags, size);
}

AllocationWatch::AllocationWatch()
    : heap(nullptr, "msvcrt.dll", "malloc", reinterpret_cast<void*>(&WatchedMalloc)),
      local(nullptr, "kernel32.dll", "LocalAlloc", reinterpret_cast<void*>(&WatchedLocalAlloc)) {
    Heap = &heap;
    Local = &local;
    Allocations = FailAt = 0;
    EXPECT_TRUE(heap.Applied() && local.Applied());
}

bool MoveCursor(LONG x, LONG y) {
    SetCursorPos(x, y);
    return PumpUntil([&] {
        POINT p = {};
        return GetCursorPos(&p) && p.x == x && p.y == y;
    });
}
