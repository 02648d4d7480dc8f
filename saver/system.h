// What the saver asks of Windows beyond drawing: DLLs from the system folder only, which family
// it runs on, and reading its own file at an offset.
#pragma once

#include <windows.h>

#include <stdint.h>

// Restricts the DLL search to the system folder where Windows can (SetDefaultDllDirectories);
// called first thing, as the saver may run elevated.
void RestrictDllSearch();

// Loads `name` from the system folder by its full path; null when it is not there.
HMODULE LoadSystemDll(const char* name);

// A function of a module as the type the caller names; null when either is missing.
template <typename Function>
Function SystemProc(HMODULE module, const char* name) {
    return module
               ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)))
               : nullptr;
}

// 1 on Windows 95, 98 and ME.
int IsWindows9x();

// Reads `size` bytes at `offset` of the running program's own file into `buffer`. 1 or 0.
int ReadOwnFile(uint32_t offset, void* buffer, uint32_t size);

// Milliseconds since the process started, and of processor time it has used so far.
DWORD MsSinceStart();
DWORD ProcessCpuMs();
