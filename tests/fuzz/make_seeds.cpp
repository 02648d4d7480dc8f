// Writes the starting corpora of the fuzz targets into the folder given (tests/fuzz/corpus): small
// installers' tails made with the archive writer, block streams made with the coder, INFO blocks,
// WinInit.Ini files, open commands and manifests. Run once when the formats change.
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "app/settings.h"
#include "archive/reader.h"
#include "archive/sticky_error.h"
#include "archive/writer.h"
#include "compress/block_stream.h"
#include "platform/host/host.h"
#include "tools/sspack/show_write.h"

namespace {

typedef std::vector<uint8_t> Bytes;
std::string root;

void Write(const std::string& target, const std::string& name, const Bytes& bytes) {
    mkdir((root + "/" + target).c_str(), 0755);
    FILE* f = fopen((root + "/" + target + "/" + name).c_str(), "wb");
    if (!f) return;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes ReadBack(const std::string& path) {
    Bytes out;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return out;
    int c;
    while ((c = fgetc(f)) != EOF)
        out.push_back(static_cast<uint8_t>(c));
    fclose(f);
    return out;
}

Bytes Compressed(const Bytes& plain) {
    Bytes sink(plain.size() * 2 + 64);
    SetStreamIO(0, static_cast<uint32_t>(plain.size()), sink.data(),
                static_cast<uint32_t>(sink.size()));
    CompressStream(reinterpret_cast<intptr_t>(plain.data()), kInvalidFile,
                   static_cast<int32_t>(plain.size()));
    sink.resize(StreamBytesWritten);
    return sink;
}

struct Entry {
    const char* name;
    Bytes data;
    uint32_t flags;
    const char* alias_of;
};

Bytes Archive(const std::vector<Entry>& entries) {
    const std::string path = root + "/.seed-archive";
    SetStickyErrorMode(0);
    FileHandle out = CreateArchive(path.c_str());
    for (const Entry& e : entries) {
        if (e.alias_of)
            AliasRecord(e.name, e.alias_of);
        else
            AddEntryFromMemory(e.data.data(), static_cast<uint32_t>(e.data.size()), e.name,
                               e.flags);
    }
    CloseArchive(out);
    Bytes bytes = ReadBack(path);
    remove(path.c_str());
    return bytes;
}

Bytes Info(uint32_t code_page, uint32_t follow_up, const char* document) {
    Bytes info(kInfoSize, 0);
    auto put = [&](uint32_t offset, const std::string& s) {
        memcpy(&info[offset], s.data(), s.size());
    };
    auto word = [&](uint32_t offset, uint32_t v) { memcpy(&info[offset], &v, 4); };
    const char* texts[4] = {"Install Aquarium?", "Installed.", "Failed.", "Installing..."};
    for (uint32_t i = 0; i < 4; ++i) {
        put(kInfoTexts + i * kInfoTextStride, texts[i]);
        info[kInfoTextFlags + i] = 1;
        put(kInfoAltTexts + i * kInfoTextStride, std::string("Alt ") + texts[i]);
        info[kInfoAltFlags + i] = i & 1;
    }
    put(kInfoDocumentPath, document);
    word(kInfoFollowUpAction, follow_up);
    word(kInfoShowProgress, 1);
    put(kInfoName, "Aquarium");
    word(kInfoCustomLabels, 1);
    put(kInfoYesLabel, "Install");
    put(kInfoNoLabel, "Later");
    word(kInfoCodePage, code_page);
    put(kInfoAltName, "Akvarium");
    return info;
}

// A small PE image (headers and one section of 0x40 bytes), `archive` after it, `pad` zero bytes
// and a certificate table of 64 bytes named in the security directory, as a signing tool leaves it.
Bytes SignedImage(bool plus, const Bytes& archive, uint32_t pad) {
    const uint32_t pe = 0x40, optional = pe + 24, optional_size = plus ? 240 : 224;
    const uint32_t section = optional + optional_size, raw = section + 40;
    Bytes b(raw + 0x40, 0);
    auto word = [&](uint32_t at, uint32_t v, int width) {
        for (int i = 0; i < width; ++i)
            b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    b[0] = 'M';
    b[1] = 'Z';
    word(0x3C, pe, 4);
    memcpy(&b[pe], "PE\0\0", 4);
    word(pe + 6, 1, 2);
    word(pe + 20, optional_size, 2);
    word(optional, plus ? 0x20B : 0x10B, 2);
    word(optional + (plus ? 108 : 92), 16, 4);
    word(section + 16, 0x40, 4);
    word(section + 20, raw, 4);
    b.insert(b.end(), archive.begin(), archive.end());
    b.insert(b.end(), pad, 0);
    const uint32_t table = static_cast<uint32_t>(b.size());
    b.resize(table + 64, 0x5A);
    word(optional + (plus ? 144 : 128), table, 4);
    word(optional + (plus ? 148 : 132), 64, 4);
    return b;
}

// Picture shows as sspack writes them: one picture; captions and music; the longest caption.
void ShowSeeds() {
    ShowSettings settings;
    const ShowPictureData one = {Text("BM picture bytes"), kShowBmp, 4, 3, {}};
    const ShowPictureData captioned = {
        Text("\xff\xd8\xff jpeg"), kShowJpeg, 640, 480, {'S', 'u', 'n', 0xFC}};
    const ShowMusicData tune = {Text("RIFF wave"), kShowWav};
    Bytes movie;
    EncodeShow(settings, {one}, {}, &movie);
    Write("fuzz_show", "one", movie);
    settings.transition = kShowWipe;
    EncodeShow(settings, {captioned, one, captioned}, {tune, tune}, &movie);
    Write("fuzz_show", "captions-music", movie);
    ShowPictureData longest = captioned;
    longest.caption.assign(kShowMaxCaption, 'w');
    EncodeShow(settings, {longest}, {tune}, &movie);
    Write("fuzz_show", "longest-caption", movie);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: fuzz_make_seeds CORPUS_DIR\n");
        return 2;
    }
    root = argv[1];
    mkdir(root.c_str(), 0755);
    const Bytes movie = Text("frames of the movie frames of the movie frames of the movie");
    const Bytes plain = Text("abracadabra abracadabra abracadabra, a block of text to code");

    // Block streams: empty, short, one that spans two blocks.
    Bytes big(12000);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<uint8_t>((i * 7) ^ (i >> 5));
    const Bytes streams[] = {Compressed({}), Compressed(plain), Compressed(big)};
    for (int i = 0; i < 3; ++i) {
        Bytes with_capacity = streams[i];
        with_capacity.insert(with_capacity.begin(), 0x40);
        Write("fuzz_expand", "stream" + std::to_string(i), with_capacity);
        Write("fuzz_expand_file", "stream" + std::to_string(i), with_capacity);
        // The differential target: mode 2 (a whole stream), the sink at the stated size.
        Bytes whole = streams[i];
        whole.insert(whole.begin(), {0x02, 0x00});
        Write("fuzz_expand_diff", "stream" + std::to_string(i), whole);
    }
    // Its symbol mode: literals, then matches of several lengths and distances.
    Bytes symbols = {0x00, 0x00};
    for (uint8_t c : plain)
        symbols.insert(symbols.end(), {0x00, c});
    for (int i = 0; i < 64; ++i)
        symbols.insert(symbols.end(), {static_cast<uint8_t>(0x80 | i), static_cast<uint8_t>(i >> 2),
                                       static_cast<uint8_t>(i * 37)});
    Write("fuzz_expand_diff", "symbols", symbols);
    // Its compression mode: the same symbols expanded, then long runs that give equal heads.
    Bytes compress = symbols;
    compress[0] = 0x03;
    for (int i = 0; i < 32; ++i)
        compress.insert(compress.end(), {0xBF, 0x00, static_cast<uint8_t>(i % 3), 0x00, 0x20});
    Write("fuzz_expand_diff", "compress", compress);
    // Its raw mode: 4 bytes of size, then bytes taken as coder output.
    Bytes raw = {0x01, 0xC4, 0x00, 0x10, 0x00, 0x00};
    raw.insert(raw.end(), big.begin(), big.begin() + 3000);
    Write("fuzz_expand_diff", "raw", raw);
    ShowSeeds();

    // Archives: stored, scrambled, compressed, inline-sized, an alias, a series.
    Write("fuzz_archive", "stored", Archive({{"INFO", plain, 0, nullptr}}));
    Write("fuzz_archive", "mixed",
          Archive({{"SAVER", plain, 0x100, nullptr},
                   {"MOVIE", movie, 0x100, nullptr},
                   {"PREVIEWF", {}, 0, "MOVIE"},
                   {"ZETT", plain, 0x5A, nullptr},
                   {"ADDTL", Text("extra"), 0, nullptr},
                   {"ADDTL01", Text("more"), 0, nullptr}}));
    Write("fuzz_archive", "empty-entry", Archive({{"KMDL", {}, 0, nullptr}}));
    const Bytes small = Archive({{"INFO", plain, 0, nullptr}, {"MOVIE", movie, 0, nullptr}});
    Write("fuzz_signed", "pe32-pad3", SignedImage(false, small, 3));
    Write("fuzz_signed", "pe32plus", SignedImage(true, small, 0));
    Write("fuzz_signed", "pe32plus-no-archive", SignedImage(true, {}, 5));

    // INFO blocks: the system's code page, another one, none; the control byte first.
    const Bytes infos[] = {Info(1252, 3, "C:\\docs\\readme.htm"), Info(1251, 1, "readme.txt"),
                           Info(0, 2, "..\\..\\evil.txt")};
    for (int i = 0; i < 3; ++i) {
        Bytes seed = infos[i];
        seed.insert(seed.begin(), static_cast<uint8_t>(i == 1 ? 0x81 : 6));
        Write("fuzz_settings", "info" + std::to_string(i), seed);
    }

    // WinInit.Ini contents, after the path length and the path.
    const std::string path = "C:\\WINDOWS\\TEMP\\readme.htm";
    const char* inis[] = {"", "[Rename]\r\nNUL=C:\\old.txt\r\n",
                          "[Other]\r\nx=1\r\n[rename]\r\nNUL=C:\\WINDOWS\\TEMP\\readme.htm\r\n",
                          "; no section\r\nkey=value"};
    for (int i = 0; i < 4; ++i) {
        Bytes seed = Text(std::string(1, static_cast<char>(path.size())) + path + inis[i]);
        Write("fuzz_wininit", "ini" + std::to_string(i), seed);
    }

    // Open commands: control byte, buffer size, template, NUL, path.
    const char* commands[] = {"\"C:\\Program Files\\Browser\\browser.exe\" \"%1\"",
                              "notepad.exe %1 %*", "viewer.exe", "%SystemRoot%\\app.exe -o \"%1\""};
    for (int i = 0; i < 4; ++i) {
        std::string seed =
            std::string("\x00\xF0", 2) + commands[i] + '\0' + "C:\\WINDOWS\\TEMP\\readme.htm";
        Write("fuzz_command", "direct" + std::to_string(i), Text(seed));
        std::string registry = std::string("\x19\xF0", 2) + "htmlfile" + '\xFF' + commands[i];
        Write("fuzz_command", "registry" + std::to_string(i), Text(registry));
    }
    return 0;
}
