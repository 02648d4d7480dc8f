// DLLs from the system folder, the Windows family, the saver's own file.
#include "saver/system.h"

static char DllPath[MAX_PATH + 16];            // 276 bytes: the system folder and a DLL's name
static char OwnPath[MAX_PATH];                 // 260 bytes: the running program's file
static HANDLE OwnFile = INVALID_HANDLE_VALUE;  // kept open for the pictures and music

void RestrictDllSearch() {
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesCall)(DWORD);
    const SetDefaultDllDirectoriesCall restrict_search = SystemProc<SetDefaultDllDirectoriesCall>(
        GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");
    if (restrict_search) restrict_search(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

HMODULE LoadSystemDll(const char* name) {
    const UINT length = GetSystemDirectoryA(DllPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    DllPath[length] = '\\';
    lstrcpynA(DllPath + length + 1, name, sizeof DllPath - length - 1);
    return LoadLibraryA(DllPath);
}

int IsWindows9x() {
    return (GetVersion() & 0x80000000u) != 0;
}

int ReadOwnFile(uint32_t offset, void* buffer, uint32_t size) {
    if (OwnFile == INVALID_HANDLE_VALUE) {
        const DWORD length = GetModuleFileNameA(nullptr, OwnPath, sizeof OwnPath);
        if (length == 0 || length >= sizeof OwnPath) return 0;
        OwnFile =
            CreateFileA(OwnPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (OwnFile == INVALID_HANDLE_VALUE) return 0;
    }
    DWORD read = 0;
    LONG high = 0;  // with the high part given, the low part counts as unsigned
    return SetFilePointer(OwnFile, static_cast<LONG>(offset), &high, FILE_BEGIN) == offset &&
           ReadFile(OwnFile, buffer, size, &read, nullptr) && read == size;
}

static uint64_t Ticks(const FILETIME& time) {
    return static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

DWORD MsSinceStart() {
    FILETIME created, ended, kernel, user, now;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user)) return 0;
    GetSystemTimeAsFileTime(&now);
    return static_cast<DWORD>((Ticks(now) - Ticks(created)) / 10000);
}

DWORD ProcessCpuMs() {
    FILETIME created, ended, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user)) return 0;
    return static_cast<DWORD>((Ticks(kernel) + Ticks(user)) / 10000);
}
