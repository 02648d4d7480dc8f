#include "app/dialogs.h"

#include "app/build.h"
#include "app/report.h"
#include "app/settings.h"
#include "compress/block_stream.h"
#include "platform/system.h"
#include "platform/ui.h"

int BuildPending = 1;  // cleared once, by the first start message of the progress dialog
uint32_t TickCount;    // moved by the tick hook and by PumpOnTick itself
uint32_t BytesDone;    // grows over the whole build, never reset between entries; saturates

namespace {
constexpr uint32_t kPumpEvery = 128;  // the tick hook pumps on every 128th call
constexpr int kPaintsInARow = 3;      // a third WM_PAINT in a row ends the pumping
constexpr int kRefocusLimit = 64;     // windows examined by RefocusTopWindow
constexpr int kWindowTextSize = 128;
}  // namespace

void ResetDialogs() {
    BuildPending = 1;
    TickCount = 0;
    BytesDone = 0;
    StreamProgressHooks = ProgressHooks{nullptr, nullptr};
}

int AskConfirmation() {
    return PlatDialogBox(kConfirmDialogId, 0, ConfirmDialogProc, 0) == kIdYes;
}

void CenterOnDesktop(PlatWindow window) {
    PlatRect desktop = {0, 0, 0, 0};
    PlatRect rect = {0, 0, 0, 0};
    PlatGetWindowRect(PlatGetDesktopWindow(), &desktop);
    PlatGetWindowRect(window, &rect);
    int32_t width = rect.right - rect.left;
    int32_t height = rect.bottom - rect.top;
    PlatMoveWindow(window, desktop.left + (desktop.right - desktop.left - width) / 2,
                   desktop.top + (desktop.bottom - desktop.top - height) / 2, width, height, 1);
}

static intptr_t OnConfirmInit(PlatWindow dialog) {
    CenterOnDesktop(dialog);
    PlatSetWindowText(dialog, InstallerTitle);
    PlatSetWindowText(PlatGetDlgItem(dialog, kQuestionControl), Settings.question);
    PlatSetWindowText(PlatGetDlgItem(dialog, kIdYes), Settings.yes_label);
    PlatSetWindowText(PlatGetDlgItem(dialog, kIdNo), Settings.no_label);
    return 1;
}

static intptr_t OnConfirmCommand(PlatWindow dialog, uintptr_t wparam) {
    int id = static_cast<int>(wparam & 0xFFFF);
    if (id == kIdCancel || id == kIdYes || id == kIdNo) PlatEndDialog(dialog, id);
    return 0;
}

intptr_t ConfirmDialogProc(PlatWindow dialog, uint32_t message, uintptr_t wparam, intptr_t) {
    if (message == kWmInitDialog) return OnConfirmInit(dialog);
    if (message == kWmCommand) return OnConfirmCommand(dialog, wparam);
    return 0;
}

static intptr_t OnProgressInit(PlatWindow dialog) {
    ProgressDialog = dialog;
    CenterOnDesktop(dialog);
    PlatSetWindowText(PlatGetDlgItem(dialog, kProgressTextControl), Settings.progress_text);
    // The range is the total in whole KiB, cut to the 16 bits the progress bar holds.
    uint32_t range = static_cast<uint32_t>(Settings.progress_total / 1024) & 0xFFFF;
    PlatSendMessage(PlatGetDlgItem(dialog, kProgressBarControl), kPbmSetRange, 0,
                    static_cast<intptr_t>(range << 16));
    StreamProgressHooks.byte_count_hook = AdvanceProgress;
    StreamProgressHooks.tick_hook = PumpOnTick;
    PlatSetWindowText(dialog, InstallerTitle);
    return 1;
}

// Runs the build once, from the first start message; later ones, queued by later paints, and
// any that the pumping dispatches during the build, find nothing to do. The start message is
// queued by the dialog's own first paint, ahead of its controls' paints: they are painted here,
// or the dialog would stand without its icon and text while the build holds the thread.
static intptr_t OnStartBuild(PlatWindow dialog) {
    if (!BuildPending) return 0;
    BuildPending = 0;
    PlatPaintNow(dialog);
    PlatSleep(300);
    BuildScreenSaver();
    return 0;
}

intptr_t ProgressDialogProc(PlatWindow dialog, uint32_t message, uintptr_t, intptr_t) {
    switch (message) {
        case kWmPaint:
            PlatPostMessage(dialog, kStartBuildMessage, 0, 0);
            return 0;
        case kWmInitDialog:
            return OnProgressInit(dialog);
        case kStartBuildMessage:
            return OnStartBuild(dialog);
        default:
            return 0;
    }
}

void AdvanceProgress(uint32_t bytes_written) {
    // A build of 4 GiB or more stops the count at its top instead of wrapping it to 0.
    BytesDone = bytes_written > 0xFFFFFFFFu - BytesDone ? 0xFFFFFFFFu : BytesDone + bytes_written;
    if (!ProgressDialog) return;
    PlatSendMessage(PlatGetDlgItem(ProgressDialog, kProgressBarControl), kPbmSetPos,
                    static_cast<uintptr_t>(BytesDone / 1024), 0);
}

void PumpOnTick() {
    if (++TickCount % kPumpEvery != 0) return;
    int paints = 0;
    PlatMessage message;
    while (PlatPeekMessage(&message)) {
        if (message.message == kWmPaint) {
            if (++paints == kPaintsInARow) return;
        } else {
            // Paints came before this message: pump again on the very next tick.
            if (paints > 0) TickCount = kPumpEvery - 1;
            paints = 0;
        }
        PlatDispatchMessage(&message);
    }
}

static int Qualifies(PlatWindow window) {
    char title[kWindowTextSize];
    return PlatIsWindow(window) && !PlatIsIconic(window) && PlatIsWindowVisible(window) &&
           PlatGetWindowText(window, title, sizeof title) > 0 &&
           !(static_cast<uint32_t>(PlatGetWindowLong(window, kGwlExStyle)) & kWsExTopmost);
}

void RefocusTopWindow() {
    PlatWindow window = PlatGetWindow(PlatGetDesktopWindow(), kGwChild);
    for (int examined = 0; window && examined < kRefocusLimit; ++examined) {
        if (Qualifies(window)) {
            PlatSetForegroundWindow(window);
            return;
        }
        window = PlatGetWindow(window, kGwHwndNext);
    }
}
