// The transfer engine: plain copies in 16 KB chunks, keys, and the hand-over to the block stream.
#include <string.h>

#include <gtest/gtest.h>

#include "archive/transfer.h"
#include "platform/files.h"
#include "platform/host/host.h"
#include "tests/unit/archive/archive_helpers.h"

namespace {

class Transfer : public ArchiveTest {
  protected:
    // Runs a file-to-file transfer of `count` bytes of `source_bytes`; the sink's bytes come back.
    Bytes FileToFile(const Bytes& source_bytes, uint32_t* count, TransferFlags flags, int* ok) {
        WriteWholeFile(dir.File("in"), source_bytes);
        const FileHandle in = PlatOpenRead(dir.File("in").c_str());
        const FileHandle out = PlatCreateWrite(dir.File("out").c_str());
        *ok = TransferEntryData(in, out, count, flags);
        PlatClose(in);
        PlatClose(out);
        return ReadWholeFile(dir.File("out"));
    }
};

// The sizes each ReadFile and WriteFile of the latest run asked for, as "r16384 w16384 ...".
std::string ChunkCalls() {
    std::string calls;
    for (const std::string& e : HostEvents()) {
        unsigned handle, size;
        if (sscanf(e.c_str(), "ReadFile(%u, %u)", &handle, &size) == 2)
            calls += " r" + std::to_string(size);
        if (sscanf(e.c_str(), "WriteFile(%u, %u)", &handle, &size) == 2)
            calls += " w" + std::to_string(size);
    }
    return calls;
}

TEST_F(Transfer, RawCopyMovesWholeChunks) {
    struct Row {
        uint32_t size;
        const char* calls;
    } rows[] = {
        {0, ""},
        {1, " r1 w1"},
        {16384, " r16384 w16384"},
        {16385, " r16384 w16384 r1 w1"},
        {40000, " r16384 w16384 r16384 w16384 r7232 w7232"},
    };
    for (const Row& row : rows) {
        const Bytes data = PseudoRandomBytes(row.size, row.size + 1);
        uint32_t count = row.size;
        int ok = 0;
        HostClearEvents();
        // One byte more in the file than asked for: the copy must stop at the count.
        Bytes source = data;
        source.push_back(0x77);
        const Bytes sink = FileToFile(source, &count, 0, &ok);
        EXPECT_EQ(ok, 1) << "size " << row.size;
        EXPECT_EQ(count, row.size) << "size " << row.size;
        EXPECT_EQ(sink, data) << "size " << row.size;
        EXPECT_EQ(ChunkCalls(), row.calls) << "size " << row.size;
    }
}

TEST_F(Transfer, SourceEndingInTheThirdChunkFailsAfterTwo) {
    const Bytes data = PseudoRandomBytes(2 * kChunkSize + 100, 5);
    uint32_t count = 3 * kChunkSize;
    int ok = 1;
    const Bytes sink = FileToFile(data, &count, 0, &ok);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(count, 2 * kChunkSize);
    EXPECT_EQ(sink, Slice(data, 0, 2 * kChunkSize));
}

TEST_F(Transfer, ShortWriteCountsTheBytesThatLanded) {
    const Bytes data = PseudoRandomBytes(3 * kChunkSize, 6);
    HostFailCall(kHostWrite, 2, 1000);
    uint32_t count = 3 * kChunkSize;
    int ok = 1;
    const Bytes sink = FileToFile(data, &count, 0, &ok);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(count, kChunkSize + 1000);
    EXPECT_EQ(sink, Slice(data, 0, kChunkSize + 1000));
}

TEST_F(Transfer, KeyByteIsAppliedOnceWithOrWithoutUnscramble) {
    const Bytes plain = PseudoRandomBytes(20000, 8);
    Bytes scrambled = plain;
    for (uint8_t& b : scrambled)
        b ^= 0x5A;
    struct Row {
        const char* tag;
        TransferFlags flags;
        const Bytes& source;
        const Bytes& expected;
    } rows[] = {
        {"key", 0x5A, scrambled, plain},
        {"key+unscramble", 0x5A | Unscramble, scrambled, plain},
        {"no key+unscramble", Unscramble, plain, plain},
        {"no key", 0, scrambled, scrambled},
    };
    for (const Row& row : rows) {
        uint32_t count = static_cast<uint32_t>(row.source.size());
        int ok = 0;
        EXPECT_EQ(FileToFile(row.source, &count, row.flags, &ok), row.expected) << row.tag;
        EXPECT_EQ(ok, 1) << row.tag;
        EXPECT_EQ(count, row.source.size()) << row.tag;
    }
}

TEST_F(Transfer, MemoryToMemory) {
    const Bytes plain = PseudoRandomBytes(40000, 9);
    for (uint8_t key : {0x00, 0xA7}) {
        Bytes sink(plain.size() + 16, 0xA5);
        uint32_t count = static_cast<uint32_t>(plain.size());
        EXPECT_EQ(TransferEntryData(reinterpret_cast<intptr_t>(plain.data()),
                                    reinterpret_cast<intptr_t>(sink.data()), &count,
                                    key | FromMemory | ToMemory),
                  1);
        EXPECT_EQ(count, plain.size());
        for (size_t i = 0; i < plain.size(); ++i) {
            if (sink[i] != (plain[i] ^ key)) {
                ADD_FAILURE() << "key " << int(key) << " byte " << i;
                break;
            }
        }
        EXPECT_EQ(Bytes(sink.end() - 16, sink.end()), Bytes(16, 0xA5)) << "key " << int(key);
    }
}

TEST_F(Transfer, DecompressExpandsAndIgnoresKeyAndCompress) {
    const Bytes plain = PseudoRandomBytes(30000, 10);
    const Bytes stream = CompressedBytes(plain);
    ASSERT_FALSE(stream.empty());
    for (TransferFlags flags : {Decompress, Decompress | Compress, Decompress | 0x5A}) {
        uint32_t count = 0;
        int ok = 0;
        EXPECT_EQ(FileToFile(stream, &count, flags, &ok), plain) << "flags " << flags;
        EXPECT_EQ(ok, 1) << "flags " << flags;
        EXPECT_EQ(count, plain.size()) << "flags " << flags;
    }
}

TEST_F(Transfer, CompressFromFileWithKeyUnscramblesFirst) {
    const Bytes plain = PseudoRandomBytes(25000, 11);
    Bytes scrambled = plain;
    for (uint8_t& b : scrambled)
        b ^= 0x33;
    uint32_t count = static_cast<uint32_t>(scrambled.size());
    int ok = 0;
    const Bytes stream = FileToFile(scrambled, &count, Compress | 0x33, &ok);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(count, stream.size());
    EXPECT_EQ(stream, CompressedBytes(plain));
}

TEST_F(Transfer, ExpansionIntoMemoryIsBoundedByTheCount) {
    const Bytes plain = PseudoRandomBytes(12000, 12);
    const Bytes stream = CompressedBytes(plain);
    WriteWholeFile(dir.File("in"), stream);
    struct Row {
        uint32_t capacity;
        int ok;
    } rows[] = {{12000, 1}, {11999, 0}, {100, 0}, {0, 0}, {20000, 1}};
    for (const Row& row : rows) {
        Bytes sink(row.capacity + 64, 0xA5);
        const FileHandle in = PlatOpenRead(dir.File("in").c_str());
        uint32_t count = row.capacity;
        EXPECT_EQ(TransferEntryData(in, reinterpret_cast<intptr_t>(sink.data()), &count,
                                    Decompress | ToMemory),
                  row.ok)
            << "capacity " << row.capacity;
        PlatClose(in);
        EXPECT_LE(count, row.capacity) << "capacity " << row.capacity;
        EXPECT_EQ(Bytes(sink.begin() + row.capacity, sink.end()), Bytes(64, 0xA5))
            << "capacity " << row.capacity;
        if (row.ok) {
            EXPECT_EQ(Slice(sink, 0, 12000), plain) << "capacity " << row.capacity;
        }
    }
}

}  // namespace

// Block 1 holds a size of at most 2 GiB - 1 (an expansion refuses more): a larger input is never
// handed to the compressor, from a file or from memory, and nothing is written.
TEST_F(Transfer, CompressionRefusesInputsPastTheStreamsSizeField) {
    const Bytes small = PseudoRandomBytes(100, 5);
    for (uint32_t size : {0x80000000u, 0xFFFFFFFFu}) {
        for (TransferFlags source : {TransferFlags{0}, FromMemory}) {
            const std::string tag = std::to_string(size) + (source ? " from memory" : " from file");
            uint32_t count = size;
            int ok = 1;
            Bytes sink;
            if (source == FromMemory) {
                const FileHandle out = PlatCreateWrite(dir.File("out").c_str());
                ok = TransferEntryData(reinterpret_cast<intptr_t>(small.data()), out, &count,
                                       Compress | FromMemory);
                PlatClose(out);
                sink = ReadWholeFile(dir.File("out"));
            } else {
                sink = FileToFile(small, &count, Compress, &ok);
            }
            EXPECT_EQ(ok, 0) << tag;
            EXPECT_EQ(count, 0u) << tag;
            EXPECT_TRUE(sink.empty()) << tag << ": " << sink.size() << " bytes written";
        }
    }
}
