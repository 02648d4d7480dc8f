// File calls over the Windows API. FileHandle carries the HANDLE value itself, so kInvalidFile
// and INVALID_HANDLE_VALUE are the same number.
#include <windows.h>

#include "platform/files.h"
#include "platform/win32/file_open.h"

static_assert(sizeof(FileHandle) == sizeof(HANDLE), "a FileHandle holds a HANDLE");

static HANDLE ToHandle(FileHandle file) {
    return reinterpret_cast<HANDLE>(file);
}

static FileHandle FromHandle(HANDLE handle) {
    return reinterpret_cast<FileHandle>(handle);
}

FileHandle Win32CreateFile(const char* path, uint32_t access, uint32_t sharing,
                           uint32_t disposition, uint32_t flags) {
    return FromHandle(CreateFileA(path, access, sharing, nullptr, disposition, flags, nullptr));
}

FileHandle PlatOpenRead(const char* path) {
    // Shared for writing too, so that the installer can read its own file while another
    // program (an explorer window, a virus scanner) still holds it open.
    return Win32CreateFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL);
}

FileHandle PlatOpenReadLocked(const char* path) {
    return Win32CreateFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL);
}

FileHandle PlatCreateWrite(const char* path) {
    return Win32CreateFile(path, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
}

FileHandle PlatCreateNew(const char* path) {
    return Win32CreateFile(path, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
}

uint32_t PlatFileSize(FileHandle file) {
    return GetFileSize(ToHandle(file), nullptr);
}

int PlatSeek(FileHandle file, uint32_t offset) {
    // A high part of 0 makes the low part unsigned, so offsets from 2 GiB up to 4 GiB work;
    // the price is that INVALID_SET_FILE_POINTER is also a valid position, told apart by the
    // thread's last error.
    LONG high = 0;
    SetLastError(NO_ERROR);
    DWORD low = SetFilePointer(ToHandle(file), static_cast<LONG>(offset), &high, FILE_BEGIN);
    return low != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR;
}

uint32_t PlatRead(FileHandle file, void* buffer, uint32_t count) {
    // ReadFile zeroes the count before it starts, so a failed read reports 0 like the end.
    DWORD done = 0;
    ReadFile(ToHandle(file), buffer, count, &done, nullptr);
    return done;
}

uint32_t PlatWrite(FileHandle file, const void* buffer, uint32_t count) {
    // A failed write may still have moved some bytes (a disk that filled up part way); the
    // count is what callers decide on.
    DWORD done = 0;
    WriteFile(ToHandle(file), buffer, count, &done, nullptr);
    return done;
}

void PlatClose(FileHandle file) {
    if (file != kInvalidFile) CloseHandle(ToHandle(file));
}

int PlatDeleteFile(const char* path) {
    return DeleteFileA(path) != 0;
}

uint32_t PlatModuleFileName(char* buffer, uint32_t size) {
    if (size == 0) return 0;
    DWORD length = GetModuleFileNameA(nullptr, buffer, size);
    // A path that does not fit comes back as the buffer's size, cut (and on Windows XP without
    // its NUL). A cut path may name another file, so it counts as no path at all.
    if (length == 0 || length >= size) {
        buffer[0] = '\0';
        return 0;
    }
    return length;
}

int PlatCreateFolder(const char* path) {
    return CreateDirectoryA(path, nullptr) != 0;
}

int PlatRemoveFolder(const char* path) {
    return RemoveDirectoryA(path) != 0;
}

int PlatIsFile(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}
