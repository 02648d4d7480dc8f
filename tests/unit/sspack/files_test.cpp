// What sspack build puts into the installer compared with the files the manifest names, and how
// every command treats the files it reads and writes: empty files, the same file as input and
// output, files that are not regular files, scratch files and interruptions.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "archive/extract.h"
#include "archive/reader.h"
#include "tests/unit/sspack/sspack_helpers.h"

namespace {

struct EntryFile {
    const char* entry;
    std::string file;
};

// Every entry of `out` read through the installer's reader holds the bytes of its file.
void ExpectEntriesHoldTheirFiles(const std::string& out, const std::vector<EntryFile>& entries) {
    ASSERT_NE(OpenArchive(out.c_str()), kInvalidFile);
    for (const EntryFile& e : entries) {
        SCOPED_TRACE(e.entry);
        const Bytes want = ReadWholeFile(e.file);
        EXPECT_EQ(GetOriginalSize(e.entry), static_cast<int32_t>(want.size()));
        std::vector<uint8_t> got(want.size() + 1, 0xEE);
        ASSERT_TRUE(ReadEntryToMemory(e.entry, got.data(), static_cast<uint32_t>(got.size())));
        got.resize(want.size());
        EXPECT_TRUE(Bytes(got.begin(), got.end()) == want) << "the content differs from the file";
    }
    CloseArchive(ReaderHandle());
}

TEST(SspackFiles, AnEmptyFileWorksAtEveryPosition) {
    struct Row {
        const char* key;
        const char* entry;
    };
    const Row rows[] = {{"Saver", "SAVER"},       {"Stub", "STUB"},       {"Movie", "MOVIE"},
                        {"PreviewB", "PREVIEWB"}, {"Zett", "ZETT"},       {"Kmdl", "KMDL"},
                        {"Document", "LESMI"},    {"Additional", "ADDTL"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.key);
        ScratchDir dir;
        WriteWholeFile(dir.File("empty.dat"), Bytes());
        std::vector<EntryFile> entries;
        std::string files;
        for (const Row& other : rows) {
            const std::string name = std::string(other.entry) + ".dat";
            if (other.key != row.key)
                WriteWholeFile(dir.File(name), PseudoRandomBytes(300, other.entry[0]));
            const std::string file = other.key == row.key ? "empty.dat" : name;
            files += std::string(other.key) + "=" + file + "\n";
            entries.push_back({other.entry, dir.File(file)});
        }
        ManifestParts p;
        p.installer = "FollowUp=open-document\n";
        p.files = files + "PreviewF=movie\n";
        const std::string out = dir.File("setup");
        const RunResult r =
            BuildWithHostStub(WriteManifest(dir, ManifestText(p)), out, dir, "--verify -q");
        ASSERT_EQ(r.exit_code, 0) << r.err;
        ExpectEntriesHoldTheirFiles(out, entries);
        ASSERT_NE(OpenArchive(out.c_str()), kInvalidFile);
        EXPECT_TRUE(SameEntryData("PREVIEWF", "MOVIE"));
        CloseArchive(ReaderHandle());
    }
}

}  // namespace
