// The installer's entry: a window class, a window that is never shown, and the message loop.
// Everything happens in the handler of the one start message the window posts to itself.
#include "app/startup.h"

#include "app/main_flow.h"
#include "app/report.h"
#include "app/settings.h"
#include "archive/reader.h"
#include "platform/entry.h"
#include "platform/files.h"
#include "platform/ui.h"

const char kMainClassName[] = "SsInstaller";

FileHandle OwnFile = kInvalidFile;
int OwnFileHoldFailed;

void HoldOwnFile() {
    char path[kModulePathSize];
    // The archive opens that follow keep their own handles; this one only stands guard.
    OwnFile = PlatModuleFileName(path, sizeof path) ? PlatOpenReadLocked(path) : kInvalidFile;
    OwnFileHoldFailed = OwnFile == kInvalidFile;
}

void ReleaseOwnFile() {
    PlatClose(OwnFile);
    OwnFile = kInvalidFile;
}

int CheckInstallerArchive() {
    FileHandle archive = OpenArchive(nullptr);
    if (archive != kInvalidFile) {
        CloseArchive(archive);
        return 1;
    }
    if (ArchiveOpenStage == 3) {
        ReportOnce(kDamagedInstallerText);
        return 0;
    }
    // The file itself could not be read: the run goes on with the built-in settings.
    return 1;
}

static intptr_t OnCreate(PlatWindow window) {
    MainWindow = window;
    PlatPostMessage(window, kStartMessage, 0, 0);
    return 1;
}

static intptr_t OnStart(PlatWindow window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
    if (CheckInstallerArchive()) MainFlow();
    PlatDestroyWindow(window);
    return PlatDefWindowProc(window, message, wparam, lparam);
}

intptr_t MainWindowProc(PlatWindow window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
    switch (message) {
        case kWmCreate:
            return OnCreate(window);
        case kStartMessage:
            return OnStart(window, message, wparam, lparam);
        case kWmDestroy:
            PlatPostQuitMessage(0);
            return 1;
        default:
            return PlatDefWindowProc(window, message, wparam, lparam);
    }
}

int InstallerMain(PlatInstance) {
    // Before any library is loaded: a DLL planted beside the installer (a downloads folder)
    // must never be picked up by name.
    PlatRestrictDllSearch();
    ResetSettings();
    HoldOwnFile();
    InstallSucceeded = 0;
    PlatRegisterClass(kMainClassName, kCsHRedraw | kCsVRedraw, MainWindowProc, kIconId,
                      kColorWindow + 1);
    // Without a window no start message would ever arrive and the loop would wait for ever,
    // an invisible process; end instead. A failed registration shows up here too.
    if (!PlatCreateWindow(0, kMainClassName, kMainClassName,
                          kWsCaption | kWsSysMenu | kWsMinimizeBox)) {
        ReleaseOwnFile();
        return 0;
    }
    PlatMessage message;
    while (PlatGetMessage(&message))
        PlatDispatchMessage(&message);
    ReleaseOwnFile();
    return 0;
}
