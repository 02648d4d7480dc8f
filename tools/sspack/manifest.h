// The manifest of `sspack build`: an INI-like UTF-8 file naming the screen saver, its texts and
// its files. Reading it checks every limit of the installer, so that a manifest that loads
// without errors makes an installer that behaves as written.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "tools/sspack/info_block.h"
#include "tools/sspack/ini.h"
#include "tools/sspack/stub_face.h"

enum class CompressMode { kAuto, kYes, kNo };

// One entry of the payload, in the order the archive receives it.
struct PlannedEntry {
    std::string name;      // entry name in the archive ("SAVER", "ADDTL01")
    std::string key;       // the manifest key it comes from ("Saver", "Additional2", "Info")
    std::string path;      // the file, resolved against the manifest's folder; empty for INFO,
                           // for an alias and for an omitted file (an empty entry)
    int line = 0;          // manifest line that names it; 0 when none does
    bool is_info = false;  // the INFO block, made in memory
    bool alias_of_movie = false;  // PREVIEWF sharing MOVIE's data
    CompressMode compress = CompressMode::kAuto;
    uint8_t scramble = 0;  // stored XORed with this key byte when not 0
    uint64_t size = 0;     // bytes of the file (or of the block)
};

struct BuildPlan {
    InfoFields fields;
    std::vector<uint8_t> info_block;    // the whole INFO entry, info::kBlockSize bytes
    std::vector<PlannedEntry> entries;  // payload order
    StubFace face;                      // the installer's file properties and icon
    PlannedEntry saver_x86;             // Saver.x86=: SAVER of an x86 installer; no path: none
    std::vector<std::string>
        inputs;  // every file read (UTF-8), for the output-overwrites-input test
};

// The most records a payload archive's directory holds.
constexpr uint32_t kPayloadRecords = 32;

// Reads and checks `path`. Every problem becomes one diagnostic naming its line; loading goes on
// after an error so that one run reports them all. With `strict`, warnings count as errors.
// True when no error was found.
bool LoadManifest(const std::string& path, bool strict, Diagnostics* diagnostics, BuildPlan* plan);

// Takes the screen saver program given for `arch` (Saver.x86=) as SAVER, in place of Saver='s;
// nothing changes for an architecture the manifest names no program for.
void SelectArchitecture(const std::string& arch, BuildPlan* plan);

// Name of the k-th additional file's entry (0: "ADDTL", then ADDTL01, ADDTL02, ...).
std::string AdditionalEntryName(size_t k);

// The follow-up action's manifest word, or "" for a value that has none.
std::string FollowUpWord(uint32_t action);
