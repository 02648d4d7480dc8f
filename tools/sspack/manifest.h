// The manifest of `sspack build`: an INI-like UTF-8 file naming the screen saver, its texts and
// its files. Reading it checks every limit of the installer, so that a manifest that loads
// without errors makes an installer that behaves as written.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "tools/sspack/info_block.h"
#include "tools/sspack/ini.h"
#include "tools/sspack/picture.h"
#include "tools/sspack/show_write.h"
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
    bool is_show = false;         // MOVIE made from [Show], kept in BuildPlan::show_bytes
    bool found_saver = false;     // SAVER chosen by sspack for a show without Saver=
    bool named_saver = false;     // SAVER with the name and icon written in: BuildPlan::saver_bytes
    CompressMode compress = CompressMode::kAuto;
    uint8_t scramble = 0;  // stored XORed with this key byte when not 0
    uint64_t size = 0;     // bytes of the file (or of the block)
};

// A picture or piece of music of [Show], after its pattern was expanded.
struct ShowSourceFile {
    std::string path;     // resolved against the manifest's folder
    int line = 0;         // the Picture= or Music= line
    std::string caption;  // UTF-8; empty for none
    std::vector<uint16_t> caption_units;
    PictureFacts facts;  // pictures: as read; music: facts.format is the ShowMusicFormat
};

// The [Show] section: MOVIE is written from it when the installer is built.
struct ShowSource {
    bool given = false;
    int line = 0;  // the section's header
    ShowSettings settings;
    uint32_t max_side = 0;  // 0: pictures carried unchanged
    int max_side_line = 0;
    std::vector<ShowSourceFile> pictures;
    std::vector<ShowSourceFile> music;
};

struct BuildPlan {
    InfoFields fields;
    std::vector<uint8_t> info_block;    // the whole INFO entry, info::kBlockSize bytes
    std::vector<PlannedEntry> entries;  // payload order
    StubFace face;                      // the installer's file properties and icon
    PlannedEntry saver_x86;             // Saver.x86=: SAVER of an x86 installer; no path: none
    std::vector<std::string>
        inputs;  // every file read (UTF-8), for the output-overwrites-input test
    ShowSource show;
    std::vector<uint8_t> show_bytes;   // MOVIE of a show, made by MakeShowMovie
    std::vector<uint8_t> saver_bytes;  // the project's screen saver program, named
};

// The most records a payload archive's directory holds.
constexpr uint32_t kPayloadRecords = 32;

// Reads and checks `path`. Every problem becomes one diagnostic naming its line; loading goes on
// after an error so that one run reports them all. With `strict`, warnings count as errors.
// True when no error was found.
bool LoadManifest(const std::string& path, bool strict, Diagnostics* diagnostics, BuildPlan* plan);

// Writes the show's MOVIE into plan->show_bytes for an installer of `arch` ("x64", "x86"; ""
// for the host installer): pictures scaled to MaxSide= when given, else carried unchanged. Each
// problem becomes a diagnostic naming the picture's line; true when there was none.
bool MakeShowMovie(const std::string& arch, Diagnostics* diagnostics, BuildPlan* plan);

// The manifest words of a show's settings ("random", "fill", "wipe"), "" for a value that has none.
std::string ShowOrderWord(uint8_t order);
std::string ShowFitWord(uint8_t fit);
std::string ShowTransitionWord(uint8_t transition);
// Milliseconds as the manifest's seconds ("8", "1.5").
std::string SecondsText(uint32_t ms);

// Takes the screen saver program given for `arch` (Saver.x86=) as SAVER, in place of Saver='s;
// nothing changes for an architecture the manifest names no program for.
void SelectArchitecture(const std::string& arch, BuildPlan* plan);

// Name of the k-th additional file's entry (0: "ADDTL", then ADDTL01, ADDTL02, ...).
std::string AdditionalEntryName(size_t k);

// The follow-up action's manifest word, or "" for a value that has none.
std::string FollowUpWord(uint32_t action);
