// Host files: real POSIX files. Windows paths map into the sandbox; every call is logged and may
// be made to fail.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <string>
#include <utility>

#include "platform/files.h"
#include "platform/host/host.h"
#include "platform/host/host_launch.h"
#include "platform/host/sim_internal.h"

std::string HostRealPath(const char* path) {
    std::string p(path);
    bool drive = p.size() >= 2 && p[1] == ':' &&
                 ((p[0] >= 'a' && p[0] <= 'z') || (p[0] >= 'A' && p[0] <= 'Z'));
    if (!drive && p.find('\\') == std::string::npos) return p;
    for (char& c : p)
        if (c == '\\') c = '/';
    if (!drive) return p;
    std::string rest = p.substr(2);
    if (rest.empty() || rest[0] != '/') rest = "/" + rest;
    char letter = static_cast<char>(p[0] | 0x20);
    return HostSandbox() + "/" + letter + rest;
}

namespace {

// Files held open with read-only sharing, by descriptor: the device and inode they opened, so
// that a file is recognised under any name and a name reused by another file is not.
std::map<int, std::pair<dev_t, ino_t>> locked_files;

bool LockedIdentity(dev_t dev, ino_t ino) {
    for (const auto& entry : locked_files)
        if (entry.second.first == dev && entry.second.second == ino) return true;
    return false;
}

}  // namespace

bool SimFileLocked(const std::string& real_path) {
    struct stat st;
    return !locked_files.empty() && lstat(real_path.c_str(), &st) == 0 &&
           LockedIdentity(st.st_dev, st.st_ino);
}

int HostRenameFile(const std::string& from, const std::string& to) {
    std::string real_from = HostRealPath(from.c_str());
    std::string real_to = HostRealPath(to.c_str());
    // Windows refuses to rename a file opened without FILE_SHARE_DELETE, and to replace one.
    int ok = !SimFileLocked(real_from) && !SimFileLocked(real_to) &&
             rename(real_from.c_str(), real_to.c_str()) == 0;
    HostLog("MoveFileExA(%s, %s, MOVEFILE_REPLACE_EXISTING) = %d", from.c_str(), to.c_str(), ok);
    return ok;
}

FileHandle PlatOpenRead(const char* path) {
    int fd = -1;
    if (!SimCallFails(kHostOpenRead, nullptr)) fd = open(HostRealPath(path).c_str(), O_RDONLY);
    HostLog("CreateFileA(%s, GENERIC_READ, SHARE_READ|SHARE_WRITE, OPEN_EXISTING) = %d", path, fd);
    return fd < 0 ? kInvalidFile : fd;
}

FileHandle PlatOpenReadLocked(const char* path) {
    int fd = -1;
    // Not counted with the reads' opens, so that their injected faults keep their numbers.
    fd = open(HostRealPath(path).c_str(), O_RDONLY);
    struct stat st;
    if (fd >= 0 && fstat(fd, &st) == 0) locked_files[fd] = {st.st_dev, st.st_ino};
    HostLog("CreateFileA(%s, GENERIC_READ, SHARE_READ, OPEN_EXISTING) = %d", path, fd);
    return fd < 0 ? kInvalidFile : fd;
}

FileHandle PlatCreateWrite(const char* path) {
    int fd = -1;
    std::string real = HostRealPath(path);
    // Opening for writing a file that someone holds with read-only sharing is a sharing
    // violation.
    if (!SimCallFails(kHostCreateWrite, nullptr) && !SimFileLocked(real))
        fd = open(real.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    HostLog("CreateFileA(%s, GENERIC_WRITE, 0, CREATE_ALWAYS) = %d", path, fd);
    return fd < 0 ? kInvalidFile : fd;
}

FileHandle PlatCreateNew(const char* path) {
    int fd = -1;
    // O_EXCL with O_CREAT follows no link: an existing name of any kind makes the open fail.
    if (!SimCallFails(kHostCreateWrite, nullptr))
        fd = open(HostRealPath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    HostLog("CreateFileA(%s, GENERIC_WRITE, 0, CREATE_NEW) = %d", path, fd);
    return fd < 0 ? kInvalidFile : fd;
}

uint32_t PlatFileSize(FileHandle file) {
    struct stat st;
    uint32_t size = 0xFFFFFFFFu;
    if (!SimCallFails(kHostFileSize, nullptr) && file != kInvalidFile &&
        fstat(static_cast<int>(file), &st) == 0)
        size = static_cast<uint32_t>(st.st_size);
    HostLog("GetFileSize(%d) = %u", static_cast<int>(file), size);
    return size;
}

int PlatSeek(FileHandle file, uint32_t offset) {
    int ok = 0;
    if (!SimCallFails(kHostSeek, nullptr) && file != kInvalidFile)
        ok = lseek(static_cast<int>(file), static_cast<off_t>(offset), SEEK_SET) >= 0;
    HostLog("SetFilePointer(%d, %u, FILE_BEGIN) = %d", static_cast<int>(file), offset, ok);
    return ok;
}

// Reads or writes until `count` bytes moved or the call stops moving bytes.
template <typename Op>
static uint32_t MoveAll(Op op, uint32_t count) {
    uint32_t done = 0;
    while (done < count) {
        ssize_t n = op(done, count - done);
        if (n <= 0) break;
        done += static_cast<uint32_t>(n);
    }
    return done;
}

uint32_t PlatRead(FileHandle file, void* buffer, uint32_t count) {
    uint32_t limit = count;
    if (SimCallFails(kHostRead, &limit) && limit > count) limit = count;
    uint32_t got = 0;
    if (file != kInvalidFile) {
        got = MoveAll(
            [&](uint32_t at, uint32_t n) {
                return read(static_cast<int>(file), static_cast<char*>(buffer) + at, n);
            },
            limit);
    }
    HostLog("ReadFile(%d, %u) = %u", static_cast<int>(file), count, got);
    return got;
}

uint32_t PlatWrite(FileHandle file, const void* buffer, uint32_t count) {
    uint32_t limit = count;
    if (SimCallFails(kHostWrite, &limit) && limit > count) limit = count;
    limit = SimDiskAllows(limit);
    uint32_t put = 0;
    if (file != kInvalidFile) {
        put = MoveAll(
            [&](uint32_t at, uint32_t n) {
                return write(static_cast<int>(file), static_cast<const char*>(buffer) + at, n);
            },
            limit);
    }
    HostLog("WriteFile(%d, %u) = %u", static_cast<int>(file), count, put);
    return put;
}

void PlatClose(FileHandle file) {
    if (file == kInvalidFile) return;
    locked_files.erase(static_cast<int>(file));
    close(static_cast<int>(file));
    HostLog("CloseHandle(%d)", static_cast<int>(file));
}

int PlatDeleteFile(const char* path) {
    int ok = 0;
    std::string real = HostRealPath(path);
    // A file another program holds open cannot be deleted, as on Windows.
    if (!SimCallFails(kHostDelete, nullptr) && !HostFileHeld(real) && !SimFileLocked(real))
        ok = unlink(real.c_str()) == 0;
    HostLog("DeleteFileA(%s) = %d", path, ok);
    return ok;
}

uint32_t PlatModuleFileName(char* buffer, uint32_t size) {
    if (size == 0) return 0;
    std::string name = SimModuleFileName();
    if (name == "-") {
        char exe[4096];
        ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
        name.assign(exe, n > 0 ? static_cast<size_t>(n) : 0);
    }
    if (SimCallFails(kHostModuleFileName, nullptr)) name.clear();
    // A path that does not fit is not handed out cut: the call counts as failed.
    uint32_t n = static_cast<uint32_t>(name.size());
    if (n > size - 1) n = 0;
    name.copy(buffer, n);
    buffer[n] = '\0';
    HostLog("GetModuleFileNameA(%u) = %u", size, n);
    return n;
}

int PlatCreateFolder(const char* path) {
    // mkdir, like CreateDirectoryA, fails on any existing name and follows no link.
    int ok = mkdir(HostRealPath(path).c_str(), 0755) == 0;
    HostLog("CreateDirectoryA(%s) = %d", path, ok);
    return ok;
}

int PlatRemoveFolder(const char* path) {
    int ok = rmdir(HostRealPath(path).c_str()) == 0;
    HostLog("RemoveDirectoryA(%s) = %d", path, ok);
    return ok;
}

int PlatIsFile(const char* path) {
    struct stat st;
    int ok = stat(HostRealPath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
    HostLog("GetFileAttributesA(%s) = %s", path, ok ? "file" : "none");
    return ok;
}
