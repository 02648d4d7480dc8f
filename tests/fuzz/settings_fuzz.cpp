// Any bytes as the "INFO" entry of an installer: the settings, the title, the document's name.
// The installer's file is written around the block with the archive writer on every run (stored,
// or compressed when the first byte says so), so the block reaches LoadSettings the way it does
// in an install. Every text must end inside its buffer, and the document's name must be one
// that stays in the temporary directory.
#include <stdint.h>
#include <string.h>

#include <string>

#include "app/build.h"
#include "app/main_flow.h"
#include "app/report.h"
#include "app/settings.h"
#include "archive/reader.h"
#include "archive/sticky_error.h"
#include "archive/writer.h"
#include "platform/host/host.h"
#include "platform/host/host_shell.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

void CheckText(const char* text, size_t size) {
    Check(memchr(text, '\0', size) != nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::string installer;
    if (installer.empty()) {
        HostSetSandbox(PrivateFolder());
        installer = PrivateFolder() + "/setup.exe";
    }
    if (size == 0) return 0;
    // Byte 0: bits 1-2 pick the system's code page, one of them the block's own so that both
    // sides of the code page test run; bits 0 and 7 together compress INFO (the compressor is
    // slow under the sanitizers and the expansion has targets of its own, so one run in four).
    const uint8_t control = data[0];
    ++data;
    --size;
    uint32_t block_code_page = 0;
    if (size >= kInfoCodePage + 4) memcpy(&block_code_page, data + kInfoCodePage, 4);
    const uint32_t code_pages[4] = {1252, 1251, 932, block_code_page};
    HostShellReset();
    HostSetACP(code_pages[(control >> 1) & 3]);

    SetStickyErrorMode(0);
    FileHandle out = CreateArchive(installer.c_str());
    Check(out != kInvalidFile);
    static const uint8_t kProgram[] = "MZ program";
    Check(AddEntryFromMemory(kProgram, sizeof kProgram, "SAVER", 0) == 1);
    const bool compress = (control & 0x81) == 0x81;
    Check(AddEntryFromMemory(data, static_cast<uint32_t>(size), "INFO", compress ? Compress : 0) ==
          1);
    CloseArchive(out);
    HostSetModuleFileName(installer);

    ResetSettings();
    ResetReports();
    LoadSettings();
    FormInstallerTitle();
    CheckText(Settings.ScreenSaverFileName, kSettingsTextSize);
    CheckText(Settings.question, kSettingsTextSize);
    CheckText(Settings.completion_message, kSettingsTextSize);
    CheckText(Settings.failure_message, kSettingsTextSize);
    CheckText(Settings.progress_text, kSettingsTextSize);
    CheckText(Settings.yes_label, kLabelSize);
    CheckText(Settings.no_label, kLabelSize);
    CheckText(Settings.DisplaySettingsCommand, kSettingsTextSize);
    CheckText(InstallerTitle, kTitleSize);
    const size_t name_length = strlen(Settings.ScreenSaverFileName);
    Check(name_length >= 4 && name_length <= kMaxNameLength + 4);
    Check(memcmp(Settings.ScreenSaverFileName + name_length - 4, ".scr", 4) == 0);
    Check(Settings.progress_total >= 0);

    const char* document = DocumentFileName();
    if (document) {
        Check(strlen(document) < kDocumentPathSize - 2);
        Check(strpbrk(document, "\\/:") == nullptr);
        Check(strcmp(document, ".") != 0 && strcmp(document, "..") != 0);
    }
    return 0;
}
