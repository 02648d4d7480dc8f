// Helpers of the archive tests: block streams made in memory, the directory at the end of a
// written file read back, and a fixture that puts the archive layer back to its start.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "archive/format.h"
#include "platform/types.h"
#include "tests/unit/support/test_support.h"

// The block stream of `plain` compressed with key 0 (memory to memory through the engine).
Bytes CompressedBytes(const Bytes& plain);

// A record's fields, unpacked so that test macros may bind references to them.
struct RecordFields {
    uint8_t count_or_length, method, xor_key;
    std::string name;  // up to the first NUL, at most 16 characters
    uint32_t data_offset, stored_size, original_size;
    int32_t marker_offset;
    uint8_t record_size;
    uint32_t magic;
};
RecordFields FieldsOf(const DirectoryRecord& record);

// The last `count` records of `file`, deciphered as one stream with a fresh key, in file order
// (the last one is the first added).
std::vector<RecordFields> DirectoryTail(const Bytes& file, uint32_t count);

// The content of `name` in the open reader, read with ReadEntryToMemory into a buffer of its
// original size (inline entries through ReadInlineEntry). Empty with ok = false on failure.
Bytes EntryContent(const char* name, bool* ok);

// Bytes [offset, offset + size) of `file`, or empty when they run past its end.
Bytes Slice(const Bytes& file, uint32_t offset, uint32_t size);

// Resets the host simulation and the latch before each test; closes the reader after it. A test
// that opens a writer keeps its handle in `writer`, which is closed after the test too.
class ArchiveTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    ScratchDir dir;
    FileHandle writer = kInvalidFile;
};
