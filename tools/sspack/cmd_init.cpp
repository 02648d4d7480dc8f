// sspack init: a first manifest for a folder, commented, that builds as it stands. A folder
// with a screen saver program (.scr) gets Saver= with that program and a data file as Movie=;
// otherwise its pictures and music become a [Show]. An existing file is never replaced: the
// manifest is created as a new file.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/files.h"
#include "tools/sspack/commands.h"
#include "tools/sspack/file_safety.h"
#include "tools/sspack/ini.h"

namespace fs = std::filesystem;

namespace {

// What the folder holds, as paths relative to it with forward slashes, sorted by name.
struct Found {
    std::vector<std::string> programs, pictures, music, other;
};

std::string Extension(const fs::path& p) {
    return LowerAscii(p.extension().u8string());
}

bool OneOf(const std::string& ext, std::initializer_list<const char*> list) {
    for (const char* e : list)
        if (ext == e) return true;
    return false;
}

// The folder and its subfolders one level down (photos/, music/); hidden entries are skipped.
Found Look(const fs::path& folder) {
    Found found;
    std::vector<fs::path> files;
    std::error_code error;
    for (const fs::directory_entry& e : fs::directory_iterator(folder, error)) {
        const std::string name = e.path().filename().u8string();
        if (name.empty() || name[0] == '.') continue;
        if (e.is_regular_file(error)) {
            files.push_back(e.path().filename());
        } else if (e.is_directory(error)) {
            for (const fs::directory_entry& f : fs::directory_iterator(e.path(), error))
                if (f.is_regular_file(error) && f.path().filename().u8string()[0] != '.')
                    files.push_back(e.path().filename() / f.path().filename());
        }
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& p : files) {
        const std::string ext = Extension(p);
        const std::string relative = p.generic_u8string();
        if (ext == ".scr") {
            found.programs.push_back(relative);
        } else if (OneOf(ext, {".jpg", ".jpeg", ".png", ".gif", ".bmp"})) {
            found.pictures.push_back(relative);
        } else if (OneOf(ext, {".mp3", ".wav", ".mid", ".midi"})) {
            found.music.push_back(relative);
        } else if (!OneOf(ext, {".ini", ".exe"})) {
            found.other.push_back(relative);
        }
    }
    return found;
}

// A screen saver name from `text`: letters, digits, spaces, '-' and '_' kept, at most 40
// characters, so that it is a valid file name in every code page.
std::string NameFrom(const std::string& text) {
    std::string name;
    for (char c : text) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == ' ' || c == '-' || c == '_';
        if (keep && name.size() < 40) name += c;
    }
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    while (!name.empty() && name.front() == ' ')
        name.erase(0, 1);
    return name.empty() ? "My Screen Saver" : name;
}

std::string Common(const std::string& name) {
    return "; Made by `sspack init`. Build it with: sspack build THIS_FILE -o Setup.exe\n"
           "; Every key is described in the manifest reference (docs/manifest.md).\n"
           "\n"
           "[Installer]\n"
           "Name=" +
           name +
           "\n"
           "; CodePage=0: the installer works on every Windows, whatever its language.\n"
           "CodePage=0\n"
           "; After the install: none, display-settings, start or open-document.\n"
           "FollowUp=display-settings\n"
           "ShowProgress=yes\n"
           ";Publisher=Your name\n"
           ";Version=1.0\n"
           ";Icon=icon.ico\n"
           "\n"
           "[Texts]\n"
           "Question=Install the " +
           name +
           " screen saver?\n"
           "Success=" +
           name +
           " is now your screen saver.\n"
           "Failure=" +
           name +
           " could not be installed.\n"
           "Progress=Installing " +
           name + "...\n";
}

// The manifest for `found`, or "" with `problem` when the folder gives none.
std::string ManifestFor(Found found, const std::string& folder_name, std::string* name,
                        std::string* problem) {
    if (!found.programs.empty()) {
        // A second program whose name says x86 is the x86 installer's.
        std::vector<std::string> programs = found.programs;
        std::stable_partition(programs.begin(), programs.end(), [](const std::string& p) {
            return LowerAscii(fs::u8path(p).stem().u8string()).find("x86") == std::string::npos;
        });
        found.programs.swap(programs);
        const std::string& program = found.programs.front();
        std::vector<std::string> data = found.pictures;
        data.insert(data.end(), found.other.begin(), found.other.end());
        data.insert(data.end(), found.music.begin(), found.music.end());
        if (data.empty()) {
            *problem = "holds the program '" + program +
                       "' but no file beside it for Movie=, the data the program reads";
            return "";
        }
        *name = NameFrom(fs::u8path(program).stem().u8string());
        std::string text = Common(*name) +
                           "\n"
                           "[Files]\n"
                           "; The screen saver program (for x64 Windows), and the data it reads "
                           "as MOVIE.\n"
                           "Saver=" +
                           program + "\nMovie=" + data.front() + "\n";
        const std::string x86 = found.programs.size() > 1 ? found.programs[1] : "";
        text += (x86.empty() ? ";Saver.x86=" + fs::u8path(program).stem().u8string() + "-x86.scr"
                             : "Saver.x86=" + x86) +
                "\n; (the program of an x86 installer: sspack build --arch x86)\n";
        return text;
    }
    if (found.pictures.empty()) {
        *problem = "holds no pictures (.jpg, .png, .gif, .bmp) and no screen saver program (.scr)";
        return "";
    }
    *name = NameFrom(folder_name);
    std::string text =
        Common(*name) +
        "\n"
        "[Show]\n"
        "; The pictures, shown in this order; a pattern (photos/*.jpg) also works.\n";
    for (const std::string& p : found.pictures)
        text += "Picture=" + p + "\n";
    text +=
        "; Caption.1=A caption for the first picture\n"
        "; Seconds each picture stays, sequential or random, fit, fill, stretch or center.\n"
        "Interval=10\n"
        "Order=sequential\n"
        "Fit=fit\n"
        "Transition=fade\n"
        "Background=#000000\n";
    if (found.music.empty()) text += "; Music=song.mp3   ; WAV, MP3 or MIDI, played in a loop\n";
    for (const std::string& m : found.music)
        text += "Music=" + m + "\n";
    return text;
}

// Creates `path` as a new file holding `text`; "" or why not.
std::string WriteNew(const fs::path& path, const std::string& text) {
    const FileHandle file = PlatCreateNew(path.u8string().c_str());
    if (file == kInvalidFile) {
        std::error_code error;
        return fs::exists(fs::symlink_status(path, error))
                   ? "it exists already; init never replaces a manifest"
                   : "it cannot be created";
    }
    const bool written =
        PlatWrite(file, text.data(), static_cast<uint32_t>(text.size())) == text.size();
    PlatClose(file);
    if (written) return "";
    PlatDeleteFile(path.u8string().c_str());
    return "it cannot be written (disk full?)";
}

}  // namespace

int CmdInit(int argc, char** argv) {
    std::string folder;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "sspack: init: unknown option '%s'\n", arg.c_str());
            return 1;
        }
        if (!folder.empty()) {
            std::fprintf(stderr, "sspack: init: unexpected argument '%s'\n", arg.c_str());
            return 1;
        }
        folder = arg;
    }
    if (folder.empty()) folder = ".";
    const fs::path dir = CommandLinePath(folder);
    std::error_code error;
    if (!fs::is_directory(dir, error)) {
        std::fprintf(stderr, "sspack: init: '%s' is not a folder\n", folder.c_str());
        return 1;
    }
    const std::string folder_name = fs::weakly_canonical(dir, error).filename().u8string();
    std::string name, problem;
    const std::string text = ManifestFor(Look(dir), folder_name, &name, &problem);
    if (text.empty()) {
        std::fprintf(stderr, "sspack: init: '%s' %s\n", folder.c_str(), problem.c_str());
        return 1;
    }
    const fs::path manifest = dir / fs::u8path(name + ".ini");
    problem = WriteNew(manifest, text);
    if (!problem.empty()) {
        std::fprintf(stderr, "sspack: init: '%s': %s\n", manifest.u8string().c_str(),
                     problem.c_str());
        return 1;
    }
    std::printf("wrote %s\n", manifest.u8string().c_str());
    return 0;
}
