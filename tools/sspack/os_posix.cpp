// sspack on Linux: code pages through glibc's iconv, terminals and descriptors through POSIX.
#include <fcntl.h>
#include <iconv.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/sspack/sspack_os.h"

namespace {

std::string IconvName(uint32_t code_page) {
    return "CP" + std::to_string(code_page);
}

// Converts all of `in`; false on any sequence that does not convert exactly.
bool Convert(const char* to, const char* from, const std::string& in, std::string* out) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    out->clear();
    char* src = const_cast<char*>(in.data());
    size_t src_left = in.size();
    char buffer[256];
    bool ok = true;
    while (ok && src_left > 0) {
        char* dst = buffer;
        size_t dst_left = sizeof buffer;
        const size_t r = iconv(cd, &src, &src_left, &dst, &dst_left);
        out->append(buffer, static_cast<size_t>(dst - buffer));
        // E2BIG only means the buffer filled; everything else is a character that does not fit.
        if (r == static_cast<size_t>(-1) && errno != E2BIG) ok = false;
        // glibc counts characters converted irreversibly in the result; none are allowed.
        if (r != static_cast<size_t>(-1) && r > 0) ok = false;
    }
    if (ok) {
        char* dst = buffer;
        size_t dst_left = sizeof buffer;
        ok = iconv(cd, nullptr, nullptr, &dst, &dst_left) != static_cast<size_t>(-1);
        out->append(buffer, static_cast<size_t>(dst - buffer));
    }
    iconv_close(cd);
    return ok;
}

}  // namespace

bool Utf8ToCodePage(const std::string& utf8, uint32_t code_page, std::string* out) {
    return Convert(IconvName(code_page).c_str(), "UTF-8", utf8, out);
}

bool CodePageToUtf8(const std::string& bytes, uint32_t code_page, std::string* out) {
    return Convert("UTF-8", IconvName(code_page).c_str(), bytes, out);
}

bool StderrIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

int SilenceStdout() {
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    const int null_fd = open("/dev/null", O_WRONLY);
    if (null_fd >= 0) {
        dup2(null_fd, STDOUT_FILENO);
        close(null_fd);
    }
    return saved;
}

void RestoreStdout(int token) {
    std::fflush(stdout);
    if (token < 0) return;
    dup2(token, STDOUT_FILENO);
    close(token);
}

bool FileIdOf(const std::filesystem::path& path, FileId* id) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    id->volume = static_cast<uint64_t>(st.st_dev);
    id->index = static_cast<uint64_t>(st.st_ino);
    return true;
}

namespace {

void (*InterruptCleanup)() = nullptr;

void OnInterrupt(int signal_number) {
    if (InterruptCleanup) InterruptCleanup();
    signal(signal_number, SIG_DFL);
    raise(signal_number);
}

}  // namespace

void OnInterruptCall(void (*cleanup)()) {
    InterruptCleanup = cleanup;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void RemoveFileNow(const char* path) {
    unlink(path);
}

std::string FoldedFileName(const std::string& name) {
    std::string folded = name;
    for (char& c : folded)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return folded;
}
