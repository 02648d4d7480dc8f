// sspack build end to end: the bytes it writes, how the installer reads them, and what it leaves
// behind.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "app/settings.h"
#include "archive/extract.h"
#include "archive/reader.h"
#include "platform/host/host.h"
#include "platform/host/host_shell.h"
#include "tests/unit/sspack/sspack_helpers.h"
#include "tools/sspack/info_layout.h"
#include "tools/sspack/manifest.h"
#include "tools/sspack/show_info.h"
#include "tools/sspack/stub_face.h"

namespace {

const char kFullFiles[] =
    "Saver=saver.bin\nStub=stub.bin\nMovie=movie.bin\nZett=zett.bin\nKmdl=kmdl.bin\n"
    "PreviewB=preview.bmp\nPreviewF=movie\nDocument=readme.txt\n"
    "Additional=stars.txt\nAdditional=noise.dat\nAdditional=stars.txt\n"
    "Additional3.Scramble=0x5A\nZett.Compress=yes\nKmdl.Compress=no\n";

ManifestParts FullParts() {
    ManifestParts p;
    p.installer = "FollowUp=open-document\n";
    p.texts += "Yes=Install\nNo=Not now\n";
    p.alternative = "Question=Install it?\n";
    p.files = kFullFiles;
    return p;
}

std::string StubPath() {
    return SSINSTALLER_PATH;
}

// The record of `name` in the archive at `path`, read with the installer's reader.
DirectoryRecord RecordOf(const std::string& path, const char* name) {
    DirectoryRecord record = {};
    if (OpenArchive(path.c_str()) != kInvalidFile) {
        const DirectoryRecord* found = FindRecord(name, kClassNormal);
        if (found) record = *found;
        CloseArchive(ReaderHandle());
    }
    return record;
}

// The show an installer carries, read as the screen saver reads it.
bool ReadShowOf(const std::string& installer, std::vector<uint8_t>* bytes, ShowView* view) {
    if (OpenArchive(installer.c_str()) == kInvalidFile) return false;
    const bool read = ReadShowEntry(bytes, view);
    CloseArchive(ReaderHandle());
    return read;
}

TEST(SspackBuild, SameInputsGiveTheSameBytes) {
    ScratchDir dir, elsewhere;
    const std::string text = ManifestText(FullParts());
    const RunResult a = BuildWithHostStub(WriteManifest(dir, text), dir.File("a.exe"), dir);
    const RunResult b = BuildWithHostStub(dir.File("m.ini"), dir.File("b.exe"), dir);
    // The same inputs in another folder, named differently on the command line.
    const RunResult c =
        BuildWithHostStub(WriteManifest(elsewhere, text), elsewhere.File("c.exe"), elsewhere);
    ASSERT_EQ(a.exit_code, 0) << a.err;
    ASSERT_EQ(b.exit_code, 0) << b.err;
    ASSERT_EQ(c.exit_code, 0) << c.err;
    const Bytes first = ReadWholeFile(dir.File("a.exe"));
    EXPECT_EQ(first, ReadWholeFile(dir.File("b.exe")));
    EXPECT_EQ(first, ReadWholeFile(elsewhere.File("c.exe")));
    // Nothing but the output is left beside it.
    EXPECT_FALSE(FileExists(dir.File("a.exe.sspack-a")));
    EXPECT_FALSE(FileExists(dir.File("a.exe.sspack-b")));
    EXPECT_FALSE(FileExists(dir.File("a.exe.sspack-part")));
}

TEST(SspackBuild, StubFirstThenEntriesThatExpandToTheirFiles) {
    ScratchDir dir;
    const std::string out = dir.File("out.exe");
    const RunResult r = BuildWithHostStub(WriteManifest(dir, ManifestText(FullParts())), out, dir);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const Bytes stub = ReadWholeFile(StubPath());
    const Bytes built = ReadWholeFile(out);
    ASSERT_GT(built.size(), stub.size());
    EXPECT_TRUE(std::equal(stub.begin(), stub.end(), built.begin()));

    struct Row {
        const char* entry;
        const char* file;
    };
    const Row rows[] = {
        {"SAVER", "saver.bin"},      {"STUB", "stub.bin"},      {"MOVIE", "movie.bin"},
        {"PREVIEWB", "preview.bmp"}, {"PREVIEWF", "movie.bin"}, {"ZETT", "zett.bin"},
        {"KMDL", "kmdl.bin"},        {"LESMI", "readme.txt"},   {"ADDTL", "stars.txt"},
        {"ADDTL01", "noise.dat"},    {"ADDTL02", "stars.txt"}};
    ASSERT_NE(OpenArchive(out.c_str()), kInvalidFile);
    EXPECT_EQ(ReaderRecordCount(), 12u);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.entry);
        const DirectoryRecord* record = FindRecord(row.entry, kClassNormal);
        ASSERT_NE(record, nullptr);
        // Offsets count from the start of the file, past the stub.
        EXPECT_GE(uint32_t{record->data_offset}, stub.size());
        const std::string extracted = dir.File(std::string("x-") + row.entry);
        ASSERT_EQ(ExtractEntry(row.entry, extracted.c_str()), 1);
        EXPECT_EQ(ReadWholeFile(extracted), ReadWholeFile(dir.File(row.file)));
    }
    EXPECT_EQ(SameEntryData("PREVIEWF", "MOVIE"), 1);
    CloseArchive(ReaderHandle());
}

TEST(SspackBuild, MethodPerEntry) {
    ScratchDir dir;
    const std::string out = dir.File("out.exe");
    const RunResult r = BuildWithHostStub(WriteManifest(dir, ManifestText(FullParts())), out, dir);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    struct Row {
        const char* tag;
        const char* entry;
        uint8_t method;
        uint8_t key;
        const char* summary;  // part of the entry's line in the summary
    };
    const Row rows[] = {
        {"compressible data are compressed", "MOVIE", 1, 0, "compressed"},
        {"incompressible data are stored", "ADDTL01", 0, 0,
         "stored (compression would not make it smaller)"},
        {"Compress=yes keeps a stream that does not pay", "ZETT", 1, 0, "compressed"},
        {"Compress=no stores", "KMDL", 0, 0, "stored"},
        {"Scramble stores XORed", "ADDTL02", 0, 0x5A, "stored, key 0x5A"},
        {"INFO is compressed", "INFO", 1, 0, "compressed"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        const DirectoryRecord record = RecordOf(out, row.entry);
        EXPECT_EQ(record.method, row.method);
        EXPECT_EQ(record.xor_key, row.key);
        if (row.method == 0) {
            EXPECT_EQ(uint32_t{record.stored_size}, uint32_t{record.original_size});
        }
        const int line = LineOf(r.out, std::string(row.entry) + " ");
        ASSERT_GT(line, 0) << r.out;
        std::string text = r.out;
        for (int i = 1; i < line; ++i)
            text = text.substr(text.find('\n') + 1);
        text = text.substr(0, text.find('\n'));
        EXPECT_NE(text.find(row.summary), std::string::npos) << text;
    }
    // The scrambled bytes in the file are the source XORed with the key.
    const DirectoryRecord scrambled = RecordOf(out, "ADDTL02");
    const Bytes built = ReadWholeFile(out);
    const Bytes stars = ReadWholeFile(dir.File("stars.txt"));
    ASSERT_EQ(uint32_t{scrambled.stored_size}, stars.size());
    for (size_t i = 0; i < stars.size(); ++i)
        ASSERT_EQ(built[scrambled.data_offset + i], stars[i] ^ 0x5A) << i;
}

TEST(SspackBuild, InstallerReadsTheSettingsAsWritten) {
    struct Row {
        const char* tag;
        uint32_t system_code_page;
        const char* file_name;
        const char* question;
        const char* yes;
    };
    // The manifest's code page is 1250; another system code page switches to the alternatives.
    const Row rows[] = {
        {"same code page", 1250, "Minimal\xB3.scr", "Install Minimal?", "Install"},
        {"other code page", 1252, "Minimal.scr", "Install it?", "Yes"},
    };
    ScratchDir dir;
    ManifestParts parts = FullParts();
    parts.code_page = "1250";
    parts.name = "Minimal\xC5\x82";  // ł, 0xB3 in 1250
    const std::string out = dir.File("out.exe");
    const RunResult r = BuildWithHostStub(WriteManifest(dir, ManifestText(parts)), out, dir);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        HostReset();
        HostSetModuleFileName(out);
        HostSetACP(row.system_code_page);
        ResetSettings();
        LoadSettings();
        EXPECT_STREQ(Settings.ScreenSaverFileName, row.file_name);
        EXPECT_STREQ(Settings.question, row.question);
        EXPECT_STREQ(Settings.completion_message, "Done.");
        EXPECT_STREQ(Settings.failure_message, "Failed.");
        EXPECT_STREQ(Settings.progress_text, "Installing...");
        EXPECT_STREQ(Settings.yes_label, row.yes);
        EXPECT_EQ(Settings.FollowUpAction, 3);
        EXPECT_EQ(Settings.show_progress, 1);
        EXPECT_STREQ(reinterpret_cast<const char*>(InfoBlock + info::kDocumentPath), "readme.txt");
    }
    HostReset();
}

TEST(SspackBuild, TemplateKeepsTheBytesTheInstallerDoesNotRead) {
    ScratchDir dir;
    Bytes pattern(info::kBlockSize);
    for (size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = static_cast<uint8_t>(0x41 + i % 26);
    WriteWholeFile(dir.File("template.bin"), pattern);
    ManifestParts parts = FullParts();
    parts.installer += "Template=template.bin\n";
    const std::string manifest = WriteManifest(dir, ManifestText(parts));
    Diagnostics diagnostics;
    BuildPlan plan;
    ASSERT_TRUE(LoadManifest(manifest, false, &diagnostics, &plan));
    const Bytes& block = plan.info_block;
    ASSERT_EQ(block.size(), info::kBlockSize);
    struct Field {
        uint32_t offset, size;
    };
    const Field fields[] = {{info::kTexts, 4 * info::kTextStride},
                            {info::kTextFlags, 4},
                            {info::kDocumentPath, info::kDocumentPathSize},
                            {info::kFollowUpAction, 4},
                            {info::kShowProgress, 4},
                            {info::kName, info::kNameSize},
                            {info::kKeepCurrentSaver, 4},
                            {info::kCustomLabels, 4 + 2 * info::kLabelFieldSize},
                            {info::kCodePage, 4},
                            {info::kAltTexts, 4 * info::kTextStride},
                            {info::kAltFlags, 4},
                            {info::kAltName, info::kAltNameSize}};
    Bytes outside = block;
    for (const Field& f : fields)
        for (uint32_t i = 0; i < f.size; ++i)
            outside[f.offset + i] = pattern[f.offset + i];
    EXPECT_EQ(outside, pattern) << "a byte outside the fields changed";
    // The fields themselves are written whole: text, then zeros to the end of the field.
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&block[info::kName])), "Minimal");
    for (uint32_t i = 7; i < info::kNameSize; ++i)
        ASSERT_EQ(block[info::kName + i], 0) << i;
    EXPECT_EQ(block[info::kTextFlags + 0], 1);
    EXPECT_EQ(block[info::kAltFlags + 0], 1);
    EXPECT_EQ(block[info::kAltFlags + 1], 0);
    EXPECT_EQ(block[info::kCodePage], 0xE4);  // 1252
    EXPECT_EQ(block[info::kCodePage + 1], 0x04);
    EXPECT_EQ(block[info::kCustomLabels], 1);
    EXPECT_EQ(block[info::kFollowUpAction], 3);
}

TEST(SspackBuild, LabelsAreCustomOnlyWhenTheyDiffer) {
    struct Row {
        const char* tag;
        const char* texts;
        uint8_t flag;
    };
    const Row rows[] = {{"none given", "", 0},
                        {"the installer's own", "Yes=Yes\nNo=No\n", 0},
                        {"only yes differs", "Yes=Install\n", 1},
                        {"only no differs", "No=Cancel\n", 1}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        ScratchDir dir;
        ManifestParts parts;
        parts.texts = row.texts;
        Diagnostics diagnostics;
        BuildPlan plan;
        ASSERT_TRUE(
            LoadManifest(WriteManifest(dir, ManifestText(parts)), false, &diagnostics, &plan));
        EXPECT_EQ(plan.info_block[info::kCustomLabels], row.flag);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(plan.info_block[info::kTextFlags + i], 0);
    }
}

TEST(SspackBuild, ExtractAndInfoManifestRebuildTheSameBytes) {
    ManifestParts plain = FullParts();
    plain.code_page = "1251";
    plain.texts = "Question=\xD0\x96\xD0\xB0\xD1\x80?\nFailure=  spaced  \n";
    // A show's settings, captions with spaces at their ends, and music come back as written.
    ManifestParts show = ShowParts(
        "Picture=0*\nCaption.2=\" spaced lake \"\nCaption.3=Mond\xC3\xA4ufgang\nInterval=2.5\n"
        "Order=random\nFit=center\nTransition=wipe\nTransitionTime=0.25\nBackground=#0A0B0C\n"
        "Music=tune.wav\nMusic=tune.wav\n");
    show.code_page = plain.code_page;
    show.texts = plain.texts;
    for (const ManifestParts& parts : {plain, show}) {
        ScratchDir dir;
        const std::string out = dir.File("out.exe");
        const RunResult built =
            BuildWithHostStub(WriteManifest(dir, ManifestText(parts)), out, dir, "--verify");
        ASSERT_EQ(built.exit_code, 0) << built.err;
        const std::string folder = dir.File("extracted");
        ASSERT_EQ(RunSspack("extract " + Quoted(out) + " -o " + Quoted(folder), dir).exit_code, 0);
        const RunResult info = RunSspack("info --manifest " + Quoted(out), dir);
        ASSERT_EQ(info.exit_code, 0) << info.err;
        EXPECT_EQ(info.err, "");
        EXPECT_NE(info.out.find("Question=\xD0\x96\xD0\xB0\xD1\x80?"), std::string::npos)
            << info.out;
        WriteWholeFile(folder + "/again.ini", BytesOf(info.out));
        const RunResult again =
            BuildWithHostStub(folder + "/again.ini", dir.File("again.exe"), dir);
        ASSERT_EQ(again.exit_code, 0) << again.err << info.out;
        EXPECT_EQ(ReadWholeFile(dir.File("again.exe")), ReadWholeFile(out));
    }
}

// The pictures in the order of the lines, each pattern's files sorted by name, the captions
// counted after the patterns; every file carried as it is, MOVIE stored plain.
TEST(SspackBuild, ShowKeepsTheOrderAndTheBytesOfItsFiles) {
    ScratchDir dir;
    const std::string out = dir.File("out.exe");
    const RunResult r = BuildWithHostStub(
        WriteManifest(dir, ManifestText(ShowParts("Picture=03-night.bmp\nPicture=0*\n"
                                                  "Caption.3=Lake\nMusic=tune.wav\n"))),
        out, dir, "--verify");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const DirectoryRecord movie = RecordOf(out, "MOVIE");
    EXPECT_EQ(movie.method, kMethodStored);
    EXPECT_EQ(movie.xor_key, 0);
    std::vector<uint8_t> bytes;
    ShowView view;
    ASSERT_TRUE(ReadShowOf(out, &bytes, &view));
    struct Want {
        const char* file;
        uint8_t format;
        uint32_t width, height;
        const char* caption;
    };
    const Want want[] = {{"03-night.bmp", kShowBmp, 320, 240, ""},
                         {"01-dawn.jpg", kShowJpeg, 640, 400, ""},
                         {"02-lake.gif", kShowGif, 400, 400, "Lake"},
                         {"03-night.bmp", kShowBmp, 320, 240, ""}};
    ASSERT_EQ(view.picture_count, 4u);
    for (uint32_t i = 0; i < 4; ++i) {
        ShowPicture p;
        ASSERT_TRUE(ShowPictureAt(&view, i, &p));
        EXPECT_EQ(Bytes(bytes.begin() + p.offset, bytes.begin() + p.offset + p.size),
                  ReadWholeFile(dir.File(want[i].file)))
            << i;
        EXPECT_EQ(p.format, want[i].format) << i;
        EXPECT_EQ(p.width, want[i].width) << i;
        EXPECT_EQ(p.height, want[i].height) << i;
        EXPECT_EQ(Utf8Of(p.caption, p.caption_length), want[i].caption) << i;
    }
    ShowMusic m;
    ASSERT_TRUE(ShowMusicAt(&view, 0, &m));
    EXPECT_EQ(m.format, kShowWav);
    EXPECT_EQ(Bytes(bytes.begin() + m.offset, bytes.begin() + m.offset + m.size),
              ReadWholeFile(dir.File("tune.wav")));
    // The defaults: ten seconds, in order, fitted, faded over a second, on black, with music.
    EXPECT_EQ(view.interval_ms, 10000u);
    EXPECT_EQ(view.transition_ms, 1000u);
    EXPECT_EQ(view.order, kShowSequential);
    EXPECT_EQ(view.fit, kShowFit);
    EXPECT_EQ(view.transition, kShowFade);
    EXPECT_EQ(view.background, 0u);
    EXPECT_EQ(view.flags, kShowFlagMusic);
}

TEST(SspackBuild, InfoOfAFileWithoutPayload) {
    ScratchDir dir;
    WriteWholeFile(dir.File("plain.bin"), BytesOf("no archive here"));
    const RunResult r = RunSspack("info " + Quoted(dir.File("plain.bin")), dir);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("no payload archive found"), std::string::npos) << r.err;
}

TEST(SspackBuild, InstallsOnTheHostAndTheScreenSaverVerifies) {
    ScratchDir dir;
    const std::string out = dir.File("setup");
    ManifestParts parts = FullParts();
    parts.installer = "FollowUp=none\n";
    parts.files = std::string(kFullFiles)
                      .replace(std::string(kFullFiles).find("Document="),
                               std::strlen("Document=readme.txt\n"), "");
    const RunResult r = BuildWithHostStub(WriteManifest(dir, ManifestText(parts)), out, dir);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::string sandbox = dir.File("sandbox");
    ASSERT_TRUE(InstallOnHost(out, sandbox));
    const std::string scr = sandbox + "/c/WINDOWS/Minimal.scr";
    ASSERT_TRUE(FileExists(scr));
    const RunResult verify = RunSspack("verify " + Quoted(scr), dir);
    EXPECT_EQ(verify.exit_code, 0) << verify.out << verify.err;
    // The screen saver program stands plain at the start of the file.
    const Bytes saver = ReadWholeFile(dir.File("saver.bin"));
    const Bytes installed = ReadWholeFile(scr);
    ASSERT_GE(installed.size(), saver.size());
    EXPECT_TRUE(std::equal(saver.begin(), saver.end(), installed.begin()));
    const RunResult info = RunSspack("info " + Quoted(scr), dir);
    EXPECT_NE(info.out.find("Name=Minimal\n"), std::string::npos) << info.out;
}

TEST(SspackBuild, StubLookup) {
    struct Row {
        const char* tag;
        std::string env;
        std::string args;
        int exit_code;
        std::string stub;     // the file the output must start with
        const char* message;  // part of standard error
    };
    ScratchDir dir;
    const std::string manifest = WriteManifest(dir, ManifestText(FullParts()));
    ASSERT_EQ(BuildWithHostStub(manifest, dir.File("setup"), dir).exit_code, 0);
    // Copies of the host installer under other names: a stub is known by what it carries.
    WriteWholeFile(dir.File("copy"), ReadWholeFile(SSINSTALLER_PATH));
    ScratchDir stubs;
    WriteWholeFile(stubs.File("ssinstaller-host"), ReadWholeFile(SSINSTALLER_PATH));
    WriteWholeFile(dir.File("empty"), Bytes());
    const Row rows[] = {
        {"--host: the installer of the same build folder", "", "--host", 0, SSINSTALLER_PATH, ""},
        {"$SSPACK_STUB", "SSPACK_STUB=" + Quoted(dir.File("copy")), "--host", 0, dir.File("copy"),
         ""},
        {"$SSPACK_STUB_DIR", "SSPACK_STUB_DIR=" + Quoted(stubs.path()), "--host", 0,
         stubs.File("ssinstaller-host"), ""},
        {"--stub wins over $SSPACK_STUB", "SSPACK_STUB=/nonexistent",
         "--stub " + Quoted(dir.File("copy")), 0, dir.File("copy"), ""},
        {"an installer as the stub", "", "--stub " + Quoted(dir.File("setup")), 1, "",
         "already carries a payload archive"},
        {"a file that is no stub", "", "--stub " + Quoted(dir.File("saver.bin")), 1, "",
         "is not an installer stub"},
        {"sspack itself", "", "--stub " + Quoted(SSPACK_PATH), 1, "", "is not an installer stub"},
        {"an empty stub", "", "--stub " + Quoted(dir.File("empty")), 1, "", "cannot read the stub"},
        {"a device as the stub", "", "--stub /dev/null", 1, "", "is not a regular file"},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        const std::string out = dir.File("out" + std::to_string(++n) + ".exe");
        const RunResult r = RunSspack(
            "build " + Quoted(manifest) + " -o " + Quoted(out) + " " + row.args, dir, row.env);
        EXPECT_EQ(r.exit_code, row.exit_code) << r.err;
        EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
        if (row.exit_code != 0) {
            EXPECT_FALSE(FileExists(out));
            continue;
        }
        const Bytes stub = ReadWholeFile(row.stub);
        const Bytes built = ReadWholeFile(out);
        ASSERT_GT(built.size(), stub.size());
        EXPECT_TRUE(std::equal(stub.begin(), stub.end(), built.begin()));
        EXPECT_EQ(RunSspack("verify " + Quoted(out), dir).exit_code, 0);
    }
}

TEST(SspackBuild, OutputModes) {
    ScratchDir dir;
    const std::string manifest = WriteManifest(dir, ManifestText(FullParts()));
    const RunResult quiet = BuildWithHostStub(manifest, dir.File("q.exe"), dir, "-q --verify");
    EXPECT_EQ(quiet.exit_code, 0) << quiet.err;
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(quiet.err, "");
    // -q prints warnings: only the summary goes.
    ManifestParts warned;
    warned.files += "Document=readme.txt\n";
    const RunResult quiet_warned =
        BuildWithHostStub(WriteManifest(dir, ManifestText(warned)), dir.File("w.exe"), dir, "-q");
    EXPECT_EQ(quiet_warned.exit_code, 0) << quiet_warned.err;
    EXPECT_EQ(quiet_warned.out, "");
    EXPECT_NE(quiet_warned.err.find(": warning: [Files] Document is carried but never opened"),
              std::string::npos)
        << quiet_warned.err;
    WriteManifest(dir, ManifestText(FullParts()));

    const RunResult json = BuildWithHostStub(manifest, dir.File("j.exe"), dir, "--json --verify");
    EXPECT_EQ(json.exit_code, 0) << json.err;
    int entries = 0;
    size_t start = 0;
    while (start < json.out.size()) {
        const size_t end = json.out.find('\n', start);
        const std::string line = json.out.substr(start, end - start);
        EXPECT_EQ(line.front(), '{') << line;
        EXPECT_TRUE(IsJsonDocument(line)) << line;
        entries += line.rfind("{\"entry\": ", 0) == 0;
        start = end + 1;
    }
    EXPECT_EQ(entries, 12);
    EXPECT_NE(json.out.find("{\"result\": \"built\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("{\"verified\": "), std::string::npos) << json.out;
    EXPECT_EQ(ReadWholeFile(dir.File("q.exe")), ReadWholeFile(dir.File("j.exe")));

    // The other commands print one JSON document each, whatever the texts hold.
    ManifestParts odd = FullParts();
    odd.texts = "Question=Say \"yes\"\\or no\tnow?\nSuccess=caf\xC3\xA9\n";
    const std::string odd_manifest = WriteManifest(dir, ManifestText(odd));
    ASSERT_EQ(BuildWithHostStub(odd_manifest, dir.File("o.exe"), dir).exit_code, 0);
    struct Row {
        std::string args;
        const char* needle;
    };
    const Row rows[] = {
        {"info o.exe --json", "\"Question\": \"Say \\\"yes\\\"\\\\or no\\u0009now?\""},
        {"info o.exe --json", "\"Success\": \"caf\xC3\xA9\""},
        {"info o.exe --json", "\"alternative\": {\"CodePage\": 1252, \"Name\": \"Minimal\""},
        {"info o.exe --json", "\"FollowUp\": \"open-document\", \"ShowProgress\": true"},
        {"list o.exe --json", "\"records\": ["},
        {"verify o.exe --json", "\"ok\": true}"},
        {"extract o.exe --json -o x", "\"extracted\": ["},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args);
        std::string args = row.args;
        args.replace(args.find("o.exe"), 5, Quoted(dir.File("o.exe")));
        if (args.find(" x") != std::string::npos)
            args.replace(args.find(" x"), 2, " " + Quoted(dir.File("x")));
        const RunResult r = RunSspack(args, dir);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_TRUE(IsJsonDocument(r.out)) << r.out;
        EXPECT_NE(r.out.find(row.needle), std::string::npos) << r.out;
    }
    EXPECT_EQ(RunSspack("info " + Quoted(dir.File("o.exe")) + " --json --manifest", dir).exit_code,
              1);

    // Not a terminal: no progress bar on standard error.
    const RunResult plain = BuildWithHostStub(manifest, dir.File("p.exe"), dir);
    EXPECT_EQ(plain.err, "");
    EXPECT_NE(plain.out.find("built "), std::string::npos) << plain.out;
}

TEST(SspackBuild, ProgressBarOnATerminal) {
    if (std::system("command -v script >/dev/null 2>&1") != 0) GTEST_SKIP() << "no script(1)";
    ScratchDir dir;
    const std::string manifest = WriteManifest(dir, ManifestText(FullParts()));
    const std::string build = Quoted(SSPACK_PATH) + " build " + Quoted(manifest) + " -o " +
                              Quoted(dir.File("t.exe")) + " --stub " + Quoted(SSINSTALLER_PATH);
    // script(1) gives the build a terminal and records what it drew there.
    const std::string command = "script -qec " + Quoted(build + " >/dev/null") + " " +
                                Quoted(dir.File("typescript")) + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const Bytes drawn = ReadWholeFile(dir.File("typescript"));
    const std::string text(drawn.begin(), drawn.end());
    EXPECT_NE(text.find("100%"), std::string::npos) << text;
    EXPECT_NE(text.find("\r["), std::string::npos) << text;
    EXPECT_TRUE(FileExists(dir.File("t.exe")));
}

}  // namespace

// MaxSide= scales a picture whose longer side is larger down to it, in its own kind, and
// carries a smaller one as it is.
TEST(SspackBuild, MaxSideScalesLargerPicturesOnly) {
    ScratchDir dir;
    const std::string out = dir.File("out.exe");
    const RunResult r = BuildWithHostStub(
        WriteManifest(dir, ManifestText(ShowParts("Picture=01-dawn.jpg\nPicture=02-lake.gif\n"
                                                  "Picture=03-night.bmp\nMaxSide=320\n"))),
        out, dir, "--verify");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    std::vector<uint8_t> bytes;
    ShowView view;
    ASSERT_TRUE(ReadShowOf(out, &bytes, &view));
    struct Want {
        const char* file;
        uint8_t format;
        uint32_t width, height;
        bool unchanged;
    };
    const Want want[] = {{"01-dawn.jpg", kShowJpeg, 320, 200, false},
                         {"02-lake.gif", kShowGif, 320, 320, false},
                         {"03-night.bmp", kShowBmp, 320, 240, true}};
    for (uint32_t i = 0; i < 3; ++i) {
        ShowPicture p;
        ASSERT_TRUE(ShowPictureAt(&view, i, &p));
        const Bytes carried(bytes.begin() + p.offset, bytes.begin() + p.offset + p.size);
        const Bytes file = ReadWholeFile(dir.File(want[i].file));
        EXPECT_EQ(carried == file, want[i].unchanged) << i;
        EXPECT_EQ(p.format, want[i].format) << i;
        EXPECT_EQ(p.width, want[i].width) << i;
        EXPECT_EQ(p.height, want[i].height) << i;
    }
}
