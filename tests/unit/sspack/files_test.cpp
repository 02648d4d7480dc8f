// What sspack build puts into the installer compared with the files the manifest names, and how
// every command treats the files it reads and writes: empty files, the same file as input and
// output, files that are not regular files, scratch files and interruptions.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "archive/extract.h"
#include "archive/reader.h"
#include "archive/writer.h"
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

// An archive with one entry per name, each holding its name's bytes.
void WriteArchiveOf(const std::string& path, const std::vector<std::string>& names) {
    const FileHandle file = CreateArchive(path.c_str());
    ASSERT_NE(file, kInvalidFile);
    for (const std::string& name : names)
        ASSERT_TRUE(AddEntryFromMemory(reinterpret_cast<const uint8_t*>(name.data()),
                                       static_cast<uint32_t>(name.size()), name.c_str(), 0));
    CloseArchive(file);
}

// The names in `dir` that are not in `expected`.
std::vector<std::string> Leftovers(const ScratchDir& dir,
                                   const std::vector<std::string>& expected) {
    std::vector<std::string> left;
    const std::string command = "ls -A " + Quoted(dir.path()) + " > " + Quoted(dir.File(".ls"));
    if (std::system(command.c_str()) != 0) return {"(ls failed)"};
    const Bytes listing = ReadWholeFile(dir.File(".ls"));
    std::string text(listing.begin(), listing.end()), line;
    for (size_t start = 0, end; start < text.size(); start = end + 1) {
        end = text.find('\n', start);
        line = text.substr(start, end - start);
        bool known = line == ".ls" || line.rfind(".run-", 0) == 0;
        for (const std::string& e : expected)
            known = known || line == e;
        if (!known) left.push_back(line);
    }
    return left;
}

TEST(SspackFiles, NoOutputIsAnInput) {
    ScratchDir dir;
    const std::string stub = dir.File("installer-stub");
    WriteWholeFile(stub, ReadWholeFile(SSINSTALLER_PATH));
    WriteWholeFile(dir.File("template.bin"), PseudoRandomBytes(100, 7));
    ManifestParts p;
    p.installer = "Template=template.bin\n";
    const std::string manifest = WriteManifest(dir, ManifestText(p));
    ASSERT_EQ(mkdir(dir.File("sub").c_str(), 0755), 0);
    ASSERT_EQ(symlink(dir.File("template.bin").c_str(), dir.File("to-template").c_str()), 0);
    ASSERT_EQ(link(dir.File("saver.bin").c_str(), dir.File("saver-link").c_str()), 0);
    ASSERT_EQ(
        RunSspack(
            "compress " + Quoted(dir.File("readme.txt")) + " " + Quoted(dir.File("readme.ss")), dir)
            .exit_code,
        0);
    // An installer whose name is one of its entries, extracted into its own folder.
    ScratchDir own;
    const std::string archive = own.File("MOVIE");
    ASSERT_EQ(BuildWithHostStub(manifest, archive, dir).exit_code, 0);
    const std::string build = "build " + Quoted(manifest) + " --stub " + Quoted(stub) + " -o ";
    struct Row {
        const char* tag;
        std::string args;
        std::string input;  // the file that must stay as it was
    };
    const Row rows[] = {
        {"the stub, through ..", build + Quoted(dir.File("sub/../installer-stub")), stub},
        {"the template, through a link", build + Quoted(dir.File("to-template")),
         dir.File("template.bin")},
        {"a file, through a hard link", build + Quoted(dir.File("saver-link")),
         dir.File("saver.bin")},
        {"the manifest", build + Quoted(manifest), manifest},
        {"compress IN IN",
         "compress " + Quoted(dir.File("readme.txt")) + " " + Quoted(dir.File("readme.txt")),
         dir.File("readme.txt")},
        {"expand IN IN through ..",
         "expand " + Quoted(dir.File("readme.ss")) + " " + Quoted(dir.File("sub/../readme.ss")),
         dir.File("readme.ss")},
        {"extract into the archive's folder",
         "extract " + Quoted(archive) + " -o " + Quoted(own.path()), archive},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        const Bytes before = ReadWholeFile(row.input);
        const RunResult r = RunSspack(row.args, dir);
        EXPECT_EQ(r.exit_code, 1) << r.err;
        EXPECT_NE(r.err.find("would overwrite the input"), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_TRUE(ReadWholeFile(row.input) == before) << "the input changed";
    }
    EXPECT_EQ(Leftovers(own, {"MOVIE"}), std::vector<std::string>());
}

TEST(SspackFiles, InputsThatAreNotRegularFiles) {
    ScratchDir dir;
    ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0644), 0);
    ASSERT_EQ(mkdir(dir.File("folder").c_str(), 0755), 0);
    ManifestParts with_template, with_fifo_saver;
    with_template.installer = "Template=fifo\n";
    with_fifo_saver.files =
        "Saver=fifo\nStub=stub.bin\nMovie=movie.bin\nZett=zett.bin\nKmdl=kmdl.bin\n";
    const std::string template_manifest = WriteManifest(dir, ManifestText(with_template));
    WriteWholeFile(dir.File("saver.ini"), BytesOf(ManifestText(with_fifo_saver)));
    WriteWholeFile(dir.File("plain.ini"), BytesOf(ManifestText(ManifestParts())));
    const std::string host =
        " -o " + Quoted(dir.File("out")) + " --stub " + Quoted(SSINSTALLER_PATH);
    struct Row {
        const char* tag;
        std::string args;
        const char* message;
    };
    const Row rows[] = {
        {"a FIFO as Template=", "build " + Quoted(template_manifest) + host,
         "is not a regular file (a FIFO)"},
        {"a FIFO as a file", "build " + Quoted(dir.File("saver.ini")) + host,
         "is not a regular file (a FIFO)"},
        {"a FIFO as the stub",
         "build " + Quoted(dir.File("plain.ini")) + " -o out --stub " + Quoted(dir.File("fifo")),
         "is not a regular file (a FIFO)"},
        {"a folder as the manifest", "build " + Quoted(dir.File("folder")) + host, "is a folder"},
        {"compress a FIFO", "compress " + Quoted(dir.File("fifo")) + " " + Quoted(dir.File("x")),
         "is not a regular file (a FIFO)"},
        {"list a folder", "list " + Quoted(dir.File("folder")), "is a folder"},
        {"verify a folder", "verify " + Quoted(dir.File("folder")), "is a folder"},
        {"info of a FIFO", "info " + Quoted(dir.File("fifo")), "is not a regular file (a FIFO)"},
        {"extract a FIFO", "extract " + Quoted(dir.File("fifo")) + " -o " + Quoted(dir.File("x")),
         "is not a regular file (a FIFO)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        // A FIFO opened for reading waits for a writer: a command that opens it never ends.
        const RunResult r = RunSspack(row.args, dir, "timeout 20");
        EXPECT_EQ(r.exit_code, 1) << r.err;
        EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
        EXPECT_FALSE(FileExists(dir.File("out")));
    }
}

TEST(SspackFiles, OutputsAreWrittenBesideThenRenamed) {
    ScratchDir dir, elsewhere;
    const std::string manifest = WriteManifest(dir, ManifestText(ManifestParts()));
    const std::string victim = elsewhere.File("victim");
    WriteWholeFile(victim, BytesOf("keep me"));
    // Links planted at every name a scratch file could once be predicted by, and at the output.
    const std::string out = dir.File("setup");
    for (const char* suffix : {".sspack-a", ".sspack-b", ".sspack-part"})
        ASSERT_EQ(symlink(victim.c_str(), (out + suffix).c_str()), 0);
    ASSERT_EQ(BuildWithHostStub(manifest, out, dir).exit_code, 0);
    EXPECT_TRUE(ReadWholeFile(victim) == BytesOf("keep me"));

    // Extraction over a link and a hard link replaces them, never writes through them.
    ScratchDir unpacked;
    ASSERT_EQ(symlink(victim.c_str(), unpacked.File("MOVIE").c_str()), 0);
    ASSERT_EQ(link(victim.c_str(), unpacked.File("STUB").c_str()), 0);
    const RunResult x = RunSspack("extract " + Quoted(out) + " -o " + Quoted(unpacked.path()), dir);
    ASSERT_EQ(x.exit_code, 0) << x.err;
    EXPECT_TRUE(ReadWholeFile(victim) == BytesOf("keep me"));
    EXPECT_TRUE(ReadWholeFile(unpacked.File("MOVIE")) == ReadWholeFile(dir.File("movie.bin")));
    EXPECT_TRUE(ReadWholeFile(unpacked.File("STUB")) == ReadWholeFile(dir.File("stub.bin")));
    EXPECT_EQ(Leftovers(unpacked, {"SAVER", "STUB", "MOVIE", "INFO", "ZETT", "KMDL"}),
              std::vector<std::string>());

    // compress and expand replace a link at the output too.
    const std::string ss = dir.File("readme.ss");
    ASSERT_EQ(symlink(victim.c_str(), ss.c_str()), 0);
    EXPECT_EQ(
        RunSspack("compress " + Quoted(dir.File("readme.txt")) + " " + Quoted(ss), dir).exit_code,
        0);
    EXPECT_TRUE(ReadWholeFile(victim) == BytesOf("keep me"));
    const std::string again = dir.File("readme.again");
    ASSERT_EQ(symlink(victim.c_str(), again.c_str()), 0);
    EXPECT_EQ(RunSspack("expand " + Quoted(ss) + " " + Quoted(again), dir).exit_code, 0);
    EXPECT_TRUE(ReadWholeFile(victim) == BytesOf("keep me"));
    EXPECT_TRUE(ReadWholeFile(again) == ReadWholeFile(dir.File("readme.txt")));
}

TEST(SspackFiles, ANewArchiveNeverOpensWhatStandsAtItsPath) {
    ScratchDir dir;
    const std::string victim = dir.File("victim");
    WriteWholeFile(victim, BytesOf("keep me"));
    ASSERT_EQ(symlink(victim.c_str(), dir.File("link").c_str()), 0);
    ASSERT_EQ(symlink(dir.File("nowhere").c_str(), dir.File("dangling").c_str()), 0);
    for (const char* name : {"victim", "link", "dangling"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(CreateNewArchive(dir.File(name).c_str()), kInvalidFile);
        EXPECT_TRUE(ReadWholeFile(victim) == BytesOf("keep me"));
        EXPECT_FALSE(FileExists(dir.File("nowhere")));
    }
    const FileHandle file = CreateNewArchive(dir.File("new").c_str());
    ASSERT_NE(file, kInvalidFile);
    CloseArchive(file);
    EXPECT_TRUE(FileExists(dir.File("new")));
}

TEST(SspackFiles, EntriesThatWouldBeOneFile) {
    ScratchDir dir;
    const std::string archive = dir.File("names.bin");
    WriteArchiveOf(archive, {"Readme.txt", "other.txt"});
    const std::string out = dir.File("out");
    const RunResult r =
        RunSspack("extract " + Quoted(archive) + " README.TXT readme.txt -o " + Quoted(out), dir);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("'Readme.txt' and 'Readme.txt' would be one file"), std::string::npos)
        << r.err;
    EXPECT_FALSE(FileExists(out + "/Readme.txt"));
}

TEST(SspackFiles, AnInterruptedBuildLeavesNoScratchFiles) {
    ScratchDir dir;
    WriteWholeFile(dir.File("big.bin"), PseudoRandomBytes(24u << 20, 3));
    ManifestParts p;
    p.files =
        "Saver=saver.bin\nStub=stub.bin\nMovie=big.bin\nMovie.Compress=yes\nZett=zett.bin\nKmdl="
        "kmdl.bin\n";
    const std::string manifest = WriteManifest(dir, ManifestText(p));
    const std::string out = dir.File("setup");
    WriteWholeFile(out, BytesOf("the previous installer"));
    for (const char* signal_name : {"INT", "TERM"}) {
        SCOPED_TRACE(signal_name);
        // The signal comes once a scratch file stands in the folder.
        const std::string script =
            Quoted(SSPACK_PATH) + " build " + Quoted(manifest) + " -o " + Quoted(out) + " --stub " +
            Quoted(SSINSTALLER_PATH) + " -q & pid=$!; for i in $(seq 1000); do " + "ls " +
            Quoted(dir.path()) + " | grep -q sspack && break; sleep 0.01; done; " + "kill -" +
            signal_name + " $pid; wait $pid; echo $? > " + Quoted(dir.File(".status"));
        ASSERT_EQ(std::system(("sh -c " + Quoted(script)).c_str()), 0);
        const Bytes status = ReadWholeFile(dir.File(".status"));
        EXPECT_NE(std::string(status.begin(), status.end()), "0\n")
            << "the build was not interrupted";
        EXPECT_TRUE(ReadWholeFile(out) == BytesOf("the previous installer"));
        EXPECT_EQ(Leftovers(dir, {"m.ini", "setup", ".status", "big.bin", "saver.bin", "stub.bin",
                                  "movie.bin", "zett.bin", "kmdl.bin", "preview.bmp", "readme.txt",
                                  "noise.dat", "stars.txt"}),
                  std::vector<std::string>());
    }
}

// A socket file at `path`, as a server leaves one behind.
bool MakeSocket(const std::string& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (fd < 0 || path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return bound;
}

TEST(SspackFiles, OutputsThatAreNotRegularFilesAreNeverReplaced) {
    ScratchDir dir;
    const std::string manifest = WriteManifest(dir, ManifestText(ManifestParts()));
    const std::string ss = dir.File("readme.ss");
    ASSERT_EQ(
        RunSspack("compress " + Quoted(dir.File("readme.txt")) + " " + Quoted(ss), dir).exit_code,
        0);
    WriteArchiveOf(dir.File("names.bin"), {"NAME"});
    ASSERT_EQ(mkdir(dir.File("x").c_str(), 0755), 0);
    struct Target {
        const char* tag;
        bool (*make)(const std::string&);
        const char* message;
    };
    const Target targets[] = {
        {"a FIFO", [](const std::string& p) { return mkfifo(p.c_str(), 0644) == 0; },
         "it is a FIFO, not a regular file; sspack never replaces one"},
        {"a socket", MakeSocket, "it is a socket, not a regular file; sspack never replaces one"},
        // The null device's numbers; only root may make a device node.
        {"a device",
         [](const std::string& p) { return mknod(p.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0; },
         "it is a device, not a regular file; sspack never replaces one"},
        {"a read-only file",
         [](const std::string& p) {
             WriteWholeFile(p, BytesOf("keep me"));
             return chmod(p.c_str(), 0444) == 0;
         },
         "it is read-only; make it writable or remove it to replace it"},
    };
    struct Command {
        const char* tag;
        std::string out, args;
    };
    const std::string out = dir.File("out");
    const Command commands[] = {
        {"build", out,
         "build " + Quoted(manifest) + " -o " + Quoted(out) + " --stub " +
             Quoted(SSINSTALLER_PATH)},
        {"compress", out, "compress " + Quoted(dir.File("readme.txt")) + " " + Quoted(out)},
        {"expand", out, "expand " + Quoted(ss) + " " + Quoted(out)},
        {"extract", dir.File("x/NAME"),
         "extract " + Quoted(dir.File("names.bin")) + " -o " + Quoted(dir.File("x"))},
    };
    for (const Target& target : targets) {
        for (const Command& command : commands) {
            SCOPED_TRACE(std::string(command.tag) + " over " + target.tag);
            unlink(command.out.c_str());
            if (!target.make(command.out)) {
                EXPECT_NE(geteuid(), 0u) << "cannot make " << target.tag;
                continue;
            }
            struct stat before, after;
            ASSERT_EQ(lstat(command.out.c_str(), &before), 0);
            const RunResult r = RunSspack(command.args, dir, "timeout 20");
            EXPECT_EQ(r.exit_code, 1) << r.err;
            EXPECT_NE(r.err.find(target.message), std::string::npos) << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
            ASSERT_EQ(lstat(command.out.c_str(), &after), 0);
            EXPECT_EQ(after.st_mode, before.st_mode);
            EXPECT_EQ(after.st_ino, before.st_ino) << "replaced";
            unlink(command.out.c_str());
        }
    }
    EXPECT_EQ(Leftovers(dir, {"m.ini", "x", "names.bin", "readme.ss", "saver.bin", "stub.bin",
                              "movie.bin", "zett.bin", "kmdl.bin", "preview.bmp", "readme.txt",
                              "noise.dat", "stars.txt"}),
              std::vector<std::string>());
}

TEST(SspackFiles, AnInterruptedSigningEndsTheToolAndLeavesNothing) {
    // A signing tool that writes its output, and a mark, two seconds after it starts.
    ScratchDir dir, tools;
    WriteWholeFile(tools.File("osslsigncode"),
                   BytesOf("#!/bin/sh\necho started > " + Quoted(tools.File("started")) +
                           "\nout=\nwhile [ $# -gt 0 ]; do [ \"$1\" = -out ] && out=$2; shift; "
                           "done\nsleep 2\necho late > \"$out\"\necho late > " +
                           Quoted(tools.File("late")) + "\n"));
    ASSERT_EQ(chmod(tools.File("osslsigncode").c_str(), 0755), 0);
    const std::string manifest = WriteManifest(dir, ManifestText(ManifestParts()));
    WriteWholeFile(dir.File("c.pem"), BytesOf("certificate"));
    WriteWholeFile(dir.File("k.pem"), BytesOf("key"));
    const std::string out = dir.File("setup");
    const std::string script =
        "PATH=" + Quoted(tools.path()) + ":/usr/bin:/bin " + Quoted(SSPACK_PATH) + " build " +
        Quoted(manifest) + " -o " + Quoted(out) + " --stub " + Quoted(SSINSTALLER_PATH) +
        " -q --sign --cert " + Quoted(dir.File("c.pem")) + " --key " + Quoted(dir.File("k.pem")) +
        " 2>" + Quoted(tools.File("err")) + " & pid=$!; for i in $(seq 1000); do [ -e " +
        Quoted(tools.File("started")) +
        " ] && break; sleep 0.01; done; kill -TERM $pid; wait $pid; echo $? > " +
        Quoted(dir.File(".status")) + "; sleep 3";
    ASSERT_EQ(std::system(("sh -c " + Quoted(script)).c_str()), 0);
    ASSERT_TRUE(FileExists(tools.File("started"))) << "the signing tool never ran";
    const Bytes status = ReadWholeFile(dir.File(".status"));
    EXPECT_NE(std::string(status.begin(), status.end()), "0\n") << "the build was not interrupted";
    EXPECT_FALSE(FileExists(tools.File("late"))) << "the signing tool ran on";
    // -q draws no progress line: the one line that says why the build ended.
    const Bytes err = ReadWholeFile(tools.File("err"));
    EXPECT_EQ(std::string(err.begin(), err.end()), "sspack: interrupted\n");
    EXPECT_EQ(Leftovers(dir, {"m.ini", ".status", "c.pem", "k.pem", "saver.bin", "stub.bin",
                              "movie.bin", "zett.bin", "kmdl.bin", "preview.bmp", "readme.txt",
                              "noise.dat", "stars.txt"}),
              std::vector<std::string>());
}

TEST(SspackFiles, JsonNamesAndPathsAreUtf8Text) {
    // A folder and a name in UTF-8, a name in code page 1252, and the edge bytes of a name.
    ScratchDir dir;
    const std::string cafe = "caf\xC3\xA9";
    ASSERT_EQ(mkdir(dir.File(cafe).c_str(), 0755), 0);
    const std::string archive = dir.File(cafe + "/names.bin");
    WriteArchiveOf(archive, {cafe, "caf\xE9", "\x01\x7F\x80\xFF"});
    // The scratch folder's own path is plain ASCII: only the names above need escapes.
    const std::string file = "\"" + archive + "\"";
    struct Row {
        const char* command;
        std::vector<std::string> wanted;
    };
    const std::string folder = dir.File(cafe + "/x");
    const Row rows[] = {
        {"list",
         {"\"file\": " + file, "\"name\": \"caf\xC3\xA9\"", "\"name\": \"caf\\udce9\"",
          "\"name\": \"\\u0001\\u007f\\udc80\\udcff\""}},
        {"verify",
         {"\"file\": " + file, "\"name\": \"caf\xC3\xA9\"", "\"name\": \"caf\\udce9\"",
          "\"name\": \"\\u0001\\u007f\\udc80\\udcff\""}},
        {"extract",
         {"\"file\": " + file, "\"path\": \"" + folder + "/" + cafe + "\"",
          "\"path\": \"" + folder + "/caf\\udce9\""}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        const std::string names =
            std::string(row.command) == "extract"
                ? " " + Quoted(cafe) + " " + Quoted("caf\xE9") + " -o " + Quoted(folder)
                : "";
        const RunResult r =
            RunSspack(std::string(row.command) + " " + Quoted(archive) + names + " --json", dir);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        for (const std::string& want : row.wanted)
            EXPECT_NE(r.out.find(want), std::string::npos) << want << "\nin\n" << r.out;
    }
}

}  // namespace
