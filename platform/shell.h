// System-integration calls of the installer: the Windows and temporary directories, the code
// page and the platform family, the profile files (system.ini), the screen saver switch, 8.3
// alternate names and the registry. The values are the Win32 ones; results follow the Win32
// calls (registry calls return a Win32 error code, 0 for success).
#pragma once

#include "platform/types.h"

// GetWindowsDirectoryA(buffer, size): the length copied (no trailing backslash except for a
// root); 0 on failure; the size needed, NUL included, when it does not fit (buffer unchanged).
uint32_t PlatWindowsDirectory(char* buffer, uint32_t size);

// GetSystemDirectoryA(buffer, size): the system folder ("C:\WINDOWS\system32"), with the same
// results as PlatWindowsDirectory.
uint32_t PlatSystemDirectory(char* buffer, uint32_t size);

// GetACP: the system's ANSI code page.
uint32_t PlatGetACP();

// MultiByteToWideChar(CP_ACP, 0, text, -1, out, units): `text` in UTF-16 as the system's ANSI
// code page reads it, which is how the A calls (CreateFileA) name files. The units written, the
// terminating zero included; 0 when it does not fit or cannot be converted.
uint32_t PlatAnsiToWide(const char* text, uint16_t* out, uint32_t units);

// The program's own resources as loaded (the image's resource section, whose size its data
// directory gives), among them its version resource (a VS_VERSIONINFO block) on a 4-byte
// boundary; a size of 0 when the program has none (the pointer then
// means nothing). What FindResourceA(instance, 1,
// RT_VERSION) and LockResource would find lies inside, without a call that the stub would import.
const uint8_t* PlatVersionResource(uint32_t* size);

// WideCharToMultiByte(CP_ACP, 0, text, count, out, out_size, no default, null): `count` code
// units in the system's code page, a unit it lacks as '?'. The bytes written; 0 on failure
// (also when they do not fit). Adds no NUL that is not among the units.
uint32_t PlatWideToAnsi(const uint16_t* text, uint32_t count, char* out, uint32_t out_size);

// GetVersionExA with dwOSVersionInfoSize = 148: dwPlatformId, or 0 when the call failed.
constexpr uint32_t kVerPlatformWin32Windows = 1;  // the 9x family
constexpr uint32_t kVerPlatformWin32Nt = 2;
uint32_t PlatVersionPlatformId();

// WritePrivateProfileStringA / W(section, key, value, file). A file without a folder is looked
// for in the Windows directory. A null value removes the key. 1 on success.
int PlatWriteProfileStringA(const char* section, const char* key, const char* value,
                            const char* file);
int PlatWriteProfileStringW(const uint16_t* section, const uint16_t* key, const uint16_t* value,
                            const uint16_t* file);

// SystemParametersInfoA(action, param, data, flags). 1 on success.
constexpr uint32_t kSpiSetScreenSaveActive = 17;
constexpr uint32_t kSpifUpdateIniFile = 1;
int PlatSystemParametersInfo(uint32_t action, uint32_t param, void* data, uint32_t flags);

// FindFirstFileA(path) for one file: the search handle or kInvalidFind. `alternate` (14 bytes,
// cAlternateFileName) receives the entry's 8.3 alternate name, empty when it has none.
// PlatFindClose (FindClose) ends a search that opened.
typedef intptr_t PlatFind;
constexpr PlatFind kInvalidFind = -1;
constexpr uint32_t kAlternateNameSize = 14;
PlatFind PlatFindFirstFile(const char* path, char alternate[kAlternateNameSize]);
int PlatFindClose(PlatFind find);

// Registry keys. The predefined roots carry their Win32 values (sign-extended as on Win64).
typedef intptr_t PlatKey;
constexpr PlatKey kHkeyClassesRoot = static_cast<PlatKey>(static_cast<int32_t>(0x80000000u));
constexpr PlatKey kHkeyCurrentUser = static_cast<PlatKey>(static_cast<int32_t>(0x80000001u));
constexpr PlatKey kHkeyLocalMachine = static_cast<PlatKey>(static_cast<int32_t>(0x80000002u));
constexpr uint32_t kKeyAllAccess = 0xF003F;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegDword = 4;
constexpr long kErrorSuccess = 0;

// RegCreateKeyExA(root, subkey, 0, no class, options 0, access, no security, key, no
// disposition): creates the key or opens the existing one. 0 or a Win32 error code.
long PlatRegCreateKey(PlatKey root, const char* subkey, uint32_t access, PlatKey* key);
// RegSetValueExA(key, name, 0, type, data, size): stores exactly `size` bytes of `data`.
long PlatRegSetValue(PlatKey key, const char* name, uint32_t type, const void* data, uint32_t size);
// RegCloseKey.
long PlatRegCloseKey(PlatKey key);
