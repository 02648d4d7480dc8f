// Shared between the host files of the simulated system integration (shell, profile,
// registry); not for code above the platform layer.
#pragma once

#include <stdint.h>

#include <string>

#include "platform/host/host_shell.h"

// Counts a call of `kind`; true when it is the one to fail.
bool ShellCallFails(HostShellCall kind);

// The dwPlatformId GetVersionExA reports (1 the 9x family, 2 NT).
uint32_t ShellPlatformId();

// The Windows directory as GetWindowsDirectoryA reports it ("C:\WINDOWS").
std::string ShellWindowsDirectory();

// Makes the real folder and its parents; true when it exists afterwards.
bool ShellMakeFolders(const std::string& real_dir);

// Equal without regard to the case of A..Z, as the profile calls and the registry compare.
bool ShellSameText(const std::string& a, const std::string& b);

// A text for the event log: printable ASCII as it is, other bytes as \xNN.
std::string ShellLogText(const char* text);

// Stores a registry value without a logged call (values Windows writes on its own behalf).
void ShellRegistryStore(const std::string& key, const std::string& name, uint32_t type,
                        const std::string& data);

// Forgets the opened registry keys (the registry file stays).
void ShellResetRegistry();
