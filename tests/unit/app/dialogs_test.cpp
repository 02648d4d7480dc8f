// The dialogs and the progress hooks on the host simulation: message pumping during the build,
// the progress range, the confirmation dialog and the hand-over of the focus.
#include <gtest/gtest.h>

#include "app/dialogs.h"
#include "app/main_flow.h"
#include "app/report.h"
#include "app/settings.h"
#include "archive/sticky_error.h"
#include "compress/block_stream.h"
#include "platform/host/host.h"
#include "platform/ui.h"

namespace {

// A window of the installer that counts what reaches its procedure.
std::vector<uint32_t> dispatched;
intptr_t CountingProc(PlatWindow, uint32_t message, uintptr_t, intptr_t) {
    dispatched.push_back(message);
    return 0;
}

class Dialogs : public ::testing::Test {
  protected:
    void SetUp() override {
        HostReset();
        ResetInstallerState();
        SetStickyErrorMode(0);
        dispatched.clear();
        PlatRegisterClass("Counter", 0, CountingProc, 200, 6);
        window_ = PlatCreateWindow(0, "Counter", "c", 0);
        dispatched.clear();
    }
    void Post(uint32_t message) { PlatPostMessage(window_, message, 0, 0); }
    // Calls the tick hook until it has pumped once (the 128th call).
    void TickToPump() {
        while (true) {
            uint32_t before = TickCount;
            PumpOnTick();
            if ((before + 1) % 128 == 0) return;
        }
    }
    PlatWindow window_ = 0;
};

TEST_F(Dialogs, PumpingRhythm) {
    Post(kWmUser);
    for (int i = 0; i < 127; ++i)
        PumpOnTick();
    EXPECT_TRUE(dispatched.empty());  // nothing before the 128th call
    PumpOnTick();
    EXPECT_EQ(dispatched, std::vector<uint32_t>{kWmUser});
}

// WM_PAINT is not a queued message: it comes while a window's update region is not empty, and
// taking it with PM_REMOVE does not take it away. A window whose procedure never validates
// itself (no BeginPaint/EndPaint, no default processing) gets it for ever; the third paint in a
// row ends the pumping, so the build goes on.
TEST_F(Dialogs, ThreePaintsInARowStopThePump) {
    PlatWindow never_painted = PlatCreateWindow(0, "Counter", "c", kWsVisible);
    dispatched.clear();
    TickToPump();
    EXPECT_EQ(dispatched, (std::vector<uint32_t>{kWmPaint, kWmPaint}));  // the third is not
    PlatMessage left;
    ASSERT_TRUE(PlatPeekMessage(&left));
    EXPECT_EQ(left.message, kWmPaint);
    EXPECT_EQ(left.window, never_painted);
}

// A paint whose handling queues a message (as the progress dialog's does): the message comes
// after the paint, and the next call of the tick hook pumps again at once.
std::vector<uint32_t> posting_seen;
intptr_t PostingProc(PlatWindow window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
    posting_seen.push_back(message);
    if (message == kWmPaint) PlatPostMessage(window, kWmUser, 0, 0);
    return PlatDefWindowProc(window, message, wparam, lparam);  // validates the window
}

TEST_F(Dialogs, APaintFollowedByAnotherMessagePumpsAgainAtOnce) {
    posting_seen.clear();
    PlatRegisterClass("Posting", 0, PostingProc, 200, 6);
    PlatWindow window = PlatCreateWindow(0, "Posting", "p", kWsVisible);
    TickToPump();
    EXPECT_EQ(posting_seen, (std::vector<uint32_t>{kWmCreate, kWmPaint, kWmUser}));
    EXPECT_EQ(TickCount, 127u);
    PlatPostMessage(window, kWmUser + 1, 0, 0);
    PumpOnTick();  // the very next call pumps
    EXPECT_EQ(posting_seen.back(), kWmUser + 1);
}

TEST_F(Dialogs, ProgressRangeAndPositions) {
    struct Row {
        int32_t total;
        uint32_t range;
    } rows[] = {{7, 0},
                {1023, 0},
                {1024, 1},
                {5 * 1024 * 1024, 5120},
                {65535 * 1024, 65535},
                {65536 * 1024, 0},
                {65537 * 1024 + 10, 1}};
    for (const Row& r : rows) {
        HostClearEvents();
        Settings.progress_total = r.total;
        PlatWindow dialog = 1000;  // any; the procedure only uses its controls
        ProgressDialogProc(dialog, kWmInitDialog, 0, 0);
        auto sent = HostEventsStartingWith("SendMessageA(");
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_NE(
            sent[0].find("0x401, 0, " + std::to_string(static_cast<long>(r.range) << 16) + ")"),
            std::string::npos)
            << r.total << ": " << sent[0];
    }
    // Positions are not cut to 16 bits, and the count grows over the whole build.
    ProgressDialog = 0;
    AdvanceProgress(100 * 1024 * 1024);
    EXPECT_EQ(BytesDone, 100u * 1024 * 1024);
    EXPECT_TRUE(HostEventsStartingWith("SendMessageA(0, 0x402").empty());
    // Past 2 GiB the count goes on (no sign), and at 4 GiB it stops at its top.
    struct Step {
        uint32_t bytes;
        uint32_t done;
    } steps[] = {{0x7FFFFFFFu - 100 * 1024 * 1024, 0x7FFFFFFFu},
                 {1, 0x80000000u},
                 {0x7FFFFC00u, 0xFFFFFC00u},
                 {0x400, 0xFFFFFFFFu},
                 {0xFFFFFFFFu, 0xFFFFFFFFu}};
    for (const Step& step : steps) {
        HostClearEvents();
        ProgressDialog = 1000;
        AdvanceProgress(step.bytes);
        EXPECT_EQ(BytesDone, step.done);
        const auto sent = HostEventsStartingWith("SendMessageA(");
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_NE(sent[0].find("0x402, " + std::to_string(step.done / 1024) + ", 0)"),
                  std::string::npos)
            << sent[0];
    }
    // With the dialog open each report moves the bar to the whole KiB done so far.
    ProgressDialog = 1000;
    BytesDone = 0;
    HostClearEvents();
    for (uint32_t bytes : {1023u, 1u, 2047u, 100u * 1024 * 1024})
        AdvanceProgress(bytes);
    EXPECT_EQ(HostEventsStartingWith("SendMessageA(0, 0x402"),
              (std::vector<std::string>{
                  "SendMessageA(0, 0x402, 0, 0)", "SendMessageA(0, 0x402, 1, 0)",
                  "SendMessageA(0, 0x402, 2, 0)", "SendMessageA(0, 0x402, 102402, 0)"}));
    ProgressDialog = 0;
    EXPECT_EQ(StreamProgressHooks.byte_count_hook, AdvanceProgress);
    EXPECT_EQ(StreamProgressHooks.tick_hook, PumpOnTick);
}

TEST_F(Dialogs, ConfirmationAnswers) {
    strcpy(Settings.question, "Install Aurora?");
    strcpy(Settings.yes_label, "Ja");
    strcpy(Settings.no_label, "Nein");
    strcpy(InstallerTitle, "Aurora");
    struct Row {
        int button;
        int confirmed;
    } rows[] = {{kIdYes, 1}, {kIdNo, 0}, {kIdCancel, 0}};
    for (const Row& r : rows) {
        HostQueueAnswer(r.button);
        EXPECT_EQ(AskConfirmation(), r.confirmed) << r.button;
    }
    auto texts = HostEventsStartingWith("SetWindowTextA(");
    ASSERT_GE(texts.size(), 4u);
    EXPECT_NE(texts[0].find("\"Aurora\""), std::string::npos);
    EXPECT_NE(texts[1].find("\"Install Aurora?\""), std::string::npos);
    EXPECT_NE(texts[2].find("\"Ja\""), std::string::npos);
    EXPECT_NE(texts[3].find("\"Nein\""), std::string::npos);
}

TEST_F(Dialogs, CenteredOnTheDesktop) {
    CenterOnDesktop(window_);  // 300 x 200 on 1024 x 768
    auto moves = HostEventsStartingWith("MoveWindow(");
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0], "MoveWindow(1, 362, 284, 300, 200, 1)");
}

TEST_F(Dialogs, RefocusSkipsUnfitWindows) {
    HostWindowSpec good{"Editor"};
    PlatWindow target = HostAddWindow(good);
    HostAddWindow({"Hidden", 0, false});
    HostAddWindow({"Minimised", 0, true, true});
    HostAddWindow({""});
    HostAddWindow({"Always on top", 0, true, false, kWsExTopmost});
    RefocusTopWindow();
    auto fronts = HostEventsStartingWith("SetForegroundWindow(");
    ASSERT_EQ(fronts.size(), 1u);
    EXPECT_EQ(fronts[0], "SetForegroundWindow(" + std::to_string(target) + ")");
}

TEST_F(Dialogs, RefocusGivesUpAfter64Windows) {
    HostAddWindow({"Far down"});
    for (int i = 0; i < 64; ++i)
        HostAddWindow({"", 0, false});
    RefocusTopWindow();
    EXPECT_TRUE(HostEventsStartingWith("SetForegroundWindow(").empty());
}

}  // namespace
