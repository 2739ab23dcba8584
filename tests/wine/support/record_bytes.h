// Expected wire bytes of a game-pipe record, built from its 32-bit words (little-endian) and an
// optional 256-byte key-state table.
#pragma once

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

using Bytes = std::vector<BYTE>;

inline Bytes Le(std::initializer_list<uint32_t> words, const BYTE* keys = nullptr) {
    Bytes out;
    for (uint32_t w : words)
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<BYTE>(w >> (8 * i)));
    if (keys)
        out.insert(out.end(), keys, keys + 256);
    return out;
}
