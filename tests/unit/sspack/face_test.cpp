// The installer's face and its stub: the version resource and icon that sspack writes into its
// copy of the Windows stub, the architecture, and what is refused as a stub or an icon.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "archive/extract.h"
#include "archive/reader.h"
#include "archive/sticky_error.h"
#include "format/show.h"
#include "tests/unit/sspack/sspack_helpers.h"
#include "tools/sspack/pe_image.h"
#include "tools/sspack/show_info.h"
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

// Writes UTF-16 `text` over every copy of UTF-16 `was` in `file`, zero-padded to its length.
[[maybe_unused]] void Overwrite(Bytes* file, const std::u16string& was,
                                const std::u16string& text) {
    ASSERT_LE(text.size(), 63u);
    const Bytes from = Utf16(std::string(was.begin(), was.end()), 0);
    Bytes to;
    for (char16_t c : text) {
        to.push_back(static_cast<uint8_t>(c & 0xFF));
        to.push_back(static_cast<uint8_t>(c >> 8));
    }
    to.resize(std::max(to.size(), from.size()), 0);
    int copies = 0;
    for (auto at = std::search(file->begin(), file->end(), from.begin(), from.end());
         at != file->end(); at = std::search(at + 1, file->end(), from.begin(), from.end())) {
        std::copy(to.begin(), to.end(), at);
        ++copies;
    }
    EXPECT_GT(copies, 0);
}

TEST(SspackFace, InfoNeverPassesOnWhatAHostileVersionResourceSays) {
#ifndef SS_WIN64_STUB
    GTEST_SKIP() << "configured without SS_WIN64_DIR";
#else
    // An installer whose properties carry manifest lines, terminal sequences and the edge
    // characters; its fields have room for 63 characters, and these fit.
    ScratchDir dir;
    const std::string out = dir.File("setup.exe");
    const std::string installer =
        "Publisher=" + std::string(40, 'P') + "\nVersion=" + "65535.65535.65535.65535\n";
    ASSERT_EQ(Build(dir, installer, out, "--stub " + Quoted(SS_WIN64_STUB)).exit_code, 0);
    Bytes file = ReadWholeFile(out);
    Overwrite(&file, u"Minimal", u"x\n[Files]\nAdditional=secret.txt");
    Overwrite(&file, std::u16string(40, u'P'), u"\x1B]0;title\x07\x01\x7F\x80\xFF\x85\x9B");
    Overwrite(&file, u"65535.65535.65535.65535", u"1\r\n[Files]\r\nZett=secret.txt");
    WriteWholeFile(out, file);
    const RunResult info = RunSspack("info --manifest " + Quoted(out), dir);
    ASSERT_EQ(info.exit_code, 0) << info.err;
    int files = 0;
    for (size_t start = 0, end; start < info.out.size(); start = end + 1) {
        end = info.out.find('\n', start);
        const std::string line = info.out.substr(start, end - start);
        files += line == "[Files]";
        EXPECT_NE(line.rfind("Additional=", 0), 0u) << line;
        EXPECT_NE(line, "Zett=secret.txt");
    }
    EXPECT_EQ(files, 1) << info.out;
    EXPECT_NE(info.out.find("\\x1B]0;title\\x07\\x01\\x7F\\x80\xC3\xBF\\x85\\x9B"),
              std::string::npos)
        << info.out;
    for (char c : info.out)
        EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << int(c);

    // The documented round trip does not pack the file the properties name.
    const std::string folder = dir.File("unpacked");
    ASSERT_EQ(RunSspack("extract " + Quoted(out) + " -o " + Quoted(folder), dir).exit_code, 0);
    WriteWholeFile(folder + "/secret.txt", BytesOf("TOP SECRET"));
    WriteWholeFile(folder + "/again.ini", BytesOf(info.out));
    const RunResult again = RunSspack(
        "build " + Quoted(folder + "/again.ini") + " -o " + Quoted(dir.File("again.exe")), dir);
    if (again.exit_code == 0) {
        const Bytes rebuilt = ReadWholeFile(dir.File("again.exe"));
        EXPECT_FALSE(Holds(rebuilt, BytesOf("TOP SECRET"))) << "the secret was packed";
    }
#endif
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

// The bytes of entry `name` of the installer at `path`.
Bytes EntryOf(const std::string& path, const char* name) {
    Bytes bytes;
    if (OpenArchive(path.c_str()) == kInvalidFile) return bytes;
    const int32_t size = GetOriginalSize(name);
    bytes.resize(size > 0 ? static_cast<size_t>(size) : 0);
    if (size <= 0 || !ReadEntryToMemory(name, bytes.data(), static_cast<uint32_t>(size)))
        bytes.clear();
    CloseArchive(ReaderHandle());
    StickyError.latched = 0;
    return bytes;
}

// Each image the icon group of `program` holds is 8-bit, of its size, with a full palette; the
// pixels that `side` leaves around a picture wider than high are transparent (mask bit set, the
// colour black, as Windows draws the colour over the screen with XOR).
void ExpectMadeImages(const Bytes& program, bool wide) {
    const auto images = IconImages(program);
    ASSERT_EQ(images.size(), 3u);
    const uint32_t sides[3] = {48, 32, 16};
    for (size_t i = 0; i < 3; ++i) {
        const Bytes& dib = images[i].second;
        const uint32_t side = sides[i], mask_row = (side + 31) / 32 * 4;
        ASSERT_EQ(dib.size(), 40 + 1024 + side * side + side * mask_row);
        EXPECT_EQ(Get32(&dib[4]), side);
        EXPECT_EQ(Get16(&dib[14]), 8);
        if (!wide) continue;
        // Bottom-up: the last row of the pixels is the picture's top row, clear above a wide
        // picture; the middle row is covered.
        const size_t pixels = 40 + 1024, mask = pixels + side * side;
        const uint8_t top = dib[pixels + (side - 1) * side];
        EXPECT_EQ(dib[mask + (side - 1) * mask_row] & 0x80, 0x80) << side;
        EXPECT_EQ(Get32(&dib[40 + 4 * top]) & 0xFFFFFF, 0u) << side;
        EXPECT_EQ(dib[mask + side / 2 * mask_row] & 0x80, 0) << side;
    }
}

// Any picture the library reads becomes the installer's 48, 32 and 16 pixel, 256-colour
// images: an .ico of other sizes or depths, a JPEG, a GIF.
TEST(SspackFace, IconFromAnyPicture) {
    NEED_WINDOWS_STUBS();
    const Bytes good = RecolouredIcon(1, 2, 3);
    Bytes two_images = good;  // the directory lists only the first two
    two_images[4] = 2;
    struct Row {
        const char* tag;
        Bytes file;
        bool wide;
    };
    const std::string slideshow = std::string(SS_EXAMPLES_DIR) + "/slideshow/";
    const Row rows[] = {
        {"an icon of 48 and 32 but no 16", two_images, false},
        {"a JPEG wider than high", ReadWholeFile(slideshow + "01-dawn.jpg"), true},
        {"a GIF", ReadWholeFile(slideshow + "02-lake.gif"), false},
        {"an icon of 32 bits", OneImageIcon(32, 32, 0), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        ScratchDir dir;
        WriteWholeFile(dir.File("x.ico"), row.file);
        const std::string out = dir.File("setup.exe");
        const RunResult r = Build(dir, "Icon=x.ico\n", out, "--stub " + Quoted(kStubs[0]) + " -q");
        ASSERT_EQ(r.exit_code, 0) << r.err;
        const Bytes stub = ReadWholeFile(kStubs[0]);
        const Bytes built = ReadWholeFile(out);
        ExpectMadeImages(Bytes(built.begin(), built.begin() + stub.size()), row.wide);
    }
}

TEST(SspackFace, IconsThatCannotBeReadAreRefused) {
    NEED_WINDOWS_STUBS();
    const Bytes good = RecolouredIcon(1, 2, 3);
    struct Row {
        const char* tag;
        Bytes ico;
        const char* problem;
    };
    const Row rows[] = {
        {"a text", BytesOf("[Icon]\n"), "x.ico' cannot be read as a picture"},
        {"an empty file", Bytes(), "x.ico' is empty"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        ScratchDir dir;
        WriteWholeFile(dir.File("x.ico"), row.ico);
        const RunResult r =
            Build(dir, "Icon=x.ico\n", dir.File("setup.exe"), "--stub " + Quoted(kStubs[0]));
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_NE(r.err.find(row.problem), std::string::npos) << r.err;
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
        // The commands that read the directory give the same hint, on their one line.
        const char* open = std::strchr(row.hint, '(');
        const std::string hint = open ? open : "(it is";
        for (const char* command : {"list ", "verify "}) {
            const RunResult other = RunSspack(command + Quoted(row.file), dir);
            EXPECT_EQ(other.exit_code, 1);
            EXPECT_EQ(other.err.find(hint) != std::string::npos, open != nullptr) << other.err;
            EXPECT_EQ(std::count(other.err.begin(), other.err.end(), '\n'), 1) << other.err;
        }
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
    // The sample program of a tree without the name placeholder draws the /U notice (every
    // program but the project's own does); that notice is not what these rows are about.
    const bool aurora_named = IsOwnSaverProgram(ReadWholeFile(aurora));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        ScratchDir dir;
        WriteManifest(dir, "");
        if (!row.saver.empty()) WriteWholeFile(dir.File("saver.bin"), ReadWholeFile(row.saver));
        if (!row.saver_x86.empty())
            WriteWholeFile(dir.File("saver86.bin"), ReadWholeFile(row.saver_x86));
        const std::string out = dir.File("setup.exe");
        RunResult r =
            Build(dir, "", out, row.args, row.saver_x86.empty() ? "" : "Saver.x86=saver86.bin\n");
        const size_t notice = r.err.find("is not this project's screen saver program");
        if (!aurora_named && row.saver == aurora && notice != std::string::npos) {
            const size_t before = r.err.rfind('\n', notice);
            const size_t from = before == std::string::npos ? 0 : before + 1;
            r.err.erase(from, r.err.find('\n', notice) + 1 - from);
        }
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
        // The project's own program carries the author's name and icon; any other is unchanged.
        const Bytes carried = ReadWholeFile(dir.File("x/SAVER"));
        const Bytes given = ReadWholeFile(row.machine == kMachineI386 ? row.saver_x86 : row.saver);
        uint16_t carried_machine = 0;
        EXPECT_TRUE(LooksLikePe(carried, &carried_machine));
        EXPECT_EQ(carried_machine, row.machine);
        EXPECT_EQ(carried.size(), given.size());
        if (!IsOwnSaverProgram(given)) {
            EXPECT_EQ(carried, given);
        }
    }
}

#ifdef SS_NAMED_SAVER
// The project's own program carries the author's name in string 1, written in place with the
// rest of its block zero, and the author's icon; every other byte stays. Another program is
// carried unchanged with the notice that the uninstall entry runs it with /U.
TEST(SspackFace, OwnSaverProgramGetsTheNameAndTheIcon) {
    NEED_WINDOWS_STUBS();
    const Bytes original = ReadWholeFile(SS_NAMED_SAVER);
    ASSERT_TRUE(IsOwnSaverProgram(original));
    const std::string name = "Holiday \xC3\x9C";  // "Holiday Ü"
    const Bytes placeholder = Utf16(std::string(127, '#'), 0);
    const auto at =
        std::search(original.begin(), original.end(), placeholder.begin(), placeholder.end());
    ASSERT_NE(at, original.end());
    const size_t text = static_cast<size_t>(at - original.begin());
    struct Row {
        const char* tag;
        Bytes saver;
        const char* installer;
        bool named;
    };
    const Row rows[] = {
        {"own program", original, "Icon=01-dawn.jpg\n", true},
        {"own program named once already", Bytes(), "", true},
        {"another program", ReadWholeFile(kStubs[0]), "", false},
    };
    Bytes named_once;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        ScratchDir dir;
        ManifestParts p;
        p.name = name;
        p.alt_name = "Holiday U";
        p.installer = row.installer;
        const std::string manifest = WriteManifest(dir, ManifestText(p));
        WriteWholeFile(dir.File("01-dawn.jpg"),
                       ReadWholeFile(std::string(SS_EXAMPLES_DIR) + "/slideshow/01-dawn.jpg"));
        const Bytes saver = row.saver.empty() ? named_once : row.saver;
        WriteWholeFile(dir.File("saver.bin"), saver);
        const std::string out = dir.File("setup.exe");
        const RunResult r = RunSspack("build " + Quoted(manifest) + " -o " + Quoted(out) +
                                          " -q --verify --stub " + Quoted(kStubs[0]),
                                      dir);
        ASSERT_EQ(r.exit_code, 0) << r.err;
        const Bytes carried = EntryOf(out, "SAVER");
        ASSERT_EQ(carried.size(), saver.size());
        if (!row.named) {
            EXPECT_EQ(carried, saver);
            EXPECT_NE(r.err.find("the uninstall entry runs NAME.scr /U"), std::string::npos)
                << r.err;
            continue;
        }
        EXPECT_EQ(r.err, "");
        // Length 9, "Holiday Ü", then zeros to the end of the block (127 units and 14 empty
        // strings), then the original bytes again.
        EXPECT_EQ(Get16(&carried[text - 2]), 9);
        const Bytes units = {'H', 0,   'o', 0,   'l', 0,   'i', 0,    'd',
                             0,   'a', 0,   'y', 0,   ' ', 0,   0xDC, 0};
        EXPECT_TRUE(std::equal(units.begin(), units.end(), carried.begin() + text));
        const size_t end = text + 2 * 127 + 2 * 14;
        EXPECT_TRUE(std::all_of(carried.begin() + text + units.size(), carried.begin() + end,
                                [](uint8_t b) { return b == 0; }));
        EXPECT_TRUE(IsOwnSaverProgram(carried));
        size_t differ = 0;
        const auto images = IconImages(carried);
        for (size_t i = 0; i < carried.size(); ++i) {
            bool in_image = false;
            for (const auto& image : images)
                in_image = in_image || (i >= image.first && i < image.first + image.second.size());
            if (carried[i] != saver[i] && !in_image && (i < text - 2 || i >= end)) ++differ;
        }
        EXPECT_EQ(differ, 0u);
        if (*row.installer) ExpectMadeImages(carried, true);
        named_once = carried;
    }
}

// A show without Saver= takes the project's program for the installer's architecture, found
// beside the stubs before the build tree's, and refuses what that Windows cannot show.
TEST(SspackFace, ShowFindsTheOwnProgramAndKeepsToWhatWindowsShows) {
    NEED_WINDOWS_STUBS();
    ScratchDir stubs;
    WriteWholeFile(stubs.File("ssaver-x64.scr"), ReadWholeFile(SS_NAMED_SAVER));
    WriteWholeFile(stubs.File("ssinstaller-x64.exe"), ReadWholeFile(kStubs[0]));
    struct Row {
        const char* tag;
        const char* show;
        std::string args;
        std::string env;
        const char* saver;  // the SAVER expected, "" when the build fails
        const char* message;
    };
    const std::string aurora = std::string(kWin64Dir) + "/saver/aurora.scr";
    const Row rows[] = {
        {"installed beside the stubs", "Picture=0*\n", "--arch x64",
         "SSPACK_STUB_DIR=" + Quoted(stubs.path()), SS_NAMED_SAVER, ""},
        {"the build tree's", "Picture=0*\n", "--arch x64", "", "aurora", ""},
        {"PNG for x64", "Picture=pic.png\n", "--arch x64", "", "aurora", ""},
        {"PNG for x86", "Picture=02-lake.gif\nPicture=pic.png\n", "--arch x86", "", "",
         "pic.png' is a PNG picture, which Windows 98, ME, 2000 and XP cannot show"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        ScratchDir dir;
        ManifestParts p = ShowParts(row.show);
        p.files = "";
        const std::string manifest = WriteManifest(dir, ManifestText(p));
        ASSERT_EQ(std::system(("convert " + Quoted(dir.File("02-lake.gif")) + " " +
                               Quoted(dir.File("pic.png")))
                                  .c_str()),
                  0);
        const std::string out = dir.File("setup.exe");
        const RunResult r = RunSspack(
            "build " + Quoted(manifest) + " -o " + Quoted(out) + " -q " + row.args, dir, row.env);
        if (!*row.saver) {
            EXPECT_EQ(r.exit_code, 1);
            EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
            EXPECT_NE(r.err.find("m.ini:" + std::to_string(LineOf(ManifestText(p), "pic.png")) +
                                 ": error: "),
                      std::string::npos)
                << r.err;
            continue;
        }
        ASSERT_EQ(r.exit_code, 0) << r.err;
        const Bytes saver = EntryOf(out, "SAVER");
        const Bytes expected =
            ReadWholeFile(std::string(row.saver) == "aurora" ? aurora : row.saver);
        EXPECT_EQ(saver.size(), expected.size());
        EXPECT_EQ(IsOwnSaverProgram(saver), IsOwnSaverProgram(expected));
        if (!IsOwnSaverProgram(expected)) {
            EXPECT_EQ(saver, expected);
        }
        const Bytes movie = EntryOf(out, "MOVIE");
        ShowView view;
        EXPECT_TRUE(ParseShowBytes(movie, &view));
    }
}
#endif

}  // namespace
