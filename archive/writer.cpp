// ArchiveWriter: entry data go out one after another from offset 0; their records collect in
// the room, and closing the writer appends them as the enciphered directory.
#include "archive/writer.h"

#include <string.h>

#include "archive/cipher.h"
#include "archive/extract.h"
#include "archive/format.h"
#include "archive/reader.h"
#include "archive/sticky_error.h"
#include "platform/files.h"

// Module state.
static FileHandle WriterFile = kInvalidFile;  // the output file; kInvalidFile while closed
static uint32_t RecordCount;                  // records added, 0..32
// 32 x 40 = 1,280 bytes. The first record added takes the last slot and each later one the slot
// before, so the used slots are the directory exactly as it stands at the end of the file.
static DirectoryRecord Room[kMaxRecords];
static uint32_t RunningOffset;  // bytes written since creation: the next entry's data_offset

// The bits a request may carry into a transfer; the memory bits belong to the engine's callers.
static constexpr TransferFlags kRequestBits = KeyByte | Compress | Decompress | Unscramble;

// Counts bytes written to the file. Offsets are 32-bit: what would end past 4 GiB - 1 leaves no
// offset for what follows, so it fails (its bytes stay uncovered, the latch is set then) and
// the offset stops at the limit.
static int CountWritten(uint32_t count) {
    const int fits = count <= 0xFFFFFFFFu - RunningOffset;
    RunningOffset = fits ? RunningOffset + count : 0xFFFFFFFFu;
    return fits;
}

// The slot of the first record added; it carries the count.
static DirectoryRecord* FirstAdded() {
    return &Room[kMaxRecords - 1];
}
static DirectoryRecord* NextSlot() {
    return &Room[kMaxRecords - 1 - RecordCount];
}

// Counts the slot just filled and keeps the count in the first record added.
static int CountNewSlot() {
    ++RecordCount;
    FirstAdded()->count_or_length = static_cast<uint8_t>(RecordCount);
    return static_cast<int>(RecordCount);
}

int AppendRecord(const char* name, TransferFlags flags, uint32_t stored_size,
                 uint32_t original_size, uint32_t data_offset, int32_t marker_offset) {
    if (RecordCount >= kMaxRecords) return 0;
    DirectoryRecord* record = NextSlot();
    record->count_or_length = 0;
    record->method = (flags & Compress) ? kMethodCompressed : kMethodStored;
    record->xor_key = static_cast<uint8_t>(flags & KeyByte);
    SetRecordName(record->name, name ? name : "");
    record->data_offset = data_offset;
    record->stored_size = stored_size;
    record->original_size = original_size;
    // A marker at 0 or outside the content means nothing; the signed comparison is the format's.
    if (marker_offset == 0 || marker_offset >= static_cast<int32_t>(original_size))
        marker_offset = -1;
    record->marker_offset = marker_offset;
    record->record_size = kRecordSize;
    record->magic = kDirectoryMagic;
    return CountNewSlot();
}

static FileHandle StartArchive(const char* path, FileHandle (*create)(const char*)) {
    if (WriterFile != kInvalidFile) CloseWriter(WriterFile);
    RecordCount = 0;
    RunningOffset = 0;
    if (StickyError.latched) return kInvalidFile;
    WriterFile = path ? create(path) : kInvalidFile;
    if (WriterFile == kInvalidFile) LatchFailure();
    return WriterFile;
}

FileHandle CreateArchive(const char* path) {
    return StartArchive(path, CreateOutputFile);
}

FileHandle CreateNewArchive(const char* path) {
    return StartArchive(path, PlatCreateNew);
}

int CloseWriter(FileHandle file) {
    if (file == kInvalidFile || file != WriterFile) return 0;
    if (RecordCount != 0) {
        const uint32_t size = RecordCount * kRecordSize;
        uint8_t* directory = reinterpret_cast<uint8_t*>(&Room[kMaxRecords - RecordCount]);
        SetCipherKey(kDirectoryKey);
        CipherBytes(directory, size, 1);
        // An archive whose directory did not reach the disk cannot be opened again: that must
        // fail the build, so a short write latches like any other failed write.
        if (PlatWrite(WriterFile, directory, size) < size) LatchFailure();
    }
    PlatClose(WriterFile);
    WriterFile = kInvalidFile;
    // The slots are enciphered now and are not used again.
    RecordCount = 0;
    return 1;
}

int WriteArchivePrefix(const uint8_t* bytes, uint32_t size) {
    if (StickyError.latched || WriterFile == kInvalidFile) return 0;
    // A prefix that would end past 4 GiB - 1 is not written at all.
    if (size > 0xFFFFFFFFu - RunningOffset) {
        LatchFailure();
        return 0;
    }
    const uint32_t written = PlatWrite(WriterFile, bytes, size);
    RunningOffset += written;
    if (written == size) return 1;
    LatchFailure();
    return 0;
}

int AddEntryFromMemory(const uint8_t* buffer, uint32_t size, const char* name,
                       TransferFlags flags) {
    if (StickyError.latched || WriterFile == kInvalidFile || RecordCount >= kMaxRecords) return 0;
    const uint32_t data_offset = RunningOffset;
    uint32_t count = size;
    int ok = TransferEntryData(reinterpret_cast<intptr_t>(buffer), WriterFile, &count,
                               (flags & kRequestBits) | FromMemory);
    // Bytes of a failed transfer stay in the file uncovered; later offsets must count them.
    if (!CountWritten(count)) ok = 0;
    if (ok) {
        AppendRecord(name, flags, count, size, data_offset, -1);
    } else {
        LatchFailure();
    }
    return ok;
}

// The transfer flags of a copy, from the request and the source's method and key. Keys come
// from the source alone: a request's low byte would scramble data under a record that does not
// say so, so it is dropped.
static TransferFlags CopyTransferFlags(TransferFlags request, uint8_t method, uint8_t key) {
    TransferFlags flags = request & (Compress | Decompress | Unscramble);
    // Stored data cannot be expanded, and compressed data are not compressed twice.
    flags &= (method == kMethodStored) ? ~Decompress : ~Compress;
    if (flags & (Compress | Decompress)) {
        flags &= ~Unscramble;
        // A stored source is unscrambled on its way into the compressor.
        if (flags & Compress) flags |= key;
    } else if (method != kMethodStored) {
        // A block stream moves as it is: XORing it would damage it, and its record stays
        // compressed with its key.
        flags &= ~Unscramble;
    } else if (flags & Unscramble) {
        flags |= key;
    }
    return flags;
}

// The flags of the copy's record, from the flags its data moved with.
static TransferFlags CopyRecordFlags(TransferFlags flags, uint8_t method, uint8_t key) {
    if (flags & (Unscramble | Compress)) return flags & ~KeyByte;
    if (flags & Decompress) return flags;
    // A plain copy: the bytes are the source's, so are its key and method.
    flags = (flags & ~KeyByte) | key;
    if (method != kMethodStored) flags |= Compress;
    return flags;
}

int CopyEntry(const char* name, TransferFlags request) {
    if (StickyError.latched) return 0;
    int ok = 0;
    const FileHandle reader = ReaderHandle();
    const DirectoryRecord* found = nullptr;
    if (reader != kInvalidFile && WriterFile != kInvalidFile && RecordCount < kMaxRecords && name)
        found = FindRecord(name, kClassNormal);
    if (found) {
        const DirectoryRecord source = *found;
        const uint32_t data_offset = RunningOffset;
        const TransferFlags flags = CopyTransferFlags(request, source.method, source.xor_key);
        uint32_t count = source.stored_size;
        if (PlatSeek(reader, source.data_offset)) {
            ok = TransferEntryData(reader, WriterFile, &count, flags);
            // An expansion must give the size its record states: a stream that yields more or
            // less is damaged, and its copy would carry a record that lies about it.
            if (ok && (flags & Decompress) && count != source.original_size) ok = 0;
        } else {
            count = 0;
        }
        if (!CountWritten(count)) ok = 0;
        if (ok) {
            AppendRecord(name, CopyRecordFlags(flags, source.method, source.xor_key), count,
                         source.original_size, data_offset, source.marker_offset);
        }
    }
    if (!ok) LatchFailure();
    return ok;
}

int AliasRecord(const char* new_name, const char* existing_name) {
    if (StickyError.latched || !existing_name) return 0;
    const DirectoryRecord* found = nullptr;
    for (uint32_t i = 0; i < RecordCount && !found; ++i) {
        const DirectoryRecord* record = FirstAdded() - i;
        if (NameMatches(record->name, existing_name)) found = record;
    }
    if (!found || RecordCount >= kMaxRecords) return 0;
    DirectoryRecord* slot = NextSlot();
    memcpy(slot, found, sizeof *slot);
    SetRecordName(slot->name, new_name ? new_name : "");
    CountNewSlot();
    return 1;
}
