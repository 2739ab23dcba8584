// Simulated Windows hooks: the hook chain's next-hook call.
#include "internal.h"

#include <sim/hooks.h>

#include <atomic>

namespace sim {
namespace {
std::atomic<LRESULT> nextHookResult{0};
}
void SetNextHookResult(LRESULT result) { nextHookResult = result; }
} // namespace sim

LRESULT CallNextHookEx(HHOOK, int, WPARAM, LPARAM) {
    sim::Fails("CallNextHookEx");
    return sim::nextHookResult;
}
