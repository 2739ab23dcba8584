// ReadNextRecord: one ReadPipe of the largest record's size, the rest of a longer message
// skipped, then the message classified and decoded by record_codec.
#include "link/record_reader.h"

namespace korvex {

namespace {

// Takes the rest of a message that did not fit off the pipe; returns how many bytes it had.
DWORD SkipRest(GamePipe& pipe) {
    BYTE chunk[4096];
    DWORD total = 0;
    for (;;) {
        DWORD read = 0;
        bool done = ReadPipe(pipe, chunk, sizeof chunk, read);
        total += read;
        if (done || GetLastError() != ERROR_MORE_DATA)
            return total;
    }
}

} // namespace

bool ReadNextRecord(GamePipe& pipe, Record& record) {
    DWORD read = 0;
    bool whole = ReadPipe(pipe, record.bytes, sizeof record.bytes, read);
    if (!whole && GetLastError() != ERROR_MORE_DATA)
        return false;
    record.count = read;
    record.size = whole ? read : read + SkipRest(pipe);
    ClassifyRecord(record);
    return true;
}

} // namespace korvex
