// Follow-up actions and the deferred removal of the opened document.
#include "app/followup.h"

#include <string.h>

#include "app/activation.h"
#include "app/build.h"
#include "app/settings.h"
#include "app/text.h"
#include "platform/files.h"
#include "platform/launch.h"
#include "platform/system.h"

int RemovalPending;  // set only when the document was handed to its program

namespace {

char registry_text[kRegistryTextSize];  // result of ReadDefaultValue, shared by every call

constexpr char kRenameHeader[] = "[Rename]\r\n";
constexpr uint32_t kRenameHeaderSize = 10;

char FoldCase(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

// A program path that names its folder from a root: "X:\", "X:/" or a "\\server" share.
int IsFullPath(const char* program) {
    char c = FoldCase(program[0]);
    if (c >= 'a' && c <= 'z' && program[1] == ':') return program[2] == '\\' || program[2] == '/';
    return (program[0] == '\\' || program[0] == '/') && (program[1] == '\\' || program[1] == '/');
}

// `folder`, a backslash and the program (of `length` characters) into `out`; 0 when it does not
// fit.
int JoinProgram(char* out, uint32_t size, const char* folder, const char* program,
                uint32_t length) {
    uint32_t at = 0;
    out[0] = '\0';
    uint32_t folder_length = static_cast<uint32_t>(strlen(folder));
    return Append(out, size, &at, folder, folder_length) &&
           (folder_length > 0 && folder[folder_length - 1] == '\\'
                ? 1
                : Append(out, size, &at, "\\", 1)) &&
           Append(out, size, &at, program, length);
}

// 1 when `folder` holds the program as WinExec would find it there: its name as given, or with
// ".exe" when the name has no extension.
int FolderHoldsProgram(const char* folder, const char* program, uint32_t length) {
    char path[kPathSize + 4];
    if (!JoinProgram(path, kPathSize, folder, program, length)) return 0;
    const char* name = strrchr(path, '\\') + 1;
    if (!strchr(name, '.')) strcat(path, ".exe");
    return PlatIsFile(path);
}

}  // namespace

int QualifyCommand(char* out, uint32_t size, const char* command) {
    if (size == 0) return 0;
    out[0] = '\0';
    const int quoted = command[0] == '"';
    const char* program = command + quoted;
    // A quoted program ends at the closing quote (or the line's end); a bare one at a blank.
    uint32_t length =
        static_cast<uint32_t>(quoted ? strcspn(program, "\"") : strcspn(program, " \t"));
    if (length == 0) return 0;
    uint32_t at = 0;
    if (IsFullPath(program))
        return Append(out, size, &at, command, static_cast<uint32_t>(strlen(command)));

    char system_dir[kPathSize];
    char windows_dir[kPathSize];
    uint32_t got = PlatSystemDirectory(system_dir, sizeof system_dir);
    if (got == 0 || got >= sizeof system_dir) return 0;
    const char* folder = system_dir;
    if (!FolderHoldsProgram(system_dir, program, length)) {
        got = PlatWindowsDirectory(windows_dir, sizeof windows_dir);
        if (got != 0 && got < sizeof windows_dir &&
            FolderHoldsProgram(windows_dir, program, length))
            folder = windows_dir;
    }
    char full[kPathSize];
    if (!JoinProgram(full, sizeof full, folder, program, length)) return 0;
    // An unquoted program stays unquoted unless the folder brings a blank into it.
    const int quote = quoted || strchr(full, ' ') != nullptr;
    const char* rest = program + length + (quoted && program[length] == '"');
    return (!quote || Append(out, size, &at, "\"", 1)) &&
           Append(out, size, &at, full, static_cast<uint32_t>(strlen(full))) &&
           (!quote || Append(out, size, &at, "\"", 1)) &&
           Append(out, size, &at, rest, static_cast<uint32_t>(strlen(rest)));
}

uint32_t StartProgram(const char* command) {
    char qualified[kCommandLineSize];
    if (!QualifyCommand(qualified, sizeof qualified, command)) return 0;
    return PlatWinExec(qualified, kSwShowNormal);
}

uint32_t FindNoCase(const char* text, const char* pattern) {
    size_t text_length = strlen(text);
    size_t pattern_length = strlen(pattern);
    if (pattern_length > text_length) return 0;
    for (size_t i = 0; i + pattern_length <= text_length; ++i) {
        size_t k = 0;
        while (k < pattern_length && FoldCase(text[i + k]) == FoldCase(pattern[k]))
            ++k;
        if (k == pattern_length) return static_cast<uint32_t>(i + 1);
    }
    return 0;
}

const char* ReadDefaultValue(PlatKey root, const char* subkey) {
    PlatKey key;
    if (PlatRegOpenKey(root, subkey, &key) != kErrorSuccess) return nullptr;
    uint32_t type = 0;
    uint32_t size = kRegistryTextSize;
    long result = PlatRegQueryValue(key, nullptr, &type, registry_text, &size);
    PlatRegCloseKey(key);
    // A value stored without its NUL is terminated here; one that fills the buffer without a NUL
    // cannot be, and counts as too long.
    if (result != kErrorSuccess || size > kRegistryTextSize) return nullptr;
    if (size == kRegistryTextSize && registry_text[size - 1] != '\0') return nullptr;
    if (size < kRegistryTextSize) registry_text[size] = '\0';
    if (type == kRegExpandSz) {
        char expanded[kRegistryTextSize];
        uint32_t needed = PlatExpandEnvironmentStrings(registry_text, expanded, sizeof expanded);
        if (needed == 0 || needed > sizeof expanded) return nullptr;
        memcpy(registry_text, expanded, needed);
    }
    return registry_text;
}

int FormCommandLine(char* out, uint32_t size, const char* command_template, const char* path) {
    if (size == 0) return 0;
    out[0] = '\0';
    uint32_t at = 0;
    uint32_t length = static_cast<uint32_t>(strlen(command_template));
    uint32_t star = FindNoCase(command_template, "%*");
    uint32_t one = FindNoCase(command_template, "%1");
    // The registered command is data from the registry: it is copied, never used as a format,
    // so no other '%' sequence can reach for arguments.
    for (uint32_t i = 0; i < length; ++i) {
        if (star && i == star - 1) {
            if (!Append(out, size, &at, "  ", 2)) return 0;
            ++i;
        } else if (one && i == one - 1) {
            if (path[0] == '\0') {
                if (at > 0 && out[at - 1] == '"') --at;
                while (at > 0 && out[at - 1] == ' ')
                    --at;
                out[at] = '\0';
                return 1;
            }
            if (!Append(out, size, &at, path, static_cast<uint32_t>(strlen(path)))) return 0;
            ++i;
        } else if (!Append(out, size, &at, &command_template[i], 1)) {
            return 0;
        }
    }
    if (!one) {
        if (!Append(out, size, &at, " ", 1)) return 0;
        if (!Append(out, size, &at, path, static_cast<uint32_t>(strlen(path)))) return 0;
    }
    return 1;
}

int OpenWithAssociation(const char* path, const char* extension) {
    char command[kCommandLineSize];
    const char* class_name = ReadDefaultValue(kHkeyClassesRoot, extension);
    if (!class_name) return 0;
    static const char kOpenCommand[] = "\\shell\\Open\\Command";
    uint32_t at = 0;
    command[0] = '\0';
    if (!Append(command, sizeof command, &at, class_name,
                static_cast<uint32_t>(strlen(class_name))) ||
        !Append(command, sizeof command, &at, kOpenCommand, sizeof kOpenCommand - 1))
        return 0;
    const char* command_template = ReadDefaultValue(kHkeyClassesRoot, command);
    if (!command_template) return 0;
    // A command line longer than its buffer is not started.
    if (!FormCommandLine(command, sizeof command, command_template, path)) return 0;
    return StartProgram(command) >= 32;
}

int OpenDocument(const char* path) {
    if (FindNoCase(path, "://")) return OpenWithAssociation(path, ".html");
    const char* dot = strrchr(path, '.');
    if (!dot) return 0;
    return OpenWithAssociation(path, dot);
}

int ScheduleRemovalAtRestart(const char* path) {
    int result = PlatMoveFileEx(path, "NUL", kMoveFileDelayUntilReboot);
    if (result) return result;

    char line[kPathSize + 8];
    uint32_t n = 0;
    line[0] = '\0';
    if (!Append(line, sizeof line, &n, "NUL=", 4) ||
        !Append(line, sizeof line, &n, path, static_cast<uint32_t>(strlen(path))) ||
        !Append(line, sizeof line, &n, "\r\n", 2))
        return 0;

    char ini_path[kPathSize];
    static const char kIniName[] = "\\WinInit.Ini";
    uint32_t dir_length = PlatWindowsDirectory(ini_path, sizeof ini_path);
    if (dir_length == 0 || dir_length + sizeof kIniName > sizeof ini_path) return 0;
    memcpy(ini_path + dir_length, kIniName, sizeof kIniName);

    FileHandle file = PlatOpenReadWriteAlways(ini_path);
    if (file == kInvalidFile) return 0;
    uint32_t size = PlatFileSize(file);
    // Without its size the file is left alone: the edit would end it at a made-up length.
    if (size == 0xFFFFFFFFu) {
        PlatClose(file);
        return 0;
    }
    uint32_t final_length = size;
    result = 0;
    // The mapping holds the content and n + 10 zero bytes, so the content reads as one
    // NUL-terminated text and the edit has room for a header and the line.
    if (size <= 0xFFFFFFFFu - n - kRenameHeaderSize) {
        uint32_t mapped = size + n + kRenameHeaderSize;
        intptr_t mapping = PlatCreateFileMapping(file, mapped);
        uint8_t* view = mapping ? PlatMapViewOfFile(mapping) : nullptr;
        if (view) {
            char* text = reinterpret_cast<char*>(view);
            uint32_t header = FindNoCase(text, kRenameHeader);
            if (!header) {
                memcpy(view + size, kRenameHeader, kRenameHeaderSize);
                memcpy(view + size + kRenameHeaderSize, line, n);
                final_length = size + kRenameHeaderSize + n;
            } else if (!FindNoCase(text + header - 1, line)) {
                const char* lf = strchr(text + header - 1, '\n');
                uint32_t p = static_cast<uint32_t>(lf - text) + 1;
                memmove(view + p + n, view + p, size - p);
                memcpy(view + p, line, n);
                final_length = size + n;
            }
            PlatUnmapViewOfFile(view);
            result = 1;
        }
        if (mapping) PlatCloseMapping(mapping);
    }
    // The file ends where the content does (a mapping may have grown it); when the position
    // cannot be set, ending it at the current one would cut the content off.
    if (PlatSeek(file, final_length)) PlatSetEndOfFile(file);
    PlatClose(file);
    return result;
}

void RemoveOpenedDocument() {
    if (!RemovalPending) return;
    PlatSleep(5000);
    if (!PlatDeleteFile(DocumentTempPath)) ScheduleRemovalAtRestart(DocumentTempPath);
}

// Action 2 quotes the screen saver's path, so that a name with a space starts the right file.
static void StartScreenSaver() {
    char command[kPathSize + 8];
    const char* path = WindowsDirPath(Settings.ScreenSaverFileName);
    if (!path) return;
    uint32_t at = 0;
    command[0] = '\0';
    if (!Append(command, sizeof command, &at, "\"", 1) ||
        !Append(command, sizeof command, &at, path, static_cast<uint32_t>(strlen(path))) ||
        !Append(command, sizeof command, &at, "\" /s", 4))
        return;
    StartProgram(command);
}

int RunFollowUpAction() {
    switch (Settings.FollowUpAction) {
        case 1:
            if (!FindDisplayProperties()) StartProgram(Settings.DisplaySettingsCommand);
            break;
        case 2:
            StartScreenSaver();
            break;
        case 3:
            if (OpenDocument(DocumentTempPath))
                RemovalPending = 1;
            else
                PlatDeleteFile(DocumentTempPath);
            break;
        default:
            break;
    }
    return Settings.FollowUpAction == 0;
}
