// sspack on Linux: code pages through glibc's iconv, terminals and descriptors through POSIX.
#include <fcntl.h>
#include <iconv.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

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

std::string CommandLineTextAsUtf8(const std::string& text) {
    return text;
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
// 1 while the progress line is unfinished.
volatile sig_atomic_t ProgressLineOpen = 0;
// The program RunProgram waits for, or 0.
volatile sig_atomic_t RunningChild = 0;

// Ends the running program and reaps it: after this it cannot write any more.
void EndRunningChild() {
    const pid_t pid = static_cast<pid_t>(RunningChild);
    if (pid <= 0) return;
    RunningChild = 0;
    kill(pid, SIGKILL);
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

void OnInterrupt(int signal_number) {
    EndRunningChild();
    if (InterruptCleanup) InterruptCleanup();
    static const char kInterrupted[] = "\nsspack: interrupted\n";
    const int skip = ProgressLineOpen ? 0 : 1;  // the line break ends the progress line
    if (write(2, kInterrupted + skip, sizeof kInterrupted - 1 - skip) < 0) {
    }
    signal(signal_number, SIG_DFL);
    raise(signal_number);
}

}  // namespace

void SetProgressLineOpen(bool open) {
    ProgressLineOpen = open ? 1 : 0;
}

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

std::vector<std::string> SystemToolFolders() {
    return {};
}

namespace {

bool IsProgramFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

bool IsCurrentFolder(const std::string& folder) {
    struct stat a, b;
    return stat(folder.c_str(), &a) == 0 && stat(".", &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

}  // namespace

std::string FindProgram(const std::string& name, const std::vector<std::string>& folders) {
    std::vector<std::string> all = folders;
    const char* path = std::getenv("PATH");
    for (std::string rest = path ? path : ""; !rest.empty();) {
        const size_t colon = rest.find(':');
        all.push_back(rest.substr(0, colon));
        rest = colon == std::string::npos ? "" : rest.substr(colon + 1);
    }
    for (const std::string& folder : all) {
        if (folder.empty() || folder[0] != '/' || IsCurrentFolder(folder)) continue;
        const std::string candidate = folder + "/" + name;
        if (IsProgramFile(candidate)) return candidate;
    }
    return "";
}

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& input, const std::string& log) {
    ProgramRun run;
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int pipe_fds[2] = {-1, -1};
    if (pipe(pipe_fds) != 0) return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[0], STDIN_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipe_fds[1]);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    // An interrupt between the start and the bookkeeping would miss the program: both happen
    // with the interrupts held back, and the program starts with none held back.
    sigset_t interrupts, before, none;
    sigemptyset(&interrupts);
    sigaddset(&interrupts, SIGINT);
    sigaddset(&interrupts, SIGTERM);
    sigemptyset(&none);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    sigprocmask(SIG_BLOCK, &interrupts, &before);
    pid_t pid = 0;
    const int spawned =
        posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    if (spawned == 0) RunningChild = pid;
    sigprocmask(SIG_SETMASK, &before, nullptr);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_fds[0]);
    if (spawned != 0) {
        close(pipe_fds[1]);
        return run;
    }
    // The password is small: it fits the pipe, so the write cannot wait for the reader.
    if (!input.empty() && write(pipe_fds[1], input.data(), input.size()) < 0) {
    }
    close(pipe_fds[1]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    RunningChild = 0;
    run.started = true;
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    // A file that cannot be run (not a program at all) ends the child with 127.
    if (run.exit_code == 127) {
        struct stat st;
        if (stat(log.c_str(), &st) == 0 && st.st_size == 0) run.started = false;
    }
    return run;
}
