// Calls of the follow-up actions over the Windows API: starting programs, the file associations
// of the registry, environment references, removal at restart, and the file mapping through
// which WinInit.Ini is edited in place.
#include <windows.h>

#include "platform/launch.h"
#include "platform/win32/file_open.h"

static HANDLE ToHandle(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

static HKEY ToHkey(PlatKey key) {
    return reinterpret_cast<HKEY>(key);
}

uint32_t PlatWinExec(const char* command_line, uint32_t show) {
    return WinExec(command_line, show);
}

int PlatSetCurrentDirectory(const char* path) {
    return SetCurrentDirectoryA(path) != 0;
}

uint32_t PlatRunNumber() {
    // With ASLR the stack's place changes from run to run; the message time adds milliseconds.
    int here = 0;
    return static_cast<uint32_t>(GetMessageTime()) ^
           static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&here));
}

int PlatMoveFileEx(const char* from, const char* to, uint32_t flags) {
    return MoveFileExA(from, to, flags) != 0;
}

long PlatRegOpenKey(PlatKey root, const char* subkey, PlatKey* key) {
    HKEY opened = nullptr;
    LONG result = RegOpenKeyA(ToHkey(root), subkey, &opened);
    if (result == ERROR_SUCCESS) *key = reinterpret_cast<PlatKey>(opened);
    return result;
}

static_assert(sizeof(DWORD) == sizeof(uint32_t), "a DWORD is the same 32 bits");

long PlatRegQueryValue(PlatKey key, const char* name, uint32_t* type, void* data, uint32_t* size) {
    // DWORD is a 32-bit unsigned long on Windows, a different type of the same size and
    // representation as uint32_t.
    return RegQueryValueExA(ToHkey(key), name, nullptr, reinterpret_cast<DWORD*>(type),
                            static_cast<BYTE*>(data), reinterpret_cast<DWORD*>(size));
}

FileHandle PlatOpenReadWriteAlways(const char* path) {
    return Win32CreateFile(path, GENERIC_READ | GENERIC_WRITE, 0, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN);
}

intptr_t PlatCreateFileMapping(FileHandle file, uint32_t maximum_size) {
    return reinterpret_cast<intptr_t>(
        CreateFileMappingA(ToHandle(file), nullptr, PAGE_READWRITE, 0, maximum_size, nullptr));
}

uint8_t* PlatMapViewOfFile(intptr_t mapping) {
    return static_cast<uint8_t*>(MapViewOfFile(ToHandle(mapping), FILE_MAP_WRITE, 0, 0, 0));
}

int PlatUnmapViewOfFile(uint8_t* view) {
    return UnmapViewOfFile(view) != 0;
}

void PlatCloseMapping(intptr_t mapping) {
    if (mapping != 0) CloseHandle(ToHandle(mapping));
}

int PlatSetEndOfFile(FileHandle file) {
    return SetEndOfFile(ToHandle(file)) != 0;
}
