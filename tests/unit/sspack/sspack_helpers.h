// Running sspack as a program, and manifests written into scratch folders.
#pragma once

#include <string>

#include "tests/unit/support/test_support.h"

struct RunResult {
    int exit_code = -1;
    std::string out;  // standard output
    std::string err;  // standard error
};

// Runs sspack with `args` (already quoted for the shell), stdin from /dev/null; `env` is put
// before the command ("NAME=value ...").
RunResult RunSspack(const std::string& args, const ScratchDir& dir, const std::string& env = "");

// Single-quotes `text` for the shell.
std::string Quoted(const std::string& text);

// The media of the minimal example copied into `dir`, with `manifest` written as
// dir/m.ini. Returns the manifest's path.
std::string WriteManifest(const ScratchDir& dir, const std::string& manifest);

// A manifest that builds. Each part is the body of its section (lines ending in '\n'); the
// name lines are left out when empty.
struct ManifestParts {
    std::string prefix;  // before the first section
    std::string name = "Minimal";
    std::string code_page = "1252";
    std::string installer;  // more [Installer] lines
    std::string texts =
        "Question=Install Minimal?\nSuccess=Done.\nFailure=Failed.\n"
        "Progress=Installing...\n";
    bool with_alternative = true;
    std::string alt_name = "Minimal";
    std::string alternative;  // more [Alternative] lines
    std::string files =
        "Saver=saver.bin\nStub=stub.bin\nMovie=movie.bin\nZett=zett.bin\n"
        "Kmdl=kmdl.bin\n";
    std::string show;  // the body of [Show]; no section when empty
};

// A manifest of a show (the slideshow example's pictures and tune beside it) with `show` as the
// body of [Show] and the minimal example's program as Saver=.
ManifestParts ShowParts(const std::string& show);
std::string ManifestText(const ManifestParts& parts);

// 1-based line of the first line of `text` that contains `needle`, 0 when none does.
int LineOf(const std::string& text, const std::string& needle);

// `sspack build` of `manifest` into `out` with the host installer as the stub.
RunResult BuildWithHostStub(const std::string& manifest, const std::string& out,
                            const ScratchDir& dir, const std::string& extra = "");

// Runs the host installer `out` with its simulated Windows in `sandbox`, answering nothing (the
// defaults). True when it ran.
bool InstallOnHost(const std::string& out, const std::string& sandbox);

// Whether `text` is exactly one JSON value (white space around it allowed).
bool IsJsonDocument(const std::string& text);
