// Any bytes as the tail of an installer's file: opening it as a payload archive, every lookup,
// and reading each entry into memory. Nothing may be read or written outside the buffers given,
// and what the reader reports must stay inside the directory's limits.
#include <stdint.h>
#include <string.h>

#include <vector>

#include "archive/extract.h"
#include "archive/reader.h"
#include "archive/sticky_error.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// Largest entry read into memory per run; bigger claims are read into a buffer this size.
constexpr uint32_t kMemoryCap = 1 << 16;

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

void ReadEveryEntry() {
    const uint32_t count = ReaderRecordCount();
    Check(count >= 1 && count <= kMaxRecords);
    Check(ReaderRecord(count) == nullptr);
    for (uint32_t i = 0; i < count; ++i) {
        const DirectoryRecord* record = ReaderRecord(i);
        Check(record != nullptr);
        char name[kNameSize + 1] = {0};
        memcpy(name, record->name, kNameSize);
        const DirectoryRecord* decisive = FindRecord(name, kClassNormal | kClassInline);
        // A name that a later record carries too is decided by that record; an empty or
        // cut name may find nothing at all.
        if (decisive) Check(NameMatches(decisive->name, name));
        int32_t stored = GetStoredSize(name);
        int32_t original = GetOriginalSize(name);
        (void)stored;
        uint8_t inline_data[kInlineCapacity];
        uint32_t length = 99;
        ReadInlineEntry(name, inline_data, &length);
        Check(length <= kInlineCapacity);
        if (original >= 0) {
            uint32_t capacity = static_cast<uint32_t>(original);
            if (capacity > kMemoryCap) capacity = kMemoryCap;
            // Exact size: AddressSanitizer reports any byte written past the capacity.
            std::vector<uint8_t> buffer(capacity ? capacity : 1);
            ReadEntryToMemory(name, buffer.data(), capacity);
        }
        SameEntryData(name, "MOVIE");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* path = MemoryFile(data, size);
    // Both modes of the latch: the build runs armed, the check and the settings disarmed.
    SetStickyErrorMode(size & 1);
    FileHandle archive = OpenArchive(path);
    if (archive != kInvalidFile) {
        Check(ArchiveOpenStage == 3);
        ReadEveryEntry();
        uint32_t length = 0;
        uint8_t inline_data[kInlineCapacity];
        ReadInlineEntry("INFO", inline_data, &length);
        FindRecord("ADDTL01", kClassNormal);
    } else {
        Check(ReaderRecordCount() == 0);
    }
    CloseArchive(archive);
    SetStickyErrorMode(0);
    return 0;
}
