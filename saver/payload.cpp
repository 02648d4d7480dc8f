// Reading INFO and MOVIE out of the saver's own payload archive.
#include "saver/payload.h"

#include <string.h>

#include "archive/extract.h"
#include "archive/reader.h"

uint8_t SaverInfo[kInfoSize];        // 6,148 bytes: INFO as stored, zeros past its end
char SaverName[kSaverNameSize];      // 128 bytes: the name shown in boxes
uint8_t MovieBytes[kMovieCapacity];  // 4 MiB: the MOVIE bitmap file
uint32_t MovieSize;                  // bytes of MovieBytes that hold MOVIE

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

static int ReadMovie() {
    MovieSize = 0;
    // A stored entry longer than the buffer would be read cut short; refuse it before reading.
    const int32_t size = GetOriginalSize("MOVIE");
    if (size <= 0 || static_cast<uint32_t>(size) > kMovieCapacity) return 0;
    if (!ReadEntryToMemory("MOVIE", MovieBytes, static_cast<uint32_t>(size))) return 0;
    MovieSize = static_cast<uint32_t>(size);
    return 1;
}

int LoadSaverPayload(const char* path, uint32_t system_code_page) {
    MovieSize = 0;
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
    if (ReadMovie()) result |= kPayloadMovie;
    CloseArchive(archive);
    return result;
}
