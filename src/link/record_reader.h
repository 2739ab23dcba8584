// The one-call reader of the game pipe, for the overlay's side: the next record, whatever its
// type, taken with one read into a buffer of the largest record's size and decoded by its tag
// into a Record (record_codec.h). A message whose size does not match its tag, or whose tag the
// catalogue does not define, comes back as such with its bytes; the call after it reads the next
// message.
#pragma once

#include "link/messages.h"
#include "link/record_codec.h"

namespace korvex {

// Takes the next message off the pipe with one ReadFile (which waits while the pipe is empty)
// and decodes it into `record`. A message longer than kLargestRecordSize keeps its first bytes
// in `bytes` and its whole length in `size`; its rest is taken off with further reads so that
// the next call starts at the next message. False only when the read failed (the pipe broke or
// closed; GetLastError tells); `record` then holds nothing of use.
bool ReadNextRecord(GamePipe& pipe, Record& record);

} // namespace korvex
