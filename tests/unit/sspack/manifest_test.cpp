// Every manifest error is one line naming the manifest line, exit code 1, and no output file.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/unit/sspack/sspack_helpers.h"

namespace {

struct ErrorRow {
    const char* tag;
    std::function<void(ManifestParts&)> change;
    const char* needle;   // text of the offending line; null: the manifest as a whole
    const char* message;  // part of the error message
    const char* options = "";
};

std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

const std::string kCyrillic = "\xD0\x96\xD0\xB0\xD1\x80";  // Жар
const std::string kHiragana = "\xE3\x81\x82";              // あ, two bytes in 932

std::string Additional(int n) {
    return Repeat("Additional=stars.txt\n", n - 1) + "Additional=noise.dat\n";
}

const ErrorRow kRows[] = {
    {"name missing", [](ManifestParts& p) { p.name = ""; }, nullptr,
     "[Installer] Name= is missing"},
    {"name of 60 bytes", [](ManifestParts& p) { p.name = Repeat("a", 60); }, "Name=aaaa",
     "is 60 bytes in code page 1252; the installer keeps at most 59 bytes for a name"},
    {"name with a backslash", [](ManifestParts& p) { p.name = "Mini\\mal"; }, "Name=Mini",
     "holds '\\'"},
    {"name that is a device", [](ManifestParts& p) { p.name = "CON"; }, "Name=CON",
     "is a device name on Windows"},
    // The installer judges names in its code page, where the superscript one is byte 0xB9.
    {"name that is a device in its code page", [](ManifestParts& p) { p.name = "COM\xC2\xB9"; },
     "Name=COM", "is a device name on Windows in code page 1252"},
    {"name ending in a dot", [](ManifestParts& p) { p.name = "Minimal."; }, "Name=Minimal.",
     "ends in a dot or a space"},
    {"question of 64 bytes",
     [](ManifestParts& p) { p.texts = "Question=" + Repeat("q", 64) + "\n"; },
     "Question=", "is 64 bytes in code page 1252; the installer keeps at most 63 bytes for a text"},
    {"32 double-byte characters are 64 bytes in 932",
     [](ManifestParts& p) {
         p.code_page = "932";
         p.texts = "Progress=" + Repeat(kHiragana, 32) + "\n";
     },
     "Progress=", "is 64 bytes in code page 932"},
    {"yes label of 32 bytes", [](ManifestParts& p) { p.texts = "Yes=" + Repeat("y", 32) + "\n"; },
     "Yes=", "at most 31 bytes for a label"},
    {"character outside the code page",
     [](ManifestParts& p) { p.texts = "Success=" + kCyrillic + "\n"; },
     "Success=", "[Texts] Success: '\xD0\x96' (U+0416) cannot be written in code page 1252"},
    {"alternative text outside its code page",
     [](ManifestParts& p) { p.alternative = "Failure=" + kCyrillic + "\n"; }, "Failure=\xD0",
     "cannot be written in code page 1252"},
    {"text that is not utf-8", [](ManifestParts& p) { p.texts = "Question=caf\xE9\n"; },
     "Question=",
     "byte 0xE9 is not UTF-8: the manifest was saved in another encoding (Latin-1?); save it as "
     "UTF-8"},
    {"unknown key", [](ManifestParts& p) { p.installer = "Nmae=x\n"; },
     "Nmae=", "unknown key [Installer] Nmae"},
    {"unknown section", [](ManifestParts& p) { p.files += "[Extras]\n"; }, "[Extras]",
     "unknown section [Extras]"},
    {"key given twice", [](ManifestParts& p) { p.installer = "name=Other\n"; }, "name=Other",
     "is given twice (first on line 2)"},
    {"line without =", [](ManifestParts& p) { p.installer = "just words\n"; }, "just words",
     "expected Key=Value"},
    {"key before any section", [](ManifestParts& p) { p.prefix = "Name=x\n"; }, "Name=x",
     "stands before any [Section]"},
    {"section without ]", [](ManifestParts& p) { p.files += "[Extras\n"; }, "[Extras",
     "must end with ']'"},
    {"follow-up word", [](ManifestParts& p) { p.installer = "FollowUp=reboot\n"; },
     "FollowUp=", "'reboot' is not one of none, display-settings, start, open-document"},
    {"code page", [](ManifestParts& p) { p.code_page = "65001"; }, "CodePage=65001",
     "is not a Windows ANSI code page"},
    {"alternative code page 0", [](ManifestParts& p) { p.alternative = "CodePage=0\n"; },
     "CodePage=0", "is not a Windows ANSI code page"},
    {"encoding beside a code page", [](ManifestParts& p) { p.installer = "Encoding=1251\n"; },
     "Encoding=", "applies only with CodePage=0"},
    {"yes or no", [](ManifestParts& p) { p.installer = "ShowProgress=maybe\n"; },
     "ShowProgress=", "must be yes or no"},
    {"required file key missing",
     [](ManifestParts& p) { p.files = "Saver=saver.bin\nStub=stub.bin\nKmdl=kmdl.bin\n"; }, nullptr,
     "[Files] Movie= is missing"},
    {"unknown key close to a known one", [](ManifestParts& p) { p.texts += "Questoin=Hm?\n"; },
     "Questoin=", "unknown key [Texts] Questoin (did you mean Question?)"},
    {"unknown key far from every known one",
     [](ManifestParts& p) { p.installer = "Colour=blue\n"; },
     "Colour=", "unknown key [Installer] Colour"},
    {"file that does not exist", [](ManifestParts& p) { p.files += "PreviewB=nothere.bmp\n"; },
     "PreviewB=", "nothere.bmp' does not exist"},
    {"file that is a folder", [](ManifestParts& p) { p.files += "PreviewB=.\n"; },
     "PreviewB=", "is a folder"},
    {"file key without a file", [](ManifestParts& p) { p.files += "PreviewB=\n"; },
     "PreviewB=", "names no file"},
    {"open-document without a document",
     [](ManifestParts& p) { p.installer = "FollowUp=open-document\n"; },
     "FollowUp=", "needs the document: [Files] Document="},
    {"document name that is a device",
     [](ManifestParts& p) {
         p.installer = "FollowUp=open-document\nDocumentPath=C:\\docs\\con.txt\n";
         p.files += "Document=readme.txt\n";
     },
     "DocumentPath=", "the document's file name 'con.txt' is a device name"},
    {"document name that is a device in its code page",
     [](ManifestParts& p) {
         p.installer = "FollowUp=open-document\nDocumentPath=LPT\xC2\xB2.txt\n";
         p.files += "Document=readme.txt\n";
     },
     "DocumentPath=", "is a device name on Windows in code page 1252"},
    {"document path ending in a backslash",
     [](ManifestParts& p) {
         p.installer = "FollowUp=open-document\nDocumentPath=C:\\docs\\\n";
         p.files += "Document=readme.txt\n";
     },
     "DocumentPath=", "file name '' is empty"},
    {"document name with a colon",
     [](ManifestParts& p) {
         p.installer = "FollowUp=open-document\nDocumentPath=readme.txt:stream\n";
         p.files += "Document=readme.txt\n";
     },
     "DocumentPath=", "holds ':'"},
    {"document name of 121 bytes",
     [](ManifestParts& p) {
         p.installer = "FollowUp=open-document\nDocumentPath=C:\\" + Repeat("d", 117) + ".txt\n";
         p.files += "Document=readme.txt\n";
     },
     "DocumentPath=", "is longer than 120 bytes"},
    {"scramble with compression",
     [](ManifestParts& p) { p.files += "Movie.Compress=yes\nMovie.Scramble=0x5A\n"; },
     "Movie.Scramble", "cannot be combined with Movie.Compress=yes"},
    {"scramble key of 256", [](ManifestParts& p) { p.files += "Movie.Scramble=256\n"; },
     "Movie.Scramble", "must be a key byte from 0 to 255"},
    {"compress word", [](ManifestParts& p) { p.files += "Movie.Compress=maybe\n"; },
     "Movie.Compress", "must be auto, yes or no"},
    {"option for a file not given", [](ManifestParts& p) { p.files += "PreviewB.Compress=no\n"; },
     "PreviewB.Compress", "[Files] PreviewB names no file"},
    {"option for the movie alias",
     [](ManifestParts& p) { p.files += "PreviewF=movie\nPreviewF.Compress=no\n"; },
     "PreviewF.Compress", "shares MOVIE's data"},
    {"option for an additional file not given",
     [](ManifestParts& p) { p.files += "Additional=stars.txt\nAdditional2.Compress=no\n"; },
     "Additional2.Compress", "no such file in [Files]"},
    {"unknown option", [](ManifestParts& p) { p.files += "Movie.Level=9\n"; }, "Movie.Level",
     "options are .Compress and .Scramble"},
    {"x86 program without the x64 one",
     [](ManifestParts& p) {
         p.files = "Saver.x86=saver.bin\nStub=stub.bin\nMovie=movie.bin\nKmdl=kmdl.bin\n";
     },
     "Saver.x86=", "is given without [Files] Saver="},
    {"x86 program that does not exist", [](ManifestParts& p) { p.files += "Saver.x86=no.scr\n"; },
     "Saver.x86=", "no.scr' does not exist"},
    {"x86 program misspelt", [](ManifestParts& p) { p.files += "Saver.x68=saver.bin\n"; },
     "Saver.x68", "options are .Compress and .Scramble"},
    {"33 records: with the previews and the document, the 24th additional file",
     [](ManifestParts& p) {
         p.installer = "FollowUp=open-document\n";
         p.files += "PreviewB=preview.bmp\nPreviewF=movie\nDocument=readme.txt\n" + Additional(24);
     },
     "noise.dat", "[Files] Additional24 would be record 33 (ADDTL23)"},
    {"33 records: 27 additional files without previews",
     [](ManifestParts& p) { p.files += Additional(27); }, "noise.dat",
     "[Files] Additional27 would be record 33 (ADDTL26)"},
    {"template larger than INFO", [](ManifestParts& p) { p.installer = "Template=big.bin\n"; },
     "Template=", "is 6149 bytes; an INFO block has 6148"},
    {"template missing", [](ManifestParts& p) { p.installer = "Template=none.bin\n"; },
     "Template=", "does not exist"},
    {"alternative name needed",
     [](ManifestParts& p) {
         p.code_page = "1251";
         p.name = kCyrillic;
         p.with_alternative = false;
     },
     "Name=\xD0", "[Alternative] Name= is missing"},
    {"empty alternative name",
     [](ManifestParts& p) {
         p.alt_name = "";
         p.alternative = "Name=\"\"\n";
     },
     "Name=\"\"", "is empty"},
    {"document never opened, with --strict",
     [](ManifestParts& p) { p.files += "Document=readme.txt\n"; },
     "Document=", "is carried but never opened", "--strict"},
    // A show: its section, its files and patterns, its settings.
    {"Movie= beside [Show]",
     [](ManifestParts& p) {
         p = ShowParts("Picture=02-lake.gif\n"), p.files += "Movie=movie.bin\n";
     },
     "Movie=", "[Files] Movie and [Show] (line"},
    {"show without pictures", [](ManifestParts& p) { p = ShowParts("Interval=5\n"); }, "[Show]",
     "[Show] has no Picture="},
    {"pattern that matches nothing", [](ManifestParts& p) { p = ShowParts("Picture=*.png\n"); },
     "Picture=", "'*.png' matches no file"},
    {"pattern in a folder's name",
     [](ManifestParts& p) { p = ShowParts("Picture=*/02-lake.gif\n"); },
     "Picture=", "in the file name only"},
    {"caption counted after the pattern",
     [](ManifestParts& p) { p = ShowParts("Picture=0*\nCaption.4=Four\n"); }, "Caption.4",
     "names picture 4, but the show has 3"},
    {"caption 0", [](ManifestParts& p) { p = ShowParts("Picture=0*\nCaption.0=None\n"); },
     "Caption.0", "a caption is Caption.N="},
    {"caption of 128 units",
     [](ManifestParts& p) {
         p = ShowParts("Picture=02-lake.gif\nCaption.1=" + Repeat("c", 128) + "\n");
     },
     "Caption.1", "is 128 UTF-16 units; a caption holds at most 127"},
    {"a file that is no picture",
     [](ManifestParts& p) { p = ShowParts("Picture=02-lake.gif\nPicture=noise.dat\n"); },
     "Picture=noise", "noise.dat' cannot be read as a picture"},
    {"a picture cut short", [](ManifestParts& p) { p = ShowParts("Picture=cut.jpg\n"); },
     "Picture=cut", "cut.jpg' is damaged"},
    {"music that is no music",
     [](ManifestParts& p) { p = ShowParts("Picture=02-lake.gif\nMusic=readme.txt\n"); },
     "Music=", "is not WAV, MP3 or MIDI"},
    {"interval under a second",
     [](ManifestParts& p) { p = ShowParts("Picture=02-lake.gif\nInterval=0.5\n"); },
     "Interval=", "'0.5' is not a time from 1 to 3600 seconds"},
    {"transition as long as the interval",
     [](ManifestParts& p) {
         p = ShowParts("Picture=02-lake.gif\nInterval=2.5\nTransitionTime=2.5\n");
     },
     "TransitionTime=", "TransitionTime= (2.5 s) must be shorter than Interval= (2.5 s)"},
    {"unknown transition",
     [](ManifestParts& p) { p = ShowParts("Picture=02-lake.gif\nTransition=dissolve\n"); },
     "Transition=", "'dissolve' is not one of none, fade, wipe or slide"},
    {"background by name",
     [](ManifestParts& p) { p = ShowParts("Picture=02-lake.gif\nBackground=black\n"); },
     "Background=", "is not a colour #RRGGBB"},
    {"MaxSide too small",
     [](ManifestParts& p) { p = ShowParts("Picture=02-lake.gif\nMaxSide=8\n"); },
     "MaxSide=", "from 16 to 65535"},
    {"misspelt show key",
     [](ManifestParts& p) { p = ShowParts("Picture=02-lake.gif\nIntervall=5\n"); }, "Intervall",
     "did you mean Interval?"},
    {"alternative texts never used, with --strict",
     [](ManifestParts& p) {
         p.code_page = "0";
         p.alt_name = "";
         p.alternative = "Question=Hello\n";
     },
     "Question=Hello", "is never used", "--strict"},
};

TEST(ManifestErrors, OneLineEachWithExitCode1) {
    for (const ErrorRow& row : kRows) {
        SCOPED_TRACE(row.tag);
        ScratchDir dir;
        ManifestParts parts;
        row.change(parts);
        const std::string text = ManifestText(parts);
        const std::string manifest = WriteManifest(dir, text);
        WriteWholeFile(dir.File("big.bin"), Bytes(6149, 0));
        const Bytes jpeg = ReadWholeFile(dir.File("01-dawn.jpg"));
        WriteWholeFile(dir.File("cut.jpg"), Bytes(jpeg.begin(), jpeg.begin() + jpeg.size() / 2));
        const std::string out = dir.File("out.exe");
        const RunResult r = BuildWithHostStub(manifest, out, dir, row.options);
        EXPECT_EQ(r.exit_code, 1) << r.err;
        std::string where = manifest;
        if (row.needle) {
            const int line = LineOf(text, row.needle);
            ASSERT_GT(line, 0) << "the needle is not in the manifest:\n" << text;
            where += ":" + std::to_string(line);
        }
        const std::string expected = where + ": error: ";
        const size_t at = r.err.find(expected);
        ASSERT_NE(at, std::string::npos) << "expected '" << expected << "' in:\n" << r.err;
        const std::string line = r.err.substr(at, r.err.find('\n', at) - at);
        EXPECT_NE(line.find(row.message), std::string::npos) << line;
        EXPECT_FALSE(FileExists(out));
        EXPECT_EQ(r.out, "");
    }
}

TEST(ManifestErrors, AllErrorsOfOneManifestAreReported) {
    ScratchDir dir;
    ManifestParts parts;
    parts.installer = "FollowUp=reboot\nNmae=x\n";
    parts.texts = "Yes=" + Repeat("y", 40) + "\n";
    const RunResult r =
        BuildWithHostStub(WriteManifest(dir, ManifestText(parts)), dir.File("out.exe"), dir);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("'reboot'"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Nmae"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("for a label"), std::string::npos) << r.err;
}

TEST(ManifestErrors, JsonGivesOneObjectPerLine) {
    ScratchDir dir;
    ManifestParts parts;
    parts.installer = "FollowUp=reboot\nNmae=x\n";
    const std::string text = ManifestText(parts);
    const RunResult r =
        BuildWithHostStub(WriteManifest(dir, text), dir.File("out.exe"), dir, "--json");
    EXPECT_EQ(r.exit_code, 1);
    int objects = 0;
    size_t start = 0;
    while (start < r.out.size()) {
        const size_t end = r.out.find('\n', start);
        const std::string line = r.out.substr(start, end - start);
        EXPECT_EQ(line.front(), '{') << line;
        EXPECT_EQ(line.back(), '}') << line;
        ++objects;
        start = end + 1;
    }
    EXPECT_EQ(objects, 3);  // two errors and the result
    EXPECT_NE(r.out.find("\"line\": " + std::to_string(LineOf(text, "FollowUp="))),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("{\"result\": \"failed\", \"exit_code\": 1}"), std::string::npos);
}

TEST(ManifestErrors, BadUsageIsExitCode1) {
    ScratchDir dir;
    const std::string manifest = WriteManifest(dir, ManifestText(ManifestParts()));
    for (const std::string& args :
         {std::string("build"), "build " + manifest, "build " + manifest + " -o",
          "build " + manifest + " -o x.exe --frobnicate", "build " + manifest + " -o x.exe -q -v",
          "build " + manifest + " -o x.exe --stub " + dir.File("no-stub")}) {
        SCOPED_TRACE(args);
        const RunResult r = RunSspack(args, dir);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_NE(r.err.find("sspack: build: "), std::string::npos) << r.err;
    }
}

}  // namespace
