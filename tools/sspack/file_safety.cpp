#include "tools/sspack/file_safety.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#include "archive/file_name.h"
#include "tools/sspack/sspack_os.h"

namespace fs = std::filesystem;

fs::path CommandLinePath(const std::string& path) {
    return fs::path(path);
}

fs::path ManifestPath(const std::string& path) {
    return fs::u8path(path);
}

std::string InputProblem(const fs::path& path) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    switch (status.type()) {
        case fs::file_type::regular:
            return "";
        case fs::file_type::not_found:
            return "does not exist";
        case fs::file_type::directory:
            return "is a folder";
        case fs::file_type::fifo:
            return "is not a regular file (a FIFO)";
        case fs::file_type::socket:
            return "is not a regular file (a socket)";
        case fs::file_type::block:
        case fs::file_type::character:
            return "is not a regular file (a device)";
        default:
            return error ? "cannot be examined: " + error.message() : "is not a regular file";
    }
}

bool SameFile(const fs::path& a, const fs::path& b) {
    FileId x, y;
    return FileIdOf(a, &x) && FileIdOf(b, &y) && x.volume == y.volume && x.index == y.index;
}

std::string InputThatIs(const std::string& out, const std::vector<std::string>& inputs) {
    for (const std::string& input : inputs)
        if (SameFile(ManifestPath(input), CommandLinePath(out))) return input;
    return "";
}

std::string ExistingOutputProblem(const std::string& out) {
    std::error_code error;
#ifdef _WIN32
    // NUL, CON, COM1 ... name a device in every folder, whatever the folder holds.
    const std::string name = CommandLinePath(out).filename().string();
    if (CheckFileName(name.c_str()) == kNameDevice)
        return "it is a device, not a regular file; sspack never replaces one";
#endif
    const fs::file_status status = fs::symlink_status(CommandLinePath(out), error);
    const char* what = nullptr;
    switch (status.type()) {
        case fs::file_type::not_found:
        case fs::file_type::symlink:
            return "";
        case fs::file_type::regular:
            if ((status.permissions() & fs::perms::owner_write) == fs::perms::none)
                return "it is read-only; make it writable or remove it to replace it";
            return "";
        case fs::file_type::directory:
            return "it is a folder";
        case fs::file_type::fifo:
            what = "a FIFO";
            break;
        case fs::file_type::socket:
            what = "a socket";
            break;
        case fs::file_type::block:
        case fs::file_type::character:
            what = "a device";
            break;
        default:
            if (error) return "it cannot be examined: " + error.message();
            return "it is not a regular file; sspack never replaces one";
    }
    return std::string("it is ") + what + ", not a regular file; sspack never replaces one";
}

std::string OutputFolderProblem(const std::string& out) {
    const std::string existing = ExistingOutputProblem(out);
    if (!existing.empty()) return existing;
    fs::path folder = CommandLinePath(out).parent_path();
    if (folder.empty()) folder = ".";
    std::error_code error;
    const fs::file_status status = fs::status(folder, error);
    if (status.type() == fs::file_type::directory) return "";
    const std::string shown = folder.string();
    if (status.type() == fs::file_type::not_found)
        return "the folder '" + shown + "' does not exist (" +
               std::make_error_code(std::errc::no_such_file_or_directory).message() + ")";
    if (error) return "the folder '" + shown + "' cannot be used: " + error.message();
    return "'" + shown + "' is not a folder (" +
           std::make_error_code(std::errc::not_a_directory).message() + ")";
}

std::string ScratchName(const std::string& target) {
    static std::random_device source;
    static std::mt19937_64 bits((static_cast<uint64_t>(source()) << 32) ^ source());
    char tag[40];
    std::snprintf(tag, sizeof tag, ".%016llx.sspack-tmp", static_cast<unsigned long long>(bits()));
    return target + tag;
}

namespace {

// The scratch files an interrupt removes; the cleanup reads them, so they are plain buffers.
constexpr int kScratchSlots = 8;
char ScratchPaths[kScratchSlots][4096];
volatile std::sig_atomic_t ScratchUsed[kScratchSlots];

void RemoveScratchFiles() {
    for (int i = 0; i < kScratchSlots; ++i)
        if (ScratchUsed[i]) RemoveFileNow(ScratchPaths[i]);
}

void RemoveOnInterrupt(const std::string& path) {
    static bool installed = false;
    if (!installed) OnInterruptCall(RemoveScratchFiles);
    installed = true;
    if (path.size() >= sizeof ScratchPaths[0]) return;
    for (int i = 0; i < kScratchSlots; ++i)
        if (!ScratchUsed[i]) {
            std::memcpy(ScratchPaths[i], path.c_str(), path.size() + 1);
            ScratchUsed[i] = 1;
            return;
        }
}

void KeepOnInterrupt(const std::string& path) {
    for (int i = 0; i < kScratchSlots; ++i)
        if (ScratchUsed[i] && path == ScratchPaths[i]) ScratchUsed[i] = 0;
}

}  // namespace

ScratchFile::ScratchFile(const std::string& target) : path_(ScratchName(target)), target_(target) {
    RemoveOnInterrupt(path_);
}

ScratchFile::~ScratchFile() {
    if (!moved_) {
        std::error_code error;
        fs::remove(CommandLinePath(path_), error);
    }
    KeepOnInterrupt(path_);
}

bool ScratchFile::MoveIntoPlace(std::string* message) {
    // Checked again here: a long build gives time for something else to appear at the name.
    *message = ExistingOutputProblem(target_);
    if (!message->empty()) return false;
    std::error_code error;
    fs::rename(CommandLinePath(path_), CommandLinePath(target_), error);
    if (error) {
        *message = error.message();
        return false;
    }
    moved_ = true;
    return true;
}
