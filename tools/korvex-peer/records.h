// Printing one record from the game pipe on one line, as text or as JSON.
#pragma once

#include "link/record_reader.h"

// The record's name as the peer prints it ("MouseInput", ...); "Unknown" outside the catalogue.
const char* RecordName(korvex::MessageType type);

// Prints `record` to stdout. A record with a wrong size or an unknown tag prints as "Unknown"
// with its tag (when it has four bytes), its whole size and the bytes the reader kept.
void PrintRecord(const korvex::Record& record, bool json);
