// sspack: builds and inspects ssinstaller payload archives and block streams.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/sspack/commands.h"
#include "tools/sspack/usage.h"

namespace {

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
};

const Command kCommands[] = {
    {"compress", CmdCompress}, {"expand", CmdExpand}, {"list", CmdList}, {"verify", CmdVerify},
    {"extract", CmdExtract},   {"build", CmdBuild},   {"info", CmdInfo}, {"init", CmdInit},
};

bool IsHelp(const char* arg) {
    return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0;
}

// Edits (insert, delete, replace a letter, swap two neighbours) between `a` and `b`.
size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i)
        d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j)
        d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i)
        for (size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min(
                {d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] != b[j - 1])});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

// The command closest to `name` in spelling, or null when none is close (at most a third of
// its letters differ).
const char* Closest(const char* name) {
    const char* best = nullptr;
    size_t best_distance = std::strlen(name) / 3 + 1;
    for (const Command& c : kCommands) {
        const size_t distance = EditDistance(name, c.name);
        if (distance < best_distance) {
            best_distance = distance;
            best = c.name;
        }
    }
    return best;
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
    // One line: the usage of every command would bury the hint.
    const char* closest = Closest(name);
    if (closest)
        std::fprintf(stderr, "sspack: unknown command '%s' (did you mean %s?)\n", name, closest);
    else
        std::fprintf(stderr, "sspack: unknown command '%s'; sspack --help lists the commands\n",
                     name);
    return 1;
}
