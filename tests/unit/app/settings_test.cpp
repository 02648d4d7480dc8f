// Settings from "INFO": texts and their flags, the alternatives for another code page, bounded
// copies, defaults, and the progress total.
#include <string.h>

#include "app/settings.h"
#include "archive/cipher.h"
#include "platform/host/host.h"
#include "platform/host/host_shell.h"
#include "tests/unit/app/install_fixture.h"

namespace {

struct Expected {
    std::string file, question, completion, failure, progress, yes, no;
};

struct SettingsCase {
    const char* tag;
    InfoBytes info;
    size_t info_length;  // bytes of the INFO entry; the block is cut there
    uint32_t system_code_page;
    Expected expected;
    bool asks_code_page;  // GetACP is consulted
};

InfoBytes Primary() {
    return InfoBytes()
        .Name("Aquarium")
        .Text(0, "Install the aquarium?")
        .Text(1, "Done.")
        .Text(2, "Failed.")
        .Text(3, "Copying...")
        .Word(kInfoCustomLabels, 1)
        .String(kInfoYesLabel, "Sure")
        .String(kInfoNoLabel, "Never")
        .AltText(0, "Alt question")
        .AltText(1, "Alt done", false)
        .AltText(2, "Alt failed")
        .AltText(3, "Alt copying", false)
        .String(kInfoAltName, "Akvarium");
}

const Expected kPrimary = {
    "Aquarium.scr", "Install the aquarium?", "Done.", "Failed.", "Copying...", "Sure", "Never"};

std::vector<SettingsCase> Cases() {
    std::string long_text(79, 'q');
    std::string long_name(100, 'n');
    return {
        {"code page 0: primary everywhere, GetACP not asked", Primary().Word(kInfoCodePage, 0),
         6148, 1251, kPrimary, false},
        {"code page equal to the system's", Primary().Word(kInfoCodePage, 1252), 6148, 1252,
         kPrimary, true},
        {"code page differs: alternatives 0 and 2, plain labels, alternative name",
         Primary().Word(kInfoCodePage, 1251),
         6148,
         1252,
         {"Akvarium.scr", "Alt question", "Done.", "Alt failed", "Copying...", "Yes", "No"},
         true},
        {"code page differs, alternative 0 not given: custom labels stay",
         Primary().Word(kInfoCodePage, 1251).AltText(0, "unused", false),
         6148,
         1252,
         {"Akvarium.scr", "Install the aquarium?", "Done.", "Alt failed", "Copying...", "Sure",
          "Never"},
         true},
        {"code page differs, empty alternative name replaces the name",
         Primary().Word(kInfoCodePage, 1251).String(kInfoAltName, std::string(8, '\0')),
         6148,
         1252,
         {".scr", "Alt question", "Done.", "Alt failed", "Copying...", "Yes", "No"},
         true},
        {"text flag 1 zero although the field holds characters",
         Primary().Text(1, "Done.", false),
         6148,
         1252,
         {"Aquarium.scr", "Install the aquarium?", "", "Failed.", "Copying...", "Sure", "Never"},
         false},
        {"INFO shorter than 6148 bytes: the tail reads as zeros",
         Primary(),
         3000,
         1252,
         {".scr", "Install the aquarium?", "Done.", "Failed.", "Copying...", "Yes", "No"},
         false},
        {"79-character texts are cut to 63, a 100-character name to 59",
         Primary().Text(0, long_text).Text(3, long_text).Name(long_name),
         6148,
         1252,
         {std::string(59, 'n') + ".scr", std::string(63, 'q'), "Done.", "Failed.",
          std::string(63, 'q'), "Sure", "Never"},
         false},
        {"labels filling their 32-byte fields are cut to 31",
         Primary()
             .String(kInfoYesLabel, std::string(32, 'y'))
             .String(kInfoNoLabel, std::string(32, 'z')),
         6148,
         1252,
         {"Aquarium.scr", "Install the aquarium?", "Done.", "Failed.", "Copying...",
          std::string(31, 'y'), std::string(31, 'z')},
         false},
        {"texts filling their 80-byte fields without a NUL",
         Primary().Text(2, std::string(80, 'f')).Name(std::string(128, 'm')),
         6148,
         1252,
         {std::string(59, 'm') + ".scr", "Install the aquarium?", "Done.", std::string(63, 'f'),
          "Copying...", "Sure", "Never"},
         false},
    };
}

class Settings_ : public InstallTest {};

TEST_F(Settings_, TextsNamesAndLabelsFromInfo) {
    for (const SettingsCase& c : Cases()) {
        SCOPED_TRACE(c.tag);
        SetUp();
        HostSetACP(c.system_code_page);
        Bytes info(c.info.bytes.begin(), c.info.bytes.begin() + static_cast<long>(c.info_length));
        UsePayload({{"INFO", info, 0, ""}});
        LoadSettings();
        EXPECT_EQ(Settings.ScreenSaverFileName, c.expected.file);
        EXPECT_EQ(Settings.question, c.expected.question);
        EXPECT_EQ(Settings.completion_message, c.expected.completion);
        EXPECT_EQ(Settings.failure_message, c.expected.failure);
        EXPECT_EQ(Settings.progress_text, c.expected.progress);
        EXPECT_EQ(Settings.yes_label, c.expected.yes);
        EXPECT_EQ(Settings.no_label, c.expected.no);
        EXPECT_EQ(HostEventsStartingWith("GetACP(").size(), c.asks_code_page ? 1u : 0u);
        // Show-progress 0: no total is computed and the default stays.
        EXPECT_EQ(Settings.progress_total, 7);
        EXPECT_EQ(HostEventsStartingWith("CloseHandle(").size(), 1u) << "opened once";
    }
}

TEST_F(Settings_, AVeryLongAlternativeNameStaysInTheNameField) {
    // No NUL from 3969 to the end: the copy stops at the name field, and the fields behind it
    // keep their values.
    InfoBytes info = Primary().Word(kInfoCodePage, 1251).AltText(0, "q", false);
    info.String(kInfoAltName, std::string(kInfoSize - kInfoAltName, 'L'));
    info.Word(kInfoKeepCurrentSaver, 0x11223344);
    UsePayload({{"INFO", info.bytes, 0, ""}});
    LoadSettings();
    EXPECT_EQ(Settings.ScreenSaverFileName, std::string(59, 'L') + ".scr");
    EXPECT_EQ(InfoWord(kInfoKeepCurrentSaver), 0x11223344u);
    EXPECT_EQ(InfoWord(kInfoCustomLabels), 1u);
    EXPECT_EQ(std::string(Settings.yes_label), "Sure");
    // The name field was replaced in memory, whole and terminated.
    EXPECT_EQ(InfoBlock[kInfoName + kInfoNameSize - 1], 0);
}

TEST_F(Settings_, OptionWordsAndTheDisplaySettingsCommand) {
    strcpy(Settings.DisplaySettingsCommand, "placeholder");
    UsePayload({{"INFO", Primary().Word(kInfoFollowUpAction, 0x103).bytes, 0, ""}});
    LoadSettings();
    EXPECT_EQ(Settings.FollowUpAction, 3);
    EXPECT_EQ(Settings.show_progress, 0);
    EXPECT_STREQ(Settings.DisplaySettingsCommand, ScrambledString(0));
    EXPECT_GT(strlen(Settings.DisplaySettingsCommand), 10u);
}

TEST_F(Settings_, DefaultsWhenInfoCannotBeRead) {
    struct {
        const char* tag;
        bool own_file;
    } rows[] = {{"payload without INFO", true}, {"own file missing", false}};
    for (auto& row : rows) {
        SCOPED_TRACE(row.tag);
        SetUp();
        if (row.own_file)
            UsePayload({{"STUB", BytesOf("x"), 0, ""}});
        else
            HostSetModuleFileName(dir_.File("missing.exe"));
        LoadSettings();
        EXPECT_STREQ(Settings.ScreenSaverFileName, "1");
        EXPECT_STREQ(Settings.question, "-");
        EXPECT_STREQ(Settings.completion_message, "-");
        EXPECT_STREQ(Settings.failure_message, "-");
        EXPECT_STREQ(Settings.progress_text, "-");
        EXPECT_STREQ(Settings.yes_label, "-");
        EXPECT_STREQ(Settings.no_label, "-");
        EXPECT_EQ(Settings.show_progress, 9);
        EXPECT_EQ(Settings.FollowUpAction, 1);
        EXPECT_EQ(Settings.progress_total, 7);
        EXPECT_STREQ(Settings.DisplaySettingsCommand,
                     "Rundll32 Shell32.dll,Control_RunDLL Desk.cpl @0,1");
    }
}

// Records only: the total reads sizes, never data.
TestEntry Sized(const std::string& name, uint32_t stored, uint32_t original) {
    TestEntry e;
    e.name = name;
    e.data = Bytes(stored, 0);
    e.method = stored == original ? 0 : 1;
    e.original_size = original;
    return e;
}

TEST_F(Settings_, ProgressTotalCountsTheListedCompressedEntries) {
    struct Row {
        const char* tag;
        std::vector<TestEntry> entries;
        int32_t total;
    };
    Row rows[] = {
        {"listed compressed entries count at their original size",
         {Sized("SAVER", 10, 1000), Sized("MOVIE", 20, 30000), Sized("LESMI", 5, 700),
          Sized("ADDL", 3, 40), Sized("ADDL0", 3, 50), Sized("ADDL15", 3, 60)},
         1000 + 30000 + 700 + 40 + 50 + 60},
        {"stored entries (sizes equal) add nothing",
         {Sized("SAVER", 100, 100), Sized("STUB", 9, 9), Sized("ZETT", 4, 400)},
         400},
        {"unlisted names add nothing: KMDL, ADDTL, ADDL16, ADDL01",
         {Sized("KMDL", 1, 500), Sized("ADDTL", 1, 600), Sized("ADDL16", 1, 700),
          Sized("ADDL01", 1, 800), Sized("PREVIEWB", 1, 11), Sized("PREVIEWF", 1, 22)},
         33},
        {"a total past 2^31 - 1 stops there",
         {Sized("SAVER", 1, 0x7FFFFFF0), Sized("STUB", 1, 0x7FFFFFF0)},
         INT32_MAX},
    };
    for (Row& row : rows) {
        SCOPED_TRACE(row.tag);
        SetUp();
        std::string path = dir_.File("sized.exe");
        WriteWholeFile(path, BuildTestArchive(Bytes(16, 0), row.entries));
        HostSetModuleFileName(path);
        EXPECT_EQ(ComputeProgressTotal(), row.total);
    }
    HostSetModuleFileName(dir_.File("missing.exe"));
    EXPECT_EQ(ComputeProgressTotal(), 0) << "own file missing";
}

TEST_F(Settings_, ShowProgressComputesTheTotalWithTheSettings) {
    InfoBytes info = Primary().Word(kInfoShowProgress, 0x201);
    UsePayload({{"INFO", info.bytes, 0, ""}, {"MOVIE", Bytes(3000, 'm'), Compress, ""}});
    LoadSettings();
    EXPECT_EQ(Settings.show_progress, 1);
    EXPECT_EQ(Settings.progress_total, 3000);
}

}  // namespace
