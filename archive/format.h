// The payload archive, drawn once.
//
//   offset 0                                                         end of file
//   | anything (an executable) | entry data ... | record N | ... | record 1 |
//                                               \_______ N x 40 bytes ______/
//
// The directory, N records of 40 bytes (1 <= N <= 32), ends exactly at the end of the file and is
// one KeyStreamCipher stream enciphered from its first byte with a fresh key "KNOT". The record
// that stands last in the file was added first and carries N in count_or_length. Offsets are
// absolute, so the archive may follow any content.
//
// DirectoryRecord, little-endian, after deciphering:
//    0 u8   count_or_length  N in the last record; inline: data length 0..16
//    1 u8   method           0 stored, 0xFF inline, any other value compressed
//    2 u8   xor_key          stored entries: every byte XORed with it (0 plain)
//    3 16   name             NUL-padded; compared without regard to ASCII case
//   19 u32  data_offset      absolute file offset of the data
//   23 u32  stored_size      bytes in the file (compressed: the block stream)
//   27 u32  original_size    bytes after expansion
//   31 i32  marker_offset    carried along, -1 for none
//   35 u8   record_size      40
//   36 u32  magic            "KNOT" with 'K' in the most significant byte
// An inline record (method 0xFF) holds its data from offset 23 on, over the fields there.
//
// A signed installer: the signing tool pads the file to a multiple of 8 with 0 to 7 zero bytes and
// appends a certificate table, which the PE image names in its security data directory (entry 4
// of the optional header; unlike the other entries its first field is a file offset, not an RVA).
//
//   0            0x3C: e_lfanew (u32)
//   | "MZ" ...   |          | "PE\0\0" | COFF header (20) | optional header | section table |
//                           \_ at e_lfanew
//   | sections ... | entry data ... | directory | 0..7 zero bytes | certificate table |
//                ^ image end                    ^ archive end     ^ table start       ^ end of file
//
//   COFF header:      +2 u16 NumberOfSections, +16 u16 SizeOfOptionalHeader
//   optional header:  +0 u16 magic 0x10B (PE32) or 0x20B (PE32+); NumberOfRvaAndSizes at +92
//                     (PE32) or +108 (PE32+); entry 4 {u32 offset, u32 size} at +128 or +144
//   section header:   40 bytes; +16 u32 SizeOfRawData, +20 u32 PointerToRawData
//
// The table counts only when it ends exactly at the end of the file and starts at or after the end
// of the headers and of every section's raw data; the directory then ends at the table's start, or
// up to 7 zero bytes before it. Nothing inside the table is read. Any other file (no PE image, no
// table, a table that does not end at the end of the file or overlaps the image, sizes that do not
// add up) ends its archive at the end of the file.
#pragma once

#include <stddef.h>
#include <stdint.h>

#pragma pack(push, 1)
struct DirectoryRecord {
    uint8_t count_or_length;
    uint8_t method;
    uint8_t xor_key;
    char name[16];
    uint32_t data_offset;
    uint32_t stored_size;
    uint32_t original_size;
    int32_t marker_offset;
    uint8_t record_size;
    uint32_t magic;
};
#pragma pack(pop)

static_assert(sizeof(DirectoryRecord) == 40, "a directory record is 40 bytes");
static_assert(offsetof(DirectoryRecord, name) == 3, "name at 3");
static_assert(offsetof(DirectoryRecord, data_offset) == 19, "data_offset at 19");
static_assert(offsetof(DirectoryRecord, stored_size) == 23, "stored_size at 23");
static_assert(offsetof(DirectoryRecord, original_size) == 27, "original_size at 27");
static_assert(offsetof(DirectoryRecord, marker_offset) == 31, "marker_offset at 31");
static_assert(offsetof(DirectoryRecord, record_size) == 35, "record_size at 35");
static_assert(offsetof(DirectoryRecord, magic) == 36, "magic at 36");

constexpr uint32_t kRecordSize = 40;
constexpr uint32_t kMaxRecords = 32;
constexpr uint32_t kNameSize = 16;
constexpr uint32_t kInlineOffset = 23;  // inline data start inside the record
constexpr uint32_t kInlineCapacity = 16;
constexpr uint32_t kDirectoryMagic = 0x4B4E4F54;  // 'K' 'N' 'O' 'T'
constexpr uint8_t kMethodStored = 0;
constexpr uint8_t kMethodCompressed = 1;
constexpr uint8_t kMethodInline = 0xFF;

// Record classes for lookups, as a bit set.
constexpr int kClassNormal = 1;
constexpr int kClassInline = 2;

// Names compare without regard to the case of A..Z; a field ends at its first NUL or after 16
// bytes. `name` is an ordinary NUL-terminated text.
int NameMatches(const char field[16], const char* name);
// Stores up to 16 characters of `name`, NUL-filling the rest of the field.
void SetRecordName(char field[16], const char* name);

// The PE fields the reader looks at to find a certificate table.
constexpr uint32_t kDosHeaderSize = 64;
constexpr uint32_t kDosNewHeaderField = 0x3C;  // e_lfanew
constexpr uint32_t kPeSignatureSize = 4;
constexpr uint32_t kCoffHeaderSize = 20;
constexpr uint32_t kCoffSectionCount = 2;
constexpr uint32_t kCoffOptionalSize = 16;
constexpr uint16_t kOptionalMagicPe32 = 0x10B;
constexpr uint16_t kOptionalMagicPe32Plus = 0x20B;
constexpr uint32_t kPe32DirectoryCount = 92;
constexpr uint32_t kPe32PlusDirectoryCount = 108;
constexpr uint32_t kPe32Security = 128;
constexpr uint32_t kPe32PlusSecurity = 144;
constexpr uint32_t kSecurityEntry = 4;
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kSectionRawSize = 16;
constexpr uint32_t kSectionRawPointer = 20;
constexpr uint32_t kMaxSections = 96;
constexpr uint32_t kCertificateHeaderSize = 8;  // the smallest table: one WIN_CERTIFICATE header
constexpr uint32_t kCertificateAlignment = 8;
