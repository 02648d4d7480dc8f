// Fault injection across whole installs, from the start message to the removal of the opened
// document: each platform call fails in turn (file reads and writes failed and cut short,
// creations, deletions, seeks, the registry, the profile write, the directories, the mapping
// and MoveFileExA of the deferred removal, the start of the document's program), and the disk
// fills at a sweep of sizes. Every run ends in a complete installation whose screen saver file
// reads back entry by entry, or in one failure message and no screen saver file; no run writes
// outside the Windows and temporary directories or shows more than one message.
//
// SS_HARDENING_FULL=1 sweeps the disk at every 7th byte instead of about 250 sizes.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "app/build.h"
#include "app/followup.h"
#include "app/main_flow.h"
#include "app/report.h"
#include "app/settings.h"
#include "platform/entry.h"
#include "platform/host/host.h"
#include "platform/host/host_launch.h"
#include "platform/host/host_shell.h"
#include "platform/ui.h"
#include "tests/unit/app/install_fixture.h"

namespace fs = std::filesystem;

namespace {

// .htm opens in a browser: the file type's class, and its open command.
const char kAssociation[] =
    "[HKEY_CLASSES_ROOT\\.htm]\n\"\" = REG_SZ, 8 bytes: \"htmlfile\"\n"
    "[HKEY_CLASSES_ROOT\\htmlfile\\shell\\Open\\Command]\n"
    "\"\" = REG_SZ, 21 bytes: \"browser.exe \\x22%1\\x22 -new\"\n";

// Where the document of the progress-dialog variant is placed.
std::string PlacedDocument() {
    return std::string(kDocumentFolder) + "\\readme.htm";
}

// One kind of fault: how to arm it for its `nth` call.
struct FaultKind {
    const char* name;
    void (*arm)(int nth);
    int (*count)();  // calls of the kind in the run that just ended
};

#define FILE_FAULT(kind, short_count)                                                              \
    {                                                                                              \
#kind "/" #short_count,                                                                    \
            [](int nth) { HostFailCall(kind, nth, short_count); },                                 \
                                                                [] { return HostCallCount(kind); } \
    }
#define SHELL_FAULT(kind)                                                                          \
    {                                                                                              \
#kind, [](int nth) { HostFailShellCall(kind, nth); },                                      \
                                                           [] { return HostShellCallCount(kind); } \
    }

const FaultKind kFaults[] = {
    FILE_FAULT(kHostOpenRead, 0u),      FILE_FAULT(kHostCreateWrite, 0u),
    FILE_FAULT(kHostRead, 0u),          FILE_FAULT(kHostRead, 7u),
    FILE_FAULT(kHostWrite, 0u),         FILE_FAULT(kHostWrite, 7u),
    FILE_FAULT(kHostSeek, 0u),          FILE_FAULT(kHostDelete, 0u),
    FILE_FAULT(kHostFileSize, 0u),      FILE_FAULT(kHostModuleFileName, 0u),
    SHELL_FAULT(kHostWindowsDirectory), SHELL_FAULT(kHostProfileWrite),
    SHELL_FAULT(kHostSystemParameters), SHELL_FAULT(kHostFindFirstFile),
    SHELL_FAULT(kHostRegCreateKey),     SHELL_FAULT(kHostRegSetValue),
};

class WholeInstallFaults : public InstallTest {
  protected:
    void SetUp() override {
        InstallTest::SetUp();
        UseVariant(true);
    }

    // The payload: with `dialog`, the build runs inside the progress dialog and the document is
    // opened afterwards; without, a confirmation is asked, the build runs directly and the new
    // screen saver is started.
    void UseVariant(bool dialog) {
        dialog_ = dialog;
        InfoBytes info;
        info.Name("Aquarium").Text(1, "Installed.").Text(2, "Installation failed.");
        if (dialog) {
            info.Text(3, "Installing Aquarium").Word(kInfoShowProgress, 1);
            info.Word(kInfoFollowUpAction, 3).String(kInfoDocumentPath, "C:\\docs\\readme.htm");
        } else {
            info.Text(0, "Install Aquarium?").Word(kInfoFollowUpAction, 2);
        }
        payload_ = StandardPayload(info.bytes);
        payload_.push_back({"PREVIEWB", PseudoRandomBytes(300, 5), Compress, ""});
        payload_.push_back({"PREVIEWF", {}, 0, "MOVIE"});
        payload_.push_back({"ADDTL", BytesOf("extra file"), 0x44, ""});
        payload_.push_back({"ADDTL01", PseudoRandomBytes(20000, 6), Compress, ""});
        payload_.push_back({"ADDTL02", BytesOf("third of the series"), 0, ""});
        payload_.push_back({"LESMI", BytesOf("<html>read me</html>"), Compress, ""});
        UsePayload(payload_);
        installer_ = ReadWholeFile(dir_.File("setup.exe"));
        for (const PayloadEntry& e : payload_)
            expected_[e.name] = e.data;
        expected_["PREVIEWF"] = expected_["MOVIE"];
        expected_["INFO"].resize(kInfoSize, 0);
    }

    // A fresh machine with the association of .htm, the installer in place, faults cleared.
    void Fresh() {
        InstallTest::SetUp();
        ResetInstallerState();
        HostSetModuleFileName(dir_.File("setup.exe"));
        HostSetRegistryText(kAssociation);
        HostClearEvents();
        HostResetFaults();
        if (!dialog_) HostQueueAnswer(kIdYes);
        HostSetPlatformId(family_);
    }

    // Every file of the sandbox, relative to it.
    std::set<std::string> SandboxFiles() const {
        std::set<std::string> out;
        for (const auto& entry : fs::recursive_directory_iterator(dir_.path()))
            if (!entry.is_directory())
                out.insert(fs::relative(entry.path(), dir_.path()).generic_string());
        return out;
    }

    // The outcome of the run that just ended.
    void Check(const std::string& tag) {
        SCOPED_TRACE(tag);
        HostResetFaults();
        ++runs_;
        // The confirmation is no report; at most one report follows it.
        std::vector<HostMessageBox> boxes;
        for (const HostMessageBox& box : HostMessageBoxes())
            if (box.text != "Install Aquarium?") boxes.push_back(box);
        ASSERT_LE(boxes.size(), 1u);
        for (const std::string& file : SandboxFiles()) {
            const bool allowed =
                file.rfind("c/WINDOWS/", 0) == 0 || file == "setup.exe" || file == "registry.txt";
            EXPECT_TRUE(allowed) << "written outside the Windows and temporary directories: "
                                 << file;
        }
        EXPECT_EQ(ReadWholeFile(dir_.File("setup.exe")), installer_);
        // The document's folder outlives the run only while its program still holds the document
        // or with its removal arranged for the restart, and the installer never keeps its own
        // hold.
        EXPECT_EQ(DocumentHold, kInvalidFile);
        if (fs::exists(HostRealPath(kDocumentFolder))) {
            const std::vector<std::string>& moves = HostScheduledMoves();
            EXPECT_TRUE(HostFileHeld(HostRealPath(PlacedDocument().c_str())) ||
                        std::find(moves.begin(), moves.end(),
                                  std::string(kDocumentFolder) + " -> ") != moves.end())
                << "a document folder left behind";
        }
        // The screen saver file: "<name>.scr", or the placeholder name "1" when INFO could not
        // be read before the build.
        std::vector<std::string> savers;
        for (const std::string& file : SandboxFiles())
            if ((file.size() > 4 && file.compare(file.size() - 4, 4, ".scr") == 0) ||
                file == std::string("c/WINDOWS/") + Settings.ScreenSaverFileName)
                savers.push_back(file);
        if (InstallSucceeded != 1) {
            ++failures_;
            EXPECT_TRUE(savers.empty()) << savers[0];
            // The failure text of INFO, the defaults' placeholder when INFO could not be read,
            // or the damaged-installer text when the payload check failed.
            if (!boxes.empty()) {
                EXPECT_TRUE(boxes[0].text == "Installation failed." || boxes[0].text == "-" ||
                            boxes[0].text == kDamagedInstallerText)
                    << boxes[0].text;
            }
            return;
        }
        ++successes_;
        ASSERT_EQ(savers.size(), 1u) << ::testing::PrintToString(SandboxFiles());
        EXPECT_EQ(savers[0], std::string("c/WINDOWS/") + Settings.ScreenSaverFileName);
        std::vector<std::pair<std::string, Bytes>> entries;
        ASSERT_TRUE(ReadArchive(dir_.File(savers[0]), &entries));
        std::set<std::string> names;
        for (const auto& e : entries) {
            names.insert(e.first);
            EXPECT_EQ(e.second, expected_[e.first]) << e.first;
        }
        for (const char* required : {"SAVER", "STUB", "MOVIE", "INFO", "ZETT", "KMDL"})
            EXPECT_EQ(names.count(required), 1u) << required;
        Bytes program = SaverProgram();
        Bytes head = ReadWholeFile(dir_.File(savers[0]));
        head.resize(program.size());
        EXPECT_EQ(head, program);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_TRUE(boxes[0].text == "Installed." || boxes[0].text == "-") << boxes[0].text;
    }

    std::vector<PayloadEntry> payload_;
    std::map<std::string, Bytes> expected_;
    Bytes installer_;
    bool dialog_ = true;
    uint32_t family_ = 2;  // the NT family; 1 the 9x family
    std::string tag_;      // names the variant's failure points
    int runs_ = 0, successes_ = 0, failures_ = 0;

    // Every fault of kFaults at each call the clean run made, then the variants of the removal.
    void Sweep(std::set<std::pair<std::string, int>>* points);
};

TEST_F(WholeInstallFaults, EveryPlatformCallFailsInTurn) {
    std::set<std::pair<std::string, int>> points;
    const struct {
        const char* tag;
        bool dialog;
        uint32_t family;
    } variants[] = {
        {"", true, 2},
        {"direct ", false, 2},
        {"9x ", true, 1},
    };
    for (const auto& v : variants) {
        SCOPED_TRACE(std::string(v.tag) + (v.dialog ? "progress dialog, document"
                                                    : "confirmation, screen saver started"));
        UseVariant(v.dialog);
        family_ = v.family;
        tag_ = v.tag;
        Sweep(&points);
    }
    printf("[ hardening ] %d runs, %zu distinct failure points, %d installed, %d failed\n", runs_,
           points.size(), successes_, failures_);
    EXPECT_GT(successes_, 10);
    EXPECT_GT(failures_, 10);
}

void WholeInstallFaults::Sweep(std::set<std::pair<std::string, int>>* points) {
    Fresh();
    ASSERT_EQ(InstallerMain(1), 0);
    int counts[sizeof kFaults / sizeof kFaults[0]];
    std::string calls;
    for (size_t k = 0; k < sizeof kFaults / sizeof kFaults[0]; ++k) {
        counts[k] = kFaults[k].count();
        calls += std::string(" ") + kFaults[k].name + "=" + std::to_string(counts[k]);
    }
    printf("[ hardening ] calls of a clean run:%s\n", calls.c_str());
    // The counts first: the check reads the screen saver file back with the counters reset.
    Check("no fault");
    ASSERT_EQ(InstallSucceeded, 1);
    // The document was opened in its program, or the screen saver started.
    ASSERT_EQ(HostStartedCommands().size(), 1u);

    for (size_t k = 0; k < sizeof kFaults / sizeof kFaults[0]; ++k) {
        for (int nth = 1; nth <= counts[k]; ++nth) {
            Fresh();
            kFaults[k].arm(nth);
            InstallerMain(1);
            Check(std::string(kFaults[k].name) + " call " + std::to_string(nth));
            std::string kind = kFaults[k].name;
            points->insert({tag_ + kind.substr(0, kind.find('/')), nth});
        }
    }
    // The removal at restart: MoveFileExA missing, the WinInit.Ini mapping failing, the
    // program not starting, the document held open by it.
    struct Variant {
        const char* name;
        void (*arm)(WholeInstallFaults*);
    };
    const Variant variants[] = {
        {"document held, MoveFileExA missing",
         [](WholeInstallFaults* t) {
             HostHoldFile(HostRealPath(PlacedDocument().c_str()));
             HostSetMoveFileExResult(0);
             (void)t;
         }},
        {"document held, mapping fails",
         [](WholeInstallFaults*) {
             HostHoldFile(HostRealPath(PlacedDocument().c_str()));
             HostSetMoveFileExResult(0);
             HostFailMapping(1);
         }},
        {"document held, view fails",
         [](WholeInstallFaults*) {
             HostHoldFile(HostRealPath(PlacedDocument().c_str()));
             HostSetMoveFileExResult(0);
             HostFailMapping(2);
         }},
        {"program does not start", [](WholeInstallFaults*) { HostSetWinExecResult(2); }},
        {"Windows directory missing", [](WholeInstallFaults*) { HostFailWindowsDirectory(true); }},
    };
    for (const Variant& v : variants) {
        Fresh();
        v.arm(this);
        InstallerMain(1);
        Check(v.name);
        HostReleaseFile(HostRealPath(PlacedDocument().c_str()));
        points->insert({tag_ + v.name, 0});
    }
}

TEST_F(WholeInstallFaults, TheDiskFillsAtAnyPoint) {
    Fresh();
    InstallerMain(1);
    Check("no limit");
    ASSERT_EQ(InstallSucceeded, 1);
    uint64_t needed = 0;
    for (const std::string& file : SandboxFiles())
        if (file.rfind("c/WINDOWS/", 0) == 0) needed += ReadWholeFile(dir_.File(file)).size();
    needed += expected_["LESMI"].size() + 4096;
    const char* full = getenv("SS_HARDENING_FULL");
    const uint64_t step = full && *full == '1' ? 7 : needed / 250 + 1;
    int installed = 0;
    for (uint64_t limit = 0; limit <= needed; limit += step) {
        Fresh();
        HostSetDiskLimit(limit);
        InstallerMain(1);
        Check("disk of " + std::to_string(limit) + " bytes");
        installed += InstallSucceeded == 1;
    }
    printf("[ hardening ] disk sweep: %d runs, step %llu bytes, %d installed\n", runs_ - 1,
           static_cast<unsigned long long>(step), installed);
    EXPECT_GT(installed, 0);
}

}  // namespace
