// sspack as people meet it: help and version, and the messages for the mistakes they make.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "archive/reader.h"
#include "tests/unit/sspack/sspack_helpers.h"

namespace {

TEST(SspackCli, HelpAndVersionGoToStandardOutput) {
    ScratchDir dir;
    struct Row {
        const char* args;
        const char* expected;  // part of standard output
    };
    const Row rows[] = {
        {"--help", "sspack extract FILE [NAME...] -o DIR"},
        {"help", "sspack build MANIFEST -o OUT [OPTION...]"},
        {"help info", "sspack info FILE [--manifest|--json]"},
        {"init --help", "sspack init [FOLDER]"},
        {"build --help", "--verify"},
        {"compress --help", "sspack compress IN OUT"},
        {"list --help", "sspack list FILE [--json]"},
        {"--version", "sspack " SSPACK_EXPECTED_VERSION},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args);
        const RunResult r = RunSspack(row.args, dir);
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_NE(r.out.find(row.expected), std::string::npos) << r.out;
    }
    // Only a usage error sends the usage to standard error, with exit code 1.
    for (const char* args : {"", "help frobnicate"}) {
        SCOPED_TRACE(args);
        const RunResult r = RunSspack(args, dir);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err, "");
    }
    // An unknown command is one line, with the closest command when one is close.
    const Row unknown[] = {
        {"biuld x.ini", "sspack: unknown command 'biuld' (did you mean build?)"},
        {"extrakt", "(did you mean extract?)"},
        {"list2", "(did you mean list?)"},
        {"frobnicate", "sspack: unknown command 'frobnicate'; sspack --help lists the commands"},
    };
    for (const Row& row : unknown) {
        SCOPED_TRACE(row.args);
        const RunResult r = RunSspack(row.args, dir);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(row.expected), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}

TEST(SspackCli, ManifestMistakes) {
    ScratchDir dir;
    const std::string text = ManifestText(ManifestParts());
    WriteManifest(dir, text);
    // What a Windows editor saves as "Unicode": UTF-16 with a byte-order mark.
    std::string utf16 = "\xFF\xFE";
    for (char c : text)
        utf16 += std::string(1, c) + '\0';
    WriteWholeFile(dir.File("utf16.ini"), BytesOf(utf16));
    std::string no_mark;
    for (char c : text)
        no_mark += std::string(1, c) + '\0';
    WriteWholeFile(dir.File("utf16le.ini"), BytesOf(no_mark));
    // A path written with '\' and another case than the file on disk.
    ASSERT_EQ(mkdir(dir.File("media").c_str(), 0755), 0);
    WriteWholeFile(dir.File("media/night.bmp"), BytesOf("BM"));
    ManifestParts hinted;
    hinted.files += "PreviewB=Media\\Night.bmp\n";
    WriteWholeFile(dir.File("hint.ini"), BytesOf(ManifestText(hinted)));
    struct Row {
        const char* tag;
        std::string manifest;
        std::string out;
        std::string error;  // the whole of standard error
    };
    const std::string out = dir.File("setup");
    const Row rows[] = {
        {"UTF-16", dir.File("utf16.ini"), out,
         dir.File("utf16.ini") + ": error: the manifest is UTF-16; save it as UTF-8\n"},
        {"UTF-16 without a byte-order mark", dir.File("utf16le.ini"), out,
         dir.File("utf16le.ini") + ": error: the manifest is UTF-16; save it as UTF-8\n"},
        {"a folder as the manifest", dir.File("media"), out,
         dir.File("media") + ": error: the manifest is a folder\n"},
        {"an output folder that does not exist", dir.File("m.ini"), dir.File("nowhere/setup"),
         "sspack: build: cannot write the output '" + dir.File("nowhere/setup") +
             "': the folder '" + dir.File("nowhere") +
             "' does not exist (No such file or directory)\n"},
        {"an output that is a folder", dir.File("m.ini"), dir.File("media"),
         "sspack: build: cannot write the output '" + dir.File("media") + "': it is a folder\n"},
        {"a path in another case and with '\\'", dir.File("hint.ini"), out,
         dir.File("hint.ini") + ":" + std::to_string(LineOf(ManifestText(hinted), "PreviewB")) +
             ": error: [Files] PreviewB: '" + dir.File("Media\\Night.bmp") +
             "' does not exist (did you mean media/night.bmp?)\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        const RunResult r = BuildWithHostStub(row.manifest, row.out, dir);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.err, row.error);
        if (row.out == out) {
            EXPECT_FALSE(FileExists(row.out));
        }
    }
}

TEST(SspackCli, JsonErrorsComeInLineOrder) {
    ScratchDir dir;
    ManifestParts p;
    p.name = "";  // reported for the file as a whole
    p.installer = "FollowUp=reboot\n";
    p.texts += "Colour=blue\n";
    p.files += "PreviewB=nothere.bmp\n";
    const std::string manifest = WriteManifest(dir, ManifestText(p));
    const RunResult r = BuildWithHostStub(manifest, dir.File("setup"), dir, "--json");
    EXPECT_EQ(r.exit_code, 1);
    int previous = -1, errors = 0;
    for (size_t at = r.out.find("\"line\": "); at != std::string::npos;
         at = r.out.find("\"line\": ", at + 1)) {
        const int line = std::atoi(r.out.c_str() + at + 8);
        EXPECT_LE(previous, line) << r.out;
        previous = line;
        ++errors;
    }
    EXPECT_EQ(errors, 4) << r.out;
}

TEST(SspackCli, TotalSizeErrorNamesTheManifest) {
    ScratchDir dir;
    // Three sparse files just below 2 GiB each: together past what 32-bit offsets reach.
    for (const char* name : {"a.bin", "b.bin", "c.bin"}) {
        const int fd = open(dir.File(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, 0x7FFFFFF0), 0);
        close(fd);
    }
    ManifestParts p;
    p.files = "Saver=saver.bin\nMovie=a.bin\nZett=b.bin\nKmdl=c.bin\n";
    const std::string manifest = WriteManifest(dir, ManifestText(p));
    const RunResult r = BuildWithHostStub(manifest, dir.File("setup"), dir);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err.rfind(manifest + ": error: the inputs add up to ", 0), 0u) << r.err;
    EXPECT_FALSE(FileExists(dir.File("setup")));
}

TEST(SspackCli, OmittedDataFilesBecomeEmptyEntriesAndInstall) {
    ScratchDir dir;
    ManifestParts p;
    p.files = "Saver=saver.bin\nMovie=movie.bin\n";
    const std::string out = dir.File("setup");
    const RunResult r =
        BuildWithHostStub(WriteManifest(dir, ManifestText(p)), out, dir, "--verify");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    ASSERT_NE(OpenArchive(out.c_str()), kInvalidFile);
    for (const char* name : {"STUB", "ZETT", "KMDL"})
        EXPECT_EQ(GetOriginalSize(name), 0) << name;
    EXPECT_GT(GetOriginalSize("MOVIE"), 0);
    CloseArchive(ReaderHandle());
    const std::string sandbox = dir.File("sandbox");
    ASSERT_TRUE(InstallOnHost(out, sandbox));
    const std::string scr = sandbox + "/c/WINDOWS/Minimal.scr";
    ASSERT_TRUE(FileExists(scr));
    ASSERT_NE(OpenArchive(scr.c_str()), kInvalidFile);
    for (const char* name : {"SAVER", "STUB", "MOVIE", "INFO", "ZETT", "KMDL"})
        EXPECT_NE(GetOriginalSize(name), -1) << name;
    CloseArchive(ReaderHandle());
}

TEST(SspackCli, SizesInOneStyle) {
    ScratchDir dir;
    WriteWholeFile(dir.File("big.bin"), PseudoRandomBytes(5760000, 9));
    ManifestParts p;
    p.files =
        "Saver=saver.bin\nStub=stub.bin\nMovie=big.bin\nMovie.Compress=no\nZett=zett.bin\n"
        "Kmdl=kmdl.bin\n";
    const RunResult r =
        BuildWithHostStub(WriteManifest(dir, ManifestText(p)), dir.File("setup"), dir);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find("5.5 MiB"), std::string::npos) << r.out;
    // No count of a larger unit's worth: at most three digits before the point.
    for (const char* unit : {" B", " KiB", " MiB"}) {
        for (size_t at = r.out.find(unit); at != std::string::npos; at = r.out.find(unit, at + 1)) {
            size_t start = at;
            while (start > 0 && (std::isdigit(static_cast<unsigned char>(r.out[start - 1])) ||
                                 r.out[start - 1] == '.'))
                --start;
            const std::string number = r.out.substr(start, at - start);
            EXPECT_LT(std::atof(number.c_str()), 1024.0) << number << unit << " in\n" << r.out;
        }
    }
}

}  // namespace
