// The peer's commands, typed one per line on standard input, and sending them to the game.
#pragma once

#include "link/pipe.h"

enum class CommandResult { Sent, Quit, Invalid, SendFailed };

// Parses one line and sends the message it names; an empty line is Invalid.
CommandResult RunCommand(korvex::GamePipe& pipe, const char* line);

// The command summary printed by --help.
extern const char* const kCommandHelp;
