// Any bytes as an sspack manifest: the INI syntax and every check of the manifest reader. The
// manifest lies in a folder of its own beside the small files that a manifest usually names,
// so that the checks past the file lookups are reached too.
#include <stdint.h>
#include <stdio.h>

#include <string>

#include "tests/fuzz/fuzz_support.h"
#include "tools/sspack/ini.h"
#include "tools/sspack/manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::string manifest;
    if (manifest.empty()) {
        const std::string& dir = PrivateFolder();
        for (const char* name : {"saver.bin", "stub.bin", "movie.bin", "zett.bin", "kmdl.bin",
                                 "preview.bmp", "readme.txt", "stars.txt", "noise.dat"}) {
            FILE* f = fopen((dir + "/" + name).c_str(), "wb");
            if (!f) abort();
            fputs("MZ some bytes", f);
            fclose(f);
        }
        manifest = dir + "/setup.ini";
    }
    const std::string text(reinterpret_cast<const char*>(data), size);
    Diagnostics syntax;
    ParseIni(text, &syntax);

    FILE* f = fopen(manifest.c_str(), "wb");
    if (!f) abort();
    if (size) fwrite(data, 1, size, f);
    fclose(f);
    Diagnostics diagnostics;
    diagnostics.file = manifest;
    BuildPlan plan;
    const bool loaded = LoadManifest(manifest, size & 1, &diagnostics, &plan);
    // A manifest that loads without errors makes an archive that fits the installer's limits.
    if (loaded) {
        if (diagnostics.HasErrors()) __builtin_trap();
        if (plan.entries.size() > kPayloadRecords) __builtin_trap();
        if (plan.info_block.size() != info::kBlockSize) __builtin_trap();
    }
    return 0;
}
