// Entry extraction into files and memory.
#include <gtest/gtest.h>

#include "archive/extract.h"
#include "archive/reader.h"
#include "archive/sticky_error.h"
#include "tests/unit/archive/archive_helpers.h"

namespace {

class Extract : public ArchiveTest {
  protected:
    void SetUp() override {
        ArchiveTest::SetUp();
        for (uint8_t& b : scrambled)
            b ^= 0x6D;
        std::vector<TestEntry> entries = {
            {"PLAIN", plain},
            {"SCRAMBLED", scrambled, kMethodStored, 0x6D},
            {"PACKED", CompressedBytes(plain), kMethodCompressed, 0, 10000},
            {"TAG", BytesOf("0123456789abcdef"), kMethodInline},
            {"SHORT", BytesOf("hi"), kMethodInline},
            // Streams whose record states another size than the stream does.
            {"OVERSTATED", CompressedBytes(plain), kMethodCompressed, 0, 12000},
            {"UNDERSTATED", CompressedBytes(plain), kMethodCompressed, 0, 5000},
        };
        Bytes archive = BuildTestArchive(BytesOf("any executable image"), entries);
        WriteWholeFile(dir.File("src.arc"), archive);
        ASSERT_NE(OpenArchive(dir.File("src.arc").c_str()), kInvalidFile);
    }
    Bytes plain = PseudoRandomBytes(10000, 21);
    Bytes scrambled = plain;
};

TEST_F(Extract, EntriesToFiles) {
    struct Row {
        const char* name;
        Bytes content;
    } rows[] = {
        {"PLAIN", plain},         {"scrambled", plain},
        {"PACKED", plain},        {"TAG", BytesOf("0123456789abcdef")},
        {"SHORT", BytesOf("hi")},
    };
    for (const Row& row : rows) {
        const std::string path = dir.File(std::string("x_") + row.name);
        EXPECT_EQ(ExtractEntry(row.name, path.c_str()), 1) << row.name;
        EXPECT_EQ(ReadWholeFile(path), row.content) << row.name;
    }
}

TEST_F(Extract, ExistingFileIsTruncated) {
    const std::string path = dir.File("existing");
    WriteWholeFile(path, Bytes(50000, 0xEE));
    ASSERT_EQ(ExtractEntry("SHORT", path.c_str()), 1);
    EXPECT_EQ(ReadWholeFile(path), BytesOf("hi"));
}

TEST_F(Extract, ToMemory) {
    struct Row {
        const char* name;
        uint32_t capacity;
        int ok;
        uint32_t filled;  // bytes of the content expected at the front of the buffer
    } rows[] = {
        {"PLAIN", 10000, 1, 10000},
        {"PLAIN", 6148, 1, 6148},
        {"SCRAMBLED", 6148, 1, 6148},
        {"PACKED", 10000, 1, 10000},
        {"PACKED", 12000, 1, 10000},
        {"PACKED", 6148, 0, 0},
        {"PACKED", 0, 0, 0},
        {"TAG", 16, 0, 0},
        {"MISSING", 100, 0, 0},
        // An expansion that does not give the record's size is damaged, even when it fits.
        {"OVERSTATED", 12000, 0, 0},
        {"UNDERSTATED", 12000, 0, 0},
    };
    for (const Row& row : rows) {
        // Poisoned, with a guard zone behind the capacity that must stay untouched.
        Bytes buffer(row.capacity + 256, 0xA5);
        const std::string tag = std::string(row.name) + " into " + std::to_string(row.capacity);
        EXPECT_EQ(ReadEntryToMemory(row.name, buffer.data(), row.capacity), row.ok) << tag;
        EXPECT_EQ(Slice(buffer, 0, row.filled), Slice(plain, 0, row.filled)) << tag;
        EXPECT_EQ(Bytes(buffer.begin() + row.capacity, buffer.end()), Bytes(256, 0xA5)) << tag;
    }
}

TEST_F(Extract, FailuresLatchOnlyWhenArmed) {
    uint8_t buffer[16];
    struct Row {
        const char* tag;
        int (*run)(const std::string& dir, uint8_t* buffer);
    } rows[] = {
        {"no path", [](const std::string&, uint8_t*) { return ExtractEntry("PLAIN", nullptr); }},
        {"uncreatable file",
         [](const std::string& d, uint8_t*) {
             return ExtractEntry("PLAIN", (d + "/no/such/folder").c_str());
         }},
        {"missing entry",
         [](const std::string& d, uint8_t*) {
             return ExtractEntry("MISSING", (d + "/missing").c_str());
         }},
        {"compressed beyond capacity",
         [](const std::string&, uint8_t* b) { return ReadEntryToMemory("PACKED", b, 16); }},
        {"inline into memory",
         [](const std::string&, uint8_t* b) { return ReadEntryToMemory("TAG", b, 16); }},
    };
    for (const Row& row : rows) {
        for (int armed : {0, 1}) {
            SetStickyErrorMode(armed);
            EXPECT_EQ(row.run(dir.path(), buffer), 0) << row.tag << ", armed " << armed;
            EXPECT_EQ(StickyError.latched, armed) << row.tag << ", armed " << armed;
        }
    }
    EXPECT_FALSE(FileExists(dir.File("missing"))) << "a missing entry creates no file";
}

TEST_F(Extract, ClosedReaderAndLatchedLatch) {
    SetStickyErrorMode(1);
    StickyError.latched = 1;
    uint8_t buffer[16];
    EXPECT_EQ(ExtractEntry("SHORT", dir.File("latched").c_str()), 0);
    EXPECT_EQ(ReadEntryToMemory("PLAIN", buffer, 16), 0);
    EXPECT_FALSE(FileExists(dir.File("latched")));

    SetStickyErrorMode(1);
    CloseArchive(ReaderHandle());
    EXPECT_EQ(ReadEntryToMemory("PLAIN", buffer, 16), 0);
    EXPECT_EQ(StickyError.latched, 1);
}

TEST_F(Extract, DamagedStreamFailsAndLeavesThePartialFile) {
    Bytes stream = CompressedBytes(PseudoRandomBytes(40000, 3));
    stream[stream.size() - 10] ^= 0x01;  // a checksum mismatch in the final block
    WriteWholeFile(dir.File("bad.arc"),
                   BuildTestArchive({}, {{"BAD", stream, kMethodCompressed, 0, 40000}}));
    ASSERT_NE(OpenArchive(dir.File("bad.arc").c_str()), kInvalidFile);
    SetStickyErrorMode(1);
    EXPECT_EQ(ExtractEntry("BAD", dir.File("bad").c_str()), 0);
    EXPECT_EQ(StickyError.latched, 1);
    EXPECT_TRUE(FileExists(dir.File("bad")));
    EXPECT_LT(ReadWholeFile(dir.File("bad")).size(), 40000u);
}

}  // namespace
