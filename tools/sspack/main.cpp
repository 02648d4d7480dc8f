// sspack: builds and inspects ssinstaller payload archives and block streams.
#include <cstdio>
#include <cstring>

#include "tools/sspack/commands.h"
#include "tools/sspack/usage.h"

namespace {

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
};

const Command kCommands[] = {
    {"compress", CmdCompress}, {"expand", CmdExpand}, {"list", CmdList}, {"verify", CmdVerify},
    {"extract", CmdExtract},   {"build", CmdBuild},   {"info", CmdInfo},
};

bool IsHelp(const char* arg) {
    return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr, nullptr);
        return 1;
    }
    const char* name = argv[1];
    if (IsHelp(name) || (std::strcmp(name, "help") == 0 && argc == 2)) {
        PrintUsage(stdout, nullptr);
        return 0;
    }
    if (std::strcmp(name, "help") == 0) {
        if (PrintUsage(stdout, argv[2])) return 0;
        std::fprintf(stderr, "sspack: help: unknown command '%s'\n", argv[2]);
        return 1;
    }
    if (std::strcmp(name, "--version") == 0) {
        std::printf("%s\n", VersionText());
        return 0;
    }
    for (const Command& c : kCommands) {
        if (std::strcmp(name, c.name) != 0) continue;
        for (int i = 2; i < argc; ++i)
            if (IsHelp(argv[i])) {
                PrintUsage(stdout, c.name);
                return 0;
            }
        return c.run(argc - 2, argv + 2);
    }
    std::fprintf(stderr, "sspack: unknown command '%s'\n", name);
    PrintUsage(stderr, nullptr);
    return 1;
}
