// Placement of the interpreted INFO fields; everything else in the block is the template's.
#include "tools/sspack/info_block.h"

#include <cstring>

using namespace info;

uint32_t ReadWord(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

void WriteWord(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

namespace {

void PutText(uint8_t* block, uint32_t offset, uint32_t size, const std::string& text) {
    std::memset(block + offset, 0, size);
    const size_t n = text.size() < size ? text.size() : size - 1;
    std::memcpy(block + offset, text.data(), n);
}

std::string GetText(const uint8_t* block, uint32_t offset, uint32_t size) {
    const char* start = reinterpret_cast<const char*>(block + offset);
    size_t n = 0;
    while (n < size && start[n] != '\0')
        ++n;
    return std::string(start, n);
}

}  // namespace

void EncodeInfoBlock(const InfoFields& f, uint8_t* block) {
    for (int i = 0; i < kTextCount; ++i) {
        PutText(block, kTexts + kTextStride * i, kTextStride, f.text_given[i] ? f.texts[i] : "");
        block[kTextFlags + i] = f.text_given[i] ? 1 : 0;
        PutText(block, kAltTexts + kTextStride * i, kTextStride,
                f.alt_given[i] ? f.alt_texts[i] : "");
        block[kAltFlags + i] = f.alt_given[i] ? 1 : 0;
    }
    PutText(block, kDocumentPath, kDocumentPathSize, f.document_path);
    WriteWord(block + kFollowUpAction, f.follow_up);
    WriteWord(block + kShowProgress, f.show_progress);
    PutText(block, kName, kNameSize, f.name);
    WriteWord(block + kKeepCurrentSaver, f.keep_current_saver);
    WriteWord(block + kCustomLabels, f.custom_labels);
    PutText(block, kYesLabel, kLabelFieldSize, f.custom_labels ? f.yes_label : "");
    PutText(block, kNoLabel, kLabelFieldSize, f.custom_labels ? f.no_label : "");
    WriteWord(block + kCodePage, f.code_page);
    PutText(block, kAltName, kAltNameSize, f.alt_name);
}

InfoFields DecodeInfoBlock(const uint8_t* block) {
    InfoFields f;
    for (int i = 0; i < kTextCount; ++i) {
        f.texts[i] = GetText(block, kTexts + kTextStride * i, kTextStride);
        f.text_given[i] = block[kTextFlags + i] != 0;
        f.alt_texts[i] = GetText(block, kAltTexts + kTextStride * i, kTextStride);
        f.alt_given[i] = block[kAltFlags + i] != 0;
    }
    f.document_path = GetText(block, kDocumentPath, kDocumentPathSize);
    f.follow_up = ReadWord(block + kFollowUpAction);
    f.show_progress = ReadWord(block + kShowProgress);
    f.name = GetText(block, kName, kNameSize);
    f.keep_current_saver = ReadWord(block + kKeepCurrentSaver);
    f.custom_labels = ReadWord(block + kCustomLabels);
    f.yes_label = GetText(block, kYesLabel, kLabelFieldSize);
    f.no_label = GetText(block, kNoLabel, kLabelFieldSize);
    f.code_page = ReadWord(block + kCodePage);
    f.alt_name = GetText(block, kAltName, kAltNameSize);
    return f;
}
