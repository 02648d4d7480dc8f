// Finding and recognising the installer stub.
#include "tools/sspack/stub_locate.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/files.h"
#include "tools/sspack/pe_image.h"
#include "tools/sspack/stub_face.h"

namespace fs = std::filesystem;

namespace {

// The host installer's marker, which platform/host/entry.cpp carries, kept here backwards so
// that sspack's own file never holds it.
const char kHostMarkerBackwards[] = "1 rekram buts tsoh rellatsniss";

// The first `limit` bytes of a file (enough for the PE headers).
std::vector<uint8_t> Head(const std::string& path, size_t limit) {
    std::ifstream in(fs::u8path(path), std::ios::binary);
    std::vector<uint8_t> bytes(limit);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(limit));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

uint16_t MachineOf(const std::string& arch) {
    return arch == "x86" ? kMachineI386 : kMachineAmd64;
}

bool BuiltFor(const std::string& path, const std::string& arch, bool host) {
    uint16_t machine = 0;
    const bool pe = LooksLikePe(Head(path, 4096), &machine);
    return host ? !pe : pe && machine == MachineOf(arch);
}

}  // namespace

std::string InstalledStubName(const std::string& arch, bool host) {
    return host ? "ssinstaller-host" : "ssinstaller-" + arch + ".exe";
}

std::string FindStub(const std::string& arch, bool host, std::vector<std::string>* tried) {
    const char* env = std::getenv("SSPACK_STUB");
    if (env && *env) return env;
    struct Candidate {
        std::string path;
        bool check_machine;  // a build tree's installer may be of another architecture
    };
    std::vector<Candidate> candidates;
    const std::string installed = InstalledStubName(arch, host);
    // A folder named by SSPACK_STUB_DIR is the one place looked at: a stub missing there is an
    // error, never another stub taken in silence.
    const char* dir = std::getenv("SSPACK_STUB_DIR");
    if (dir && *dir) {
        tried->push_back((fs::u8path(dir) / installed).u8string());
        return tried->back();
    }
    char self[1024];
    if (PlatModuleFileName(self, sizeof self) > 0) {
        const fs::path bin = fs::path(self).parent_path();
        const fs::path share = bin / ".." / "share" / "ssinstaller" / "stubs" / installed;
        candidates.push_back({share.lexically_normal().u8string(), false});
        const std::string plain = host ? "ssinstaller" : "ssinstaller.exe";
        candidates.push_back({(bin / plain).u8string(), true});
        candidates.push_back(
            {(bin / ".." / ".." / "app" / plain).lexically_normal().u8string(), true});
    }
#ifdef SSPACK_WIN64_STUB
    if (!host && arch == "x64") candidates.push_back({SSPACK_WIN64_STUB, true});
#endif
#ifdef SSPACK_WIN32_STUB
    if (!host && arch == "x86") candidates.push_back({SSPACK_WIN32_STUB, true});
#endif
    for (const Candidate& c : candidates) {
        tried->push_back(c.path);
        std::error_code error;
        if (fs::is_regular_file(fs::u8path(c.path), error) &&
            (!c.check_machine || BuiltFor(c.path, arch, host)))
            return c.path;
    }
    return "";
}

std::string InstalledSaverName(const std::string& arch) {
    return "ssaver-" + arch + ".scr";
}

std::string FindSaver(const std::string& arch, std::vector<std::string>* tried) {
    std::vector<std::pair<std::string, bool>> candidates;  // path, check the machine
    const std::string installed = InstalledSaverName(arch);
    const char* dir = std::getenv("SSPACK_STUB_DIR");
    if (dir && *dir) candidates.push_back({(fs::u8path(dir) / installed).u8string(), false});
    char self[1024];
    if (PlatModuleFileName(self, sizeof self) > 0) {
        const fs::path bin = fs::path(self).parent_path();
        const fs::path share = bin / ".." / "share" / "ssinstaller" / "stubs" / installed;
        candidates.push_back({share.lexically_normal().u8string(), false});
        candidates.push_back(
            {(bin / ".." / ".." / "saver" / "aurora.scr").lexically_normal().u8string(), true});
    }
#ifdef SSPACK_WIN64_SAVER
    if (arch == "x64") candidates.push_back({SSPACK_WIN64_SAVER, true});
#endif
#ifdef SSPACK_WIN32_SAVER
    if (arch == "x86") candidates.push_back({SSPACK_WIN32_SAVER, true});
#endif
    for (const auto& c : candidates) {
        tried->push_back(c.first);
        std::error_code error;
        if (fs::is_regular_file(fs::u8path(c.first), error) &&
            (!c.second || BuiltFor(c.first, arch, false)))
            return c.first;
    }
    return "";
}

bool CheckStub(const std::vector<uint8_t>& bytes, const std::string& arch, StubKind* kind,
               std::string* arch_found, std::string* problem) {
    uint16_t machine = 0;
    if (!LooksLikePe(bytes, &machine)) {
        const std::string marker(std::rbegin(kHostMarkerBackwards) + 1,
                                 std::rend(kHostMarkerBackwards));
        if (std::search(bytes.begin(), bytes.end(), marker.begin(), marker.end()) == bytes.end()) {
            *problem = "is not an installer stub: neither a Windows program nor the host installer";
            return false;
        }
        *kind = StubKind::kHost;
        arch_found->clear();
        return true;
    }
    if (!IsStubVersion(ReadVersionInfo(bytes))) {
        *problem =
            "is not an installer stub: a Windows program without the installer's version "
            "resource";
        return false;
    }
    *kind = StubKind::kWindows;
    *arch_found = MachineName(machine);
    if (machine != kMachineAmd64 && machine != kMachineI386) {
        *problem = "is an installer stub for " + *arch_found + ", which sspack cannot build for";
        return false;
    }
    if (!arch.empty() && machine != MachineOf(arch)) {
        *problem = "is the " + *arch_found + " installer stub, not the " + arch + " one (--arch " +
                   arch + ")";
        return false;
    }
    return true;
}

std::string SaverProblem(const std::string& path, const std::string& arch) {
    uint16_t machine = 0;
    if (!LooksLikePe(Head(path, 4096), &machine)) return "is not a Windows program";
    if (machine != MachineOf(arch))
        return "is a program for " + MachineName(machine) + "; the installer is built for " + arch;
    return "";
}
