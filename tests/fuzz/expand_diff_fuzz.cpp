// Differential coding: the installer's decoder and the plain reference decoder of the unit
// tests, each run through the same block stream, must agree in result, bytes, count and the
// sequence of progress hook calls; the coder and the plain reference encoder must make the same
// stream. The first byte chooses how the rest becomes a stream:
//   0: symbols, coded by the reference encoder and framed with their size (optionally off by a
//      little): each symbol takes 2 or 3 bytes, a literal when the first is below 0x80, else a
//      match of length 3 + (first & 0x3F) % 58 at distance - 1 = 12 bits of the next two;
//   1: 4 bytes of stated size, then raw bytes framed as the coder's output;
//   2: the bytes as a whole stream, framing included;
//   3: the symbols of mode 0 expanded, and the bytes compressed by both encoders instead.
// The second byte sets the sink's capacity relative to the stated size.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "tests/unit/compress/reference_expand.h"

namespace {

constexpr uint32_t kMaxSize = 1u << 15;  // expansions kept small enough to run fast

uint32_t StatedSize(const Bytes& stream) {
    uint32_t size = 0;
    if (stream.size() >= 10) memcpy(&size, stream.data() + 6, 4);
    return size;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint8_t mode = data[0] % 4;
    const uint8_t room = data[1];
    data += 2;
    size -= 2;
    Bytes stream;
    if (mode == 0 || mode == 3) {
        std::vector<Token> tokens;
        size_t at = 0;
        uint32_t expands_to = 0;
        while (at + 2 <= size && expands_to < kMaxSize) {
            if (data[at] < 0x80) {
                tokens.push_back(Literal(data[at + 1]));
                expands_to += 1;
                at += 2;
            } else if (at + 3 <= size) {
                const int length = 3 + (data[at] & 0x3F) % 58;
                tokens.push_back(Match(length, ((data[at + 1] << 8) | data[at + 2]) & 0xFFF));
                expands_to += static_cast<uint32_t>(length);
                at += 3;
            } else {
                break;
            }
        }
        if (mode == 3) {
            const Bytes input = ReferenceDecode(EncodeTokens(tokens), expands_to);
            int ok = 0;
            if (CompressInMemory(input, 0, &ok) != ReferenceStream(input) || !ok) {
                fprintf(stderr, "encoders disagree (size %zu)\n", input.size());
                __builtin_trap();
            }
            return 0;
        }
        // A trailing byte shifts the stated size a little either way.
        uint32_t stated = expands_to;
        if (at < size) stated += static_cast<uint32_t>(static_cast<int8_t>(data[at]) / 16);
        stream = FrameBlocks(stated, EncodeTokens(tokens));
    } else if (mode == 1) {
        if (size < 4) return 0;
        uint32_t stated;
        memcpy(&stated, data, 4);
        stated %= kMaxSize;
        stream = FrameBlocks(stated, Bytes(data + 4, data + size));
    } else {
        stream.assign(data, data + size);
    }
    const uint32_t stated = StatedSize(stream);
    if (stated > kMaxSize) return 0;
    // Mostly the stated size, sometimes less or more.
    uint32_t capacity = stated;
    if (room >= 0xC0) capacity = stated + (room & 0x3F) * 64u;
    if (room >= 0x80 && room < 0xC0) capacity = stated - stated * (room & 0x3F) / 64;
    const std::string problems = CompareExpansions(stream, capacity);
    if (!problems.empty()) {
        fprintf(stderr, "decoders disagree (mode %u, size %u, capacity %u):%s\n", mode, stated,
                capacity, problems.c_str());
        __builtin_trap();
    }
    return 0;
}
