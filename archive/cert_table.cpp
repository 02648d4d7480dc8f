// Finds the certificate table that a signing tool appends to a PE image. Every field is checked
// against the file's size before it is used, in 64 bits, so no header value can send a read past
// the file or make sizes wrap.
#include "archive/cert_table.h"

#include "archive/format.h"
#include "platform/files.h"

namespace {

constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr uint16_t kDosMagic = 0x5A4D;         // "MZ"
// The signature, the COFF header and the optional header up to the end of entry 4 of PE32+.
constexpr uint32_t kHeadBytes = kPeSignatureSize + kCoffHeaderSize + kPe32PlusSecurity + 8;

uint32_t U16(const uint8_t* p) {
    return static_cast<uint32_t>(p[0] | p[1] << 8);
}

uint32_t U32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Reads exactly `count` bytes at `offset`, which the caller has checked lie inside the file.
int ReadAt(FileHandle file, uint32_t offset, uint8_t* buffer, uint32_t count) {
    return PlatSeek(file, offset) && PlatRead(file, buffer, count) == count;
}

}  // namespace

int FindCertificateTable(FileHandle file, uint32_t file_size, CertificateTable* table) {
    const uint64_t size = file_size;
    uint8_t dos[kDosHeaderSize];
    if (size < kDosHeaderSize || !ReadAt(file, 0, dos, kDosHeaderSize)) return 0;
    if (U16(dos) != kDosMagic) return 0;
    const uint64_t pe = U32(dos + kDosNewHeaderField);

    // The head: PE32 needs fewer bytes than PE32+, so read what the file holds up to the PE32+
    // length and check the length of the kind found.
    uint8_t head[kHeadBytes];
    if (pe + kPeSignatureSize + kCoffHeaderSize + 2 > size) return 0;
    const uint32_t head_bytes =
        static_cast<uint32_t>(size - pe < kHeadBytes ? size - pe : kHeadBytes);
    if (!ReadAt(file, static_cast<uint32_t>(pe), head, head_bytes)) return 0;
    if (U32(head) != kPeSignature) return 0;
    const uint8_t* coff = head + kPeSignatureSize;
    const uint8_t* optional = coff + kCoffHeaderSize;
    const uint32_t magic = U16(optional);
    uint32_t count_at, security_at;
    if (magic == kOptionalMagicPe32) {
        count_at = kPe32DirectoryCount;
        security_at = kPe32Security;
    } else if (magic == kOptionalMagicPe32Plus) {
        count_at = kPe32PlusDirectoryCount;
        security_at = kPe32PlusSecurity;
    } else {
        return 0;
    }
    const uint32_t optional_size = U16(coff + kCoffOptionalSize);
    if (optional_size < security_at + 8) return 0;
    if (kPeSignatureSize + kCoffHeaderSize + security_at + 8 > head_bytes) return 0;
    if (U32(optional + count_at) <= kSecurityEntry) return 0;
    const uint64_t start = U32(optional + security_at);
    const uint64_t length = U32(optional + security_at + 4);
    if (length < kCertificateHeaderSize || start + length != size) return 0;

    // The image ends after its headers and after the raw data of its last section.
    const uint32_t sections = U16(coff + kCoffSectionCount);
    if (sections > kMaxSections) return 0;
    const uint64_t section_table = pe + kPeSignatureSize + kCoffHeaderSize + optional_size;
    uint64_t image_end = section_table + uint64_t{sections} * kSectionHeaderSize;
    if (image_end > start) return 0;
    for (uint32_t i = 0; i < sections; ++i) {
        uint8_t section[kSectionHeaderSize];
        if (!ReadAt(file, static_cast<uint32_t>(section_table + uint64_t{i} * kSectionHeaderSize),
                    section, kSectionHeaderSize))
            return 0;
        const uint64_t raw_size = U32(section + kSectionRawSize);
        const uint64_t raw_end = raw_size ? U32(section + kSectionRawPointer) + raw_size : 0;
        if (raw_end > image_end) image_end = raw_end;
    }
    if (image_end > start) return 0;

    // The alignment padding can only be zero bytes between the image and the table.
    uint8_t before[kCertificateAlignment - 1];
    const uint32_t room = static_cast<uint32_t>(
        start - image_end < sizeof before ? start - image_end : sizeof before);
    uint32_t zeros = 0;
    if (room && ReadAt(file, static_cast<uint32_t>(start) - room, before, room))
        while (zeros < room && before[room - 1 - zeros] == 0)
            ++zeros;
    table->start = static_cast<uint32_t>(start);
    table->size = static_cast<uint32_t>(length);
    table->zero_bytes = zeros;
    return 1;
}
