// Signing a built installer. The signing tool is found by its full path, never in the current
// folder (on Windows only signtool.exe in the SDK's folders or PATH), and runs as a child process
// started by that path with its arguments as a list (no shell, no batch file). A password never
// appears on sspack's command line: it comes from a file, which osslsigncode reads itself, or
// from an environment variable, which reaches osslsigncode on its standard input. signtool takes
// it only as /p on its own command line, where programs of the same user can read it while it
// runs.
#include "tools/sspack/sign.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "archive/reader.h"
#include "tools/sspack/file_safety.h"
#include "tools/sspack/sspack_os.h"

namespace fs = std::filesystem;

namespace {

struct Run {
    bool started = false;  // false: the tool is not installed (or cannot be started)
    int exit_code = -1;
    std::string last_line;  // the last line the tool printed, for the error message
};

// The line of the tool's output that says why it failed: the first that names a failure or an
// error (the tool's closing "Failed" says nothing), else the last line.
std::string Reason(const std::string& log) {
    std::ifstream in(log);
    std::string line, last;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (line.empty()) continue;
        last = line;
        if (line == "Failed") continue;
        for (const char* word : {"ailed", "rror", "nable", "nsupported", "nvalid"})
            if (line.find(word) != std::string::npos) return line;
    }
    return last;
}

// Runs the tool at `program` with its output in `log` and `input` on its standard input.
Run RunTool(const std::string& program, const std::vector<std::string>& args,
            const std::string& input, const std::string& log) {
    const ProgramRun ran = RunProgram(program, args, input, log);
    Run run;
    run.started = ran.started;
    run.exit_code = ran.exit_code;
    run.last_line = Reason(log);
    return run;
}

#ifdef _WIN32
const char* const kTool = "signtool";
const char* const kToolFile = "signtool.exe";
const char* const kInstallHint = "signtool comes with the Windows SDK";
#else
const char* const kTool = "osslsigncode";
const char* const kToolFile = "osslsigncode";
const char* const kInstallHint = "on Debian: apt-get install osslsigncode";
#endif

// The command that signs `in` into `out`; `input` receives what goes to the tool's input.
std::vector<std::string> SignCommand(const SignOptions& s, const std::string& in,
                                     const std::string& out, std::string* input) {
#ifdef _WIN32
    (void)input;
    std::vector<std::string> c = {kTool, "sign", "/fd", "sha256", "/f", s.pkcs12};
    std::string password;
    if (!s.pass_file.empty()) {
        std::ifstream file(s.pass_file);
        std::getline(file, password);
    } else if (!s.pass_env.empty() && std::getenv(s.pass_env.c_str())) {
        password = std::getenv(s.pass_env.c_str());
    }
    if (!password.empty()) c.insert(c.end(), {"/p", password});
    if (!s.timestamp.empty()) c.insert(c.end(), {"/tr", s.timestamp, "/td", "sha256"});
    // signtool signs in place: the scratch copy is the one signed.
    (void)in;
    c.push_back(out);
    return c;
#else
    std::vector<std::string> c = {kTool, "sign", "-h", "sha256"};
    if (!s.pkcs12.empty()) {
        c.insert(c.end(), {"-pkcs12", s.pkcs12});
        if (!s.pass_file.empty()) c.insert(c.end(), {"-readpass", s.pass_file});
        if (!s.pass_env.empty()) {
            c.insert(c.end(), {"-readpass", "-"});
            *input = std::getenv(s.pass_env.c_str());
        }
    } else {
        c.insert(c.end(), {"-certs", s.cert, "-key", s.key});
    }
    if (!s.timestamp.empty()) c.insert(c.end(), {"-ts", s.timestamp});
    // osslsigncode writes the time of signing into the signature: a fixed one keeps the build
    // reproducible.
    const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
    if (epoch && *epoch) c.insert(c.end(), {"-time", epoch});
    c.insert(c.end(), {"-in", in, "-out", out});
    return c;
#endif
}

std::vector<std::string> VerifyCommand(const SignOptions& s, const std::string& file) {
#ifdef _WIN32
    (void)s;
    return {kTool, "verify", "/pa", file};
#else
    std::vector<std::string> c = {kTool, "verify", "-in", file};
    if (!s.ca.empty()) c.insert(c.end(), {"-CAfile", s.ca});
    return c;
#endif
}

std::string ToolFailed(const char* what, const Run& run) {
    std::string text = std::string(kTool) + " " + what + " failed (exit code " +
                       std::to_string(run.exit_code) + ")";
    if (!run.last_line.empty()) text += ": " + run.last_line;
    return text;
}

}  // namespace

int ParseSignOption(int argc, char** argv, int* i, SignOptions* s, std::string* problem) {
    const std::string arg = argv[*i];
    if (arg == "--sign") {
        s->sign = true;
        return 1;
    }
    struct Valued {
        const char* name;
        std::string* value;
    } const valued[] = {{"--cert", &s->cert},
                        {"--key", &s->key},
                        {"--pkcs12", &s->pkcs12},
                        {"--pass-file", &s->pass_file},
                        {"--pass-env", &s->pass_env},
                        {"--timestamp", &s->timestamp},
                        {"--ca", &s->ca}};
    for (const Valued& v : valued) {
        if (arg != v.name) continue;
        if (*i + 1 >= argc) {
            *problem = arg + " needs a value";
            return -1;
        }
        *v.value = argv[++*i];
        return 1;
    }
    return 0;
}

std::string SignOptionsProblem(const SignOptions& s) {
    const bool pem = !s.cert.empty() || !s.key.empty();
    const bool any = pem || !s.pkcs12.empty() || !s.pass_file.empty() || !s.pass_env.empty() ||
                     !s.timestamp.empty() || !s.ca.empty();
    if (!s.sign) return any ? "the signing options need --sign" : "";
    if (pem && !s.pkcs12.empty()) return "give either --cert and --key or --pkcs12, not both";
    if (!s.pkcs12.empty()) {
        if (!s.pass_file.empty() && !s.pass_env.empty())
            return "give the password either with --pass-file or with --pass-env";
        if (!s.pass_env.empty() && !std::getenv(s.pass_env.c_str()))
            return "--pass-env: the environment variable " + s.pass_env + " is not set";
    } else if (s.cert.empty() || s.key.empty()) {
        return "--sign needs --cert FILE and --key FILE, or --pkcs12 FILE";
    } else if (!s.pass_file.empty() || !s.pass_env.empty()) {
        return "--pass-file and --pass-env are for --pkcs12";
    }
#ifdef _WIN32
    if (s.pkcs12.empty()) return "signtool signs with a PKCS#12 file: give --pkcs12 FILE";
#endif
    for (const std::string* f : {&s.cert, &s.key, &s.pkcs12, &s.pass_file, &s.ca}) {
        std::error_code error;
        if (!f->empty() && !fs::is_regular_file(*f, error)) return "cannot read '" + *f + "'";
    }
    return "";
}

const char* SignUsage() {
    return "[--sign (--cert FILE --key FILE | --pkcs12 FILE [--pass-file FILE | --pass-env VAR])"
           " [--timestamp URL] [--ca FILE]]";
}

std::string SignInstaller(const SignOptions& s, const std::string& file, const std::string& scratch,
                          uint64_t archive_end, bool verbose) {
    // The tool's output goes to a scratch file of its own, which an interrupt removes too.
    const ScratchFile log(scratch);
    std::error_code error;
    std::string input;
    const std::string tool = FindProgram(kToolFile, SystemToolFolders());
    if (tool.empty())
        return std::string(kTool) + " is not installed (" + kInstallHint + "); cannot sign";
#ifdef _WIN32
    fs::copy_file(file, scratch, fs::copy_options::overwrite_existing, error);
    if (error) return "cannot copy '" + file + "' to '" + scratch + "': " + error.message();
#endif
    const Run signed_run = RunTool(tool, SignCommand(s, file, scratch, &input), input, log.path());
    if (!signed_run.started) return "cannot start " + tool + "; cannot sign";
    if (signed_run.exit_code != 0) return ToolFailed("sign", signed_run);
    const Run verified = RunTool(tool, VerifyCommand(s, scratch), "", log.path());
    if (verified.exit_code != 0)
        return ToolFailed("verify", verified) +
               (s.ca.empty() ? " (give the issuing CA with --ca FILE)" : "");
    if (verbose) std::printf("signed and verified with %s\n", kTool);

    // The reader must find the archive where it was, with only the certificate table after it.
    const bool found = OpenArchive(scratch.c_str()) != kInvalidFile;
    const uint64_t end = ReaderArchiveEnd(), table = ReaderCertificateSize();
    CloseArchive(ReaderHandle());
    if (!found || table == 0 || end != archive_end)
        return "the signed file does not keep its payload directory before the certificate table";
    fs::rename(scratch, file, error);
    if (error) return "cannot rename '" + scratch + "' to '" + file + "': " + error.message();
    return "";
}
