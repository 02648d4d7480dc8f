// Compression benchmark: per file, its size, the stream's size, the ratio and the speed of each
// direction (median of several runs, memory to memory, so that only the coder and the block
// stream are timed).
//
//   bench_compress [--runs N] [FILE...]      files, or the generated corpus when none is given
//   bench_compress --corpus DIR              writes the corpus and its streams (NAME.rc) to DIR
//   bench_compress --once compress FILE      one compression of FILE, for callgrind
//   bench_compress --once expand FILE.rc     one expansion of a stream, for callgrind
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "compress/block_stream.h"
#include "platform/types.h"
#include "tests/unit/compress/corpus.h"

namespace {

const size_t kCorpusSize = 4 << 20;

Bytes ReadFile(const std::string& path, bool* ok) {
    Bytes bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    *ok = file != nullptr;
    if (!file) return bytes;
    std::fseek(file, 0, SEEK_END);
    bytes.resize(static_cast<size_t>(std::ftell(file)));
    std::fseek(file, 0, SEEK_SET);
    *ok = std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
    std::fclose(file);
    return bytes;
}

bool WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

Bytes Compress(const Bytes& input) {
    Bytes sink(input.size() + input.size() / 7 + 64);
    SetStreamIO(0, static_cast<uint32_t>(input.size()), sink.data(),
                static_cast<uint32_t>(sink.size()));
    CompressStream(reinterpret_cast<intptr_t>(input.data()), kInvalidFile,
                   static_cast<int32_t>(input.size()));
    sink.resize(StreamBytesWritten);
    return sink;
}

// Expands into `sink`, which must hold the size stated in block 1. Returns the result.
int Expand(const Bytes& stream, Bytes* sink) {
    SetStreamIO(0, static_cast<uint32_t>(stream.size()), sink->data(),
                static_cast<uint32_t>(sink->size()));
    return ExpandStream(reinterpret_cast<intptr_t>(stream.data()), kInvalidFile);
}

uint32_t StatedSize(const Bytes& stream) {
    uint32_t size = 0;
    if (stream.size() >= 10) std::memcpy(&size, stream.data() + 6, 4);
    return size;
}

template <typename F>
double MedianSeconds(int runs, F run) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run();
        times.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

int Measure(const std::string& name, const Bytes& input, int runs) {
    Bytes stream;
    const double compress = MedianSeconds(runs, [&] { stream = Compress(input); });
    Bytes output(input.size());
    int ok = 0;
    const double expand = MedianSeconds(runs, [&] { ok = Expand(stream, &output); });
    if (!ok || output != input) {
        std::fprintf(stderr, "bench_compress: %s does not expand to its input\n", name.c_str());
        return 1;
    }
    const double mb = input.size() / 1e6;
    std::printf("%-28s %10zu %10zu %6.3f %9.1f %9.1f\n", name.c_str(), input.size(), stream.size(),
                input.empty() ? 0.0 : double(stream.size()) / input.size(),
                compress > 0 ? mb / compress : 0.0, expand > 0 ? mb / expand : 0.0);
    return 0;
}

int Once(const char* direction, const char* path) {
    bool ok = false;
    const Bytes bytes = ReadFile(path, &ok);
    if (!ok) {
        std::fprintf(stderr, "bench_compress: cannot read '%s'\n", path);
        return 1;
    }
    if (std::strcmp(direction, "compress") == 0) {
        const Bytes stream = Compress(bytes);
        std::printf("%s: %zu -> %zu bytes\n", path, bytes.size(), stream.size());
        return 0;
    }
    if (std::strcmp(direction, "expand") == 0) {
        // Left uninitialised: only the expansion's own work is counted.
        const uint32_t size = StatedSize(bytes);
        std::unique_ptr<uint8_t[]> sink(new uint8_t[size]);
        SetStreamIO(0, static_cast<uint32_t>(bytes.size()), sink.get(), size);
        if (!ExpandStream(reinterpret_cast<intptr_t>(bytes.data()), kInvalidFile)) {
            std::fprintf(stderr, "bench_compress: '%s' is not a valid stream\n", path);
            return 1;
        }
        std::printf("%s: %zu -> %u bytes\n", path, bytes.size(), size);
        return 0;
    }
    std::fprintf(stderr, "bench_compress: --once takes compress or expand, not '%s'\n", direction);
    return 1;
}

const CorpusKind kKinds[] = {kText, kExecutable, kRandom, kZeros, kImage};

int WriteCorpus(const std::string& dir) {
    for (CorpusKind kind : kKinds) {
        const Bytes input = Corpus(kind, kCorpusSize);
        const std::string path = dir + "/" + CorpusName(kind);
        if (!WriteFile(path, input) || !WriteFile(path + ".rc", Compress(input))) {
            std::fprintf(stderr, "bench_compress: cannot write '%s'\n", path.c_str());
            return 1;
        }
        std::printf("%s %s.rc\n", path.c_str(), path.c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 5;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--once") == 0 && i + 2 < argc)
            return Once(argv[i + 1], argv[i + 2]);
        if (std::strcmp(argv[i], "--corpus") == 0 && i + 1 < argc) return WriteCorpus(argv[i + 1]);
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (argv[i][0] == '-') {
            std::fprintf(stderr,
                         "usage: bench_compress [--runs N] [FILE...] | --corpus DIR | "
                         "--once compress|expand FILE\n");
            return 1;
        } else {
            files.push_back(argv[i]);
        }
    }
    std::printf("%-28s %10s %10s %6s %9s %9s\n", "input", "size", "stream", "ratio", "comp MB/s",
                "exp MB/s");
    int failures = 0;
    if (files.empty()) {
        for (CorpusKind kind : kKinds) {
            failures += Measure(CorpusName(kind), Corpus(kind, kCorpusSize), runs);
        }
    }
    for (const std::string& path : files) {
        bool ok = false;
        const Bytes input = ReadFile(path, &ok);
        if (!ok) {
            std::fprintf(stderr, "bench_compress: cannot read '%s'\n", path.c_str());
            return 1;
        }
        failures += Measure(path, input, runs);
    }
    return failures ? 1 : 0;
}
