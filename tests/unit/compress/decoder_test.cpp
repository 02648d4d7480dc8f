// The installer's decoder against the plain reference decoder, both run through the same block
// stream: over streams coded from chosen symbol sequences (every literal, every match length at
// distances of every prefix code, matches across the ring's end and the output buffer's, model
// rebuilds, deep code trees) and over raw random bytes. They must agree in result, bytes and
// the sequence of progress hook calls, which shows when the fast paths take or count bytes at
// other moments than the byte-wise decoder.
#include <gtest/gtest.h>

#include "compress/block_stream.h"
#include "compress/lzhuf.h"
#include "platform/host/host.h"
#include "tests/unit/compress/reference_expand.h"

namespace {

class Decoder : public ::testing::Test {
  protected:
    void SetUp() override {
        HostReset();
        StreamProgressHooks = {};
    }
};

struct Rng {
    uint32_t x;
    uint32_t Next() {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    }
    uint32_t Below(uint32_t n) { return Next() % n; }
};

// The ring position the next byte goes to after `count` bytes.
uint32_t RingAt(uint32_t count) {
    return (4036 + count) & 4095;
}

// A distance (minus 1) whose source range wraps the ring's end, with the 8-bit prefix code
// (distance - 1 of 3,072 or more), when there is one for this position.
int WrappingDistance(uint32_t count, int length) {
    for (int from = 4096 - length + 1; from < 4096; ++from) {
        const int d = static_cast<int>((RingAt(count) - 1 - from) & 4095);
        if (d >= 3072) return d;
    }
    return -1;
}

std::vector<Token> EveryLiteral() {
    std::vector<Token> tokens;
    for (int round = 0; round < 3; ++round)
        for (int b = 0; b < 256; ++b)
            tokens.push_back(Literal(round == 1 ? 255 - b : b));
    return tokens;
}

// Every length at distances at both ends of every prefix code's range, and overlapping ones.
std::vector<Token> EveryLengthAndDistance() {
    std::vector<Token> tokens = EveryLiteral();
    const int distances[] = {0,   1,   2,    5,    7,    8,    63,   64,   255, 256,
                             767, 768, 1535, 1536, 3071, 3072, 4000, 4094, 4095};
    for (int length = 3; length <= 60; ++length) {
        for (int d : distances)
            tokens.push_back(Match(length, d));
        tokens.push_back(Literal(length));
    }
    return tokens;
}

// Matches at random lengths and distances between runs of literals: the output crosses the
// ring's end and the output buffer's at many offsets, and the input units' ends.
std::vector<Token> RandomTokens(uint32_t seed, size_t count) {
    Rng rng{seed};
    std::vector<Token> tokens;
    for (size_t i = 0; i < count; ++i) {
        if (rng.Below(3) == 0) {
            tokens.push_back(Literal(static_cast<int>(rng.Below(256))));
        } else {
            tokens.push_back(
                Match(3 + static_cast<int>(rng.Below(58)), static_cast<int>(rng.Below(4096))));
        }
    }
    return tokens;
}

// Few symbols, so the root weight passes 0x8000 again and again and the model is rebuilt.
std::vector<Token> Rebuilds() {
    Rng rng{99};
    std::vector<Token> tokens;
    for (int i = 0; i < 120000; ++i) {
        const uint32_t k = rng.Below(16);
        tokens.push_back(k < 10 ? Literal('a' + static_cast<int>(k % 3)) : Match(60, 0));
    }
    return tokens;
}

// The deepest code trees of the model: 304 symbols never used sit at the bottom (weight 1, nine
// levels of a balanced subtree), and ten literals used 292 times Fibonacci numbers of times,
// evenly spread, stack nine levels above them, just below the rebuild. Then matches of unused
// lengths follow, each with a distance of the longest prefix code placed where its source wraps
// the ring's end: the deepest codes and 14 position bits are read in one symbol that the
// decoder must then write byte by byte.
std::vector<Token> DeepTree(int* deepest, int lead = 0) {
    const int kStacked = 8;
    long uses[kStacked], credit[kStacked] = {}, total = 0;
    for (long i = 0, a = 1, b = 1; i < kStacked; ++i, b += a, a = b - a) {
        uses[i] = 560 * a + i;
        total += uses[i];
    }
    std::vector<Token> tokens;
    for (int b = 'a' + kStacked; b < 'a' + kStacked + 248; ++b)
        tokens.push_back(Literal(b & 255));
    // Smooth weighted round robin: each literal in its share, evenly spread.
    for (long symbol = 0; symbol < total; ++symbol) {
        int k = 0;
        for (int i = 0; i < kStacked; ++i) {
            credit[i] += uses[i];
            if (credit[i] > credit[k]) k = i;
        }
        credit[k] -= total;
        tokens.push_back(Literal('a' + k));
    }
    for (int i = 0; i < lead; ++i)
        tokens.push_back(Literal('a'));
    uint32_t count = TokensSize(tokens);
    for (int length = 60; length > 3; --length) {
        int d = WrappingDistance(count, length);
        while (d < 0) {
            tokens.push_back(Literal('a'));
            ++count;
            d = WrappingDistance(count, length);
        }
        tokens.push_back(Match(length, d));
        count += static_cast<uint32_t>(length);
    }
    EncodeTokens(tokens, deepest);
    return tokens;
}

TEST_F(Decoder, AgreesWithTheReferenceOnSymbolSequences) {
    int deepest = 0;
    const std::vector<Token> deep = DeepTree(&deepest);
    // The deepest code met; with 14 position bits and the byte-wise window's 8 bits this is
    // what the wide window's refill threshold must cover.
    EXPECT_GE(deepest, 16);
    struct Row {
        const char* what;
        std::vector<Token> tokens;
    } rows[] = {
        {"every literal", EveryLiteral()},
        {"every length at every distance code", EveryLengthAndDistance()},
        {"random matches", RandomTokens(1, 20000)},
        {"random matches, another seed", RandomTokens(7, 3000)},
        {"rebuilds", Rebuilds()},
        {"deep tree", deep},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const Bytes stream = TokenStream(row.tokens);
        const uint32_t size = TokensSize(row.tokens);
        for (uint32_t capacity : {size, size + 100}) {
            EXPECT_EQ(CompareExpansions(stream, capacity), "") << "capacity " << capacity;
        }
        EXPECT_EQ(ExpandLogged(stream, size, false).ok, 1);
    }
    // A stated size that ends the expansion right after each of the deepest symbols, at every
    // bit alignment of them: where the wide window hands back to the byte-wise one, it must still
    // hold the bits that show which byte requests were made early.
    for (int lead = 0; lead < 8; ++lead) {
        const std::vector<Token> tokens = DeepTree(&deepest, lead);
        const Bytes bits = EncodeTokens(tokens);
        uint32_t end = TokensSize(tokens);
        for (size_t k = tokens.size() - 1; tokens[k].symbol >= 256; --k) {
            EXPECT_EQ(CompareExpansions(FrameBlocks(end, bits), end), "")
                << lead << " more literals, ending after " << end << " bytes";
            end -= static_cast<uint32_t>(tokens[k].symbol - 253);
        }
    }
}

// Random bytes as coder output under valid block framing, at sizes that end the bits early, at
// a unit's end or late: garbage symbols, matches into unwritten ring positions, the stream
// failing on a second request past its end, expansions longer than stated.
TEST_F(Decoder, AgreesWithTheReferenceOnRandomBytes) {
    Rng rng{2024};
    for (uint32_t length : {0u, 1u, 5u, 100u, 10233u, 10234u, 10240u, 30000u}) {
        Bytes bits(length);
        for (uint8_t& b : bits)
            b = static_cast<uint8_t>(rng.Next() >> 24);
        for (uint32_t size : {1u, length / 2 + 1, length, 2 * length + 7, 3 * length + 1000}) {
            if (size == 0) continue;
            const Bytes stream = FrameBlocks(size, bits);
            for (uint32_t capacity : {size, size + 1000}) {
                EXPECT_EQ(CompareExpansions(stream, capacity), "")
                    << length << " random bytes stated as " << size << " into " << capacity;
            }
        }
    }
}

}  // namespace
