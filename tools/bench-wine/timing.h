// Timing helpers for the Wine benchmark: a monotonic clock in seconds and in counter ticks,
// waiting for a tick, the median of a few rounds and percentiles of many samples; and the phase
// protocol between the benchmark's two processes.
#pragma once

#include <windows.h>

#include <vector>

double Now();
double Median(std::vector<double> values);
// QueryPerformanceCounter, which reads the same clock in every process, and its rate.
LONGLONG Ticks();
LONGLONG TicksPerSecond();
// Waits until Ticks() reaches `due`: sleeps while more than 1.5 ms remain, then yields.
void WaitUntil(LONGLONG due);
// The sample at fraction `p` (0 to 1) of the sorted values; 0 for none.
double Percentile(std::vector<double>& values, double p);

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
    kPhaseRecordRead = 6,  // ReadNextRecord per record, waiting in the read
    kPhaseLatencyHook = 7, // ReadNextRecord per record, stamping each in the shared table
    kPhaseLatencyBare = 8, // ReadFile of 280 bytes per record, stamping each likewise
};
constexpr DWORD kBenchPipeNumber = 0xBE7C;

// The peer process: creates the server end, answers phases until told to quit.
int RunPeer();
