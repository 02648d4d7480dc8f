// The archive reader: opening stages, the directory search, lookups and the error latch.
#include <string.h>

#include <gtest/gtest.h>

#include "archive/cipher.h"
#include "archive/reader.h"
#include "archive/sticky_error.h"
#include "platform/host/host.h"
#include "tests/unit/support/test_support.h"

namespace {

class Reader : public ::testing::Test {
  protected:
    void SetUp() override {
        HostReset();
        SetStickyErrorMode(0);
    }
    void TearDown() override { CloseArchive(ReaderHandle()); }

    // Writes `bytes` to a scratch file and opens it.
    FileHandle Open(const Bytes& bytes) {
        path_ = dir_.File("archive.bin");
        WriteWholeFile(path_, bytes);
        return OpenArchive(path_.c_str());
    }

    ScratchDir dir_;
    std::string path_;
};

std::vector<TestEntry> ThreeEntries() {
    return {{"SAVER", BytesOf("MZ-program")}, {"STUB", BytesOf("stub")}, {"MOVIE", Bytes(100, 7)}};
}

TEST_F(Reader, OpensAnArchiveAppendedToOtherContent) {
    FileHandle h = Open(BuildTestArchive(PseudoRandomBytes(5000, 1), ThreeEntries()));
    ASSERT_NE(h, kInvalidFile);
    EXPECT_EQ(ArchiveOpenStage, 3);
    EXPECT_EQ(ReaderRecordCount(), 3u);
    EXPECT_EQ(GetStoredSize("SAVER"), 10);
    EXPECT_EQ(GetOriginalSize("MOVIE"), 100);
    uint32_t stub_offset = FindRecord("STUB", kClassNormal)->data_offset;  // a packed field
    EXPECT_EQ(stub_offset, 5010u);
    EXPECT_EQ(ReaderRecord(0)->count_or_length, 3);  // the first added carries the count
}

TEST_F(Reader, StagesOfAFailedOpen) {
    struct Row {
        const char* what;
        Bytes file;
        int stage;
    } rows[] = {
        {"empty file", {}, 3},
        {"shorter than a record", Bytes(39, 1), 3},
        {"garbage", PseudoRandomBytes(4000, 9), 3},
        {"directory of 33 records", {}, 3},
    };
    std::vector<TestEntry> many;
    for (int i = 0; i < 33; ++i)
        many.push_back({"E" + std::to_string(i), Bytes(3, 1)});
    rows[3].file = BuildTestArchive({}, many);
    for (const Row& r : rows) {
        EXPECT_EQ(Open(r.file), kInvalidFile) << r.what;
        EXPECT_EQ(ArchiveOpenStage, r.stage) << r.what;
        EXPECT_EQ(ReaderHandle(), kInvalidFile) << r.what;
    }
    EXPECT_EQ(OpenArchive((dir_.path() + "/missing").c_str()), kInvalidFile);
    EXPECT_EQ(ArchiveOpenStage, 1);

    // The directory read is the last read of an open (the headers are looked at first).
    HostResetFaults();
    ASSERT_NE(Open(BuildTestArchive({}, ThreeEntries())), kInvalidFile);
    const int reads = HostCallCount(kHostRead);
    HostResetFaults();
    HostFailCall(kHostRead, reads, 50);  // the directory read comes up short
    EXPECT_EQ(OpenArchive(path_.c_str()), kInvalidFile);
    EXPECT_EQ(ArchiveOpenStage, 2);
}

TEST_F(Reader, ThirtyTwoRecordsAreFound) {
    std::vector<TestEntry> entries;
    for (int i = 0; i < 32; ++i)
        entries.push_back({"E" + std::to_string(i), Bytes(3, 1)});
    ASSERT_NE(Open(BuildTestArchive({}, entries)), kInvalidFile);
    EXPECT_EQ(ReaderRecordCount(), 32u);
    EXPECT_EQ(GetStoredSize("E31"), 3);
}

TEST_F(Reader, TheCountByteMustMatchTheRecordsTried) {
    // Enciphers records (given in file order) as one directory stream, counts left as given.
    auto directory = [](std::vector<DirectoryRecord> in_file_order) {
        Bytes out;
        for (const DirectoryRecord& r : in_file_order) {
            const uint8_t* raw = reinterpret_cast<const uint8_t*>(&r);
            out.insert(out.end(), raw, raw + sizeof r);
        }
        SetCipherKey("KNOT");
        CipherBytes(out.data(), static_cast<uint32_t>(out.size()), 1);
        return out;
    };
    DirectoryRecord a = MakeRecord("A", 0, 0, 0, 1, 1);
    DirectoryRecord b = MakeRecord("B", 0, 0, 1, 1, 1);
    struct Row {
        const char* what;
        std::vector<DirectoryRecord> records;
        uint8_t count;
        bool opens;
    } rows[] = {
        {"one record, count 1", {a}, 1, true},
        {"one record, count 2", {a}, 2, false},  // the magic fits, the count does not
        {"one record, count 0", {a}, 0, false},
        {"two records, count 2", {b, a}, 2, true},  // the one-record trial fails first
        {"two records, count 5", {b, a}, 5, false},
        {"two records, count -2", {b, a}, 0xFE, false},
    };
    for (Row& r : rows) {
        r.records.back().count_or_length = r.count;
        Bytes file = PseudoRandomBytes(300, 4);
        Bytes dir = directory(r.records);
        file.insert(file.end(), dir.begin(), dir.end());
        EXPECT_EQ(Open(file) != kInvalidFile, r.opens) << r.what;
        EXPECT_EQ(ArchiveOpenStage, 3) << r.what;
        if (r.opens) {
            EXPECT_EQ(ReaderRecordCount(), r.records.size()) << r.what;
        }
    }
}

TEST_F(Reader, LookupsIgnoreCaseAndTakeTheLatestOfAName) {
    std::vector<TestEntry> entries = ThreeEntries();
    entries.push_back({"movie", Bytes(5, 2)});
    entries.push_back({"DOC", BytesOf("inline"), kMethodInline});
    entries.push_back({"doc", Bytes(9, 1)});  // normal, but added after the inline one
    entries.push_back({"Pic", BytesOf("abc"), kMethodInline});
    ASSERT_NE(Open(BuildTestArchive({}, entries)), kInvalidFile);
    EXPECT_EQ(GetStoredSize("info"), -1);
    EXPECT_EQ(GetStoredSize("saver"), 10);
    EXPECT_EQ(GetStoredSize("MOVIE"), 100);  // the first added of a name decides
    EXPECT_EQ(GetStoredSize("DOC"), -1);     // decided by the inline record
    EXPECT_EQ(FindRecord("doc", kClassInline)->method, kMethodInline);
    EXPECT_EQ(FindRecord("doc", kClassNormal | kClassInline)->method, kMethodInline);
    EXPECT_EQ(GetStoredSize("PIC"), -1);
    EXPECT_EQ(SameEntryData("SAVER", "saver"), 1);
    EXPECT_EQ(SameEntryData("SAVER", "STUB"), 0);
    EXPECT_EQ(SameEntryData("SAVER", "nothing"), 0);
}

// A name field of 16 characters has no NUL: it matches that name exactly, in any case, and
// neither a longer name that starts with it nor a shorter one.
TEST_F(Reader, FullLengthNamesAndTheLastRecord) {
    std::vector<TestEntry> entries = ThreeEntries();
    entries.push_back({"ADDITIONALFILE16", Bytes(16, 1)});
    ASSERT_NE(Open(BuildTestArchive({}, entries)), kInvalidFile);
    EXPECT_EQ(GetStoredSize("ADDITIONALFILE16"), 16);
    EXPECT_EQ(GetStoredSize("additionalfile16"), 16);
    EXPECT_EQ(GetStoredSize("ADDITIONALFILE16X"), -1);
    EXPECT_EQ(GetStoredSize("ADDITIONALFILE1"), -1);
    ASSERT_EQ(ReaderRecordCount(), 4u);
    EXPECT_NE(ReaderRecord(3), nullptr);
    EXPECT_EQ(ReaderRecord(4), nullptr);
}

TEST_F(Reader, InlineEntries) {
    std::vector<DirectoryRecord> records = {
        MakeRecord("SAVER", 0, 0, 0, 2, 2),
        MakeInlineRecord("TEN", BytesOf("0123456789"), 10),
        MakeInlineRecord("FULL", BytesOf("0123456789abcdef"), 16),
        MakeInlineRecord("SEVENTEEN", BytesOf("x"), 17),
        MakeInlineRecord("NEGATIVE", BytesOf("x"), 0xFF),
    };
    Bytes file = {'h', 'i'};
    Bytes dir = EncipherDirectory(records);
    file.insert(file.end(), dir.begin(), dir.end());
    ASSERT_NE(Open(file), kInvalidFile);

    struct Row {
        const char* name;
        int result;
        std::string content;
    } rows[] = {{"ten", 1, "0123456789"}, {"FULL", 1, "0123456789abcdef"},
                {"SEVENTEEN", 1, ""},     {"NEGATIVE", 1, ""},
                {"SAVER", 0, ""},         {"MISSING", 0, ""}};
    for (const Row& r : rows) {
        uint8_t buffer[16];
        memset(buffer, 0xA5, sizeof buffer);
        uint32_t length = 99;
        EXPECT_EQ(ReadInlineEntry(r.name, buffer, &length), r.result) << r.name;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), length), r.content) << r.name;
    }
    EXPECT_EQ(GetStoredSize("TEN"), -1);
    CloseArchive(ReaderHandle());
    uint8_t buffer[16];
    EXPECT_EQ(ReadInlineEntry("TEN", buffer, nullptr), 0);  // no reader open
}

TEST_F(Reader, TheLatchIsSetOnlyWhenArmed) {
    std::string missing = dir_.path() + "/missing";
    SetStickyErrorMode(0);
    EXPECT_EQ(OpenArchive(missing.c_str()), kInvalidFile);
    EXPECT_EQ(StickyError.latched, 0);

    SetStickyErrorMode(1);
    EXPECT_EQ(OpenArchive(missing.c_str()), kInvalidFile);
    EXPECT_EQ(StickyError.latched, 1);

    // While latched, even a good archive is not opened and the stage is 0.
    WriteWholeFile(path_ = dir_.File("good"), BuildTestArchive({}, ThreeEntries()));
    EXPECT_EQ(OpenArchive(path_.c_str()), kInvalidFile);
    EXPECT_EQ(ArchiveOpenStage, 0);

    SetStickyErrorMode(1);  // clears and re-arms
    EXPECT_NE(OpenArchive(path_.c_str()), kInvalidFile);
    EXPECT_EQ(StickyError.latched, 0);
}

TEST_F(Reader, OpeningAgainClosesTheReaderFirst) {
    Bytes archive = BuildTestArchive({}, ThreeEntries());
    FileHandle first = Open(archive);
    ASSERT_NE(first, kInvalidFile);
    FileHandle second = OpenArchive(path_.c_str());
    ASSERT_NE(second, kInvalidFile);
    EXPECT_EQ(HostEventsStartingWith("CloseHandle(" + std::to_string(first) + ")").size(), 1u);
    CloseArchive(12345);  // not the reader's: ignored
    EXPECT_EQ(ReaderHandle(), second);
}

TEST_F(Reader, AnyTailIsSafe) {
    // Random files of every small size and a few large ones: no crash, no out-of-bounds access
    // (the asan build runs this), and only stage 3 failures.
    for (uint32_t size = 0; size < 1400; size += 7) {
        Open(PseudoRandomBytes(size, size + 1));
        EXPECT_EQ(ArchiveOpenStage, 3) << size;
    }
}

TEST_F(Reader, OwnFileWithoutPayloadIsDamaged) {
    // The test program itself carries no payload archive.
    EXPECT_EQ(OpenArchive(nullptr), kInvalidFile);
    EXPECT_EQ(ArchiveOpenStage, 3);
    HostSetModuleFileName("");
    EXPECT_EQ(OpenArchive(nullptr), kInvalidFile);
    EXPECT_EQ(ArchiveOpenStage, 1);
}

}  // namespace
