// Helpers for the unit tests: scratch folders, whole-file I/O, and hand-made payload archives
// (records laid out and enciphered here, independently of the archive writer).
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "archive/format.h"

typedef std::vector<uint8_t> Bytes;

// A fresh folder under /tmp, removed with everything in it when the object goes.
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

Bytes ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const Bytes& bytes);
bool FileExists(const std::string& path);
Bytes BytesOf(const std::string& text);
// Deterministic pseudo-random bytes (fixed seed per call).
Bytes PseudoRandomBytes(size_t count, uint32_t seed);

// A record as the writer makes it: record_size 40, the directory magic.
DirectoryRecord MakeRecord(const std::string& name, uint8_t method, uint8_t xor_key,
                           uint32_t data_offset, uint32_t stored_size, uint32_t original_size,
                           int32_t marker_offset = -1);
DirectoryRecord MakeInlineRecord(const std::string& name, const Bytes& data, uint8_t length_byte);

// The enciphered directory for `records` given in the order they were added; the first added
// stands last in the file and carries the count.
Bytes EncipherDirectory(std::vector<DirectoryRecord> records_in_added_order);

// An archive: `prefix`, then the data of each entry (stored as given), then the directory.
// Offsets are filled in from the layout.
struct TestEntry {
    std::string name;
    Bytes data;          // bytes as they stand in the file
    uint8_t method = 0;  // 0 stored, 1 compressed, 0xFF inline
    uint8_t xor_key = 0;
    uint32_t original_size = UINT32_MAX;  // default: data size
};
Bytes BuildTestArchive(const Bytes& prefix, const std::vector<TestEntry>& entries_in_added_order);
