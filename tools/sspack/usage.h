// The usage text of sspack: one table of commands and their options, printed by `sspack --help`,
// `sspack help [COMMAND]`, `sspack COMMAND --help` and after a usage error.
#pragma once

#include <cstdio>

struct CommandUsage {
    const char* name;
    const char* synopsis;  // the arguments after "sspack NAME"
    const char* summary;   // one line
};

struct OptionUsage {
    const char* command;  // the command it belongs to
    const char* option;   // as typed, with its argument
    const char* meaning;  // one line
};

// The usage of `command` (its synopsis, summary and options), or of every command when null.
// False when there is no such command.
bool PrintUsage(std::FILE* out, const char* command);

// "sspack NAME SYNOPSIS" of one command, for the one-line usage after an error.
void PrintSynopsis(std::FILE* out, const char* command);

// The version line: the project's version and, where the build knew it, its commit.
const char* VersionText();
