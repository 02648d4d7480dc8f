// Uninstalling the screen saver from its own running program.
//
// A running program's file cannot be deleted on Windows while its image is mapped. The saver
// first tries DeleteFile anyway (some systems allow it), and otherwise asks for the deletion at
// the next restart with MoveFileEx(MOVEFILE_DELAY_UNTIL_REBOOT). A helper that waits for the
// saver to end and deletes the file (a batch file, a copy of the program in the temporary
// folder) would remove it sooner, but it races with the saver's exit, leaves a file of its own
// behind, and is what virus scanners flag; the restart is the documented, safe way.
//
// The saver names its own file exactly. On the NT family every name goes through the wide
// calls: the 8-bit calls give '?' for a character outside the current ANSI code page (after a
// change of the system locale, say), and '?' is a wildcard to FindFirstFileA and a plain
// character in a key name, so the 8-bit names could lead to another screen saver's file or key.
// The 9x family has only the 8-bit calls; there a name with a wildcard is not used at all. It
// has no MoveFileExA either: there the line NUL=<8.3 path> in the [Rename] section of
// WinInit.Ini asks for the deletion at the restart.
#include "saver/uninstall.h"

#include "saver/settings.h"
#include "saver/wininit.h"

#include <windows.h>

namespace {

// The 8-bit and the wide calls under one set of names, so that one procedure serves both.
struct NarrowCalls {
    typedef char Char;
    typedef WIN32_FIND_DATAA FindData;
    static DWORD ModuleFileName(Char* out, DWORD size) {
        return GetModuleFileNameA(nullptr, out, size);
    }
    static HANDLE FindFirst(const Char* path, FindData* found) {
        return FindFirstFileA(path, found);
    }
    static DWORD ShortPath(const Char* path, Char* out, DWORD size) {
        return GetShortPathNameA(path, out, size);
    }
    static LONG DeleteKey(const Char* path) { return RegDeleteKeyA(HKEY_LOCAL_MACHINE, path); }
    static const char* DeleteKeyInViewName() { return "RegDeleteKeyExA"; }
    static int Same(const Char* a, const Char* b) { return lstrcmpiA(a, b) == 0; }
    static void ReadCurrentSaver(const Char* section, const Char* key, Char* out, DWORD size,
                                 const Char* file) {
        GetPrivateProfileStringA(section, key, "", out, size, file);
    }
    static void ClearCurrentSaver(const Char* section, const Char* key, const Char* file) {
        WritePrivateProfileStringA(section, key, nullptr, file);
    }
    static BOOL Delete(const Char* path) { return DeleteFileA(path); }
    static BOOL DeleteAtRestart(const Char* path) {
        return MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    static void Box(const Char* text, const Char* caption) {
        MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
    }
};

struct WideCalls {
    typedef wchar_t Char;
    typedef WIN32_FIND_DATAW FindData;
    static DWORD ModuleFileName(Char* out, DWORD size) {
        return GetModuleFileNameW(nullptr, out, size);
    }
    static HANDLE FindFirst(const Char* path, FindData* found) {
        return FindFirstFileW(path, found);
    }
    static DWORD ShortPath(const Char* path, Char* out, DWORD size) {
        return GetShortPathNameW(path, out, size);
    }
    static LONG DeleteKey(const Char* path) { return RegDeleteKeyW(HKEY_LOCAL_MACHINE, path); }
    static const char* DeleteKeyInViewName() { return "RegDeleteKeyExW"; }
    static int Same(const Char* a, const Char* b) { return lstrcmpiW(a, b) == 0; }
    static void ReadCurrentSaver(const Char* section, const Char* key, Char* out, DWORD size,
                                 const Char* file) {
        GetPrivateProfileStringW(section, key, L"", out, size, file);
    }
    static void ClearCurrentSaver(const Char* section, const Char* key, const Char* file) {
        WritePrivateProfileStringW(section, key, nullptr, file);
    }
    static BOOL Delete(const Char* path) { return DeleteFileW(path); }
    static BOOL DeleteAtRestart(const Char* path) {
        return MoveFileExW(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    static void Box(const Char* text, const Char* caption) {
        MessageBoxW(nullptr, text, caption, MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
    }
};

// The paths and texts of one run, in the character type of the calls in use. Fixed buffers of
// MAX_PATH (260) characters, the message twice that.
template <typename C>
struct Names {
    C own_path[MAX_PATH];        // the program's path as Windows started it
    C own_long_name[MAX_PATH];   // its long file name, without the folder
    C own_long_path[MAX_PATH];   // the folder and the long file name
    C own_short_path[MAX_PATH];  // its 8.3 path; empty when there is none
    C profile_value[MAX_PATH];   // SCRNSAVE.EXE as system.ini holds it
    C scratch[MAX_PATH];         // the 8.3 form of profile_value
    C key_path[MAX_PATH];        // the uninstall key under HKEY_LOCAL_MACHINE
    C name[MAX_PATH];            // the caption, the name the saver goes by
    C message[2 * MAX_PATH];     // the text of the closing box
};

Names<char> NarrowNames;   // used on the 9x family
Names<wchar_t> WideNames;  // used on the NT family

size_t Length(const char* text) {
    return static_cast<size_t>(lstrlenA(text));
}
size_t Length(const wchar_t* text) {
    return static_cast<size_t>(lstrlenW(text));
}

// Appends `text` (8-bit ASCII texts widen unit by unit) to `target` of `size` units, cutting it
// to fit. 1 when it fitted whole.
template <typename C, typename T>
int Append(C* target, size_t size, const T* text) {
    size_t used = Length(target);
    while (*text && used + 1 < size)
        target[used++] = static_cast<C>(*text++);
    target[used] = 0;
    return *text == 0;
}

template <typename C>
int HasWildcard(const C* text) {
    for (; *text; ++text)
        if (*text == '?' || *text == '*') return 1;
    return 0;
}

// Fills the own_* paths. The long name comes from the directory entry, so that a program
// started by its 8.3 path (as system.ini may name it) still finds the key named after the long
// name. The search is for the exact path: a path with a wildcard, which no file name holds, is
// refused, so the one entry found is the program's own.
template <typename Calls>
int FindOwnFile(Names<typename Calls::Char>& n) {
    const DWORD length = Calls::ModuleFileName(n.own_path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || HasWildcard(n.own_path)) return 0;
    typename Calls::FindData found;
    HANDLE search = Calls::FindFirst(n.own_path, &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    FindClose(search);
    if (HasWildcard(found.cFileName)) return 0;
    size_t folder = Length(n.own_path);
    while (folder > 0 && n.own_path[folder - 1] != '\\')
        --folder;
    n.own_long_name[0] = 0;
    Append(n.own_long_name, MAX_PATH, found.cFileName);
    for (size_t i = 0; i < folder; ++i)
        n.own_long_path[i] = n.own_path[i];
    n.own_long_path[folder] = 0;
    if (!Append(n.own_long_path, MAX_PATH, n.own_long_name)) return 0;
    const DWORD short_length = Calls::ShortPath(n.own_path, n.own_short_path, MAX_PATH);
    if (short_length == 0 || short_length >= MAX_PATH) n.own_short_path[0] = 0;
    return 1;
}

// RegDeleteKeyEx exists from Windows XP x64 on; taken by name so the saver still starts where
// it does not.
typedef LONG(WINAPI* DeleteKeyInView)(HKEY, const void*, REGSAM, DWORD);

// An installer of the other bitness wrote the key into the other registry view (a 32-bit one
// into WOW6432Node on a 64-bit system), so both views are tried; a view without the key is no
// failure. Returns 1 when a key was deleted.
template <typename Calls>
int DeleteUninstallKey(Names<typename Calls::Char>& n) {
    n.key_path[0] = 0;
    if (!Append(n.key_path, MAX_PATH,
                "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\UnInstall\\") ||
        !Append(n.key_path, MAX_PATH, n.own_long_name))
        return 0;
    int deleted = Calls::DeleteKey(n.key_path) == ERROR_SUCCESS;
    HMODULE advapi = GetModuleHandleA("advapi32.dll");
    const DeleteKeyInView delete_in_view =
        advapi ? reinterpret_cast<DeleteKeyInView>(
                     reinterpret_cast<void*>(GetProcAddress(advapi, Calls::DeleteKeyInViewName())))
               : nullptr;
    if (delete_in_view) {
        const REGSAM views[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};
        for (REGSAM view : views)
            if (delete_in_view(HKEY_LOCAL_MACHINE, n.key_path, view, 0) == ERROR_SUCCESS)
                deleted = 1;
    }
    return deleted;
}

// Paths are compared without regard to case; the 8.3 forms are compared too, so that
// "C:\WINDOWS\AURORA~1.SCR" and "c:\windows\Aurora Borealis.scr" name the same file.
template <typename Calls>
int NamesThisFile(Names<typename Calls::Char>& n) {
    const typename Calls::Char* value = n.profile_value;
    if (!value[0]) return 0;
    if (Calls::Same(value, n.own_path) || Calls::Same(value, n.own_long_path)) return 1;
    if (!n.own_short_path[0]) return 0;
    if (Calls::Same(value, n.own_short_path)) return 1;
    const DWORD length = Calls::ShortPath(value, n.scratch, MAX_PATH);
    return length > 0 && length < MAX_PATH && Calls::Same(n.scratch, n.own_short_path);
}

// Leaves another screen saver's entry alone. Returns 1 when the entry named this file.
template <typename Calls>
int ClearCurrentSaver(Names<typename Calls::Char>& n) {
    typename Calls::Char boot[8] = {}, key[16] = {}, file[16] = {};
    Append(boot, 8, "boot");
    Append(key, 16, "SCRNSAVE.EXE");
    Append(file, 16, "system.ini");
    Calls::ReadCurrentSaver(boot, key, n.profile_value, MAX_PATH, file);
    if (!NamesThisFile<Calls>(n)) return 0;
    Calls::ClearCurrentSaver(boot, key, file);
    // Switched on without a program, Windows would try to start a saver that is gone.
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, SPIF_UPDATEINIFILE);
    return 1;
}

char WinInitPath[MAX_PATH];  // 260 bytes: WinInit.Ini in the Windows folder
// 32 KiB: WinInit.Ini as it was; Windows 9x processes and empties it at every start, so a
// larger one is no file this saver should rewrite.
char WinInitText[32768];

// Adds NUL=<path> to [Rename] of WinInit.Ini (saver/wininit.h) on the 9x family. 1 when the line
// is in the file. The NT family removes files at the restart with MoveFileEx alone.
int ScheduleRemovalIn9x(Names<wchar_t>&) {
    return 0;
}
int ScheduleRemovalIn9x(Names<char>& n) {
    if (!(GetVersion() & 0x80000000u)) return 0;
    const char* path = n.own_short_path[0] ? n.own_short_path : n.own_long_path;
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

// Shows the closing box: the parts of its text in order, null parts left out.
template <typename Calls, typename A, typename B>
void Say(Names<typename Calls::Char>& n, const A* a, const char* b, const B* c, const char* d) {
    n.message[0] = 0;
    Append(n.message, 2 * MAX_PATH, a);
    Append(n.message, 2 * MAX_PATH, b);
    if (c) Append(n.message, 2 * MAX_PATH, c);
    if (d) Append(n.message, 2 * MAX_PATH, d);
    Calls::Box(n.message, n.name);
}

// `settings_name`: the name the person's own settings of the show are kept under.
template <typename Calls>
int Uninstall(Names<typename Calls::Char>& n, const char* settings_name) {
    typedef typename Calls::Char C;
    const C* none = nullptr;
    if (!FindOwnFile<Calls>(n)) {
        Say<Calls>(n, n.name, " cannot find its own file and was not removed.", none, nullptr);
        return 0;
    }
    DeleteUninstallKey<Calls>(n);
    DeleteShowSettings(settings_name);
    ClearCurrentSaver<Calls>(n);
    // 2 removed now, 1 removed at the next restart, 0 not removed.
    int removed = 0;
    if (Calls::Delete(n.own_long_path))
        removed = 2;
    else if (Calls::DeleteAtRestart(n.own_long_path) || ScheduleRemovalIn9x(n))
        removed = 1;
    if (removed == 2) {
        Say<Calls>(n, n.name, " has been removed from this computer.", none, nullptr);
    } else if (removed == 1) {
        Say<Calls>(n, n.name, " has been removed.\n\nIts file ", n.own_long_path,
                   " will be deleted when Windows restarts.");
    } else {
        Say<Calls>(n, n.name,
                   " is no longer your screen saver, but its file could not be deleted: ",
                   n.own_long_path, ". Please delete it yourself.");
    }
    return removed != 0;
}

}  // namespace

int UninstallSaver(const char* name) {
    // The wide calls exist on the NT family; on the 9x family they fail without doing anything.
    WideNames.own_path[0] = 0;
    if (GetModuleFileNameW(nullptr, WideNames.own_path, MAX_PATH) != 0) {
        // The name comes from INFO in the ANSI code page.
        if (!MultiByteToWideChar(CP_ACP, 0, name, -1, WideNames.name, MAX_PATH))
            WideNames.name[0] = 0;
        return Uninstall<WideCalls>(WideNames, name);
    }
    NarrowNames.name[0] = 0;
    Append(NarrowNames.name, MAX_PATH, name);
    return Uninstall<NarrowCalls>(NarrowNames, name);
}
