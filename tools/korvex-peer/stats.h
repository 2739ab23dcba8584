// The figures korvex-peer --stats prints once a second: records per second by type (records
// with a wrong size or an unknown tag count as Unknown) and the largest backlog, in bytes
// waiting in the pipe, seen in that second and since the start.
#pragma once

#include "link/record_reader.h"

class PeerStats {
  public:
    void Count(const korvex::Record& record);
    void Backlog(DWORD bytes);
    // Prints one line and starts the next second once a second has passed since the last line,
    // or at once with `now` (the rates then cover the time since the last line).
    void Print(bool json, bool now);

  private:
    static constexpr DWORD kTypes = korvex::kHighestMessageType + 1; // index 0: Unknown
    ULONGLONG start_ = GetTickCount64();
    DWORD counts_[kTypes] = {};
    DWORD backlog_ = 0;
    DWORD backlogSinceStart_ = 0;
};
