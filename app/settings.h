// The installer's settings and the configuration entry "INFO" that fills them.
//
// InfoBlock: 6148 bytes, integers 32-bit little-endian, texts NUL-terminated in their fields in
// the code page named at 3560 (the system's when 0). Only the fields below are read; every
// other byte passes unchanged into the screen saver file.
//
//      0 ........................................ (for the screen saver program)
//   2060 | text 0 | text 1 | text 2 | text 3 |     4 x 80: question, completion, failure,
//   2460 | flag 0..3 |                              progress text; flags 1 byte each
//   2488 | document path                   256 |   only the part after the last '\' is used
//   2744 | FollowUpAction u32 |                    0 none, 1 display settings, 2 saver, 3 document
//   2752 | show-progress u32 |
//   3052 | name                            128 |   without extension
//   3180 | KeepCurrentSaver u32 |
//   3476 | custom-labels u32 | yes 32 | no 32 |
//   3560 | code page u32 |                         0: no alternatives
//   3564 | alt text 0 | 1 | 2 | 3 |                4 x 80
//   3964 | alt flag 0..3 |
//   3969 | alternative name ..................... to the end (6148)
#pragma once

#include <stdint.h>

constexpr uint32_t kInfoSize = 6148;
constexpr uint32_t kInfoTexts = 2060;
constexpr uint32_t kInfoTextStride = 80;
constexpr uint32_t kInfoTextFlags = 2460;
constexpr uint32_t kInfoDocumentPath = 2488;
constexpr uint32_t kInfoDocumentPathSize = 256;
constexpr uint32_t kInfoFollowUpAction = 2744;
constexpr uint32_t kInfoShowProgress = 2752;
constexpr uint32_t kInfoName = 3052;
constexpr uint32_t kInfoNameSize = 128;
constexpr uint32_t kInfoKeepCurrentSaver = 3180;
constexpr uint32_t kInfoCustomLabels = 3476;
constexpr uint32_t kInfoYesLabel = 3480;
constexpr uint32_t kInfoNoLabel = 3512;
constexpr uint32_t kInfoLabelSize = 32;
constexpr uint32_t kInfoCodePage = 3560;
constexpr uint32_t kInfoAltTexts = 3564;
constexpr uint32_t kInfoAltFlags = 3964;
constexpr uint32_t kInfoAltName = 3969;

static_assert(kInfoTexts + 4 * kInfoTextStride == 2380, "texts end before their flags");
static_assert(kInfoAltTexts + 4 * kInfoTextStride <= kInfoAltFlags, "alt flags after alt texts");
static_assert(kInfoYesLabel + kInfoLabelSize == kInfoNoLabel, "no label follows yes label");

// The follow-up action that opens the payload's document.
constexpr uint32_t kFollowUpOpenDocument = 3;

// Texts of the settings hold 63 characters and a NUL; the file name 59 characters of the name
// and ".scr". Longer values of "INFO" are cut to fit.
constexpr uint32_t kSettingsTextSize = 64;
constexpr uint32_t kLabelSize = 32;
constexpr uint32_t kMaxNameLength = kSettingsTextSize - 1 - 4;

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
