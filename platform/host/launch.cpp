// Host program starts, the current folder, restart-time removal and file mappings. Programs
// are never run: the command line is recorded and the configured result returned.
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string.h>
#include <map>

#include "platform/host/host.h"
#include "platform/host/host_launch.h"
#include "platform/host/sim_internal.h"
#include "platform/launch.h"

namespace {

uint32_t winexec_result = 33;         // what WinExec answers
std::vector<std::string> started;     // command lines given to WinExec
std::vector<std::string> started_in;  // the current folder at each of those starts
std::string current_folder;           // SetCurrentDirectoryA; "" the folder of the start
uint32_t run_number = 0x5EED0001;     // what PlatRunNumber gives
int move_result = 1;                  // what MoveFileExA answers
std::vector<std::string> moves;       // removals arranged for the next restart
int mapping_fault;                    // 1: the mapping fails, 2: the view fails

// A mapping object lives while its handle is open or a view of it is mapped; meanwhile the file
// it maps cannot be cut or grown by SetEndOfFile. It keeps its own reference to the file, as
// Windows does, so the file's handle may be closed first.
struct Mapping {
    int fd;  // duplicate of the file's descriptor, -1 once the object is gone
    uint32_t size;
    dev_t device;
    ino_t inode;
    bool handle_open;
    int views;
};
struct View {
    size_t mapping;  // index into mappings
    uint32_t size;
};
std::vector<Mapping> mappings;   // handle h is mappings[h - 1]
std::map<uint8_t*, View> views;  // mapped views

// Drops the object when neither its handle nor a view holds it any longer.
void ReleaseMapping(size_t index) {
    Mapping& m = mappings[index];
    if (m.fd >= 0 && !m.handle_open && m.views == 0) {
        close(m.fd);
        m.fd = -1;
    }
}

// A mapping object of the file behind `fd` is alive.
bool FileIsMapped(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0) return false;
    for (const Mapping& m : mappings)
        if (m.fd >= 0 && m.device == st.st_dev && m.inode == st.st_ino) return true;
    return false;
}

}  // namespace

void HostLaunchReset();
namespace {
const bool kResetRegistered = SimAddResetHook(HostLaunchReset);
}

void HostLaunchReset() {
    winexec_result = 33;
    started.clear();
    started_in.clear();
    current_folder.clear();
    run_number = 0x5EED0001;
    move_result = 1;
    moves.clear();
    mapping_fault = 0;
    for (auto& v : views)
        munmap(v.first, v.second.size);
    views.clear();
    for (Mapping& m : mappings)
        if (m.fd >= 0) close(m.fd);
    mappings.clear();
}

void HostSetWinExecResult(uint32_t result) {
    winexec_result = result;
}
const std::vector<std::string>& HostStartedCommands() {
    return started;
}
const std::vector<std::string>& HostStartedFolders() {
    return started_in;
}
void HostSetRunNumber(uint32_t number) {
    run_number = number;
}
void HostSetMoveFileExResult(int result) {
    move_result = result;
}
const std::vector<std::string>& HostScheduledMoves() {
    return moves;
}
void HostFailMapping(int which) {
    mapping_fault = which;
}

uint32_t PlatWinExec(const char* command_line, uint32_t show) {
    started.push_back(command_line);
    started_in.push_back(current_folder);
    // Nothing is run in the simulation; a person at the terminal is told what would start.
    if (isatty(1)) fprintf(stdout, "  (starts: %s)\n", command_line);
    HostLog("WinExec(\"%s\", %u) = %u", command_line, show, winexec_result);
    return winexec_result;
}

int PlatSetCurrentDirectory(const char* path) {
    struct stat st;
    int ok = stat(HostRealPath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    if (ok) current_folder = path;
    HostLog("SetCurrentDirectoryA(%s) = %d", path, ok);
    return ok;
}

uint32_t PlatRunNumber() {
    return run_number;
}

int PlatMoveFileEx(const char* from, const char* to, uint32_t flags) {
    HostLog("MoveFileExA(%s, %s, %u) = %d", from, to ? to : "(null)", flags, move_result);
    if (move_result) moves.push_back(std::string(from) + " -> " + (to ? to : ""));
    return move_result;
}

FileHandle PlatOpenReadWriteAlways(const char* path) {
    int fd = open(HostRealPath(path).c_str(), O_RDWR | O_CREAT, 0644);
    HostLog("CreateFileA(%s, GENERIC_READ|GENERIC_WRITE, 0, OPEN_ALWAYS) = %d", path, fd);
    return fd < 0 ? kInvalidFile : fd;
}

intptr_t PlatCreateFileMapping(FileHandle file, uint32_t maximum_size) {
    struct stat st;
    bool ok = mapping_fault != 1 && file != kInvalidFile && maximum_size > 0 &&
              fstat(static_cast<int>(file), &st) == 0;
    // Like Windows, a mapping larger than the file grows the file with zero bytes.
    if (ok && static_cast<uint64_t>(st.st_size) < maximum_size)
        ok = ftruncate(static_cast<int>(file), maximum_size) == 0;
    intptr_t handle = 0;
    int fd = ok ? dup(static_cast<int>(file)) : -1;
    if (fd >= 0) {
        mappings.push_back(Mapping{fd, maximum_size, st.st_dev, st.st_ino, true, 0});
        handle = static_cast<intptr_t>(mappings.size());
    }
    HostLog("CreateFileMappingA(%d, PAGE_READWRITE, %u) = %ld", static_cast<int>(file),
            maximum_size, static_cast<long>(handle));
    return handle;
}

uint8_t* PlatMapViewOfFile(intptr_t mapping) {
    uint8_t* view = nullptr;
    if (mapping_fault != 2 && mapping > 0 && static_cast<size_t>(mapping) <= mappings.size()) {
        size_t index = static_cast<size_t>(mapping) - 1;
        Mapping& m = mappings[index];
        void* p = m.handle_open ? mmap(nullptr, m.size, PROT_READ | PROT_WRITE, MAP_SHARED, m.fd, 0)
                                : MAP_FAILED;
        if (p != MAP_FAILED) {
            view = static_cast<uint8_t*>(p);
            views[view] = View{index, m.size};
            ++m.views;
        }
    }
    HostLog("MapViewOfFile(%ld, FILE_MAP_WRITE) = %s", static_cast<long>(mapping),
            view ? "view" : "null");
    return view;
}

int PlatUnmapViewOfFile(uint8_t* view) {
    auto it = views.find(view);
    if (it == views.end()) return 0;
    munmap(view, it->second.size);
    size_t index = it->second.mapping;
    views.erase(it);
    --mappings[index].views;
    ReleaseMapping(index);
    HostLog("UnmapViewOfFile()");
    return 1;
}

void PlatCloseMapping(intptr_t mapping) {
    HostLog("CloseHandle(mapping %ld)", static_cast<long>(mapping));
    if (mapping <= 0 || static_cast<size_t>(mapping) > mappings.size()) return;
    size_t index = static_cast<size_t>(mapping) - 1;
    mappings[index].handle_open = false;
    ReleaseMapping(index);
}

// Windows refuses (ERROR_USER_MAPPED_FILE) while the file has a mapping object: every view
// must be unmapped and the mapping's handle closed first.
int PlatSetEndOfFile(FileHandle file) {
    int fd = static_cast<int>(file);
    off_t at = lseek(fd, 0, SEEK_CUR);
    if (at >= 0 && FileIsMapped(fd)) {
        HostLog("SetEndOfFile(%d) at %ld = 0 (ERROR_USER_MAPPED_FILE)", fd, static_cast<long>(at));
        return 0;
    }
    int ok = at >= 0 && ftruncate(fd, at) == 0;
    HostLog("SetEndOfFile(%d) at %ld = %d", fd, static_cast<long>(at), ok);
    return ok;
}
