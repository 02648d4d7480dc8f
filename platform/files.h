// File calls used by the archive and compression layers (and by the tools).
//
// Each call is one Windows file operation with the arguments the installer uses; results follow
// the Win32 calls: counts of bytes actually moved, 1/0 for success, kInvalidFile for a failed
// open. Paths are 8-bit, NUL-terminated, in the system code page.
#pragma once

#include "platform/types.h"

// CreateFileA(GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING).
FileHandle PlatOpenRead(const char* path);

// CreateFileA(GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING): while this handle is open no one
// can open the file for writing, delete it, rename it or move another file over its name.
FileHandle PlatOpenReadLocked(const char* path);

// CreateFileA(GENERIC_WRITE, no sharing, CREATE_ALWAYS): created, or truncated when it exists.
FileHandle PlatCreateWrite(const char* path);

// CreateFileA(GENERIC_WRITE, no sharing, CREATE_NEW): a new file; fails when anything already
// stands at `path` (a file, a folder, a link, even one that leads nowhere), so nothing planted
// there is followed or overwritten.
FileHandle PlatCreateNew(const char* path);

// GetFileSize: the low 32 bits of the size; 0xFFFFFFFF on failure.
uint32_t PlatFileSize(FileHandle file);

// SetFilePointer(FILE_BEGIN) to an absolute 32-bit offset. 1 on success.
int PlatSeek(FileHandle file, uint32_t offset);

// ReadFile: reads up to `count` bytes; returns how many arrived (0 at the end or on error).
uint32_t PlatRead(FileHandle file, void* buffer, uint32_t count);

// WriteFile: returns how many bytes were written (fewer than `count` on error or a full disk).
uint32_t PlatWrite(FileHandle file, const void* buffer, uint32_t count);

// CloseHandle. The invalid handle is ignored.
void PlatClose(FileHandle file);

// DeleteFileA. 1 when the file was removed.
int PlatDeleteFile(const char* path);

// CreateDirectoryA(path, default security): a new folder; fails when anything already stands
// at `path` (a folder, a file, a link or junction), so nothing planted there is used. 1 when
// made.
int PlatCreateFolder(const char* path);

// RemoveDirectoryA: removes an empty folder. 1 when removed.
int PlatRemoveFolder(const char* path);

// GetFileAttributesA: 1 when `path` names an existing file that is not a folder.
int PlatIsFile(const char* path);

// GetModuleFileNameA(NULL): the running program's own file with its NUL; returns its length. A
// path that does not fit `size` bytes is never handed out cut: the result is 0 and the buffer
// empty, as when the call fails.
uint32_t PlatModuleFileName(char* buffer, uint32_t size);
