// The Windows type names the platform-free code uses, for its native build under the fuzzer.
// Nothing else of the platform exists there.
#pragma once

#include <cstdint>

typedef uint32_t DWORD;
typedef uint8_t BYTE;
