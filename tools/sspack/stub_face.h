// The installer's face: the version resource that file properties and the elevation prompt
// show, and icon 200 of the message boxes and dialogs. sspack fills both in its copy of the stub,
// in place: the version texts go into the stub's padded string values, the icon's images over
// the stub's images of the same size.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

// What the manifest says about the face. Texts are UTF-8.
struct StubFace {
    std::string name;             // FileDescription and ProductName: the screen saver's name
    std::string publisher;        // CompanyName; empty when not given
    std::string version = "1.0";  // FileVersion and ProductVersion as written
    uint16_t version_parts[4] = {1, 0, 0, 0};
    std::string icon;  // the .ico file, resolved against the manifest's folder; empty for none
    int icon_line = 0;
};

// UTF-8 to UTF-16 units; false when the text is not UTF-8.
bool Utf16Of(const std::string& text, std::vector<uint16_t>* out);
// UTF-16LE units at `p`, up to the first zero, as UTF-8; unpaired surrogates become '?'.
std::string Utf8Of(const uint8_t* p, size_t units);

// The most characters of a publisher or name in the version resource, and of a version.
constexpr size_t kMaxFaceText = 63;
constexpr size_t kMaxVersionText = 23;

// One to four numbers from 0 to 65535 separated by dots ("1", "2.0", "1.2.3.4"); the missing
// parts are 0. False for anything else.
bool ParseVersion(const std::string& text, uint16_t parts[4]);

// Why `text` cannot be a publisher (too long, control characters, not UTF-8), or "".
std::string FaceTextProblem(const std::string& text);

// The string values of a stub's version resource, UTF-8 with the padding removed, and where they
// lie in the file.
struct VersionField {
    std::string key;
    std::string value;
    size_t offset = 0;      // first byte of the value
    uint32_t capacity = 0;  // UTF-16 units, the terminating zero included
};
struct VersionInfo {
    bool found = false;
    size_t fixed = 0;  // offset of VS_FIXEDFILEINFO
    uint16_t file_version[4] = {0, 0, 0, 0};
    std::vector<VersionField> fields;

    const VersionField* Field(const std::string& key) const;
};

// Reads version resource 1 of the PE file in `bytes`; `found` is false when there is none or it
// is damaged.
VersionInfo ReadVersionInfo(const std::vector<uint8_t>& bytes);

// The same for the file at `path`, of which the first MiB is read (the stub is far smaller).
VersionInfo ReadFileVersionInfo(const std::string& path);

// Whether the version resource is the installer stub's: InternalName "ssinstaller" and room for
// every value that sspack writes.
bool IsStubVersion(const VersionInfo& info);

// The icon of the installer at `path` (built from the stub: its icon 200) as an .ico file that
// Icon= takes back; false when the file is no such installer. Its name beside the extracted
// entries, which `sspack info --manifest` gives as Icon=.
bool InstallerIcon(const std::string& path, std::vector<uint8_t>* ico);
constexpr char kIconFileName[] = "icon.ico";

// For a file without a payload archive: " (...)" saying that it is the bare stub, or an
// installer cut short; "" for any other file.
std::string MissingPayloadHint(const std::string& path);

// Writes the face into the stub's bytes. False with `problem` (one line, without the file name)
// when the icon file cannot be used or the stub has no room.
bool ApplyFace(const StubFace& face, std::vector<uint8_t>* stub, std::string* problem);

// Whether `program` is this project's screen saver program: it carries the name placeholder
// (string 1 of string block 1, the others empty) that ApplySaverFace fills. Only that program
// understands the uninstall entry's "NAME.scr /U".
bool IsOwnSaverProgram(const std::vector<uint8_t>& program);

// Writes the face's name into the project's screen saver program in place (string 1, which the
// Display Properties list shows) and the icon over its icon 200 when it has one. False with
// `problem` (one line) when the program has no place for them.
bool ApplySaverFace(const StubFace& face, std::vector<uint8_t>* saver, std::string* problem);

// Lines for `sspack info`: the version fields of a built installer ("FileDescription: Aurora").
std::vector<std::string> FacePropertyLines(const VersionInfo& info);
