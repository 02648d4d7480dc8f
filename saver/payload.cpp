// Reading INFO and MOVIE out of the saver's own payload archive.
#include "saver/payload.h"

#include <string.h>

#include "archive/extract.h"
#include "archive/reader.h"

uint8_t SaverInfo[kInfoSize];           // 6,148 bytes: INFO as stored, zeros past its end
char SaverName[kSaverNameSize];         // 128 bytes: the name shown in boxes
uint8_t MovieBytes[kMovieCapacity];     // 4 MiB: the MOVIE bitmap file
uint32_t MovieSize;                     // bytes of MovieBytes that hold MOVIE
uint8_t ShowIndex[kShowIndexCapacity];  // 285,744 bytes: the largest index a show may have
ShowView Show;                          // the show read from ShowIndex
uint32_t ShowMovieOffset;               // file offset of MOVIE, the base of a picture's offset

static uint32_t InfoField32(uint32_t offset) {
    const uint8_t* p = SaverInfo + offset;
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Copies the text of SaverInfo at `offset`, ended by its NUL or after `field_size` bytes, into
// SaverName, always terminated.
static void TakeName(uint32_t offset, uint32_t field_size) {
    uint32_t i = 0;
    for (; i + 1 < kSaverNameSize && i < field_size && SaverInfo[offset + i]; ++i)
        SaverName[i] = static_cast<char>(SaverInfo[offset + i]);
    SaverName[i] = '\0';
}

static int ReadInfo() {
    memset(SaverInfo, 0, sizeof SaverInfo);
    SaverName[0] = '\0';
    return ReadEntryToMemory("INFO", SaverInfo, kInfoSize);
}

static int ReadBitmap(const char* name) {
    MovieSize = 0;
    // A stored entry longer than the buffer would be read cut short; refuse it before reading.
    const int32_t size = GetOriginalSize(name);
    if (size <= 0 || static_cast<uint32_t>(size) > kMovieCapacity) return 0;
    if (!ReadEntryToMemory(name, MovieBytes, static_cast<uint32_t>(size))) return 0;
    MovieSize = static_cast<uint32_t>(size);
    return 1;
}

// Reads a show's index when MOVIE is one. Its pictures are read later straight from the file at
// ShowMovieOffset, so the entry must be stored, unscrambled and wholly inside the archive.
static int ReadShow() {
    const DirectoryRecord* record = FindRecord("MOVIE", kClassNormal);
    if (!record || record->method != kMethodStored || record->xor_key != 0 ||
        record->stored_size != record->original_size || record->data_offset > ReaderArchiveEnd() ||
        record->stored_size > ReaderArchiveEnd() - record->data_offset)
        return 0;
    const uint32_t movie_size = record->original_size;
    if (movie_size < kShowHeaderSize || !ReadEntryToMemory("MOVIE", ShowIndex, kShowHeaderSize) ||
        !IsShow(ShowIndex, 4))
        return 0;
    const uint32_t index_size = ShowIndexSize(ShowIndex, kShowHeaderSize, movie_size);
    if (index_size == 0 || !ReadEntryToMemory("MOVIE", ShowIndex, index_size) ||
        !ParseShow(ShowIndex, index_size, movie_size, &Show))
        return 0;
    ShowMovieOffset = record->data_offset;
    return 1;
}

// A MOVIE is a show or a bitmap; a show that fails its checks is shown as nothing at all.
static int ReadMovie() {
    uint8_t magic[4] = {};
    if (GetOriginalSize("MOVIE") >= 4 && ReadEntryToMemory("MOVIE", magic, sizeof magic) &&
        IsShow(magic, sizeof magic))
        return ReadShow() ? kPayloadShow : 0;
    if (!ReadBitmap("MOVIE")) return 0;
    // A compressed show cannot be read in place; it is no bitmap either.
    if (IsShow(MovieBytes, MovieSize)) {
        MovieSize = 0;
        return 0;
    }
    return kPayloadMovie;
}

int LoadSaverPayload(const char* path, uint32_t system_code_page, int preview) {
    MovieSize = 0;
    Show.valid = 0;
    ShowMovieOffset = 0;
    memset(SaverInfo, 0, sizeof SaverInfo);
    SaverName[0] = '\0';
    const FileHandle archive = OpenArchive(path);
    if (archive == kInvalidFile) return 0;
    int result = kPayloadOpened;
    if (ReadInfo()) {
        const uint32_t code_page = InfoField32(kInfoCodePage);
        if (code_page != 0 && code_page != system_code_page) {
            TakeName(kInfoAltName, kInfoSize - kInfoAltName);
        } else {
            TakeName(kInfoName, kInfoNameSize);
        }
        result |= kPayloadInfo;
    }
    if (preview && ReadBitmap("PREVIEWB")) {
        result |= kPayloadPreview;
    } else {
        result |= ReadMovie();
    }
    CloseArchive(archive);
    return result;
}
