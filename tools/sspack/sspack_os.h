// The few services of sspack that differ between Linux and Windows; one implementation file is
// chosen by CMake (os_posix.cpp or os_win32.cpp).
#pragma once

#include <stdint.h>

#include <filesystem>
#include <string>
#include <vector>

// Converts UTF-8 text to the ANSI code page `code_page`. False when the text is not valid UTF-8,
// the code page is unknown, or a character has no exact equivalent (no best-fit substitutes).
bool Utf8ToCodePage(const std::string& utf8, uint32_t code_page, std::string* out);

// Converts text in the ANSI code page `code_page` to UTF-8. False when a byte sequence has no
// meaning in that code page.
bool CodePageToUtf8(const std::string& bytes, uint32_t code_page, std::string* out);

// A path from the command line (or one sspack made from it) as UTF-8 text: on Windows it is in the
// ANSI code page and converted; on Linux it is bytes and left as they are.
std::string CommandLineTextAsUtf8(const std::string& text);

// Whether standard error is a terminal (the progress bar is drawn only there).
bool StderrIsTerminal();

// Sends standard output to the null device until RestoreStdout; returns a token for it.
int SilenceStdout();
void RestoreStdout(int token);

// Which file `path` names, links followed: device and inode, or volume and file index on
// Windows. False when nothing can be found there.
struct FileId {
    uint64_t volume = 0;
    uint64_t index = 0;
};
bool FileIdOf(const std::filesystem::path& path, FileId* id);

// Makes an interrupt (SIGINT, SIGTERM; a console control event on Windows) call `cleanup`
// before sspack ends as the interrupt would end it. `cleanup` may only call RemoveFileNow. A
// program that RunProgram started is ended, and waited for, before `cleanup` runs, so it cannot
// write after the cleanup.
void OnInterruptCall(void (*cleanup)());

// Whether a progress line stands unfinished on standard error. An interrupt ends that line and
// then says "sspack: interrupted" on a line of its own.
void SetProgressLineOpen(bool open);

// The folders a tool of the system's own kit lives in, most recent first: on Windows the SDK's
// bin folders; none on Linux.
std::vector<std::string> SystemToolFolders();

// The full path of the program file `name` (given with its extension on Windows): the first of
// `folders` that holds it as a regular file, then the absolute folders of PATH. Never the current
// folder: relative and empty PATH entries are skipped, and so is an entry that is the current
// folder. "" when none holds it.
std::string FindProgram(const std::string& name, const std::vector<std::string>& folders);

// Runs the program at the full path `program` with `args` (args[0] is its name as the program
// sees it; no shell, no search), standard output and error into `log`, which is created or
// truncated, and `input` on its standard input (Linux; on Windows standard input is the null
// device). `started` is false when the program could not be started.
struct ProgramRun {
    bool started = false;
    int exit_code = -1;
};
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& input, const std::string& log);

// Removes a file; safe to call from the interrupt's cleanup.
void RemoveFileNow(const char* path);

// The form of a file name in which two names are equal when the file system takes them for one
// file: Windows folds case (of every letter of the ANSI code page, not only A to Z); on Linux
// only the installer's own lookups fold A to Z.
std::string FoldedFileName(const std::string& name);
