#include "tests/unit/compress/compress_support.h"

#include <string.h>

#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "compress/block_stream.h"
#include "compress/lzhuf.h"
#include "platform/files.h"
#include "tests/unit/support/test_support.h"

namespace {

uint32_t Next(uint32_t* x) {
    *x ^= *x << 13;
    *x ^= *x >> 17;
    *x ^= *x << 5;
    return *x;
}

// Words with a skewed frequency, sentences and lines, as in English prose.
Bytes Text(size_t size, uint32_t seed) {
    static const char* const kWords[] = {
        "the",      "of",      "and",     "to",      "a",       "in",     "is",      "that",
        "it",       "was",     "for",     "on",      "with",    "as",     "his",     "they",
        "be",       "at",      "one",     "have",    "this",    "from",   "or",      "had",
        "by",       "word",    "but",     "what",    "some",    "we",     "can",     "out",
        "other",    "were",    "all",     "there",   "when",    "up",     "use",     "your",
        "how",      "said",    "each",    "which",   "she",     "do",     "their",   "time",
        "if",       "will",    "way",     "about",   "many",    "then",   "them",    "write",
        "would",    "like",    "so",      "these",   "her",     "long",   "make",    "thing",
        "see",      "him",     "two",     "has",     "look",    "more",   "day",     "could",
        "go",       "come",    "did",     "number",  "sound",   "most",   "people",  "water",
        "screen",   "saver",   "install", "window",  "colour",  "light",  "evening", "river",
        "mountain", "picture", "through", "between", "morning", "garden", "silence", "journey"};
    const size_t count = sizeof kWords / sizeof kWords[0];
    Bytes out;
    out.reserve(size + 16);
    uint32_t x = seed;
    bool capital = true;
    size_t line = 0;
    while (out.size() < size) {
        // Squaring a uniform pick favours the first words, as real text favours short ones.
        const uint32_t u = Next(&x) % 1000;
        const char* word = kWords[(u * u / 1000) * count / 1000];
        for (size_t i = 0; word[i]; ++i) {
            char c = word[i];
            if (i == 0 && capital) c = static_cast<char>(c - 'a' + 'A');
            out.push_back(static_cast<uint8_t>(c));
        }
        capital = false;
        line += strlen(word) + 1;
        const uint32_t p = Next(&x) % 100;
        if (p < 7) {
            out.push_back('.');
            capital = true;
        } else if (p < 12) {
            out.push_back(',');
        }
        if (line > 70) {
            out.push_back('\n');
            line = 0;
        } else {
            out.push_back(' ');
        }
    }
    out.resize(size);
    return out;
}

// A 24-bit picture: soft gradients with a little noise.
Bytes Image(size_t size, uint32_t seed) {
    Bytes out(size);
    uint32_t x = seed;
    const size_t width = 640;
    for (size_t i = 0; i < size; ++i) {
        const size_t pixel = i / 3, channel = i % 3;
        const size_t px = pixel % width, py = pixel / width;
        const uint32_t base = channel == 0   ? px * 255 / width
                              : channel == 1 ? (py * 3) & 0xFF
                                             : (px + py) / 5;
        out[i] = static_cast<uint8_t>(base + (Next(&x) & 3));
    }
    return out;
}

Bytes Executable(size_t size) {
    std::ifstream file("/proc/self/exe", std::ios::binary);
    Bytes self((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    Bytes out;
    out.reserve(size);
    while (out.size() < size && !self.empty()) {
        out.insert(out.end(), self.begin(),
                   self.begin() + std::min(self.size(), size - out.size()));
    }
    return out;
}

}  // namespace

const char* CorpusName(CorpusKind kind) {
    switch (kind) {
        case kText:
            return "text";
        case kExecutable:
            return "executable";
        case kRandom:
            return "random";
        case kZeros:
            return "zeros";
        case kImage:
            return "image";
    }
    return "?";
}

Bytes Corpus(CorpusKind kind, size_t size) {
    switch (kind) {
        case kText:
            return Text(size, 2024);
        case kExecutable:
            return Executable(size);
        case kRandom:
            return PseudoRandomBytes(size, 77);
        case kZeros:
            return Bytes(size, 0);
        case kImage:
            return Image(size, 5);
    }
    return {};
}

Bytes ReferenceStream(const Bytes& input) {
    return FrameBlocks(static_cast<uint32_t>(input.size()), ReferenceEncode(input));
}

Bytes CompressInMemory(const Bytes& input, uint8_t key, int* ok) {
    // The coder's output is a little larger than its input at worst (9 bits per literal).
    Bytes sink(input.size() + input.size() / 7 + 64);
    LzhufResetState();
    SetStreamIO(0, static_cast<uint32_t>(input.size()), sink.data(),
                static_cast<uint32_t>(sink.size()));
    InputKey = key;
    const int result = CompressStream(reinterpret_cast<intptr_t>(input.data()), kInvalidFile,
                                      static_cast<int32_t>(input.size()));
    if (ok) *ok = result;
    sink.resize(StreamBytesWritten);
    return sink;
}

Expansion ExpandInMemory(const Bytes& stream, uint32_t capacity) {
    const uint32_t kGuard = 4096;
    std::vector<uint8_t> sink(capacity + kGuard, 0xA5);
    // The source is copied to a buffer of its exact size, so that AddressSanitizer sees any read
    // past its end.
    std::vector<uint8_t> source(stream);
    SetStreamIO(0, static_cast<uint32_t>(source.size()), sink.data(), capacity);
    Expansion e;
    e.ok = ExpandStream(reinterpret_cast<intptr_t>(source.data()), kInvalidFile);
    e.written = StreamBytesWritten;
    for (uint32_t i = capacity; i < capacity + kGuard; ++i) {
        if (sink[i] != 0xA5) {
            ADD_FAILURE() << "the expansion wrote past the sink's capacity at " << i;
            break;
        }
    }
    e.out.assign(sink.begin(), sink.begin() + std::min(e.written, capacity));
    return e;
}

Expansion ExpandInMemory(const Bytes& stream) {
    uint32_t size = 0;
    if (stream.size() >= 10) memcpy(&size, stream.data() + 6, 4);
    return ExpandInMemory(stream, size);
}

int CompressFile(const std::string& in, const std::string& out, int32_t size) {
    FileHandle source = PlatOpenRead(in.c_str());
    FileHandle sink = PlatCreateWrite(out.c_str());
    EXPECT_NE(source, kInvalidFile);
    EXPECT_NE(sink, kInvalidFile);
    LzhufResetState();
    SetStreamIO(1, 0, nullptr, 0);
    const int ok = CompressStream(source, sink, size);
    PlatClose(source);
    PlatClose(sink);
    return ok;
}

Expansion ExpandFile(const std::string& in, const std::string& out) {
    FileHandle source = PlatOpenRead(in.c_str());
    FileHandle sink = PlatCreateWrite(out.c_str());
    EXPECT_NE(source, kInvalidFile);
    EXPECT_NE(sink, kInvalidFile);
    SetStreamIO(1, 0, nullptr, 0);
    Expansion e;
    e.ok = ExpandStream(source, sink);
    e.written = StreamBytesWritten;
    PlatClose(source);
    PlatClose(sink);
    e.out = ReadWholeFile(out);
    return e;
}

Bytes CoderOutput(const Bytes& stream) {
    Bytes out;
    size_t at = 0;
    bool first = true;
    for (uint32_t length : BlockLengths(stream)) {
        if (!first) out.insert(out.end(), stream.begin() + at + 6, stream.begin() + at + length);
        first = false;
        at += length;
    }
    return out;
}
