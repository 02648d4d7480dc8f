// The coder's bit stream: known streams, the symbols chosen, the model's rebuild, codes deeper
// than 16 bits, and agreement with the plain reference coder over a generated corpus.
#include <gtest/gtest.h>

#include "compress/block_stream.h"
#include "compress/lzhuf.h"
#include "platform/host/host.h"
#include "tests/unit/compress/compress_support.h"
#include "tests/unit/support/test_support.h"

namespace {

class Coder : public ::testing::Test {
  protected:
    void SetUp() override {
        HostReset();
        StreamProgressHooks = {};
    }
};

Bytes Repeat(const std::string& text, size_t times) {
    Bytes out;
    for (size_t i = 0; i < times; ++i)
        out.insert(out.end(), text.begin(), text.end());
    return out;
}

TEST_F(Coder, KnownStreams) {
    struct Row {
        const char* what;
        Bytes input;
        Bytes stream;
    } rows[] = {
        {"empty",
         {},
         {0x52, 0x43, 0xA5, 0x68, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x52, 0x43, 0xA5, 0x68, 0x06,
          0x00}},
        {"A",
         BytesOf("A"),
         {0x52, 0x43, 0xA6, 0x68, 0x0A, 0x00, 0x01, 0x00, 0x00, 0x00, 0x52, 0x43, 0x0B, 0x6A, 0x08,
          0x00, 0xE6, 0x80}},
        {"abc", BytesOf("abc"), {0x52, 0x43, 0xA8, 0x68, 0x0A, 0x00, 0x03, 0x00, 0x00, 0x00,
                                 0x52, 0x43, 0x33, 0x6C, 0x0A, 0x00, 0xF6, 0xFB, 0xBD, 0xE0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        int ok = 0;
        EXPECT_EQ(CompressInMemory(row.input, 0, &ok), row.stream);
        EXPECT_EQ(ok, 1);
        EXPECT_EQ(StreamBytesWritten, row.stream.size());
        const Expansion e = ExpandInMemory(row.stream);
        EXPECT_EQ(e.ok, 1);
        EXPECT_EQ(e.out, row.input);
        EXPECT_EQ(e.written, row.input.size());
    }
}

// What the encoder chooses, checked on the reference's symbols; the installer's coder must then
// write the reference's very bytes.
TEST_F(Coder, SymbolsChosen) {
    Bytes spaces(1000, ' ');
    // Three strings of equal match length 4 for the last one: the search path from the tree's
    // root "abcdA" goes right to "abcdZ"; both give 4, and the nearer one is coded.
    Bytes ties = BytesOf("abcdA");
    for (int i = 0; i < 20; ++i)
        ties.push_back(static_cast<uint8_t>(0x80 + i));
    const size_t z = ties.size();
    for (uint8_t c : BytesOf("abcdZ"))
        ties.push_back(c);
    for (int i = 0; i < 20; ++i)
        ties.push_back(static_cast<uint8_t>(0xA0 + i));
    const size_t q = ties.size();
    for (uint8_t c : BytesOf("abcdQ"))
        ties.push_back(c);

    std::vector<Token> space_tokens = {Match(60, 59)};
    for (int i = 0; i < 15; ++i)
        space_tokens.push_back(Match(60, 0));
    space_tokens.push_back(Match(40, 0));

    std::vector<Token> tie_tokens;
    for (size_t i = 0; i < z; ++i)
        tie_tokens.push_back(Literal(ties[i]));
    tie_tokens.push_back(Match(4, static_cast<int>(z - 1)));
    for (size_t i = z + 4; i < q; ++i)
        tie_tokens.push_back(Literal(ties[i]));
    tie_tokens.push_back(Match(4, static_cast<int>(q - z - 1)));  // not q - 1
    tie_tokens.push_back(Literal('Q'));

    struct Row {
        const char* what;
        Bytes input;
        std::vector<Token> tokens;
    } rows[] = {
        {"1,000 spaces", spaces, space_tokens},
        {"ABABABABAB", BytesOf("ABABABABAB"), {Literal('A'), Literal('B'), Match(8, 1)}},
        {"nearest of equal matches", ties, tie_tokens},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::vector<Token> tokens;
        const Bytes bits = ReferenceEncode(row.input, &tokens);
        EXPECT_EQ(tokens, row.tokens);
        EXPECT_EQ(CompressInMemory(row.input), FrameBlocks(row.input.size(), bits));
        EXPECT_EQ(ExpandInMemory(CompressInMemory(row.input)).out, row.input);
    }
}

// The model is rebuilt when the root weight reaches 0x8000; a run of one value codes 33,335
// symbols, so encoder and decoder pass a rebuild and must stay in step.
TEST_F(Coder, ModelRebuild) {
    const Bytes input(2000000, 0x37);
    std::vector<Token> tokens;
    const Bytes bits = ReferenceEncode(input, &tokens);
    EXPECT_EQ(tokens.size(), 33335u);
    const Bytes stream = CompressInMemory(input);
    EXPECT_EQ(stream, FrameBlocks(input.size(), bits));
    const Expansion e = ExpandInMemory(stream);
    EXPECT_EQ(e.ok, 1);
    EXPECT_TRUE(e.out == input);
}

// Matches whose lengths occur with Fibonacci frequencies (copied from random places of the
// window, each followed by a copy that cannot extend it) stack the code tree; a byte never seen
// before then sits 17 levels deep.
Bytes FibonacciInput() {
    uint32_t x = 12345;
    auto next = [&x]() {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    };
    Bytes out;
    for (int i = 0; i < 64; ++i)
        out.push_back(next() & 63);
    const int kLengths = 8;
    long weights[kLengths], credit[kLengths] = {}, total = 0;
    for (long i = 0, a = 1, b = 1; i < kLengths; ++i, b += a, a = b - a) {
        weights[i] = a;
        total += a;
    }
    size_t previous_end = 0;
    for (int symbol = 0; symbol < 31000; ++symbol) {
        // Smooth weighted round robin: each length in its share, evenly spread.
        int k = 0;
        for (int i = 0; i < kLengths; ++i) {
            credit[i] += weights[i];
            if (credit[i] > credit[k]) k = i;
        }
        credit[k] -= total;
        const size_t length = 6 + k;
        const size_t low = out.size() > 4000 ? out.size() - 4000 : 0;
        size_t from;
        do {
            from = low + next() % (out.size() - low - length);
        } while (previous_end != 0 && out[from] == out[previous_end]);
        previous_end = from + length;
        for (size_t i = 0; i < length; ++i)
            out.push_back(out[from + i]);
    }
    out.push_back(0xFF);
    return out;
}

TEST_F(Coder, CodesDeeperThan16Bits) {
    const Bytes input = FibonacciInput();
    int deepest = 0;
    const Bytes bits = ReferenceEncode(input, nullptr, &deepest);
    EXPECT_EQ(deepest, 17);
    const Bytes stream = CompressInMemory(input);
    EXPECT_EQ(LzhufLongestCode(), 17u);
    EXPECT_TRUE(stream == FrameBlocks(input.size(), bits));
    const Expansion e = ExpandInMemory(stream);
    EXPECT_EQ(e.ok, 1);
    EXPECT_TRUE(e.out == input);
}

// Every kind of data at the sizes around one block of coder output and a larger one: the bytes
// are the reference's, and they expand back.
TEST_F(Coder, AgreesWithTheReference) {
    for (CorpusKind kind : {kText, kExecutable, kRandom, kZeros, kImage}) {
        for (size_t size :
             {size_t(0), size_t(1), size_t(10233), size_t(10234), size_t(10235), size_t(200000)}) {
            SCOPED_TRACE(std::string(CorpusName(kind)) + " " + std::to_string(size));
            const Bytes input = Corpus(kind, size);
            const Bytes stream = CompressInMemory(input);
            EXPECT_TRUE(stream == ReferenceStream(input));
            const Expansion e = ExpandInMemory(stream);
            EXPECT_EQ(e.ok, 1);
            EXPECT_TRUE(e.out == input);
        }
    }
}

// Runs of one process, as the installer's: expansions of other entries, then compressions, each
// starting from the ring the previous run left (the trees are rebuilt, the ring's positions from
// 4,036 on and its copy area are not). Leftover bytes can pick another match of the same usable
// length near the end of a short input: every compression must give the reference's bytes for
// the same history, and the expansion is always the input.
TEST_F(Coder, RunsAfterOtherRunsGiveTheReferencesBytes) {
    struct Step {
        const char* what;
        bool compress;  // else: expand the reference's stream of the input
        Bytes input;
    } steps[] = {
        {"text", true, Corpus(kText, 50000)},
        {"expanded abcabcabd", false, Repeat("abcabcabd", 1000)},
        {"short text", true, BytesOf("Aurora\r\nAurora Borealis\r\nAurora")},
        {"expanded zeros", false, Corpus(kZeros, 5000)},
        {"repeats", true, Repeat("abcabcabd", 1000)},
        {"expanded image", false, Corpus(kImage, 30000)},
        {"short repeats", true, Repeat("xyz", 19)},
        {"text again", true, Corpus(kText, 50000)},
        {"a few bytes", true, BytesOf("abcab")},
        // The ring's end now holds 'Y's: after the last "abc" they make the farther "abcY" the
        // longer match, where a first run codes the nearer "abcX".
        {"expanded Ys", false, Bytes(5000, 'Y')},
        {"a tie decided by leftover bytes", true, BytesOf("abcYabcXabc")},
    };
    LzhufResetState();
    ReferenceProcessStart();
    Bytes sink(200000);
    int carried_state_mattered = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        const Bytes& input = step.input;
        Bytes stream = ReferenceStream(input);
        if (step.compress) {
            SetStreamIO(0, static_cast<uint32_t>(input.size()), sink.data(),
                        static_cast<uint32_t>(sink.size()));
            ASSERT_EQ(CompressStream(reinterpret_cast<intptr_t>(input.data()), kInvalidFile,
                                     static_cast<int32_t>(input.size())),
                      1);
            const Bytes made(sink.begin(), sink.begin() + StreamBytesWritten);
            const Bytes expected =
                FrameBlocks(static_cast<uint32_t>(input.size()), ReferenceEncodeInProcess(input));
            EXPECT_TRUE(made == expected);
            carried_state_mattered += expected != stream;
            stream = made;
        }
        const Expansion e = ExpandInMemory(stream);
        EXPECT_TRUE(e.out == input);
        ReferenceDecodedInProcess(e.out);
    }
    // The history must have changed some choice, or this test shows nothing a first run does not.
    EXPECT_GT(carried_state_mattered, 0);
}

// A few megabytes of every kind in one input.
TEST_F(Coder, MixedMegabytes) {
    Bytes input;
    for (CorpusKind kind : {kText, kExecutable, kRandom, kZeros, kImage, kText}) {
        const Bytes part = Corpus(kind, 600000);
        input.insert(input.end(), part.begin(), part.end());
    }
    int ok = 0;
    const Bytes stream = CompressInMemory(input, 0, &ok);
    EXPECT_EQ(ok, 1);
    const Expansion e = ExpandInMemory(stream);
    EXPECT_EQ(e.ok, 1);
    EXPECT_TRUE(e.out == input);
}

}  // namespace
