// sspack compress / expand: one file to or from one block stream, through the installer's own
// drivers, so that what these commands write is exactly what an installer writes and reads.
#include <cstdint>
#include <cstdio>
#include <string>

#include "compress/block_stream.h"
#include "platform/files.h"
#include "tools/sspack/commands.h"
#include "tools/sspack/file_safety.h"

namespace {

// The two files of one command; closed on every way out.
struct FilePair {
    FileHandle in = kInvalidFile;
    FileHandle out = kInvalidFile;
    ~FilePair() {
        PlatClose(in);
        PlatClose(out);
    }
};

int Fail(const std::string& message) {
    std::fprintf(stderr, "sspack: %s\n", message.c_str());
    return 1;
}

std::string Quoted(const char* path) {
    return std::string("'") + path + "'";
}

// Checks both paths and opens the input and a new scratch file for the output; on failure
// returns the exit code after printing why. Nothing is written before every check has passed.
int OpenPair(const char* in_path, const char* out_path, const ScratchFile& scratch,
             FilePair* files) {
    const std::string problem = InputProblem(CommandLinePath(in_path));
    if (!problem.empty()) return Fail(Quoted(in_path) + " " + problem);
    if (SameFile(CommandLinePath(in_path), CommandLinePath(out_path)))
        return Fail("the output " + Quoted(out_path) + " would overwrite the input " +
                    Quoted(in_path));
    const std::string folder = OutputFolderProblem(out_path);
    if (!folder.empty()) return Fail("cannot write " + Quoted(out_path) + ": " + folder);
    files->in = PlatOpenRead(in_path);
    if (files->in == kInvalidFile) return Fail("cannot open " + Quoted(in_path));
    files->out = PlatCreateNew(scratch.path().c_str());
    if (files->out == kInvalidFile) return Fail("cannot create " + Quoted(scratch.path().c_str()));
    return 0;
}

// Closes both files and renames the finished output into place.
int Finish(const char* out_path, ScratchFile* scratch, FilePair* files) {
    PlatClose(files->out);
    files->out = kInvalidFile;
    std::string reason;
    if (!scratch->MoveIntoPlace(&reason))
        return Fail("cannot write " + Quoted(out_path) + ": " + reason);
    return 0;
}

}  // namespace

int CmdCompress(int argc, char** argv) {
    if (argc != 2) return Fail("usage: sspack compress IN OUT");
    const char* in_path = argv[0];
    const char* out_path = argv[1];
    ScratchFile scratch(out_path);
    FilePair files;
    if (int rc = OpenPair(in_path, out_path, scratch, &files)) return rc;
    const uint32_t size = PlatFileSize(files.in);
    if (size == 0xFFFFFFFFu) return Fail("cannot read the size of " + Quoted(in_path));
    if (size > 0x7FFFFFFFu) return Fail(Quoted(in_path) + " is larger than 2 GB");
    SetStreamIO(1, 0, nullptr, 0);
    const int ok = CompressStream(files.in, files.out, static_cast<int32_t>(size));
    const uint32_t written = StreamBytesWritten;
    if (!ok) return Fail("writing " + Quoted(out_path) + " failed (short write)");
    if (int rc = Finish(out_path, &scratch, &files)) return rc;
    std::printf("%s: %u bytes -> %s: %u bytes\n", in_path, size, out_path, written);
    return 0;
}

int CmdExpand(int argc, char** argv) {
    if (argc != 2) return Fail("usage: sspack expand IN OUT");
    const char* in_path = argv[0];
    const char* out_path = argv[1];
    ScratchFile scratch(out_path);
    FilePair files;
    if (int rc = OpenPair(in_path, out_path, scratch, &files)) return rc;
    SetStreamIO(1, 0, nullptr, 0);
    const int ok = ExpandStream(files.in, files.out);
    const uint32_t written = StreamBytesWritten;
    if (!ok) {
        return Fail("expanding " + Quoted(in_path) + " failed after " + std::to_string(written) +
                    " bytes: the stream is damaged or truncated, or " + Quoted(out_path) +
                    " could not be written");
    }
    if (int rc = Finish(out_path, &scratch, &files)) return rc;
    std::printf("%s -> %s: %u bytes\n", in_path, out_path, written);
    return 0;
}
