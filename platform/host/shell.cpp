// Host system calls of the installation: the Windows and system directories (folders of the
// sandbox), the code page, the platform family, the screen saver switch and the file system's
// 8.3 alternate names.
#include <dirent.h>
#include <errno.h>
#include <iconv.h>
#include <string.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/host/host.h"
#include "platform/host/shell_internal.h"
#include "platform/host/sim_internal.h"
#include "platform/shell.h"

namespace {

std::string windows_dir = "C:\\WINDOWS";           // what GetWindowsDirectoryA reports
bool windows_dir_fails;                            // GetWindowsDirectoryA returns 0
std::string system_dir = "C:\\WINDOWS\\system32";  // what GetSystemDirectoryA reports
uint32_t code_page = 1252;                         // GetACP
uint32_t platform_id = kVerPlatformWin32Nt;        // GetVersionExA; 0 fails
bool short_names = true;                           // long names get 8.3 alternate names
int call_counts[kHostShellCallKinds];              // calls per kind since the reset
int fail_nth[kHostShellCallKinds];                 // the call of each kind that fails, 0 none
PlatFind next_find = 100;                          // handle of the next search that opens
std::vector<uint8_t> version_resource;             // the program's own; empty: none

// Code page 1252 at 0x80..0x9F (0 where it has no character); 0xA0..0xFF are U+00A0..U+00FF.
const uint16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                  0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// One code unit in the simulated code page: ASCII everywhere, the rest of 1252 when that is the
// system's, '?' for a character the code page lacks.
char AnsiOf(uint16_t unit) {
    if (unit < 0x80) return static_cast<char>(unit);
    if (code_page != 1252) return '?';
    if (unit >= 0xA0 && unit <= 0xFF) return static_cast<char>(unit);
    for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] != 0 && kCp1252High[i] == unit) return static_cast<char>(0x80 + i);
    return '?';
}

// Characters a FAT 8.3 name may hold besides letters and digits.
bool ShortNameCharacter(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    return c != 0 && strchr("$%'-_@~`!(){}^#&", c) != nullptr;
}

// A name that needs no alternate: 1 to 8 characters, optionally a dot and 1 to 3 more.
bool IsShortName(const std::string& name) {
    size_t dot = name.find('.');
    std::string base = name.substr(0, dot);
    std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
    if (base.empty() || base.size() > 8 || ext.size() > 3) return false;
    if (dot != std::string::npos && ext.empty()) return false;
    for (unsigned char c : base + ext)
        if (!ShortNameCharacter(c)) return false;
    return true;
}

// The base and extension Windows keeps of a long name: upper case, spaces and every dot but the
// last dropped, characters a short name cannot hold turned into '_'.
void ShortParts(const std::string& name, std::string* base, std::string* ext) {
    size_t last_dot = name.rfind('.');
    if (last_dot == 0) last_dot = std::string::npos;  // a leading dot starts no extension
    base->clear();
    ext->clear();
    for (size_t i = 0; i < name.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c == ' ' || (c == '.' && i != last_dot)) continue;
        if (i == last_dot) continue;
        char kept = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32)
                                           : (ShortNameCharacter(c) ? static_cast<char>(c) : '_');
        std::string* part = (last_dot != std::string::npos && i > last_dot) ? ext : base;
        part->push_back(kept);
    }
    if (base->empty()) base->push_back('_');
    if (base->size() > 6) base->resize(6);
    if (ext->size() > 3) ext->resize(3);
}

std::string RealFolderOf(const std::string& real_path) {
    size_t slash = real_path.rfind('/');
    return slash == std::string::npos ? "." : real_path.substr(0, slash);
}

}  // namespace

namespace {
const bool kResetRegistered = SimAddResetHook(HostShellReset);
}

void HostShellReset() {
    windows_dir = "C:\\WINDOWS";
    windows_dir_fails = false;
    system_dir = "C:\\WINDOWS\\system32";
    code_page = 1252;
    platform_id = kVerPlatformWin32Nt;
    short_names = true;
    version_resource.clear();
    for (int i = 0; i < kHostShellCallKinds; ++i)
        call_counts[i] = fail_nth[i] = 0;
    ShellResetRegistry();
}

void HostSetWindowsDirectory(const std::string& dir) {
    windows_dir = dir;
}
void HostSetSystemDirectory(const std::string& dir) {
    system_dir = dir;
}
void HostFailWindowsDirectory(bool fail) {
    windows_dir_fails = fail;
}
void HostSetACP(uint32_t value) {
    code_page = value;
}
void HostSetPlatformId(uint32_t value) {
    platform_id = value;
}
void HostUseShortNames(bool on) {
    short_names = on;
}

void HostFailShellCall(HostShellCall kind, int nth) {
    fail_nth[kind] = nth;
}
int HostShellCallCount(HostShellCall kind) {
    return call_counts[kind];
}
bool ShellCallFails(HostShellCall kind) {
    return fail_nth[kind] == ++call_counts[kind];
}

std::string ShellWindowsDirectory() {
    return windows_dir;
}

bool ShellMakeFolders(const std::string& real_dir) {
    for (size_t at = 1; at <= real_dir.size(); ++at) {
        if (at != real_dir.size() && real_dir[at] != '/') continue;
        std::string part = real_dir.substr(0, at);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    struct stat st;
    return stat(real_dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ShellSameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

std::string ShellLogText(const char* text) {
    if (!text) return "NULL";
    std::string out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (*p >= 0x20 && *p < 0x7F) {
            out.push_back(static_cast<char>(*p));
        } else {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02X", *p);
            out += hex;
        }
    }
    return out;
}

// Reports a folder of the sandbox, made on the way so that files can be created in it.
static uint32_t ReportFolder(const std::string& dir, char* buffer, uint32_t size) {
    uint32_t length = static_cast<uint32_t>(dir.size());
    if (length + 1 > size) return length + 1;
    memcpy(buffer, dir.c_str(), length + 1);
    ShellMakeFolders(HostRealPath(dir.c_str()));
    return length;
}

// The log shows the text only when the call delivered one.
static std::string Delivered(uint32_t result, uint32_t size, const char* buffer) {
    if (result == 0 || result >= size) return "";
    return " \"" + ShellLogText(buffer) + "\"";
}

uint32_t PlatWindowsDirectory(char* buffer, uint32_t size) {
    uint32_t result = 0;
    if (!ShellCallFails(kHostWindowsDirectory) && !windows_dir_fails)
        result = ReportFolder(windows_dir, buffer, size);
    HostLog("GetWindowsDirectoryA(%u) = %u%s", size, result,
            Delivered(result, size, buffer).c_str());
    return result;
}

uint32_t PlatSystemDirectory(char* buffer, uint32_t size) {
    uint32_t result = system_dir.empty() ? 0 : ReportFolder(system_dir, buffer, size);
    HostLog("GetSystemDirectoryA(%u) = %u%s", size, result,
            Delivered(result, size, buffer).c_str());
    return result;
}

uint32_t PlatGetACP() {
    HostLog("GetACP() = %u", code_page);
    return code_page;
}

void HostSetVersionResource(const std::vector<uint8_t>& block) {
    version_resource = block;
}

const uint8_t* PlatVersionResource(uint32_t* size) {
    HostLog("resources: %s, %zu bytes", version_resource.empty() ? "none" : "found",
            version_resource.size());
    *size = static_cast<uint32_t>(version_resource.size());
    return version_resource.empty() ? nullptr : version_resource.data();
}

uint32_t PlatWideToAnsi(const uint16_t* text, uint32_t count, char* out, uint32_t out_size) {
    // As on Windows, a result that does not fit writes nothing useful and gives 0.
    uint32_t written = count <= out_size ? count : 0;
    for (uint32_t i = 0; i < written; ++i)
        out[i] = AnsiOf(text[i]);
    HostLog("WideCharToMultiByte(%u, %u units, %u) = %u", code_page, count, out_size, written);
    return written;
}

// One byte of `code_page` in UTF-16, as MultiByteToWideChar gives it: through glibc's table of
// that code page; a byte the table leaves undefined (0x81 in 1252, 0x98 in 1251) becomes the
// code point of its own value, as Windows maps it. Code pages of two-byte characters are not
// modelled.
static uint16_t WideOfByte(uint32_t code_page, unsigned char byte) {
    if (byte < 0x80) return byte;
    std::string name = "CP" + std::to_string(code_page);
    iconv_t cd = iconv_open("UTF-16LE", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return byte;
    char in[1] = {static_cast<char>(byte)};
    unsigned char out[4] = {};
    char* src = in;
    char* dst = reinterpret_cast<char*>(out);
    size_t src_left = 1;
    size_t dst_left = sizeof out;
    size_t r = iconv(cd, &src, &src_left, &dst, &dst_left);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1) || dst_left != 2) return byte;
    return static_cast<uint16_t>(out[0] | out[1] << 8);
}

uint32_t PlatAnsiToWide(const char* text, uint16_t* out, uint32_t units) {
    uint32_t length = static_cast<uint32_t>(strlen(text));
    uint32_t result = 0;
    if (length < units) {
        for (uint32_t i = 0; i <= length; ++i)
            out[i] = WideOfByte(code_page, static_cast<unsigned char>(text[i]));
        result = length + 1;
    }
    HostLog("MultiByteToWideChar(CP_ACP %u, \"%s\", %u) = %u", code_page,
            ShellLogText(text).c_str(), units, result);
    return result;
}

uint32_t ShellPlatformId() {
    return platform_id;
}

uint32_t PlatVersionPlatformId() {
    HostLog("GetVersionExA(148) = %d, platform %u", platform_id != 0, platform_id);
    return platform_id;
}

int PlatSystemParametersInfo(uint32_t action, uint32_t param, void* data, uint32_t flags) {
    int ok = !ShellCallFails(kHostSystemParameters);
    // Windows keeps the switch in the user's desktop settings when asked to store it.
    if (ok && action == kSpiSetScreenSaveActive && (flags & kSpifUpdateIniFile))
        ShellRegistryStore("HKEY_CURRENT_USER\\Control Panel\\Desktop", "ScreenSaveActive", kRegSz,
                           param ? "1" : "0");
    HostLog("SystemParametersInfoA(%u, %u, %s, %u) = %d", action, param, data ? "data" : "NULL",
            flags, ok);
    return ok;
}

std::string HostAlternateName(const std::string& real_dir, const std::string& name) {
    if (!short_names || IsShortName(name)) return "";
    std::string base, ext;
    ShortParts(name, &base, &ext);
    // Other long names of the folder that shorten alike and sort first take the lower numbers,
    // so every file keeps a distinct alternate name.
    int number = 1;
    if (DIR* dir = opendir(real_dir.c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string other = entry->d_name;
            if (other == "." || other == ".." || other >= name || IsShortName(other)) continue;
            std::string other_base, other_ext;
            ShortParts(other, &other_base, &other_ext);
            if (other_base == base && other_ext == ext) ++number;
        }
        closedir(dir);
    }
    std::string tail = "~" + std::to_string(number);
    if (base.size() + tail.size() > 8) base.resize(8 - tail.size());
    return base + tail + (ext.empty() ? "" : "." + ext);
}

PlatFind PlatFindFirstFile(const char* path, char alternate[kAlternateNameSize]) {
    alternate[0] = '\0';
    PlatFind find = kInvalidFind;
    std::string real = HostRealPath(path);
    struct stat st;
    if (!ShellCallFails(kHostFindFirstFile) && stat(real.c_str(), &st) == 0) {
        size_t slash = real.rfind('/');
        std::string name = slash == std::string::npos ? real : real.substr(slash + 1);
        std::string alt = HostAlternateName(RealFolderOf(real), name);
        snprintf(alternate, kAlternateNameSize, "%s", alt.c_str());
        find = next_find++;
    }
    HostLog("FindFirstFileA(%s) = %ld, alternate \"%s\"", ShellLogText(path).c_str(),
            static_cast<long>(find), alternate);
    return find;
}

int PlatFindClose(PlatFind find) {
    HostLog("FindClose(%ld)", static_cast<long>(find));
    return find != kInvalidFind;
}
