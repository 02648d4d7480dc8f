#include "tests/unit/compress/corpus.h"

#include <string.h>

#include <algorithm>
#include <fstream>
#include <iterator>

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

Bytes RandomBytes(size_t size, uint32_t seed) {
    Bytes out(size);
    uint32_t x = seed;
    for (uint8_t& b : out)
        b = static_cast<uint8_t>(Next(&x) >> 24);
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
            return RandomBytes(size, 77);
        case kZeros:
            return Bytes(size, 0);
        case kImage:
            return Image(size, 5);
    }
    return {};
}
