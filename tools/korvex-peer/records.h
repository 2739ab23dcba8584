// Taking one record off the game pipe and printing it on one line, as text or as JSON.
#pragma once

#include "link/pipe.h"

enum class ReceiveResult { Printed, Empty, Closed };

// Takes the next record (if any) off `pipe` and prints it to stdout. A record whose tag is not
// in the catalogue, or whose size does not match its tag, is printed as unknown with its size
// and bytes and skipped.
ReceiveResult ReceiveAndPrint(GamePipe& pipe, bool json);
