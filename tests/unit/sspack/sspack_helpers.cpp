#include "tests/unit/sspack/sspack_helpers.h"

#include <sys/wait.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <sstream>

std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    return out + "'";
}

static std::string ReadText(const std::string& path) {
    const Bytes bytes = FileExists(path) ? ReadWholeFile(path) : Bytes();
    return std::string(bytes.begin(), bytes.end());
}

RunResult RunSspack(const std::string& args, const ScratchDir& dir, const std::string& env) {
    const std::string out = dir.File(".run-out"), err = dir.File(".run-err");
    const std::string command = env + " " + Quoted(SSPACK_PATH) + " " + args + " </dev/null >" +
                                Quoted(out) + " 2>" + Quoted(err);
    const int status = std::system(command.c_str());
    RunResult r;
    r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = ReadText(out);
    r.err = ReadText(err);
    return r;
}

std::string WriteManifest(const ScratchDir& dir, const std::string& manifest) {
    static const char* const kMedia[] = {"saver.bin",  "stub.bin",  "movie.bin",
                                         "zett.bin",   "kmdl.bin",  "preview.bmp",
                                         "readme.txt", "noise.dat", "stars.txt"};
    for (const char* name : kMedia) {
        const std::string target = dir.File(name);
        if (!FileExists(target))
            WriteWholeFile(target,
                           ReadWholeFile(std::string(SS_EXAMPLES_DIR) + "/minimal/" + name));
    }
    // A show's pictures and tune, from the slideshow example.
    for (const char* name : {"01-dawn.jpg", "02-lake.gif", "03-night.bmp", "tune.wav"}) {
        if (manifest.find("[Show]") == std::string::npos) break;
        const std::string target = dir.File(name);
        if (!FileExists(target))
            WriteWholeFile(target,
                           ReadWholeFile(std::string(SS_EXAMPLES_DIR) + "/slideshow/" + name));
    }
    const std::string path = dir.File("m.ini");
    WriteWholeFile(path, BytesOf(manifest));
    return path;
}

std::string ManifestText(const ManifestParts& p) {
    std::ostringstream m;
    m << p.prefix << "[Installer]\n";
    if (!p.name.empty()) m << "Name=" << p.name << "\n";
    m << "CodePage=" << p.code_page << "\n" << p.installer;
    m << "\n[Texts]\n" << p.texts;
    if (p.with_alternative) {
        m << "\n[Alternative]\n";
        if (!p.alt_name.empty()) m << "Name=" << p.alt_name << "\n";
        m << p.alternative;
    }
    m << "\n[Files]\n" << p.files;
    if (!p.show.empty()) m << "\n[Show]\n" << p.show;
    return m.str();
}

ManifestParts ShowParts(const std::string& show) {
    ManifestParts p;
    p.files = "Saver=saver.bin\n";
    p.show = show;
    return p;
}

int LineOf(const std::string& text, const std::string& needle) {
    std::istringstream in(text);
    std::string line;
    for (int n = 1; std::getline(in, line); ++n)
        if (line.find(needle) != std::string::npos) return n;
    return 0;
}

RunResult BuildWithHostStub(const std::string& manifest, const std::string& out,
                            const ScratchDir& dir, const std::string& extra) {
    return RunSspack("build " + Quoted(manifest) + " -o " + Quoted(out) + " --stub " +
                         Quoted(SSINSTALLER_PATH) + " " + extra,
                     dir);
}

bool InstallOnHost(const std::string& out, const std::string& sandbox) {
    const std::string command = "chmod +x " + Quoted(out) + " && SS_SANDBOX=" + Quoted(sandbox) +
                                " " + Quoted(out) + " </dev/null >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

namespace {

// A recursive-descent reader of one JSON value (RFC 8259) from `at`; false at the first byte
// that cannot belong to one.
struct JsonReader {
    const std::string& s;
    size_t at = 0;

    void Space() {
        while (at < s.size() && (s[at] == ' ' || s[at] == '\n' || s[at] == '\t' || s[at] == '\r'))
            ++at;
    }
    bool Literal(const char* word) {
        const size_t n = std::strlen(word);
        if (s.compare(at, n, word) != 0) return false;
        at += n;
        return true;
    }
    bool String() {
        if (at >= s.size() || s[at] != '"') return false;
        for (++at; at < s.size(); ++at) {
            const unsigned char c = static_cast<unsigned char>(s[at]);
            if (c == '"') {
                ++at;
                return true;
            }
            if (c < 0x20) return false;
            if (c != '\\') continue;
            ++at;
            if (at >= s.size()) return false;
            if (s[at] == 'u') {
                for (int i = 0; i < 4; ++i)
                    if (++at >= s.size() || !std::isxdigit(static_cast<unsigned char>(s[at])))
                        return false;
            } else if (!std::strchr("\"\\/bfnrt", s[at])) {
                return false;
            }
        }
        return false;
    }
    bool Number() {
        const size_t start = at;
        if (at < s.size() && s[at] == '-') ++at;
        while (at < s.size() && (std::isdigit(static_cast<unsigned char>(s[at])) || s[at] == '.' ||
                                 s[at] == 'e' || s[at] == 'E' || s[at] == '+' || s[at] == '-'))
            ++at;
        return at > start && std::isdigit(static_cast<unsigned char>(s[at - 1]));
    }
    bool Value() {
        Space();
        if (at >= s.size()) return false;
        const char c = s[at];
        if (c == '"') return String();
        if (c == '{' || c == '[') {
            const char close = c == '{' ? '}' : ']';
            ++at;
            Space();
            if (at < s.size() && s[at] == close) return ++at, true;
            for (;;) {
                if (c == '{') {
                    Space();
                    if (!String()) return false;
                    Space();
                    if (at >= s.size() || s[at++] != ':') return false;
                }
                if (!Value()) return false;
                Space();
                if (at >= s.size()) return false;
                if (s[at] == close) return ++at, true;
                if (s[at++] != ',') return false;
            }
        }
        if (Literal("true") || Literal("false") || Literal("null")) return true;
        return Number();
    }
};

}  // namespace

bool IsJsonDocument(const std::string& text) {
    JsonReader r{text};
    if (!r.Value()) return false;
    r.Space();
    return r.at == text.size();
}
