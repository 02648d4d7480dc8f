// The INI-like text of a manifest: `[Section]` headers, `Key=Value` lines, `;` and `#` comment
// lines. Syntax only; which sections and keys exist is the manifest's business.
#pragma once

#include <string>
#include <vector>

struct Diagnostic {
    bool error = false;
    int line = 0;  // 0: the file as a whole
    std::string message;
};

struct Diagnostics {
    std::string file;  // as the user named it
    std::vector<Diagnostic> items;
    void Error(int line, const std::string& message) { items.push_back({true, line, message}); }
    void Warning(int line, const std::string& message) { items.push_back({false, line, message}); }
    bool HasErrors() const;
};

struct IniItem {
    std::string section;  // lower case
    std::string key;      // lower case
    std::string shown;    // "[Section] Key" as written, for messages
    std::string value;    // trimmed; surrounding double quotes removed
    int line = 0;
};

struct IniSection {
    std::string name;   // lower case
    std::string shown;  // as written
    int line = 0;
};

struct IniText {
    std::vector<IniSection> sections;  // every header, in order
    std::vector<IniItem> items;        // every Key=Value line under a header, in order
};

// Splits `text` (a UTF-8 byte-order mark allowed); malformed lines are reported and skipped.
IniText ParseIni(const std::string& text, Diagnostics* diagnostics);

std::string LowerAscii(std::string text);
