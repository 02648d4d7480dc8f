// Fault injection across whole builds: each file operation of a build fails once in turn (and a
// disk fills at many points). Every run must end either in success with a screen saver file
// whose entries all read back as the payload gave them, or in the failure message with no
// screen saver file left; never success over a damaged file.
#include <string.h>

#include <map>

#include "app/build.h"
#include "app/report.h"
#include "app/settings.h"
#include "archive/sticky_error.h"
#include "platform/host/host.h"
#include "platform/host/host_shell.h"
#include "tests/unit/app/install_fixture.h"

namespace {

const char* const kRequired[] = {"SAVER",    "STUB",     "MOVIE", "INFO",
                                 "PREVIEWB", "PREVIEWF", "ZETT",  "KMDL"};

class BuildFaults : public InstallTest {
  protected:
    void SetUp() override {
        InstallTest::SetUp();
        InfoBytes info;
        info.Name("Aquarium").Text(1, "Installed.").Text(2, "Installation failed.");
        info.Word(kInfoFollowUpAction, 3).String(kInfoDocumentPath, "C:\\docs\\readme.htm");
        payload_ = StandardPayload(info.bytes);
        payload_.push_back({"PREVIEWB", PseudoRandomBytes(300, 5), Compress, ""});
        payload_.push_back({"PREVIEWF", {}, 0, "MOVIE"});
        payload_.push_back({"ADDTL", BytesOf("extra file"), 0x44, ""});
        payload_.push_back({"ADDTL01", PseudoRandomBytes(20000, 6), Compress, ""});
        payload_.push_back({"LESMI", BytesOf("<html>read me</html>"), Compress, ""});
        UsePayload(payload_);
        for (const PayloadEntry& e : payload_)
            expected_[e.name] = e.data;
        expected_["PREVIEWF"] = expected_["MOVIE"];
        expected_["INFO"].resize(kInfoSize, 0);
    }

    // A fresh machine with the same payload; the settings read before any fault.
    void Restart() {
        InstallTest::SetUp();
        HostSetModuleFileName(dir_.File("setup.exe"));
        LoadSettings();
        HostClearEvents();
        HostResetFaults();
    }

    // The outcome of the build that just ran, checked against the rule above.
    void Check(const std::string& tag) {
        SCOPED_TRACE(tag);
        HostResetFaults();
        const std::string file = WindowsFile("Aquarium.scr");
        ASSERT_LE(HostMessageBoxes().size(), 1u);
        if (InstallSucceeded == 0) {
            ++failures_;
            EXPECT_FALSE(FileExists(file));
            ASSERT_EQ(HostMessageBoxes().size(), 1u);
            EXPECT_EQ(HostMessageBoxes()[0].text, "Installation failed.");
            EXPECT_FALSE(HostRegistryKeyExists(
                "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\UnInstall\\"
                "Aquarium.scr"));
            return;
        }
        ++successes_;
        ASSERT_EQ(InstallSucceeded, 1);
        std::vector<std::pair<std::string, Bytes>> entries;
        ASSERT_TRUE(ReadArchive(file, &entries));
        for (size_t i = 0; i < 8; ++i) {
            ASSERT_LT(i, entries.size());
            EXPECT_EQ(entries[i].first, kRequired[i]);
        }
        for (const auto& e : entries)
            EXPECT_EQ(e.second, expected_[e.first]) << e.first;
        Bytes program = SaverProgram();
        Bytes head = ReadWholeFile(file);
        head.resize(program.size());
        EXPECT_EQ(head, program);
        ASSERT_EQ(HostMessageBoxes().size(), 1u);
        EXPECT_EQ(HostMessageBoxes()[0].text, "Installed.");
        // A document that could not be extracted only cancels the follow-up action.
        if (Settings.FollowUpAction == 3) {
            EXPECT_EQ(ReadWholeFile(HostRealPath(DocumentTempPath)), expected_["LESMI"]);
        }
    }

    std::vector<PayloadEntry> payload_;
    std::map<std::string, Bytes> expected_;
    int successes_ = 0;
    int failures_ = 0;
};

TEST_F(BuildFaults, EachFileOperationFailsOnceInTurn) {
    Restart();
    BuildScreenSaver();
    int counts[kHostCallKinds];
    for (int kind = 0; kind < kHostCallKinds; ++kind)
        counts[kind] = HostCallCount(static_cast<HostCall>(kind));
    Check("no fault");
    ASSERT_GT(counts[kHostWrite], 10);
    ASSERT_GT(counts[kHostRead], 10);

    for (int kind = 0; kind < kHostCallKinds; ++kind) {
        bool moves_bytes = kind == kHostRead || kind == kHostWrite;
        for (int nth = 1; nth <= counts[kind]; ++nth) {
            for (uint32_t short_count : {0u, 5u}) {
                if (short_count && !moves_bytes) continue;
                Restart();
                HostFailCall(static_cast<HostCall>(kind), nth, short_count);
                BuildScreenSaver();
                Check("kind " + std::to_string(kind) + ", call " + std::to_string(nth) +
                      ", moving " + std::to_string(short_count));
            }
        }
    }
    // Both outcomes occur: failures of the required entries, and quiet ends of the series and
    // of the document.
    EXPECT_GT(failures_, 10);
    EXPECT_GT(successes_, 3);
}

TEST_F(BuildFaults, TheDiskFillsAtAnyPoint) {
    Restart();
    BuildScreenSaver();
    Check("no limit");
    const uint64_t needed =
        ReadWholeFile(WindowsFile("Aquarium.scr")).size() + expected_["LESMI"].size();
    for (uint64_t limit = 0; limit <= needed; limit += needed / 40 + 1) {
        Restart();
        HostSetDiskLimit(limit);
        BuildScreenSaver();
        Check("disk of " + std::to_string(limit) + " bytes");
    }
    // The last byte counts: the directory that ends the file.
    Restart();
    HostSetDiskLimit(needed - expected_["LESMI"].size() - 1);
    BuildScreenSaver();
    Check("one byte short");
    EXPECT_EQ(InstallSucceeded, 0);
}

}  // namespace
