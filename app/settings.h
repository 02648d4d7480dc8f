// The installer's settings, filled from the configuration entry "INFO" (format/info.h).
#pragma once

#include <stdint.h>

#include "format/info.h"

// Texts of the settings hold 63 characters and a NUL; the file name 59 characters of the name
// and ".scr". Longer values of "INFO" are cut to fit.
constexpr uint32_t kSettingsTextSize = kInfoTextKept + 1;
constexpr uint32_t kLabelSize = kInfoLabelSize;
constexpr uint32_t kMaxNameLength = kInfoNameKept;

// The settings the rest of the installer reads. Items the system names elsewhere keep their
// names (ScreenSaverFileName, FollowUpAction, DisplaySettingsCommand).
struct InstallerSettings {
    char ScreenSaverFileName[kSettingsTextSize];     // name + ".scr"; "1" by default
    char question[kSettingsTextSize];                // text 0; empty: no confirmation
    char completion_message[kSettingsTextSize];      // text 1; empty: none shown
    char failure_message[kSettingsTextSize];         // text 2; empty: none shown
    char progress_text[kSettingsTextSize];           // text 3; empty: no progress dialog
    char yes_label[kLabelSize];                      // "Yes" or the custom label
    char no_label[kLabelSize];                       // "No" or the custom label
    uint8_t show_progress;                           // low byte of the show-progress word
    uint8_t FollowUpAction;                          // low byte of the follow-up word; 0 cancels
    char DisplaySettingsCommand[kSettingsTextSize];  // command line of follow-up action 1
    int32_t progress_total;                          // bytes the progress bar stands for
};

extern InstallerSettings Settings;
// The configuration block as last read; the build reads it again and stores it unchanged.
extern uint8_t InfoBlock[kInfoSize];

// The 32-bit little-endian word of InfoBlock at `offset`.
uint32_t InfoWord(uint32_t offset);

// Reads "INFO" of the installer's own file into InfoBlock and fills Settings. When the file or
// the entry cannot be read, every setting keeps its default. Must run while the error latch is
// disarmed (it latches nothing then).
void LoadSettings();

// Sum of the original sizes of the listed entries that are stored compressed (SAVER, STUB,
// MOVIE, ZETT, LESMI, PREVIEWB, PREVIEWF, ADDL, ADDL0..ADDL15); 0 when the installer's file
// cannot be opened. Bounded to the largest 32-bit signed count.
int32_t ComputeProgressTotal();

// Settings and InfoBlock back to their defaults (program start; tests).
void ResetSettings();

// Copies at most `size` - 1 bytes of the text at `source`, which ends at its NUL or after
// `source_size` bytes, into `target` of `size` bytes, always terminated.
void CopyBounded(char* target, uint32_t size, const char* source, uint32_t source_size);
