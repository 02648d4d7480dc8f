// sspack on Windows: code pages through the system's own conversion tables.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>

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

// Runs on a thread of its own while the build goes on.
BOOL WINAPI OnConsoleEvent(DWORD) {
    if (InterruptCleanup) InterruptCleanup();
    return FALSE;  // the default handler ends the process
}

}  // namespace

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
