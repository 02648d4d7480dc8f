// Helpers of the fuzz targets: the input as a file that the platform's file calls can open, and
// a private sandbox folder per process for the targets that reach the simulated machine.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>

// The bytes as the content of an in-memory file; returns a path that opens it ("/proc/self/fd/N",
// used as it is by the host simulation). The same file is reused by every run.
inline const char* MemoryFile(const uint8_t* data, size_t size) {
    static int fd = -1;
    static char path[64];
    if (fd < 0) {
        fd = memfd_create("fuzz-input", 0);
        if (fd < 0) abort();
        snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    }
    if (ftruncate(fd, 0) != 0) abort();
    if (size > 0 && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) abort();
    return path;
}

// A folder of its own under /tmp for this process, removed at exit.
inline const std::string& PrivateFolder() {
    static std::string folder;
    if (folder.empty()) {
        char pattern[] = "/tmp/ssfuzz-XXXXXX";
        if (!mkdtemp(pattern)) abort();
        folder = pattern;
        static std::string command = "rm -rf '" + folder + "'";
        atexit([] {
            if (system(command.c_str()) != 0) {
            }
        });
    }
    return folder;
}

// Reads the whole file at `path`; empty when it is missing.
inline std::string ReadAll(const std::string& path) {
    std::string out;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        out.append(buffer, n);
    fclose(f);
    return out;
}
