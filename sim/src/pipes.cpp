// Simulated named pipes and events (placeholder until the pipe simulation lands).
#include "internal.h"

namespace sim {
HANDLE OpenPipeClient(LPCSTR, DWORD, DWORD) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}
void NotifyTimeChanged() {}
} // namespace sim
