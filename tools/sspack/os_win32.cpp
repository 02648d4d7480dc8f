// sspack on Windows: code pages through the system's own conversion tables.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "tools/sspack/sspack_os.h"

namespace {

bool ToWide(const std::string& in, UINT code_page, std::wstring* out) {
    out->clear();
    if (in.empty()) return true;
    const int size = static_cast<int>(in.size());
    const int n = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, in.data(), size, nullptr, 0);
    if (n <= 0) return false;
    out->resize(static_cast<size_t>(n));
    return MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, in.data(), size, &(*out)[0], n) ==
           n;
}

}  // namespace

bool Utf8ToCodePage(const std::string& utf8, uint32_t code_page, std::string* out) {
    out->clear();
    std::wstring wide;
    if (!ToWide(utf8, CP_UTF8, &wide)) return false;
    if (wide.empty()) return true;
    const int size = static_cast<int>(wide.size());
    // No best-fit substitutes: a character without an exact equivalent must be refused.
    const DWORD flags = WC_NO_BEST_FIT_CHARS;
    BOOL used_default = FALSE;
    const int n = WideCharToMultiByte(code_page, flags, wide.data(), size, nullptr, 0, nullptr,
                                      &used_default);
    if (n <= 0 || used_default) return false;
    out->resize(static_cast<size_t>(n));
    used_default = FALSE;
    if (WideCharToMultiByte(code_page, flags, wide.data(), size, &(*out)[0], n, nullptr,
                            &used_default) != n ||
        used_default)
        return false;
    // A character that round-trips to something else has no exact equivalent either.
    std::wstring back;
    return ToWide(*out, code_page, &back) && back == wide;
}

bool CodePageToUtf8(const std::string& bytes, uint32_t code_page, std::string* out) {
    out->clear();
    std::wstring wide;
    if (!ToWide(bytes, code_page, &wide)) return false;
    if (wide.empty()) return true;
    const int size = static_cast<int>(wide.size());
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return false;
    out->resize(static_cast<size_t>(n));
    return WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, &(*out)[0], n, nullptr, nullptr) == n;
}

std::string CommandLineTextAsUtf8(const std::string& text) {
    std::string utf8;
    return CodePageToUtf8(text, CP_ACP, &utf8) ? utf8 : text;
}

bool StderrIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

int SilenceStdout() {
    std::fflush(stdout);
    const int saved = _dup(_fileno(stdout));
    const int null_fd = _open("NUL", _O_WRONLY);
    if (null_fd >= 0) {
        _dup2(null_fd, _fileno(stdout));
        _close(null_fd);
    }
    return saved;
}

void RestoreStdout(int token) {
    std::fflush(stdout);
    if (token < 0) return;
    _dup2(token, _fileno(stdout));
    _close(token);
}

bool FileIdOf(const std::filesystem::path& path, FileId* id) {
    // Backup semantics let a folder be opened too; no access is asked for beyond its attributes.
    const HANDLE file =
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    const BOOL ok = GetFileInformationByHandle(file, &info);
    CloseHandle(file);
    if (!ok) return false;
    id->volume = info.dwVolumeSerialNumber;
    id->index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

namespace {

void (*InterruptCleanup)() = nullptr;
// 1 while the progress line is unfinished.
volatile LONG ProgressLineOpen = 0;
// The program RunProgram waits for, or null; whoever takes it out ends or closes it.
void* volatile RunningChild = nullptr;

// Runs on a thread of its own while the build goes on.
BOOL WINAPI OnConsoleEvent(DWORD) {
    const HANDLE child = InterlockedExchangePointer(&RunningChild, nullptr);
    if (child) {
        TerminateProcess(child, 1);
        WaitForSingleObject(child, INFINITE);
    }
    if (InterruptCleanup) InterruptCleanup();
    std::fputs(ProgressLineOpen ? "\nsspack: interrupted\n" : "sspack: interrupted\n", stderr);
    std::fflush(stderr);
    return FALSE;  // the default handler ends the process
}

}  // namespace

void SetProgressLineOpen(bool open) {
    ProgressLineOpen = open ? 1 : 0;
}

void OnInterruptCall(void (*cleanup)()) {
    InterruptCleanup = cleanup;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void RemoveFileNow(const char* path) {
    DeleteFileA(path);
}

std::string FoldedFileName(const std::string& name) {
    std::wstring wide;
    if (!ToWide(name, CP_ACP, &wide) || wide.empty()) return name;
    // File systems compare names by upper case, as the invariant locale maps them.
    std::wstring upper(wide.size() * 2 + 1, L'\0');
    const int n =
        LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, wide.data(), static_cast<int>(wide.size()),
                     &upper[0], static_cast<int>(upper.size()));
    if (n <= 0) return name;
    upper.resize(static_cast<size_t>(n));
    std::string out;
    for (wchar_t c : upper) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>((c >> 8) & 0xFF);
    }
    return out;
}

namespace {

// The parts of a version folder name ("10.0.22621.0"), for ordering.
std::vector<unsigned long> VersionParts(const std::string& name) {
    std::vector<unsigned long> parts;
    const char* p = name.c_str();
    while (*p) {
        char* end = nullptr;
        parts.push_back(std::strtoul(p, &end, 10));
        if (end == p) return {};
        p = *end == '.' ? end + 1 : end;
        if (*end && *end != '.') return {};
    }
    return parts;
}

// The SDK's root folder as its installer records it, else its usual place.
std::wstring KitsRoot() {
    wchar_t root[MAX_PATH];
    DWORD size = sizeof root;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows Kits\\Installed Roots",
                     L"KitsRoot10", RRF_RT_REG_SZ, nullptr, root, &size) == ERROR_SUCCESS)
        return root;
    const wchar_t* programs = _wgetenv(L"ProgramFiles(x86)");
    if (!programs) programs = _wgetenv(L"ProgramFiles");
    return programs ? std::wstring(programs) + L"\\Windows Kits\\10\\" : L"";
}

}  // namespace

std::vector<std::string> SystemToolFolders() {
    namespace fs = std::filesystem;
    std::vector<std::string> folders;
    const std::wstring root = KitsRoot();
    if (root.empty()) return folders;
    const fs::path bin = fs::path(root) / "bin";
    std::vector<std::pair<std::vector<unsigned long>, fs::path>> versions;
    std::error_code error;
    for (fs::directory_iterator it(bin, error), end; !error && it != end; it.increment(error)) {
        const std::vector<unsigned long> parts = VersionParts(it->path().filename().string());
        if (!parts.empty()) versions.push_back({parts, it->path()});
    }
    std::sort(versions.begin(), versions.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    versions.push_back({{}, bin});  // older kits keep one set of tools in bin itself
    for (const auto& v : versions)
        for (const char* arch : {"x64", "x86", "arm64"})
            folders.push_back((v.second / arch).string());
    return folders;
}

namespace {

bool IsProgramFile(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

}  // namespace

std::string FindProgram(const std::string& name, const std::vector<std::string>& folders) {
    namespace fs = std::filesystem;
    std::vector<fs::path> all(folders.begin(), folders.end());
    const wchar_t* path = _wgetenv(L"PATH");
    for (std::wstring rest = path ? path : L""; !rest.empty();) {
        const size_t semicolon = rest.find(L';');
        std::wstring folder = rest.substr(0, semicolon);
        folder.erase(std::remove(folder.begin(), folder.end(), L'"'), folder.end());
        all.push_back(folder);
        rest = semicolon == std::wstring::npos ? L"" : rest.substr(semicolon + 1);
    }
    std::error_code error;
    const fs::path current = fs::current_path(error);
    for (const fs::path& folder : all) {
        // "C:\x" is absolute; ".", "bin", "\x" and "C:x" depend on the current folder or drive.
        if (folder.empty() || !folder.is_absolute()) continue;
        FileId a, b;
        if (FileIdOf(folder, &a) && FileIdOf(current, &b) && a.volume == b.volume &&
            a.index == b.index)
            continue;
        const fs::path candidate = folder / fs::path(name);
        if (IsProgramFile(candidate)) return candidate.string();
    }
    return "";
}

namespace {

// One argument as the C runtime of the started program splits its command line back.
std::wstring QuotedArgument(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    size_t slashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        out.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
        slashes = 0;
        out += c;
    }
    return out + std::wstring(slashes * 2, L'\\') + L"\"";
}

}  // namespace

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& input, const std::string& log) {
    (void)input;  // signtool takes nothing on its input
    ProgramRun run;
    std::wstring wide_program, wide_log, command;
    if (!ToWide(program, CP_ACP, &wide_program) || !ToWide(log, CP_ACP, &wide_log)) return run;
    for (const std::string& a : args) {
        std::wstring wide;
        if (!ToWide(a, CP_ACP, &wide)) return run;
        if (!command.empty()) command += L' ';
        command += QuotedArgument(wide);
    }
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    const HANDLE out = CreateFileW(wide_log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    const HANDLE in = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inherit, OPEN_EXISTING, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE || in == INVALID_HANDLE_VALUE) {
        if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
        if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
        return run;
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = out;
    PROCESS_INFORMATION process = {};
    // The program is named by its full path: nothing is searched, and only an .exe is started.
    const BOOL started = CreateProcessW(wide_program.c_str(), &command[0], nullptr, nullptr, TRUE,
                                        0, nullptr, nullptr, &startup, &process);
    CloseHandle(out);
    CloseHandle(in);
    if (!started) return run;
    CloseHandle(process.hThread);
    InterlockedExchangePointer(&RunningChild, process.hProcess);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    // An interrupt that took the handle ends and waits for the program itself.
    if (InterlockedExchangePointer(&RunningChild, nullptr)) CloseHandle(process.hProcess);
    run.started = true;
    run.exit_code = static_cast<int>(code);
    return run;
}
