// ArchiveReader: opens a file, finds its enciphered directory among the last 32 records and
// answers lookups. Only the tail of the archive is examined, so it may follow anything; in a
// signed file the archive ends before the certificate table (archive/format.h).
#include "archive/reader.h"

#include <string.h>

#include "archive/cert_table.h"
#include "archive/cipher.h"
#include "archive/sticky_error.h"
#include "platform/files.h"

namespace {

constexpr uint32_t kRoomSize = kMaxRecords * kRecordSize;

FileHandle reader_file = kInvalidFile;  // the open input archive
uint32_t record_count;                  // N of the directory found (0..32)
uint32_t archive_end;                   // where the directory found ends
uint32_t certificate_size;              // the certificate table after it, 0 for none
// The last records of the file, held at the end of the room in file order: the record at the
// end of the file is in the last slot (1,280 bytes).
DirectoryRecord room[kMaxRecords];

uint8_t* RoomBytes() {
    return reinterpret_cast<uint8_t*>(room);
}

void FailOpen() {
    reader_file = kInvalidFile;
    record_count = 0;
    archive_end = 0;
    certificate_size = 0;
    LatchFailure();
}

// Tries the directory sizes 1..available; the one whose last record deciphers to the magic with
// the matching count wins. A failed trial is enciphered again, which restores its bytes.
uint32_t FindDirectory(uint32_t available) {
    for (uint32_t i = 1; i <= available; ++i) {
        uint8_t* start = RoomBytes() + kRoomSize - kRecordSize * i;
        SetCipherKey(kDirectoryKey);
        CipherBytes(start, kRecordSize * i, 0);
        const DirectoryRecord& last = room[kMaxRecords - 1];
        if (last.magic == kDirectoryMagic &&
            static_cast<int8_t>(last.count_or_length) == static_cast<int32_t>(i))
            return i;
        SetCipherKey(kDirectoryKey);
        CipherBytes(start, kRecordSize * i, 1);
    }
    return 0;
}

}  // namespace

int ArchiveOpenStage;

FileHandle ReaderHandle() {
    return reader_file;
}

int CloseReader(FileHandle file) {
    if (file == kInvalidFile || file != reader_file) return 0;
    PlatClose(reader_file);
    reader_file = kInvalidFile;
    record_count = 0;
    archive_end = 0;
    certificate_size = 0;
    return 1;
}

FileHandle OpenArchive(const char* path) {
    CloseReader(reader_file);
    ArchiveOpenStage = 0;
    if (StickyError.latched) return kInvalidFile;

    char module_path[kModulePathSize];
    if (!path) {
        // A path that does not fit the buffer is no path: cut, it could name another file.
        path = PlatModuleFileName(module_path, sizeof module_path) ? module_path : nullptr;
    }
    FileHandle file = path ? PlatOpenRead(path) : kInvalidFile;
    ArchiveOpenStage = 1;
    if (file == kInvalidFile) {
        FailOpen();
        return kInvalidFile;
    }

    // A signed file: the directory ends at the certificate table or up to 7 zero bytes before it.
    uint32_t end = PlatFileSize(file);
    uint32_t ends_to_try = 1;
    CertificateTable table = {0, 0, 0};
    if (FindCertificateTable(file, end, &table)) {
        end = table.start;
        ends_to_try = table.zero_bytes + 1;
    }
    uint32_t found = 0;
    for (uint32_t k = 0; k < ends_to_try && found == 0; ++k) {
        const uint32_t size = end - k;
        const uint32_t available =
            size / kRecordSize < kMaxRecords ? size / kRecordSize : kMaxRecords;
        const uint32_t bytes = available * kRecordSize;
        const int positioned = PlatSeek(file, size - bytes);
        const uint32_t got =
            positioned ? PlatRead(file, RoomBytes() + kRoomSize - bytes, bytes) : 0;
        ArchiveOpenStage = 2;
        if (!positioned || got < bytes) {
            PlatClose(file);
            FailOpen();
            return kInvalidFile;
        }
        ArchiveOpenStage = 3;
        found = FindDirectory(available);
        if (found) archive_end = size;
    }
    if (found == 0) {
        PlatClose(file);
        FailOpen();
        return kInvalidFile;
    }
    certificate_size = table.size;
    reader_file = file;
    record_count = found;
    return file;
}

uint32_t ReaderArchiveEnd() {
    return archive_end;
}

uint32_t ReaderCertificateSize() {
    return certificate_size;
}

uint32_t ReaderRecordCount() {
    return record_count;
}

const DirectoryRecord* ReaderRecord(uint32_t index) {
    if (index >= record_count) return nullptr;
    return &room[kMaxRecords - 1 - index];
}

const DirectoryRecord* FindRecord(const char* name, int classes) {
    for (uint32_t i = 0; i < record_count; ++i) {
        const DirectoryRecord* record = &room[kMaxRecords - 1 - i];
        if (!NameMatches(record->name, name)) continue;
        int record_class = record->method == kMethodInline ? kClassInline : kClassNormal;
        return (record_class & classes) ? record : nullptr;
    }
    return nullptr;
}

int32_t GetStoredSize(const char* name) {
    const DirectoryRecord* record = FindRecord(name, kClassNormal);
    return record ? static_cast<int32_t>(record->stored_size) : -1;
}

int32_t GetOriginalSize(const char* name) {
    const DirectoryRecord* record = FindRecord(name, kClassNormal);
    return record ? static_cast<int32_t>(record->original_size) : -1;
}

int SameEntryData(const char* name_a, const char* name_b) {
    const DirectoryRecord* a = FindRecord(name_a, kClassNormal);
    const DirectoryRecord* b = FindRecord(name_b, kClassNormal);
    return a && b && a->data_offset == b->data_offset;
}

int ReadInlineEntry(const char* name, uint8_t* buffer, uint32_t* length) {
    if (length) *length = 0;
    if (reader_file == kInvalidFile) return 0;
    const DirectoryRecord* record = FindRecord(name, kClassInline);
    if (!record) return 0;
    int32_t n = static_cast<int8_t>(record->count_or_length);
    if (n < 0 || n > static_cast<int32_t>(kInlineCapacity)) n = 0;
    memcpy(buffer, reinterpret_cast<const uint8_t*>(record) + kInlineOffset,
           static_cast<size_t>(n));
    if (length) *length = static_cast<uint32_t>(n);
    return 1;
}
