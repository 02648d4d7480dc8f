// The configuration entry "INFO": read by the installer (its settings), by the screen saver (the
// name it shows) and written by sspack.
//
// 6148 bytes, integers 32-bit little-endian, texts NUL-terminated in their fields in the code
// page named at 3560 (the system's when 0). Only the fields below are read; every other byte
// passes unchanged into the screen saver file.
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
//
// Plain C++ without any operating-system header.
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

// How much of a field the installer keeps: texts 63 bytes, labels 31, the name 59 (it becomes
// NAME.scr in a 64-byte buffer). Longer values are cut.
constexpr uint32_t kInfoTextKept = 63;
constexpr uint32_t kInfoLabelKept = kInfoLabelSize - 1;
constexpr uint32_t kInfoNameKept = kInfoTextKept - 4;
