// Control of the simulated system integration (platform/shell.h), for tests and the demo.
// Nothing here exists on Windows; code above the platform layer never includes this header.
//
// The simulation stands for the Windows directory, the profile files,
// the registry and the file system's 8.3 alternate names:
//  - the Windows directory (default C:\WINDOWS) and the system folder are folders of the
//    sandbox, made when the calls report them;
//  - system.ini and every other profile file are real INI files, written with the rules of the
//    Windows profile calls (sections and keys match without regard to case, a key is updated
//    in place, a missing key is appended to its section, a missing section to the file);
//  - the registry is one text file in the sandbox, registry.txt, that a person can read: one
//    block per key, and per value its name, type, the byte count given and those bytes;
//    HKEY_CLASSES_ROOT is a view, as on Windows: on the NT family a key under
//    HKEY_CURRENT_USER\Software\Classes hides the machine's key of the same name under
//    HKEY_LOCAL_MACHINE\SOFTWARE\Classes (for elevated programs too); on the 9x family it is
//    the machine's classes alone. A key written as [HKEY_CLASSES_ROOT\...] in a registry text
//    is stored as the machine's;
//  - a long name gets an 8.3 alternate name as Windows makes it (MYSAVE~1.SCR), unless that
//    is switched off;
//  - every call is logged (HostLog) and the calls of each kind can be made to fail.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

// Back to the defaults: C:\WINDOWS, code page 1252, the NT family, short
// names on, no faults. HostReset does not reach this state; tests call both.
void HostShellReset();

// GetWindowsDirectoryA reports `dir` ("C:\WINDOWS"); with `fail` it returns 0.
void HostSetWindowsDirectory(const std::string& dir);
void HostFailWindowsDirectory(bool fail);
// GetSystemDirectoryA reports `dir` (default C:\WINDOWS\system32); an empty text makes it fail.
void HostSetSystemDirectory(const std::string& dir);
// What GetACP reports; MultiByteToWideChar(CP_ACP) converts with the same code page.
void HostSetACP(uint32_t code_page);
// The dwPlatformId GetVersionExA reports (1 the 9x family, 2 NT); 0 makes the call fail.
void HostSetPlatformId(uint32_t platform_id);
// The program's own resources as PlatVersionResource gives them: a VS_VERSIONINFO block, maybe
// among other bytes; empty: the program has none (the default, as for a program built without).
void HostSetVersionResource(const std::vector<uint8_t>& block);
// 8.3 alternate names for long names on (the default) or off (a file system without them).
void HostUseShortNames(bool on);

// The alternate name the file system gives `name` in the folder `real_dir`; empty when the name
// is a valid 8.3 name already.
std::string HostAlternateName(const std::string& real_dir, const std::string& name);

// Fault injection for the calls of platform/shell.h, counted per kind from 1 after
// HostShellReset: the `nth` call of `kind` fails (0: none).
enum HostShellCall {
    kHostWindowsDirectory,
    kHostProfileWrite,
    kHostSystemParameters,
    kHostFindFirstFile,
    kHostRegCreateKey,
    kHostRegSetValue,
    kHostShellCallKinds
};
void HostFailShellCall(HostShellCall kind, int nth);
int HostShellCallCount(HostShellCall kind);

// The registry: the real path of its text file, the whole text, and one value. A key is named
// with its root, "HKEY_LOCAL_MACHINE\SOFTWARE\..."; keys and value names match without regard
// to case. HostRegistryValue gives false when the value does not exist.
std::string HostRegistryFile();
std::string HostRegistryText();
bool HostRegistryKeyExists(const std::string& key);
bool HostRegistryValue(const std::string& key, const std::string& name, uint32_t* type,
                       std::string* data);
// Writes `text` as the registry file (a registry that existed before the run).
void HostSetRegistryText(const std::string& text);

// The real path of a profile file given as the installer names it ("system.ini" lies in the
// Windows directory), and one value read with the profile rules (false when missing).
std::string HostProfileFile(const char* file);
bool HostProfileValue(const char* file, const std::string& section, const std::string& key,
                      std::string* value);
