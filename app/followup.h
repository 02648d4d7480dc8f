// The follow-up action after a successful installation (display settings, the new screen saver,
// or the payload's document in its associated program) and the removal of that document.
#pragma once

#include <stdint.h>

#include "app/activation.h"
#include "platform/shell.h"
#include "platform/types.h"

constexpr uint32_t kRegistryTextSize = 256;
constexpr uint32_t kCommandLineSize = 384;

extern int RemovalPending;       // 1 once the document was handed to its program
extern FileHandle DocumentHold;  // the placed document, open with read-only sharing

// Runs the action of the settings' FollowUpAction code; 1 when the code is 0, else 0.
int RunFollowUpAction();

// Writes the payload's document "LESMI" as `name` into a new folder of the Windows folder
// ("ss" and a number that changes per run), as a new file, and holds it open with read-only
// sharing (DocumentHold); DocumentTempPath names it. 0, with nothing left behind and the
// archive latch cleared, when any step fails.
int PlaceDocument(const char* name);

// Lets go of the document: closes the hold, deletes the file and its folder, or arranges their
// removal at the next restart when they are still in use. DocumentTempPath names the folder
// afterwards.
void DropDocument();

// Opens the document in the program associated with the extension of its file name ("://" in
// the path: .html). 1 when a program was started.
int OpenDocument(const char* path);
// The association is read from the machine's classes (HKEY_LOCAL_MACHINE\Software\Classes),
// never the user's.
int OpenWithAssociation(const char* path, const char* extension);

// Forms the command line from a registered open command: the first "%*" becomes two spaces, the
// first "%1" the path (with an empty path the template ends before it, less a quote and spaces
// in front); without "%1" the path follows after a space. Every other '%' stays as it is.
// 0 when the result would not fit `size` bytes.
int FormCommandLine(char* out, uint32_t size, const char* command_template, const char* path);

// `command` with its program made a full path, into `out` of `size` bytes: a program given
// without a drive or a "\\" share (a bare name such as "Rundll32" or "notepad.exe", or a folder
// relative to the current one) is joined to the system folder, or to the Windows folder when
// only that one holds it (".exe" assumed for a name without an extension). A quoted program
// stays quoted; the rest of the line is kept as it is. 0 when the command has no program, a
// folder cannot be had, or the result would not fit.
int QualifyCommand(char* out, uint32_t size, const char* command);

// Starts `command` with WinExec (show mode 1) once QualifyCommand made its program a full path,
// so that nothing is taken from the installer's folder or the current one, and from the system
// folder as the current folder. WinExec's result, or 0 when nothing was started.
uint32_t StartProgram(const char* command);

// The default value of `subkey` under `root` as text (through ExpandWindowsFolder when
// REG_EXPAND_SZ), in the shared registry text buffer; null when there is none or it does not
// fit 256 bytes.
const char* ReadDefaultValue(PlatKey root, const char* subkey);

// Replaces "%SystemRoot%" and "%windir%" (any case) in `text` (of 256 bytes) with the Windows
// folder as the system reports it; every other '%' stays. The environment is not read: the
// user sets it (HKEY_CURRENT_USER\Environment) for elevated programs too. 0 when the Windows
// folder cannot be had or the result would not fit.
int ExpandWindowsFolder(char* text);

// 1 + the index of the first place where `pattern` occurs in `text` (ASCII case ignored), or 0.
uint32_t FindNoCase(const char* text, const char* pattern);

// After 5 s (when it was handed to its program), lets go of a placed document (DropDocument).
void RemoveOpenedDocument();
// Removal at the next restart: MoveFileExA with a null new name, or a "NUL=path" line in the
// [Rename] section of WinInit.Ini. Non-zero when arranged.
int ScheduleRemovalAtRestart(const char* path);
