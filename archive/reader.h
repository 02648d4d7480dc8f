// ArchiveReader: the one open input archive, its directory and lookups.
#pragma once

#include <stdint.h>

#include "archive/format.h"
#include "platform/types.h"

// The buffer of the running program's own path; a longer path counts as a file that cannot be
// opened.
constexpr uint32_t kModulePathSize = 256;

// How far the latest OpenArchive got:
//  0 the latch was already set; 1 the file could not be opened; 2 its directory bytes could not
//  be read in full; 3 read, but no valid directory among the last 32 records (a successful open
//  also ends at 3).
extern int ArchiveOpenStage;

// Opens `path`, or the running program's own file when it is null, closing an open reader first.
// Finds and deciphers the directory. Returns the reader's handle, or kInvalidFile (the stage
// tells why; the latch is set when armed). Does nothing but close while the latch is set.
FileHandle OpenArchive(const char* path);

// The reader's handle, kInvalidFile when it is closed.
FileHandle ReaderHandle();

// Closes the reader when `file` is its handle; returns 1 then, else 0.
int CloseReader(FileHandle file);

// Closes the reader or the writer, whichever owns `file`; any other handle is ignored.
void CloseArchive(FileHandle file);

// Where the open archive's directory ends: the end of the file, or in a signed file the start of
// the certificate table less its alignment padding (0 when none is open).
uint32_t ReaderArchiveEnd();
// The size of the certificate table that follows the open archive; 0 when the file is unsigned.
uint32_t ReaderCertificateSize();

// Number of records of the open directory (0 when none is open).
uint32_t ReaderRecordCount();
// The record `index` in directory order, 0 being the record that stands last in the file (the
// first one added). Null past the count.
const DirectoryRecord* ReaderRecord(uint32_t index);

// The record that decides `name` (the latest added of that name) when its class is among
// `classes`; null otherwise. Neither consults nor changes the latch.
const DirectoryRecord* FindRecord(const char* name, int classes);

// Fields of the normal entry `name`, or -1 when there is none.
int32_t GetStoredSize(const char* name);
int32_t GetOriginalSize(const char* name);

// 1 when both names are normal entries with the same data_offset.
int SameEntryData(const char* name_a, const char* name_b);

// Copies the inline entry's bytes (a length byte below 0 or above 16 counts as 0) into `buffer`
// of 16 bytes. `length` (may be null) receives the count, 0 when nothing was found. 1 or 0.
int ReadInlineEntry(const char* name, uint8_t* buffer, uint32_t* length);
