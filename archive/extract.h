// Entry extraction out of the open reader, into a file or memory. Both reading operations do
// nothing while the latch is set and latch their failures when armed.
#pragma once

#include <stdint.h>

#include "platform/types.h"

// Writes the content of entry `name` (inline, stored and unscrambled, or expanded) to a new file
// at `path`. A partly written file is left in place on failure. 1 or 0.
int ExtractEntry(const char* name, const char* path);

// As ExtractEntry, but into a file that must not exist yet: whatever stands at `path` (a file
// or a link planted there) makes it fail without writing anything through it.
int ExtractEntryToNewFile(const char* name, const char* path);

// Reads the content of the normal entry `name` into `buffer`; never writes past `capacity`
// bytes. A stored entry longer than the capacity is cut to it (success); a compressed entry that
// would expand beyond it fails. 1 or 0.
int ReadEntryToMemory(const char* name, uint8_t* buffer, uint32_t capacity);

// Creates (or truncates) a file for exclusive writing.
FileHandle CreateOutputFile(const char* path);
