// Copy benchmark: a stored entry copied from the reader to the writer against `cp` of the same
// file in the same run, and the peak memory of `sspack extract` on that entry and on a small one.
//
//   bench_copy [MB]      entry size in MiB (default 256; also $SS_BENCH_MB)
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "archive/cipher.h"
#include "archive/format.h"
#include "archive/reader.h"
#include "archive/writer.h"

namespace {

// Rounds of each copy; the best counts, which filters out other load on the machine.
constexpr int kRounds = 5;

double Seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A one-entry archive: `bytes` of pseudo-random data stored under "MOVIE", then its directory.
bool MakeArchive(const std::string& path, uint64_t bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    static uint64_t block[1 << 16];
    uint64_t x = 0x9E3779B97F4A7C15ull;
    for (uint64_t left = bytes; left != 0;) {
        for (uint64_t& w : block) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            w = x;
        }
        const size_t n = left < sizeof block ? static_cast<size_t>(left) : sizeof block;
        if (fwrite(block, 1, n, f) != n) return fclose(f), false;
        left -= n;
    }
    DirectoryRecord r;
    memset(&r, 0, sizeof r);
    r.count_or_length = 1;
    SetRecordName(r.name, "MOVIE");
    r.stored_size = r.original_size = static_cast<uint32_t>(bytes);
    r.marker_offset = -1;
    r.record_size = kRecordSize;
    r.magic = kDirectoryMagic;
    SetCipherKey(kDirectoryKey);
    CipherBytes(reinterpret_cast<uint8_t*>(&r), sizeof r, 1);
    const bool ok = fwrite(&r, sizeof r, 1, f) == 1;
    return fclose(f) == 0 && ok;
}

double TimeCp(const std::string& from, const std::string& to) {
    unlink(to.c_str());
    const std::string command = "cp --reflink=never '" + from + "' '" + to + "'";
    const double start = Seconds();
    if (system(command.c_str()) != 0) return -1;
    return Seconds() - start;
}

double TimeCopyEntry(const std::string& from, const std::string& to) {
    unlink(to.c_str());
    const double start = Seconds();
    if (OpenArchive(from.c_str()) == kInvalidFile) return -1;
    const FileHandle writer = CreateArchive(to.c_str());
    const int ok = CopyEntry("MOVIE", 0);
    CloseArchive(writer);
    CloseArchive(ReaderHandle());
    return ok ? Seconds() - start : -1;
}

// Peak resident memory of `sspack extract ARCHIVE -o DIR`, in KiB; -1 when it failed.
long ExtractPeakKiB(const std::string& archive, const std::string& dir) {
    fflush(stdout);  // the child must not print our buffered lines again
    const pid_t child = fork();
    if (child == 0) {
        if (!freopen("/dev/null", "w", stdout)) _exit(126);
        execl(SSPACK_PATH, "sspack", "extract", archive.c_str(), "-o", dir.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    if (child < 0 || wait4(child, &status, 0, &usage) != child) return -1;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
    uint64_t mib = 256;
    if (argc > 1) {
        mib = strtoull(argv[1], nullptr, 10);
    } else if (const char* env = getenv("SS_BENCH_MB")) {
        mib = strtoull(env, nullptr, 10);
    }
    if (mib == 0 || mib > 4000) {
        fprintf(stderr, "bench_copy: size must be 1..4000 MiB\n");
        return 1;
    }
    char folder[] = "/tmp/ss-bench-copy-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    const std::string dir = folder;
    const std::string big = dir + "/big.arc", small = dir + "/small.arc";
    const uint64_t bytes = mib << 20;
    if (!MakeArchive(big, bytes) || !MakeArchive(small, 1 << 20)) {
        fprintf(stderr, "bench_copy: cannot write the test archives in %s\n", folder);
        return 1;
    }

    // Alternate the two copies and keep the best of each, so both see the same page cache.
    double best_cp = 1e30, best_copy = 1e30;
    for (int round = 0; round < kRounds; ++round) {
        const double cp = TimeCp(big, dir + "/cp.out");
        const double copy = TimeCopyEntry(big, dir + "/copy.out");
        if (cp < 0 || copy < 0) {
            fprintf(stderr, "bench_copy: a copy failed (round %d)\n", round);
            return 1;
        }
        if (cp < best_cp) best_cp = cp;
        if (copy < best_copy) best_copy = copy;
    }
    const double mb = static_cast<double>(bytes) / (1 << 20);
    printf("stored entry of %.0f MiB, best of %d rounds\n", mb, kRounds);
    printf("  cp --reflink=never   %8.3f s  %8.1f MiB/s\n", best_cp, mb / best_cp);
    printf("  CopyEntry            %8.3f s  %8.1f MiB/s\n", best_copy, mb / best_copy);
    printf("  CopyEntry / cp       %8.1f %%\n", 100.0 * best_cp / best_copy);

    unlink((dir + "/cp.out").c_str());
    unlink((dir + "/copy.out").c_str());
    const long small_kib = ExtractPeakKiB(small, dir + "/x-small");
    const long big_kib = ExtractPeakKiB(big, dir + "/x-big");
    printf("peak RSS of sspack extract: %ld KiB for 1 MiB, %ld KiB for %.0f MiB\n", small_kib,
           big_kib, mb);

    const std::string clean = "rm -rf '" + dir + "'";
    if (system(clean.c_str()) != 0) fprintf(stderr, "bench_copy: %s left behind\n", folder);
    return (small_kib < 0 || big_kib < 0) ? 1 : 0;
}
