// sspack: builds and inspects ssinstaller payload archives and block streams.
#include <cstdio>
#include <cstring>

#include "tools/sspack/commands.h"

namespace {

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* usage;
};

const Command kCommands[] = {
    {"compress", CmdCompress, "compress IN OUT          write IN as one block stream"},
    {"expand", CmdExpand, "expand IN OUT            expand one block stream"},
    {"list", CmdList, "list FILE [--json]       the directory of a payload archive"},
    {"verify", CmdVerify, "verify FILE [--json]     check every entry of a payload archive"},
    {"extract", CmdExtract, "extract FILE [NAME...] -o DIR   write entries' content to DIR"},
    {"build", CmdBuild,
     "build MANIFEST -o OUT [--arch x64|x86] [--stub FILE | --host] [--strict] [--verify] [--json] "
     "[-q | -v]\n"
     "        [--sign (--cert FILE --key FILE | --pkcs12 FILE [--pass-file FILE | --pass-env "
     "VAR])\n"
     "         [--timestamp URL] [--ca FILE]]\n"
     "                           make an installer from a manifest (and sign it)"},
    {"info", CmdInfo, "info FILE [--manifest]   the INFO of an installer, as manifest keys"},
};

int Usage() {
    std::fprintf(stderr, "usage: sspack COMMAND ...\n");
    for (const Command& c : kCommands)
        std::fprintf(stderr, "  sspack %s\n", c.usage);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    for (const Command& c : kCommands) {
        if (std::strcmp(argv[1], c.name) == 0) return c.run(argc - 2, argv + 2);
    }
    std::fprintf(stderr, "sspack: unknown command '%s'\n", argv[1]);
    return Usage();
}
