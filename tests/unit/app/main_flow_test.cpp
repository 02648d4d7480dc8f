// The whole run on the host simulation: confirmation branches, the direct build and the build
// inside the progress dialog, the follow-up actions, the focus and the removal of the document.
#include <stdio.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "app/build.h"
#include "app/dialogs.h"
#include "app/followup.h"
#include "app/main_flow.h"
#include "app/report.h"
#include "app/settings.h"
#include "platform/entry.h"
#include "platform/files.h"
#include "platform/host/host.h"
#include "platform/host/host_launch.h"
#include "platform/host/host_shell.h"
#include "platform/ui.h"
#include "tests/unit/app/install_fixture.h"

namespace {

// A registry value line of the simulated registry file.
std::string RegLine(const std::string& name, const std::string& type, const std::string& data) {
    auto quote = [](const std::string& s) {
        std::string out = "\"";
        for (unsigned char c : s) {
            if (c == '"' || c == '\\' || c < 0x20 || c >= 0x7F) {
                char hex[8];
                snprintf(hex, sizeof hex, "\\x%02X", c);
                out += hex;
            } else {
                out += static_cast<char>(c);
            }
        }
        return out + "\"";
    };
    return quote(name) + " = " + type + ", " + std::to_string(data.size()) +
           " bytes: " + quote(data) + "\n";
}

// An association: extension -> class -> open command.
std::string Association(const std::string& extension, const std::string& class_name,
                        const std::string& command, const std::string& type = "REG_SZ") {
    return "[HKEY_CLASSES_ROOT\\" + extension + "]\n" + RegLine("", "REG_SZ", class_name) +
           "[HKEY_CLASSES_ROOT\\" + class_name + "\\shell\\Open\\Command]\n" +
           RegLine("", type, command);
}

class MainFlowTest : public InstallTest {
  protected:
    void SetUp() override {
        InstallTest::SetUp();
        ResetInstallerState();
    }
    // A payload whose INFO names Aurora and carries `info`'s other fields.
    void Install(InfoBytes info) {
        info.Name("Aurora");
        UsePayload(StandardPayload(info.bytes));
    }
    int Run() { return InstallerMain(1); }
    std::vector<std::string> Names(const std::vector<std::string>& calls) {
        std::vector<std::string> out;
        for (const std::string& line : Calls(calls))
            out.push_back(line.substr(0, line.find('(')));
        return out;
    }
};

TEST_F(MainFlowTest, NoQuestionBuildsAtOnce) {
    Install(InfoBytes().Text(1, "Done."));
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(InstallSucceeded, 1);
    ASSERT_EQ(HostMessageBoxes().size(), 1u);
    EXPECT_EQ(HostMessageBoxes()[0].text, "Done.");
    EXPECT_EQ(HostMessageBoxes()[0].caption, "Aurora");
    EXPECT_TRUE(FileExists(WindowsFile("Aurora.scr")));
    // Without a progress dialog: the direct build, then a 50 ms pause.
    auto sleeps = Calls({"Sleep"});
    ASSERT_FALSE(sleeps.empty());
    EXPECT_EQ(sleeps.back(), "Sleep(50)");
    EXPECT_TRUE(Calls({"DialogBoxParamA"}).empty());
}

TEST_F(MainFlowTest, YesNoQuestionIsAMessageBox) {
    struct Row {
        int answer;
        bool installed;
    } rows[] = {{kIdYes, true}, {kIdNo, false}};
    for (const Row& r : rows) {
        SetUp();
        Install(InfoBytes().Text(0, "Install Aurora?").Text(1, "Done."));
        HostAddWindow({"Editor"});
        HostQueueAnswer(r.answer);
        EXPECT_EQ(Run(), 0);
        const HostMessageBox& box = HostMessageBoxes()[0];
        EXPECT_EQ(box.text, "Install Aurora?");
        EXPECT_EQ(box.caption, "Aurora");
        EXPECT_EQ(box.style, kMbYesNo | kMbUserIcon);
        EXPECT_EQ(FileExists(WindowsFile("Aurora.scr")), r.installed);
        // Declined: no further message and nothing written. Either way the focus is handed on
        // (declined, or installed with no follow-up action).
        EXPECT_EQ(HostMessageBoxes().size(), r.installed ? 2u : 1u);
        EXPECT_EQ(Calls({"SetForegroundWindow"}).size(), 1u) << r.answer;
    }
}

TEST_F(MainFlowTest, CustomLabelsAskInDialog1030) {
    Install(InfoBytes()
                .Text(0, "Aurora installieren?")
                .Word(kInfoCustomLabels, 1)
                .String(kInfoYesLabel, "Ja")
                .String(kInfoNoLabel, "Nein"));
    HostQueueAnswer(kIdNo);
    EXPECT_EQ(Run(), 0);
    EXPECT_TRUE(HostMessageBoxes().empty());
    EXPECT_EQ(Calls({"DialogBoxParamA"}).front(), "DialogBoxParamA(1030, owner=0) opened 2");
    EXPECT_FALSE(FileExists(WindowsFile("Aurora.scr")));
    EXPECT_EQ(InstallSucceeded, 0);
}

TEST_F(MainFlowTest, ProgressDialogRunsTheBuild) {
    Install(InfoBytes().Text(3, "Installing Aurora...").Word(kInfoShowProgress, 1));
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(InstallSucceeded, 1);
    EXPECT_EQ(Names({"LoadLibraryA", "InitCommonControlsEx", "DialogBoxParamA", "EndDialog"}),
              (std::vector<std::string>{"LoadLibraryA", "InitCommonControlsEx", "DialogBoxParamA",
                                        "EndDialog", "DialogBoxParamA"}));
    // The 300 ms before the build, the 500 ms before the dialog ends; no direct-build pause.
    auto sleeps = Calls({"Sleep"});
    EXPECT_EQ(sleeps.front(), "Sleep(300)");
    EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), "Sleep(50)"), 0);
    EXPECT_GT(BytesDone, 0);
    EXPECT_EQ(ProgressDialog, 0);
}

TEST_F(MainFlowTest, EmptyProgressTextBuildsDirectly) {
    Install(InfoBytes().Word(kInfoShowProgress, 1));
    EXPECT_EQ(Run(), 0);
    EXPECT_TRUE(Calls({"DialogBoxParamA"}).empty());
    EXPECT_EQ(Calls({"Sleep"}).back(), "Sleep(50)");
}

TEST_F(MainFlowTest, TwoPaintsStartOneBuild) {
    Install(InfoBytes());
    LoadSettings();
    ProgressDialogProc(1, kWmInitDialog, 0, 0);
    ProgressDialogProc(1, kWmPaint, 0, 0);
    ProgressDialogProc(1, kWmPaint, 0, 0);
    PlatMessage m;
    int starts = 0;
    while (PlatPeekMessage(&m)) {
        if (m.message == kStartBuildMessage) {
            ++starts;
            ProgressDialogProc(1, m.message, m.wparam, m.lparam);
        }
    }
    EXPECT_EQ(starts, 2);
    EXPECT_EQ(Calls({"CreateFileA"}).size() > 0, true);
    auto sleeps = Calls({"Sleep"});
    EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), "Sleep(300)"), 1);
    EXPECT_EQ(InstallSucceeded, 1);
}

TEST_F(MainFlowTest, FollowUpCodesAndTheFocus) {
    struct Row {
        uint32_t code;
        const char* started;  // the command line started, "" for none
        bool refocus;
    } rows[] = {
        {0, "", true},
        // Never the Rundll32 of the installer's folder or the current one.
        {1, "C:\\WINDOWS\\system32\\Rundll32 Shell32.dll,Control_RunDLL Desk.cpl @0,1", false},
        {2, "\"C:\\WINDOWS\\Aurora.scr\" /s", false},
        {4, "", false},
        {255, "", false},
    };
    for (const Row& r : rows) {
        SetUp();
        Install(InfoBytes().Word(kInfoFollowUpAction, r.code));
        HostAddWindow({"Editor"});
        EXPECT_EQ(Run(), 0);
        std::string started = HostStartedCommands().empty() ? "" : HostStartedCommands()[0];
        EXPECT_EQ(started, r.started) << r.code;
        EXPECT_EQ(HostStartedCommands().size(), *r.started ? 1u : 0u) << r.code;
        EXPECT_EQ(Calls({"SetForegroundWindow"}).size(), r.refocus ? 1u : 0u) << r.code;
    }
}

TEST_F(MainFlowTest, DisplayPropertiesOpenStopsActionOne) {
    Install(InfoBytes().Word(kInfoFollowUpAction, 1));
    PlatWindow dp = HostAddWindow({"Display Properties"});
    EXPECT_EQ(Run(), 0);
    EXPECT_TRUE(HostStartedCommands().empty());
    EXPECT_EQ(HostWindowMessages(dp).size(), 1u);  // the WM_QUIT of the build
}

class DocumentTest : public MainFlowTest {
  protected:
    void InstallDocument(const std::string& path) {
        InfoBytes info;
        info.Word(kInfoFollowUpAction, 3).String(kInfoDocumentPath, path).Name("Aurora");
        std::vector<PayloadEntry> payload = StandardPayload(info.bytes);
        payload.push_back({"LESMI", BytesOf("<html>read me</html>"), 0, ""});
        UsePayload(payload);
    }
    // The real path of a document the installer placed, or of its folder for "".
    std::string PlacedDoc(const std::string& name) {
        return HostRealPath(
            (std::string(kDocumentFolder) + (name.empty() ? "" : "\\" + name)).c_str());
    }
};

TEST_F(DocumentTest, OpenedThenRemovedAfterFiveSeconds) {
    HostSetRegistryText(Association(".htm", "htmlfile", "\"C:\\Prog\\view.exe\" \"%1\""));
    InstallDocument("C:\\docs\\readme.htm");
    EXPECT_EQ(Run(), 0);
    ASSERT_EQ(HostStartedCommands().size(), 1u);
    EXPECT_EQ(HostStartedCommands()[0],
              "\"C:\\Prog\\view.exe\" \"C:\\WINDOWS\\ssfoonaaab\\readme.htm\"");
    // Started from the system folder, not from the installer's (the download folder).
    EXPECT_EQ(HostStartedFolders(), std::vector<std::string>{"C:\\WINDOWS\\system32"});
    EXPECT_EQ(RemovalPending, 1);
    EXPECT_EQ(Calls({"Sleep"}).back(), "Sleep(5000)");
    // The hold ends before the deletion (which a held file would refuse); the folder goes after
    // the document.
    EXPECT_EQ(Calls({"DeleteFileA", "RemoveDirectoryA"}),
              (std::vector<std::string>{"DeleteFileA(C:\\WINDOWS\\ssfoonaaab\\readme.htm) = 1",
                                        "RemoveDirectoryA(C:\\WINDOWS\\ssfoonaaab) = 1"}));
    EXPECT_FALSE(FileExists(PlacedDoc("readme.htm")));
    EXPECT_FALSE(std::filesystem::exists(PlacedDoc("")));
    EXPECT_TRUE(HostScheduledMoves().empty());
    EXPECT_TRUE(Calls({"SetForegroundWindow"}).empty());
}

// While the completion box shows, another program of the user tries to put its own content in
// the document's place; the author's document is what the program gets.
TEST_F(DocumentTest, HeldAgainstOtherProgramsUntilOpened) {
    HostSetRegistryText(Association(".htm", "htmlfile", "\"C:\\Prog\\view.exe\" \"%1\""));
    InfoBytes info;
    info.Word(kInfoFollowUpAction, 3).String(kInfoDocumentPath, "readme.htm").Name("Aurora");
    info.Text(1, "Installed.");
    std::vector<PayloadEntry> payload = StandardPayload(info.bytes);
    payload.push_back({"LESMI", BytesOf("<html>read me</html>"), 0, ""});
    UsePayload(payload);
    static std::string attempts;
    attempts.clear();
    HostOnAnswer([] {
        const std::string doc = std::string(kDocumentFolder) + "\\readme.htm";
        WriteWholeFile(HostRealPath("C:\\evil.htm"), BytesOf("ATTACKER CONTENT"));
        attempts += PlatCreateWrite(doc.c_str()) == kInvalidFile ? "w" : "W";
        attempts += HostRenameFile("C:\\evil.htm", doc) ? "R" : "r";
        attempts += HostRenameFile(doc, "C:\\moved.htm") ? "M" : "m";
        attempts += PlatDeleteFile(doc.c_str()) ? "D" : "d";
    });
    EXPECT_EQ(Run(), 0);
    HostOnAnswer(nullptr);
    EXPECT_EQ(attempts, "wrmd") << "upper case: the other program got through";
    ASSERT_EQ(HostStartedCommands().size(), 1u);
    EXPECT_EQ(HostStartedCommands()[0],
              "\"C:\\Prog\\view.exe\" \"C:\\WINDOWS\\ssfoonaaab\\readme.htm\"");
}

// HKEY_CLASSES_ROOT shows the user's own classes over the machine's, to elevated programs too;
// the installer reads the machine's, so a command any program of the user can register never
// runs.
TEST_F(DocumentTest, ThePerUserCommandNeverRuns) {
    const std::string user =
        "[HKEY_CURRENT_USER\\Software\\Classes\\htmlfile\\shell\\Open\\Command]\n" +
        RegLine("", "REG_SZ", "C:\\Users\\j\\evil.exe %1") +
        "[HKEY_CURRENT_USER\\Software\\Classes\\.txt]\n" + RegLine("", "REG_SZ", "htmlfile");
    struct Row {
        const char* document;
        const char* started;  // "" for none
    } rows[] = {
        {"readme.htm", "\"C:\\Prog\\view.exe\" \"C:\\WINDOWS\\ssfoonaaab\\readme.htm\""},
        {"readme.txt", ""},  // the machine has no class for .txt
    };
    for (const Row& r : rows) {
        SetUp();
        HostSetRegistryText(Association(".htm", "htmlfile", "\"C:\\Prog\\view.exe\" \"%1\"") +
                            user);
        InstallDocument(r.document);
        EXPECT_EQ(Run(), 0) << r.document;
        std::string started = HostStartedCommands().empty() ? "" : HostStartedCommands()[0];
        EXPECT_EQ(started, r.started) << r.document;
    }
}

TEST_F(DocumentTest, HeldOpenIsRemovedAtRestart) {
    HostSetRegistryText(Association(".txt", "txtfile", "notepad.exe %1"));
    HostHoldFile(PlacedDoc("readme.txt"));
    InstallDocument("readme.txt");
    EXPECT_EQ(Run(), 0);
    // The associated program of a bare name comes from the system folder, never another.
    EXPECT_EQ(HostStartedCommands(),
              std::vector<std::string>{
                  "C:\\WINDOWS\\system32\\notepad.exe C:\\WINDOWS\\ssfoonaaab\\readme.txt"});
    // Deleted at the restart (a null new name; "NUL" would be a rename onto the device), the
    // folder after the document.
    EXPECT_EQ(HostScheduledMoves(),
              (std::vector<std::string>{"C:\\WINDOWS\\ssfoonaaab\\readme.txt -> ",
                                        "C:\\WINDOWS\\ssfoonaaab -> "}));
}

TEST_F(DocumentTest, WithoutAssociationDeletedAtOnce) {
    struct Row {
        const char* what;
        std::string registry;
        const char* path;
    } rows[] = {
        {"no class", "", "readme.htm"},
        {"class without command", "[HKEY_CLASSES_ROOT\\.htm]\n" + RegLine("", "REG_SZ", "htmlfile"),
         "readme.htm"},
        {"start fails", Association(".htm", "htmlfile", "view.exe %1"), "readme.htm"},
    };
    for (Row& r : rows) {
        SetUp();
        HostSetRegistryText(r.registry);
        if (std::string(r.what) == "start fails") HostSetWinExecResult(2);
        InstallDocument(r.path);
        EXPECT_EQ(Run(), 0) << r.what;
        EXPECT_EQ(RemovalPending, 0) << r.what;
        EXPECT_FALSE(std::filesystem::exists(PlacedDoc(""))) << r.what;
        EXPECT_EQ(DocumentHold, kInvalidFile) << r.what;
        auto sleeps = Calls({"Sleep"});
        EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), "Sleep(5000)"), 0) << r.what;
    }
}

TEST(OpenDocument, ExtensionRules) {
    ScratchDir dir;
    HostReset();
    HostSetSandbox(dir.path());
    // A key named like the tail after a folder's dot: found only when that tail were taken for
    // the extension.
    HostSetRegistryText(
        Association(".html", "htmlfile", "browser.exe %1") +
        Association(".d", "dfile", "%SystemRoot%\\dview.exe \"%1\"", "REG_EXPAND_SZ") +
        "[HKEY_CLASSES_ROOT\\.smith\\readme]\n" + RegLine("", "REG_SZ", "dfile"));
    struct Row {
        const char* path;
        int started;
        const char* command;
    } rows[] = {
        {"http://example.org/readme.txt", 1,
         "C:\\WINDOWS\\system32\\browser.exe http://example.org/readme.txt"},
        {"C:\\TEMP\\readme.d", 1, "C:\\WINDOWS\\dview.exe \"C:\\TEMP\\readme.d\""},
        {"C:\\TEMP\\dir.d\\readme", 0, ""},
        {"C:\\TEMP\\my.dir\\readme", 0, ""},
        {"C:\\Users\\j.smith\\readme", 0, ""},
        {"C:\\Users\\j.smith\\readme.d", 1,
         "C:\\WINDOWS\\dview.exe \"C:\\Users\\j.smith\\readme.d\""},
        {"C:\\TEMP\\readme", 0, ""},
    };
    for (const Row& r : rows) {
        HostLaunchReset();
        EXPECT_EQ(OpenDocument(r.path), r.started) << r.path;
        std::string started = HostStartedCommands().empty() ? "" : HostStartedCommands()[0];
        EXPECT_EQ(started, r.command) << r.path;
    }
    HostSetSandbox("");
}

}  // namespace
