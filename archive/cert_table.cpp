// Finds the certificate table that a signing tool appends to a PE image. Every field is checked
// against the file's size before it is used, by subtraction from a bound already checked, so no
// header value can send a read past the file or make a sum wrap.
#include "archive/cert_table.h"

#include <string.h>

#include "archive/format.h"
#include "platform/files.h"

namespace {

constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr uint16_t kDosMagic = 0x5A4D;         // "MZ"
// The signature, the COFF header and the optional header up to the end of entry 4 of PE32+.
constexpr uint32_t kHeadBytes = kPeSignatureSize + kCoffHeaderSize + kPe32PlusSecurity + 8;

// Little-endian fields read as they stand, as the directory records are: the installer runs on
// x86 only, and one load is smaller than four bytes shifted together.
uint32_t U16(const uint8_t* p) {
    uint16_t value;
    memcpy(&value, p, sizeof value);
    return value;
}

uint32_t U32(const uint8_t* p) {
    uint32_t value;
    memcpy(&value, p, sizeof value);
    return value;
}

// Reads exactly `count` bytes at `offset`, which the caller has checked lie inside the file.
int ReadAt(FileHandle file, uint32_t offset, uint8_t* buffer, uint32_t count) {
    return PlatSeek(file, offset) && PlatRead(file, buffer, count) == count;
}

}  // namespace

int FindCertificateTable(FileHandle file, uint32_t size, CertificateTable* table) {
    uint8_t dos[kDosHeaderSize];
    if (size < kDosHeaderSize || !ReadAt(file, 0, dos, kDosHeaderSize)) return 0;
    if (U16(dos) != kDosMagic) return 0;
    const uint32_t pe = U32(dos + kDosNewHeaderField);

    // The head: PE32 needs fewer bytes than PE32+, so read what the file holds up to the PE32+
    // length and check the length of the kind found.
    uint8_t head[kHeadBytes];
    if (pe > size || size - pe < kPeSignatureSize + kCoffHeaderSize + 2) return 0;
    const uint32_t head_bytes = size - pe < kHeadBytes ? size - pe : kHeadBytes;
    if (!ReadAt(file, pe, head, head_bytes)) return 0;
    if (U32(head) != kPeSignature) return 0;
    const uint8_t* coff = head + kPeSignatureSize;
    const uint8_t* optional = coff + kCoffHeaderSize;
    const uint32_t magic = U16(optional);
    if (magic != kOptionalMagicPe32 && magic != kOptionalMagicPe32Plus) return 0;
    const int plus = magic == kOptionalMagicPe32Plus;
    const uint32_t security_at = plus ? kPe32PlusSecurity : kPe32Security;
    const uint32_t optional_size = U16(coff + kCoffOptionalSize);
    if (optional_size < security_at + 8) return 0;
    if (kPeSignatureSize + kCoffHeaderSize + security_at + 8 > head_bytes) return 0;
    if (U32(optional + (plus ? kPe32PlusDirectoryCount : kPe32DirectoryCount)) <= kSecurityEntry)
        return 0;
    const uint32_t start = U32(optional + security_at);
    const uint32_t length = U32(optional + security_at + 4);
    if (length < kCertificateHeaderSize || start > size || size - start != length) return 0;

    // The image ends after its headers and after the raw data of its last section. `pe` and
    // the head lie inside the file, so the section table's place does not wrap.
    const uint32_t sections = U16(coff + kCoffSectionCount);
    const uint32_t section_table = pe + kPeSignatureSize + kCoffHeaderSize;
    if (sections > kMaxSections || section_table > start ||
        optional_size + sections * kSectionHeaderSize > start - section_table)
        return 0;
    uint32_t image_end = section_table + optional_size + sections * kSectionHeaderSize;
    for (uint32_t i = 0; i < sections; ++i) {
        uint8_t section[kSectionHeaderSize];
        if (!ReadAt(file, section_table + optional_size + i * kSectionHeaderSize, section,
                    kSectionHeaderSize))
            return 0;
        const uint32_t raw_size = U32(section + kSectionRawSize);
        const uint32_t raw_at = U32(section + kSectionRawPointer);
        if (raw_size == 0) continue;
        if (raw_size > start || raw_at > start - raw_size) return 0;
        if (raw_at + raw_size > image_end) image_end = raw_at + raw_size;
    }

    // The alignment padding can only be zero bytes between the image and the table.
    uint8_t before[kCertificateAlignment - 1];
    const uint32_t room = start - image_end < sizeof before ? start - image_end : sizeof before;
    uint32_t zeros = 0;
    if (room && ReadAt(file, start - room, before, room))
        while (zeros < room && before[room - 1 - zeros] == 0)
            ++zeros;
    table->start = start;
    table->size = length;
    table->zero_bytes = zeros;
    return 1;
}
