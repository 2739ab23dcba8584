// Timing helpers for the Wine benchmark: a monotonic clock in seconds, pacing a loop to a rate,
// and the median of a few rounds.
#pragma once

#include <windows.h>

#include <vector>

double Now();
double Median(std::vector<double> values);

// The shared protocol between the benchmark's game side and its peer: before each phase the
// game sends ValuePair(phase, records), the records, then a Notice as end mark; the peer reads
// up to the end mark and answers ValuePair(received, peak backlog).
enum Phase : DWORD {
    kPhaseRawRead = 1,   // ReadFile of 280 bytes per record
    kPhaseCodecRead = 2, // PeekMessageType + ReadMouseInput per record
    kPhaseDrain = 3,     // the same reads as kPhaseCodecRead, while the game measures itself
    kPhaseQuit = 4,
    kPhaseHold = 5, // read nothing until `records` bytes wait (a cost measured without a reader
                    // competing for the processors), then as kPhaseCodecRead
};
constexpr DWORD kBenchPipeNumber = 0xBE7C;

// The peer process: creates the server end, answers phases until told to quit.
int RunPeer();
