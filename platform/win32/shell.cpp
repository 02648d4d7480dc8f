// System-integration calls over the Windows API: directories, code page, platform family,
// profile files, the screen saver switch, 8.3 alternate names, the registry, and the lookups of
// other programs' windows.
#include <string.h>
#include <windows.h>

#include "platform/shell.h"
#include "platform/system.h"
#include "platform/ui.h"

static_assert(sizeof(wchar_t) == sizeof(uint16_t), "a profile text is UTF-16");
static_assert(sizeof(PlatKey) == sizeof(HKEY) && sizeof(PlatFind) == sizeof(HANDLE),
              "keys and search handles pass through unchanged");

static HKEY ToHkey(PlatKey key) {
    return reinterpret_cast<HKEY>(key);
}

uint32_t PlatWindowsDirectory(char* buffer, uint32_t size) {
    return GetWindowsDirectoryA(buffer, size);
}

uint32_t PlatSystemDirectory(char* buffer, uint32_t size) {
    return GetSystemDirectoryA(buffer, size);
}

uint32_t PlatGetACP() {
    return GetACP();
}

uint32_t PlatAnsiToWide(const char* text, uint16_t* out, uint32_t units) {
    return MultiByteToWideChar(CP_ACP, 0, text, -1, reinterpret_cast<wchar_t*>(out),
                               static_cast<int>(units));
}

const uint8_t* PlatVersionResource(uint32_t* size) {
    // The loaded image's resources, as its data directory gives them: no import and no walk of
    // the resource directory for a block the caller finds by its own layout.
    const uint8_t* base = reinterpret_cast<const uint8_t*>(PlatGetInstance());
    const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& resources =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE];
    *size = resources.Size;  // 0, and nothing to read, when the program has none
    return base + resources.VirtualAddress;
}

uint32_t PlatWideToAnsi(const uint16_t* text, uint32_t count, char* out, uint32_t out_size) {
    int written = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const wchar_t*>(text),
                                      static_cast<int>(count), out, static_cast<int>(out_size),
                                      nullptr, nullptr);
    return written > 0 ? static_cast<uint32_t>(written) : 0;
}

uint32_t PlatVersionPlatformId() {
    OSVERSIONINFOA info;                      // GetVersionExA reads only the size
    info.dwOSVersionInfoSize = sizeof(info);  // 148
    static_assert(sizeof(OSVERSIONINFOA) == 148, "the 9x family knows only this size");
    if (!GetVersionExA(&info)) return 0;
    return info.dwPlatformId;
}

int PlatWriteProfileStringA(const char* section, const char* key, const char* value,
                            const char* file) {
    return WritePrivateProfileStringA(section, key, value, file) != 0;
}

int PlatWriteProfileStringW(const uint16_t* section, const uint16_t* key, const uint16_t* value,
                            const uint16_t* file) {
    return WritePrivateProfileStringW(reinterpret_cast<const wchar_t*>(section),
                                      reinterpret_cast<const wchar_t*>(key),
                                      reinterpret_cast<const wchar_t*>(value),
                                      reinterpret_cast<const wchar_t*>(file)) != 0;
}

int PlatSystemParametersInfo(uint32_t action, uint32_t param, void* data, uint32_t flags) {
    return SystemParametersInfoA(action, param, data, flags) != 0;
}

PlatFind PlatFindFirstFile(const char* path, char alternate[kAlternateNameSize]) {
    WIN32_FIND_DATAA found;  // filled by a search that opens
    static_assert(sizeof(found.cAlternateFileName) == kAlternateNameSize, "8.3 name and NUL");
    HANDLE search = FindFirstFileA(path, &found);
    alternate[0] = '\0';
    if (search == INVALID_HANDLE_VALUE) return kInvalidFind;
    // Copied whole and ended: no import (lstrcpynA, memmove) for the stub's import table.
    memcpy(alternate, found.cAlternateFileName, kAlternateNameSize);
    alternate[kAlternateNameSize - 1] = '\0';
    return reinterpret_cast<PlatFind>(search);
}

int PlatFindClose(PlatFind find) {
    return FindClose(reinterpret_cast<HANDLE>(find)) != 0;
}

long PlatRegCreateKey(PlatKey root, const char* subkey, uint32_t access, PlatKey* key) {
    HKEY opened = nullptr;
    LONG result =
        RegCreateKeyExA(ToHkey(root), subkey, 0, nullptr, 0, access, nullptr, &opened, nullptr);
    if (result == ERROR_SUCCESS) *key = reinterpret_cast<PlatKey>(opened);
    return result;
}

long PlatRegSetValue(PlatKey key, const char* name, uint32_t type, const void* data,
                     uint32_t size) {
    return RegSetValueExA(ToHkey(key), name, 0, type, static_cast<const BYTE*>(data), size);
}

long PlatRegCloseKey(PlatKey key) {
    return RegCloseKey(ToHkey(key));
}

PlatWindow PlatFindWindow(const char* title) {
    return reinterpret_cast<PlatWindow>(FindWindowA(nullptr, title));
}

PlatWindow PlatGetParent(PlatWindow window) {
    return reinterpret_cast<PlatWindow>(GetParent(reinterpret_cast<HWND>(window)));
}
