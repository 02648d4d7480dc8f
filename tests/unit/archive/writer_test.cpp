// The archive writer: records, the directory it appends, the request table of CopyEntry, aliases
// and the latch.
#include <string.h>

#include <gtest/gtest.h>

#include "archive/extract.h"
#include "archive/reader.h"
#include "archive/sticky_error.h"
#include "archive/writer.h"
#include "platform/host/host.h"
#include "tests/unit/archive/archive_helpers.h"
#include "tests/unit/archive/fake_writes.h"

namespace {

// One request of CopyEntry: the source entry, the bytes and record the copy must give.
struct CopyRow {
    const char* tag;
    TransferFlags request;
    const char* source;
    const Bytes& bytes;
    uint8_t method;
    uint8_t key;
};

class Writer : public ArchiveTest {
  protected:
    std::string Out() const { return dir.File("out.arc"); }
    void Create() {
        writer = CreateArchive(Out().c_str());
        ASSERT_NE(writer, kInvalidFile);
    }
    void Close() {
        CloseArchive(writer);
        writer = kInvalidFile;
    }
    // Copies the row's source into a new archive and checks the new record's method and key and
    // the bytes written; returns the new archive's bytes.
    Bytes CopyAndCheck(const CopyRow& row) {
        Create();
        EXPECT_EQ(CopyEntry(row.source, row.request), 1) << row.tag;
        Close();
        const Bytes file = ReadWholeFile(Out());
        const RecordFields r = DirectoryTail(file, 1)[0];
        EXPECT_EQ(r.method, row.method) << row.tag;
        EXPECT_EQ(r.xor_key, row.key) << row.tag;
        EXPECT_EQ(Slice(file, 0, r.stored_size), row.bytes) << row.tag;
        return file;
    }
    // Opens an archive made of `entries` as the reader.
    void OpenSource(const std::vector<TestEntry>& entries, const Bytes& prefix = {}) {
        WriteWholeFile(dir.File("src.arc"), BuildTestArchive(prefix, entries));
        ASSERT_NE(OpenArchive(dir.File("src.arc").c_str()), kInvalidFile);
    }
};

TEST_F(Writer, DirectoryOfThreeIsOneCipherStreamFirstAddedLast) {
    Create();
    const Bytes a = PseudoRandomBytes(100, 1), b = PseudoRandomBytes(200, 2),
                c = PseudoRandomBytes(300, 3);
    EXPECT_EQ(AddEntryFromMemory(a.data(), 100, "SAVER", 0), 1);
    EXPECT_EQ(AddEntryFromMemory(b.data(), 200, "STUB", 0), 1);
    EXPECT_EQ(AddEntryFromMemory(c.data(), 300, "MOVIE", 0), 1);
    Close();
    const Bytes file = ReadWholeFile(Out());
    ASSERT_EQ(file.size(), 600u + 120u);
    const std::vector<RecordFields> dir3 = DirectoryTail(file, 3);
    const char* names[] = {"MOVIE", "STUB", "SAVER"};
    const uint8_t counts[] = {0, 0, 3};
    const uint32_t offsets[] = {300, 100, 0};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(dir3[i].name, names[i]) << "slot " << i;
        EXPECT_EQ(dir3[i].count_or_length, counts[i]) << "slot " << i;
        EXPECT_EQ(dir3[i].data_offset, offsets[i]) << "slot " << i;
        EXPECT_EQ(dir3[i].record_size, kRecordSize) << "slot " << i;
        EXPECT_EQ(dir3[i].magic, kDirectoryMagic) << "slot " << i;
        EXPECT_EQ(dir3[i].marker_offset, -1) << "slot " << i;
    }
    EXPECT_EQ(Slice(file, 300, 300), c);
}

TEST_F(Writer, APrefixComesFirstAndCountsInTheOffsets) {
    Create();
    const Bytes stub = BytesOf("MZ an executable the archive follows");
    const Bytes a = PseudoRandomBytes(100, 1);
    EXPECT_EQ(WriteArchivePrefix(stub.data(), static_cast<uint32_t>(stub.size())), 1);
    EXPECT_EQ(AddEntryFromMemory(a.data(), 100, "SAVER", 0), 1);
    Close();
    const Bytes file = ReadWholeFile(Out());
    EXPECT_EQ(Slice(file, 0, stub.size()), stub);
    EXPECT_EQ(DirectoryTail(file, 1)[0].data_offset, stub.size());

    // A short write of the prefix fails it and latches when armed.
    SetStickyErrorMode(1);
    Create();
    HostResetFaults();
    HostFailCall(kHostWrite, 1, 3);
    EXPECT_EQ(WriteArchivePrefix(stub.data(), static_cast<uint32_t>(stub.size())), 0);
    EXPECT_EQ(StickyError.latched, 1);
    EXPECT_EQ(WriteArchivePrefix(stub.data(), 1), 0);  // nothing more while latched
    Close();
    SetStickyErrorMode(0);
}

TEST_F(Writer, EmptyWriterWritesNoDirectory) {
    Create();
    Close();
    EXPECT_TRUE(FileExists(Out()));
    EXPECT_EQ(ReadWholeFile(Out()).size(), 0u);
}

// The 33rd addition fails in each operation's own way.
TEST_F(Writer, ThirtyTwoRecordsAndNoMore) {
    OpenSource({{"SRC", BytesOf("source")}});
    SetStickyErrorMode(1);
    Create();
    uint32_t expected_offset = 0;
    for (int i = 0; i < 32; ++i) {
        const std::string name = "E" + std::to_string(i);
        const Bytes data = PseudoRandomBytes(10 + i, i);
        ASSERT_EQ(
            AddEntryFromMemory(data.data(), static_cast<uint32_t>(data.size()), name.c_str(), 0),
            1);
        expected_offset += static_cast<uint32_t>(data.size());
    }
    const uint8_t extra[4] = {1, 2, 3, 4};
    EXPECT_EQ(AddEntryFromMemory(extra, 4, "MORE", 0), 0);
    EXPECT_EQ(StickyError.latched, 0) << "a full room does not latch AddEntryFromMemory";
    EXPECT_EQ(AliasRecord("MORE", "E1"), 0);
    EXPECT_EQ(StickyError.latched, 0) << "AliasRecord never latches";
    EXPECT_EQ(CopyEntry("SRC", 0), 0);
    EXPECT_EQ(StickyError.latched, 1) << "CopyEntry latches on a full room";
    Close();

    const Bytes file = ReadWholeFile(Out());
    EXPECT_EQ(file.size(), expected_offset + 32 * kRecordSize) << "nothing of the 33rd written";
    SetStickyErrorMode(0);
    ASSERT_NE(OpenArchive(Out().c_str()), kInvalidFile) << "after the latch was cleared";
    EXPECT_EQ(ReaderRecordCount(), 32u);
    uint32_t offset = 0;
    for (uint32_t i = 0; i < 32; ++i) {
        const RecordFields r = FieldsOf(*ReaderRecord(i));
        EXPECT_EQ(r.name, "E" + std::to_string(i));
        EXPECT_EQ(r.data_offset, offset) << "record " << i;
        EXPECT_EQ(r.stored_size, 10 + i) << "record " << i;
        offset += r.stored_size;
    }
    EXPECT_EQ(DirectoryTail(file, 32)[31].count_or_length, 32);
}

TEST_F(Writer, MarkerOffsets) {
    struct Row {
        int32_t given;
        uint32_t original;
        int32_t kept;
    } rows[] = {{0, 100, -1}, {100, 100, -1}, {250, 100, -1}, {-1, 100, -1},
                {1, 100, 1},  {99, 100, 99},  {5, 0, -1}};
    Create();
    for (const Row& row : rows)
        AppendRecord("M", 0, 0, row.original, 0, row.given);
    Close();
    const std::vector<RecordFields> records = DirectoryTail(ReadWholeFile(Out()), 7);
    for (size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(records[6 - i].marker_offset, rows[i].kept)
            << "marker " << rows[i].given << " of " << rows[i].original;
    }
}

TEST_F(Writer, AliasRecordSharesTheData) {
    Create();
    const Bytes movie = PseudoRandomBytes(5000, 4);
    ASSERT_EQ(AddEntryFromMemory(movie.data(), 5000, "MOVIE", 0x21), 1);
    EXPECT_EQ(AliasRecord("PREVIEWB", "NOTHERE"), 0);
    EXPECT_EQ(AliasRecord("PREVIEWB", "movie"), 1);
    EXPECT_EQ(AliasRecord("ABCDEFGHIJKLMNOPQRST", "MOVIE"), 1);
    Close();
    const Bytes file = ReadWholeFile(Out());
    ASSERT_EQ(file.size(), 5000u + 3 * kRecordSize) << "an alias writes no data";
    const std::vector<RecordFields> records = DirectoryTail(file, 3);
    const RecordFields& original = records[2];
    for (int i : {0, 1}) {
        EXPECT_EQ(records[i].data_offset, original.data_offset) << "alias " << i;
        EXPECT_EQ(records[i].stored_size, original.stored_size) << "alias " << i;
        EXPECT_EQ(records[i].original_size, original.original_size) << "alias " << i;
        EXPECT_EQ(records[i].method, original.method) << "alias " << i;
        EXPECT_EQ(records[i].xor_key, 0x21) << "alias " << i;
    }
    EXPECT_EQ(records[1].name, "PREVIEWB");
    EXPECT_EQ(records[0].name, "ABCDEFGHIJKLMNOP") << "16 characters, no NUL";
    ASSERT_NE(OpenArchive(Out().c_str()), kInvalidFile);
    EXPECT_EQ(SameEntryData("MOVIE", "PREVIEWB"), 1);
}

TEST_F(Writer, CreateWhileLatchedMakesNoFileButClosesTheOpenWriter) {
    Create();
    const Bytes data = PseudoRandomBytes(50, 5);
    ASSERT_EQ(AddEntryFromMemory(data.data(), 50, "FIRST", 0), 1);
    SetStickyErrorMode(1);
    StickyError.latched = 1;
    EXPECT_EQ(CreateArchive(dir.File("second").c_str()), kInvalidFile);
    writer = kInvalidFile;
    EXPECT_FALSE(FileExists(dir.File("second")));
    EXPECT_EQ(ReadWholeFile(Out()).size(), 50u + kRecordSize) << "first closed with directory";
}

TEST_F(Writer, UncreatableFileLatchesWhenArmed) {
    for (int armed : {0, 1}) {
        SetStickyErrorMode(armed);
        EXPECT_EQ(CreateArchive(dir.File("no/such/folder").c_str()), kInvalidFile);
        EXPECT_EQ(StickyError.latched, armed) << "armed " << armed;
    }
}

TEST_F(Writer, ShortDirectoryWriteLatchesWhenArmed) {
    for (int armed : {0, 1}) {
        SetStickyErrorMode(armed);
        Create();
        const Bytes data = PseudoRandomBytes(64, 6);
        ASSERT_EQ(AddEntryFromMemory(data.data(), 64, "DATA", 0), 1);
        HostResetFaults();
        HostFailCall(kHostWrite, 1, 39);
        Close();
        EXPECT_EQ(StickyError.latched, armed) << "armed " << armed;
        EXPECT_EQ(ReadWholeFile(Out()).size(), 64u + 39u) << "armed " << armed;
    }
}

TEST_F(Writer, AddEntryFromMemoryCompressed) {
    const Bytes info = PseudoRandomBytes(6148, 7);
    const Bytes stream = CompressedBytes(info);
    Create();
    ASSERT_EQ(AddEntryFromMemory(info.data(), 6148, "INFO", Compress), 1);
    Close();
    const Bytes file = ReadWholeFile(Out());
    const RecordFields r = DirectoryTail(file, 1)[0];
    EXPECT_EQ(r.method, kMethodCompressed);
    EXPECT_EQ(r.original_size, 6148u);
    EXPECT_EQ(r.stored_size, stream.size());
    EXPECT_EQ(Slice(file, 0, r.stored_size), stream);
}

// A write that comes up short inside a compression or an expansion fails the entry and latches;
// the bytes that did land stay uncovered, and the next entry's offset counts them.
TEST_F(Writer, ShortWriteInsideBlockStreamFailsTheEntry) {
    const Bytes plain = PseudoRandomBytes(30000, 12);
    OpenSource({{"PACKED", CompressedBytes(plain), kMethodCompressed, 0, 30000}});
    struct Row {
        const char* tag;
        int (*add)(const Bytes& plain);
    } rows[] = {
        {"AddEntryFromMemory Compress",
         [](const Bytes& p) {
             return AddEntryFromMemory(p.data(), static_cast<uint32_t>(p.size()), "NEW", Compress);
         }},
        {"CopyEntry Decompress", [](const Bytes&) { return CopyEntry("PACKED", Decompress); }},
    };
    for (const Row& row : rows) {
        SetStickyErrorMode(1);
        Create();
        HostResetFaults();
        HostFailCall(kHostWrite, 2, 100);
        EXPECT_EQ(row.add(plain), 0) << row.tag;
        EXPECT_EQ(StickyError.latched, 1) << row.tag;
        HostResetFaults();
        SetStickyErrorMode(1);
        const uint8_t after[3] = {7, 8, 9};
        ASSERT_EQ(AddEntryFromMemory(after, 3, "AFTER", 0), 1) << row.tag;
        Close();
        const Bytes file = ReadWholeFile(Out());
        const RecordFields r = DirectoryTail(file, 1)[0];
        EXPECT_EQ(r.name, "AFTER") << row.tag << ": the failed entry has no record";
        EXPECT_EQ(r.data_offset, file.size() - 3 - kRecordSize) << row.tag;
        EXPECT_GT(r.data_offset, 100u) << row.tag;
    }
}

TEST_F(Writer, OperationsWhileLatchedDoNothing) {
    OpenSource({{"SRC", BytesOf("source")}});
    Create();
    SetStickyErrorMode(1);
    const uint8_t byte = 1;
    ASSERT_EQ(AddEntryFromMemory(&byte, 1, "ONE", 0), 1);
    StickyError.latched = 1;
    EXPECT_EQ(AddEntryFromMemory(&byte, 1, "TWO", 0), 0);
    EXPECT_EQ(CopyEntry("SRC", 0), 0);
    EXPECT_EQ(AliasRecord("THREE", "ONE"), 0);
    Close();
    EXPECT_EQ(ReadWholeFile(Out()).size(), 1u + kRecordSize);
}

TEST_F(Writer, CopyEntryFailuresLatchWhenArmed) {
    OpenSource({{"SRC", BytesOf("source")}, {"TINY", BytesOf("abc"), kMethodInline}});
    Create();
    for (int armed : {0, 1}) {
        SetStickyErrorMode(armed);
        EXPECT_EQ(CopyEntry("MISSING", Decompress), 0);
        EXPECT_EQ(StickyError.latched, armed) << "missing, armed " << armed;
        SetStickyErrorMode(armed);
        EXPECT_EQ(CopyEntry("TINY", 0), 0) << "inline entries cannot be copied";
        EXPECT_EQ(StickyError.latched, armed) << "inline, armed " << armed;
    }
    Close();
    SetStickyErrorMode(1);
    EXPECT_EQ(CopyEntry("SRC", 0), 0) << "no writer";
    EXPECT_EQ(StickyError.latched, 1);
}

// The six requests of the installer, each checked on the bytes written and the new record.
TEST_F(Writer, CopyEntryRequestTable) {
    const uint8_t k = 0x5A;
    const Bytes plain = PseudoRandomBytes(30000, 8);
    Bytes scrambled = plain;
    for (uint8_t& b : scrambled)
        b ^= k;
    const Bytes stream = CompressedBytes(plain);
    TestEntry stored{"STORED", scrambled, kMethodStored, k};
    TestEntry packed{"PACKED", stream, kMethodCompressed, k, 30000};
    OpenSource({stored, packed}, BytesOf("MZ prefix that is not part of the archive"));

    const CopyRow rows[] = {
        {"0, stored", 0, "STORED", scrambled, kMethodStored, k},
        {"0, compressed", 0, "PACKED", stream, kMethodCompressed, k},
        {"Decompress, stored", Decompress, "STORED", scrambled, kMethodStored, k},
        {"Decompress, compressed", Decompress, "PACKED", plain, kMethodStored, 0},
        {"Decompress+Unscramble, stored", Decompress | Unscramble, "STORED", plain, kMethodStored,
         0},
        {"Decompress+Unscramble, compressed", Decompress | Unscramble, "PACKED", plain,
         kMethodStored, 0},
    };
    for (const CopyRow& row : rows) {
        const Bytes file = CopyAndCheck(row);
        const RecordFields r = DirectoryTail(file, 1)[0];
        EXPECT_EQ(r.name, row.source) << row.tag;
        EXPECT_EQ(r.data_offset, 0u) << row.tag;
        EXPECT_EQ(r.stored_size, row.bytes.size()) << row.tag;
        EXPECT_EQ(r.original_size, 30000u) << row.tag;
        EXPECT_EQ(file.size(), row.bytes.size() + kRecordSize) << row.tag;
    }
}

// Requests the installer never makes still give records that say what the bytes are.
TEST_F(Writer, CopyEntryOtherRequestsStaySound) {
    const uint8_t k = 0x3C;
    const Bytes plain = PseudoRandomBytes(20000, 9);
    Bytes scrambled = plain;
    for (uint8_t& b : scrambled)
        b ^= k;
    const Bytes stream = CompressedBytes(plain);
    OpenSource(
        {{"STORED", scrambled, kMethodStored, k}, {"PACKED", stream, kMethodCompressed, 0, 20000}});
    const CopyRow rows[] = {
        {"Compress, stored", Compress, "STORED", stream, kMethodCompressed, 0},
        {"Compress+Unscramble, stored", Compress | Unscramble, "STORED", stream, kMethodCompressed,
         0},
        {"Compress, compressed", Compress, "PACKED", stream, kMethodCompressed, 0},
        {"Unscramble, compressed", Unscramble, "PACKED", stream, kMethodCompressed, 0},
        {"Unscramble, stored", Unscramble, "STORED", plain, kMethodStored, 0},
        {"low byte, stored", 0x11, "STORED", scrambled, kMethodStored, k},
        {"low byte, compressed", Decompress | 0x11, "PACKED", plain, kMethodStored, 0},
    };
    for (const CopyRow& row : rows) {
        CopyAndCheck(row);
        ASSERT_NE(OpenArchive(Out().c_str()), kInvalidFile) << row.tag;
        bool ok = false;
        EXPECT_EQ(EntryContent(row.source, &ok), plain) << row.tag;
        EXPECT_TRUE(ok) << row.tag;
        ASSERT_NE(OpenArchive(dir.File("src.arc").c_str()), kInvalidFile) << row.tag;
    }
}

TEST_F(Writer, CopyKeepsMarkerAndOffsetsAddUp) {
    Bytes archive = PseudoRandomBytes(18003, 1);
    std::vector<DirectoryRecord> records = {MakeRecord("A", 0, 0, 0, 1000, 1000, 0),
                                            MakeRecord("B", 0, 0, 1000, 17000, 17000, 500),
                                            MakeRecord("C", 0, 0, 18000, 3, 3, 3)};
    const Bytes directory = EncipherDirectory(records);
    archive.insert(archive.end(), directory.begin(), directory.end());
    WriteWholeFile(dir.File("src.arc"), archive);
    ASSERT_NE(OpenArchive(dir.File("src.arc").c_str()), kInvalidFile);
    Create();
    for (const char* name : {"C", "B", "A"})
        ASSERT_EQ(CopyEntry(name, Decompress), 1) << name;
    Close();
    const std::vector<RecordFields> out = DirectoryTail(ReadWholeFile(Out()), 3);
    // File order: A (added last), B, C (added first).
    EXPECT_EQ(out[2].data_offset, 0u);
    EXPECT_EQ(out[1].data_offset, 3u);
    EXPECT_EQ(out[0].data_offset, 17003u);
    EXPECT_EQ(out[2].marker_offset, -1) << "marker at the size";
    EXPECT_EQ(out[1].marker_offset, 500);
    EXPECT_EQ(out[0].marker_offset, -1) << "marker 0";
}

// Offsets are 32-bit. A prefix of 4 GiB - 256 bytes (faked) leaves room for entries ending at
// 4 GiB - 1; an entry or prefix that would end past it fails and latches (a prefix before it is
// written; an entry's bytes stay uncovered, as after any failed transfer), and no record is
// added for it.
TEST_F(Writer, NothingEndsPastFourGiB) {
    const Bytes plain = PseudoRandomBytes(300, 8);
    const uint32_t kPrefix = 0xFFFFFF00u;
    struct Step {
        const char* what;
        int (*run)(const Bytes& plain);
        int ok;
        uint32_t bytes;  // written by the step
    };
    struct Row {
        const char* tag;
        std::vector<Step> steps;
    } rows[] = {
        {"stored to the last byte, then one more",
         {{"255 bytes", [](const Bytes& p) { return AddEntryFromMemory(p.data(), 255, "A", 0); }, 1,
           255},
          {"1 byte", [](const Bytes& p) { return AddEntryFromMemory(p.data(), 1, "B", 0); }, 0,
           1}}},
        {"stored, one byte too many",
         {{"256 bytes", [](const Bytes& p) { return AddEntryFromMemory(p.data(), 256, "A", 0); }, 0,
           256}}},
        {"empty entry at the last offset",
         {{"255 bytes", [](const Bytes& p) { return AddEntryFromMemory(p.data(), 255, "A", 0); }, 1,
           255},
          {"0 bytes", [](const Bytes& p) { return AddEntryFromMemory(p.data(), 0, "B", 0); }, 1,
           0}}},
        {"a compressed stream that comes out too long",
         {{"300 bytes compressed",
           [](const Bytes& p) { return AddEntryFromMemory(p.data(), 300, "C", Compress); }, 0,
           UINT32_MAX}}},
        {"a copy of a stored entry",
         {{"copy", [](const Bytes&) { return CopyEntry("SRC", 0); }, 0, 300}}},
        {"a copy that expands past the limit",
         {{"expand", [](const Bytes&) { return CopyEntry("PACKED", Decompress); }, 0, 300}}},
        {"a second prefix",
         {{"prefix", [](const Bytes& p) { return WriteArchivePrefix(p.data(), 256); }, 0, 0}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        SetStickyErrorMode(1);
        OpenSource({{"SRC", plain}, {"PACKED", CompressedBytes(plain), kMethodCompressed, 0, 300}});
        Create();
        FakeWrites = true;
        const int prefixed = WriteArchivePrefix(plain.data(), kPrefix);  // the buffer is not read
        FakeWrites = false;
        ASSERT_EQ(prefixed, 1);
        int records = 0;
        uint64_t written = 0;
        for (const Step& step : row.steps) {
            const uint64_t before = ReadWholeFile(Out()).size();
            EXPECT_EQ(step.run(plain), step.ok) << step.what;
            const uint64_t after = ReadWholeFile(Out()).size();
            if (step.bytes != UINT32_MAX) {
                EXPECT_EQ(after - before, step.bytes) << step.what;
            }
            EXPECT_EQ(StickyError.latched, !step.ok) << step.what;
            records += step.ok;
            written = after;
        }
        Close();
        const Bytes file = ReadWholeFile(Out());
        EXPECT_EQ(file.size(), written + records * kRecordSize);
        if (records > 0) {
            const std::vector<RecordFields> tail = DirectoryTail(file, records);
            EXPECT_EQ(tail.back().count_or_length, records);
            EXPECT_EQ(tail.back().data_offset, kPrefix);
        }
        CloseArchive(ReaderHandle());
    }
    SetStickyErrorMode(0);
}

}  // namespace
