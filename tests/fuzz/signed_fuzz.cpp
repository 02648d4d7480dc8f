// Any bytes as a file that may be a signed PE image: the search for its certificate table through
// the PE headers and the security directory, then the archive search that starts before it.
// Whatever the headers claim, a table found must end at the end of the file and lie after the
// headers, only zero bytes may count as its padding, and the archive must end before it.
#include <stdint.h>

#include "archive/cert_table.h"
#include "archive/reader.h"
#include "archive/sticky_error.h"
#include "platform/files.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* path = MemoryFile(data, size);
    const FileHandle file = PlatOpenRead(path);
    Check(file != kInvalidFile);
    CertificateTable table = {0, 0, 0};
    const int found = FindCertificateTable(file, static_cast<uint32_t>(size), &table);
    PlatClose(file);
    if (found) {
        Check(uint64_t{table.start} + table.size == size);
        Check(table.size >= 8 && table.zero_bytes <= 7 && table.zero_bytes <= table.start);
        for (uint32_t i = 0; i < table.zero_bytes; ++i)
            Check(data[table.start - 1 - i] == 0);
        const uint32_t pe = static_cast<uint32_t>(data[0x3C] | data[0x3D] << 8 | data[0x3E] << 16) |
                            static_cast<uint32_t>(data[0x3F]) << 24;
        Check(data[0] == 'M' && data[1] == 'Z' && pe < table.start);
    }

    SetStickyErrorMode(size & 1);
    const FileHandle archive = OpenArchive(path);
    if (archive != kInvalidFile) {
        const uint32_t end = ReaderArchiveEnd();
        Check(ReaderRecordCount() * 40 <= end);
        if (found) {
            Check(ReaderCertificateSize() == table.size);
            Check(end <= table.start && end + table.zero_bytes >= table.start);
        } else {
            Check(ReaderCertificateSize() == 0 && end == size);
        }
    }
    CloseArchive(archive);
    SetStickyErrorMode(0);
    return 0;
}
