// The safe-file-name rule and the running program's own path.
//
// A name (byte 0 even): CheckFileName must agree with a plain model of a Windows file name that
// stays inside its folder, written here independently; a safe name never holds a separator, a
// control byte or "..", never ends in a dot or a space, and joined to the Windows directory it
// is that directory and the name, uncut. The screen saver's rule (name and ".scr") never lets
// through what the file-name rule refuses.
//
// A module path (byte 0 odd): GetModuleFileNameA reports a path of any length; the installer
// either gets it whole or nothing, never a cut path, and opens (and holds) only that whole path.
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <cctype>
#include <string>
#include <vector>

#include "app/activation.h"
#include "app/build.h"
#include "app/main_flow.h"
#include "app/startup.h"
#include "archive/file_name.h"
#include "archive/reader.h"
#include "archive/sticky_error.h"
#include "platform/files.h"
#include "platform/host/host.h"
#include "platform/host/host_shell.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return s;
}

// Windows's reserved device names: the part before the first dot, less the spaces that end it.
bool ModelDevice(const std::string& name) {
    std::string base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    base = Upper(base);
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CLOCK$", "CONIN$", "CONOUT$"})
        if (base == device) return true;
    if (base.size() != 4 || (base.compare(0, 3, "COM") != 0 && base.compare(0, 3, "LPT") != 0))
        return false;
    unsigned char digit = static_cast<unsigned char>(base[3]);
    return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

bool ModelSafe(const std::string& name) {
    if (name.empty()) return false;
    bool only_dots_and_spaces = true;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F) return false;
        if (std::string("\\/:*?\"<>|").find(static_cast<char>(c)) != std::string::npos)
            return false;
        if (c != '.' && c != ' ') only_dots_and_spaces = false;
    }
    if (only_dots_and_spaces || name.find("..") != std::string::npos) return false;
    if (name.back() == '.' || name.back() == ' ') return false;
    return !ModelDevice(name);
}

void Prepare() {
    static bool ready = false;
    if (!ready) {
        HostSetSandbox(PrivateFolder());
        ready = true;
    }
    HostReset();
    HostShellReset();
    ResetInstallerState();
    SetStickyErrorMode(0);
}

void CheckName(const std::string& name) {
    const FileNameFault fault = CheckFileName(name.c_str());
    const bool safe = fault == kNameSafe;
    Check(safe == ModelSafe(name));
    Check(IsSafeFileName(name.c_str()) == (safe ? 1 : 0));
    Check(safe || fault == kNameEmpty || fault == kNameControl || fault == kNameReserved ||
          fault == kNameDots || fault == kNameTrailing || fault == kNameDevice);
    if (name.size() + 4 < kPathSize) {
        const std::string file = name + ".scr";
        // An empty name gives the plain file ".scr", which stays allowed.
        if (IsSafeScreenSaverName(file.c_str()))
            Check(ModelSafe(file) && (name.empty() || ModelSafe(name)));
    }
    if (!safe) return;
    // Joined to the Windows directory: all of it, or nothing.
    const char* path = WindowsDirPath(name.c_str());
    if (path)
        Check(std::string(path) == "C:\\WINDOWS\\" + name);
    else
        Check(name.size() + 11 >= kPathSize);
}

void CheckModulePath(const std::string& path, uint32_t size) {
    HostSetModuleFileName(path);
    std::vector<char> buffer(size ? size : 1, 'Z');
    const uint32_t got = PlatModuleFileName(buffer.data(), size);
    if (path.size() < size) {
        Check(got == path.size() && std::string(buffer.data()) == path);
    } else {
        Check(got == 0);
        if (size) Check(buffer[0] == '\0');
    }
    // The own file is held and opened under the whole path only, or not at all.
    HostClearEvents();
    HoldOwnFile();
    FileHandle archive = OpenArchive(nullptr);
    CloseArchive(archive);
    const bool fits = path.size() < kModulePathSize;
    for (const std::string& event : HostEventsStartingWith("CreateFileA("))
        Check(fits && event.compare(12, path.size() + 2, path + ", ") == 0);
    Check(OwnFileHoldFailed == (OwnFile == kInvalidFile ? 1 : 0));
    if (!fits) Check(OwnFile == kInvalidFile && ArchiveOpenStage == 1);
    ReleaseOwnFile();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    Prepare();
    std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    if ((data[0] & 1) == 0) {
        CheckName(rest.c_str());
        return 0;
    }
    // Byte 1: the buffer's size; then either "./" repeated (byte 2 times) before a file that
    // exists, so that paths of every length name one real file, or the bytes as the path's tail.
    if (rest.size() < 2) return 0;
    const uint32_t buffer_size = static_cast<uint8_t>(rest[0]) + (data[0] & 2 ? 256u : 0u);
    const std::string folder = PrivateFolder() + "/";
    static bool made = false;
    if (!made) {
        FILE* own = fopen((folder + "own.exe").c_str(), "wb");
        if (!own || fputs("MZ", own) < 0 || fclose(own) != 0) __builtin_trap();
        made = true;
    }
    std::string path;
    if (data[0] & 4) {
        for (int i = 0; i < static_cast<uint8_t>(rest[1]); ++i)
            path += "./";
        path = folder + path + "own.exe";
    } else {
        path = folder + std::string(rest.c_str() + 1);
    }
    if (path == "-") return 0;
    CheckModulePath(path, buffer_size);
    return 0;
}
