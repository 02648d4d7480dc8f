// Start-up of the installer on the host simulation: the hidden window, the start message, the
// damaged-installer report and the exit code.
#include <gtest/gtest.h>

#include "app/main_flow.h"
#include "app/report.h"
#include "app/startup.h"
#include "archive/reader.h"
#include "archive/sticky_error.h"
#include "platform/entry.h"
#include "platform/host/host.h"
#include "platform/ui.h"
#include "tests/unit/support/test_support.h"

namespace {

class Startup : public ::testing::Test {
  protected:
    void SetUp() override {
        HostReset();
        ResetInstallerState();
        SetStickyErrorMode(0);
    }
    // Runs the installer with `file` standing for its own executable.
    int RunWithOwnFile(const Bytes& file) {
        std::string path = dir_.File("setup.exe");
        WriteWholeFile(path, file);
        HostSetModuleFileName(path);
        return InstallerMain(1);
    }
    ScratchDir dir_;
};

TEST_F(Startup, ADamagedPayloadShowsOneBoxAndEnds) {
    Bytes file = PseudoRandomBytes(3000, 42);  // a tail that deciphers to no directory
    EXPECT_EQ(RunWithOwnFile(file), 0);
    ASSERT_EQ(HostMessageBoxes().size(), 1u);
    const HostMessageBox& box = HostMessageBoxes()[0];
    EXPECT_EQ(box.text, "The installer file appears to be damaged. Please get a fresh copy.");
    EXPECT_EQ(box.caption, "");
    EXPECT_EQ(box.style, kMbOk | kMbUserIcon);
    EXPECT_EQ(box.icon_id, 200);
    EXPECT_EQ(box.owner, MainWindow);
    EXPECT_NE(MainWindow, 0);
    // The main flow never ran: no confirmation, no second look at the payload. The file is
    // opened twice: held for the whole run, and read by the archive check.
    EXPECT_TRUE(HostEventsStartingWith("DialogBoxParamA").empty());
    EXPECT_EQ(HostEventsStartingWith("CreateFileA(").size(), 2u);
}

TEST_F(Startup, TheWindowAndTheOrderOfEvents) {
    RunWithOwnFile(BuildTestArchive(Bytes(100, 0), {{"INFO", Bytes(10, 1)}}));
    EXPECT_TRUE(HostMessageBoxes().empty());
    std::string own = "CreateFileA(" + dir_.File("setup.exe") + ", GENERIC_READ, SHARE_READ, ";
    std::vector<std::string> expected = {
        "SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) = 1",
        "GetModuleFileNameA(256) = " + std::to_string(dir_.File("setup.exe").size()),
        own,  // the rest of this line gives the handle
        "RegisterClassExA(SsInstaller, style=3, icon=200, background=6) = 1",
        "CreateWindowExA(0, SsInstaller, SsInstaller, 0xCA0000) = 1",
        "PostMessageA(1, 0x401, 0, 0)",
        "GetMessageA() = 0x401",
    };
    const std::vector<std::string>& events = HostEvents();
    ASSERT_GE(events.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(events[i].substr(0, i == 2 ? own.size() : std::string::npos), expected[i]);
    // The own file, held with read-only sharing from the start to the very end, so that it
    // cannot be replaced while the user is asked.
    std::string handle = events[2].substr(events[2].rfind("= ") + 2);
    // The main flow ran inside the start message; then the window went and the loop ended.
    auto tail = std::vector<std::string>(events.end() - 4, events.end());
    EXPECT_EQ(tail[0], "DestroyWindow(1)");
    EXPECT_EQ(tail[1], "PostQuitMessage(0)");
    EXPECT_EQ(tail[2], "GetMessageA() = 0x12");
    EXPECT_EQ(tail[3], "CloseHandle(" + handle + ")");
}

TEST_F(Startup, AnUnreadableOwnFileGoesOn) {
    HostSetModuleFileName(dir_.File("does-not-exist.exe"));
    EXPECT_EQ(CheckInstallerArchive(), 1);
    // A check that fails latches nothing: the latch is not armed yet.
    EXPECT_EQ(StickyError.latched, 0);
    // The flow goes on with the built-in settings: the question "-" with the labels "-" is asked
    // in dialog 1030; declined, nothing else happens.
    HostQueueAnswer(kIdNo);
    EXPECT_EQ(InstallerMain(1), 0);
    EXPECT_TRUE(HostMessageBoxes().empty());
    EXPECT_EQ(HostEventsStartingWith("DialogBoxParamA(1030").size(), 2u);
    EXPECT_TRUE(HostEventsStartingWith("CreateFileA(C:").empty());
}

TEST_F(Startup, ReportsAreShownOnce) {
    ReportOnce("");
    EXPECT_TRUE(HostMessageBoxes().empty());
    ReportOnce("first");
    ReportOnce("second");
    ASSERT_EQ(HostMessageBoxes().size(), 1u);
    EXPECT_EQ(HostMessageBoxes()[0].text, "first");
}

TEST_F(Startup, ReportsCloseTheProgressDialogEachTime) {
    ProgressDialog = 77;
    ReportOnce("done");
    EXPECT_EQ(ProgressDialog, 0);
    std::vector<std::string> order;
    for (const std::string& e : HostEvents())
        if (e.rfind("SetForeground", 0) == 0 || e.rfind("Sleep", 0) == 0 ||
            e.rfind("EndDialog", 0) == 0 || e.rfind("MessageBox", 0) == 0)
            order.push_back(e.substr(0, e.find('(')));
    EXPECT_EQ(order, (std::vector<std::string>{"SetForegroundWindow", "Sleep", "EndDialog",
                                               "MessageBoxIndirectA"}));
    EXPECT_EQ(HostClockMs(), 500u);

    // A second report still closes a dialog that opened since, but shows nothing.
    ProgressDialog = 78;
    ReportOnce("again");
    EXPECT_EQ(ProgressDialog, 0);
    EXPECT_EQ(HostMessageBoxes().size(), 1u);

    // Closing with no dialog open does nothing and does not pause.
    CloseProgressDialog();
    EXPECT_EQ(HostClockMs(), 1000u);
}

}  // namespace
