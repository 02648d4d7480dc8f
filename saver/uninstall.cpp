// Uninstalling the screen saver from its own running program.
//
// A running program's file cannot be deleted on Windows while its image is mapped. The saver
// first tries DeleteFileA anyway (some systems allow it), and otherwise asks for the deletion at
// the next restart with MoveFileExA(MOVEFILE_DELAY_UNTIL_REBOOT). A helper that waits for the
// saver to end and deletes the file (a batch file, a copy of the program in the temporary
// folder) would remove it sooner, but it races with the saver's exit, leaves a file of its own
// behind, and is what virus scanners flag; the restart is the documented, safe way. Windows 9x
// has no MoveFileExA: there the line NUL=<8.3 path> in the [Rename] section of WinInit.Ini asks
// for the same.
#include "saver/uninstall.h"

#include "saver/settings.h"
#include "saver/wininit.h"

#include <windows.h>

#include <string.h>

static const char kUninstallRoot[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\UnInstall\\";

static char OwnPath[MAX_PATH];       // 260 bytes: the program's path as Windows started it
static char OwnLongName[MAX_PATH];   // 260 bytes: its long file name, without the folder
static char OwnLongPath[MAX_PATH];   // 260 bytes: the folder and the long file name
static char OwnShortPath[MAX_PATH];  // 260 bytes: its 8.3 path; empty when there is none
static char ProfileValue[MAX_PATH];  // 260 bytes: SCRNSAVE.EXE as system.ini holds it
static char Scratch[MAX_PATH];       // 260 bytes: the 8.3 form of ProfileValue
static char KeyPath[MAX_PATH];       // 260 bytes: the uninstall key under HKEY_LOCAL_MACHINE
static char Message[2 * MAX_PATH];   // 520 bytes: the text of the closing box
static char WinInitPath[MAX_PATH];   // 260 bytes: WinInit.Ini in the Windows folder
// 32 KiB: WinInit.Ini as it was; Windows 9x processes and empties it at every start, so a
// larger one is no file this saver should rewrite.
static char WinInitText[32768];

// Appends `text` to `target` of `size` bytes, cutting it to fit. 1 when it fitted whole.
static int Append(char* target, size_t size, const char* text) {
    size_t used = strlen(target);
    while (*text && used + 1 < size)
        target[used++] = *text++;
    target[used] = '\0';
    return *text == '\0';
}

// Fills the Own* paths. The long name comes from the directory entry, so that a program
// started by its 8.3 path (as system.ini may name it) still finds the key named after the
// long name.
static int FindOwnFile() {
    const DWORD length = GetModuleFileNameA(nullptr, OwnPath, sizeof OwnPath);
    if (length == 0 || length >= sizeof OwnPath) return 0;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(OwnPath, &found);
    const char* slash = strrchr(OwnPath, '\\');
    const size_t folder = slash ? static_cast<size_t>(slash - OwnPath) + 1 : 0;
    OwnLongName[0] = '\0';
    if (search != INVALID_HANDLE_VALUE) {
        Append(OwnLongName, sizeof OwnLongName, found.cFileName);
        FindClose(search);
    } else {
        Append(OwnLongName, sizeof OwnLongName, OwnPath + folder);
    }
    memcpy(OwnLongPath, OwnPath, folder);
    OwnLongPath[folder] = '\0';
    Append(OwnLongPath, sizeof OwnLongPath, OwnLongName);
    const DWORD short_length = GetShortPathNameA(OwnPath, OwnShortPath, sizeof OwnShortPath);
    if (short_length == 0 || short_length >= sizeof OwnShortPath) OwnShortPath[0] = '\0';
    return 1;
}

// RegDeleteKeyExA exists from Windows XP x64 on; taken by name so the saver still starts where
// it does not.
typedef LONG(WINAPI* RegDeleteKeyExFunction)(HKEY, LPCSTR, REGSAM, DWORD);

// An installer of the other bitness wrote the key into the other registry view (a 32-bit one
// into WOW6432Node on a 64-bit system), so both views are tried; a view without the key is no
// failure. Returns 1 when a key was deleted.
static int DeleteUninstallKey() {
    KeyPath[0] = '\0';
    if (!Append(KeyPath, sizeof KeyPath, kUninstallRoot) ||
        !Append(KeyPath, sizeof KeyPath, OwnLongName))
        return 0;
    int deleted = RegDeleteKeyA(HKEY_LOCAL_MACHINE, KeyPath) == ERROR_SUCCESS;
    HMODULE advapi = GetModuleHandleA("advapi32.dll");
    const RegDeleteKeyExFunction delete_in_view =
        advapi ? reinterpret_cast<RegDeleteKeyExFunction>(
                     reinterpret_cast<void*>(GetProcAddress(advapi, "RegDeleteKeyExA")))
               : nullptr;
    if (delete_in_view) {
        const REGSAM views[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};
        for (REGSAM view : views)
            if (delete_in_view(HKEY_LOCAL_MACHINE, KeyPath, view, 0) == ERROR_SUCCESS) deleted = 1;
    }
    return deleted;
}

// Paths are compared without regard to case; the 8.3 forms are compared too, so that
// "C:\WINDOWS\AURORA~1.SCR" and "c:\windows\Aurora Borealis.scr" name the same file.
static int NamesThisFile(const char* value) {
    if (!value[0]) return 0;
    if (lstrcmpiA(value, OwnPath) == 0 || lstrcmpiA(value, OwnLongPath) == 0) return 1;
    if (!OwnShortPath[0]) return 0;
    if (lstrcmpiA(value, OwnShortPath) == 0) return 1;
    const DWORD length = GetShortPathNameA(value, Scratch, sizeof Scratch);
    return length > 0 && length < sizeof Scratch && lstrcmpiA(Scratch, OwnShortPath) == 0;
}

// Leaves another screen saver's entry alone. Returns 1 when the entry named this file.
static int ClearCurrentSaver() {
    GetPrivateProfileStringA("boot", "SCRNSAVE.EXE", "", ProfileValue, sizeof ProfileValue,
                             "system.ini");
    if (!NamesThisFile(ProfileValue)) return 0;
    WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", nullptr, "system.ini");
    // Switched on without a program, Windows would try to start a saver that is gone.
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, SPIF_UPDATEINIFILE);
    return 1;
}

// Adds NUL=<path> to [Rename] of WinInit.Ini (saver/wininit.h). 1 when the line is in the file.
static int ScheduleRemovalIn9x() {
    const char* path = OwnShortPath[0] ? OwnShortPath : OwnLongPath;
    const UINT folder = GetWindowsDirectoryA(WinInitPath, sizeof WinInitPath - 16);
    if (folder == 0 || folder >= sizeof WinInitPath - 16) return 0;
    lstrcatA(WinInitPath, WinInitPath[folder - 1] == '\\' ? "WININIT.INI" : "\\WININIT.INI");
    HANDLE file = CreateFileA(WinInitPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    DWORD size = 0, written = 0;
    uint32_t new_size = 0;
    int ok = ReadFile(file, WinInitText, sizeof WinInitText, &size, nullptr) &&
             size < sizeof WinInitText &&
             (new_size = AddRemovalLine(WinInitText, size, sizeof WinInitText, path)) != 0;
    if (ok && new_size != size)
        ok = SetFilePointer(file, 0, nullptr, FILE_BEGIN) == 0 &&
             WriteFile(file, WinInitText, new_size, &written, nullptr) && written == new_size;
    CloseHandle(file);
    return ok;
}

// 2 removed now, 1 removed at the next restart, 0 not removed.
static int RemoveOwnFile() {
    if (DeleteFileA(OwnLongPath)) return 2;
    if (MoveFileExA(OwnLongPath, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) return 1;
    if ((GetVersion() & 0x80000000u) && ScheduleRemovalIn9x()) return 1;
    return 0;
}

// Shows the closing box: the parts of its text in order, null parts left out.
static void Say(const char* name, const char* a, const char* b, const char* c, const char* d) {
    const char* parts[] = {a, b, c, d};
    Message[0] = '\0';
    for (const char* part : parts)
        if (part) Append(Message, sizeof Message, part);
    MessageBoxA(nullptr, Message, name, MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
}

int UninstallSaver(const char* name) {
    if (!FindOwnFile()) {
        Say(name, name, " cannot find its own file and was not removed.", nullptr, nullptr);
        return 0;
    }
    DeleteUninstallKey();
    DeleteShowSettings(name);
    ClearCurrentSaver();
    const int removed = RemoveOwnFile();
    if (removed == 2) {
        Say(name, name, " has been removed from this computer.", nullptr, nullptr);
    } else if (removed == 1) {
        Say(name, name, " has been removed.\n\nIts file ", OwnLongPath,
            " will be deleted when Windows restarts.");
    } else {
        Say(name, name,
            " is no longer your screen saver, but its file could not be deleted: ", OwnLongPath,
            ". Please delete it yourself.");
    }
    return removed != 0;
}
