// Calls of the follow-up actions: starting programs, the file associations of the registry,
// environment references, and removing a file at the next restart. Values are the Win32 ones.
#pragma once

#include "platform/shell.h"
#include "platform/types.h"

// WinExec(command_line, show): 32 or more when the program was started.
constexpr uint32_t kSwShowNormal = 1;
uint32_t PlatWinExec(const char* command_line, uint32_t show);

// SetCurrentDirectoryA(path): the folder a program started afterwards begins in. 1 on success.
int PlatSetCurrentDirectory(const char* path);

// A number that differs from run to run (the time of the last message, where its stack lies),
// for names that must not repeat; not a secret.
uint32_t PlatRunNumber();

// MoveFileExA(from, to, flags); a null `to` with MOVEFILE_DELAY_UNTIL_REBOOT deletes `from` at
// the next restart (NT family). 1 on success.
constexpr uint32_t kMoveFileDelayUntilReboot = 4;
int PlatMoveFileEx(const char* from, const char* to, uint32_t flags);

// RegOpenKeyA(root, subkey, key): 0 or a Win32 error code. Close with PlatRegCloseKey.
long PlatRegOpenKey(PlatKey root, const char* subkey, PlatKey* key);
// RegQueryValueExA(key, name, 0, type, data, size); a null name reads the default value. On
// entry `size` is the buffer's size; a value that does not fit gives ERROR_MORE_DATA (234).
constexpr uint32_t kRegExpandSz = 2;
constexpr long kErrorMoreData = 234;
long PlatRegQueryValue(PlatKey key, const char* name, uint32_t* type, void* data, uint32_t* size);

// CreateFileA(GENERIC_READ | GENERIC_WRITE, no sharing, OPEN_ALWAYS,
// FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN): opens the file, creating an empty one.
FileHandle PlatOpenReadWriteAlways(const char* path);
// CreateFileMappingA(file, no security, PAGE_READWRITE, 0, maximum_size, no name): the mapping,
// 0 on failure. A maximum beyond the file's size grows the file with zero bytes.
intptr_t PlatCreateFileMapping(FileHandle file, uint32_t maximum_size);
// MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0): the whole mapping, writable; null on failure.
uint8_t* PlatMapViewOfFile(intptr_t mapping);
int PlatUnmapViewOfFile(uint8_t* view);
void PlatCloseMapping(intptr_t mapping);
// SetEndOfFile at the file's current position. 1 on success.
int PlatSetEndOfFile(FileHandle file);
