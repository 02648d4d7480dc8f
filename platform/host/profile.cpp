// Host profile files (system.ini, WinInit.Ini): real INI files in the sandbox, written with the
// rules of the Windows profile calls. Sections and keys match without regard to case; a key
// that exists is rewritten in place, a missing key is added after the last line of its section,
// a missing section is added at the end of the file. Lines end in CR LF as Windows writes them.
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/host/host.h"
#include "platform/host/shell_internal.h"
#include "platform/shell.h"

namespace {

std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::vector<std::string> ReadLines(const std::string& real) {
    std::ifstream in(real, std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

bool WriteLines(const std::string& real, const std::vector<std::string>& lines) {
    std::ofstream out(real, std::ios::binary | std::ios::trunc);
    for (const std::string& line : lines)
        out << line << "\r\n";
    return static_cast<bool>(out);
}

// The section a line opens, or false when it opens none.
bool SectionOf(const std::string& line, std::string* name) {
    std::string t = Trim(line);
    if (t.empty() || t[0] != '[') return false;
    size_t close = t.find(']');
    *name = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    return true;
}

// The key a line of a section sets, or false for a blank line or a comment.
bool KeyOf(const std::string& line, std::string* key, std::string* value) {
    std::string t = Trim(line);
    if (t.empty() || t[0] == ';') return false;
    size_t eq = t.find('=');
    *key = Trim(t.substr(0, eq));
    *value = eq == std::string::npos ? "" : Trim(t.substr(eq + 1));
    return true;
}

// Lines [begin, end) of `section`, begin at its header; false when the file lacks it.
bool FindSection(const std::vector<std::string>& lines, const std::string& section, size_t* begin,
                 size_t* end) {
    std::string name;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!SectionOf(lines[i], &name) || !ShellSameText(name, section)) continue;
        size_t j = i + 1;
        while (j < lines.size() && !SectionOf(lines[j], &name))
            ++j;
        *begin = i;
        *end = j;
        return true;
    }
    return false;
}

// The one rule set of both profile calls; a null key removes the section, a null value the key.
bool WriteProfile(const std::string& file, const char* section, const char* key,
                  const char* value) {
    std::string real = HostProfileFile(file.c_str());
    std::vector<std::string> lines = ReadLines(real);
    size_t begin = 0, end = 0;
    bool have_section = FindSection(lines, section, &begin, &end);
    if (!key) {
        if (have_section)
            lines.erase(lines.begin() + static_cast<long>(begin),
                        lines.begin() + static_cast<long>(end));
        return WriteLines(real, lines);
    }
    std::string line = std::string(key) + "=" + (value ? value : "");
    if (!have_section) {
        if (!value) return true;
        if (!lines.empty() && !Trim(lines.back()).empty()) lines.push_back("");
        lines.push_back("[" + std::string(section) + "]");
        lines.push_back(line);
        return WriteLines(real, lines);
    }
    std::string k, v;
    for (size_t i = begin + 1; i < end; ++i) {
        if (!KeyOf(lines[i], &k, &v) || !ShellSameText(k, key)) continue;
        if (value)
            lines[i] = line;
        else
            lines.erase(lines.begin() + static_cast<long>(i));
        return WriteLines(real, lines);
    }
    if (!value) return true;
    size_t at = end;
    while (at > begin + 1 && Trim(lines[at - 1]).empty())
        --at;
    lines.insert(lines.begin() + static_cast<long>(at), line);
    return WriteLines(real, lines);
}

// UTF-16 to UTF-8 for the file, and to ASCII with \uXXXX for the log.
std::string Utf8Of(const uint16_t* text) {
    std::string out;
    for (; text && *text; ++text) {
        uint32_t c = *text;
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::string LogOfWide(const uint16_t* text) {
    if (!text) return "NULL";
    std::string out;
    for (; *text; ++text) {
        if (*text >= 0x20 && *text < 0x7F) {
            out.push_back(static_cast<char>(*text));
        } else {
            char hex[12];
            snprintf(hex, sizeof hex, "\\u%04X", *text);
            out += hex;
        }
    }
    return out;
}

}  // namespace

std::string HostProfileFile(const char* file) {
    std::string name = file ? file : "";
    if (name.find('\\') == std::string::npos && name.find(':') == std::string::npos)
        name = ShellWindowsDirectory() + "\\" + name;
    std::string real = HostRealPath(name.c_str());
    size_t slash = real.rfind('/');
    if (slash != std::string::npos) ShellMakeFolders(real.substr(0, slash));
    return real;
}

bool HostProfileValue(const char* file, const std::string& section, const std::string& key,
                      std::string* value) {
    std::vector<std::string> lines = ReadLines(HostProfileFile(file));
    size_t begin = 0, end = 0;
    if (!FindSection(lines, section, &begin, &end)) return false;
    std::string k, v;
    for (size_t i = begin + 1; i < end; ++i) {
        if (KeyOf(lines[i], &k, &v) && ShellSameText(k, key)) {
            if (value) *value = v;
            return true;
        }
    }
    return false;
}

int PlatWriteProfileStringA(const char* section, const char* key, const char* value,
                            const char* file) {
    int ok = 0;
    if (!ShellCallFails(kHostProfileWrite) && section && file)
        ok = WriteProfile(file, section, key, value);
    HostLog("WritePrivateProfileStringA(%s, %s, %s, %s) = %d", ShellLogText(section).c_str(),
            ShellLogText(key).c_str(), ShellLogText(value).c_str(), ShellLogText(file).c_str(), ok);
    return ok;
}

int PlatWriteProfileStringW(const uint16_t* section, const uint16_t* key, const uint16_t* value,
                            const uint16_t* file) {
    int ok = 0;
    if (!ShellCallFails(kHostProfileWrite) && section && file) {
        std::string k = Utf8Of(key), v = Utf8Of(value);
        ok = WriteProfile(Utf8Of(file), Utf8Of(section).c_str(), key ? k.c_str() : nullptr,
                          value ? v.c_str() : nullptr);
    }
    HostLog("WritePrivateProfileStringW(%s, %s, %s, %s) = %d", LogOfWide(section).c_str(),
            LogOfWide(key).c_str(), LogOfWide(value).c_str(), LogOfWide(file).c_str(), ok);
    return ok;
}
