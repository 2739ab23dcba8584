// The table of counter stamps that the benchmark's two processes share for the latency phases.
// A record carries its event's sequence number in its x field (the game side moves the cursor
// to x = sequence in the window's client area, and the hook sends x relative to that area), so
// the wire format stays as it is: the game stamps each event just before and after the call,
// the overlay stamps when its read began and when it held the decoded record, each in the row
// of that sequence number. Every row is written by one process and read by the other only
// after a pipe message between them, which orders the accesses.
#pragma once

#include <windows.h>

struct EventStamps {
    LONGLONG called;      // game: just before the hook procedure (or WriteFile) is called
    LONGLONG returned;    // game: just after it returned
    LONGLONG readStarted; // overlay: when the read that delivered the record began
    LONGLONG decoded;     // overlay: when it held the decoded record; 0 while it has not
};

constexpr DWORD kMaxEvents = 1 << 15;

struct StampTable {
    EventStamps events[kMaxEvents];
};

// The table in a named section of the paging file, made by whichever process comes first and
// mapped once per process; null when it cannot be made.
StampTable* SharedStamps();
