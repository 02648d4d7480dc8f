// The installer's face and its stub: the version resource and icon that sspack writes into its
// copy of the Windows stub, the architecture, and what is refused as a stub or an icon.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/unit/sspack/sspack_helpers.h"
#include "tools/sspack/pe_image.h"
#include "tools/sspack/stub_face.h"
#include "tools/sspack/stub_locate.h"

namespace {

#if defined(SS_WIN64_STUB) && defined(SS_WIN32_STUB)
const char* const kStubs[2] = {SS_WIN64_STUB, SS_WIN32_STUB};
const char* const kWin64Dir = SS_WIN64_DIR_PATH;
#define NEED_WINDOWS_STUBS() (void)0
#else
const char* const kStubs[2] = {"", ""};
const char* const kWin64Dir = "";
#define NEED_WINDOWS_STUBS() GTEST_SKIP() << "configured without SS_WIN64_DIR and SS_WIN32_DIR"
#endif
const char* const kArchs[2] = {"x64", "x86"};

// `text` as UTF-16LE followed by `zeros` zero units.
Bytes Utf16(const std::string& text, size_t zeros) {
    Bytes out;
    for (char c : text) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(0);
    }
    out.insert(out.end(), 2 * zeros, 0);
    return out;
}

bool Holds(const Bytes& haystack, const Bytes& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
           haystack.end();
}

RunResult Build(const ScratchDir& dir, const std::string& installer, const std::string& out,
                const std::string& args, const std::string& files = "") {
    ManifestParts p;
    p.installer = installer;
    p.files += files;
    return RunSspack(
        "build " + Quoted(WriteManifest(dir, ManifestText(p))) + " -o " + Quoted(out) + " " + args,
        dir);
}

// The icon images of a stub's icon group, in group order: (offset, bytes).
std::vector<std::pair<size_t, Bytes>> IconImages(const Bytes& file) {
    std::vector<std::pair<size_t, Bytes>> images;
    PeImage pe;
    std::string problem;
    if (!ReadPeImage(file, &pe, &problem)) return images;
    for (const PeResource& r : pe.resources)
        if (r.type == kResourceIcon)
            images.push_back(
                {r.offset, Bytes(file.begin() + r.offset, file.begin() + r.offset + r.size)});
    return images;
}

// res/ssinstaller.ico with every palette entry of every image changed to `bgr`, and its images.
Bytes RecolouredIcon(uint8_t b, uint8_t g, uint8_t r) {
    Bytes ico = ReadWholeFile(std::string(SS_SOURCE_DIR) + "/res/ssinstaller.ico");
    const uint32_t count = Get16(&ico[4]);
    for (uint32_t i = 0; i < count; ++i) {
        const size_t image = Get32(&ico[6 + 16 * i + 12]);
        for (size_t k = 1; k < 256; ++k) {  // index 0 is the transparent background
            ico[image + 40 + 4 * k] = b;
            ico[image + 40 + 4 * k + 1] = g;
            ico[image + 40 + 4 * k + 2] = r;
        }
    }
    return ico;
}

TEST(SspackFace, FilePropertiesAreWrittenInPlace) {
    NEED_WINDOWS_STUBS();
    struct Row {
        const char* tag;
        std::string installer;  // more [Installer] lines
        const char* company;
        const char* version;
        const char* number;
    };
    const Row rows[] = {
        {"defaults", "", "(none)", "1.0", "1.0.0.0"},
        {"publisher and version", "Publisher=Night Owl Software\nVersion=2.5.17\n",
         "Night Owl Software", "2.5.17", "2.5.17.0"},
        {"the longest values",
         "Publisher=" + std::string(63, 'P') + "\nVersion=65535.65535.65535.65535\n",
         "PPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPP",
         "65535.65535.65535.65535", "65535.65535.65535.65535"},
    };
    for (int a = 0; a < 2; ++a) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(kArchs[a]) + ": " + row.tag);
            ScratchDir dir;
            const std::string out = dir.File("setup.exe");
            const RunResult r =
                Build(dir, row.installer, out,
                      std::string("--arch ") + kArchs[a] + " --stub " + Quoted(kStubs[a]));
            ASSERT_EQ(r.exit_code, 0) << r.err;
            const Bytes stub = ReadWholeFile(kStubs[a]);
            const Bytes built = ReadWholeFile(out);
            ASSERT_GT(built.size(), stub.size());
            const Bytes head(built.begin(), built.begin() + stub.size());
            // Nothing moves: headers, code and the icon are the stub's; only the version resource
            // differs, and only inside it.
            PeImage pe;
            std::string problem;
            ASSERT_TRUE(ReadPeImage(stub, &pe, &problem)) << problem;
            const PeResource* version = FindPeResource(pe, kResourceVersion, 1);
            ASSERT_NE(version, nullptr);
            for (size_t i = 0; i < stub.size(); ++i)
                if (head[i] != stub[i]) {
                    ASSERT_GE(i, version->offset) << "byte " << i;
                    ASSERT_LT(i, version->offset + version->size) << "byte " << i;
                }
            // The name, zero-padded to the room of its field, where Windows reads it.
            EXPECT_TRUE(Holds(head, Utf16("Minimal", 64 - 7))) << "FileDescription, ProductName";
            const RunResult info = RunSspack("info " + Quoted(out), dir);
            ASSERT_EQ(info.exit_code, 0) << info.err;
            for (const std::string& line :
                 {std::string("; FileDescription: Minimal"), std::string("; ProductName: Minimal"),
                  std::string("; CompanyName: ") + row.company,
                  std::string("; FileVersion: ") + row.version,
                  std::string("; ProductVersion: ") + row.version,
                  std::string("; file version number: ") + row.number})
                EXPECT_NE(info.out.find(line + "\n"), std::string::npos) << line << "\n"
                                                                         << info.out;
            EXPECT_EQ(RunSspack("verify " + Quoted(out), dir).exit_code, 0);
        }
    }
}

TEST(SspackFace, ManifestValuesOutsideTheFieldsAreErrors) {
    struct Row {
        const char* line;
        const char* message;
    };
    const Row rows[] = {
        {"Version=1.2.x", "'1.2.x' is not a version"},
        {"Version=1.2.3.4.5", "is not a version"},
        {"Version=65536", "is not a version"},
        {"Version=1..2", "is not a version"},
        {"Version=", "is not a version"},
        {"Publisher=PPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPP",
         "is 64 characters; the installer's file properties hold at most 63"},
        {"Publisher=Night\x01Owl", "holds a control character"},
        {"Icon=missing.ico", "does not exist"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        ScratchDir dir;
        const RunResult r = Build(dir, std::string(row.line) + "\n", dir.File("setup"), "--host");
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_NE(r.err.find(":4: error: [Installer] "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
        EXPECT_FALSE(FileExists(dir.File("setup")));
    }
}

TEST(SspackFace, IconReplacesTheStubsImagesInPlace) {
    NEED_WINDOWS_STUBS();
    for (int a = 0; a < 2; ++a) {
        SCOPED_TRACE(kArchs[a]);
        ScratchDir dir;
        const Bytes ico = RecolouredIcon(0x40, 0x20, 0xC8);
        WriteWholeFile(dir.File("night.ico"), ico);
        const std::string out = dir.File("setup.exe");
        const RunResult r =
            Build(dir, "Icon=night.ico\n", out, std::string("--stub ") + Quoted(kStubs[a]));
        ASSERT_EQ(r.exit_code, 0) << r.err;
        const Bytes stub = ReadWholeFile(kStubs[a]);
        const Bytes built = ReadWholeFile(out);
        const auto before = IconImages(stub);
        const auto after = IconImages(Bytes(built.begin(), built.begin() + stub.size()));
        ASSERT_EQ(before.size(), 3u);
        ASSERT_EQ(after.size(), 3u);
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(after[i].first, before[i].first);
            EXPECT_NE(after[i].second, before[i].second);
            // Each image now is one of the file's images, byte for byte.
            EXPECT_TRUE(Holds(ico, after[i].second)) << "image " << i;
        }
        // The round trip: extract writes the icon, info --manifest names it, and the folder
        // builds the same installer.
        const std::string folder = dir.File("x");
        const RunResult extracted =
            RunSspack("extract " + Quoted(out) + " -o " + Quoted(folder), dir);
        ASSERT_EQ(extracted.exit_code, 0) << extracted.err;
        EXPECT_NE(extracted.out.find("(icon)"), std::string::npos) << extracted.out;
        const RunResult info = RunSspack("info --manifest " + Quoted(out), dir);
        EXPECT_NE(info.out.find("\nIcon=icon.ico\n"), std::string::npos) << info.out;
        WriteWholeFile(folder + "/again.ini", BytesOf(info.out));
        const RunResult again =
            RunSspack("build " + Quoted(folder + "/again.ini") + " -o " +
                          Quoted(dir.File("again.exe")) + " --stub " + Quoted(kStubs[a]),
                      dir);
        ASSERT_EQ(again.exit_code, 0) << again.err;
        EXPECT_TRUE(ReadWholeFile(dir.File("again.exe")) == built)
            << "the rebuilt installer differs";
    }
}

// A one-image icon file: `size` pixels square at `bits` bits per pixel with `colours` palette
// entries.
Bytes OneImageIcon(uint32_t size, uint16_t bits, uint32_t colours) {
    const uint32_t stride = (size * bits + 31) / 32 * 4, mask = (size + 31) / 32 * 4;
    const uint32_t bytes = 40 + 4 * colours + size * (stride + mask);
    Bytes ico(6 + 16 + bytes, 0);
    Put16(&ico[2], 1);
    Put16(&ico[4], 1);
    ico[6] = ico[7] = static_cast<uint8_t>(size);
    Put16(&ico[6 + 4], 1);
    Put16(&ico[6 + 6], bits);
    Put32(&ico[6 + 8], bytes);
    Put32(&ico[6 + 12], 22);
    Put32(&ico[22], 40);
    Put32(&ico[22 + 4], size);
    Put32(&ico[22 + 8], 2 * size);
    Put16(&ico[22 + 12], 1);
    Put16(&ico[22 + 14], bits);
    Put32(&ico[22 + 32], colours);
    return ico;
}

TEST(SspackFace, IconsThatDoNotFitAreRefused) {
    NEED_WINDOWS_STUBS();
    const Bytes good = RecolouredIcon(1, 2, 3);
    Bytes two_images = good;  // the directory lists only the first two
    two_images[4] = 2;
    Bytes truncated(good.begin(), good.begin() + 3000);
    Bytes png = OneImageIcon(48, 32, 0);
    png[22] = 0x89, png[23] = 'P', png[24] = 'N', png[25] = 'G';
    struct Row {
        const char* tag;
        Bytes ico;
        const char* holds;
    };
    const Row rows[] = {
        {"32 bits", OneImageIcon(32, 32, 0), "holds 32x32 at 32 bits;"},
        {"16 colours", OneImageIcon(16, 4, 16), "holds 16x16 at 4 bits;"},
        {"48, 32 but no 16", two_images, "holds 48x48 and 32x32 at 256 colours;"},
        {"a short palette", OneImageIcon(48, 8, 16), "holds 48x48 at 256 colours;"},
        {"PNG", png, "holds 48x48 in PNG form;"},
        {"cut short", truncated, "is not an icon file (.ico)"},
        {"a text", BytesOf("[Icon]\n"), "is not an icon file (.ico)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        ScratchDir dir;
        WriteWholeFile(dir.File("x.ico"), row.ico);
        const RunResult r =
            Build(dir, "Icon=x.ico\n", dir.File("setup.exe"), "--stub " + Quoted(kStubs[0]));
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_NE(r.err.find(row.holds), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("the installer's icon needs 48x48, 32x32 and 16x16 at 256 colours"),
                  std::string::npos)
            << r.err;
        // One line, naming the manifest line of Icon=.
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;  // and the Saver
        EXPECT_NE(r.err.find(":4: error: [Installer] Icon: "), std::string::npos) << r.err;
        EXPECT_FALSE(FileExists(dir.File("setup.exe")));
    }
}

// A file without a payload: the bare stub says so, an installer cut short hints that it may be
// incomplete, any other file is only said to have none.
TEST(SspackFace, MissingPayloadIsExplained) {
    NEED_WINDOWS_STUBS();
    ScratchDir dir;
    const std::string out = dir.File("setup.exe");
    ASSERT_EQ(Build(dir, "", out, std::string("--stub ") + Quoted(kStubs[0])).exit_code, 0);
    const Bytes built = ReadWholeFile(out);
    const Bytes stub = ReadWholeFile(kStubs[0]);
    WriteWholeFile(dir.File("cut.exe"), Bytes(built.begin(), built.begin() + stub.size() + 100));
    WriteWholeFile(dir.File("plain.exe"), BytesOf("MZ not an installer"));
    const struct {
        std::string file;
        const char* hint;
    } rows[] = {
        {dir.File("cut.exe"),
         "no payload archive found (it is an installer whose payload is "
         "missing or cut short: the file may be incomplete"},
        {kStubs[0],
         "no payload archive found (it is the installer stub itself, which carries none)"},
        {dir.File("plain.exe"), "no payload archive found\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        const RunResult r = RunSspack("info " + Quoted(row.file), dir);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_NE(r.err.find(row.hint), std::string::npos) << r.err;
    }
}

TEST(SspackFace, StubIsRecognisedByWhatItCarries) {
    NEED_WINDOWS_STUBS();
    const Bytes x64 = ReadWholeFile(kStubs[0]);
    Bytes renamed_inside = x64;  // InternalName "ssinstaller" becomes "ssinstallex"
    const Bytes internal = Utf16("ssinstaller", 1);
    auto at =
        std::search(renamed_inside.begin(), renamed_inside.end(), internal.begin(), internal.end());
    ASSERT_NE(at, renamed_inside.end());
    at[20] = 'x';
    Bytes no_room = x64;  // FileDescription keeps room for 20 characters only
    const Bytes key = Utf16("FileDescription", 1);
    auto field = std::search(no_room.begin(), no_room.end(), key.begin(), key.end());
    ASSERT_NE(field, no_room.end());
    field[-4] = 21;
    Bytes cut(x64.begin(), x64.begin() + x64.size() / 2);
    Bytes far_header = x64;
    Put32(&far_header[60], 0x7FFFFFF0);
    struct Row {
        const char* tag;
        Bytes bytes;
        const char* arch;
        const char* problem;  // "" when accepted
    };
    const Row rows[] = {
        {"the x64 stub", x64, "x64", ""},
        {"the x64 stub, any architecture", x64, "", ""},
        {"the x86 stub", ReadWholeFile(kStubs[1]), "x86", ""},
        {"the x86 stub for x64", ReadWholeFile(kStubs[1]), "x64",
         "is the x86 installer stub, not the x64 one"},
        {"another InternalName", renamed_inside, "x64", "without the installer's version resource"},
        {"a field without room", no_room, "x64", "without the installer's version resource"},
        {"cut in half", cut, "x64", "without the installer's version resource"},
        {"the PE header far away", far_header, "x64", "neither a Windows program"},
        {"a text", BytesOf("MZ is how it starts"), "x64", "neither a Windows program"},
        {"the host installer", ReadWholeFile(SSINSTALLER_PATH), "x64", ""},
        {"sspack", ReadWholeFile(SSPACK_PATH), "x64", "neither a Windows program"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        StubKind kind;
        std::string arch, problem;
        const bool ok = CheckStub(row.bytes, row.arch, &kind, &arch, &problem);
        EXPECT_EQ(ok, *row.problem == 0) << problem;
        if (*row.problem) {
            EXPECT_NE(problem.find(row.problem), std::string::npos) << problem;
        }
    }
}

TEST(SspackFace, ArchitecturePicksTheStubAndChecksTheSaver) {
    NEED_WINDOWS_STUBS();
    const std::string aurora = std::string(kWin64Dir) + "/saver/aurora.scr";
    std::string aurora32 = kStubs[1];
    aurora32.replace(aurora32.rfind("app/ssinstaller.exe"), std::string::npos, "saver/aurora.scr");
    struct Row {
        const char* tag;
        std::string saver;  // copied in as saver.bin
        std::string args;
        int exit_code;
        uint16_t machine;            // of the output's stub
        const char* message;         // part of standard error, "" for none
        std::string saver_x86 = "";  // copied in as saver86.bin and named by Saver.x86=
    };
    const Row rows[] = {
        {"x64 by default, an x64 saver", aurora, "", 0, kMachineAmd64, ""},
        {"--arch x86 finds the x86 stub", "", "--arch x86 -q", 0, kMachineI386, "Saver: '"},
        {"an x64 saver in an x86 installer", aurora, "--arch x86", 0, kMachineI386,
         "is a program for x64; the installer is built for x86"},
        {"the same with --strict", aurora, "--arch x86 --strict", 1, 0,
         "is a program for x64; the installer is built for x86 (an error with --strict)"},
        {"a saver that is no program", "", "", 0, kMachineAmd64,
         "saver.bin' is not a Windows program"},
        {"the stub's architecture when --arch is not given", aurora, "--stub " + Quoted(kStubs[1]),
         0, kMachineI386, "is a program for x64"},
        {"--arch and --stub disagree", aurora, "--arch x64 --stub " + Quoted(kStubs[1]), 1, 0,
         "is the x86 installer stub, not the x64 one (--arch x64)"},
        {"an unknown architecture", aurora, "--arch arm64", 1, 0, "--arch needs x64 or x86"},
        // One manifest for both: Saver.x86= is the x86 installer's program, Saver= the other's.
        {"Saver.x86 for an x86 installer", aurora, "--arch x86 --strict", 0, kMachineI386, "",
         aurora32},
        {"Saver= for an x64 installer beside Saver.x86", aurora, "--strict", 0, kMachineAmd64, "",
         aurora32},
        {"an x64 program as Saver.x86", aurora, "--arch x86 --strict", 1, 0, "[Files] Saver.x86: '",
         aurora},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        ScratchDir dir;
        WriteManifest(dir, "");
        if (!row.saver.empty()) WriteWholeFile(dir.File("saver.bin"), ReadWholeFile(row.saver));
        if (!row.saver_x86.empty())
            WriteWholeFile(dir.File("saver86.bin"), ReadWholeFile(row.saver_x86));
        const std::string out = dir.File("setup.exe");
        const RunResult r =
            Build(dir, "", out, row.args, row.saver_x86.empty() ? "" : "Saver.x86=saver86.bin\n");
        EXPECT_EQ(r.exit_code, row.exit_code) << r.err;
        if (*row.message) {
            EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
        } else {
            EXPECT_EQ(r.err, "");
        }
        if (row.exit_code != 0) {
            EXPECT_FALSE(FileExists(out));
            continue;
        }
        uint16_t machine = 0;
        EXPECT_TRUE(LooksLikePe(ReadWholeFile(out), &machine));
        EXPECT_EQ(machine, row.machine);
        if (row.saver_x86.empty()) continue;
        // The installer carries the program of its own architecture.
        ASSERT_EQ(RunSspack("extract " + Quoted(out) + " SAVER -o " + Quoted(dir.File("x")), dir)
                      .exit_code,
                  0);
        EXPECT_EQ(ReadWholeFile(dir.File("x/SAVER")),
                  ReadWholeFile(row.machine == kMachineI386 ? row.saver_x86 : row.saver));
    }
}

}  // namespace
