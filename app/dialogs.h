// The confirmation dialog with custom labels, the progress dialog that runs the build, the
// progress hooks of the block stream, and handing the focus to another program's window.
#pragma once

#include <stdint.h>

#include "platform/types.h"

constexpr int kProgressDialogId = 1010;
constexpr int kConfirmDialogId = 1030;
constexpr int kProgressBarControl = 1000;
constexpr int kProgressTextControl = 1001;
constexpr int kQuestionControl = 1031;
constexpr uint32_t kStartBuildMessage = 0x403;  // WM_USER + 3: the progress dialog starts the build

extern int BuildPending;    // the progress dialog has not started the build yet
extern uint32_t TickCount;  // calls of the tick hook
extern uint32_t BytesDone;  // bytes reported to the byte-count hook, at most 4 GiB - 1

// Dialog 1030 with the question and the two labels: 1 when it ended with the yes button.
int AskConfirmation();

intptr_t ConfirmDialogProc(PlatWindow dialog, uint32_t message, uintptr_t wparam, intptr_t lparam);
intptr_t ProgressDialogProc(PlatWindow dialog, uint32_t message, uintptr_t wparam, intptr_t lparam);

void CenterOnDesktop(PlatWindow window);

// The byte-count hook: moves the progress bar to the bytes written so far, in KiB.
void AdvanceProgress(uint32_t bytes_written);
// The tick hook: every 128th call dispatches the pending messages of the thread, so that the
// dialog stays painted while the build runs inside one of its handlers.
void PumpOnTick();

// Brings the topmost visible, titled, not minimised, not always-on-top window to the front,
// looking at 64 windows at most.
void RefocusTopWindow();

// Back to the state at program start (tests).
void ResetDialogs();
