// The plain coder of the unit tests as a program of its own, for side-by-side figures with
// sspack: the same command line and the same files as `sspack compress` and `sspack expand`.
//
//   bench_reference compress IN OUT    IN as one block stream (the bytes sspack writes)
//   bench_reference expand IN OUT      the content of the block stream IN
#include <cstdio>
#include <cstring>
#include <string>

#include "tests/unit/compress/reference_coder.h"

namespace {

bool ReadAll(const char* path, Bytes* bytes) {
    FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    std::fseek(file, 0, SEEK_END);
    bytes->resize(static_cast<size_t>(std::ftell(file)));
    std::fseek(file, 0, SEEK_SET);
    const bool ok = std::fread(bytes->data(), 1, bytes->size(), file) == bytes->size();
    std::fclose(file);
    return ok;
}

bool WriteAll(const char* path, const Bytes& bytes) {
    FILE* file = std::fopen(path, "wb");
    if (!file) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

// The coder's bit stream of a block stream: the payloads after block 1, joined; 0 when the
// blocks do not add up.
bool Unframe(const Bytes& stream, uint32_t* size, Bytes* bits) {
    const std::vector<uint32_t> lengths = BlockLengths(stream);
    if (lengths.empty() || lengths[0] != 10) return false;
    std::memcpy(size, stream.data() + 6, 4);
    size_t at = 10;
    for (size_t k = 1; k < lengths.size(); ++k) {
        bits->insert(bits->end(), stream.begin() + at + 6, stream.begin() + at + lengths[k]);
        at += lengths[k];
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 || (std::strcmp(argv[1], "compress") != 0 && std::strcmp(argv[1], "expand"))) {
        std::fprintf(stderr, "usage: bench_reference compress|expand IN OUT\n");
        return 2;
    }
    Bytes input;
    if (!ReadAll(argv[2], &input)) {
        std::fprintf(stderr, "bench_reference: cannot read '%s'\n", argv[2]);
        return 1;
    }
    Bytes output;
    if (std::strcmp(argv[1], "compress") == 0) {
        output = FrameBlocks(static_cast<uint32_t>(input.size()), ReferenceEncode(input));
    } else {
        uint32_t size = 0;
        Bytes bits;
        if (!Unframe(input, &size, &bits)) {
            std::fprintf(stderr, "bench_reference: '%s' is not a block stream\n", argv[2]);
            return 1;
        }
        output = ReferenceDecode(bits, size);
    }
    if (!WriteAll(argv[3], output)) {
        std::fprintf(stderr, "bench_reference: cannot write '%s'\n", argv[3]);
        return 1;
    }
    return 0;
}
