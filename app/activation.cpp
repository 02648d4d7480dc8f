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

// The profile call's texts as the wide call takes them. Not const: they lie in the writable
// data, where the stub's image has room (its read-only data has none).
uint16_t BootW[] = {'b', 'o', 'o', 't', 0};
uint16_t ScrnsaveW[] = {'S', 'C', 'R', 'N', 'S', 'A', 'V', 'E', '.', 'E', 'X', 'E', 0};
uint16_t SystemIniW[] = {'s', 'y', 's', 't', 'e', 'm', '.', 'i', 'n', 'i', 0};

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

const uint16_t* WidenForProfile(const char* path) {
    memset(WidePath, 0, sizeof WidePath);
    // The file was created with CreateFileA, which read these bytes in the system's ANSI code
    // page; the profile must name that same file (a Cyrillic system reads 0xE9 as U+0449).
    if (!PlatAnsiToWide(path, WidePath, kWidePathSize)) return nullptr;
    return WidePath;
}

void ActivateScreenSaver() {
    const char* path = ShortFormPath(Settings.ScreenSaverFileName);
    // A path that does not fit is not stored cut; the switch is left alone with it.
    if (!path) return;
    if (PlatVersionPlatformId() == kVerPlatformWin32Nt) {
        const uint16_t* wide = WidenForProfile(path);
        if (!wide) return;
        PlatWriteProfileStringW(BootW, ScrnsaveW, wide, SystemIniW);
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

constexpr uint32_t kVersionTextSize = 64;  // code units: sspack's 63 characters and the NUL

// The uninstall details: for the two texts the version resource's key, then each value's
// name, each in a slot of kDetailSlot bytes. In .data rather than .rdata: the i686 stub's .rdata
// has no room left in its last 512-byte step, its .data has.
constexpr uint32_t kDetailSlot = 16;
char DetailNames[][kDetailSlot] = {"CompanyName",    "Publisher",   "ProductVersion",
                                   "DisplayVersion", "DisplayIcon", "EstimatedSize",
                                   "NoModify",       "NoRepair"};
constexpr int kDetailCount = 6;

uint32_t Get16(const uint8_t* p) {
    return p[0] | static_cast<uint32_t>(p[1]) << 8;
}

uint32_t Align4(uint32_t offset) {
    return (offset + 3) & ~3u;
}

// The value of the string named `key` in the version resource inside `block` (`size` bytes):
// its offset, and its length in code units in `units`; 0, with `units` untouched, when there is
// none. A string is a node on a 4-byte boundary: its length, its value's length in code units,
// its type, the key and its NUL in UTF-16, then the value on the next 4-byte boundary, read only
// when it lies inside the block.
// Out of line: inlined, the i686 stub grows (its code is at the end of a 512-byte step).
__attribute__((noinline)) uint32_t FindVersionValue(const uint8_t* block, uint32_t size,
                                                    const char* key, uint32_t* units) {
    const uint32_t key_bytes = 2 * static_cast<uint32_t>(strlen(key) + 1);
    for (uint32_t at = 0; at + 6 + key_bytes <= size; at += 4) {
        const uint8_t* node = block + at;
        // Within the key's bytes: the loop stops at the key's NUL at the latest.
        const uint8_t* p = node + 6;
        const char* k = key;
        while (*k && p[0] == static_cast<uint8_t>(*k) && p[1] == 0) {
            p += 2;
            ++k;
        }
        if (*k || p[0] || p[1]) continue;
        const uint32_t value = Align4(at + 6 + key_bytes);
        const uint32_t length = Get16(node + 2);
        if (value + 2 * length <= size) {
            *units = length;
            return value;
        }
    }
    return 0;
}

// The text of `key` in the installer's own version resource, in the system's code page, into
// `out` (kVersionTextSize + 1 bytes); "" when there is none or it does not convert whole.
void VersionText(const char* key, char* out) {
    uint32_t size = 0, units = 0;
    const uint8_t* block = PlatVersionResource(&size);
    // No resources give a size of 0: nothing is searched.
    const uint32_t at = FindVersionValue(block, size, key, &units);
    // The value's zeros after a short text become NULs, so the text ends at the first; a value
    // longer than the buffer, or none (no units), converts to nothing.
    out[PlatWideToAnsi(reinterpret_cast<const uint16_t*>(block + at), units, out,
                       kVersionTextSize)] = '\0';
}

// Publisher and version from the version resource, the installed file as icon, its size in
// KB, and no Modify or Repair buttons: what Apps & Features shows beside the name. Written
// under one opening of the key; a text that cannot be had and the size of a file that cannot
// be opened are left out.
// Out of line for the same reason as FindVersionValue.
__attribute__((noinline)) void SetUninstallDetails(const char* key_path) {
    PlatKey key = 0;
    if (PlatRegCreateKey(kHkeyLocalMachine, key_path, kKeyAllAccess, &key) != kErrorSuccess) return;
    char text[kVersionTextSize + 1];
    // The uninstall command was formed from the same path, so it fits.
    const char* path = WindowsDirPath(Settings.ScreenSaverFileName);
    const char* name = DetailNames[0];
    for (int i = 0; i < kDetailCount; ++i, name += kDetailSlot) {
        uint32_t number = 1;
        const void* data = &number;
        if (i < 2) {
            VersionText(name, text);
            name += kDetailSlot;
            data = text;
        } else if (i == 2) {
            data = path;
        } else if (i == 3) {
            const FileHandle file = PlatOpenRead(path);
            if (file == kInvalidFile) continue;
            number = PlatFileSize(file);
            PlatClose(file);
            number = static_cast<uint32_t>((uint64_t{number} + 1023) >> 10);
        }
        const uint32_t size =
            data == &number ? 4 : static_cast<uint32_t>(strlen(static_cast<const char*>(data)));
        if (size) PlatRegSetValue(key, name, data == &number ? kRegDword : kRegSz, data, size);
    }
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
