// The host simulation where the installer's tests lean on it, held to what Windows does: waiting
// for messages that can never come, WM_PAINT, finding windows, and files with mappings. Then the
// installer's own behaviour that depends on it: start-up without a window, the paint before the
// build, and the screen saver's settings dialog behind the progress dialog.
#include <gtest/gtest.h>

#include "app/dialogs.h"
#include "app/main_flow.h"
#include "app/report.h"
#include "app/settings.h"
#include "platform/entry.h"
#include "platform/files.h"
#include "platform/host/host.h"
#include "platform/launch.h"
#include "platform/ui.h"
#include "tests/unit/app/install_fixture.h"

namespace {

intptr_t SilentProc(PlatWindow, uint32_t, uintptr_t, intptr_t) {
    return 0;
}

// Validates on WM_PAINT, as default processing does.
std::vector<uint32_t> seen;
intptr_t PaintingProc(PlatWindow window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
    seen.push_back(message);
    return PlatDefWindowProc(window, message, wparam, lparam);
}

class WindowsModel : public ::testing::Test {
  protected:
    void SetUp() override {
        HostReset();
        seen.clear();
    }
};

using WindowsModelDeathTest = WindowsModel;

TEST_F(WindowsModelDeathTest, WaitingForAMessageThatCannotComeIsAHang) {
    PlatMessage m;
    EXPECT_DEATH(PlatGetMessage(&m), "GetMessageA waits for ever");
    // A hidden window is never painted, so it gives nothing to wait for either.
    PlatRegisterClass("Silent", 0, SilentProc, 200, 6);
    PlatCreateWindow(0, "Silent", "hidden", 0);
    EXPECT_DEATH(PlatGetMessage(&m), "GetMessageA waits for ever");
    // A modal dialog that nothing ends: its loop would wait once it has been painted.
    EXPECT_DEATH(PlatDialogBox(1010, 0, SilentProc, 0), "DialogBoxParamA\\(1010\\) waits for ever");
}

TEST_F(WindowsModel, PaintComesFromTheUpdateRegionAfterPostedMessages) {
    PlatRegisterClass("Painting", 0, PaintingProc, 200, 6);
    PlatWindow w = PlatCreateWindow(0, "Painting", "p", kWsVisible);
    PlatPostMessage(w, kWmUser, 0, 0);
    PlatMessage m;
    // Posted messages first; WM_PAINT only when none is left, and PM_REMOVE leaves it there.
    ASSERT_TRUE(PlatPeekMessage(&m));
    EXPECT_EQ(m.message, kWmUser);
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(PlatPeekMessage(&m));
        EXPECT_EQ(m.message, kWmPaint);
        EXPECT_EQ(m.window, w);
    }
    // Handling it validates the window: then nothing is pending.
    PlatDispatchMessage(&m);
    EXPECT_FALSE(PlatPeekMessage(&m));
    // Uncovered again, it is painted again; a synchronous redraw paints it before returning.
    HostInvalidateWindow(w);
    PlatPaintNow(w);
    EXPECT_EQ(seen, (std::vector<uint32_t>{kWmCreate, kWmPaint, kWmPaint}));
    EXPECT_FALSE(PlatPeekMessage(&m));
    // A hidden window has nothing to paint.
    PlatWindow hidden = PlatCreateWindow(0, "Painting", "h", 0);
    HostInvalidateWindow(hidden);
    EXPECT_FALSE(PlatPeekMessage(&m));
}

TEST_F(WindowsModel, FindWindowSeesTopLevelWindowsFrontFirstInAnyCase) {
    PlatWindow older = HostAddWindow({"Aurora"});
    PlatWindow newer = HostAddWindow({"aurora"});
    HostAddWindow({"Display Properties", 0, false});  // hidden windows are found too
    EXPECT_EQ(PlatFindWindow("AURORA"), newer);
    PlatSetForegroundWindow(older);
    EXPECT_EQ(PlatFindWindow("Aurora"), older);
    EXPECT_NE(PlatFindWindow("display properties"), 0);
    EXPECT_EQ(PlatFindWindow("Auror"), 0);
    // A dialog's controls are child windows: their texts are never found.
    auto proc = [](PlatWindow dialog, uint32_t message, uintptr_t, intptr_t) -> intptr_t {
        if (message == kWmInitDialog) PlatEndDialog(dialog, 1);
        return 0;
    };
    PlatDialogBox(1010, 0, proc, 0);
    EXPECT_EQ(PlatFindWindow("Installing screensaver..."), 0);
}

// SetEndOfFile fails while the file has a mapping object: all views unmapped and the mapping's
// handle closed first. The edit of WinInit.Ini depends on that order.
TEST_F(WindowsModel, AMappedFileCannotBeCut) {
    ScratchDir dir;
    std::string path = dir.File("wininit.ini");
    WriteWholeFile(path, BytesOf("0123456789"));
    struct Row {
        const char* tag;
        bool unmap;
        bool close_mapping;
        int cuts;
    } rows[] = {
        {"view and mapping open", false, false, 0},
        {"view unmapped, mapping open", true, false, 0},
        {"mapping closed, view still mapped", false, true, 0},
        {"both gone", true, true, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        HostReset();
        FileHandle file = PlatOpenReadWriteAlways(path.c_str());
        ASSERT_NE(file, kInvalidFile);
        intptr_t mapping = PlatCreateFileMapping(file, 20);
        uint8_t* view = PlatMapViewOfFile(mapping);
        ASSERT_NE(view, nullptr);
        if (row.unmap) PlatUnmapViewOfFile(view);
        if (row.close_mapping) PlatCloseMapping(mapping);
        ASSERT_TRUE(PlatSeek(file, 10));
        EXPECT_EQ(PlatSetEndOfFile(file), row.cuts);
        if (!row.unmap) PlatUnmapViewOfFile(view);
        if (!row.close_mapping) PlatCloseMapping(mapping);
        PlatClose(file);
        EXPECT_EQ(ReadWholeFile(path).size(), row.cuts ? 10u : 20u);
        WriteWholeFile(path, BytesOf("0123456789"));
    }
}

class InstallerWindows : public InstallTest {
  protected:
    void SetUp() override {
        InstallTest::SetUp();
        ResetInstallerState();
    }
    void InstallWithProgress() {
        InfoBytes info;
        info.Name("Aurora").Text(3, "Installing Aurora...").Word(kInfoShowProgress, 1);
        UsePayload(StandardPayload(info.bytes));
    }
};

// Without its window the installer would wait for a start message that never comes: it ends.
TEST_F(InstallerWindows, NoWindowNoWait) {
    InstallWithProgress();
    HostFailCall(kHostRegisterClass, 1);
    EXPECT_EQ(InstallerMain(1), 0);
    EXPECT_EQ(Calls({"CreateWindowExA"}),
              std::vector<std::string>{"CreateWindowExA(0, SsInstaller, SsInstaller, "
                                       "0xCA0000) = 0"});
    EXPECT_TRUE(Calls({"GetMessageA"}).empty());
}

// The dialog's own paint queues the start message ahead of its controls' paints; the controls
// are painted at once, and only then does the thread pause and build.
TEST_F(InstallerWindows, TheProgressDialogIsPaintedBeforeThePause) {
    InstallWithProgress();
    EXPECT_EQ(InstallerMain(1), 0);
    EXPECT_EQ(InstallSucceeded, 1);
    std::vector<std::string> order;
    for (const std::string& e : Calls({"Painted", "RedrawWindow", "Sleep", "PostMessageA"})) {
        order.push_back(e);
        if (e == "Sleep(300)") break;
    }
    EXPECT_EQ(order, (std::vector<std::string>{
                         "PostMessageA(1, 0x401, 0, 0)",
                         "PostMessageA(2, 0x403, 0, 0)",
                         "Painted(2)",
                         "RedrawWindow(2, RDW_UPDATENOW|RDW_ALLCHILDREN)",
                         "Painted(3, control 200)",
                         "Painted(4, control 1001)",
                         "Painted(5, control 1000)",
                         "Sleep(300)",
                     }));
}

// The progress dialog bears the installer's title and stands in front; the screen saver's
// settings dialog that belongs to Display Properties is still the one cancelled.
TEST_F(InstallerWindows, TheSaverSettingsBehindTheProgressDialogAreCancelled) {
    struct Row {
        const char* tag;
        const char* title;
        bool decoy;  // a window of the same title that belongs to another window, in front
        bool cancelled;
    } rows[] = {
        {"its title as the installer has it", "Aurora", false, true},
        {"its title in another case", "AURORA", false, true},
        {"with a decoy in front", "Aurora", true, true},
        {"another title", "Aurora Settings", false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        SetUp();
        InstallWithProgress();
        intptr_t dp = HostAddWindow({"Display Properties"});
        intptr_t settings = HostAddWindow({row.title, dp});
        intptr_t decoy = 0;
        if (row.decoy) decoy = HostAddWindow({"Aurora", HostAddWindow({"Elsewhere"})});
        EXPECT_EQ(InstallerMain(1), 0);
        EXPECT_EQ(InstallSucceeded, 1);
        std::vector<HostReceived> got = HostWindowMessages(settings);
        ASSERT_EQ(got.size(), row.cancelled ? 1u : 0u);
        if (row.cancelled) {
            EXPECT_EQ(got[0].message, kWmCommand);
            EXPECT_EQ(got[0].wparam, static_cast<uintptr_t>(kIdCancel));
            EXPECT_FALSE(got[0].posted);
        }
        if (decoy) {
            EXPECT_TRUE(HostWindowMessages(decoy).empty());
        }
        got = HostWindowMessages(dp);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].message, kWmQuit);
        // The installer's own windows get no cancel command.
        for (const std::string& e : Calls({"SendMessageA"}))
            if (e.find(", 0x111, ") != std::string::npos) {
                EXPECT_EQ(e.rfind("SendMessageA(" + std::to_string(settings) + ",", 0), 0u) << e;
            }
    }
}

}  // namespace
