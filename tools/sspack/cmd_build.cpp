// sspack build: a manifest in, an installer out. The payload is written by the installer's own
// archive writer into a scratch archive, then appended to the stub with every data_offset moved
// by the stub's size (offsets are absolute from the start of the file). Nothing is written until
// the manifest has passed every check, and a failed build leaves no output file.
#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "archive/extract.h"
#include "archive/format.h"
#include "archive/reader.h"
#include "archive/sticky_error.h"
#include "archive/writer.h"
#include "compress/block_stream.h"
#include "platform/files.h"
#include "tools/sspack/commands.h"
#include "tools/sspack/file_safety.h"
#include "tools/sspack/manifest.h"
#include "tools/sspack/sign.h"
#include "tools/sspack/sspack_os.h"
#include "tools/sspack/stub_face.h"
#include "tools/sspack/stub_locate.h"
#include "tools/sspack/text_util.h"
#include "tools/sspack/usage.h"

namespace fs = std::filesystem;

namespace {

constexpr int kExitBuilt = 0;
constexpr int kExitUsage = 1;  // bad usage or manifest
constexpr int kExitIo = 2;     // the build itself failed

struct Options {
    std::string manifest;
    std::string out;
    std::string stub;
    std::string arch;  // x64 or x86; "" when not given
    bool host = false;
    bool strict = false;
    bool verify = false;
    bool json = false;
    bool quiet = false;
    bool verbose = false;
    SignOptions sign;
};

// Where messages go: plain lines on stderr/stdout, or one JSON object per line on stdout.
struct Reporter {
    const Options* o;

    void Diagnostic(const std::string& file, int line, bool error, const std::string& text) {
        if (o->json) {
            std::printf("{\"level\": \"%s\", \"file\": %s, \"line\": %d, \"message\": %s}\n",
                        error ? "error" : "warning", JsonText(file).c_str(), line,
                        JsonText(text).c_str());
            return;
        }
        if (line > 0) {
            std::fprintf(stderr, "%s:%d: %s: %s\n", file.c_str(), line, error ? "error" : "warning",
                         text.c_str());
        } else {
            std::fprintf(stderr, "%s: %s: %s\n", file.c_str(), error ? "error" : "warning",
                         text.c_str());
        }
    }
    void Error(const std::string& text) {
        if (o->json) {
            std::printf("{\"level\": \"error\", \"message\": %s}\n", JsonText(text).c_str());
        } else {
            std::fprintf(stderr, "sspack: build: %s\n", text.c_str());
        }
    }
    void Verbose(const std::string& text) {
        if (o->verbose && !o->json && !o->quiet) std::printf("%s\n", text.c_str());
    }
};

// --------------------------------------------------------------------------------- progress

// The progress bar follows the block stream's byte-count hook while entries are compressed.
// Coder output is all the hook reports, so an entry counts as done up to its original size.
struct Progress {
    bool on = false;
    uint64_t total = 0;     // original bytes of every entry that goes through the compressor
    uint64_t finished = 0;  // original bytes of the entries already compressed
    uint64_t current = 0;   // coder bytes of the entry in hand
    uint64_t current_size = 0;
    int shown = -1;  // the percentage drawn last
    std::string name;
};
Progress Bar;

void DrawBar() {
    const uint64_t in_hand = Bar.current < Bar.current_size ? Bar.current : Bar.current_size;
    const int percent =
        Bar.total ? static_cast<int>(100 * (Bar.finished + in_hand) / Bar.total) : 100;
    if (percent == Bar.shown) return;
    Bar.shown = percent;
    const int width = 30;
    const int filled = percent * width / 100;
    std::fprintf(stderr, "\r[%.*s%*s] %3d%%  %-16s", filled, "##############################",
                 width - filled, "", percent, Bar.name.c_str());
    std::fflush(stderr);
    SetProgressLineOpen(true);
}

void OnBytesWritten(uint32_t bytes) {
    Bar.current += bytes;
    DrawBar();
}

void BarStartEntry(const std::string& name, uint64_t size) {
    if (!Bar.on) return;
    Bar.name = name;
    Bar.current = 0;
    Bar.current_size = size;
    Bar.shown = -1;
    DrawBar();
}

void BarEndEntry() {
    if (!Bar.on) return;
    Bar.finished += Bar.current_size;
    Bar.current = Bar.current_size = 0;
}

void BarClear() {
    if (!Bar.on) return;
    std::fprintf(stderr, "\r%*s\r", 60, "");
    std::fflush(stderr);
    SetProgressLineOpen(false);
    StreamProgressHooks.byte_count_hook = nullptr;
    Bar.on = false;
}

// ---------------------------------------------------------------------------------- helpers

bool ReadFile(const fs::path& path, std::vector<uint8_t>* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::error_code error;
    const uint64_t size = fs::file_size(path, error);
    if (error) return false;
    bytes->resize(static_cast<size_t>(size));
    return size == 0 || static_cast<bool>(in.read(reinterpret_cast<char*>(bytes->data()),
                                                  static_cast<std::streamsize>(size)));
}

// A failed build leaves no file at OUT, so an older installer is never taken for this one.
void RemoveOutput(const std::string& out) {
    std::error_code error;
    fs::remove(CommandLinePath(out), error);
}

// ------------------------------------------------------------------------------------ build

// One entry as it ended up in the installer.
struct Written {
    const PlannedEntry* entry;
    DirectoryRecord record;
    bool fell_back = false;  // compression would not have made it smaller
};

TransferFlags FlagsFor(const PlannedEntry& e, bool fall_back) {
    if (e.scramble) return e.scramble;
    if (fall_back || e.compress == CompressMode::kNo) return 0;
    return Compress;
}

// Adds one entry to the open writer. An alias shares MOVIE's record.
bool AddEntry(const BuildPlan& plan, const PlannedEntry& e, bool fall_back, Reporter* r) {
    if (e.alias_of_movie) {
        if (AliasRecord(e.name.c_str(), "MOVIE")) return true;
        r->Error("cannot add " + e.name + " as an alias of MOVIE");
        return false;
    }
    std::vector<uint8_t> data;
    if (e.is_info) {
        data = plan.info_block;
    } else if (e.is_show) {
        data = plan.show_bytes;
    } else if (e.named_saver) {
        data = plan.saver_bytes;
    } else if (!e.path.empty() && !ReadFile(fs::u8path(e.path), &data)) {
        r->Error("cannot read '" + e.path + "' for " + e.name);
        return false;
    }
    const TransferFlags flags = FlagsFor(e, fall_back);
    if (flags & Compress) BarStartEntry(e.name, data.size());
    const int ok =
        AddEntryFromMemory(data.data(), static_cast<uint32_t>(data.size()), e.name.c_str(), flags);
    if (flags & Compress) BarEndEntry();
    if (!ok) r->Error("cannot write " + e.name + " into the scratch archive (disk full?)");
    return ok != 0;
}

// Writes every entry of the plan into a new archive at `path`. `fall_back` marks the entries to
// store although their mode asks for compression; `copy_from_reader` copies all other entries
// unchanged from the open reader instead of compressing them again.
bool WriteStage(const BuildPlan& plan, const std::string& path, const std::vector<bool>& fall_back,
                bool copy_from_reader, Reporter* r) {
    SetStickyErrorMode(1);
    errno = 0;
    const FileHandle file = CreateNewArchive(path.c_str());
    if (file == kInvalidFile) {
        // The scratch file's name means nothing to the author; the output and the reason do.
        const int reason = errno;
        r->Error("cannot write the output '" + r->o->out +
                 "': no new file can be made in its folder" +
                 (reason ? std::string(" (") + std::strerror(reason) + ")" : ""));
        return false;
    }
    bool ok = true;
    for (size_t i = 0; i < plan.entries.size() && ok; ++i) {
        const PlannedEntry& e = plan.entries[i];
        if (copy_from_reader && !fall_back[i] && !e.alias_of_movie) {
            ok = CopyEntry(e.name.c_str(), 0) != 0;
            if (!ok) r->Error("cannot copy " + e.name + " into '" + path + "'");
        } else {
            ok = AddEntry(plan, e, fall_back[i], r);
        }
    }
    CloseArchive(file);
    if (ok && StickyError.latched) {
        r->Error("cannot write the directory of '" + path + "'");
        ok = false;
    }
    SetStickyErrorMode(0);
    return ok;
}

std::vector<DirectoryRecord> ReaderRecords() {
    std::vector<DirectoryRecord> records;
    for (uint32_t i = 0; i < ReaderRecordCount(); ++i)
        records.push_back(*ReaderRecord(i));
    return records;
}

const DirectoryRecord* RecordNamed(const std::vector<DirectoryRecord>& records,
                                   const std::string& name) {
    for (const DirectoryRecord& record : records)
        if (NameMatches(record.name, name.c_str())) return &record;
    return nullptr;
}

const PlannedEntry* PlannedNamed(const BuildPlan& plan, const std::string& name) {
    for (const PlannedEntry& e : plan.entries)
        if (e.name == name) return &e;
    return nullptr;
}

// Writes the stub, then every entry of the stage archive as it stands there (a plain copy keeps
// the method and key; an entry that shared its data shares it again), through the installer's
// own writer. `records` (in directory order, the first added first) receives the records with
// their offsets moved by the stub's size.
bool JoinStub(const BuildPlan& plan, const std::vector<uint8_t>& stub, const std::string& stage,
              const std::string& out, std::vector<DirectoryRecord>* records, Reporter* r) {
    if (OpenArchive(stage.c_str()) == kInvalidFile) {
        r->Error("cannot read back the scratch archive '" + stage + "'");
        return false;
    }
    *records = ReaderRecords();
    const uint64_t stage_size = PlatFileSize(ReaderHandle());
    // Zero bytes after the stub make the installer's length a multiple of 8, so a signing tool
    // appends its certificate table right after the directory.
    std::vector<uint8_t> prefix = stub;
    prefix.resize(stub.size() + SignaturePadding(stub.size() + stage_size), 0);
    if (prefix.size() + stage_size > 0xFFFFFFFFull) {
        CloseArchive(ReaderHandle());
        r->Error("the installer would be " + std::to_string(prefix.size() + stage_size) +
                 " bytes; archive offsets are 32-bit (at most 4 GiB - 1)");
        return false;
    }
    SetStickyErrorMode(1);
    const FileHandle file = CreateNewArchive(out.c_str());
    bool ok = WriteArchivePrefix(prefix.data(), static_cast<uint32_t>(prefix.size())) == 1;
    for (size_t i = 0; ok && i < records->size(); ++i) {
        const DirectoryRecord& record = (*records)[i];
        const std::string name(record.name, strnlen(record.name, sizeof record.name));
        // Only the manifest makes entries share data: equal offsets alone also come from an
        // entry of zero bytes followed by the next one.
        const PlannedEntry* planned = PlannedNamed(plan, name);
        if (planned && planned->alias_of_movie) {
            ok = AliasRecord(name.c_str(), "MOVIE") == 1;
        } else {
            ok = CopyEntry(name.c_str(), 0) == 1;
        }
    }
    CloseArchive(file);
    CloseArchive(ReaderHandle());
    ok = ok && !StickyError.latched;
    SetStickyErrorMode(0);
    if (!ok) {
        r->Error("cannot write '" + out + "' (disk full?)");
        return false;
    }
    for (DirectoryRecord& record : *records)
        if (record.method != kMethodInline)
            record.data_offset += static_cast<uint32_t>(prefix.size());
    return true;
}

// What entry `e` of the open reader holds compared with what the manifest meant: "" when the
// bytes are the same, else how they differ.
std::string EntryDifference(const BuildPlan& plan, const PlannedEntry& e) {
    if (e.alias_of_movie)
        return SameEntryData(e.name.c_str(), "MOVIE") ? "" : "does not share MOVIE's data";
    std::vector<uint8_t> want;
    if (e.is_info) {
        want = plan.info_block;
    } else if (e.is_show) {
        want = plan.show_bytes;
    } else if (e.named_saver) {
        want = plan.saver_bytes;
    } else if (!e.path.empty() && !ReadFile(fs::u8path(e.path), &want)) {
        return "'" + e.path + "' cannot be read again";
    }
    const int32_t size = GetOriginalSize(e.name.c_str());
    if (size < 0) return "is missing";
    if (static_cast<uint64_t>(size) != want.size())
        return "holds " + std::to_string(size) + " bytes, its file " + std::to_string(want.size());
    // One byte more than the file: a stored entry would be cut silently at the exact size.
    std::vector<uint8_t> got(want.size() + 1);
    if (!ReadEntryToMemory(e.name.c_str(), got.data(), static_cast<uint32_t>(got.size())))
        return "cannot be read back";
    got.resize(want.size());
    if (got != want) {
        size_t at = 0;
        while (got[at] == want[at])
            ++at;
        return "differs from " +
               (e.is_info   ? std::string("the INFO block")
                : e.is_show ? std::string("the show")
                            : "'" + e.path + "'") +
               " at byte " + std::to_string(at);
    }
    return "";
}

// Reopens the result: every entry must pass `sspack verify`, and every entry must read back,
// through the installer's own reader, as the bytes the manifest meant for it.
bool VerifyOutput(const Options& o, const BuildPlan& plan, Reporter* r) {
    std::string file = o.out;
    char* argv[] = {&file[0], nullptr};
    const bool silent = o.quiet || o.json;
    const int token = silent ? SilenceStdout() : -1;
    const int verified = CmdVerify(1, argv);
    if (silent) RestoreStdout(token);
    if (verified != 0) {
        r->Error("'" + o.out + "' does not verify");
        return false;
    }
    if (OpenArchive(o.out.c_str()) == kInvalidFile) {
        r->Error("'" + o.out + "' cannot be opened again");
        return false;
    }
    std::string difference;
    const PlannedEntry* differing = nullptr;
    for (const PlannedEntry& e : plan.entries) {
        difference = EntryDifference(plan, e);
        StickyError.latched = 0;
        if (!difference.empty()) {
            differing = &e;
            break;
        }
    }
    CloseArchive(ReaderHandle());
    if (differing) {
        r->Error("'" + o.out + "': entry " + differing->name + " " + difference);
        return false;
    }
    if (o.json) {
        std::printf("{\"verified\": %s}\n", JsonText(o.out).c_str());
    } else if (!o.quiet) {
        std::printf("verified: every entry of %s holds the bytes of its file\n", o.out.c_str());
    }
    return true;
}

std::string MethodOf(const Written& w) {
    if (w.entry->alias_of_movie) return "alias of MOVIE";
    if (w.record.method != kMethodStored) return "compressed";
    if (w.record.xor_key) {
        char text[32];
        std::snprintf(text, sizeof text, "stored, key 0x%02X", w.record.xor_key);
        return text;
    }
    return w.fell_back ? "stored (compression would not make it smaller)" : "stored";
}

void PrintSummary(const Options& o, const std::vector<Written>& written, uint64_t stub_size,
                  uint64_t total) {
    if (o.json) {
        for (const Written& w : written) {
            std::printf(
                "{\"entry\": %s, \"source\": %s, \"original_size\": %u, \"stored_size\": %u, "
                "\"data_offset\": %u, \"method\": \"%s\", \"key\": %u, \"alias\": %s, "
                "\"fell_back_to_stored\": %s}\n",
                JsonText(w.entry->name).c_str(),
                JsonText(w.entry->is_info        ? std::string("(INFO block)")
                         : w.entry->is_show      ? std::string("(show)")
                         : w.entry->path.empty() ? std::string("(empty)")
                                                 : w.entry->path)
                    .c_str(),
                w.record.original_size, w.record.stored_size, w.record.data_offset,
                w.record.method == kMethodStored ? "stored" : "compressed", w.record.xor_key,
                w.entry->alias_of_movie ? "true" : "false", w.fell_back ? "true" : "false");
        }
        std::printf("{\"result\": \"built\", \"output\": %s, \"size\": %" PRIu64
                    ", \"stub_size\": %" PRIu64 ", \"records\": %zu}\n",
                    JsonText(o.out).c_str(), total, stub_size, written.size());
        return;
    }
    if (o.quiet) return;
    std::printf("%-9s  %10s  %10s  %6s  %s\n", "ENTRY", "ORIGINAL", "STORED", "RATIO", "METHOD");
    for (const Written& w : written) {
        char ratio[16] = "-";
        if (w.record.original_size && !w.entry->alias_of_movie)
            std::snprintf(ratio, sizeof ratio, "%.0f%%",
                          100.0 * w.record.stored_size / w.record.original_size);
        std::printf("%-9s  %10s  %10s  %6s  %s\n", w.entry->name.c_str(),
                    SizeText(w.record.original_size).c_str(),
                    w.entry->alias_of_movie ? "-" : SizeText(w.record.stored_size).c_str(), ratio,
                    MethodOf(w).c_str());
    }
    std::printf("built %s: %s (stub %s + payload %s, %zu records)\n", o.out.c_str(),
                SizeText(total).c_str(), SizeText(stub_size).c_str(),
                SizeText(total - stub_size).c_str(), written.size());
}

int Usage(const std::string& problem) {
    std::fprintf(stderr, "sspack: build: %s\n", problem.c_str());
    PrintSynopsis(stderr, "build");
    return kExitUsage;
}

bool ParseOptions(int argc, char** argv, Options* o, std::string* problem) {
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        const int signing = ParseSignOption(argc, argv, &i, &o->sign, problem);
        if (signing < 0) return false;
        if (signing) continue;
        if ((arg == "-o" || arg == "--stub") && i + 1 >= argc) {
            *problem = arg + " needs a file";
            return false;
        }
        if (arg == "--arch") {
            if (i + 1 >= argc ||
                (std::strcmp(argv[i + 1], "x64") && std::strcmp(argv[i + 1], "x86"))) {
                *problem = "--arch needs x64 or x86";
                return false;
            }
            o->arch = argv[++i];
            continue;
        }
        if (arg == "-o") {
            o->out = argv[++i];
        } else if (arg == "--stub") {
            o->stub = argv[++i];
        } else if (arg == "--host") {
            o->host = true;
        } else if (arg == "--strict") {
            o->strict = true;
        } else if (arg == "--verify") {
            o->verify = true;
        } else if (arg == "--json") {
            o->json = true;
        } else if (arg == "-q" || arg == "--quiet") {
            o->quiet = true;
        } else if (arg == "-v" || arg == "--verbose") {
            o->verbose = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            *problem = "unknown option '" + arg + "'";
            return false;
        } else if (o->manifest.empty()) {
            o->manifest = arg;
        } else {
            *problem = "unexpected argument '" + arg + "'";
            return false;
        }
    }
    if (o->manifest.empty())
        *problem = "no manifest given";
    else if (o->out.empty())
        *problem = "no output file given (-o OUT)";
    else if (o->quiet && o->verbose)
        *problem = "-q and -v exclude each other";
    else
        *problem = SignOptionsProblem(o->sign);
    return problem->empty();
}

// The stub, checked before anything is written. `arch` receives the architecture built for,
// `found` the stub's path.
bool LoadStub(const Options& o, std::vector<uint8_t>* stub, std::string* arch, std::string* found,
              Reporter* r) {
    std::vector<std::string> tried;
    const std::string path =
        o.stub.empty() ? FindStub(o.arch.empty() ? "x64" : o.arch, o.host, &tried) : o.stub;
    *found = path;
    if (path.empty()) {
        std::string list;
        for (const std::string& t : tried)
            list += (list.empty() ? "" : ", ") + t;
        r->Error(std::string("no installer stub found (looked for ") + list +
                 "); give one with --stub FILE" + (o.host ? "" : ", or use --host"));
        return false;
    }
    const std::string unreadable = InputProblem(CommandLinePath(path));
    if (!unreadable.empty()) {
        // A stub the environment names is said to come from there.
        std::string origin;
        for (const char* variable : {"SSPACK_STUB", "SSPACK_STUB_DIR"}) {
            const char* value = std::getenv(variable);
            if (o.stub.empty() && origin.empty() && value && *value)
                origin = std::string(" (named by ") + variable + "=" + value + ")";
        }
        r->Error("the stub '" + path + "' " + unreadable + origin);
        return false;
    }
    if (!ReadFile(path, stub) || stub->empty()) {
        r->Error("cannot read the stub '" + path + "'");
        return false;
    }
    r->Verbose("stub: " + path + " (" + std::to_string(stub->size()) + " bytes)");
    StubKind kind = StubKind::kWindows;
    std::string problem;
    if (!CheckStub(*stub, o.arch, &kind, arch, &problem)) {
        r->Error("the stub '" + path + "' " + problem);
        return false;
    }
    if (OpenArchive(path.c_str()) != kInvalidFile) {
        CloseArchive(ReaderHandle());
        r->Error("the stub '" + path +
                 "' already carries a payload archive: it is a built installer, not the stub");
        return false;
    }
    if (kind == StubKind::kHost) arch->clear();
    return true;
}

// The screen saver program must suit the installer's architecture. The project's own program
// gets the author's name and icon; any other must understand the uninstall entry's /U. The face
// goes into the stub.
bool PrepareStub(const Options& o, BuildPlan* p, const std::string& arch,
                 std::vector<uint8_t>* stub, Reporter* r) {
    BuildPlan& plan = *p;
    if (arch.empty()) return true;  // the host installer: no Windows program, no resources
    const std::string strict = o.strict ? " (an error with --strict)" : "";
    for (PlannedEntry& e : plan.entries) {
        if (e.name != "SAVER") continue;
        std::string problem = SaverProblem(e.path, arch);
        if (!problem.empty())
            r->Diagnostic(o.manifest, e.line, o.strict,
                          "[Files] " + e.key + ": '" + e.path + "' " + problem + strict);
        if (!problem.empty() && o.strict) return false;
        if (!problem.empty()) continue;
        std::vector<uint8_t> saver;
        if (!ReadFile(fs::u8path(e.path), &saver)) {
            r->Error("cannot read '" + e.path + "' for SAVER");
            return false;
        }
        if (!IsOwnSaverProgram(saver)) {
            if (e.found_saver) continue;
            r->Diagnostic(o.manifest, e.line, o.strict,
                          "[Files] Saver: '" + e.path +
                              "' is not this project's screen saver program: the uninstall "
                              "entry runs NAME.scr /U, which must remove it (docs/manifest.md)" +
                              strict);
            if (o.strict) return false;
            continue;
        }
        if (!ApplySaverFace(plan.face, &saver, &problem)) {
            r->Diagnostic(
                o.manifest, plan.face.icon.empty() ? e.line : plan.face.icon_line, true,
                (plan.face.icon.empty() ? "[Files] Saver: " : "[Installer] Icon: ") + problem);
            return false;
        }
        plan.saver_bytes.swap(saver);
        e.named_saver = true;
    }
    std::string problem;
    if (!ApplyFace(plan.face, stub, &problem)) {
        r->Diagnostic(o.manifest, plan.face.icon_line, true,
                      (plan.face.icon.empty() ? "" : "[Installer] Icon: ") + problem);
        return false;
    }
    return true;
}

// A show's screen saver program when the manifest names none, and its MOVIE, once the
// installer's architecture is known.
bool ShowInputs(const Options& o, const std::string& arch, BuildPlan* plan, Reporter* r) {
    if (!PlannedNamed(*plan, "SAVER")) {
        // The host installer runs no Windows program; it carries the x64 one all the same.
        const std::string saver_arch = arch.empty() ? "x64" : arch;
        std::vector<std::string> tried;
        const std::string path = FindSaver(saver_arch, &tried);
        if (path.empty()) {
            std::string list;
            for (const std::string& t : tried)
                list += (list.empty() ? "" : ", ") + t;
            r->Diagnostic(o.manifest, plan->show.line, true,
                          "[Show] without [Files] Saver=: no " + saver_arch +
                              " screen saver program found (looked for " + list +
                              "); give one with Saver=");
            return false;
        }
        PlannedEntry saver;
        saver.name = "SAVER";
        saver.key = "Saver";
        saver.path = path;
        saver.line = plan->show.line;
        saver.found_saver = true;
        std::error_code error;
        saver.size = fs::file_size(fs::u8path(path), error);
        plan->entries.insert(plan->entries.begin(), saver);
        plan->inputs.push_back(path);
        r->Verbose("screen saver program: " + path);
    }
    Diagnostics d;
    const bool made = MakeShowMovie(arch, &d, plan);
    for (const Diagnostic& item : d.items)
        r->Diagnostic(o.manifest, item.line, item.error, item.message);
    return made;
}

// Everything that can be checked before a byte is written. kExitBuilt when all passed.
int CheckInputs(const Options& o, Reporter* r, BuildPlan* plan, std::vector<uint8_t>* stub) {
    Diagnostics d;
    const bool loaded = LoadManifest(o.manifest, o.strict, &d, plan);
    // In the order of the manifest's lines; what concerns the file as a whole comes first.
    std::stable_sort(d.items.begin(), d.items.end(),
                     [](const Diagnostic& a, const Diagnostic& b) { return a.line < b.line; });
    // -q leaves out the summary, never a warning.
    for (const Diagnostic& item : d.items)
        r->Diagnostic(o.manifest, item.line, item.error, item.message);
    if (!loaded) return kExitUsage;
    std::string stub_path, arch;
    if (!LoadStub(o, stub, &arch, &stub_path, r)) return kExitUsage;
    SelectArchitecture(arch, plan);
    if (plan->show.given && !ShowInputs(o, arch, plan, r)) return kExitUsage;
    std::string input = InputThatIs(o.out, plan->inputs);
    if (input.empty() && SameFile(CommandLinePath(stub_path), CommandLinePath(o.out)))
        input = stub_path;
    if (!input.empty()) {
        r->Error("the output '" + o.out + "' would overwrite the input '" + input + "'");
        return kExitUsage;
    }
    std::error_code error;
    if (fs::is_directory(CommandLinePath(o.out), error)) {
        r->Error("cannot write the output '" + o.out + "': it is a folder");
        return kExitUsage;
    }
    const std::string folder = OutputFolderProblem(o.out);
    if (!folder.empty()) {
        r->Error("cannot write the output '" + o.out + "': " + folder);
        return kExitUsage;
    }
    if (!PrepareStub(o, plan, arch, stub, r)) return kExitUsage;
    uint64_t bound = stub->size() + uint64_t{kPayloadRecords} * kRecordSize;
    for (const PlannedEntry& e : plan->entries)
        bound += e.alias_of_movie ? 0 : e.size;
    if (bound > 0xFFFFFFFFull) {
        r->Diagnostic(o.manifest, 0, true,
                      "the inputs add up to " + std::to_string(bound) +
                          " bytes; an installer holds at most 4 GiB - 1 (32-bit offsets)");
        return kExitUsage;
    }
    return kExitBuilt;
}

// Marks the entries whose compression in the archive at `path` did not pay. The reader is left
// open on that archive. False when it cannot be read back.
bool FindFallBacks(const BuildPlan& plan, const std::string& path, std::vector<bool>* fall_back,
                   Reporter* r) {
    if (OpenArchive(path.c_str()) == kInvalidFile) {
        r->Error("cannot read back the scratch archive '" + path + "'");
        return false;
    }
    const std::vector<DirectoryRecord> records = ReaderRecords();
    fall_back->assign(plan.entries.size(), false);
    for (size_t i = 0; i < plan.entries.size(); ++i) {
        const PlannedEntry& e = plan.entries[i];
        const DirectoryRecord* record = RecordNamed(records, e.name);
        (*fall_back)[i] = e.compress == CompressMode::kAuto && !e.scramble && !e.alias_of_movie &&
                          record && record->method != kMethodStored &&
                          record->stored_size >= record->original_size;
    }
    return true;
}

// Writes the payload: every entry compressed as asked into `stage_a`; then, when some did not
// get smaller, `stage_b` with those stored and the others copied unchanged. The archive to append
// to the stub, or "" after a failure.
std::string WritePayload(const Options& o, const BuildPlan& plan, const std::string& stage_a,
                         const std::string& stage_b, std::vector<bool>* fall_back, Reporter* r) {
    Bar.on = StderrIsTerminal() && !o.quiet && !o.json;
    for (const PlannedEntry& e : plan.entries)
        if (!e.alias_of_movie && !e.scramble && e.compress != CompressMode::kNo)
            Bar.total += e.size;
    if (Bar.on) StreamProgressHooks.byte_count_hook = OnBytesWritten;
    const size_t n = plan.entries.size();
    r->Verbose("compressing " + std::to_string(n) + " entries into " + stage_a);
    const bool written = WriteStage(plan, stage_a, std::vector<bool>(n, false), false, r);
    BarClear();
    if (!written || !FindFallBacks(plan, stage_a, fall_back, r)) return "";
    bool any = false;
    for (bool b : *fall_back)
        any = any || b;
    std::string result = stage_a;
    if (any) {
        r->Verbose("storing the entries that compression did not make smaller");
        result = WriteStage(plan, stage_b, *fall_back, true, r) ? stage_b : "";
    }
    CloseArchive(ReaderHandle());
    return result;
}

int Build(const Options& o, Reporter* r) {
    BuildPlan plan;
    std::vector<uint8_t> stub;
    const int checked = CheckInputs(o, r, &plan, &stub);
    if (checked != kExitBuilt) return checked;

    // Each scratch file is new, under a name of its own; an interrupt removes them, and an
    // earlier OUT stays as it was until the finished installer is renamed over it.
    ScratchFile stage_a(o.out), stage_b(o.out), part(o.out), signing(o.out);
    std::vector<bool> fall_back;
    const std::string payload =
        WritePayload(o, plan, stage_a.path(), stage_b.path(), &fall_back, r);
    std::vector<DirectoryRecord> records;
    if (payload.empty() || !JoinStub(plan, stub, payload, part.path(), &records, r)) {
        RemoveOutput(o.out);
        return kExitIo;
    }
    // Signed before it takes OUT's place, so OUT never holds an installer that failed to sign.
    if (o.sign.sign) {
        std::error_code error;
        const std::string problem = SignInstaller(o.sign, part.path(), signing.path(),
                                                  fs::file_size(part.path(), error), o.verbose);
        if (!problem.empty()) {
            r->Error(o.out + ": " + problem);
            RemoveOutput(o.out);
            return kExitIo;
        }
    }
    std::string reason;
    if (!part.MoveIntoPlace(&reason)) {
        r->Error("cannot rename '" + part.path() + "' to '" + o.out + "': " + reason);
        RemoveOutput(o.out);
        return kExitIo;
    }
    if (o.verify && !VerifyOutput(o, plan, r)) {
        RemoveOutput(o.out);
        return kExitIo;
    }

    std::vector<Written> written;
    for (size_t i = 0; i < plan.entries.size(); ++i) {
        const DirectoryRecord* record = RecordNamed(records, plan.entries[i].name);
        if (record) written.push_back({&plan.entries[i], *record, fall_back[i]});
    }
    std::error_code error;
    PrintSummary(o, written, stub.size(), fs::file_size(CommandLinePath(o.out), error));
    return kExitBuilt;
}

}  // namespace

int CmdBuild(int argc, char** argv) {
    Options o;
    std::string problem;
    if (!ParseOptions(argc, argv, &o, &problem)) return Usage(problem);
    Reporter r{&o};
    const int code = Build(o, &r);
    if (code != kExitBuilt && o.json)
        std::printf("{\"result\": \"failed\", \"exit_code\": %d}\n", code);
    return code;
}
