// Which installer stub a build takes, and whether a file is one. A Windows stub is recognised by
// its version resource (InternalName "ssinstaller" with room for the values sspack writes), the
// host build of the installer by a marker it carries; never by the file's name.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

enum class StubKind { kWindows, kHost };

// The stub's file name for an architecture ("x64", "x86") where installed:
// ssinstaller-x64.exe, ssinstaller-x86.exe; "ssinstaller-host" for the host build.
std::string InstalledStubName(const std::string& arch, bool host);

// Where sspack looks when no --stub is given, in order: $SSPACK_STUB; the installed name in
// $SSPACK_STUB_DIR and in ../share/ssinstaller/stubs beside the sspack executable; the build
// tree's installer (the same folder, then ../../app); the Windows builds the host build was
// configured with. The first file that exists and, for a build tree's installer, is built for
// `arch`. "" when none; `tried` lists every place looked at.
std::string FindStub(const std::string& arch, bool host, std::vector<std::string>* tried);

// The project's own screen saver program for an architecture where installed beside the stubs:
// ssaver-x64.scr, ssaver-x86.scr.
std::string InstalledSaverName(const std::string& arch);

// Where sspack finds that program for a show without Saver=, in the order and places of
// FindStub ($SSPACK_STUB_DIR, the install prefix, the build tree's saver/aurora.scr, the Windows
// build the host build was configured with); "" when none, `tried` lists every place.
std::string FindSaver(const std::string& arch, std::vector<std::string>* tried);

// Checks that `bytes` are this project's installer stub for `arch` ("" accepts either
// architecture). Sets `kind` and `arch_found`; false with `problem` (one line, without the file
// name) otherwise. Whether a payload is already appended is checked by the caller.
bool CheckStub(const std::vector<uint8_t>& bytes, const std::string& arch, StubKind* kind,
               std::string* arch_found, std::string* problem);

// Why the screen saver program `path` does not fit an installer for `arch` (not a Windows
// program, or built for another machine), or "".
std::string SaverProblem(const std::string& path, const std::string& arch);
