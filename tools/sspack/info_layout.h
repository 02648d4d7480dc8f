// The configuration block "INFO" as the installer reads it: 6,148 bytes, integers 32-bit
// little-endian, texts NUL-terminated 8-bit strings in the block's code page. Only the fields
// below are interpreted; every other byte belongs to the screen saver program and passes through.
//
//   2060  4 x 80   texts 0..3: question, completion, failure, progress
//   2460  4 x 1    text flags 0..3 (nonzero: text i is given)
//   2488  256      document path (the installer uses its last component)
//   2744  u32      follow-up action: 0 none, 1 display settings, 2 start saver, 3 open document
//   2752  u32      show-progress flag
//   3052  128      name, without extension
//   3180  u32      keep the current screen saver
//   3476  u32      custom-labels flag
//   3480  32       yes label
//   3512  32       no label
//   3560  u32      code page of the texts; 0: no alternative texts
//   3564  4 x 80   alternative texts 0..3
//   3964  4 x 1    alternative flags 0..3
//   3969  to end   alternative name
#pragma once

#include <stdint.h>

#include "app/settings.h"

// The installer's own offsets, under the names sspack uses.
namespace info {

constexpr uint32_t kBlockSize = kInfoSize;

constexpr uint32_t kTexts = kInfoTexts;
constexpr uint32_t kTextStride = kInfoTextStride;
constexpr uint32_t kTextFlags = kInfoTextFlags;
constexpr uint32_t kDocumentPath = kInfoDocumentPath;
constexpr uint32_t kDocumentPathSize = kInfoDocumentPathSize;
constexpr uint32_t kFollowUpAction = kInfoFollowUpAction;
constexpr uint32_t kShowProgress = kInfoShowProgress;
constexpr uint32_t kName = kInfoName;
constexpr uint32_t kNameSize = kInfoNameSize;
constexpr uint32_t kKeepCurrentSaver = kInfoKeepCurrentSaver;
constexpr uint32_t kCustomLabels = kInfoCustomLabels;
constexpr uint32_t kYesLabel = kInfoYesLabel;
constexpr uint32_t kNoLabel = kInfoNoLabel;
constexpr uint32_t kLabelFieldSize = kInfoLabelSize;
constexpr uint32_t kCodePage = kInfoCodePage;
constexpr uint32_t kAltTexts = kInfoAltTexts;
constexpr uint32_t kAltFlags = kInfoAltFlags;
constexpr uint32_t kAltName = kInfoAltName;
constexpr uint32_t kAltNameSize = kBlockSize - kAltName;

constexpr int kTextCount = 4;

// What the installer's settings hold: 64-byte texts, 32-byte labels, and a 64-byte file name
// that receives ".scr".
constexpr uint32_t kMaxTextBytes = kSettingsTextSize - 1;
constexpr uint32_t kMaxLabelBytes = kInfoLabelSize - 1;
constexpr uint32_t kMaxNameBytes = kMaxNameLength;

static_assert(kBlockSize == 6148, "INFO is 6,148 bytes");
static_assert(kMaxNameBytes == 59 && kMaxTextBytes == 63 && kMaxLabelBytes == 31,
              "the installer's limits");

}  // namespace info
