// sspack as people meet it: help and version, and the messages for the mistakes they make.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/reader.h"
#include "tests/unit/sspack/sspack_helpers.h"
#include "tools/sspack/text_util.h"

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
    // The same hint for a manifest given by its bare name, from its own folder.
    const RunResult bare = RunSspack("build hint.ini -o setup --stub " + Quoted(SSINSTALLER_PATH),
                                     dir, "cd " + Quoted(dir.path()) + " &&");
    EXPECT_EQ(bare.exit_code, 1);
    EXPECT_NE(bare.err.find("Night.bmp' does not exist (did you mean media/night.bmp?)"),
              std::string::npos)
        << bare.err;
    // A folder where no file can be made (procfs, even for root): the output and the system's
    // reason, not the scratch file's name.
    const RunResult no_file = BuildWithHostStub(dir.File("m.ini"), "/proc/setup.exe", dir);
    EXPECT_EQ(no_file.exit_code, 2);
    EXPECT_EQ(no_file.err.find("sspack-tmp"), std::string::npos) << no_file.err;
    EXPECT_NE(no_file.err.find("cannot write the output '/proc/setup.exe': no new file can be "
                               "made in its folder ("),
              std::string::npos)
        << no_file.err;
}

// A stub that the environment names must exist: no other stub is taken in its place.
TEST(SspackCli, StubNamedByTheEnvironmentMustExist) {
    ScratchDir dir;
    const std::string manifest = WriteManifest(dir, ManifestText(ManifestParts()));
    ASSERT_EQ(mkdir(dir.File("stubs").c_str(), 0755), 0);
    struct Row {
        std::string env;
        std::string error;
    };
    const Row rows[] = {
        {"SSPACK_STUB_DIR=" + Quoted(dir.File("stubs")),
         "the stub '" + dir.File("stubs/ssinstaller-x64.exe") +
             "' does not exist (named by SSPACK_STUB_DIR=" + dir.File("stubs") + ")"},
        {"SSPACK_STUB=" + Quoted(dir.File("gone.exe")),
         "the stub '" + dir.File("gone.exe") +
             "' does not exist (named by SSPACK_STUB=" + dir.File("gone.exe") + ")"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.env);
        const RunResult r = RunSspack(
            "build " + Quoted(manifest) + " -o " + Quoted(dir.File("setup.exe")), dir, row.env);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_NE(r.err.find(row.error), std::string::npos) << r.err;
        EXPECT_FALSE(FileExists(dir.File("setup.exe")));
    }
}

// sspack init: a manifest for what the folder holds, commented, that builds as it stands, and
// never over an existing file.
TEST(SspackInit, ProgramFolders) {
    struct Row {
        const char* tag;
        std::vector<std::string> files;  // made in the folder (a '/' makes a subfolder)
        int exit_code;
        std::string manifest;            // the file init writes, relative to the folder
        std::vector<std::string> lines;  // lines the manifest holds
        const char* error;               // part of standard error
    };
    const Row rows[] = {
        {"a program and its data",
         {"Night Sky.scr", "movie.bin", "readme.txt"},
         0,
         "Night Sky.ini",
         {"Name=Night Sky", "Saver=Night Sky.scr", "Movie=movie.bin",
          ";Saver.x86=Night Sky-x86.scr"},
         ""},
        {"a program for each architecture",
         {"aurora.scr", "aurora-x86.scr", "data/aurora.bmp"},
         0,
         "aurora.ini",
         {"Saver=aurora.scr", "Saver.x86=aurora-x86.scr", "Movie=data/aurora.bmp"},
         ""},
        {"a program without data", {"lonely.scr"}, 1, "", {}, "no file beside it for Movie="},
        {"nothing to show", {"notes.txt"}, 1, "", {}, "holds no pictures"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        ScratchDir dir;
        for (const std::string& f : row.files) {
            if (f.find('/') != std::string::npos)
                mkdir(dir.File(f.substr(0, f.find('/'))).c_str(), 0755);
            WriteWholeFile(dir.File(f), BytesOf("MZ data of " + f));
        }
        const RunResult r = RunSspack("init " + Quoted(dir.path()), dir);
        EXPECT_EQ(r.exit_code, row.exit_code) << r.err;
        if (row.exit_code != 0) {
            EXPECT_NE(r.err.find(row.error), std::string::npos) << r.err;
            continue;
        }
        const std::string manifest = dir.File(row.manifest);
        EXPECT_EQ(r.out, "wrote " + manifest + "\n");
        const Bytes written = ReadWholeFile(manifest);
        const std::string text(written.begin(), written.end());
        for (const std::string& line : row.lines)
            EXPECT_NE(text.find("\n" + line + "\n"), std::string::npos) << line << "\n" << text;
        // It builds as it stands, without a warning.
        const RunResult built = BuildWithHostStub(manifest, dir.File("setup"), dir, "--strict");
        EXPECT_EQ(built.exit_code, 0) << built.err;
        // A second run leaves the manifest as it is.
        WriteWholeFile(manifest, BytesOf("; mine\n"));
        const RunResult again = RunSspack("init " + Quoted(dir.path()), dir);
        EXPECT_EQ(again.exit_code, 1);
        EXPECT_NE(again.err.find("it exists already; init never replaces a manifest"),
                  std::string::npos)
            << again.err;
        EXPECT_EQ(ReadWholeFile(manifest), BytesOf("; mine\n"));
    }
}

TEST(SspackInit, PictureFoldersBecomeAShow) {
    ScratchDir dir;
    ASSERT_EQ(mkdir(dir.File("Holiday 2026").c_str(), 0755), 0);
    const std::string folder = dir.File("Holiday 2026");
    ASSERT_EQ(mkdir((folder + "/photos").c_str(), 0755), 0);
    for (const char* f :
         {"b.JPG", "a.png", "photos/c.jpeg", "song.mp3", "notes.txt", ".hidden.jpg"})
        WriteWholeFile(folder + "/" + f, BytesOf("x"));
    const RunResult r = RunSspack("init " + Quoted(folder), dir);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const Bytes written = ReadWholeFile(folder + "/Holiday 2026.ini");
    const std::string text(written.begin(), written.end());
    // Pictures sorted by name, subfolders included, hidden files left out; the music found.
    const size_t show = text.find("\n[Show]\n");
    ASSERT_NE(show, std::string::npos) << text;
    const size_t a = text.find("\nPicture=a.png\n"), b = text.find("\nPicture=b.JPG\n"),
                 c = text.find("\nPicture=photos/c.jpeg\n");
    EXPECT_TRUE(show < a && a < b && b < c && c != std::string::npos) << text;
    EXPECT_NE(text.find("\nMusic=song.mp3\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("hidden"), std::string::npos) << text;
    EXPECT_EQ(text.find("\nSaver="), std::string::npos) << text;
    EXPECT_NE(text.find("\nName=Holiday 2026\n"), std::string::npos) << text;
}

TEST(SspackInit, AShowManifestBuildsAsItStands) {
    ScratchDir dir;
    const std::string pictures = std::string(SS_EXAMPLES_DIR) + "/aurora/aurora.bmp";
    WriteWholeFile(dir.File("aurora.bmp"), ReadWholeFile(pictures));
    ASSERT_EQ(RunSspack("init " + Quoted(dir.path()), dir).exit_code, 0);
    const std::string manifest =
        dir.File(std::filesystem::path(dir.path()).filename().string() + ".ini");
    const RunResult built = BuildWithHostStub(manifest, dir.File("setup"), dir, "--strict");
    EXPECT_EQ(built.exit_code, 0) << built.err;
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

TEST(SspackCli, TextEscapesForJsonAndForLines) {
    // Each row: bytes, their JSON literal, and the same bytes as a line of output shows them.
    struct Row {
        std::string bytes, json, line;
    };
    const Row rows[] = {
        {"plain", "\"plain\"", "plain"},
        {"q\"b\\", "\"q\\\"b\\\\\"", "q\"b\\"},
        {"\x01", "\"\\u0001\"", "\\x01"},
        {"a\nb\rc\td", "\"a\\u000ab\\u000dc\\u0009d\"", "a\\x0Ab\\x0Dc\td"},
        {"\x1B[2J", "\"\\u001b[2J\"", "\\x1B[2J"},
        {"\x7F", "\"\\u007f\"", "\\x7F"},
        // Bytes that are not UTF-8 on their own: kept in a line (a name in another code page).
        {"\x80", "\"\\udc80\"", "\x80"},
        {"\xFF", "\"\\udcff\"", "\xFF"},
        {"caf\xE9/", "\"caf\\udce9/\"", "caf\xE9/"},
        // UTF-8: passes through, except the C1 controls U+0080 to U+009F.
        {"caf\xC3\xA9/", "\"caf\xC3\xA9/\"", "caf\xC3\xA9/"},
        {"\xC2\x80\xC2\x9B\xC2\x9F\xC2\xA0", "\"\\u0080\\u009b\\u009f\xC2\xA0\"",
         "\\x80\\x9B\\x9F\xC2\xA0"},
        {"\xE2\x82\xAC\xF0\x9F\x8C\x99", "\"\xE2\x82\xAC\xF0\x9F\x8C\x99\"",
         "\xE2\x82\xAC\xF0\x9F\x8C\x99"},
        // Not UTF-8: overlong, surrogate, above U+10FFFF, cut short, a stray continuation byte.
        {"\xC0\xAF", "\"\\udcc0\\udcaf\"", "\xC0\xAF"},
        {"\xE0\x80\xAF", "\"\\udce0\\udc80\\udcaf\"", "\xE0\x80\xAF"},
        {"\xED\xA0\x80", "\"\\udced\\udca0\\udc80\"", "\xED\xA0\x80"},
        {"\xF4\x90\x80\x80", "\"\\udcf4\\udc90\\udc80\\udc80\"", "\xF4\x90\x80\x80"},
        {"\xE2\x82", "\"\\udce2\\udc82\"", "\xE2\x82"},
        {"\xA9"
         "a",
         "\"\\udca9a\"",
         "\xA9"
         "a"},
        {std::string("\0x", 2), "\"\\u0000x\"", "\\x00x"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.json);
        EXPECT_EQ(JsonText(row.bytes), row.json);
        EXPECT_EQ(EscapedControls(row.bytes, true), row.line);
    }
}

TEST(SspackCli, InfoShowsNoControlCharacterRaw) {
    // Texts that would clear a terminal, set its title or hide text; 0x80 and 0xFF of code page
    // 1252 are the characters they stand for there.
    ScratchDir dir;
    ManifestParts parts;
    parts.texts =
        "Question=\x1B[2J\x1B]0;title\x07?\nSuccess=a\x01"
        "b\x7F\nFailure=\xE2\x82\xAC\xC3\xBF\n"
        "Progress=\x1B[8mhidden\n";
    const std::string out = dir.File("setup");
    ASSERT_EQ(BuildWithHostStub(WriteManifest(dir, ManifestText(parts)), out, dir).exit_code, 0);
    for (const char* command : {"info ", "info --manifest "}) {
        SCOPED_TRACE(command);
        const RunResult r = RunSspack(command + Quoted(out), dir);
        ASSERT_EQ(r.exit_code, 0) << r.err;
        for (const char* line : {"Question=\\x1B[2J\\x1B]0;title\\x07?\n", "Success=a\\x01b\\x7F\n",
                                 "Failure=\xE2\x82\xAC\xC3\xBF\n", "Progress=\\x1B[8mhidden\n"})
            EXPECT_NE(r.out.find(line), std::string::npos) << line << "\nin\n" << r.out;
        for (char c : r.out)
            EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << int(c);
        EXPECT_EQ(r.out.find('\x7F'), std::string::npos);
        EXPECT_NE(r.err.find("Question: control characters are written as \\xNN"),
                  std::string::npos)
            << r.err;
    }
}

}  // namespace
