// Controls that make the simulated calls as cheap as they can be, for benchmarks: call
// accounting can be switched off, and a loopback handle takes writes without queueing them.
#pragma once

#include <windows.h>

#include <cstdint>

namespace sim {

// Switches call counting and fault injection on or off (on at start). While off, Fails()
// returns false at once, CallCount stops growing and FailNext/FailAlways have no effect.
void SetCallAccounting(bool on);

// A handle that stands for a message-mode pipe end with an endless supply: WriteFile takes
// every record whole and keeps the last one (up to 512 bytes), and every ReadFile delivers
// that last record again (ERROR_MORE_DATA, with the buffer filled, when it is longer than the
// read). A writer or reader can run on it without a peer draining or filling a queue.
HANDLE CreateLoopbackHandle();
// Writes the loopback handle has taken.
uint64_t LoopbackWrites(HANDLE loopback);

} // namespace sim
