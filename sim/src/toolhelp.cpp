// Simulated thread snapshots: CreateToolhelp32Snapshot (TH32CS_SNAPTHREAD) copies the thread
// table a test set; Thread32First and Thread32Next walk that copy.
#include "internal.h"

#include <sim/toolhelp.h>

#include <algorithm>
#include <atomic>

namespace sim {
namespace {

std::mutex tableMutex;
std::vector<ThreadRecord> threadTable;
std::atomic<unsigned> openSnapshots{0};

struct Snapshot : Object {
    explicit Snapshot(std::vector<ThreadRecord> threads) : threads(std::move(threads)) {
        ++openSnapshots;
    }
    void Closed() override { --openSnapshots; }
    std::vector<ThreadRecord> threads;
    size_t next = 0;
};

// Fills `entry` with the snapshot's next record, like Windows: the caller must state the full
// record size, and the end of the list is ERROR_NO_MORE_FILES.
BOOL NextThread(HANDLE handle, LPTHREADENTRY32 entry, bool restart) {
    auto snapshot = Find<Snapshot>(handle);
    if (!snapshot) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (entry->dwSize < sizeof(THREADENTRY32)) {
        SetLastError(ERROR_BAD_LENGTH);
        return FALSE;
    }
    if (restart)
        snapshot->next = 0;
    if (snapshot->next >= snapshot->threads.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    const ThreadRecord& record = snapshot->threads[snapshot->next++];
    entry->dwSize = std::min<DWORD>(entry->dwSize, record.reportedSize);
    entry->cntUsage = 0;
    entry->th32ThreadID = record.threadId;
    entry->th32OwnerProcessID = record.ownerProcessId;
    entry->tpBasePri = 8;
    entry->tpDeltaPri = 0;
    entry->dwFlags = 0;
    return TRUE;
}

} // namespace

void SetThreads(const std::vector<ThreadRecord>& threads) {
    std::lock_guard<std::mutex> guard(tableMutex);
    threadTable = threads;
}

unsigned OpenSnapshotCount() {
    return openSnapshots;
}

} // namespace sim

// A thread snapshot lists every thread of the system whatever process id is given; without
// TH32CS_SNAPTHREAD it lists none.
HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD) {
    if (sim::Fails("CreateToolhelp32Snapshot"))
        return INVALID_HANDLE_VALUE;
    std::vector<sim::ThreadRecord> threads;
    if (flags & TH32CS_SNAPTHREAD) {
        std::lock_guard<std::mutex> guard(sim::tableMutex);
        threads = sim::threadTable;
    }
    return sim::AddObject(std::make_shared<sim::Snapshot>(std::move(threads)));
}

BOOL Thread32First(HANDLE snapshot, LPTHREADENTRY32 entry) {
    if (sim::Fails("Thread32First"))
        return FALSE;
    return sim::NextThread(snapshot, entry, true);
}

BOOL Thread32Next(HANDLE snapshot, LPTHREADENTRY32 entry) {
    if (sim::Fails("Thread32Next"))
        return FALSE;
    return sim::NextThread(snapshot, entry, false);
}
