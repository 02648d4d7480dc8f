// Paths in the Windows directory, activation of the installed screen saver (system.ini and the
// screen saver switch) and its uninstall entry under HKEY_LOCAL_MACHINE.
#pragma once

#include <stdint.h>

constexpr uint32_t kPathSize = 260;
constexpr uint32_t kWidePathSize = 256;      // code units, the terminating zero included
constexpr uint32_t kUninstallKeySize = 128;  // 52-character prefix + a 63-character file name
constexpr uint32_t kDisplayNameSize = 128;
constexpr uint32_t kUninstallCommandSize = 256;

extern const char kUninstallKeyPrefix[];  // "SOFTWARE\...\UnInstall\", then the file name

// The Windows directory ("c:\win95" when it cannot be had), a backslash unless it ends in one,
// and `name`, in the one shared 260-byte path buffer; the next call overwrites it. Null (and the
// buffer empty) when the result would be longer than 259 characters.
char* WindowsDirPath(const char* name);

// Makes ScreenSaverFileName the current screen saver: its path (ShortFormPath) into system.ini,
// section "boot", key "SCRNSAVE.EXE" (the wide call on the NT family, WidenForProfile), then the
// screen saver switched on and stored. Results are not checked.
void ActivateScreenSaver();

// The path under which the system is told about `name`: its Windows-directory path when it is a
// plain 8.3 name, else the path of its 8.3 alternate name, or the long path when the file
// system gives none. In the shared path buffer; null when the long path does not fit it.
char* ShortFormPath(const char* name);

// 1 when `name` is a plain 8.3 name by the signed-byte scan: at most 8 name characters (letters,
// digits, '_'), then at most one separator and 3 more; a byte below '.' (0x80..0xFF included)
// before or a second separator makes it not plain.
int IsPlainShortName(const char* name);

// `path` in UTF-16 as the system's ANSI code page reads it (as CreateFileA named the file), in
// the 256-unit wide buffer. Null when it does not fit 255 units or cannot be converted.
const uint16_t* WidenForProfile(const char* path);

// Writes "DisplayName" ("Screensaver (<name>)") and "UninstallString" ("\"<long path>\" /U") of
// the uninstall key named after ScreenSaverFileName, then "Publisher" and "DisplayVersion" (the
// CompanyName and ProductVersion of the installer's own version resource, when it has them),
// "DisplayIcon" (the long path), "EstimatedSize" (the file's size in KB, rounded up) and
// "NoModify" and "NoRepair" (1); returns the result of the second write.
// Writes nothing and returns 0 when the uninstall command does not fit its buffer.
int RegisterUninstall();

// Creates or opens `key_path` under HKEY_LOCAL_MACHINE, stores `text` as REG_SZ with its length
// (no NUL) as byte count, closes the key. 1 when the value was written.
int SetUninstallValue(const char* key_path, const char* value_name, const char* text);

// The display name and uninstall command RegisterUninstall writes, formed into the caller's
// buffers (of kDisplayNameSize and kUninstallCommandSize bytes). FormUninstallCommand gives 0
// and an empty text when the path or the command does not fit.
void FormDisplayName(char* out);
int FormUninstallCommand(char* out);
