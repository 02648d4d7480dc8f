// The screen saver program: shows the picture show or the bitmap MOVIE carried in its own
// payload archive, offers the show's settings, and removes itself when started with /U. See
// switches.h for the command lines it answers.
#include <windows.h>

#include <string.h>

#include "saver/input.h"
#include "saver/movie.h"
#include "saver/payload.h"
#include "saver/screen.h"
#include "saver/settings.h"
#include "saver/show_screen.h"
#include "saver/switches.h"
#include "saver/system.h"
#include "saver/uninstall.h"

static char FallbackName[kSaverNameSize];  // 128 bytes: the file's name, when INFO has none
// 1,024 bytes: the text of the settings box; wsprintfA writes at most 1,024 bytes, and the
// name (127 at most) and the fixed text fit well within it.
static char AboutText[1024];

// Without INFO the saver goes by its file name without the folder and the extension.
static const char* FileBaseName() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) return "Screen saver";
    const char* slash = strrchr(path, '\\');
    lstrcpynA(FallbackName, slash ? slash + 1 : path, sizeof FallbackName);
    char* dot = strrchr(FallbackName, '.');
    if (dot && dot != FallbackName) *dot = '\0';
    return FallbackName;
}

static void ShowAbout(HWND owner, const char* name) {
    MovieView movie;
    if (OpenMovie(MovieBytes, MovieSize, &movie)) {
        wsprintfA(AboutText,
                  "%s\n\nShows a picture of %d x %d pixels%s.\n"
                  "There is nothing to set.\n\nTo remove it, use Add or Remove Programs.",
                  name, movie.width, movie.height,
                  movie.cycle_count > 1 ? " whose colours move" : "");
    } else {
        wsprintfA(AboutText,
                  "%s\n\nThis screen saver carries no picture it can show.\n"
                  "There is nothing to set.\n\nTo remove it, use Add or Remove Programs.",
                  name);
    }
    MessageBoxA(owner, AboutText, name, MB_OK | MB_ICONINFORMATION);
}

// A window number from the command line counts only while that window exists.
static HWND ExistingWindow(uintptr_t number) {
    HWND window = reinterpret_cast<HWND>(number);
    return number != 0 && IsWindow(window) ? window : nullptr;
}

// The show when MOVIE is one, else the bitmap (or the preview's bitmap) as before.
static int Run(HINSTANCE instance, HWND preview_parent, const char* name) {
    if (!Show.valid) return RunSaverWindow(instance, preview_parent, name);
    const ShowSettings settings = LoadShowSettings(name);
    return RunShowWindow(instance, preview_parent, name, &settings);
}

static int SaverMain(HINSTANCE instance, const char* command_line) {
    // The installer may start the saver elevated: no DLL from its folder or the current one.
    RestrictDllSearch();
    const SaverSwitches switches = ParseSaverSwitches(command_line);
    LoadSaverPayload(nullptr, GetACP(), switches.mode == kSaverPreview);
    const char* name = SaverName[0] ? SaverName : FileBaseName();
    switch (switches.mode) {
        case kSaverFullScreen:
            return Run(instance, nullptr, name);
        case kSaverPreview: {
            HWND parent = ExistingWindow(switches.window);
            return parent ? Run(instance, parent, name) : 0;
        }
        case kSaverPassword:
            if (IsWindows9x()) ChangeSaverPassword(ExistingWindow(switches.window));
            return 0;
        case kSaverUninstall:
            UninstallSaver(name);
            return 0;
        case kSaverConfigure:
        case kSaverUnknown:
            if (Show.valid) {
                RunSettingsDialog(instance, ExistingWindow(switches.window), name);
            } else {
                ShowAbout(ExistingWindow(switches.window), name);
            }
            return 0;
    }
    return 0;
}

// The command line after the program's name, which may be quoted.
static const char* SwitchesOf(const char* line) {
    if (*line == '"') {
        for (++line; *line && *line != '"'; ++line) {
        }
        if (*line) ++line;
    } else {
        while (*line && *line != ' ' && *line != '\t')
            ++line;
    }
    return line;
}

// The process entry: no C runtime start-up (the saver has no static constructors and uses no C
// stdio), as in the installer. The loader may align the stack to 4 bytes only on i686.
extern "C" __attribute__((force_align_arg_pointer, noreturn)) void SaverEntry() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    ExitProcess(static_cast<UINT>(SaverMain(instance, SwitchesOf(GetCommandLineA()))));
}
