// sspack list, verify and extract: read any payload archive (an installer, a .scr file or a bare
// archive) through the installer's own reader, transfer engine and extraction.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "archive/extract.h"
#include "archive/format.h"
#include "archive/reader.h"
#include "archive/transfer.h"
#include "platform/files.h"
#include "tools/sspack/commands.h"
#include "tools/sspack/file_safety.h"
#include "tools/sspack/show_info.h"
#include "tools/sspack/sspack_os.h"
#include "tools/sspack/stub_face.h"
#include "tools/sspack/text_util.h"

namespace {

#ifdef _WIN32
const char* const kNullDevice = "NUL";
#else
const char* const kNullDevice = "/dev/null";
#endif

struct Options {
    std::string file;
    std::vector<std::string> names;
    std::string out_dir;
    bool json = false;
    bool has_out = false;
};

int Fail(const std::string& message) {
    std::fprintf(stderr, "sspack: %s\n", message.c_str());
    return 1;
}

// Parses FILE, optional NAMEs, "-o DIR" and "--json". Returns false after reporting an error.
bool ParseOptions(const char* command, int argc, char** argv, bool names_allowed, bool out_allowed,
                  Options* options) {
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--json") {
            options->json = true;
        } else if (out_allowed && arg == "-o") {
            if (i + 1 >= argc) {
                Fail(std::string(command) + ": -o needs a folder");
                return false;
            }
            options->out_dir = argv[++i];
            options->has_out = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            Fail(std::string(command) + ": unknown option '" + arg + "'");
            return false;
        } else if (options->file.empty()) {
            options->file = arg;
        } else if (names_allowed) {
            options->names.push_back(arg);
        } else {
            Fail(std::string(command) + ": unexpected argument '" + arg + "'");
            return false;
        }
    }
    if (options->file.empty()) {
        Fail(std::string(command) + ": no archive file given");
        return false;
    }
    if (out_allowed && !options->has_out) {
        Fail(std::string(command) + ": no output folder given (-o DIR)");
        return false;
    }
    return true;
}

// Opens the archive as the reader; reports why it failed.
bool OpenOrReport(const std::string& file) {
    const std::string problem = InputProblem(CommandLinePath(file));
    if (!problem.empty()) {
        Fail(file + ": " + problem);
        return false;
    }
    if (OpenArchive(file.c_str()) != kInvalidFile) return true;
    switch (ArchiveOpenStage) {
        case 1:
            Fail(file + ": cannot open the file");
            break;
        case 2:
            Fail(file + ": cannot read the directory at the end of the file");
            break;
        default:
            Fail(file + ": no payload archive directory found at the end of the file" +
                 MissingPayloadHint(file));
            break;
    }
    return false;
}

std::string RecordName(const DirectoryRecord& record) {
    return std::string(record.name, strnlen(record.name, kNameSize));
}

bool IsInline(const DirectoryRecord& record) {
    return record.method == kMethodInline;
}

// Inline length as the reader serves it: out-of-range bytes count as 0.
uint32_t InlineLength(const DirectoryRecord& record) {
    const int8_t length = static_cast<int8_t>(record.count_or_length);
    return (length < 0 || length > 16) ? 0 : static_cast<uint32_t>(length);
}

std::string MethodText(const DirectoryRecord& record) {
    if (record.method == kMethodStored) return "stored";
    if (IsInline(record)) return "inline";
    if (record.method == kMethodCompressed) return "compressed";
    char text[32];
    std::snprintf(text, sizeof text, "compressed(%u)", record.method);
    return text;
}

std::string Readable(uint64_t bytes) {
    return SizeText(bytes);
}

// A path of the command line's, or a file made from it, as JSON text.
std::string JsonPath(const std::string& path) {
    return JsonText(CommandLineTextAsUtf8(path));
}

// Names shown to people: control bytes become '?', so a hostile name cannot drive the terminal.
std::string Printable(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return out;
}

std::vector<DirectoryRecord> Records() {
    std::vector<DirectoryRecord> records;
    for (uint32_t i = 0; i < ReaderRecordCount(); ++i)
        records.push_back(*ReaderRecord(i));
    return records;
}

// ---------------------------------------------------------------------------------------- list

// A signed file names its certificate table; an unsigned one says nothing.
void PrintListJson(const std::string& file, const std::vector<DirectoryRecord>& records,
                   uint32_t table) {
    std::printf("{\"file\": %s, ", JsonPath(file).c_str());
    if (table) std::printf("\"signed\": true, \"certificate_table_size\": %u, ", table);
    std::printf("\"records\": [");
    for (size_t i = 0; i < records.size(); ++i) {
        const DirectoryRecord& r = records[i];
        std::printf("%s\n  {\"index\": %zu, \"name\": %s, \"method\": \"%s\", \"method_byte\": %u",
                    i ? "," : "", i, JsonText(RecordName(r)).c_str(),
                    IsInline(r) ? "inline" : (r.method == kMethodStored ? "stored" : "compressed"),
                    r.method);
        if (IsInline(r)) {
            std::printf(", \"inline\": true, \"length\": %u}", InlineLength(r));
            continue;
        }
        std::printf(
            ", \"inline\": false, \"key\": %u, \"stored_size\": %u, \"original_size\": %u, "
            "\"data_offset\": %u, \"marker_offset\": %d, \"ratio\": ",
            r.xor_key, r.stored_size, r.original_size, r.data_offset, r.marker_offset);
        if (r.original_size == 0) {
            std::printf("null}");
        } else {
            std::printf("%.4f}", static_cast<double>(r.stored_size) / r.original_size);
        }
    }
    std::printf("\n]}\n");
}

void PrintListTable(const std::string& file, const std::vector<DirectoryRecord>& records,
                    uint32_t table) {
    std::printf("%s: %zu record%s\n", file.c_str(), records.size(), records.size() == 1 ? "" : "s");
    if (table) std::printf("%s: signed (certificate table of %u bytes)\n", file.c_str(), table);
    std::printf("%3s  %-16s  %-10s  %4s  %10s  %10s  %10s  %10s  %6s\n", "#", "NAME", "METHOD",
                "KEY", "STORED", "ORIGINAL", "OFFSET", "MARKER", "RATIO");
    for (size_t i = 0; i < records.size(); ++i) {
        const DirectoryRecord& r = records[i];
        const std::string name = Printable(RecordName(r));
        if (IsInline(r)) {
            std::printf("%3zu  %-16s  %-10s  %4s  %10s  %10s  %10s  %10s  %6s\n", i, name.c_str(),
                        "inline", "-", "-", Readable(InlineLength(r)).c_str(), "-", "-", "-");
            continue;
        }
        char key[8], marker[16], ratio[16];
        std::snprintf(key, sizeof key, "0x%02X", r.xor_key);
        if (r.marker_offset == -1) {
            std::snprintf(marker, sizeof marker, "-");
        } else {
            std::snprintf(marker, sizeof marker, "%d", r.marker_offset);
        }
        if (r.original_size == 0) {
            std::snprintf(ratio, sizeof ratio, "-");
        } else {
            std::snprintf(ratio, sizeof ratio, "%.1f%%", 100.0 * r.stored_size / r.original_size);
        }
        std::printf("%3zu  %-16s  %-10s  %4s  %10s  %10s  %10u  %10s  %6s\n", i, name.c_str(),
                    MethodText(r).c_str(), key, Readable(r.stored_size).c_str(),
                    Readable(r.original_size).c_str(), r.data_offset, marker, ratio);
    }
}

// -------------------------------------------------------------------------------------- verify

// Reads a stored entry's bytes through the platform layer; a short read is damage.
bool ReadsInFull(const DirectoryRecord& r) {
    if (!PlatSeek(ReaderHandle(), r.data_offset)) return false;
    std::vector<uint8_t> chunk(kChunkSize);
    uint32_t left = r.stored_size;
    while (left != 0) {
        const uint32_t size = left < kChunkSize ? left : kChunkSize;
        if (PlatRead(ReaderHandle(), chunk.data(), size) != size) return false;
        left -= size;
    }
    return true;
}

// Expands a compressed entry into the null device, so any size verifies in fixed memory.
std::string CheckExpansion(const DirectoryRecord& r) {
    const FileHandle sink = PlatCreateWrite(kNullDevice);
    if (sink == kInvalidFile) return std::string("cannot open ") + kNullDevice;
    uint32_t count = 0;
    int ok = PlatSeek(ReaderHandle(), r.data_offset) &&
             TransferEntryData(ReaderHandle(), sink, &count, Decompress);
    PlatClose(sink);
    if (!ok) return "block stream damaged (a block failed its check or the data end early)";
    if (count != r.original_size)
        return "expands to " + std::to_string(count) + " bytes, the record says " +
               std::to_string(r.original_size);
    return "";
}

// The damage of one record, or "" when it is sound.
std::string CheckRecord(const DirectoryRecord& r, uint64_t data_end) {
    if (r.record_size != kRecordSize || r.magic != kDirectoryMagic)
        return "record damaged (size or magic wrong)";
    if (IsInline(r)) {
        const int8_t length = static_cast<int8_t>(r.count_or_length);
        if (length < 0 || length > 16) return "inline length " + std::to_string(length);
        return "";
    }
    if (static_cast<uint64_t>(r.data_offset) + r.stored_size > data_end)
        return "data run past the start of the directory";
    if (r.method == kMethodStored) {
        if (r.stored_size != r.original_size) return "stored size differs from original size";
        if (!ReadsInFull(r)) return "data cannot be read in full";
        return "";
    }
    return CheckExpansion(r);
}

// ------------------------------------------------------------------------------------- extract

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

// Every name that decides a lookup, once, in directory order: a later record of the same name
// is shadowed and cannot be read by name.
std::vector<std::string> AllEntryNames() {
    std::vector<std::string> names;
    for (const DirectoryRecord& r : Records()) {
        const std::string name = RecordName(r);
        bool seen = false;
        for (const std::string& n : names)
            seen = seen || SameNameIgnoringCase(n, name);
        if (!seen) names.push_back(name);
    }
    return names;
}

// Bytes the extracted file must hold.
uint64_t ContentSize(const DirectoryRecord& r) {
    return IsInline(r) ? InlineLength(r) : r.original_size;
}

// A show's pictures and music beside the extracted MOVIE at `movie_path`, under the names that
// `sspack info --manifest` gives them. Nothing to do for a plain MOVIE.
bool ExtractShowParts(const Options& options, const std::string& movie_path) {
    std::ifstream in(CommandLinePath(movie_path), std::ios::binary);
    const std::vector<uint8_t> movie((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    ShowView view;
    if (!IsShow(movie.data(), static_cast<uint32_t>(movie.size())) || !ParseShowBytes(movie, &view))
        return true;
    for (uint32_t k = 0; k < view.picture_count + view.music_count; ++k) {
        const bool picture = k < view.picture_count;
        ShowPicture p;
        ShowMusic m;
        uint32_t offset, size;
        uint8_t format;
        if (picture) {
            ShowPictureAt(&view, k, &p);
            offset = p.offset, size = p.size, format = p.format;
        } else {
            ShowMusicAt(&view, k - view.picture_count, &m);
            offset = m.offset, size = m.size, format = m.format;
        }
        const std::string path =
            options.out_dir + "/" +
            ShowPartFile(picture, picture ? k : k - view.picture_count, format);
        ScratchFile scratch(path);
        std::string reason;
        {
            std::ofstream out(CommandLinePath(scratch.path()), std::ios::binary);
            out.write(reinterpret_cast<const char*>(movie.data() + offset), size);
            out.close();
            if (!out) reason = "write error";
        }
        if (!reason.empty() || !scratch.MoveIntoPlace(&reason)) {
            Fail(options.file + ": MOVIE: cannot extract to " + path + " (" + reason + ")");
            return false;
        }
        if (!options.json)
            std::printf("%-16s  %10s  -> %s\n", "  (show)", Readable(size).c_str(), path.c_str());
    }
    return true;
}

}  // namespace

int CmdList(int argc, char** argv) {
    Options options;
    if (!ParseOptions("list", argc, argv, false, false, &options)) return 1;
    if (!OpenOrReport(options.file)) return 1;
    const std::vector<DirectoryRecord> records = Records();
    const uint32_t table = ReaderCertificateSize();
    std::vector<uint8_t> movie;
    ShowView show;
    const bool is_show = ReadShowEntry(&movie, &show);
    CloseArchive(ReaderHandle());
    if (options.json) {
        PrintListJson(options.file, records, table);
    } else {
        PrintListTable(options.file, records, table);
        if (is_show) {
            std::printf("MOVIE is a picture show: %u picture%s, %u piece%s of music\n",
                        show.picture_count, show.picture_count == 1 ? "" : "s", show.music_count,
                        show.music_count == 1 ? "" : "s");
            for (const std::string& line : ShowPartLines(show))
                std::printf("%s\n", line.c_str());
        }
    }
    return 0;
}

int CmdVerify(int argc, char** argv) {
    Options options;
    if (!ParseOptions("verify", argc, argv, false, false, &options)) return 1;
    if (!OpenOrReport(options.file)) return 1;
    const std::vector<DirectoryRecord> records = Records();
    const uint64_t data_end =
        static_cast<uint64_t>(ReaderArchiveEnd()) - records.size() * kRecordSize;
    if (options.json) std::printf("{\"file\": %s, \"entries\": [", JsonPath(options.file).c_str());
    std::string damage;
    size_t i = 0;
    for (; i < records.size() && damage.empty(); ++i) {
        const DirectoryRecord& r = records[i];
        damage = CheckRecord(r, data_end);
        const std::string name = RecordName(r);
        if (options.json) {
            std::printf("%s\n  {\"index\": %zu, \"name\": %s, \"ok\": %s", i ? "," : "", i,
                        JsonText(name).c_str(), damage.empty() ? "true" : "false");
            if (!damage.empty()) std::printf(", \"damage\": %s", JsonText(damage).c_str());
            std::printf("}");
        } else {
            std::printf("%3zu  %-16s  %-10s  %10s  %s\n", i, Printable(name).c_str(),
                        MethodText(r).c_str(), Readable(ContentSize(r)).c_str(),
                        damage.empty() ? "ok" : "DAMAGED");
        }
    }
    CloseArchive(ReaderHandle());
    if (options.json) std::printf("\n], \"ok\": %s}\n", damage.empty() ? "true" : "false");
    if (!damage.empty()) {
        return Fail(options.file + ": entry '" + Printable(RecordName(records[i - 1])) +
                    "': " + damage);
    }
    if (!options.json)
        std::printf("%s: %zu entr%s verified\n", options.file.c_str(), records.size(),
                    records.size() == 1 ? "y" : "ies");
    return 0;
}

int CmdExtract(int argc, char** argv) {
    Options options;
    if (!ParseOptions("extract", argc, argv, true, true, &options)) return 1;
    if (!OpenOrReport(options.file)) return 1;
    std::vector<std::string> names = options.names.empty() ? AllEntryNames() : options.names;
    // Every name is checked before anything is written, so a refused archive leaves no files.
    std::vector<DirectoryRecord> chosen;
    for (std::string& name : names) {
        const DirectoryRecord* r = FindRecord(name.c_str(), kClassNormal | kClassInline);
        if (!r) {
            CloseArchive(ReaderHandle());
            return Fail(options.file + ": no entry named '" + Printable(name) + "'");
        }
        name = RecordName(*r);  // the file takes the entry's own spelling
        const std::string reason = FileNameProblem(name);
        if (!reason.empty()) {
            CloseArchive(ReaderHandle());
            return Fail(options.file + ": entry '" + Printable(name) + "' " + reason +
                        "; refusing to use it as a file name");
        }
        chosen.push_back(*r);
    }
    // The files every entry goes to, checked before anything is written: two entries never
    // land in one file, and no entry lands on the archive itself.
    std::vector<std::string> paths;
    for (size_t i = 0; i < names.size(); ++i) {
        for (size_t j = 0; j < i; ++j)
            if (FoldedFileName(names[j]) == FoldedFileName(names[i])) {
                CloseArchive(ReaderHandle());
                return Fail(options.file + ": entries '" + Printable(names[j]) + "' and '" +
                            Printable(names[i]) + "' would be one file in " + options.out_dir);
            }
        paths.push_back(options.out_dir + "/" + names[i]);
        if (SameFile(CommandLinePath(paths.back()), CommandLinePath(options.file))) {
            CloseArchive(ReaderHandle());
            return Fail("the output '" + paths.back() + "' of entry '" + Printable(names[i]) +
                        "' would overwrite the input '" + options.file + "'");
        }
        const std::string existing = ExistingOutputProblem(paths.back());
        if (!existing.empty()) {
            CloseArchive(ReaderHandle());
            return Fail(options.file + ": entry '" + Printable(names[i]) + "': cannot extract to " +
                        paths.back() + ": " + existing);
        }
    }
    std::error_code error;
    std::filesystem::create_directories(CommandLinePath(options.out_dir), error);
    if (error) {
        CloseArchive(ReaderHandle());
        return Fail(options.out_dir + ": cannot create the folder: " + error.message());
    }
    if (options.json)
        std::printf("{\"file\": %s, \"extracted\": [", JsonPath(options.file).c_str());
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string& path = paths[i];
        // Each entry goes to a new file of its own that then replaces the destination: whatever
        // stands there (a link, a hard link, an older file) is never opened for writing.
        ScratchFile scratch(path);
        const int ok = ExtractEntryToNewFile(names[i].c_str(), scratch.path().c_str());
        std::error_code size_error;
        const uint64_t size =
            std::filesystem::file_size(CommandLinePath(scratch.path()), size_error);
        std::string reason;
        if (!ok || size_error || size != ContentSize(chosen[i]) ||
            !scratch.MoveIntoPlace(&reason)) {
            CloseArchive(ReaderHandle());
            if (options.json) std::printf("\n]}\n");
            const std::string why = !ok              ? " (damaged data or write error)"
                                    : reason.empty() ? " (size differs from the record)"
                                                     : " (" + reason + ")";
            return Fail(options.file + ": entry '" + names[i] + "': cannot extract to " + path +
                        why + "; no file left");
        }
        if (options.json) {
            std::printf("%s\n  {\"name\": %s, \"path\": %s, \"size\": %" PRIu64 "}", i ? "," : "",
                        JsonText(names[i]).c_str(), JsonPath(path).c_str(), size);
        } else {
            std::printf("%-16s  %10s  -> %s\n", names[i].c_str(), Readable(size).c_str(),
                        path.c_str());
        }
    }
    CloseArchive(ReaderHandle());
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == "MOVIE" && !ExtractShowParts(options, paths[i])) {
            if (options.json) std::printf("\n]}\n");
            return 1;
        }
    // The icon of a built installer too, when every entry was asked for: `info --manifest`
    // names it as Icon=, so the folder rebuilds the same installer.
    std::vector<uint8_t> icon;
    bool icon_taken = false;
    for (const std::string& name : names)
        icon_taken = icon_taken || FoldedFileName(name) == FoldedFileName(kIconFileName);
    if (options.names.empty() && !icon_taken && InstallerIcon(options.file, &icon)) {
        const std::string path = options.out_dir + "/" + kIconFileName;
        ScratchFile scratch(path);
        const FileHandle file = PlatCreateNew(scratch.path().c_str());
        const bool written =
            file != kInvalidFile &&
            PlatWrite(file, icon.data(), static_cast<uint32_t>(icon.size())) == icon.size();
        if (file != kInvalidFile) PlatClose(file);
        std::string reason;
        if (!written || !scratch.MoveIntoPlace(&reason)) {
            if (options.json) std::printf("\n]}\n");
            return Fail(options.file + ": the icon: cannot write " + path +
                        (reason.empty() ? "" : " (" + reason + ")"));
        }
        if (options.json) {
            std::printf("%s\n  {\"name\": \"(icon)\", \"path\": %s, \"size\": %zu}",
                        names.empty() ? "" : ",", JsonPath(path).c_str(), icon.size());
        } else {
            std::printf("%-16s  %10s  -> %s\n", "(icon)", Readable(icon.size()).c_str(),
                        path.c_str());
        }
    }
    if (options.json) std::printf("\n]}\n");
    return 0;
}
