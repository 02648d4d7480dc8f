// How sspack reads its inputs and writes its outputs: every input is checked to be a regular file
// before it is opened, no output may be one of the inputs, and every output is first written to
// a new file of its own, created exclusively under an unguessable name beside the output, then
// renamed into place, so nothing planted at a predictable name is followed or overwritten.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Why `path` cannot be read as an input, or "" when it is a regular file (links followed):
// "does not exist", "is a folder", "is not a regular file (...)". Asked before the file is
// opened, so a FIFO or a device never blocks sspack.
std::string InputProblem(const std::filesystem::path& path);

// True when both paths lead to one existing file (through links, `..` and hard links).
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// Paths as sspack receives them: from the command line in the system's own encoding, from a
// manifest in UTF-8.
std::filesystem::path CommandLinePath(const std::string& path);
std::filesystem::path ManifestPath(const std::string& path);

// The first of `inputs` (UTF-8) that is the same file as `out` (from the command line), or ""
// when none is.
std::string InputThatIs(const std::string& out, const std::vector<std::string>& inputs);

// Why whatever already stands at `out` must not be replaced, or "" when nothing does, or a
// regular file that may be written, or a link (the link is replaced, never what it leads to).
// A device, a FIFO, a socket or a folder is never replaced by a file, and a read-only file is
// not replaced behind its owner's back.
std::string ExistingOutputProblem(const std::string& out);

// Why `out` cannot be written: its folder is not an existing folder, or ExistingOutputProblem.
// "" when it can.
std::string OutputFolderProblem(const std::string& out);

// A name in the folder of `target` that no one can know in advance, for a scratch file.
std::string ScratchName(const std::string& target);

// A scratch file: a name from ScratchName that an interrupt removes, and that goes when the
// object does unless it was renamed into place.
class ScratchFile {
  public:
    explicit ScratchFile(const std::string& target);
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    const std::string& path() const { return path_; }
    // Renames the scratch file over `target_`; false with the system's reason in `error`, or
    // with ExistingOutputProblem when what stands there now must not be replaced.
    bool MoveIntoPlace(std::string* error);

  private:
    std::string path_;
    std::string target_;
    bool moved_ = false;
};
