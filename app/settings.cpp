// Settings from the configuration entry "INFO": texts, options, the alternatives for systems
// of another code page, and the progress total.
#include "app/settings.h"

#include <string.h>

#include "app/text.h"
#include "archive/cipher.h"
#include "archive/extract.h"
#include "archive/reader.h"
#include "platform/shell.h"

namespace {}  // namespace

InstallerSettings Settings;    // what the rest of the installer reads; ResetSettings starts it
uint8_t InfoBlock[kInfoSize];  // 6,148 bytes: "INFO" as read, changed only here

namespace {

// Entries the progress bar counts, at their original size, when stored compressed. LESMI and
// the ADDL names count although the build does not copy them; KMDL and ADDTL do not.
const char* const kCountedEntries[] = {"SAVER", "STUB",     "MOVIE",    "ZETT",
                                       "LESMI", "PREVIEWB", "PREVIEWF", "ADDL"};
constexpr int kCountedNumbered = 16;  // ADDL0 .. ADDL15

const char* InfoText(uint32_t offset) {
    return reinterpret_cast<const char*>(&InfoBlock[offset]);
}

// Settings texts 0..3 in their order in InfoBlock.
char* SettingsText(int i) {
    char* const texts[4] = {Settings.question, Settings.completion_message,
                            Settings.failure_message, Settings.progress_text};
    return texts[i];
}

void TakeTexts(uint32_t texts, uint32_t flags) {
    for (int i = 0; i < 4; ++i) {
        if (InfoBlock[flags + static_cast<uint32_t>(i)] == 0) continue;
        CopyBounded(SettingsText(i), kSettingsTextSize,
                    InfoText(texts + kInfoTextStride * static_cast<uint32_t>(i)), kInfoTextStride);
    }
}

void SetWord(uint32_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        InfoBlock[offset + static_cast<uint32_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

// On a system of another code page the alternatives replace what they give. The alternative
// name replaces the name even when empty; it is cut to the name field so that the fields after
// it (KeepCurrentSaver, the labels) stay as they are.
void TakeAlternatives() {
    for (int i = 0; i < 4; ++i) {
        if (InfoBlock[kInfoAltFlags + static_cast<uint32_t>(i)] == 0) continue;
        CopyBounded(SettingsText(i), kSettingsTextSize,
                    InfoText(kInfoAltTexts + kInfoTextStride * static_cast<uint32_t>(i)),
                    kInfoTextStride);
    }
    // Custom labels are written in the primary code page; with an alternative question they
    // would not match it, so the plain labels take over.
    if (InfoBlock[kInfoAltFlags] != 0) SetWord(kInfoCustomLabels, 0);
    char name[kInfoNameSize];
    CopyBounded(name, sizeof name, InfoText(kInfoAltName), kInfoSize - kInfoAltName);
    memset(&InfoBlock[kInfoName], 0, kInfoNameSize);
    memcpy(&InfoBlock[kInfoName], name, strlen(name));
}

// The name, cut to 59 characters, and ".scr".
void FormFileName() {
    char* out = Settings.ScreenSaverFileName;
    CopyBounded(out, kMaxNameLength + 1, InfoText(kInfoName), kInfoNameSize);
    strcpy(strchr(out, '\0'), ".scr");
}

void TakeLabels() {
    if (InfoWord(kInfoCustomLabels) != 0) {
        CopyBounded(Settings.yes_label, kLabelSize, InfoText(kInfoYesLabel), kInfoLabelSize);
        CopyBounded(Settings.no_label, kLabelSize, InfoText(kInfoNoLabel), kInfoLabelSize);
    } else {
        strcpy(Settings.yes_label, "Yes");
        strcpy(Settings.no_label, "No");
    }
}

// Sizes of a missing entry read -1 for both and count nothing.
uint64_t CountedSize(const char* name) {
    int32_t original = GetOriginalSize(name);
    if (original == GetStoredSize(name)) return 0;
    return static_cast<uint32_t>(original);
}

}  // namespace

void CopyBounded(char* target, uint32_t size, const char* source, uint32_t source_size) {
    uint32_t n = 0;
    while (n + 1 < size && n < source_size && source[n] != '\0')
        ++n;
    memcpy(target, source, n);
    target[n] = '\0';
}

// The built-in defaults are placeholders: they apply only when "INFO" cannot be read. Set field
// by field at start-up rather than kept as an initialised record: the stub's data section then
// fits one 512-byte step of the file.
void ResetSettings() {
    memset(&Settings, 0, sizeof Settings);
    memset(InfoBlock, 0, sizeof InfoBlock);
    Settings.ScreenSaverFileName[0] = '1';
    Settings.question[0] = Settings.completion_message[0] = Settings.failure_message[0] = '-';
    Settings.progress_text[0] = Settings.yes_label[0] = Settings.no_label[0] = '-';
    Settings.show_progress = 9;
    Settings.FollowUpAction = 1;
    strcpy(Settings.DisplaySettingsCommand, "Rundll32 Shell32.dll,Control_RunDLL Desk.cpl @0,1");
    Settings.progress_total = 7;
}

uint32_t InfoWord(uint32_t offset) {
    return static_cast<uint32_t>(InfoBlock[offset]) |
           static_cast<uint32_t>(InfoBlock[offset + 1]) << 8 |
           static_cast<uint32_t>(InfoBlock[offset + 2]) << 16 |
           static_cast<uint32_t>(InfoBlock[offset + 3]) << 24;
}

void LoadSettings() {
    FileHandle archive = OpenArchive(nullptr);
    if (archive == kInvalidFile) return;
    memset(InfoBlock, 0, sizeof InfoBlock);
    int read = ReadEntryToMemory("INFO", InfoBlock, kInfoSize);
    CloseArchive(archive);
    if (!read) return;

    for (int i = 0; i < 4; ++i)
        SettingsText(i)[0] = '\0';
    TakeTexts(kInfoTexts, kInfoTextFlags);
    uint32_t code_page = InfoWord(kInfoCodePage);
    if (code_page != 0 && code_page != PlatGetACP()) TakeAlternatives();
    FormFileName();
    Settings.show_progress = InfoBlock[kInfoShowProgress];
    Settings.FollowUpAction = InfoBlock[kInfoFollowUpAction];
    CopyBounded(Settings.DisplaySettingsCommand, kSettingsTextSize, ScrambledString(0),
                kSettingsTextSize);
    if (InfoWord(kInfoShowProgress) != 0) Settings.progress_total = ComputeProgressTotal();
    TakeLabels();
}

int32_t ComputeProgressTotal() {
    FileHandle archive = OpenArchive(nullptr);
    if (archive == kInvalidFile) return 0;
    uint64_t total = 0;
    for (const char* name : kCountedEntries)
        total += CountedSize(name);
    for (int k = 0; k < kCountedNumbered; ++k) {
        char name[8];
        uint32_t at = 0;
        AppendText(name, sizeof name, &at, "ADDL");
        AppendNumber(name, sizeof name, &at, static_cast<uint32_t>(k), 1);
        total += CountedSize(name);
    }
    CloseArchive(archive);
    // Twenty-four sizes of up to 4 GB each could pass the 32-bit signed count; the bar only
    // needs a range, so the total stops at the largest count.
    return total > INT32_MAX ? INT32_MAX : static_cast<int32_t>(total);
}
