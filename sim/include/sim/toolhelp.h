// Scripting the simulated thread snapshots.
#pragma once

#include <windows.h>

#include <vector>

namespace sim {

// One thread of the simulated system. `reportedSize` is the dwSize that Thread32First/Next
// hand back for this record (capped at the caller's dwSize); a value below 16 simulates a
// record that stops short of th32OwnerProcessID, though the owner field is still filled.
struct ThreadRecord {
    DWORD threadId;
    DWORD ownerProcessId;
    DWORD reportedSize = sizeof(THREADENTRY32);
};

// Replaces the system's thread table; snapshots taken afterwards list these, in this order.
void SetThreads(const std::vector<ThreadRecord>& threads);
// Snapshot handles created and not yet closed.
unsigned OpenSnapshotCount();

} // namespace sim
