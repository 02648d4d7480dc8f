// The build sequence on the host simulation: the screen saver file and its entries, failures and
// the one message, "Display Properties", the document of follow-up action 3, and activation and
// the uninstall entry as the build calls them.
#include <string.h>

#include <filesystem>

#include "app/activation.h"
#include "app/build.h"
#include "app/followup.h"
#include "app/report.h"
#include "app/settings.h"
#include "archive/reader.h"
#include "archive/sticky_error.h"
#include "archive/writer.h"
#include "platform/files.h"
#include "platform/host/host.h"
#include "platform/host/host_launch.h"
#include "platform/host/host_shell.h"
#include "platform/ui.h"
#include "tests/unit/app/install_fixture.h"

namespace {

const char kKey[] =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\UnInstall\\Aquarium.scr";

InfoBytes AquariumInfo() {
    return InfoBytes()
        .Name("Aquarium")
        .Text(0, "Install?")
        .Text(1, "Installed.")
        .Text(2, "Installation failed.")
        .Text(3, "Copying...");
}

class Build : public InstallTest {
  protected:
    // Loads the settings from the payload, as the main flow does first, and runs the build.
    void Run(const std::vector<PayloadEntry>& payload) {
        UsePayload(payload);
        LoadSettings();
        strcpy(InstallerTitle, "Aquarium");
        HostClearEvents();
        HostResetFaults();
        EXPECT_EQ(BuildScreenSaver(), 0);
    }
    std::vector<std::pair<std::string, Bytes>> Output() {
        std::vector<std::pair<std::string, Bytes>> entries;
        EXPECT_TRUE(ReadArchive(WindowsFile("Aquarium.scr"), &entries));
        return entries;
    }
    std::vector<std::string> Names(const std::vector<std::pair<std::string, Bytes>>& entries) {
        std::vector<std::string> names;
        for (const auto& e : entries)
            names.push_back(e.first);
        return names;
    }
    std::vector<std::string> Boxes() {
        std::vector<std::string> texts;
        for (const HostMessageBox& box : HostMessageBoxes())
            texts.push_back(box.text);
        return texts;
    }
};

Bytes Padded(const Bytes& info) {
    Bytes out = info;
    out.resize(kInfoSize, 0);
    return out;
}

TEST_F(Build, TheScreenSaverFileHoldsTheEntriesInOrder) {
    struct Row {
        const char* tag;
        std::vector<PayloadEntry> extra;  // added to the standard payload
        std::vector<std::string> names;   // entries of the new file, in order
    };
    const Bytes info = AquariumInfo().bytes;
    const Row rows[] = {
        {"no previews", {}, {"SAVER", "STUB", "MOVIE", "INFO", "ZETT", "KMDL"}},
        {"both previews",
         {{"PREVIEWB", BytesOf("bitmap"), Compress, ""}, {"PREVIEWF", BytesOf("film"), 0x21, ""}},
         {"SAVER", "STUB", "MOVIE", "INFO", "PREVIEWB", "PREVIEWF", "ZETT", "KMDL"}},
        {"series with a gap",
         {{"ADDTL", BytesOf("a0"), 0, ""},
          {"ADDTL01", BytesOf("a1"), Compress, ""},
          {"ADDTL03", BytesOf("a3"), 0, ""}},
         {"SAVER", "STUB", "MOVIE", "INFO", "ZETT", "KMDL", "ADDTL", "ADDTL01"}},
        {"series without its base",
         {{"ADDTL01", BytesOf("a1"), 0, ""}},
         {"SAVER", "STUB", "MOVIE", "INFO", "ZETT", "KMDL"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        SetUp();
        std::vector<PayloadEntry> payload = StandardPayload(info);
        payload.insert(payload.end(), row.extra.begin(), row.extra.end());
        Run(payload);
        EXPECT_EQ(InstallSucceeded, 1);
        auto entries = Output();
        EXPECT_EQ(Names(entries), row.names);
        // Every entry reads back as the payload gave it; INFO as stored, padded to 6,148.
        for (const auto& e : entries) {
            Bytes want = e.first == "INFO" ? Padded(info) : Bytes();
            for (const PayloadEntry& p : payload)
                if (p.name == e.first && e.first != "INFO") want = p.data;
            EXPECT_EQ(e.second, want) << e.first;
        }
        // The file runs: it starts with the plain program.
        Bytes file = ReadWholeFile(WindowsFile("Aquarium.scr"));
        Bytes program = SaverProgram();
        ASSERT_GE(file.size(), program.size());
        EXPECT_TRUE(std::equal(program.begin(), program.end(), file.begin()));
        EXPECT_EQ(Boxes(), std::vector<std::string>{"Installed."});
        EXPECT_FALSE(StickyError.latched);
    }
}

TEST_F(Build, ScrambledSaverIsWrittenPlainAndInfoStoredCompressed) {
    std::vector<PayloadEntry> payload = StandardPayload(AquariumInfo().bytes);
    payload[0].flags = 0x33;  // SAVER stored, scrambled
    Run(payload);
    Bytes file = ReadWholeFile(WindowsFile("Aquarium.scr"));
    Bytes program = SaverProgram();
    ASSERT_GE(file.size(), program.size());
    EXPECT_TRUE(std::equal(program.begin(), program.end(), file.begin()));
    ASSERT_NE(OpenArchive(WindowsFile("Aquarium.scr").c_str()), kInvalidFile);
    const DirectoryRecord* saver = FindRecord("SAVER", kClassNormal);
    const DirectoryRecord* info = FindRecord("INFO", kClassNormal);
    ASSERT_TRUE(saver && info);
    // Fields of the packed record are copied out before comparing.
    const uint32_t saver_offset = saver->data_offset, info_size = info->original_size;
    EXPECT_EQ(saver_offset, 0u);
    EXPECT_EQ(saver->xor_key, 0);
    EXPECT_EQ(info->method, 1);
    EXPECT_EQ(info_size, kInfoSize);
    CloseArchive(ReaderHandle());
}

TEST_F(Build, APreviewSharingTheMovieIsStoredOnce) {
    std::vector<PayloadEntry> payload = StandardPayload(AquariumInfo().bytes);
    payload.push_back({"PREVIEWF", {}, 0, "MOVIE"});
    Run(payload);
    EXPECT_EQ(InstallSucceeded, 1);
    ASSERT_NE(OpenArchive(WindowsFile("Aquarium.scr").c_str()), kInvalidFile);
    const DirectoryRecord* movie = FindRecord("MOVIE", kClassNormal);
    const DirectoryRecord* preview = FindRecord("PREVIEWF", kClassNormal);
    ASSERT_TRUE(movie && preview);
    const uint32_t preview_offset = preview->data_offset, movie_offset = movie->data_offset;
    const uint32_t preview_size = preview->stored_size, movie_size = movie->stored_size;
    EXPECT_EQ(preview_offset, movie_offset);
    EXPECT_EQ(preview_size, movie_size);
    CloseArchive(ReaderHandle());
    // The movie's 5,000 bytes are written once (expanded); nothing was copied for the preview.
    auto entries = Output();
    EXPECT_EQ(Names(entries), (std::vector<std::string>{"SAVER", "STUB", "MOVIE", "INFO",
                                                        "PREVIEWF", "ZETT", "KMDL"}));
    EXPECT_EQ(entries[4].second, entries[2].second);
}

TEST_F(Build, TheSeriesFillsTheDirectoryAndEndsQuietly) {
    // Eight entries before the series leave 24 records: a payload of 32 records copies whole.
    std::vector<PayloadEntry> payload = StandardPayload(AquariumInfo().bytes);
    payload.push_back({"PREVIEWB", BytesOf("b"), 0, ""});
    payload.push_back({"PREVIEWF", BytesOf("f"), 0, ""});
    payload.push_back({"ADDTL", BytesOf("base"), 0, ""});
    for (int k = 1; k <= 23; ++k) {
        char name[16];
        snprintf(name, sizeof name, "ADDTL%02d", k);
        payload.push_back({name, BytesOf(name), 0, ""});
    }
    ASSERT_EQ(payload.size(), 32u);
    Run(payload);
    EXPECT_EQ(InstallSucceeded, 1);
    auto entries = Output();
    ASSERT_EQ(entries.size(), 32u);
    EXPECT_EQ(entries.back().first, "ADDTL23");

    // With the writer's directory already full, the next copy ends the series and the latch
    // keeps the value it had.
    for (int latched : {0, 1}) {
        SCOPED_TRACE(latched);
        OpenArchive(dir_.File("setup.exe").c_str());
        SetStickyErrorMode(1);
        FileHandle out = CreateArchive(dir_.File("full.scr").c_str());
        for (int i = 0; i < 30; ++i)
            ASSERT_EQ(AddEntryFromMemory(reinterpret_cast<const uint8_t*>("x"), 1, "FILL", 0), 1);
        StickyError.latched = latched;
        CopyNumberedSeries("ADDTL");
        EXPECT_EQ(StickyError.latched, latched);
        StickyError.latched = 0;
        CloseArchive(out);
        CloseArchive(ReaderHandle());
        std::vector<std::pair<std::string, Bytes>> full;
        ASSERT_TRUE(ReadArchive(dir_.File("full.scr"), &full));
        EXPECT_EQ(full.size(), latched ? 30u : 32u);
        SetStickyErrorMode(0);
    }
}

TEST_F(Build, AFailedBuildDeletesTheFileAndShowsTheFailureOnce) {
    struct Row {
        const char* tag;
        std::string missing;  // entry left out of the payload
        bool file_created;    // the output file was created before the failure
        std::string failure;  // the failure message of INFO
    };
    const Row rows[] = {
        {"no ZETT", "ZETT", true, "Installation failed."},
        {"no KMDL", "KMDL", true, "Installation failed."},
        {"no SAVER", "SAVER", true, "Installation failed."},
        {"no MOVIE", "MOVIE", true, "Installation failed."},
        {"no INFO: nothing written", "INFO", false, "Installation failed."},
        {"no KMDL and an empty failure text", "KMDL", true, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        SetUp();
        InfoBytes info = AquariumInfo();
        info.Text(2, row.failure, !row.failure.empty());
        // Settings as a first read gave them (INFO itself may be missing from the build).
        UsePayload(StandardPayload(info.bytes));
        LoadSettings();
        UsePayload(Without(StandardPayload(info.bytes), row.missing));
        ProgressDialog = 55;
        InstallSucceeded = 1;
        BuildScreenSaver();
        EXPECT_EQ(InstallSucceeded, 0);
        EXPECT_FALSE(FileExists(WindowsFile("Aquarium.scr")));
        EXPECT_EQ(HostEventsStartingWith("DeleteFileA(C:\\WINDOWS\\Aquarium.scr)").size(),
                  row.file_created ? 1u : 0u);
        EXPECT_EQ(HostEventsStartingWith("CreateFileA(C:\\WINDOWS\\").size(),
                  row.file_created ? 1u : 0u);
        std::vector<std::string> want;
        if (!row.failure.empty()) want.push_back(row.failure);
        EXPECT_EQ(Boxes(), want);
        EXPECT_EQ(HostEventsStartingWith("EndDialog(55").size(), 1u) << "progress dialog closed";
        // Nothing of the installation is recorded.
        EXPECT_TRUE(Calls({"WritePrivateProfileStringW", "WritePrivateProfileStringA",
                           "SystemParametersInfoA", "RegCreateKeyExA", "CreateDirectoryA"})
                        .empty());
        EXPECT_FALSE(HostRegistryKeyExists(kKey));
    }
}

TEST_F(Build, AFailedDirectoryWriteFailsTheBuild) {
    // The directory is the last write of a build without a document; count the writes of a
    // good build, then let that one come up short.
    Run(StandardPayload(AquariumInfo().bytes));
    ASSERT_EQ(InstallSucceeded, 1);
    int writes = HostCallCount(kHostWrite);
    for (uint32_t short_count : {0u, 39u}) {
        SCOPED_TRACE(short_count);
        SetUp();
        UsePayload(StandardPayload(AquariumInfo().bytes));
        LoadSettings();
        HostClearEvents();
        HostResetFaults();
        HostFailCall(kHostWrite, writes, short_count);
        BuildScreenSaver();
        EXPECT_EQ(InstallSucceeded, 0);
        EXPECT_FALSE(FileExists(WindowsFile("Aquarium.scr")));
        EXPECT_EQ(Boxes(), std::vector<std::string>{"Installation failed."});
        EXPECT_FALSE(HostRegistryKeyExists(kKey));
    }
}

TEST_F(Build, TheOwnFileDamagedOrMissing) {
    // A file whose tail holds no directory: the damaged-installer text, the outcome untouched.
    WriteWholeFile(dir_.File("setup.exe"), PseudoRandomBytes(4000, 9));
    HostSetModuleFileName(dir_.File("setup.exe"));
    strcpy(Settings.failure_message, "Installation failed.");
    InstallSucceeded = 7;
    BuildScreenSaver();
    EXPECT_EQ(InstallSucceeded, 7);
    EXPECT_EQ(Boxes(), std::vector<std::string>{
                           "The installer file appears to be damaged. Please get a fresh copy."});

    // A file that cannot be opened at all: latched, the failure message, nothing written.
    SetUp();
    HostSetModuleFileName(dir_.File("gone.exe"));
    strcpy(Settings.failure_message, "Installation failed.");
    BuildScreenSaver();
    EXPECT_EQ(InstallSucceeded, 0);
    EXPECT_EQ(Boxes(), std::vector<std::string>{"Installation failed."});
    EXPECT_TRUE(HostEventsStartingWith("CreateFileA(C:\\").empty());
}

TEST_F(Build, DisplayPropertiesIsClosedBeforeTheFileIsWritten) {
    struct Row {
        const char* tag;
        bool display_properties;
        int child_parent;                // 0: no child; 1: Display Properties; 2: another window
        int create_failures;             // creation of the screen saver file fails this many times
        std::vector<std::string> calls;  // SendMessageA, PostMessageA, Sleep, screen saver file
        bool succeeds;
    };
    // The creations of the file (the uninstall entry reads its size afterwards).
    const std::string create = "CreateFileA(C:\\WINDOWS\\Aquarium.scr";
    const Row rows[] = {
        {"no such window", false, 0, 0, {create}, true},
        {"Display Properties alone", true, 0, 0, {"PostMessageA", "Sleep(300)", create}, true},
        {"with the saver's dialog as its child",
         true,
         1,
         0,
         {"SendMessageA", "Sleep(100)", "PostMessageA", "Sleep(300)", create},
         true},
        {"a same-titled window that belongs elsewhere",
         true,
         2,
         0,
         {"PostMessageA", "Sleep(300)", create},
         true},
        {"creation fails with Display Properties: one retry after 500 ms",
         true,
         0,
         1,
         {"PostMessageA", "Sleep(300)", create, "Sleep(500)", create},
         true},
        {"creation fails twice: no second retry",
         true,
         0,
         2,
         {"PostMessageA", "Sleep(300)", create, "Sleep(500)", create},
         false},
        {"creation fails without Display Properties: no retry", false, 0, 1, {create}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        SetUp();
        UsePayload(StandardPayload(AquariumInfo().bytes));
        LoadSettings();
        strcpy(InstallerTitle, "Aquarium");
        intptr_t dp = 0, other = 0, child = 0;
        if (row.display_properties) dp = HostAddWindow({"Display Properties"});
        if (row.child_parent == 2) other = HostAddWindow({"Desktop"});
        if (row.child_parent)
            child = HostAddWindow({"Aquarium", row.child_parent == 1 ? dp : other});
        // Messages of the installer's own queue: each step drops one of them unhandled.
        for (uint32_t m = 1; m <= 3; ++m)
            PlatPostMessage(0, kWmUser + m, 0, 0);
        HostClearEvents();
        HostResetFaults();
        if (row.create_failures == 1) HostFailCall(kHostCreateWrite, 1);
        // A folder in the file's place: every creation fails.
        if (row.create_failures == 2)
            std::filesystem::create_directories(WindowsFile("Aquarium.scr"));
        BuildScreenSaver();
        std::vector<std::string> calls;
        for (const std::string& e : HostEvents()) {
            if (e.rfind("SendMessageA(", 0) == 0 || e.rfind("PostMessageA(", 0) == 0) {
                calls.push_back(e.substr(0, e.find('(')));
            } else if (e.rfind("Sleep(", 0) == 0 ||
                       (e.rfind(create, 0) == 0 && e.find("GENERIC_WRITE") != std::string::npos)) {
                calls.push_back(e.rfind("Sleep(", 0) == 0 ? e : create);
            }
        }
        EXPECT_EQ(calls, row.calls);
        EXPECT_EQ(InstallSucceeded, row.succeeds ? 1 : 0);
        if (child) {
            std::vector<HostReceived> got = HostWindowMessages(child);
            size_t expected = row.child_parent == 1 ? 1u : 0u;
            ASSERT_EQ(got.size(), expected);
            if (expected) {
                EXPECT_EQ(got[0].message, kWmCommand);
                EXPECT_EQ(got[0].wparam, 2u);
                EXPECT_EQ(got[0].lparam, 0);
                EXPECT_FALSE(got[0].posted) << "sent, waiting for it to be handled";
            }
        }
        if (dp) {
            std::vector<HostReceived> got = HostWindowMessages(dp);
            ASSERT_EQ(got.size(), 1u);
            EXPECT_EQ(got[0].message, kWmQuit);
            EXPECT_TRUE(got[0].posted);
        }
        size_t dropped = row.display_properties ? (row.child_parent == 1 ? 2u : 1u) : 0u;
        size_t left = 0;
        PlatMessage message;
        while (PlatPeekMessage(&message))
            ++left;
        EXPECT_EQ(left, 3u - dropped);
        EXPECT_LE(HostMessageBoxes().size(), 1u);
    }
}

// The document goes into a new folder of the Windows folder, which only administrators can
// change, and stays held there; a name that is refused, or a folder or document that cannot be
// made, cancels the follow-up and leaves nothing behind.
TEST_F(Build, TheDocumentOfFollowUpActionThree) {
    struct Row {
        const char* tag;
        std::string document_path;
        std::string windows_dir;  // what GetWindowsDirectoryA reports; "" fails
        bool with_lesmi;
        std::string placed;  // DocumentTempPath afterwards; "" when the follow-up is cancelled
        void (*plant)(const std::string& real_folder) = nullptr;  // before the run
    };
    const std::string win = "C:\\WINDOWS";
    const std::string folder = std::string(kDocumentFolder) + "\\";
    const Row rows[] = {
        {"a full path", "C:\\docs\\readme.htm", win, true, folder + "readme.htm"},
        {"a bare name", "readme.htm", win, true, folder + "readme.htm"},
        {"a root as the Windows folder", "readme.htm", "C:\\", true, "C:\\ssfoonaaab\\readme.htm"},
        {"LESMI missing", "readme.htm", win, false, ""},
        {"GetWindowsDirectoryA fails", "readme.htm", "", true, ""},
        {"a folder planted at the name", "readme.htm", win, true, "",
         [](const std::string& real) {
             std::filesystem::create_directories(real + "/readme.htm");
         }},
        {"a link planted at the folder's name", "readme.htm", win, true, "",
         [](const std::string& real) {
             std::filesystem::create_directories(real + "-target");
             std::filesystem::create_directory_symlink(real + "-target", real);
         }},
        {"the Windows folder does not fit beside the name", std::string(200, 'n'),
         "C:\\" + std::string(60, 't'), true, ""},
        {"a 200-character name fits", std::string(200, 'n'), win, true,
         folder + std::string(200, 'n')},
        {"a 254-character name leaves no room", std::string(254, 'n'), win, true, ""},
        {"a path filling its field without a NUL", std::string(300, 'n'), win, true, ""},
        {"empty name", "C:\\docs\\", win, true, ""},
        {"empty path", "", win, true, ""},
        {"dot", "C:\\docs\\.", win, true, ""},
        {"dot dot", "..", win, true, ""},
        {"dots and spaces", "C:\\x\\. .", win, true, ""},
        {"slash", "C:\\docs\\../../evil.htm", win, true, ""},
        {"colon", "C:\\docs\\readme.htm:stream", win, true, ""},
        {"drive letter", "C:readme.htm", win, true, ""},
        {"control character", "read\x01me.htm", win, true, ""},
        {"device CON", "C:\\docs\\con", win, true, ""},
        {"device NUL with an extension", "NUL.txt", win, true, ""},
        {"device COM1", "com1.htm", win, true, ""},
        {"device LPT9, trailing space", "LPT9 .htm", win, true, ""},
        {"device with superscript digit", "COM\xB9", win, true, ""},
        {"not a device: CONSOLE.htm", "CONSOLE.htm", win, true, folder + "CONSOLE.htm"},
        {"not a device: COM10", "COM10", win, true, folder + "COM10"},
    };
    const Bytes document = BytesOf("<html>read me</html>");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        SetUp();
        HostLaunchReset();
        if (!row.windows_dir.empty()) HostSetWindowsDirectory(row.windows_dir);
        HostFailWindowsDirectory(row.windows_dir.empty());
        const std::string real_folder = HostRealPath(kDocumentFolder);
        if (row.plant) {
            std::filesystem::create_directories(WindowsFile(""));
            row.plant(real_folder);
        }
        InfoBytes info = AquariumInfo().Word(kInfoFollowUpAction, 3);
        info.String(kInfoDocumentPath, row.document_path.substr(0, kInfoDocumentPathSize));
        std::vector<PayloadEntry> payload = StandardPayload(info.bytes);
        if (row.with_lesmi) payload.push_back({"LESMI", document, Compress, ""});
        Run(payload);
        HostFailWindowsDirectory(false);
        EXPECT_EQ(InstallSucceeded, row.windows_dir.empty() ? 0 : 1);
        if (row.windows_dir.empty()) continue;  // the screen saver has no place either
        EXPECT_FALSE(StickyError.latched);
        const bool placed = !row.placed.empty();
        EXPECT_EQ(Settings.FollowUpAction, placed ? 3 : 0);
        EXPECT_EQ(Boxes(), std::vector<std::string>{"Installed."});
        EXPECT_LT(strlen(DocumentTempPath), kDocumentPathSize);
        if (placed) {
            EXPECT_EQ(std::string(DocumentTempPath), row.placed);
            EXPECT_EQ(ReadWholeFile(HostRealPath(DocumentTempPath)), document);
            // Held with read-only sharing: another program can neither write it nor put
            // another file in its place.
            ASSERT_NE(DocumentHold, kInvalidFile);
            EXPECT_EQ(PlatCreateWrite(DocumentTempPath), kInvalidFile);
            EXPECT_EQ(HostRenameFile(dir_.File("x.htm"), DocumentTempPath), 0);
        } else {
            EXPECT_EQ(DocumentHold, kInvalidFile);
            // Nothing of a cancelled document stays, and nothing went through a planted link.
            if (!row.plant) {
                EXPECT_FALSE(std::filesystem::exists(real_folder));
            }
            if (row.plant) {
                EXPECT_TRUE(std::filesystem::is_empty(std::filesystem::is_symlink(real_folder)
                                                          ? real_folder + "-target"
                                                          : real_folder + "/readme.htm"));
            }
        }
        // A refused name (or one that cannot fit) never makes a folder; the document comes
        // before the uninstall entry.
        bool refused = !placed && row.with_lesmi && !row.plant;
        std::vector<std::string> order = Calls({"CreateDirectoryA", "RegCreateKeyExA"});
        ASSERT_FALSE(order.empty());
        EXPECT_EQ(order[0].rfind("CreateDirectoryA(", 0) == 0, !refused) << order[0];
    }
}

TEST_F(Build, OnlyTheWholeFollowUpWordThreePreparesTheDocument) {
    InfoBytes info = AquariumInfo().Word(kInfoFollowUpAction, 0x103);
    info.String(kInfoDocumentPath, "readme.htm");
    std::vector<PayloadEntry> payload = StandardPayload(info.bytes);
    payload.push_back({"LESMI", BytesOf("doc"), 0, ""});
    Run(payload);
    EXPECT_EQ(InstallSucceeded, 1);
    EXPECT_EQ(Settings.FollowUpAction, 3) << "the settings keep the low byte";
    EXPECT_TRUE(HostEventsStartingWith("CreateDirectoryA(").empty());
    EXPECT_STREQ(DocumentTempPath, "");
}

TEST_F(Build, ActivationAndTheUninstallEntry) {
    struct Row {
        const char* tag;
        uint32_t keep_current_saver;
        std::string completion;  // "" leaves text 1 out
        std::vector<std::string> calls;
    };
    const std::vector<std::string> kinds = {"WritePrivateProfileStringW", "SystemParametersInfoA",
                                            "RegSetValueExA", "MessageBoxIndirectA"};
    const Row rows[] = {
        {"activated, registered, reported",
         0,
         "Installed.",
         {"WritePrivateProfileStringW", "SystemParametersInfoA", "Entry", "MessageBoxIndirectA"}},
        {"KeepCurrentSaver: system.ini and the switch untouched",
         0x100,
         "Installed.",
         {"Entry", "MessageBoxIndirectA"}},
        {"empty completion text: nothing shown",
         0,
         "",
         {"WritePrivateProfileStringW", "SystemParametersInfoA", "Entry"}},
    };
    // The uninstall entry's values: name, command, publisher, version, icon, size, no Modify,
    // no Repair.
    const std::vector<std::string> entry(8, "RegSetValueExA");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        SetUp();
        InfoBytes info = AquariumInfo().Word(kInfoKeepCurrentSaver, row.keep_current_saver);
        info.Text(1, row.completion, !row.completion.empty());
        ProgressDialog = 66;
        HostSetVersionResource(VersionResource("Acme Screens", "2.0.1"));
        Run(StandardPayload(info.bytes));
        EXPECT_EQ(InstallSucceeded, 1);
        std::vector<std::string> calls, expected;
        for (const std::string& e : Calls(kinds))
            calls.push_back(e.substr(0, e.find('(')));
        for (const std::string& c : row.calls)
            if (c == "Entry")
                expected.insert(expected.end(), entry.begin(), entry.end());
            else
                expected.push_back(c);
        EXPECT_EQ(calls, expected);
        std::string value;
        EXPECT_EQ(HostProfileValue("system.ini", "boot", "SCRNSAVE.EXE", &value),
                  row.keep_current_saver == 0);
        if (row.keep_current_saver == 0) {
            EXPECT_EQ(value, "C:\\WINDOWS\\Aquarium.scr");
        }
        EXPECT_TRUE(HostRegistryValue(kKey, "DisplayName", nullptr, &value));
        EXPECT_EQ(value, "Screensaver (Aquarium)");
        EXPECT_TRUE(HostRegistryValue(kKey, "UninstallString", nullptr, &value));
        EXPECT_EQ(value, "\"C:\\WINDOWS\\Aquarium.scr\" /U");
        EXPECT_TRUE(HostRegistryValue(kKey, "Publisher", nullptr, &value));
        EXPECT_EQ(value, "Acme Screens");
        EXPECT_TRUE(HostRegistryValue(kKey, "DisplayVersion", nullptr, &value));
        EXPECT_EQ(value, "2.0.1");
        // The installed file's size, in KB rounded up.
        const uint32_t kilobytes = static_cast<uint32_t>(
            (ReadWholeFile(WindowsFile("Aquarium.scr")).size() + 1023) / 1024);
        EXPECT_TRUE(HostRegistryValue(kKey, "EstimatedSize", nullptr, &value));
        EXPECT_EQ(value, std::string(reinterpret_cast<const char*>(&kilobytes), 4));
        EXPECT_EQ(HostEventsStartingWith("EndDialog(66").size(), 1u);
    }
}

TEST_F(Build, TheAlternativeNameNamesTheFileButInfoKeepsThePrimary) {
    HostSetACP(1252);
    InfoBytes info = AquariumInfo().Word(kInfoCodePage, 1251);
    info.String(kInfoAltName, "Akvarium");
    Run(StandardPayload(info.bytes));
    EXPECT_EQ(InstallSucceeded, 1);
    std::vector<std::pair<std::string, Bytes>> entries;
    ASSERT_TRUE(ReadArchive(WindowsFile("Akvarium.scr"), &entries));
    EXPECT_FALSE(FileExists(WindowsFile("Aquarium.scr")));
    EXPECT_EQ(entries[3].first, "INFO");
    EXPECT_EQ(entries[3].second, info.bytes);
    std::string value;
    ASSERT_TRUE(HostProfileValue("system.ini", "boot", "SCRNSAVE.EXE", &value));
    EXPECT_EQ(value, "C:\\WINDOWS\\Akvarium.scr");
    EXPECT_TRUE(HostRegistryValue(
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\UnInstall\\Akvarium.scr",
        "DisplayName", nullptr, &value));
    EXPECT_EQ(value, "Screensaver (Akvarium)");
}

TEST_F(Build, WithoutAWindowsDirectoryTheFileGoesToWin95) {
    HostFailWindowsDirectory(true);
    std::filesystem::create_directories(dir_.path() + "/c/win95");
    Run(StandardPayload(AquariumInfo().bytes));
    EXPECT_EQ(InstallSucceeded, 1);
    EXPECT_TRUE(FileExists(dir_.path() + "/c/win95/Aquarium.scr"));
    std::string value;
    ASSERT_TRUE(HostRegistryValue(kKey, "UninstallString", nullptr, &value));
    EXPECT_EQ(value, "\"c:\\win95\\Aquarium.scr\" /U");
}

}  // namespace
