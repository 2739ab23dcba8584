// Simulated cursor, keyboard state and raw input.
#include "internal.h"

namespace sim {
namespace {
HCURSOR const arrowCursor = reinterpret_cast<HCURSOR>(0x10011);
}
} // namespace sim

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
    if (sim::Fails("LoadCursorA"))
        return nullptr;
    if (instance == nullptr && name == IDC_ARROW)
        return sim::arrowCursor;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
}
