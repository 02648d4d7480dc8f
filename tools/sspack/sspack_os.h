// The few services of sspack that differ between Linux and Windows; one implementation file is
// chosen by CMake (os_posix.cpp or os_win32.cpp).
#pragma once

#include <stdint.h>

#include <filesystem>
#include <string>

// Converts UTF-8 text to the ANSI code page `code_page`. False when the text is not valid UTF-8,
// the code page is unknown, or a character has no exact equivalent (no best-fit substitutes).
bool Utf8ToCodePage(const std::string& utf8, uint32_t code_page, std::string* out);

// Converts text in the ANSI code page `code_page` to UTF-8. False when a byte sequence has no
// meaning in that code page.
bool CodePageToUtf8(const std::string& bytes, uint32_t code_page, std::string* out);

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
// before sspack ends as the interrupt would end it. `cleanup` may only call RemoveFileNow.
void OnInterruptCall(void (*cleanup)());

// Removes a file; safe to call from the interrupt's cleanup.
void RemoveFileNow(const char* path);

// The form of a file name in which two names are equal when the file system takes them for one
// file: Windows folds case (of every letter of the ANSI code page, not only A to Z); on Linux
// only the installer's own lookups fold A to Z.
std::string FoldedFileName(const std::string& name);
