// sspack info: the INFO block of an installer or screen saver file, written back as the
// manifest keys it came from. With --manifest the output is a whole manifest whose files are the
// entries as `sspack extract` names them, so extracting into a folder and saving the manifest
// there rebuilds the same installer.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "archive/extract.h"
#include "archive/format.h"
#include "archive/reader.h"
#include "archive/sticky_error.h"
#include "tools/sspack/codepage.h"
#include "tools/sspack/commands.h"
#include "tools/sspack/file_safety.h"
#include "tools/sspack/info_block.h"
#include "tools/sspack/manifest.h"
#include "tools/sspack/show_info.h"
#include "tools/sspack/stub_face.h"
#include "tools/sspack/text_util.h"

namespace {

constexpr uint32_t kDefaultEncoding = 1252;

struct Printer {
    std::vector<std::string> notes;  // what the manifest cannot say exactly

    // A manifest value: quoted when the reader would otherwise trim or misread it. Whatever
    // the file says, it stays on its own line and cannot drive a terminal.
    std::string Value(const std::string& key, const std::string& text) {
        std::string v = text;
        for (char& c : v)
            if (c == '\n' || c == '\r') {
                c = ' ';
                notes.push_back(key + ": a line break became a space");
            }
        bool escaped = false;
        v = EscapedControls(v, true, &escaped);
        if (escaped) notes.push_back(key + ": control characters are written as \\xNN");
        const bool quote = !v.empty() && (v.front() == ' ' || v.back() == ' ' || v.front() == '"' ||
                                          v.front() == '\t' || v.back() == '\t');
        return quote ? "\"" + v + "\"" : v;
    }

    void Text(const std::string& key, const std::string& bytes, uint32_t code_page) {
        bool exact = true;
        const std::string text = DecodeText(bytes, code_page, &exact);
        if (!exact)
            notes.push_back(key + ": bytes without meaning in code page " +
                            std::to_string(code_page) + " became '?'");
        std::printf("%s=%s\n", key.c_str(), Value(key, text).c_str());
    }
};

void PrintEntryOptions(const std::string& key, const DirectoryRecord& record) {
    if (record.method != kMethodStored) {
        std::printf("%s.Compress=yes\n", key.c_str());
        return;
    }
    std::printf("%s.Compress=no\n", key.c_str());
    if (record.xor_key) std::printf("%s.Scramble=0x%02X\n", key.c_str(), record.xor_key);
}

std::string RecordName(const DirectoryRecord& record) {
    return std::string(record.name, strnlen(record.name, kNameSize));
}

// [Files] for the entries of the open reader, named as `sspack extract` writes them.
void PrintFiles(Printer* p, bool movie_is_show) {
    struct Key {
        const char* key;
        const char* entry;
    };
    static const Key kKeys[] = {
        {"Saver", "SAVER"},       {"Stub", "STUB"}, {"Movie", "MOVIE"}, {"PreviewB", "PREVIEWB"},
        {"PreviewF", "PREVIEWF"}, {"Zett", "ZETT"}, {"Kmdl", "KMDL"},   {"Document", "LESMI"}};
    std::printf("\n[Files]\n");
    for (const Key& k : kKeys) {
        const DirectoryRecord* record = FindRecord(k.entry, kClassNormal);
        if (!record) continue;
        // A show's MOVIE is made again from [Show].
        if (movie_is_show && std::string(k.entry) == "MOVIE") continue;
        if (std::string(k.entry) == "PREVIEWF" && SameEntryData("PREVIEWF", "MOVIE")) {
            std::printf("PreviewF=movie\n");
            continue;
        }
        std::printf("%s=%s\n", k.key, p->Value(k.key, RecordName(*record)).c_str());
        PrintEntryOptions(k.key, *record);
    }
    if (const DirectoryRecord* info = FindRecord("INFO", kClassNormal))
        PrintEntryOptions("Info", *info);
    for (size_t k = 0;; ++k) {
        const DirectoryRecord* record = FindRecord(AdditionalEntryName(k).c_str(), kClassNormal);
        if (!record) break;
        std::printf("Additional=%s\n", p->Value("Additional", RecordName(*record)).c_str());
        PrintEntryOptions("Additional" + std::to_string(k + 1), *record);
    }
}

// `face`: the version resource of an installer built from the stub, or null.
void PrintInfo(const InfoFields& f, bool manifest, const VersionInfo* face, Printer* p) {
    static const char* const kTextKeys[] = {"Question", "Success", "Failure", "Progress"};
    const uint32_t encoding = f.code_page ? f.code_page : kDefaultEncoding;
    if (f.code_page != 0 && !KnownCodePage(f.code_page))
        p->notes.push_back("CodePage " + std::to_string(f.code_page) +
                           " is not an ANSI code page that sspack writes");
    std::printf("[Installer]\n");
    p->Text("Name", f.name, encoding);
    std::printf("CodePage=%u\n", f.code_page);
    const std::string follow = FollowUpWord(f.follow_up);
    if (follow.empty()) {
        p->notes.push_back("FollowUp: the value " + std::to_string(f.follow_up) +
                           " has no word; the installer runs no follow-up action for it");
    } else {
        std::printf("FollowUp=%s\n", follow.c_str());
    }
    std::printf("ShowProgress=%s\n", f.show_progress ? "yes" : "no");
    std::printf("KeepCurrentSaver=%s\n", f.keep_current_saver ? "yes" : "no");
    if (!f.document_path.empty()) p->Text("DocumentPath", f.document_path, encoding);
    if (face) {
        const VersionField* publisher = face->Field("CompanyName");
        const VersionField* version = face->Field("FileVersion");
        if (publisher && !publisher->value.empty())
            std::printf("Publisher=%s\n", p->Value("Publisher", publisher->value).c_str());
        if (version) std::printf("Version=%s\n", p->Value("Version", version->value).c_str());
    }
    if (manifest) {
        std::printf("Template=INFO\n");
        // `sspack extract` writes the installer's icon beside the entries.
        if (face && !FindRecord(kIconFileName, kClassNormal))
            std::printf("Icon=%s\n", kIconFileName);
    }

    std::printf("\n[Texts]\n");
    for (int i = 0; i < info::kTextCount; ++i)
        if (f.text_given[i]) p->Text(kTextKeys[i], f.texts[i], encoding);
    if (f.custom_labels) {
        p->Text("Yes", f.yes_label, encoding);
        p->Text("No", f.no_label, encoding);
    }
    if (f.code_page == 0) return;
    std::printf("\n[Alternative]\n");
    std::printf("CodePage=%u\n", kDefaultEncoding);
    p->Text("Name", f.alt_name, kDefaultEncoding);
    for (int i = 0; i < info::kTextCount; ++i)
        if (f.alt_given[i]) p->Text(kTextKeys[i], f.alt_texts[i], kDefaultEncoding);
}

// The same settings as one JSON document, keyed as the manifest keys them; texts in UTF-8.
void PrintInfoJson(const std::string& file, const InfoFields& f, const VersionInfo* face) {
    static const char* const kTextKeys[] = {"Question", "Success", "Failure", "Progress"};
    std::vector<std::string> notes;
    const auto text = [&notes](const char* key, const std::string& bytes, uint32_t code_page) {
        bool exact = true;
        const std::string decoded = DecodeText(bytes, code_page, &exact);
        if (!exact)
            notes.push_back(std::string(key) + ": bytes without meaning in code page " +
                            std::to_string(code_page) + " became '?'");
        return std::string("\"") + key + "\": " + JsonText(decoded);
    };
    const uint32_t encoding = f.code_page ? f.code_page : kDefaultEncoding;
    std::string out = "{\"file\": " + JsonText(file) +
                      ", \"certificate_size\": " + std::to_string(ReaderCertificateSize());
    if (face) {
        out += ", \"properties\": {";
        const char* separator = "";
        for (const VersionField& field : face->fields) {
            out += separator + JsonText(field.key) + ": " + JsonText(field.value);
            separator = ", ";
        }
        out += "}";
    }
    out += ", \"installer\": {" + text("Name", f.name, encoding) +
           ", \"CodePage\": " + std::to_string(f.code_page);
    const std::string follow = FollowUpWord(f.follow_up);
    out += ", \"FollowUp\": " + (follow.empty() ? std::to_string(f.follow_up) : JsonText(follow));
    out += std::string(", \"ShowProgress\": ") + (f.show_progress ? "true" : "false");
    out += std::string(", \"KeepCurrentSaver\": ") + (f.keep_current_saver ? "true" : "false");
    if (!f.document_path.empty()) out += ", " + text("DocumentPath", f.document_path, encoding);
    if (face) {
        const VersionField* publisher = face->Field("CompanyName");
        const VersionField* version = face->Field("FileVersion");
        if (publisher && !publisher->value.empty())
            out += ", \"Publisher\": " + JsonText(publisher->value);
        if (version) out += ", \"Version\": " + JsonText(version->value);
    }
    out += "}, \"texts\": {";
    const char* separator = "";
    for (int i = 0; i < info::kTextCount; ++i) {
        if (!f.text_given[i]) continue;
        out += separator + text(kTextKeys[i], f.texts[i], encoding);
        separator = ", ";
    }
    if (f.custom_labels)
        out += std::string(separator) + text("Yes", f.yes_label, encoding) + ", " +
               text("No", f.no_label, encoding);
    out += "}";
    if (f.code_page != 0) {
        out += ", \"alternative\": {\"CodePage\": " + std::to_string(kDefaultEncoding) + ", " +
               text("Name", f.alt_name, kDefaultEncoding);
        for (int i = 0; i < info::kTextCount; ++i)
            if (f.alt_given[i]) out += ", " + text(kTextKeys[i], f.alt_texts[i], kDefaultEncoding);
        out += "}";
    }
    out += ", \"notes\": [";
    for (size_t i = 0; i < notes.size(); ++i)
        out += (i ? ", " : "") + JsonText(notes[i]);
    std::printf("%s]}\n", out.c_str());
}

}  // namespace

int CmdInfo(int argc, char** argv) {
    std::string file;
    bool manifest = false, json = false;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--manifest") {
            manifest = true;
        } else if (arg == "--json") {
            json = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "sspack: info: unknown option '%s'\n", arg.c_str());
            return 1;
        } else if (file.empty()) {
            file = arg;
        } else {
            std::fprintf(stderr, "sspack: info: unexpected argument '%s'\n", arg.c_str());
            return 1;
        }
    }
    if (file.empty() || (manifest && json)) {
        std::fprintf(stderr, "usage: sspack info FILE [--manifest|--json]\n");
        return 1;
    }
    const std::string problem = InputProblem(CommandLinePath(file));
    if (!problem.empty()) {
        std::fprintf(stderr, "sspack: info: %s: %s\n", file.c_str(), problem.c_str());
        return 1;
    }
    if (OpenArchive(file.c_str()) == kInvalidFile) {
        std::fprintf(stderr, "sspack: info: %s: no payload archive found%s\n", file.c_str(),
                     MissingPayloadHint(file).c_str());
        return 1;
    }
    std::vector<uint8_t> block(info::kBlockSize, 0);
    if (GetStoredSize("INFO") == -1 || !ReadEntryToMemory("INFO", block.data(), info::kBlockSize)) {
        CloseArchive(ReaderHandle());
        std::fprintf(stderr, "sspack: info: %s: no readable INFO entry\n", file.c_str());
        return 1;
    }
    if (json) {
        const VersionInfo face = ReadFileVersionInfo(file);
        PrintInfoJson(file, DecodeInfoBlock(block.data()), IsStubVersion(face) ? &face : nullptr);
        CloseArchive(ReaderHandle());
        return 0;
    }
    Printer printer;
    const std::string shown = EscapedControls(file, true);
    std::printf("; %s of %s\n", manifest ? "manifest" : "INFO", shown.c_str());
    if (ReaderCertificateSize())
        std::printf("; signed: certificate table of %u bytes\n", ReaderCertificateSize());
    if (manifest)
        std::printf("; extract the entries beside this file: sspack extract %s -o FOLDER\n",
                    shown.c_str());
    const VersionInfo face = ReadFileVersionInfo(file);
    const bool built = IsStubVersion(face);
    if (built)
        for (const std::string& line : FacePropertyLines(face))
            std::printf("; %s\n", EscapedControls(line, true).c_str());
    PrintInfo(DecodeInfoBlock(block.data()), manifest, built ? &face : nullptr, &printer);
    std::vector<uint8_t> movie;
    ShowView show;
    const bool is_show = ReadShowEntry(&movie, &show);
    StickyError.latched = 0;
    if (manifest) PrintFiles(&printer, is_show);
    if (is_show) {
        std::printf("\n");
        // Captions come from the file: each stays on its own line and cannot drive a terminal.
        for (const std::string& line : ShowSectionLines(movie, show, manifest))
            std::printf("%s\n", printer.Value("[Show]", line).c_str());
    }
    CloseArchive(ReaderHandle());
    for (const std::string& note : printer.notes)
        std::fprintf(stderr, "sspack: info: %s: %s\n", file.c_str(), note.c_str());
    return 0;
}
