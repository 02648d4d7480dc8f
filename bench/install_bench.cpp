// Whole-install benchmark on the host: an installer with a large compressed MOVIE and 16
// additional files is built with sspack and installed into a scratch sandbox, in a child process
// so that its peak memory is its own. Prints the install time against `cp` of the installed
// (expanded) bytes, the peak RSS for two MOVIE sizes, and the heap allocations made while the
// installer ran. Figures only; nothing here fails on timing.
//
//   bench_install [MOVIE_MB]      default 64
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/entry.h"
#include "platform/host/host.h"

extern "C" void* __libc_malloc(size_t size);
extern "C" void* __libc_calloc(size_t count, size_t size);
extern "C" void* __libc_realloc(void* p, size_t size);

namespace {

bool counting;              // allocations are counted while the installer runs
unsigned long allocations;  // heap allocations counted

double Now() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void WriteFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f || fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
        fprintf(stderr, "bench_install: cannot write %s\n", path.c_str());
        exit(1);
    }
    fclose(f);
}

// A movie-like content: smooth gradients with a little noise, which compresses moderately.
std::vector<unsigned char> Movie(size_t size) {
    std::vector<unsigned char> out(size);
    uint32_t x = 12345;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = static_cast<unsigned char>((i / 64 + (i % 640) / 5) + ((x >> 28) & 3));
    }
    return out;
}

std::vector<unsigned char> Noise(size_t size, uint32_t seed) {
    std::vector<unsigned char> out(size);
    for (size_t i = 0; i < size; ++i) {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        out[i] = static_cast<unsigned char>(seed);
    }
    return out;
}

// Writes the media and the manifest into `dir` and builds `dir`/setup with sspack.
std::string MakeInstaller(const std::string& dir, size_t movie_mb) {
    WriteFile(dir + "/saver.bin", Noise(40000, 1));
    WriteFile(dir + "/stub.bin", Noise(2000, 2));
    WriteFile(dir + "/movie.bin", Movie(movie_mb << 20));
    WriteFile(dir + "/zett.bin", Noise(100, 3));
    WriteFile(dir + "/kmdl.bin", Noise(100, 4));
    std::string manifest =
        "[Installer]\nName=Bench\nShowProgress=yes\n[Texts]\nSuccess=Done.\nProgress=Installing\n"
        "[Files]\nSaver=saver.bin\nStub=stub.bin\nMovie=movie.bin\nZett=zett.bin\nKmdl=kmdl.bin\n";
    for (int i = 0; i < 16; ++i) {
        std::string name = "add" + std::to_string(i) + ".bin";
        std::vector<unsigned char> content = i % 2 ? Noise(256 << 10, 10 + i) : Movie(256 << 10);
        WriteFile(dir + "/" + name, content);
        manifest += "Additional=" + name + "\n";
    }
    WriteFile(dir + "/bench.ini", std::vector<unsigned char>(manifest.begin(), manifest.end()));
    std::string installer = dir + "/setup";
    std::string command =
        std::string(SSPACK_PATH) + " build " + dir + "/bench.ini -o " + installer + " --host -q";
    if (system(command.c_str()) != 0) {
        fprintf(stderr, "bench_install: %s failed\n", command.c_str());
        exit(1);
    }
    return installer;
}

struct Result {
    double seconds;
    unsigned long allocations;
    long peak_rss_kb;
};

// Installs in a child process; its figures come back through a pipe and wait4.
Result Install(const std::string& installer, const std::string& sandbox) {
    int fds[2];
    if (pipe(fds) != 0) exit(1);
    fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        HostReset();
        HostSetLogging(false);
        HostUseVirtualClock(true);  // the fixed pauses are not part of the work measured
        HostSetSandbox(sandbox);
        HostSetModuleFileName(installer);
        allocations = 0;
        double t0 = Now();
        counting = true;
        InstallerMain(1);
        counting = false;
        Result r{Now() - t0, allocations, 0};
        if (write(fds[1], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) _exit(2);
        _exit(0);
    }
    close(fds[1]);
    Result r{};
    if (read(fds[0], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) {
        fprintf(stderr, "bench_install: the install failed\n");
        exit(1);
    }
    close(fds[0]);
    int status;
    rusage usage;
    wait4(pid, &status, 0, &usage);
    r.peak_rss_kb = usage.ru_maxrss;
    return r;
}

double TimeCp(const std::string& from, const std::string& to) {
    double t0 = Now();
    std::string command = "cp --reflink=never '" + from + "' '" + to + "'";
    if (system(command.c_str()) != 0) exit(1);
    return Now() - t0;
}

off_t SizeOf(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_size : 0;
}

}  // namespace

// Counting allocator: every heap allocation of the process passes here.
extern "C" void* malloc(size_t size) {
    if (counting) ++allocations;
    return __libc_malloc(size);
}
extern "C" void* calloc(size_t count, size_t size) {
    if (counting) ++allocations;
    return __libc_calloc(count, size);
}
extern "C" void* realloc(void* p, size_t size) {
    if (counting) ++allocations;
    return __libc_realloc(p, size);
}

int main(int argc, char** argv) {
    size_t movie_mb = argc > 1 ? strtoul(argv[1], nullptr, 10) : 64;
    char tmpl[] = "/tmp/ss-bench-install-XXXXXX";
    std::string dir = mkdtemp(tmpl);
    printf("whole install on the host, MOVIE %zu MB compressed, 16 additional files of 256 KB\n",
           movie_mb);
    size_t sizes[] = {movie_mb / 8 ? movie_mb / 8 : 1, movie_mb};
    for (size_t mb : sizes) {
        std::string sub = dir + "/" + std::to_string(mb);
        mkdir(sub.c_str(), 0755);
        std::string installer = MakeInstaller(sub, mb);
        Result best{1e9, 0, 0};
        for (int round = 0; round < 3; ++round) {
            Result r = Install(installer, sub + "/sandbox");
            if (r.seconds < best.seconds) best.seconds = r.seconds;
            best.allocations = r.allocations;
            best.peak_rss_kb = r.peak_rss_kb > best.peak_rss_kb ? r.peak_rss_kb : best.peak_rss_kb;
        }
        std::string scr = HostRealPath("C:\\WINDOWS\\Bench.scr");
        HostSetSandbox(sub + "/sandbox");
        scr = HostRealPath("C:\\WINDOWS\\Bench.scr");
        double cp = 1e9;
        for (int round = 0; round < 3; ++round) {
            double t = TimeCp(scr, sub + "/copy.scr");
            if (t < cp) cp = t;
        }
        double mbytes = static_cast<double>(SizeOf(scr)) / (1 << 20);
        printf(
            "MOVIE %4zu MB: installer %7.1f MB, .scr %7.1f MB; install %.3f s (%.0f MB/s), "
            "cp %.3f s; install/cp %.1fx; peak RSS %ld KB; heap allocations %lu\n",
            mb, static_cast<double>(SizeOf(installer)) / (1 << 20), mbytes, best.seconds,
            mbytes / best.seconds, cp, best.seconds / cp, best.peak_rss_kb, best.allocations);
    }
    std::string clean = "rm -rf '" + dir + "'";
    if (system(clean.c_str()) != 0) return 1;
    return 0;
}
