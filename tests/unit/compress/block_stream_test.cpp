// The block stream around the coder: block layout, progress hooks, damaged and truncated
// streams, bounded memory sources and sinks, short writes, the input key and file sources.
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "compress/block_stream.h"
#include "compress/lzhuf.h"
#include "platform/files.h"
#include "platform/host/host.h"
#include "tests/unit/compress/compress_support.h"
#include "tests/unit/support/test_support.h"

namespace {

std::string HookLog;  // "T" per tick, "B<n>" per byte count, in call order

void LogTick() {
    HookLog += "T";
}
void LogBytes(uint32_t n) {
    HookLog += "B" + std::to_string(n);
}

class BlockStream : public ::testing::Test {
  protected:
    void SetUp() override {
        HostReset();
        StreamProgressHooks = {};
        HookLog.clear();
    }
    void TearDown() override { StreamProgressHooks = {}; }

    std::string Write(const std::string& name, const Bytes& bytes) {
        const std::string path = dir_.File(name);
        WriteWholeFile(path, bytes);
        return path;
    }

    ScratchDir dir_;
};

// Random bytes whose coder output is exactly `target` bytes long (random data grows by about
// one byte of output per byte of input, so a few steps find it).
Bytes InputForCoderOutput(size_t target) {
    for (uint32_t seed = 1; seed < 50; ++seed) {
        size_t size = target;
        for (int step = 0; step < 12; ++step) {
            const Bytes input = PseudoRandomBytes(size, seed);
            const size_t got = CoderOutput(CompressInMemory(input)).size();
            if (got == target) return input;
            size = got > target ? size - std::max<size_t>(1, (got - target) / 2)
                                : size + std::max<size_t>(1, (target - got) / 2);
        }
    }
    ADD_FAILURE() << "no input found for " << target << " bytes of coder output";
    return {};
}

TEST_F(BlockStream, BlockLayout) {
    struct Row {
        size_t coder_output;
        std::vector<uint32_t> blocks;
    } rows[] = {
        {0, {10, 6}},
        {10233, {10, 10239}},
        {10234, {10, 10240, 6}},
        {25000, {10, 10240, 10240, 4538}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.coder_output);
        const Bytes input = row.coder_output ? InputForCoderOutput(row.coder_output) : Bytes();
        const Bytes stream = CompressInMemory(input);
        EXPECT_EQ(BlockLengths(stream), row.blocks);
        EXPECT_EQ(StreamBytesWritten, stream.size());
        const Expansion e = ExpandInMemory(stream);
        EXPECT_EQ(e.ok, 1);
        EXPECT_TRUE(e.out == input);
    }
}

size_t Count(const std::string& log, char c) {
    return std::count(log.begin(), log.end(), c);
}

std::string ByteCounts(const std::string& log) {
    std::string out;
    for (char c : log)
        if (c != 'T') out += c;
    return out;
}

// Every flush calls the tick hook and then the byte-count hook; every unit read calls the tick
// hook; and one tick falls on every 1,024 bytes served or delivered in between (one counter for
// both directions).
TEST_F(BlockStream, ProgressHooks) {
    StreamProgressHooks = {LogBytes, LogTick};
    for (const Bytes& input : {InputForCoderOutput(25000), InputForCoderOutput(10234),
                               Corpus(kText, 123457), Corpus(kZeros, 3 * 10240)}) {
        SCOPED_TRACE(input.size());
        HookLog.clear();
        const Bytes stream = CompressInMemory(input);
        const std::vector<uint32_t> blocks = BlockLengths(stream);
        const size_t size = input.size(), coder = CoderOutput(stream).size();
        std::string bytes;
        uint64_t sum = 0;
        for (uint32_t b : blocks) {
            bytes += "B" + std::to_string(b);
            sum += b;
        }
        EXPECT_EQ(ByteCounts(HookLog), bytes);
        EXPECT_EQ(sum, StreamBytesWritten);
        EXPECT_EQ(HookLog.find("BB"), std::string::npos);
        EXPECT_EQ(HookLog.front(), 'T');
        const size_t units = (size + 10239) / 10240;
        const size_t served = size - units, delivered = 4 + coder - (blocks.size() - 1);
        EXPECT_EQ(Count(HookLog, 'T'), units + blocks.size() + (served + delivered) / 1024);

        HookLog.clear();
        const Expansion e = ExpandInMemory(stream);
        ASSERT_EQ(e.ok, 1);
        const size_t full = size / 10240;
        bytes.clear();
        for (size_t i = 0; i < full; ++i)
            bytes += "B10240";
        bytes += "B" + std::to_string(size % 10240);
        EXPECT_EQ(ByteCounts(HookLog), bytes);
        // Each unit's first byte comes with its read; the byte past the stream is served as one
        // more from the final block, unless that block is empty.
        size_t data_units = 0;
        for (size_t i = 1; i < blocks.size(); ++i)
            data_units += blocks[i] > 6;
        const size_t requested = 3 + coder - data_units + (blocks.back() > 6 ? 1 : 0);
        const size_t produced = size - full;
        EXPECT_EQ(Count(HookLog, 'T'), blocks.size() + full + 1 + (requested + produced) / 1024);
    }
}

// One row per kind of damage. The sink keeps what was decoded before the failing unit was read,
// plus the symbol in progress decoded from zero bits, exactly as the reference decodes it.
TEST_F(BlockStream, DamagedStreams) {
    const Bytes input = Corpus(kText, 100000);
    const Bytes good = CompressInMemory(input);
    const Bytes bits = CoderOutput(good);
    const std::vector<uint32_t> blocks = BlockLengths(good);
    ASSERT_GE(blocks.size(), 5u);
    const size_t block3 = 10 + 10240, last = good.size() - blocks.back();
    const uint32_t size = static_cast<uint32_t>(input.size());
    auto set16 = [](Bytes* s, size_t at, uint32_t v) {
        (*s)[at] = static_cast<uint8_t>(v);
        (*s)[at + 1] = static_cast<uint8_t>(v >> 8);
    };
    struct Row {
        const char* what;
        Bytes stream;
        size_t fail_at;  // the coder byte whose request fails; SIZE_MAX: block 1 fails
    };
    std::vector<Row> rows;
    rows.push_back({"wrong magic in block 1", good, SIZE_MAX});
    rows.back().stream[1] = 'X';
    rows.push_back({"wrong checksum in block 2", good, 0});
    rows.back().stream[12] ^= 0x01;
    rows.push_back({"length below 6 in block 3", good, 10234});
    set16(&rows.back().stream, block3 + 4, 5);
    rows.push_back({"length above the bytes read + 6", good, 10234 * (blocks.size() - 2)});
    set16(&rows.back().stream, last + 4, blocks.back() + 7);
    rows.push_back(
        {"cut inside block 3", Bytes(good.begin(), good.begin() + block3 + 5000), 10234});
    rows.push_back({"cut after a full block", Bytes(good.begin(), good.begin() + block3), 10234});
    // Block 1 promising more than the codes hold: the byte past the final block is served once
    // as 0, the next request fails.
    rows.push_back({"size larger than the codes", good, bits.size() + 1});
    set16(&rows.back().stream, 6, size + 5000 - 0x10000 * ((size + 5000) >> 16));
    rows.back().stream[8] = static_cast<uint8_t>((size + 5000) >> 16);
    set16(&rows.back().stream, 2,
          0x68A5 + rows.back().stream[6] + rows.back().stream[7] + rows.back().stream[8] +
              rows.back().stream[9]);

    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const bool larger = row.fail_at == bits.size() + 1;
        Bytes expected;
        if (row.fail_at != SIZE_MAX) {
            expected = ReferenceDecode(bits, larger ? size + 5000 : size, row.fail_at);
        }
        const Expansion m = ExpandInMemory(row.stream, size + 5000);
        EXPECT_EQ(m.ok, 0);
        EXPECT_TRUE(m.out == expected) << m.out.size() << " bytes, expected " << expected.size();
        EXPECT_EQ(m.written, expected.size());
        const Expansion f = ExpandFile(Write("damaged.rc", row.stream), dir_.File("out"));
        EXPECT_EQ(f.ok, 0);
        EXPECT_TRUE(f.out == expected);
        EXPECT_EQ(f.written, expected.size());
        // Before the failure everything decoded is the input's.
        const size_t sure = expected.size() > 60 ? expected.size() - 60 : 0;
        EXPECT_TRUE(std::equal(expected.begin(), expected.begin() + sure, input.begin()));
    }
}

TEST_F(BlockStream, WrongMagicWritesNothing) {
    StreamProgressHooks = {LogBytes, LogTick};
    Bytes stream = CompressInMemory(BytesOf("some text"));
    stream[0] = 0x51;
    HookLog.clear();
    const Expansion e = ExpandInMemory(stream, 100);
    EXPECT_EQ(e.ok, 0);
    EXPECT_EQ(e.written, 0u);
    EXPECT_EQ(ByteCounts(HookLog), "B0");
}

// Where a stream ends in its file or memory region, and what follows it, never matters.
TEST_F(BlockStream, StreamEndsAnywhere) {
    for (size_t size : {size_t(1), size_t(1000), size_t(10234), size_t(65000)}) {
        const Bytes input = Corpus(kText, size);
        const Bytes stream = CompressInMemory(input);
        Bytes followed = stream;
        for (uint8_t b : PseudoRandomBytes(20000, 3))
            followed.push_back(b);
        for (const Bytes* source : {&stream, static_cast<const Bytes*>(&followed)}) {
            SCOPED_TRACE(std::to_string(size) + (source == &stream ? " alone" : " followed"));
            const Expansion m = ExpandInMemory(*source, static_cast<uint32_t>(size));
            EXPECT_EQ(m.ok, 1);
            EXPECT_TRUE(m.out == input);
            const Expansion f = ExpandFile(Write("s.rc", *source), dir_.File("out"));
            EXPECT_EQ(f.ok, 1);
            EXPECT_TRUE(f.out == input);
        }
    }
}

TEST_F(BlockStream, MemorySinkCapacity) {
    const Bytes input = Corpus(kImage, 30000);
    const Bytes stream = CompressInMemory(input);
    struct Row {
        const char* what;
        uint32_t capacity;
        int ok;
        size_t written;
    } rows[] = {
        {"exactly the size", 30000, 1, 30000},
        {"one byte short", 29999, 0, 0},
        {"none", 0, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const Expansion e = ExpandInMemory(stream, row.capacity);
        EXPECT_EQ(e.ok, row.ok);
        EXPECT_EQ(e.written, row.written);
    }
    // A compression into a sink that cannot take the stream.
    Bytes sink(100, 0xA5);
    SetStreamIO(0, static_cast<uint32_t>(input.size()), sink.data(), 50);
    EXPECT_EQ(CompressStream(reinterpret_cast<intptr_t>(input.data()), kInvalidFile, 30000), 0);
    EXPECT_EQ(StreamBytesWritten, 50u);
    EXPECT_EQ(sink[50], 0xA5);
}

TEST_F(BlockStream, ShortWrites) {
    const Bytes input = Corpus(kRandom, 40000);
    const std::string in = Write("in", input);
    const Bytes stream = CompressInMemory(input);
    const std::string rc = Write("in.rc", stream);
    struct Row {
        const char* what;
        int nth;
        uint32_t short_count;
        uint64_t disk_limit;
    } rows[] = {
        {"block 1 short", 1, 4, 0},
        {"second block short", 2, 10000, 0},
        {"fourth write fails", 4, 0, 0},
        {"disk fills", 0, 0, 25000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        HostResetFaults();
        if (row.nth) HostFailCall(kHostWrite, row.nth, row.short_count);
        if (row.disk_limit) HostSetDiskLimit(row.disk_limit);
        EXPECT_EQ(CompressFile(in, dir_.File("out.rc"), 40000), 0);
        EXPECT_EQ(StreamBytesWritten, ReadWholeFile(dir_.File("out.rc")).size());
        HostResetFaults();
        if (row.nth) HostFailCall(kHostWrite, row.nth, row.short_count);
        if (row.disk_limit) HostSetDiskLimit(row.disk_limit);
        const Expansion e = ExpandFile(rc, dir_.File("out"));
        EXPECT_EQ(e.ok, 0);
        EXPECT_EQ(e.written, e.out.size());
    }
    HostResetFaults();
    EXPECT_EQ(CompressFile(in, dir_.File("out.rc"), 40000), 1);
    EXPECT_EQ(ReadWholeFile(dir_.File("out.rc")), stream);
}

// A source stored XORed with a key compresses under that key to the plain source's stream.
TEST_F(BlockStream, InputKey) {
    const Bytes plain = Corpus(kText, 30000);
    Bytes scrambled = plain;
    for (uint8_t& b : scrambled)
        b ^= 0x5A;
    const Bytes expected = CompressInMemory(plain);
    EXPECT_EQ(CompressInMemory(scrambled, 0x5A), expected);
    EXPECT_EQ(InputKey, 0);
    const std::string in = Write("scrambled", scrambled);
    InputKey = 0x5A;
    EXPECT_EQ(CompressFile(in, dir_.File("out.rc"), 30000), 1);
    EXPECT_EQ(InputKey, 0);
    EXPECT_EQ(ReadWholeFile(dir_.File("out.rc")), expected);
    // An expansion ignores a key left set.
    InputKey = 0x5A;
    EXPECT_TRUE(ExpandInMemory(expected).out == plain);
}

// A file source is read in whole units even past the input; only the input is compressed.
TEST_F(BlockStream, FileSourceLongerThanInput) {
    const Bytes content = Corpus(kExecutable, 50000);
    const std::string in = Write("big", content);
    FileHandle source = PlatOpenRead(in.c_str());
    FileHandle sink = PlatCreateWrite(dir_.File("out.rc").c_str());
    LzhufResetState();
    SetStreamIO(1, 0, nullptr, 0);
    EXPECT_EQ(CompressStream(source, sink, 100), 1);
    EXPECT_EQ(lseek(static_cast<int>(source), 0, SEEK_CUR), 10240);
    PlatClose(source);
    PlatClose(sink);
    const Bytes first(content.begin(), content.begin() + 100);
    EXPECT_EQ(ReadWholeFile(dir_.File("out.rc")), CompressInMemory(first));
}

// Files in and out for every kind of data, around one unit and larger.
TEST_F(BlockStream, FileRoundTrips) {
    for (CorpusKind kind : {kText, kExecutable, kRandom, kZeros, kImage}) {
        for (size_t size : {size_t(10235), size_t(150000)}) {
            SCOPED_TRACE(std::string(CorpusName(kind)) + " " + std::to_string(size));
            const Bytes input = Corpus(kind, size);
            const std::string in = Write("in", input);
            ASSERT_EQ(CompressFile(in, dir_.File("in.rc"), static_cast<int32_t>(size)), 1);
            const Bytes stream = ReadWholeFile(dir_.File("in.rc"));
            EXPECT_EQ(stream, CompressInMemory(input));
            const Expansion e = ExpandFile(dir_.File("in.rc"), dir_.File("out"));
            EXPECT_EQ(e.ok, 1);
            EXPECT_EQ(e.written, size);
            EXPECT_TRUE(e.out == input);
        }
    }
}

}  // namespace

namespace {

// Block 1 of `stream` made to state `size`, its checksum mended so that the block passes.
Bytes WithStatedSize(Bytes stream, uint32_t size) {
    uint32_t sum = 0x68A5;
    for (int i = 0; i < 4; ++i) {
        stream[6 + i] = static_cast<uint8_t>(size >> (8 * i));
        sum += stream[6 + i];
    }
    stream[2] = static_cast<uint8_t>(sum);
    stream[3] = static_cast<uint8_t>(sum >> 8);
    return stream;
}

TEST_F(BlockStream, AStreamThatGivesMoreThanBlockOneStatesFails) {
    // Three literals, then one match of nine: stated as 5 bytes, the match runs past them.
    const Bytes input = BytesOf("abcabcabcabc");
    const Bytes stream = WithStatedSize(CompressInMemory(input), 5);
    const Expansion e = ExpandInMemory(stream, 100);
    EXPECT_EQ(e.ok, 0);
    EXPECT_EQ(e.written, 12u);  // the sink keeps what was decoded
    EXPECT_EQ(ExpandInMemory(WithStatedSize(stream, 12), 100).ok, 1);
    // The bound of a memory sink still holds when the match would overrun it.
    EXPECT_EQ(ExpandInMemory(stream, 5).ok, 0);
}

}  // namespace
