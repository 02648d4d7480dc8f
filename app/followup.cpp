// Follow-up actions and the deferred removal of the opened document.
#include "app/followup.h"

#include <string.h>

#include "app/activation.h"
#include "app/build.h"
#include "app/settings.h"
#include "app/text.h"
#include "archive/extract.h"
#include "archive/sticky_error.h"
#include "platform/files.h"
#include "platform/launch.h"
#include "platform/system.h"

int RemovalPending;                      // set only when the document was handed to its program
FileHandle DocumentHold = kInvalidFile;  // the document, held open while it may be opened

namespace {

char registry_text[kRegistryTextSize];  // result of ReadDefaultValue, shared by every call

constexpr char kRenameHeader[] = "[Rename]\r\n";
// The machine's own file associations. HKEY_CLASSES_ROOT would also show the user's
// (HKEY_CURRENT_USER\Software\Classes), which any program of the user may write: this program
// may run as administrator.
constexpr char kMachineClasses[] = "Software\\Classes";
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
                : AppendText(out, size, &at, "\\")) &&
           Append(out, size, &at, program, length);
}

// 1 when `folder` holds the program as WinExec would find it there: its name as given, or with
// ".exe" when the name has no extension.
int FolderHoldsProgram(const char* folder, const char* program, uint32_t length) {
    char path[kPathSize + 4];
    if (!JoinProgram(path, kPathSize, folder, program, length)) return 0;
    char* name = strrchr(path, '\\') + 1;
    if (!strchr(name, '.')) strcpy(strchr(name, '\0'), ".exe");
    return PlatIsFile(path);
}

}  // namespace

int QualifyCommand(char* out, uint32_t size, const char* command) {
    if (size == 0) return 0;
    out[0] = '\0';
    const int quoted = command[0] == '"';
    const char* program = command + quoted;
    // A quoted program ends at the closing quote (or the line's end); a bare one at a blank.
    uint32_t length = 0;
    for (char c; (c = program[length]) != '\0' && (quoted ? c != '"' : c != ' ' && c != '\t');)
        ++length;
    if (length == 0) return 0;
    uint32_t at = 0;
    if (IsFullPath(program)) return AppendText(out, size, &at, command);

    char system_dir[kPathSize];
    uint32_t got = PlatSystemDirectory(system_dir, sizeof system_dir);
    if (got == 0 || got >= sizeof system_dir) return 0;
    const char* folder = system_dir;
    if (!FolderHoldsProgram(system_dir, program, length)) {
        // The Windows folder and a backslash, in the shared path buffer.
        const char* windows_dir = WindowsDirPath("");
        if (windows_dir && FolderHoldsProgram(windows_dir, program, length)) folder = windows_dir;
    }
    char full[kPathSize];
    if (!JoinProgram(full, sizeof full, folder, program, length)) return 0;
    // An unquoted program stays unquoted unless the folder brings a blank into it.
    const int quote = quoted || strchr(full, ' ') != nullptr;
    const char* rest = program + length + (quoted && program[length] == '"');
    return (!quote || AppendText(out, size, &at, "\"")) && AppendText(out, size, &at, full) &&
           (!quote || AppendText(out, size, &at, "\"")) && AppendText(out, size, &at, rest);
}

uint32_t StartProgram(const char* command) {
    char qualified[kCommandLineSize];
    char system_dir[kPathSize];
    if (!QualifyCommand(qualified, sizeof qualified, command)) return 0;
    // A started program inherits the current folder, where it looks first for what it loads;
    // the installer's is usually the download folder. A system folder that cannot be had
    // leaves the buffer empty, and the empty name is refused.
    system_dir[0] = '\0';
    PlatSystemDirectory(system_dir, sizeof system_dir);
    if (!PlatSetCurrentDirectory(system_dir)) return 0;
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
    if (type == kRegExpandSz && !ExpandWindowsFolder(registry_text)) return nullptr;
    return registry_text;
}

int ExpandWindowsFolder(char* text) {
    char expanded[kRegistryTextSize];
    char windows_dir[kPathSize];
    uint32_t dir_length = PlatWindowsDirectory(windows_dir, sizeof windows_dir);
    if (dir_length == 0 || dir_length >= sizeof windows_dir) return 0;
    char* out = expanded;
    for (const char* p = text; *p;) {
        uint32_t name = FindNoCase(p, "%SystemRoot%") == 1 ? 12
                        : FindNoCase(p, "%windir%") == 1   ? 8
                                                           : 0;
        const char* piece = name ? windows_dir : p;
        p += name ? name : 1;
        // One character, or the whole folder; the last byte stays for the NUL.
        do {
            if (out == expanded + sizeof expanded - 1) return 0;
            *out++ = *piece++;
        } while (name && *piece);
    }
    *out = '\0';
    strcpy(text, expanded);
    return 1;
}

int FormCommandLine(char* out, uint32_t size, const char* command_template, const char* path) {
    if (size == 0) return 0;
    out[0] = '\0';
    uint32_t at = 0;
    uint32_t star = FindNoCase(command_template, "%*");
    uint32_t one = FindNoCase(command_template, "%1");
    // The registered command is data from the registry: it is copied, never used as a format,
    // so no other '%' sequence can reach for arguments.
    for (uint32_t i = 0;; ++i) {
        const char* piece = &command_template[i];
        uint32_t length = 1;
        if (star && i == star - 1) {
            piece = "  ";
            length = 2;
            ++i;
        } else if (one && i == one - 1) {
            if (path[0] == '\0') {
                if (at > 0 && out[at - 1] == '"') --at;
                while (at > 0 && out[at - 1] == ' ')
                    --at;
                out[at] = '\0';
                return 1;
            }
            piece = path;
            length = static_cast<uint32_t>(strlen(path));
            ++i;
        } else if (*piece == '\0') {
            break;
        }
        if (!Append(out, size, &at, piece, length)) return 0;
    }
    return one || (AppendText(out, size, &at, " ") && AppendText(out, size, &at, path));
}

// The association of `extension` among the class keys under `classes`.
static int OpenWithClasses(PlatKey classes, const char* path, const char* extension) {
    char command[kCommandLineSize];
    const char* class_name = ReadDefaultValue(classes, extension);
    if (!class_name) return 0;
    static const char kOpenCommand[] = "\\shell\\Open\\Command";
    uint32_t at = 0;
    command[0] = '\0';
    if (!AppendText(command, sizeof command, &at, class_name) ||
        !AppendText(command, sizeof command, &at, kOpenCommand))
        return 0;
    const char* command_template = ReadDefaultValue(classes, command);
    if (!command_template) return 0;
    // A command line longer than its buffer is not started.
    if (!FormCommandLine(command, sizeof command, command_template, path)) return 0;
    return StartProgram(command) >= 32;
}

int OpenWithAssociation(const char* path, const char* extension) {
    PlatKey classes;
    if (PlatRegOpenKey(kHkeyLocalMachine, kMachineClasses, &classes) != kErrorSuccess) return 0;
    int started = OpenWithClasses(classes, path, extension);
    PlatRegCloseKey(classes);
    return started;
}

int OpenDocument(const char* path) {
    if (FindNoCase(path, "://")) return OpenWithAssociation(path, ".html");
    // The extension of the file name only: a folder's dot ("C:\Users\j.smith") is none.
    const char* slash = strrchr(path, '\\');
    const char* dot = strrchr(slash ? slash : path, '.');
    if (!dot) return 0;
    return OpenWithAssociation(path, dot);
}

int ScheduleRemovalAtRestart(const char* path) {
    // A null new name is the deletion; "NUL" would be a rename onto the device \??\NUL. The 9x
    // family has no MoveFileExA at all and goes on to WinInit.Ini.
    int result = PlatMoveFileEx(path, nullptr, kMoveFileDelayUntilReboot);
    if (result) return result;

    char line[kPathSize + 8];
    uint32_t n = 0;
    line[0] = '\0';
    if (!AppendText(line, sizeof line, &n, "NUL=") || !AppendText(line, sizeof line, &n, path) ||
        !AppendText(line, sizeof line, &n, "\r\n"))
        return 0;

    // In the shared path buffer, used at once.
    const char* ini_path = WindowsDirPath("WinInit.Ini");
    if (!ini_path) return 0;

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
                // The rest moves up by the line's length, from its end backwards.
                for (uint32_t k = size; k > p; --k)
                    view[k - 1 + n] = view[k - 1];
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

int PlaceDocument(const char* name) {
    DocumentTempPath[0] = '\0';
    // "ss" and eight letters of this run's number, in the Windows folder.
    const char* folder = WindowsDirPath("ss--------");
    if (!folder || strlen(folder) + 1 + strlen(name) >= kDocumentPathSize) return 0;
    strcpy(DocumentTempPath, folder);
    char* const end = DocumentTempPath + strlen(DocumentTempPath);
    char* letter = end;
    for (uint32_t number = PlatRunNumber(), k = 0; k < 8; ++k, number >>= 4)
        *--letter = static_cast<char>('a' + (number & 15));
    // Only administrators may create in the Windows folder, and CreateDirectoryA fails on any
    // name that stands there already (a folder, a junction), so the folder is this run's own:
    // no program of the user can put, swap or redirect anything in it.
    if (!PlatCreateFolder(DocumentTempPath)) {
        DocumentTempPath[0] = '\0';
        return 0;
    }
    *end = '\\';
    strcpy(end + 1, name);
    // From its creation until its program has it, the document is held with read-only
    // sharing: it can be read, but not written, renamed, replaced or deleted.
    ExtractEntryToNewFile("LESMI", DocumentTempPath);
    if (!StickyError.latched) DocumentHold = PlatOpenReadLocked(DocumentTempPath);
    StickyError.latched = 0;
    if (DocumentHold != kInvalidFile) return 1;
    DropDocument();
    return 0;
}

void DropDocument() {
    PlatClose(DocumentHold);
    DocumentHold = kInvalidFile;
    if (!PlatDeleteFile(DocumentTempPath) && PlatIsFile(DocumentTempPath))
        ScheduleRemovalAtRestart(DocumentTempPath);
    // The folder goes after the file; at a restart too, where the system keeps that order.
    *strrchr(DocumentTempPath, '\\') = '\0';
    if (!PlatRemoveFolder(DocumentTempPath))
        PlatMoveFileEx(DocumentTempPath, nullptr, kMoveFileDelayUntilReboot);
}

void RemoveOpenedDocument() {
    if (DocumentHold == kInvalidFile) return;
    if (RemovalPending) PlatSleep(5000);
    DropDocument();
}

// Action 2 quotes the screen saver's path, so that a name with a space starts the right file.
static void StartScreenSaver() {
    char command[kPathSize + 8];
    const char* path = WindowsDirPath(Settings.ScreenSaverFileName);
    uint32_t at = 0;
    command[0] = '\0';
    if (path && AppendText(command, sizeof command, &at, "\"") &&
        AppendText(command, sizeof command, &at, path) &&
        AppendText(command, sizeof command, &at, "\" /s"))
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
                DropDocument();
            break;
        default:
            break;
    }
    return Settings.FollowUpAction == 0;
}
