// Activation of the installed screen saver and its uninstall entry.
#include "app/activation.h"

#include <stdio.h>
#include <string.h>

#include "app/settings.h"
#include "platform/shell.h"

const char kUninstallKeyFormat[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\UnInstall\\%s";

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

// Appends `text` to the path buffer, cut at its end.
void AppendPath(const char* text) {
    size_t used = strlen(WindowsPath);
    CopyBounded(WindowsPath + used, static_cast<uint32_t>(kPathSize - used), text, kPathSize);
}

}  // namespace

char* WindowsDirPath(const char* name) {
    uint32_t length = PlatWindowsDirectory(WindowsPath, kPathSize);
    // A directory that does not fit leaves the buffer undefined; it is treated like a failure.
    if (length == 0 || length >= kPathSize) strcpy(WindowsPath, kFallbackDir);
    size_t used = strlen(WindowsPath);
    if (used == 0 || WindowsPath[used - 1] != '\\') AppendPath("\\");
    AppendPath(name);
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
    PlatFind find = PlatFindFirstFile(WindowsDirPath(name), alternate);
    if (find == kInvalidFind) return WindowsPath;
    PlatFindClose(find);
    if (alternate[0] == '\0') return WindowsDirPath(name);
    return WindowsDirPath(alternate);
}

const uint16_t* WidenForProfile(const char* path, uint32_t code_page) {
    memset(WidePath, 0, sizeof WidePath);
    for (uint32_t i = 0; i + 1 < kWidePathSize && path[i] != '\0'; ++i) {
        uint8_t b = static_cast<uint8_t>(path[i]);
        WidePath[i] = (code_page != 0 && b == kBrokenBar) ? kBrokenBarWide : b;
    }
    return WidePath;
}

void ActivateScreenSaver() {
    const char* path = ShortFormPath(Settings.ScreenSaverFileName);
    if (PlatVersionPlatformId() == kVerPlatformWin32Nt) {
        PlatWriteProfileStringW(kBootW, kScrnsaveW, WidenForProfile(path, InfoWord(kInfoCodePage)),
                                kSystemIniW);
    } else {
        PlatWriteProfileStringA("boot", "SCRNSAVE.EXE", path, "system.ini");
    }
    PlatSystemParametersInfo(kSpiSetScreenSaveActive, 1, nullptr, kSpifUpdateIniFile);
}

void FormDisplayName(char* out) {
    const char* file = Settings.ScreenSaverFileName;
    size_t length = strlen(file);
    // The name less its ".scr"; a name shorter than the extension (the default "1") gives none.
    int stem = length > 4 ? static_cast<int>(length - 4) : 0;
    snprintf(out, kDisplayNameSize, "Screensaver (%.*s)", stem, file);
}

void FormUninstallCommand(char* out) {
    // Quoted: a path with a space would otherwise be run as its first word.
    snprintf(out, kUninstallCommandSize, "\"%s\" /U", WindowsDirPath(Settings.ScreenSaverFileName));
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
    snprintf(key_path, sizeof key_path, kUninstallKeyFormat, Settings.ScreenSaverFileName);
    FormDisplayName(display_name);
    FormUninstallCommand(command);
    SetUninstallValue(key_path, "DisplayName", display_name);
    return SetUninstallValue(key_path, "UninstallString", command);
}
