// Reading and checking the manifest. The text is first split into (section, key, value, line)
// items; the checks then work on those, so each message can name the line it is about.
#include "tools/sspack/manifest.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "tools/sspack/codepage.h"
#include "tools/sspack/file_safety.h"
#include "tools/sspack/text_util.h"

namespace fs = std::filesystem;

namespace {

typedef IniItem Item;

// The keys of the manifest; `repeatable` keys form ordered lists.
struct KnownKey {
    const char* section;
    const char* key;
    bool repeatable;
};
const KnownKey kKnownKeys[] = {
    {"installer", "name", false},
    {"installer", "codepage", false},
    {"installer", "encoding", false},
    {"installer", "followup", false},
    {"installer", "showprogress", false},
    {"installer", "keepcurrentsaver", false},
    {"installer", "documentpath", false},
    {"installer", "template", false},
    {"installer", "publisher", false},
    {"installer", "version", false},
    {"installer", "icon", false},
    {"texts", "question", false},
    {"texts", "success", false},
    {"texts", "failure", false},
    {"texts", "progress", false},
    {"texts", "yes", false},
    {"texts", "no", false},
    {"alternative", "codepage", false},
    {"alternative", "name", false},
    {"alternative", "question", false},
    {"alternative", "success", false},
    {"alternative", "failure", false},
    {"alternative", "progress", false},
    {"files", "saver", false},
    {"files", "saver.x86", false},
    {"files", "stub", false},
    {"files", "movie", false},
    {"files", "zett", false},
    {"files", "kmdl", false},
    {"files", "previewb", false},
    {"files", "previewf", false},
    {"files", "document", false},
    {"files", "additional", true},
    {"show", "picture", true},
    {"show", "music", true},
    {"show", "interval", false},
    {"show", "order", false},
    {"show", "fit", false},
    {"show", "transition", false},
    {"show", "transitiontime", false},
    {"show", "background", false},
    {"show", "maxside", false},
};

// The files of [Files] in payload order around INFO and the additional files.
// The installer copies STUB, ZETT and KMDL into every screen saver file, so they are always
// entries; a manifest that leaves one out gets an empty one.
enum FilePresence { kRequired, kOptional, kEmptyWhenOmitted };
struct FileKey {
    const char* key;  // as shown
    const char* entry;
    FilePresence presence;
};
const FileKey kFileKeys[] = {
    {"Saver", "SAVER", kRequired},       {"Stub", "STUB", kEmptyWhenOmitted},
    {"Movie", "MOVIE", kRequired},       {"Info", "INFO", kOptional},
    {"PreviewB", "PREVIEWB", kOptional}, {"PreviewF", "PREVIEWF", kOptional},
    {"Zett", "ZETT", kEmptyWhenOmitted}, {"Kmdl", "KMDL", kEmptyWhenOmitted},
    {"Document", "LESMI", kOptional},
};

const char* const kTextKeys[info::kTextCount] = {"Question", "Success", "Failure", "Progress"};

constexpr uint32_t kDefaultEncoding = 1252;
// The installer extracts the document into the temporary folder; the folder, a backslash and
// the name share 256 bytes, so a long name leaves no room for the folder.
constexpr size_t kMaxDocumentNameBytes = 120;
// The block stream takes a signed 32-bit input size, and every offset is 32 bits.
constexpr uint64_t kMaxEntryBytes = 0x7FFFFFFF;

std::string Lower(const std::string& s) {
    return LowerAscii(s);
}

const KnownKey* FindKnown(const std::string& section, const std::string& key) {
    for (const KnownKey& k : kKnownKeys)
        if (section == k.section && key == k.key) return &k;
    return nullptr;
}

bool KnownSection(const std::string& section) {
    return section == "installer" || section == "texts" || section == "alternative" ||
           section == "files" || section == "show";
}

bool IsOptionKey(const std::string& section, const std::string& key) {
    if (section == "show") return key.compare(0, 8, "caption.") == 0;
    if (section != "files") return false;
    const size_t dot = key.find('.');
    return dot != std::string::npos && dot > 0;
}

// Edits (insert, delete, replace a letter) between two lower-case words.
size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The known key of `section` closest to `key` in spelling, as the reference writes it, or ""
// when none is close (at most a third of its letters differ).
std::string ClosestKey(const std::string& section, const std::string& key) {
    static const char* const kSpellings[] = {"Name",
                                             "CodePage",
                                             "Encoding",
                                             "FollowUp",
                                             "ShowProgress",
                                             "KeepCurrentSaver",
                                             "DocumentPath",
                                             "Template",
                                             "Question",
                                             "Success",
                                             "Failure",
                                             "Progress",
                                             "Yes",
                                             "No",
                                             "Saver",
                                             "Stub",
                                             "Movie",
                                             "Zett",
                                             "Kmdl",
                                             "PreviewB",
                                             "PreviewF",
                                             "Document",
                                             "Additional",
                                             "Saver.x86",
                                             "Picture",
                                             "Music",
                                             "Interval",
                                             "Order",
                                             "Fit",
                                             "Transition",
                                             "TransitionTime",
                                             "Background",
                                             "MaxSide"};
    std::string best;
    size_t best_distance = key.size() / 3 + 1;
    for (const KnownKey& k : kKnownKeys) {
        if (section != k.section) continue;
        const size_t distance = EditDistance(key, k.key);
        if (distance < best_distance) {
            best_distance = distance;
            best = k.key;
        }
    }
    for (const char* spelling : kSpellings)
        if (LowerAscii(spelling) == best) return spelling;
    return best;
}

// The items of known sections and keys; unknown ones and repeated keys are reported.
std::vector<Item> KnownItems(const IniText& ini, Diagnostics* d) {
    for (const IniSection& section : ini.sections)
        if (!KnownSection(section.name))
            d->Error(section.line, "unknown section [" + section.shown +
                                       "] (known: Installer, Texts, Alternative, Files, Show)");
    std::vector<Item> items;
    std::map<std::string, int> seen;  // "section/key" -> first line
    for (const Item& item : ini.items) {
        const KnownKey* known = FindKnown(item.section, item.key);
        if (!KnownSection(item.section)) continue;  // reported with its header
        if (!known && !IsOptionKey(item.section, item.key)) {
            const std::string closest = ClosestKey(item.section, item.key);
            d->Error(item.line, "unknown key " + item.shown +
                                    (closest.empty() ? "" : " (did you mean " + closest + "?)"));
            continue;
        }
        if (!known || !known->repeatable) {
            const std::string id = item.section + "/" + item.key;
            auto first = seen.find(id);
            if (first != seen.end()) {
                d->Error(item.line, item.shown + " is given twice (first on line " +
                                        std::to_string(first->second) + ")");
                continue;
            }
            seen[id] = item.line;
        }
        items.push_back(item);
    }
    return items;
}

const Item* Find(const std::vector<Item>& items, const char* section, const std::string& key) {
    const std::string k = Lower(key);
    for (const Item& item : items)
        if (item.section == section && item.key == k) return &item;
    return nullptr;
}

// A number in decimal or 0x hex; false when the text is not one or exceeds `max`.
bool ParseNumber(const std::string& text, uint32_t max, uint32_t* value) {
    if (text.empty()) return false;
    size_t i = 0;
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        i = 2;
    }
    uint64_t v = 0;
    for (; i < text.size(); ++i) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else {
            return false;
        }
        v = v * base + digit;
        if (v > max) return false;
    }
    *value = static_cast<uint32_t>(v);
    return true;
}

bool ParseBool(const Item* item, bool fallback, Diagnostics* d) {
    if (!item) return fallback;
    const std::string v = Lower(item->value);
    if (v == "yes" || v == "true" || v == "1" || v == "on") return true;
    if (v == "no" || v == "false" || v == "0" || v == "off") return false;
    d->Error(item->line, item->shown + " must be yes or no, not '" + item->value + "'");
    return fallback;
}

// A byte-order mark of UTF-16, or the zero bytes that ASCII text has in UTF-16 without one.
bool LooksLikeUtf16(const std::string& text) {
    if (text.size() >= 2 &&
        ((text[0] == '\xFF' && text[1] == '\xFE') || (text[0] == '\xFE' && text[1] == '\xFF')))
        return true;
    return text.size() >= 4 && (text[0] == '\0' || text[1] == '\0') &&
           (text[2] == '\0' || text[3] == '\0');
}

// A hint for a file path that names nothing: on a system whose names keep their case and
// where '\' is no separator, the file the author probably meant (" (did you mean X?)").
std::string PathHint(const fs::path& dir, const std::string& value) {
#ifdef _WIN32
    (void)dir;
    (void)value;
    return "";
#else
    std::string wanted = value;
    for (char& c : wanted)
        if (c == '\\') c = '/';
    // Each part of the path found again in its folder, ignoring case. A manifest given by its
    // bare name lies in the current folder.
    fs::path found = dir.empty() ? fs::path(".") : dir;
    std::string shown;
    size_t start = 0;
    while (start <= wanted.size()) {
        size_t end = wanted.find('/', start);
        if (end == std::string::npos) end = wanted.size();
        const std::string part = wanted.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".") continue;
        std::string match;
        std::error_code error;
        if (fs::exists(found / part, error)) {
            match = part;
        } else {
            for (const fs::directory_entry& entry : fs::directory_iterator(found, error)) {
                const std::string name = entry.path().filename().u8string();
                if (LowerAscii(name) == LowerAscii(part)) match = name;
            }
        }
        if (match.empty()) return "";
        found /= match;
        shown += (shown.empty() ? "" : "/") + match;
    }
    std::error_code error;
    if (shown.empty() || shown == value || !fs::is_regular_file(found, error)) return "";
    return " (did you mean " + shown + "?)";
#endif
}

// State shared by the checks of one manifest.
struct Loader {
    const std::vector<Item>& items;
    const std::vector<IniSection>& sections;
    Diagnostics* d;
    bool strict;
    fs::path dir;  // the manifest's folder
    BuildPlan* plan;
    uint32_t encoding = kDefaultEncoding;  // code page of the main texts

    void Warn(int line, const std::string& message) {
        if (strict) {
            d->Error(line, message + " (an error with --strict)");
        } else {
            d->Warning(line, message);
        }
    }

    // Encodes one text; reports a character that does not fit and a text over `max` bytes.
    bool Encode(const Item& item, uint32_t code_page, uint32_t max, const char* what,
                std::string* out) {
        std::string problem;
        if (!EncodeText(item.value, code_page, out, &problem)) {
            d->Error(item.line, item.shown + ": " + problem);
            return false;
        }
        if (out->size() > max) {
            d->Error(item.line, item.shown + " is " + std::to_string(out->size()) +
                                    " bytes in code page " + std::to_string(code_page) +
                                    "; the installer keeps at most " + std::to_string(max) +
                                    " bytes for " + what);
            return false;
        }
        return true;
    }

    uint32_t CodePageOf(const char* section, const char* key, uint32_t fallback, bool zero_ok) {
        const Item* item = Find(items, section, key);
        if (!item) return fallback;
        uint32_t cp = 0;
        if (!ParseNumber(item->value, 0xFFFF, &cp) || (cp == 0 && !zero_ok) ||
            (cp != 0 && !KnownCodePage(cp))) {
            d->Error(item->line, item->shown + " '" + item->value +
                                     "' is not a Windows ANSI code page (874, 932, 936, 949, "
                                     "950, 1250 to 1258" +
                                     (zero_ok ? ", or 0)" : ")"));
            return fallback;
        }
        return cp;
    }

    void CheckName(const Item& item, uint32_t code_page, std::string* out) {
        const std::string problem = FileNameProblem(item.value);
        if (!problem.empty()) {
            d->Error(item.line,
                     item.shown + " " + problem + "; it names the screen saver file (NAME.scr)");
            return;
        }
        // The installer judges the name in its code page: "COM¹" is a device there (0xB9).
        if (!Encode(item, code_page, info::kMaxNameBytes, "a name", out)) return;
        const std::string converted = FileNameProblem(*out);
        if (!converted.empty())
            d->Error(item.line, item.shown + " " + converted + " in code page " +
                                    std::to_string(code_page) +
                                    "; it names the screen saver file (NAME.scr)");
    }

    void Installer();
    void Face();
    void Texts(uint32_t code_page);
    void Alternative();
    void Document();
    void Template();
    void Files();
    void Show();
    void ShowSettingsKeys();
    void ShowFiles(const char* key, std::vector<ShowSourceFile>* out);
    void Captions();
    void ArchitectureSavers();
    void Limits();
    bool CheckFile(const Item& item, PlannedEntry* entry);
    void EntryOptions(PlannedEntry* entry, bool has_file);
};

void Loader::Installer() {
    InfoFields& f = plan->fields;
    const uint32_t code_page = CodePageOf("installer", "CodePage", 0, true);
    f.code_page = code_page;
    encoding = CodePageOf("installer", "Encoding", kDefaultEncoding, false);
    const Item* encoding_item = Find(items, "installer", "Encoding");
    if (code_page != 0) {
        if (encoding_item && encoding != code_page)
            d->Error(encoding_item->line, encoding_item->shown +
                                              " applies only with CodePage=0; the texts are "
                                              "written in code page " +
                                              std::to_string(code_page));
        encoding = code_page;
    }
    const Item* name = Find(items, "installer", "Name");
    if (name) {
        CheckName(*name, encoding, &f.name);
    } else {
        d->Error(0, "[Installer] Name= is missing: the screen saver needs a name");
    }
    const Item* follow = Find(items, "installer", "FollowUp");
    if (follow) {
        const std::string v = Lower(follow->value);
        if (v == "none") {
            f.follow_up = 0;
        } else if (v == "display-settings") {
            f.follow_up = 1;
        } else if (v == "start") {
            f.follow_up = 2;
        } else if (v == "open-document") {
            f.follow_up = 3;
        } else {
            d->Error(follow->line, follow->shown + " '" + follow->value +
                                       "' is not one of none, display-settings, start, "
                                       "open-document");
        }
    }
    f.show_progress = ParseBool(Find(items, "installer", "ShowProgress"), true, d) ? 1 : 0;
    f.keep_current_saver = ParseBool(Find(items, "installer", "KeepCurrentSaver"), false, d);
    Texts(encoding);
    Alternative();
    Document();
    Template();
    Face();
}

// The file properties and the icon; the icon's images are checked against the stub's when the
// stub is known.
void Loader::Face() {
    StubFace& face = plan->face;
    const Item* name = Find(items, "installer", "Name");
    if (name) face.name = name->value;
    if (const Item* publisher = Find(items, "installer", "Publisher")) {
        const std::string problem = FaceTextProblem(publisher->value);
        if (problem.empty()) {
            face.publisher = publisher->value;
        } else {
            d->Error(publisher->line, publisher->shown + " " + problem);
        }
    }
    if (const Item* version = Find(items, "installer", "Version")) {
        if (ParseVersion(version->value, face.version_parts)) {
            face.version = version->value;
        } else {
            d->Error(version->line, version->shown + " '" + version->value +
                                        "' is not a version: one to four numbers from 0 to "
                                        "65535 with dots between them, like 1.2 or 1.2.3.4");
        }
    }
    if (const Item* icon = Find(items, "installer", "Icon")) {
        PlannedEntry file;
        if (CheckFile(*icon, &file)) {
            face.icon = file.path;
            face.icon_line = icon->line;
        }
    }
}

void Loader::Texts(uint32_t code_page) {
    InfoFields& f = plan->fields;
    for (int i = 0; i < info::kTextCount; ++i) {
        const Item* item = Find(items, "texts", kTextKeys[i]);
        if (!item) continue;
        f.text_given[i] = Encode(*item, code_page, info::kMaxTextBytes, "a text", &f.texts[i]);
    }
    // The installer shows its own Yes and No unless the custom-labels flag is set.
    const Item* yes = Find(items, "texts", "Yes");
    const Item* no = Find(items, "texts", "No");
    f.yes_label = "Yes";
    f.no_label = "No";
    bool ok = true;
    if (yes) ok = Encode(*yes, code_page, info::kMaxLabelBytes, "a label", &f.yes_label) && ok;
    if (no) ok = Encode(*no, code_page, info::kMaxLabelBytes, "a label", &f.no_label) && ok;
    f.custom_labels = ok && (f.yes_label != "Yes" || f.no_label != "No") ? 1 : 0;
    const Item* progress = Find(items, "texts", "Progress");
    const Item* show = Find(items, "installer", "ShowProgress");
    if (f.show_progress && !progress && show)
        Warn(show->line, "[Installer] ShowProgress=yes has no effect without [Texts] Progress=");
}

void Loader::Alternative() {
    InfoFields& f = plan->fields;
    const uint32_t alt_cp = CodePageOf("alternative", "CodePage", kDefaultEncoding, false);
    const Item* alt_name = Find(items, "alternative", "Name");
    if (f.code_page == 0) {
        for (const Item& item : items)
            if (item.section == "alternative") {
                Warn(item.line, item.shown +
                                    " is never used: with [Installer] CodePage=0 the "
                                    "installer shows the main texts everywhere");
                break;
            }
        return;
    }
    for (int i = 0; i < info::kTextCount; ++i) {
        const Item* item = Find(items, "alternative", kTextKeys[i]);
        if (!item) continue;
        f.alt_given[i] = Encode(*item, alt_cp, info::kMaxTextBytes, "a text", &f.alt_texts[i]);
    }
    // On a system with another code page the installer takes the alternative name whether or
    // not it is empty, so it must always be there.
    if (alt_name) {
        CheckName(*alt_name, alt_cp, &f.alt_name);
        return;
    }
    const Item* name = Find(items, "installer", "Name");
    std::string problem;
    // A name that failed its own checks has been reported already.
    if (name && !f.name.empty() && !EncodeText(name->value, alt_cp, &f.alt_name, &problem)) {
        d->Error(name->line, "[Alternative] Name= is missing and " + name->shown + ": " + problem +
                                 "; give the name for systems with another code page");
    }
}

void Loader::Document() {
    InfoFields& f = plan->fields;
    const Item* path = Find(items, "installer", "DocumentPath");
    const Item* file = Find(items, "files", "Document");
    const Item* follow = Find(items, "installer", "FollowUp");
    std::string value;
    int line = 0;
    std::string shown;
    if (path) {
        value = path->value;
        line = path->line;
        shown = path->shown;
    } else if (file) {
        value = fs::u8path(file->value).filename().u8string();
        line = file->line;
        shown = file->shown;
    }
    if (f.follow_up == 3 && !file)
        d->Error(follow->line,
                 follow->shown + "=open-document needs the document: [Files] Document=");
    if (file && f.follow_up != 3)
        Warn(file->line, file->shown +
                             " is carried but never opened: the installer opens it "
                             "only with [Installer] FollowUp=open-document");
    if (value.empty()) return;
    const size_t slash = value.find_last_of('\\');
    const std::string leaf = slash == std::string::npos ? value : value.substr(slash + 1);
    std::string problem = FileNameProblem(leaf);
    if (problem.empty() && leaf.size() > kMaxDocumentNameBytes)
        problem = "is longer than " + std::to_string(kMaxDocumentNameBytes) +
                  " bytes, which leaves the temporary folder too little room";
    if (!problem.empty()) {
        d->Error(line, shown + ": the document's file name '" + leaf + "' " + problem +
                           "; the installer would not open it");
        return;
    }
    Item encoded{"installer", "documentpath", shown, value, line};
    if (!Encode(encoded, encoding, info::kDocumentPathSize - 1, "the document path",
                &f.document_path))
        return;
    // As the installer sees it: the name after the last backslash, in the code page.
    const std::string& bytes = f.document_path;
    const size_t cut = bytes.find_last_of('\\');
    const std::string converted =
        FileNameProblem(cut == std::string::npos ? bytes : bytes.substr(cut + 1));
    if (!converted.empty())
        d->Error(line, shown + ": the document's file name '" + leaf + "' " + converted +
                           " in code page " + std::to_string(encoding) +
                           "; the installer would not open it");
}

void Loader::Template() {
    plan->info_block.assign(info::kBlockSize, 0);
    const Item* item = Find(items, "installer", "Template");
    if (!item) return;
    const fs::path path = dir / fs::u8path(item->value);
    const std::string problem = InputProblem(path);
    if (!problem.empty()) {
        d->Error(item->line, item->shown + ": '" + path.u8string() + "' " + problem);
        return;
    }
    std::ifstream in(path, std::ios::binary);
    std::error_code error;
    if (!in) {
        d->Error(item->line, item->shown + ": cannot read '" + path.u8string() + "'");
        return;
    }
    const uint64_t size = fs::file_size(path, error);
    if (error || size > info::kBlockSize) {
        d->Error(item->line, item->shown + ": '" + path.u8string() + "' is " +
                                 std::to_string(size) + " bytes; an INFO block has " +
                                 std::to_string(info::kBlockSize));
        return;
    }
    in.read(reinterpret_cast<char*>(plan->info_block.data()), static_cast<std::streamsize>(size));
    plan->inputs.push_back(path.u8string());
}

bool Loader::CheckFile(const Item& item, PlannedEntry* entry) {
    const fs::path path = dir / fs::u8path(item.value);
    entry->path = path.u8string();
    entry->line = item.line;
    std::error_code error;
    if (item.value.empty()) {
        d->Error(item.line, item.shown + " names no file");
        return false;
    }
    const std::string problem = InputProblem(path);
    if (!problem.empty()) {
        d->Error(item.line,
                 item.shown + ": '" + path.u8string() + "' " + problem + PathHint(dir, item.value));
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    char probe;
    if (!in || (fs::file_size(path, error) > 0 && !in.read(&probe, 1))) {
        d->Error(item.line, item.shown + ": '" + path.u8string() + "' cannot be read");
        return false;
    }
    entry->size = fs::file_size(path, error);
    if (entry->size > kMaxEntryBytes) {
        d->Error(item.line, item.shown + ": '" + path.u8string() + "' is " +
                                std::to_string(entry->size) +
                                " bytes; an entry holds at most 2 GiB - 1");
        return false;
    }
    plan->inputs.push_back(path.u8string());
    return true;
}

// Reads `<Key>.Compress` and `<Key>.Scramble` for one entry.
void Loader::EntryOptions(PlannedEntry* entry, bool has_file) {
    const Item* compress = Find(items, "files", entry->key + ".Compress");
    const Item* scramble = Find(items, "files", entry->key + ".Scramble");
    for (const Item* option : {compress, scramble}) {
        if (option && !has_file) {
            d->Error(option->line,
                     option->shown + " is given but [Files] " + entry->key +
                         (entry->alias_of_movie ? " shares MOVIE's data" : " names no file"));
            return;
        }
    }
    if (compress) {
        const std::string v = Lower(compress->value);
        if (v == "auto") {
            entry->compress = CompressMode::kAuto;
        } else if (v == "yes") {
            entry->compress = CompressMode::kYes;
        } else if (v == "no") {
            entry->compress = CompressMode::kNo;
        } else {
            d->Error(compress->line,
                     compress->shown + " must be auto, yes or no, not '" + compress->value + "'");
        }
    }
    if (scramble) {
        uint32_t key = 0;
        if (!ParseNumber(scramble->value, 255, &key)) {
            d->Error(scramble->line, scramble->shown +
                                         " must be a key byte from 0 to 255 (or "
                                         "0x00 to 0xFF), not '" +
                                         scramble->value + "'");
        } else if (key != 0 && entry->compress == CompressMode::kYes) {
            // A compressed entry keeps key 0: no reader applies a key to a block stream.
            d->Error(scramble->line, scramble->shown + " cannot be combined with " + entry->key +
                                         ".Compress=yes: a scrambled entry is "
                                         "stored");
        } else {
            entry->scramble = static_cast<uint8_t>(key);
        }
    }
}

void Loader::Files() {
    for (const FileKey& fk : kFileKeys) {
        PlannedEntry entry;
        entry.name = fk.entry;
        entry.key = fk.key;
        if (std::string(fk.key) == "Info") {
            entry.is_info = true;
            entry.size = info::kBlockSize;
            EntryOptions(&entry, true);
            plan->entries.push_back(entry);
            continue;
        }
        const Item* item = Find(items, "files", fk.key);
        if (plan->show.given && entry.name == "MOVIE") {
            if (item) {
                d->Error(item->line, item->shown + " and [Show] (line " +
                                         std::to_string(plan->show.line) +
                                         ") exclude each other: MOVIE is either a plain bitmap "
                                         "or the show");
                continue;
            }
            // Stored plain: the screen saver reads each picture from its own file where it lies.
            entry.is_show = true;
            entry.line = plan->show.line;
            entry.compress = CompressMode::kNo;
            EntryOptions(&entry, false);
            plan->entries.push_back(entry);
            continue;
        }
        // Without Saver= a show gets the project's own screen saver program, chosen when the
        // installer's architecture is known.
        if (plan->show.given && entry.name == "SAVER" && !item) {
            EntryOptions(&entry, false);
            continue;
        }
        if (!item && fk.presence == kEmptyWhenOmitted) {
            EntryOptions(&entry, false);
            plan->entries.push_back(entry);  // no path: no bytes
            continue;
        }
        if (!item) {
            if (fk.presence == kRequired)
                d->Error(0, std::string("[Files] ") + fk.key +
                                "= is missing: the installer "
                                "cannot build the screen saver "
                                "without " +
                                fk.entry);
            EntryOptions(&entry, false);
            continue;
        }
        if (entry.name == "PREVIEWF" && Lower(item->value) == "movie") {
            entry.alias_of_movie = true;
            entry.line = item->line;
            EntryOptions(&entry, false);
            plan->entries.push_back(entry);
            continue;
        }
        const bool ok = CheckFile(*item, &entry);
        EntryOptions(&entry, true);
        if (ok) plan->entries.push_back(entry);
    }
    size_t k = 0;
    for (const Item& item : items) {
        if (item.section != "files" || item.key != "additional") continue;
        PlannedEntry entry;
        entry.name = AdditionalEntryName(k);
        entry.key = "Additional" + std::to_string(k + 1);
        ++k;
        const bool ok = CheckFile(item, &entry);
        EntryOptions(&entry, true);
        if (ok) plan->entries.push_back(entry);
    }
    ArchitectureSavers();
    // Options for additional files that do not exist.
    for (const Item& item : items) {
        if (item.section != "files" || !IsOptionKey(item.section, item.key) ||
            FindKnown(item.section, item.key))
            continue;
        const std::string base = item.key.substr(0, item.key.find('.'));
        const std::string option = item.key.substr(item.key.find('.') + 1);
        bool known = option == "compress" || option == "scramble";
        bool base_known = false;
        for (const FileKey& fk : kFileKeys)
            base_known = base_known || base == Lower(fk.key);
        for (size_t i = 1; i <= k; ++i)
            base_known = base_known || base == "additional" + std::to_string(i);
        if (!known || !base_known)
            d->Error(item.line, "unknown key " + item.shown +
                                    (known ? " (no such file in [Files])"
                                           : " (options are .Compress and .Scramble)"));
    }
}

// ------------------------------------------------------------------------------------- show

// Seconds with at most three decimals ("8", "1.5") as milliseconds; false for anything else or
// more than `max_ms`.
bool ParseSeconds(const std::string& text, uint32_t max_ms, uint32_t* ms) {
    uint64_t value = 0;
    int decimals = -1;
    for (char c : text) {
        if (c == '.' && decimals < 0) {
            decimals = 0;
        } else if (c >= '0' && c <= '9' && decimals < 3) {
            value = value * 10 + static_cast<uint64_t>(c - '0');
            if (decimals >= 0) ++decimals;
            if (value > 0xFFFFFFFFull) return false;
        } else {
            return false;
        }
    }
    if (text.empty() || text == "." || text.back() == '.') return false;
    for (int k = decimals < 0 ? 0 : decimals; k < 3; ++k)
        value *= 10;
    if (value > max_ms) return false;
    *ms = static_cast<uint32_t>(value);
    return true;
}

// The value's place among `words` (case ignored), or -1.
int WordIndex(const std::string& value, const char* const* words, int count) {
    for (int i = 0; i < count; ++i)
        if (Lower(value) == words[i]) return i;
    return -1;
}

const char* const kOrderWords[] = {"sequential", "random"};
const char* const kFitWords[] = {"fit", "fill", "stretch", "center"};
const char* const kTransitionWords[] = {"none", "fade", "wipe", "slide"};
static_assert(sizeof kTransitionWords / sizeof *kTransitionWords == kShowTransitionCount,
              "a word for every transition");

// A file name matches a pattern of '*' (any run) and '?' (one byte); names are compared as
// Windows compares them, without regard to ASCII case, on every system.
bool Matches(const std::string& name, const std::string& pattern) {
    size_t n = 0, p = 0, star = std::string::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || LowerAscii(std::string(1, pattern[p])) ==
                                                            LowerAscii(std::string(1, name[n])))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (star != std::string::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

// The kind of a piece of music by its first bytes, or 0.
uint8_t MusicFormat(const std::vector<uint8_t>& b) {
    auto starts = [&](const char* magic, size_t at) {
        const size_t n = std::strlen(magic);
        return b.size() >= at + n && std::memcmp(b.data() + at, magic, n) == 0;
    };
    if (starts("RIFF", 0) && starts("WAVE", 8)) return kShowWav;
    if (starts("MThd", 0) || (starts("RIFF", 0) && starts("RMID", 8))) return kShowMidi;
    if (starts("ID3", 0) || (b.size() >= 2 && b[0] == 0xFF && (b[1] & 0xE0) == 0xE0))
        return kShowMp3;
    return 0;
}

bool ReadBytes(const std::string& path, std::vector<uint8_t>* bytes) {
    std::ifstream in(fs::u8path(path), std::ios::binary);
    if (!in) return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

void Loader::Show() {
    ShowSource& show = plan->show;
    for (const IniSection& section : sections)
        if (section.name == "show" && !show.given) {
            show.given = true;
            show.line = section.line;
        }
    if (!show.given) return;
    ShowSettingsKeys();
    ShowFiles("picture", &show.pictures);
    ShowFiles("music", &show.music);
    if (show.pictures.empty())
        d->Error(show.line, "[Show] has no Picture=: a show needs at least one picture");
    if (show.pictures.size() > kShowMaxPictures)
        d->Error(show.pictures[kShowMaxPictures].line,
                 "[Show] Picture= gives " + std::to_string(show.pictures.size()) +
                     " pictures; a show holds at most " + std::to_string(kShowMaxPictures));
    if (show.music.size() > kShowMaxMusic)
        d->Error(show.music[kShowMaxMusic].line,
                 "[Show] Music= gives " + std::to_string(show.music.size()) +
                     " pieces; a show holds at most " + std::to_string(kShowMaxMusic));
    Captions();
}

void Loader::ShowSettingsKeys() {
    ShowSettings& s = plan->show.settings;
    struct Choice {
        const char* key;
        const char* const* words;
        int count;
        uint8_t* value;
    };
    const Choice choices[] = {
        {"Order", kOrderWords, 2, &s.order},
        {"Fit", kFitWords, 4, &s.fit},
        {"Transition", kTransitionWords, kShowTransitionCount, &s.transition}};
    for (const Choice& c : choices) {
        const Item* item = Find(items, "show", c.key);
        if (!item) continue;
        const int i = WordIndex(item->value, c.words, c.count);
        if (i >= 0) {
            *c.value = static_cast<uint8_t>(i);
            continue;
        }
        std::string list;
        for (int k = 0; k < c.count; ++k)
            list += std::string(k == 0 ? "" : k + 1 == c.count ? " or " : ", ") + c.words[k];
        d->Error(item->line, item->shown + " '" + item->value + "' is not one of " + list);
    }
    const Item* interval = Find(items, "show", "Interval");
    if (interval && (!ParseSeconds(interval->value, kShowMaxIntervalMs, &s.interval_ms) ||
                     s.interval_ms < kShowMinIntervalMs))
        d->Error(interval->line, interval->shown + " '" + interval->value +
                                     "' is not a time from 1 to 3600 seconds");
    const Item* time = Find(items, "show", "TransitionTime");
    if (time && !ParseSeconds(time->value, kShowMaxTransitionMs, &s.transition_ms))
        d->Error(time->line,
                 time->shown + " '" + time->value + "' is not a time from 0 to 60 seconds");
    if (s.transition_ms >= s.interval_ms)
        d->Error(time       ? time->line
                 : interval ? interval->line
                            : plan->show.line,
                 "[Show] TransitionTime= (" + SecondsText(s.transition_ms) +
                     " s) must be shorter than Interval= (" + SecondsText(s.interval_ms) + " s)");
    if (const Item* background = Find(items, "show", "Background")) {
        uint32_t colour = 0;
        const std::string& v = background->value;
        if (v.size() == 7 && v[0] == '#' && v.find_first_of("xX") == std::string::npos &&
            ParseNumber("0x" + v.substr(1), 0xFFFFFF, &colour)) {
            s.background = colour;
        } else {
            d->Error(background->line,
                     background->shown + " '" + v + "' is not a colour #RRGGBB, like #000000");
        }
    }
    if (const Item* max_side = Find(items, "show", "MaxSide")) {
        uint32_t side = 0;
        if (ParseNumber(max_side->value, kShowMaxSide, &side) && side >= 16) {
            plan->show.max_side = side;
            plan->show.max_side_line = max_side->line;
        } else {
            d->Error(max_side->line, max_side->shown + " '" + max_side->value +
                                         "' is not a number of pixels from 16 to 65535");
        }
    }
}

// Picture= or Music= lines: files, or patterns in the last part of a path, each pattern's
// files sorted by name; in the order of the lines.
void Loader::ShowFiles(const char* key, std::vector<ShowSourceFile>* out) {
    const bool pictures = std::string(key) == "picture";
    for (const Item& item : items) {
        if (item.section != "show" || item.key != key) continue;
        std::string value = item.value;
        for (char& c : value)
            if (c == '\\') c = '/';
        const size_t slash = value.find_last_of('/');
        const std::string folder = slash == std::string::npos ? "" : value.substr(0, slash);
        const std::string leaf = slash == std::string::npos ? value : value.substr(slash + 1);
        std::vector<std::string> paths;
        if (folder.find_first_of("*?") != std::string::npos) {
            d->Error(item.line, item.shown + " '" + item.value +
                                    "': a pattern may use * and ? in the file name only");
            continue;
        }
        if (leaf.find_first_of("*?") == std::string::npos) {
            PlannedEntry probe;
            if (CheckFile(item, &probe)) paths.push_back(probe.path);
        } else {
            fs::path where = dir / fs::u8path(folder);
            if (where.empty()) where = ".";
            std::error_code error;
            std::vector<std::string> names;
            for (const fs::directory_entry& e : fs::directory_iterator(where, error)) {
                const std::string name = e.path().filename().u8string();
                if (Matches(name, leaf) && e.is_regular_file(error)) names.push_back(name);
            }
            std::sort(names.begin(), names.end());
            if (names.empty())
                d->Error(item.line, item.shown + " '" + item.value + "' matches no file in '" +
                                        where.u8string() + "'");
            for (const std::string& name : names) {
                Item one = item;
                one.value = folder.empty() ? name : folder + "/" + name;
                PlannedEntry probe;
                if (CheckFile(one, &probe)) paths.push_back(probe.path);
            }
        }
        for (const std::string& path : paths) {
            ShowSourceFile file;
            file.path = path;
            file.line = item.line;
            std::vector<uint8_t> bytes;
            std::string problem;
            if (!ReadBytes(path, &bytes)) {
                d->Error(item.line, item.shown + ": '" + path + "' cannot be read");
                continue;
            }
            if (!pictures) {
                file.facts.format = MusicFormat(bytes);
                if (!file.facts.format)
                    d->Error(item.line, item.shown + ": '" + path +
                                            "' is not WAV, MP3 or MIDI music, which the screen "
                                            "saver plays");
            } else if (!ReadPicture(bytes, &file.facts, &problem)) {
                d->Error(item.line, item.shown + ": '" + path + "' " + problem);
            } else if (!file.facts.format) {
                d->Error(item.line, item.shown + ": '" + path + "' is a " + file.facts.kind +
                                        " picture; the screen saver shows JPEG, PNG, GIF and BMP");
            } else if (!plan->show.max_side &&
                       std::max(file.facts.width, file.facts.height) > kShowMaxSide) {
                d->Error(item.line, item.shown + ": '" + path + "' is " +
                                        std::to_string(file.facts.width) + "x" +
                                        std::to_string(file.facts.height) +
                                        " pixels; a show's picture is at most 65535 on a side "
                                        "(MaxSide= scales it down)");
            }
            out->push_back(file);
        }
    }
}

// Caption.N= of picture N, counted from 1 over the pictures after their patterns are expanded.
void Loader::Captions() {
    std::vector<ShowSourceFile>& pictures = plan->show.pictures;
    for (const Item& item : items) {
        if (item.section != "show" || !IsOptionKey(item.section, item.key)) continue;
        uint32_t n = 0;
        if (!ParseNumber(item.key.substr(8), 0xFFFF, &n) || n == 0 || item.key.size() == 8 ||
            item.key.find_first_of("xX") != std::string::npos) {
            d->Error(item.line, "unknown key " + item.shown +
                                    " (a caption is Caption.N=, N the picture's number from 1)");
            continue;
        }
        if (n > pictures.size()) {
            d->Error(item.line, item.shown + " names picture " + std::to_string(n) +
                                    ", but the show has " + std::to_string(pictures.size()) +
                                    " (counted after the patterns are expanded)");
            continue;
        }
        ShowSourceFile& picture = pictures[n - 1];
        std::vector<uint16_t> units;
        if (!Utf16Of(item.value, &units)) {
            d->Error(item.line, item.shown + " is not valid UTF-8");
            continue;
        }
        bool control = false;
        for (uint16_t u : units)
            control = control || u < 0x20 || u == 0x7F;
        if (control) {
            d->Error(item.line, item.shown + " holds a control character");
        } else if (units.size() > kShowMaxCaption) {
            d->Error(item.line, item.shown + " is " + std::to_string(units.size()) +
                                    " UTF-16 units; a caption holds at most " +
                                    std::to_string(kShowMaxCaption));
        } else {
            picture.caption = item.value;
            picture.caption_units = units;
        }
    }
}

// Saver.x86=: the program an x86 installer carries instead of Saver='s (an x64 program).
void Loader::ArchitectureSavers() {
    const Item* item = Find(items, "files", "Saver.x86");
    if (!item) return;
    if (!Find(items, "files", "Saver")) {
        d->Error(item->line, item->shown +
                                 " is given without [Files] Saver=, the program of the "
                                 "x64 installer");
        return;
    }
    PlannedEntry entry;
    entry.name = "SAVER";
    entry.key = "Saver.x86";
    if (CheckFile(*item, &entry)) plan->saver_x86 = entry;
}

void Loader::Limits() {
    const std::vector<PlannedEntry>& entries = plan->entries;
    for (const PlannedEntry& e : entries)
        if (e.name.size() > 16)
            d->Error(e.line, "entry name " + e.name + " is longer than 16 characters");
    if (entries.size() > kPayloadRecords) {
        const PlannedEntry& first = entries[kPayloadRecords];
        d->Error(first.line, "[Files] " + first.key + " would be record " +
                                 std::to_string(kPayloadRecords + 1) + " (" + first.name +
                                 "); a payload archive holds at most " +
                                 std::to_string(kPayloadRecords) + " records");
    }
    // Every entry a screen saver file receives (INFO included) is also in the payload, so
    // a payload within 32 records never makes the installer drop an additional file.
}

}  // namespace

std::string AdditionalEntryName(size_t k) {
    if (k == 0) return "ADDTL";
    std::string number = std::to_string(k);
    if (number.size() < 2) number = "0" + number;
    return "ADDTL" + number;
}

std::string ShowOrderWord(uint8_t order) {
    return order < 2 ? kOrderWords[order] : "";
}

std::string ShowFitWord(uint8_t fit) {
    return fit < 4 ? kFitWords[fit] : "";
}

std::string ShowTransitionWord(uint8_t transition) {
    return transition < kShowTransitionCount ? kTransitionWords[transition] : "";
}

std::string SecondsText(uint32_t ms) {
    std::string text = std::to_string(ms / 1000);
    if (ms % 1000) {
        char part[8];
        std::snprintf(part, sizeof part, ".%03u", ms % 1000);
        text += part;
        while (text.back() == '0')
            text.pop_back();
    }
    return text;
}

bool MakeShowMovie(const std::string& arch, Diagnostics* d, BuildPlan* plan) {
    const ShowSource& show = plan->show;
    std::vector<ShowPictureData> pictures;
    std::vector<ShowMusicData> music;
    for (const ShowSourceFile& file : show.pictures) {
        ShowPictureData picture;
        std::vector<uint8_t> bytes;
        std::string problem;
        PictureFacts facts = file.facts;
        if (!ReadBytes(file.path, &bytes)) {
            d->Error(file.line, "[Show] Picture: '" + file.path + "' cannot be read");
            continue;
        }
        if (show.max_side &&
            !ScalePicture(bytes, show.max_side, &picture.bytes, &facts, &problem)) {
            d->Error(show.max_side_line, "[Show] MaxSide: '" + file.path + "' " + problem);
            continue;
        }
        if (!show.max_side) picture.bytes.swap(bytes);
        // Only the Windows Imaging Component decodes PNG, and the x86 installer also serves
        // systems without it.
        if (arch == "x86" && facts.format == kShowPng) {
            d->Error(file.line, "[Show] Picture: '" + file.path +
                                    "' is a PNG picture, which Windows 98, ME, 2000 and XP "
                                    "cannot show; the x86 installer takes JPEG, GIF and BMP");
            continue;
        }
        picture.format = facts.format;
        picture.width = facts.width;
        picture.height = facts.height;
        picture.caption = file.caption_units;
        pictures.push_back(std::move(picture));
    }
    for (const ShowSourceFile& file : show.music) {
        ShowMusicData piece;
        piece.format = file.facts.format;
        if (!ReadBytes(file.path, &piece.bytes)) {
            d->Error(file.line, "[Show] Music: '" + file.path + "' cannot be read");
            continue;
        }
        music.push_back(std::move(piece));
    }
    if (d->HasErrors()) return false;
    const std::string problem = EncodeShow(show.settings, pictures, music, &plan->show_bytes);
    if (!problem.empty()) {
        d->Error(show.line, "[Show]: " + problem);
        return false;
    }
    for (PlannedEntry& e : plan->entries)
        if (e.is_show) e.size = plan->show_bytes.size();
    return true;
}

std::string FollowUpWord(uint32_t action) {
    switch (action) {
        case 0:
            return "none";
        case 1:
            return "display-settings";
        case 2:
            return "start";
        case 3:
            return "open-document";
        default:
            return "";
    }
}

void SelectArchitecture(const std::string& arch, BuildPlan* plan) {
    if (arch != "x86" || plan->saver_x86.path.empty()) return;
    for (PlannedEntry& e : plan->entries) {
        if (e.name != "SAVER") continue;
        // The entry's options (Saver.Compress, Saver.Scramble) stay as they were.
        e.path = plan->saver_x86.path;
        e.line = plan->saver_x86.line;
        e.size = plan->saver_x86.size;
        e.key = plan->saver_x86.key;
    }
}

bool LoadManifest(const std::string& path, bool strict, Diagnostics* d, BuildPlan* plan) {
    d->file = path;
    *plan = BuildPlan();
    const std::string problem = InputProblem(CommandLinePath(path));
    if (!problem.empty()) {
        d->Error(0, "the manifest " + problem);
        return false;
    }
    std::ifstream in(CommandLinePath(path), std::ios::binary);
    if (!in) {
        d->Error(0, "cannot read the manifest");
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (LooksLikeUtf16(text.str())) {
        d->Error(0, "the manifest is UTF-16; save it as UTF-8");
        return false;
    }
    // A manifest saved in Latin-1 or another code page: one error at its first such byte, not
    // one per text.
    size_t bad = 0;
    if (!ValidUtf8(text.str(), &bad)) {
        const std::string& all = text.str();
        char byte[8];
        std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(all[bad]));
        d->Error(1 + static_cast<int>(std::count(all.begin(), all.begin() + bad, '\n')),
                 std::string("byte ") + byte +
                     " is not UTF-8: the manifest was saved in another encoding (Latin-1?); "
                     "save it as UTF-8");
        return false;
    }
    const IniText ini = ParseIni(text.str(), d);
    const std::vector<Item> items = KnownItems(ini, d);
    plan->inputs.push_back(fs::path(path).u8string());
    Loader loader{items, ini.sections, d, strict, fs::path(path).parent_path(), plan};
    loader.Installer();
    loader.Show();
    loader.Files();
    loader.Limits();
    EncodeInfoBlock(plan->fields, plan->info_block.data());
    return !d->HasErrors();
}
