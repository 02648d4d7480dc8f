// Control of the simulated program starts, the current folder and restart-time removal, for tests
// and the demo. Nothing here exists on Windows.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

// Back to the defaults: WinExec answers 33 and starts nothing, the current folder is the start's,
// MoveFileExA with MOVEFILE_DELAY_UNTIL_REBOOT succeeds, file mappings work.
void HostLaunchReset();

// What WinExec returns (33 means started; below 32 means it failed).
void HostSetWinExecResult(uint32_t result);
// The command lines given to WinExec, in order.
const std::vector<std::string>& HostStartedCommands();
// A program started by WinExec keeps the file at `real_path` open: DeleteFileA of it fails
// until HostReleaseFile.
void HostHoldFile(const std::string& real_path);
void HostReleaseFile(const std::string& real_path);
bool HostFileHeld(const std::string& real_path);

// The current folder (SetCurrentDirectoryA) at each start, in the order of HostStartedCommands;
// "" for the folder the installer was started in (its download folder, say).
const std::vector<std::string>& HostStartedFolders();

// What PlatRunNumber gives (a fixed default, so that tests know the names made from it).
void HostSetRunNumber(uint32_t number);

// MoveFileExA succeeds (1) or fails (0), as on the 9x family where it does not exist.
void HostSetMoveFileExResult(int result);
// The removals arranged with MoveFileExA, as "from -> to".
const std::vector<std::string>& HostScheduledMoves();

// CreateFileMappingA (1) or MapViewOfFile (2) fails; 0 for none.
void HostFailMapping(int which);
