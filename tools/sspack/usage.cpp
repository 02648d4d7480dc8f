#include "tools/sspack/usage.h"

#include <cstring>

#ifndef SSPACK_VERSION
#define SSPACK_VERSION "unknown"
#endif

namespace {

const CommandUsage kCommandUsage[] = {
    {"build", "MANIFEST -o OUT [OPTION...]", "make an installer from a manifest"},
    {"init", "[FOLDER]", "write a first manifest for the pictures, music or program in FOLDER"},
    {"info", "FILE [--manifest|--json]", "the settings of an installer or .scr, as manifest keys"},
    {"list", "FILE [--json]", "the directory of an installer or .scr"},
    {"verify", "FILE [--json]", "expand every compressed entry and check every block"},
    {"extract", "FILE [NAME...] -o DIR", "write the entries' content into DIR"},
    {"compress", "IN OUT", "write IN as one checked block stream"},
    {"expand", "IN OUT", "write the content of one block stream"},
    {"help", "[COMMAND]", "this text, or the usage of one command"},
};

// One line per option; a new option of a command is one more line here.
const OptionUsage kOptionUsage[] = {
    {"build", "-o OUT", "the installer to write (required)"},
    {"build", "--arch x64|x86", "the Windows architecture: which stub, what Saver must be (x64)"},
    {"build", "--stub FILE", "the installer program the payload is appended to"},
    {"build", "--host", "take the Linux host installer as the stub"},
    {"build", "--strict", "every warning is an error"},
    {"build", "--verify", "read every entry back and compare it with its file"},
    {"build", "--json", "diagnostics and summary as JSON, one object per line"},
    {"build", "-q, --quiet", "print only warnings and errors"},
    {"build", "-v, --verbose", "also print the stub used and each step"},
    {"build", "--sign", "sign the result (osslsigncode on Linux, signtool on Windows)"},
    {"build", "--cert FILE", "the signing certificate (PEM), with --key"},
    {"build", "--key FILE", "the private key (PEM) of --cert"},
    {"build", "--pkcs12 FILE", "certificate and key in one PKCS#12 file instead"},
    {"build", "--pass-file FILE", "the PKCS#12 password: the first line of FILE"},
    {"build", "--pass-env VAR", "the PKCS#12 password: the environment variable VAR"},
    {"build", "--timestamp URL", "have the signature time-stamped by an RFC 3161 server"},
    {"build", "--ca FILE", "the CA certificates the signature is checked against"},
    {"info", "--manifest", "print a whole manifest that rebuilds the installer"},
    {"info", "--json", "the settings as one JSON document"},
    {"list", "--json", "the directory as one JSON document"},
    {"verify", "--json", "the result per entry as one JSON document"},
    {"extract", "NAME", "only these entries (default: every entry)"},
    {"extract", "-o DIR", "the folder to write into (required; made when missing)"},
    {"extract", "--json", "what was written, as one JSON document"},
};

const CommandUsage* Find(const char* name) {
    for (const CommandUsage& c : kCommandUsage)
        if (std::strcmp(c.name, name) == 0) return &c;
    return nullptr;
}

void PrintOne(std::FILE* out, const CommandUsage& c, bool options) {
    std::fprintf(out, "  sspack %s %s\n      %s\n", c.name, c.synopsis, c.summary);
    if (!options) return;
    for (const OptionUsage& o : kOptionUsage)
        if (std::strcmp(o.command, c.name) == 0)
            std::fprintf(out, "        %-16s %s\n", o.option, o.meaning);
}

}  // namespace

bool PrintUsage(std::FILE* out, const char* command) {
    if (command) {
        const CommandUsage* c = Find(command);
        if (!c) return false;
        std::fprintf(out, "usage:\n");
        PrintOne(out, *c, true);
        return true;
    }
    std::fprintf(out, "usage: sspack COMMAND ...   (sspack --version: the version)\n");
    for (const CommandUsage& c : kCommandUsage)
        PrintOne(out, c, true);
    return true;
}

void PrintSynopsis(std::FILE* out, const char* command) {
    const CommandUsage* c = Find(command);
    if (c) std::fprintf(out, "usage: sspack %s %s\n", c->name, c->synopsis);
}

const char* VersionText() {
    return "sspack " SSPACK_VERSION;
}
