// The build sequence of the screen saver file. It runs with the archive layer's error latch
// armed: the first failing archive operation latches and every later one does nothing, so the
// copies follow one another and the sequence decides on the latch at a few points only.
#include "app/build.h"

#include <string.h>

#include "app/activation.h"
#include "app/followup.h"
#include "app/report.h"
#include "app/settings.h"
#include "app/startup.h"
#include "app/text.h"
#include "archive/extract.h"
#include "archive/file_name.h"
#include "archive/reader.h"
#include "archive/sticky_error.h"
#include "archive/transfer.h"
#include "archive/writer.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "platform/system.h"
#include "platform/ui.h"

const char kDisplayPropertiesTitle[] = "Display Properties";

char DocumentTempPath[kDocumentPathSize];  // 256 bytes; read by the follow-up actions

namespace {

char DocumentName[kDocumentPathSize];  // 256 bytes: the INFO document path, then its file name

// Pauses around closing "Display Properties" and before the one retry of the file creation:
// the other program needs the time to let go of the screen saver file.
constexpr uint32_t kAfterCancelMs = 100;
constexpr uint32_t kAfterQuitMs = 300;
constexpr uint32_t kBeforeRetryMs = 500;

// A document name longer than this cannot fit DocumentTempPath behind any folder.
constexpr uint32_t kTempRoom = kDocumentPathSize - 2;

// Takes one pending message off the installer's own queue without handling it: what the other
// program's reaction may have queued here must not run inside the build.
void DropOneMessage() {
    PlatMessage message;
    PlatPeekMessage(&message);
}

// Top-level windows examined when looking for the screen saver's settings dialog; the walk
// follows a list that other programs change meanwhile, so it is bounded.
constexpr int kWindowWalkLimit = 1024;

// Window titles compare as FindWindowA compares them: without regard to the case of A..Z.
int SameTitle(const char* a, const char* b) {
    for (;; ++a, ++b) {
        char x = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a + 32) : *a;
        char y = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b + 32) : *b;
        if (x != y) return 0;
        if (x == '\0') return 1;
    }
}

// The screen saver's own settings dialog: a top-level window titled like the installer that
// belongs to "Display Properties". The installer's progress dialog bears the same title and
// stands in front, so the first window of that title is not enough: each one is asked for its
// parent, and the installer's own windows never count.
PlatWindow FindSaverSettings(PlatWindow display_properties) {
    char title[kTitleSize + 1];  // one more than a title holds: a longer one never matches
    PlatWindow window = PlatGetWindow(PlatGetDesktopWindow(), kGwChild);
    for (int examined = 0; window && examined < kWindowWalkLimit; ++examined) {
        if (window != ProgressDialog && window != MainWindow &&
            PlatGetWindowText(window, title, sizeof title) > 0 &&
            SameTitle(title, InstallerTitle) && PlatGetParent(window) == display_properties)
            return window;
        window = PlatGetWindow(window, kGwHwndNext);
    }
    return 0;
}

// Step 13: the document "LESMI" into a new folder of its own. Whatever goes wrong cancels the
// follow-up action; it never fails the installation.
void PrepareDocument() {
    const char* name = DocumentFileName();
    if (!name || !PlaceDocument(name)) Settings.FollowUpAction = 0;
}

// Step 5 and the retry of step 6: the screen saver file, replacing an earlier one. A running
// "Display Properties" may hold the old file a little longer; only then is it tried again.
FileHandle CreateScreenSaverFile(PlatWindow display_properties) {
    // A path too long for its buffer fails here, before anything is created under a cut name.
    if (!WindowsDirPath(Settings.ScreenSaverFileName)) {
        LatchFailure();
        return kInvalidFile;
    }
    FileHandle output = CreateArchive(WindowsDirPath(Settings.ScreenSaverFileName));
    if (StickyError.latched && display_properties) {
        PlatSleep(kBeforeRetryMs);
        StickyError.latched = 0;
        output = CreateArchive(WindowsDirPath(Settings.ScreenSaverFileName));
    }
    return output;
}

// Step 7: entries 1 to 8. The program goes first so that it lies plain at offset 0.
void WriteEntries() {
    CopyEntry("SAVER", Decompress | Unscramble);
    CopyEntry("STUB", Decompress);
    CopyEntry("MOVIE", Decompress);
    AddEntryFromMemory(InfoBlock, kInfoSize, "INFO", Compress);
    if (GetStoredSize("PREVIEWB") != -1) CopyEntry("PREVIEWB", Decompress);
    if (GetStoredSize("PREVIEWF") != -1) {
        // A preview that is the movie itself is stored once; an alias that does not fit the
        // directory is simply left out.
        if (SameEntryData("PREVIEWF", "MOVIE"))
            AliasRecord("PREVIEWF", "MOVIE");
        else
            CopyEntry("PREVIEWF", Decompress);
    }
    CopyEntry("ZETT", Decompress);
    CopyEntry("KMDL", Decompress);
}

// Steps 4 to 15, with the input archive open and "INFO" read again.
void WriteAndInstall() {
    PlatWindow display_properties = CloseDisplayProperties();
    FileHandle output = CreateScreenSaverFile(display_properties);
    WriteEntries();
    CopyNumberedSeries("ADDTL");
    // The writer latches a directory that did not reach the disk, so a file that could not be
    // opened again never counts as installed.
    CloseArchive(output);
    if (StickyError.latched) {
        // The earlier file of this name was replaced already; it is not restored.
        const char* path = WindowsDirPath(Settings.ScreenSaverFileName);
        if (path && output != kInvalidFile) PlatDeleteFile(path);
        return;
    }
    if (InfoWord(kInfoKeepCurrentSaver) == 0) ActivateScreenSaver();
    if (InfoWord(kInfoFollowUpAction) == kFollowUpOpenDocument) PrepareDocument();
    RegisterUninstall();
    if (Settings.completion_message[0] != '\0') ReportOnce(Settings.completion_message);
}

}  // namespace

void ResetBuild() {
    DocumentTempPath[0] = '\0';
    DocumentHold = kInvalidFile;
}

PlatWindow FindDisplayProperties() {
    return PlatFindWindow(kDisplayPropertiesTitle);
}

PlatWindow CloseDisplayProperties() {
    PlatWindow display_properties = FindDisplayProperties();
    if (!display_properties) return 0;
    // The screen saver's own settings dialog, opened from Display Properties, is cancelled
    // first so that it lets go of the file.
    PlatWindow child = InstallerTitle[0] ? FindSaverSettings(display_properties) : 0;
    if (child) {
        PlatSendMessage(child, kWmCommand, static_cast<uintptr_t>(kIdCancel), 0);
        DropOneMessage();
        PlatSleep(kAfterCancelMs);
    }
    PlatPostMessage(display_properties, kWmQuit, 0, 0);
    DropOneMessage();
    PlatSleep(kAfterQuitMs);
    return display_properties;
}

void CopyNumberedSeries(const char* base) {
    const int latched = StickyError.latched;
    if (CopyEntry(base, 0)) {
        // Ends at the first gap, at the writer's full directory, or at a failed copy; each copy
        // that succeeds takes one of the 32 records, so the loop is bounded.
        for (int k = 1;; ++k) {
            char name[kSeriesNameSize];
            uint32_t at = 0;
            if (!AppendText(name, sizeof name, &at, base) ||
                !AppendNumber(name, sizeof name, &at, static_cast<uint32_t>(k), 2) ||
                !CopyEntry(name, 0))
                break;
        }
    }
    StickyError.latched = latched;
}

const char* DocumentFileName() {
    CopyBounded(DocumentName, kDocumentPathSize,
                reinterpret_cast<const char*>(&InfoBlock[kInfoDocumentPath]),
                kInfoDocumentPathSize);
    const char* slash = strrchr(DocumentName, '\\');
    const char* name = slash ? slash + 1 : DocumentName;
    if (strlen(name) >= kTempRoom || !IsSafeFileName(name)) return nullptr;
    return name;
}

int IsSafeScreenSaverName(const char* file_name) {
    if (!IsSafeFileName(file_name)) return 0;
    // The name before ".scr" must be a safe name of its own: "NUL", "evil." and "evil " are
    // refused, not only what the extension makes of them.
    char stem[kMaxNameLength + 1];
    size_t length = strlen(file_name);
    if (length <= 4 || strcmp(file_name + length - 4, ".scr") != 0) return 1;
    // Longer than the settings ever make it: not a name of this installer.
    if (length - 4 > kMaxNameLength) return 0;
    memcpy(stem, file_name, length - 4);
    stem[length - 4] = '\0';
    return IsSafeFileName(stem);
}

int BuildScreenSaver() {
    SetStickyErrorMode(1);
    // A name from INFO that is not a plain file name (a path, a device) fails the build before
    // anything is written; so does a run whose own file could not be held against replacement.
    if (!IsSafeScreenSaverName(Settings.ScreenSaverFileName) || OwnFileHoldFailed) LatchFailure();
    FileHandle input = OpenArchive(nullptr);
    if (input == kInvalidFile && ArchiveOpenStage == 3) {
        ReportOnce(kDamagedInstallerText);
        return 0;
    }
    // Any other failure to open has latched. The block is read again so that the file gets
    // "INFO" as the payload holds it, padded with zeros, not as the settings changed it.
    if (input != kInvalidFile) {
        memset(InfoBlock, 0, kInfoSize);
        ReadEntryToMemory("INFO", InfoBlock, kInfoSize);
        if (!StickyError.latched) WriteAndInstall();
        CloseArchive(input);
    }
    CloseProgressDialog();
    if (StickyError.latched && Settings.failure_message[0] != '\0')
        ReportOnce(Settings.failure_message);
    InstallSucceeded = StickyError.latched ? 0 : 1;
    return 0;
}
