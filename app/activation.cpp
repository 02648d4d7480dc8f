// Activation of the installed screen saver and its uninstall entry.
#include "app/activation.h"

#include <string.h>

#include "app/settings.h"
#include "app/text.h"
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
    return SetUninstallValue(key_path, "UninstallString", command);
}
