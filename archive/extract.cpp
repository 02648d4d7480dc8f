// Entry extraction: positions the reader at an entry's data and lets the transfer engine move
// them, expanded or unscrambled, into a new file or a caller's buffer.
#include "archive/extract.h"

#include "archive/reader.h"
#include "archive/sticky_error.h"
#include "archive/transfer.h"
#include "platform/files.h"

// Flags that turn an entry's data back into its content: compressed entries are expanded (their
// key is never applied), stored entries are unscrambled with their key.
static TransferFlags ContentFlags(const DirectoryRecord* record) {
    if (record->method != kMethodStored) return Decompress;
    return record->xor_key;
}

// Inline data live in the record itself; success when every byte reached the file.
static int WriteInlineEntry(const char* name, FileHandle out) {
    uint8_t bytes[kInlineCapacity];
    uint32_t length = 0;
    if (!ReadInlineEntry(name, bytes, &length)) return 0;
    if (length == 0) return 1;
    return PlatWrite(out, bytes, length) == length;
}

static int WriteNormalEntry(const DirectoryRecord* record, FileHandle out) {
    const FileHandle in = ReaderHandle();
    if (!PlatSeek(in, record->data_offset)) return 0;
    uint32_t count = record->stored_size;
    const TransferFlags flags = ContentFlags(record);
    // An expansion must give the size the record states; more or less means damage.
    return TransferEntryData(in, out, &count, flags) &&
           (!(flags & Decompress) || count == record->original_size);
}

static int Extract(const char* name, const char* path, FileHandle (*create)(const char*)) {
    if (StickyError.latched) return 0;
    int ok = 0;
    const DirectoryRecord* record = nullptr;
    if (ReaderHandle() != kInvalidFile && name)
        record = FindRecord(name, kClassNormal | kClassInline);
    if (record && path) {
        const FileHandle out = create(path);
        if (out != kInvalidFile) {
            if (record->method == kMethodInline) {
                ok = WriteInlineEntry(name, out);
            } else {
                ok = WriteNormalEntry(record, out);
            }
            PlatClose(out);
        }
    }
    if (!ok) LatchFailure();
    return ok;
}

int ReadEntryToMemory(const char* name, uint8_t* buffer, uint32_t capacity) {
    if (StickyError.latched) return 0;
    int ok = 0;
    const DirectoryRecord* record = nullptr;
    if (ReaderHandle() != kInvalidFile && name) record = FindRecord(name, kClassNormal);
    if (record && PlatSeek(ReaderHandle(), record->data_offset)) {
        // A stored entry is cut to the buffer. An expansion is bounded by the buffer too: the
        // count on entry is the memory sink's capacity, and a stream that needs more fails
        // without writing past it. The comparison is unsigned so that a size of 2 GB or more
        // cannot slip under the bound.
        uint32_t count = capacity;
        if (record->method == kMethodStored && record->stored_size < capacity)
            count = record->stored_size;
        const TransferFlags flags = ContentFlags(record);
        ok = TransferEntryData(ReaderHandle(), reinterpret_cast<intptr_t>(buffer), &count,
                               ToMemory | flags);
        // As for a file: an expansion that gives other than the stated size is damaged.
        if (ok && (flags & Decompress) && count != record->original_size) ok = 0;
    }
    if (!ok) LatchFailure();
    return ok;
}

FileHandle CreateOutputFile(const char* path) {
    if (!path) return kInvalidFile;
    return PlatCreateWrite(path);
}

int ExtractEntry(const char* name, const char* path) {
    return Extract(name, path, CreateOutputFile);
}

int ExtractEntryToNewFile(const char* name, const char* path) {
    return Extract(name, path, PlatCreateNew);
}
