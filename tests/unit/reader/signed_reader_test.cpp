// The directory search in signed files: a PE image whose security directory names a certificate
// table at the end of the file has its archive end before the table; every other file is read
// from its end as before. The images here are laid out by hand, the way a linker and a signing
// tool leave them.
#include <string.h>

#include <gtest/gtest.h>

#include "archive/cert_table.h"
#include "archive/reader.h"
#include "archive/sticky_error.h"
#include "platform/files.h"
#include "platform/host/host.h"
#include "tests/unit/support/test_support.h"

namespace {

constexpr uint32_t kPeAt = 0x80;  // e_lfanew of the test images

void Put16(Bytes* b, size_t at, uint32_t v) {
    (*b)[at] = static_cast<uint8_t>(v);
    (*b)[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(Bytes* b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        (*b)[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

size_t OptionalAt() {
    return kPeAt + 4 + 20;
}
size_t SecurityAt(bool plus) {
    return OptionalAt() + (plus ? 144 : 128);
}

// A PE32 or PE32+ image of headers and two sections whose raw data end at `image_size`.
Bytes PeImage(bool plus, uint32_t image_size = 0x600) {
    Bytes b = PseudoRandomBytes(image_size, plus ? 11 : 12);
    for (size_t i = 0; i < 0x400; ++i)
        b[i] = 0;
    b[0] = 'M';
    b[1] = 'Z';
    Put32(&b, 0x3C, kPeAt);
    memcpy(&b[kPeAt], "PE\0\0", 4);
    const uint32_t optional_size = plus ? 240 : 224;
    Put16(&b, kPeAt + 4, plus ? 0x8664 : 0x14C);
    Put16(&b, kPeAt + 4 + 2, 2);  // sections
    Put16(&b, kPeAt + 4 + 16, optional_size);
    Put16(&b, OptionalAt(), plus ? 0x20B : 0x10B);
    Put32(&b, OptionalAt() + (plus ? 108 : 92), 16);  // data directories
    const size_t sections = OptionalAt() + optional_size;
    const uint32_t raw[2][2] = {{0x400, 0x100}, {0x500, image_size - 0x500}};  // pointer, size
    for (int i = 0; i < 2; ++i) {
        Put32(&b, sections + 40 * i + 16, raw[i][1]);
        Put32(&b, sections + 40 * i + 20, raw[i][0]);
    }
    return b;
}

void SetSecurity(Bytes* file, bool plus, uint32_t offset, uint32_t size) {
    Put32(file, SecurityAt(plus), offset);
    Put32(file, SecurityAt(plus) + 4, size);
}

// Appends `pad` bytes of `pad_byte` and a certificate table of `table_size` bytes (a
// WIN_CERTIFICATE header, then arbitrary bytes), and names it in the security entry.
Bytes Sign(Bytes file, bool plus, uint32_t pad, uint32_t table_size = 3000, uint8_t pad_byte = 0) {
    file.insert(file.end(), pad, pad_byte);
    const uint32_t start = static_cast<uint32_t>(file.size());
    Bytes table = PseudoRandomBytes(table_size, table_size);
    Put32(&table, 0, table_size);
    Put16(&table, 4, 0x0200);
    Put16(&table, 6, 2);
    file.insert(file.end(), table.begin(), table.end());
    SetSecurity(&file, plus, start, table_size);
    return file;
}

std::vector<TestEntry> Payload() {
    return {{"SAVER", BytesOf("program")}, {"INFO", Bytes(61, 3)}, {"MOVIE", Bytes(200, 9)}};
}

class SignedReader : public ::testing::Test {
  protected:
    void SetUp() override {
        HostReset();
        SetStickyErrorMode(0);
    }
    void TearDown() override { CloseArchive(ReaderHandle()); }

    FileHandle Open(const Bytes& bytes) {
        WriteWholeFile(path_, bytes);
        return OpenArchive(path_.c_str());
    }

    ScratchDir dir_;
    std::string path_ = dir_.File("signed.exe");
};

TEST_F(SignedReader, TheArchiveEndsBeforeTheTableAndItsPadding) {
    for (bool plus : {false, true}) {
        for (uint32_t pad = 0; pad <= 7; ++pad) {
            const Bytes unsigned_file = BuildTestArchive(PeImage(plus), Payload());
            const std::string what =
                std::string(plus ? "PE32+" : "PE32") + " pad " + std::to_string(pad);
            ASSERT_NE(Open(Sign(unsigned_file, plus, pad)), kInvalidFile) << what;
            EXPECT_EQ(ReaderRecordCount(), 3u) << what;
            EXPECT_EQ(GetStoredSize("MOVIE"), 200) << what;
            EXPECT_EQ(ReaderArchiveEnd(), unsigned_file.size()) << what;
            EXPECT_EQ(ReaderCertificateSize(), 3000u) << what;
        }
    }
}

TEST_F(SignedReader, UnsignedFilesReportNoTable) {
    // An unsigned image, and a bare archive, end at the end of the file.
    for (const Bytes& file :
         {BuildTestArchive(PeImage(true), Payload()), BuildTestArchive({}, Payload())}) {
        ASSERT_NE(Open(file), kInvalidFile);
        EXPECT_EQ(ReaderArchiveEnd(), file.size());
        EXPECT_EQ(ReaderCertificateSize(), 0u);
    }
}

TEST_F(SignedReader, OnlyZeroBytesUpToSevenMayStandBetweenDirectoryAndTable) {
    const Bytes archive = BuildTestArchive(PeImage(false), Payload());
    struct Row {
        const char* what;
        uint32_t pad;
        uint8_t pad_byte;
    } rows[] = {{"eight zero bytes", 8, 0},
                {"one byte that is not zero", 1, 0x20},
                {"seven bytes of 0xFF", 7, 0xFF}};
    for (const Row& r : rows) {
        EXPECT_EQ(Open(Sign(archive, false, r.pad, 3000, r.pad_byte)), kInvalidFile) << r.what;
        EXPECT_EQ(ArchiveOpenStage, 3) << r.what;
    }
}

TEST_F(SignedReader, ADirectoryInsideTheTableIsNeverTaken) {
    // The table's own bytes end in a valid directory of other entries: a signed file reads the
    // archive before the table, and with the real one damaged it finds nothing at all.
    const bool plus = true;
    Bytes file = BuildTestArchive(PeImage(plus), Payload());
    file.insert(file.end(), 4, 0);
    const uint32_t start = static_cast<uint32_t>(file.size());
    file = BuildTestArchive(file, {{"SMUGGLED", Bytes(40, 1)}});
    SetSecurity(&file, plus, start, static_cast<uint32_t>(file.size()) - start);
    ASSERT_NE(Open(file), kInvalidFile);
    EXPECT_EQ(GetStoredSize("SMUGGLED"), -1);
    EXPECT_EQ(GetStoredSize("MOVIE"), 200);

    file[start - 4 - 1] ^= 0x40;  // the last byte of the real directory
    EXPECT_EQ(Open(file), kInvalidFile);
    EXPECT_EQ(ArchiveOpenStage, 3);
}

// Headers that do not describe a certificate table at the end of the file: the file is read from
// its end. Each row mends a file that holds two archives: REAL before a region the security entry
// may name as a table, and TAIL, whose directory ends the file. TAIL must be found.
TEST_F(SignedReader, AnythingElseIsReadFromTheEndOfTheFile) {
    struct Row {
        const char* what;
        bool plus;
        void (*mend)(Bytes* file, uint32_t start, uint32_t size);
    } rows[] = {
        {"no table", false, [](Bytes* f, uint32_t, uint32_t) { SetSecurity(f, false, 0, 0); }},
        {"a table of 0 bytes at the end", true,
         [](Bytes* f, uint32_t, uint32_t size) { SetSecurity(f, true, size, 0); }},
        {"a table that ends before the end", false,
         [](Bytes* f, uint32_t start, uint32_t size) {
             SetSecurity(f, false, start, size - start - 1);
         }},
        {"a table that claims bytes past the end", true,
         [](Bytes* f, uint32_t start, uint32_t size) {
             SetSecurity(f, true, start, size - start + 1);
         }},
        {"a table that overlaps the last section", false,
         [](Bytes* f, uint32_t, uint32_t size) { SetSecurity(f, false, 0x5F8, size - 0x5F8); }},
        {"a table over the whole file", true,
         [](Bytes* f, uint32_t, uint32_t size) { SetSecurity(f, true, 0, size); }},
        {"offset and size that wrap to the end in 32 bits", false,
         [](Bytes* f, uint32_t, uint32_t size) {
             SetSecurity(f, false, 0xFFFFFF00u, size + 0x100);
         }},
        {"a size near 2^32", true,
         [](Bytes* f, uint32_t start, uint32_t) { SetSecurity(f, true, start, 0xFFFFFFF8u); }},
        {"a section's raw data past the table", true,
         [](Bytes* f, uint32_t, uint32_t) { Put32(f, OptionalAt() + 240 + 40 + 16, 0xFFFFF000u); }},
        {"a PE header offset beyond the file", false,
         [](Bytes* f, uint32_t, uint32_t) { Put32(f, 0x3C, 0xFFFFFFF0u); }},
        {"a PE header offset just before the end", true,
         [](Bytes* f, uint32_t, uint32_t size) { Put32(f, 0x3C, size - 30); }},
        {"no security entry (4 data directories)", false,
         [](Bytes* f, uint32_t, uint32_t) { Put32(f, OptionalAt() + 92, 4); }},
        {"an optional header too short for the entry", true,
         [](Bytes* f, uint32_t, uint32_t) { Put16(f, kPeAt + 4 + 16, 144); }},
        {"PE32 fields read as PE32+", false,
         [](Bytes* f, uint32_t, uint32_t) { Put16(f, OptionalAt(), 0x20B); }},
        {"an unknown optional header", true,
         [](Bytes* f, uint32_t, uint32_t) { Put16(f, OptionalAt(), 0x107); }},
        {"97 sections", false, [](Bytes* f, uint32_t, uint32_t) { Put16(f, kPeAt + 6, 97); }},
        {"no PE signature", true, [](Bytes* f, uint32_t, uint32_t) { (*f)[kPeAt + 2] = 'X'; }},
        {"no MZ", false, [](Bytes* f, uint32_t, uint32_t) { (*f)[0] = 'Z'; }},
    };
    for (const Row& r : rows) {
        Bytes file = BuildTestArchive(PeImage(r.plus), Payload());
        const uint32_t start = static_cast<uint32_t>(file.size());
        file = BuildTestArchive(file, {{"TAIL", Bytes(50, 5)}});
        const uint32_t size = static_cast<uint32_t>(file.size());
        // As signed: the region after REAL is the table, and REAL is found.
        SetSecurity(&file, r.plus, start, size - start);
        ASSERT_NE(Open(file), kInvalidFile) << r.what;
        ASSERT_EQ(GetStoredSize("MOVIE"), 200) << r.what;
        r.mend(&file, start, size);
        ASSERT_NE(Open(file), kInvalidFile) << r.what;
        EXPECT_EQ(GetStoredSize("TAIL"), 50) << r.what;
        EXPECT_EQ(ReaderArchiveEnd(), size) << r.what;
        EXPECT_EQ(ReaderCertificateSize(), 0u) << r.what;
    }
}

TEST_F(SignedReader, ASignedProgramFollowedByAnArchiveReadsFromTheEnd) {
    // A screen saver file: the signed saver program plain at offset 0, then the new archive.
    // Its table ends where the archive begins, so it is not the file's table.
    const Bytes saver = Sign(PeImage(true), true, 0, 1024);
    ASSERT_NE(Open(BuildTestArchive(saver, Payload())), kInvalidFile);
    EXPECT_EQ(ReaderCertificateSize(), 0u);
    const uint32_t stored_size = FindRecord("SAVER", kClassNormal)->stored_size;  // packed field
    EXPECT_EQ(stored_size, 7u);
}

TEST_F(SignedReader, FilesWithoutAnArchive) {
    // Only a certificate table; a signed image with no archive; an image named whole as a table.
    Bytes table_only = Sign({}, false, 0, 2048);
    table_only.resize(2048);
    Bytes covered = PeImage(false);
    SetSecurity(&covered, false, 0, static_cast<uint32_t>(covered.size()));
    for (const Bytes& file : {table_only, Sign(PeImage(false), false, 0), covered}) {
        EXPECT_EQ(Open(file), kInvalidFile);
        EXPECT_EQ(ArchiveOpenStage, 3);
        EXPECT_EQ(ReaderRecordCount(), 0u);
    }
}

TEST_F(SignedReader, TheTableAndTheZeroBytesBeforeIt) {
    // Zero bytes are counted back from the table, at most 7, and never into the image.
    const Bytes archive = BuildTestArchive(PeImage(false), Payload());
    struct Row {
        const char* what;
        Bytes file;
        uint32_t zero_bytes;
    } rows[] = {
        {"3 bytes of padding", Sign(archive, false, 3), 3},
        {"12 zero bytes", Sign(archive, false, 12), 7},
        {"right after the image's zero-filled end", {}, 0},
    };
    rows[2].file = Sign(PeImage(false), false, 0);
    rows[2].file[0x5FF] = 0;
    for (const Row& r : rows) {
        WriteWholeFile(path_, r.file);
        CertificateTable table = {0, 0, 99};
        const FileHandle h = PlatOpenRead(path_.c_str());
        EXPECT_EQ(FindCertificateTable(h, static_cast<uint32_t>(r.file.size()), &table), 1)
            << r.what;
        PlatClose(h);
        EXPECT_EQ(table.start + table.size, r.file.size()) << r.what;
        EXPECT_EQ(table.size, 3000u) << r.what;
        EXPECT_EQ(table.zero_bytes, r.zero_bytes) << r.what;
    }
}

}  // namespace
