// ArchiveWriter: builds a new payload archive from offset 0 of a file; closing it appends the
// enciphered directory.
#pragma once

#include <stdint.h>

#include "archive/transfer.h"
#include "platform/types.h"

// Creates the output file as a new archive, closing an open writer (with its directory) first.
// No file is created while the latch is set. The writer's handle or kInvalidFile.
FileHandle CreateArchive(const char* path);

// As CreateArchive, but the file must not exist yet: whatever stands at `path` (a file, or a
// link planted there) makes it fail without anything written through it.
FileHandle CreateNewArchive(const char* path);

// Closes the writer when `file` is its handle (writing the directory); returns 1 then, else 0.
int CloseWriter(FileHandle file);

// Writes `size` bytes that belong to no entry (an executable the archive follows) and counts
// them in the offsets of later entries. 1, or 0 (latched when armed) on a short write.
int WriteArchivePrefix(const uint8_t* bytes, uint32_t size);

// Adds `size` bytes from memory under `name`, transformed by `flags`. 1 or 0.
int AddEntryFromMemory(const uint8_t* buffer, uint32_t size, const char* name, TransferFlags flags);

// Copies entry `name` of the reader into the writer under the same name. 1 or 0.
int CopyEntry(const char* name, TransferFlags request);

// Adds a record named `new_name` that shares the data of the added record `existing_name`.
int AliasRecord(const char* new_name, const char* existing_name);

// Adds a record to the room: the new count, or 0 when the room is full.
int AppendRecord(const char* name, TransferFlags flags, uint32_t stored_size,
                 uint32_t original_size, uint32_t data_offset, int32_t marker_offset);
