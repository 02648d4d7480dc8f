// Control of the host simulation, for tests, the demo and the host tools. Nothing here exists on
// Windows; code above the platform layer never includes this header.
//
// The simulation stands for one Windows machine:
//  - files are real files; a Windows path ("C:\WINDOWS\x.scr", "c:\win95\y") maps into the
//    sandbox folder (drive letter lower-cased as a folder, backslashes turned into slashes);
//    paths without a drive letter or backslash are used as they are;
//  - windows, the message queue and message boxes are simulated in process;
//  - every platform call is appended to an event log that tests read;
//  - faults can be injected per call.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

// Every simulated state back to its start: log, faults, windows, queue, answers, clock, and the
// system integration (directories, registry handles, profile and launch settings).
void HostReset();

// The folder that stands for the machine's drives. Default: $SS_SANDBOX, else ./sandbox.
void HostSetSandbox(const std::string& dir);
std::string HostSandbox();

// The real path that a path given to the platform layer names.
std::string HostRealPath(const char* path);

// The file GetModuleFileNameA reports; default: the running executable. An empty text makes the
// call fail.
void HostSetModuleFileName(const std::string& path);

// Event log: one line per platform call, "Name(arg, arg) = result". Kept after HostReset; off
// before (the tools never keep one).
void HostSetLogging(bool on);
void HostLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
const std::vector<std::string>& HostEvents();
void HostClearEvents();
// Log lines that start with `prefix`, in order.
std::vector<std::string> HostEventsStartingWith(const std::string& prefix);

// Fault injection. Calls are counted per kind from 1 after HostReset or HostResetFaults.
enum HostCall {
    kHostOpenRead,
    kHostCreateWrite,
    kHostRead,
    kHostWrite,
    kHostSeek,
    kHostDelete,
    kHostFileSize,
    kHostModuleFileName,
    kHostRegisterClass,
    kHostCallKinds
};
// The `nth` call of `kind` fails; a read or write then moves `short_count` bytes instead of all.
void HostFailCall(HostCall kind, int nth, uint32_t short_count = 0);
// Every write that would take the bytes written so far (since HostResetFaults) past `bytes` is
// cut there: a disk that fills.
void HostSetDiskLimit(uint64_t bytes);
void HostResetFaults();
// How many calls of `kind` were made since the faults were reset.
int HostCallCount(HostCall kind);

// Message boxes and dialogs: when answers are queued they are taken in order; without queued
// answers a box asks on the terminal when stdin is one, and answers IDOK / IDYES otherwise.
void HostQueueAnswer(int answer);
// `hook` runs each time a box or dialog is about to take its answer, that is while it shows
// (another program acting meanwhile); null for none.
void HostOnAnswer(void (*hook)());
// Another program's MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING): 1 when the file was
// renamed. It fails, as on Windows, when either file is held open with read-only sharing.
int HostRenameFile(const std::string& from, const std::string& to);
struct HostMessageBox {
    intptr_t owner;
    std::string text;
    std::string caption;
    uint32_t style;
    int icon_id;
    int answer;
};
const std::vector<HostMessageBox>& HostMessageBoxes();

// Windows of other programs, for the installer to find and talk to. Messages sent or posted to
// them are recorded, not handled. Returns the window's handle.
struct HostWindowSpec {
    std::string title;
    intptr_t parent = 0;
    bool visible = true;
    bool iconic = false;
    uint32_t ex_style = 0;
};
intptr_t HostAddWindow(const HostWindowSpec& desc);
struct HostReceived {
    uint32_t message;
    uintptr_t wparam;
    intptr_t lparam;
    bool posted;
};
std::vector<HostReceived> HostWindowMessages(intptr_t window);
// Something uncovered a window of the installer: its update region is no longer empty, and
// WM_PAINT comes for it until it is validated.
void HostInvalidateWindow(intptr_t window);

// Sleep: with the virtual clock (the default in tests) pauses are recorded, not waited.
void HostUseVirtualClock(bool on);
uint64_t HostClockMs();
