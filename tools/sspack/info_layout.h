// The configuration block "INFO" (format/info.h) under the names sspack uses, with the limits
// the installer keeps for each field.
#pragma once

#include <stdint.h>

#include "format/info.h"

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
constexpr uint32_t kMaxTextBytes = kInfoTextKept;
constexpr uint32_t kMaxLabelBytes = kInfoLabelKept;
constexpr uint32_t kMaxNameBytes = kInfoNameKept;

static_assert(kBlockSize == 6148, "INFO is 6,148 bytes");
static_assert(kMaxNameBytes == 59 && kMaxTextBytes == 63 && kMaxLabelBytes == 31,
              "the installer's limits");

}  // namespace info
