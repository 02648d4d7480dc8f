// Activation of the installed screen saver and its uninstall entry.
#include "app/activation.h"

#include <string.h>

#include "app/settings.h"
#include "app/text.h"
#include "platform/files.h"
#include "platform/shell.h"

const char kUninstallKeyPrefix[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\UnInstall\\";

namespace {

char WindowsPath[kPathSize];              // 260 bytes: the shared result of WindowsDirPath
uint16_t WidePath[kWidePathSize];         // 512 bytes: the shared result of WidenForProfile
const char kFallbackDir[] = "c:\\win95";  // where the file goes without a Windows directory

// The profile call's texts as the wide call takes them.
const uint16_t kBootW[] = {'b', 'o', 'o', 't', 0};
const uint16_t kScrnsaveW[] = {'S', 'C', 'R', 'N', 'S', 'A', 'V', 'E', '.', 'E', 'X', 'E', 0};
const uint16_t kSystemIniW[] = {'s', 'y', 's', 't', 'e', 'm', '.', 'i', 'n', 'i', 0};

constexpr uint16_t kBrokenBarWide = 0x258C;  // U+258C LEFT HALF BLOCK
constexpr uint8_t kBrokenBar = 0xA6;

int IsNameCharacter(signed char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

}  // namespace

char* WindowsDirPath(const char* name) {
    uint32_t length = PlatWindowsDirectory(WindowsPath, kPathSize);
    // A directory that does not fit leaves the buffer undefined; it is treated like a failure.
    if (length == 0 || length >= kPathSize) strcpy(WindowsPath, kFallbackDir);
    size_t used = strlen(WindowsPath);
    const int slash = used == 0 || WindowsPath[used - 1] != '\\';
    size_t name_length = strlen(name);
    // A path that does not fit is refused whole: cut, it would name another file.
    if (used + slash + name_length >= kPathSize) {
        WindowsPath[0] = '\0';
        return nullptr;
    }
    if (slash) WindowsPath[used++] = '\\';
    memcpy(WindowsPath + used, name, name_length + 1);
    return WindowsPath;
}

int IsPlainShortName(const char* name) {
    int budget = 8;
    int separator_seen = 0;
    for (const char* p = name; *p; ++p) {
        signed char c = static_cast<signed char>(*p);
        if (!IsNameCharacter(c)) {
            if (c < '.' || separator_seen) return 0;
            budget = 4;
            separator_seen = 1;
        }
        if (--budget < 0) return 0;
    }
    return 1;
}

char* ShortFormPath(const char* name) {
    if (IsPlainShortName(name)) return WindowsDirPath(name);
    char alternate[kAlternateNameSize];
    char* path = WindowsDirPath(name);
    if (!path) return nullptr;
    PlatFind find = PlatFindFirstFile(path, alternate);
    if (find == kInvalidFind) return path;
    PlatFindClose(find);
    if (alternate[0] == '\0') return WindowsDirPath(name);
    return WindowsDirPath(alternate);
}

const uint16_t* WidenForProfile(const char* path, uint32_t code_page) {
    memset(WidePath, 0, sizeof WidePath);
    if (strlen(path) >= kWidePathSize) return nullptr;
    for (uint32_t i = 0; i + 1 < kWidePathSize && path[i] != '\0'; ++i) {
        uint8_t b = static_cast<uint8_t>(path[i]);
        WidePath[i] = (code_page != 0 && b == kBrokenBar) ? kBrokenBarWide : b;
    }
    return WidePath;
}

void ActivateScreenSaver() {
    const char* path = ShortFormPath(Settings.ScreenSaverFileName);
    // A path that does not fit is not stored cut; the switch is left alone with it.
    if (!path) return;
    if (PlatVersionPlatformId() == kVerPlatformWin32Nt) {
        const uint16_t* wide = WidenForProfile(path, InfoWord(kInfoCodePage));
        if (!wide) return;
        PlatWriteProfileStringW(kBootW, kScrnsaveW, wide, kSystemIniW);
    } else {
        PlatWriteProfileStringA("boot", "SCRNSAVE.EXE", path, "system.ini");
    }
    PlatSystemParametersInfo(kSpiSetScreenSaveActive, 1, nullptr, kSpifUpdateIniFile);
}

void FormDisplayName(char* out) {
    const char* file = Settings.ScreenSaverFileName;
    size_t length = strlen(file);
    // The name less its ".scr"; a name shorter than the extension (the default "1") gives none.
    const uint32_t stem = length > 4 ? static_cast<uint32_t>(length - 4) : 0;
    uint32_t at = 0;
    out[0] = '\0';
    // A settings name (at most 63 characters) always fits; anything else gives no name at all.
    if (!AppendText(out, kDisplayNameSize, &at, "Screensaver (") ||
        !Append(out, kDisplayNameSize, &at, file, stem) ||
        !AppendText(out, kDisplayNameSize, &at, ")"))
        out[0] = '\0';
}

int FormUninstallCommand(char* out) {
    out[0] = '\0';
    const char* path = WindowsDirPath(Settings.ScreenSaverFileName);
    if (!path) return 0;
    // Quoted: a path with a space would otherwise be run as its first word.
    uint32_t at = 0;
    if (AppendText(out, kUninstallCommandSize, &at, "\"") &&
        AppendText(out, kUninstallCommandSize, &at, path) &&
        AppendText(out, kUninstallCommandSize, &at, "\" /U"))
        return 1;
    out[0] = '\0';
    return 0;
}

int SetUninstallValue(const char* key_path, const char* value_name, const char* text) {
    PlatKey key = 0;
    if (PlatRegCreateKey(kHkeyLocalMachine, key_path, kKeyAllAccess, &key) != kErrorSuccess)
        return 0;
    long set = PlatRegSetValue(key, value_name, kRegSz, text, static_cast<uint32_t>(strlen(text)));
    PlatRegCloseKey(key);
    return set == kErrorSuccess;
}

namespace {

constexpr uint32_t kVersionTextSize = 64;  // sspack writes at most 63 characters

uint32_t Get16(const uint8_t* p) {
    return p[0] | static_cast<uint32_t>(p[1]) << 8;
}

uint32_t Align4(uint32_t offset) {
    return (offset + 3) & ~3u;
}

// The value of the string named `key` in the version resource node at `node`, `limit` bytes
// long at most, searched depth first through `depth` levels of children: its offset from
// `node`, with `units` its length in code units; 0 when absent or when a length leaves the
// block.
uint32_t FindVersionValue(const uint8_t* node, uint32_t limit, const char* key, uint32_t* units,
                          int depth) {
    if (limit < 6) return 0;
    const uint32_t length = Get16(node);
    if (length < 6 || length > limit) return 0;
    uint32_t at = 6;
    int same = 1;
    for (const char* k = key;; at += 2) {
        if (at + 2 > length) return 0;
        const uint32_t c = Get16(node + at);
        if (c != static_cast<uint8_t>(*k)) same = 0;
        if (c == 0) break;
        if (*k) ++k;
    }
    at = Align4(at + 2);
    const uint32_t text = Get16(node + 4) == 1;
    const uint32_t value_bytes = Get16(node + 2) << text;
    if (at > length || value_bytes > length - at) return 0;
    if (same && text) {
        *units = value_bytes / 2;
        return at;
    }
    if (depth == 0) return 0;
    for (uint32_t child = Align4(at + value_bytes); child + 6 <= length;) {
        const uint32_t found =
            FindVersionValue(node + child, length - child, key, units, depth - 1);
        if (found) return child + found;
        const uint32_t child_length = Get16(node + child);
        if (child_length < 6) return 0;
        child = Align4(child + child_length);
    }
    return 0;
}

// The text of `key` in the installer's own version resource, in the system's code page and
// without the padding spaces of a value sspack left short; "" when there is none.
void VersionText(const char* key, char* out) {
    uint32_t size = 0, units = 0;
    const uint8_t* block = PlatVersionResource(&size);
    // VS_VERSIONINFO, StringFileInfo, the string table, the string.
    const uint32_t at = block ? FindVersionValue(block, size, key, &units, 3) : 0;
    uint32_t used = 0;
    if (at) {
        uint16_t wide[kVersionTextSize];
        if (units > kVersionTextSize) units = kVersionTextSize;
        memcpy(wide, block + at, units * 2);
        uint32_t length = 0;  // up to the zeros that pad a short value
        while (length < units && wide[length])
            ++length;
        used = PlatWideToAnsi(wide, length, out, kVersionTextSize - 1);
    }
    out[used] = '\0';
    while (used > 0 && out[used - 1] == ' ')
        out[--used] = '\0';
}

// Publisher and version from the version resource, the installed file as icon, its size in
// KB, and no Modify or Repair buttons: what Apps & Features shows beside the name. Written
// under one opening of the key; a value that cannot be had is left out.
void SetUninstallDetails(const char* key_path) {
    PlatKey key = 0;
    if (PlatRegCreateKey(kHkeyLocalMachine, key_path, kKeyAllAccess, &key) != kErrorSuccess) return;
    static const char* const kTexts[][2] = {{"Publisher", "CompanyName"},
                                            {"DisplayVersion", "ProductVersion"}};
    char text[kVersionTextSize];
    for (const auto& pair : kTexts) {
        VersionText(pair[1], text);
        if (text[0])
            PlatRegSetValue(key, pair[0], kRegSz, text, static_cast<uint32_t>(strlen(text)));
    }
    // The command was formed from the same path, so it fits.
    const char* path = WindowsDirPath(Settings.ScreenSaverFileName);
    PlatRegSetValue(key, "DisplayIcon", kRegSz, path, static_cast<uint32_t>(strlen(path)));
    FileHandle file = PlatOpenRead(path);
    if (file != kInvalidFile) {
        const uint32_t bytes = PlatFileSize(file);
        PlatClose(file);
        const uint32_t kilobytes = bytes / 1024 + (bytes % 1024 != 0);
        PlatRegSetValue(key, "EstimatedSize", kRegDword, &kilobytes, 4);
    }
    const uint32_t one = 1;
    PlatRegSetValue(key, "NoModify", kRegDword, &one, 4);
    PlatRegSetValue(key, "NoRepair", kRegDword, &one, 4);
    PlatRegCloseKey(key);
}

}  // namespace

int RegisterUninstall() {
    char key_path[kUninstallKeySize];
    char display_name[kDisplayNameSize];
    char command[kUninstallCommandSize];
    uint32_t at = 0;
    if (!AppendText(key_path, sizeof key_path, &at, kUninstallKeyPrefix) ||
        !AppendText(key_path, sizeof key_path, &at, Settings.ScreenSaverFileName))
        return 0;
    FormDisplayName(display_name);
    // An entry whose command does not fit is not written at all: a cut command would run
    // another file, or the saver without its " /U".
    if (!FormUninstallCommand(command)) return 0;
    SetUninstallValue(key_path, "DisplayName", display_name);
    const int registered = SetUninstallValue(key_path, "UninstallString", command);
    SetUninstallDetails(key_path);
    return registered;
}
