#include "tests/unit/archive/archive_helpers.h"

#include <string.h>

#include "archive/cipher.h"
#include "archive/extract.h"
#include "archive/reader.h"
#include "archive/sticky_error.h"
#include "archive/transfer.h"
#include "platform/host/host.h"

Bytes CompressedBytes(const Bytes& plain) {
    // A block stream is at most a few percent larger than its input.
    Bytes out(plain.size() + plain.size() / 4 + 4096);
    uint32_t count = static_cast<uint32_t>(plain.size());
    const int ok = TransferEntryData(reinterpret_cast<intptr_t>(plain.data()),
                                     reinterpret_cast<intptr_t>(out.data()), &count,
                                     Compress | FromMemory | ToMemory);
    EXPECT_EQ(ok, 1);
    out.resize(count);
    return out;
}

RecordFields FieldsOf(const DirectoryRecord& r) {
    return {r.count_or_length, r.method,
            r.xor_key,         std::string(r.name, strnlen(r.name, kNameSize)),
            r.data_offset,     r.stored_size,
            r.original_size,   r.marker_offset,
            r.record_size,     r.magic};
}

std::vector<RecordFields> DirectoryTail(const Bytes& file, uint32_t count) {
    if (file.size() < count * kRecordSize) return {};
    Bytes tail(file.end() - count * kRecordSize, file.end());
    SetCipherKey(kDirectoryKey);
    CipherBytes(tail.data(), static_cast<uint32_t>(tail.size()), 0);
    std::vector<RecordFields> records;
    for (uint32_t i = 0; i < count; ++i) {
        DirectoryRecord r;
        memcpy(&r, tail.data() + i * kRecordSize, kRecordSize);
        records.push_back(FieldsOf(r));
    }
    return records;
}

Bytes EntryContent(const char* name, bool* ok) {
    const DirectoryRecord* record = FindRecord(name, kClassNormal | kClassInline);
    *ok = false;
    if (!record) return {};
    if (record->method == kMethodInline) {
        uint8_t bytes[16];
        uint32_t length = 0;
        *ok = ReadInlineEntry(name, bytes, &length) == 1;
        return Bytes(bytes, bytes + length);
    }
    Bytes content(record->original_size);
    *ok = ReadEntryToMemory(name, content.data(), record->original_size) == 1;
    return content;
}

Bytes Slice(const Bytes& file, uint32_t offset, uint32_t size) {
    if (static_cast<uint64_t>(offset) + size > file.size()) return {};
    return Bytes(file.begin() + offset, file.begin() + offset + size);
}

void ArchiveTest::SetUp() {
    HostReset();
    CloseArchive(ReaderHandle());
    SetStickyErrorMode(0);
}

void ArchiveTest::TearDown() {
    CloseArchive(writer);
    CloseArchive(ReaderHandle());
    SetStickyErrorMode(0);
    HostReset();
}
