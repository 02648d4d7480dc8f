#include "tools/sspack/ini.h"

#include <sstream>

bool Diagnostics::HasErrors() const {
    for (const Diagnostic& item : items)
        if (item.error) return true;
    return false;
}

std::string LowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return text;
}

static std::string Trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return "";
    const size_t b = s.find_last_not_of(" \t\r");
    return s.substr(a, b - a + 1);
}

IniText ParseIni(const std::string& text, Diagnostics* d) {
    IniText ini;
    std::istringstream in(text);
    std::string raw;
    const IniSection* section = nullptr;
    for (int line = 1; std::getline(in, raw); ++line) {
        if (line == 1 && raw.compare(0, 3, "\xEF\xBB\xBF") == 0) raw.erase(0, 3);
        const std::string s = Trim(raw);
        if (s.empty() || s[0] == ';' || s[0] == '#') continue;
        if (s[0] == '[') {
            if (s.back() != ']') {
                d->Error(line, "a section header must end with ']'");
                continue;
            }
            const std::string shown = Trim(s.substr(1, s.size() - 2));
            ini.sections.push_back({LowerAscii(shown), shown, line});
            section = &ini.sections.back();
            continue;
        }
        const size_t eq = s.find('=');
        if (eq == std::string::npos) {
            d->Error(line, "expected Key=Value, a [Section] or a ; comment");
            continue;
        }
        const std::string key = Trim(s.substr(0, eq));
        if (!section) {
            d->Error(line, key + " stands before any [Section]");
            continue;
        }
        IniItem item;
        item.section = section->name;
        item.key = LowerAscii(key);
        item.shown = "[" + section->shown + "] " + key;
        item.value = Trim(s.substr(eq + 1));
        if (item.value.size() >= 2 && item.value.front() == '"' && item.value.back() == '"')
            item.value = item.value.substr(1, item.value.size() - 2);
        item.line = line;
        ini.items.push_back(item);
    }
    return ini;
}
