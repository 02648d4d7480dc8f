// A whole run on each Windows family, as Windows behaves on it: the NT family writes system.ini
// with the wide call and has MoveFileExA remove a document at the next restart; the 9x family
// writes it with the 8-bit call and has no MoveFileExA (it fails there), so the removal goes into
// [Rename] of WinInit.Ini. The end-to-end tests cannot show the 9x removal: Wine set to a 9x
// version still carries MoveFileExA out.
#include <gtest/gtest.h>

#include "app/main_flow.h"
#include "app/settings.h"
#include "platform/entry.h"
#include "platform/host/host.h"
#include "platform/host/host_launch.h"
#include "platform/host/host_shell.h"
#include "tests/unit/app/install_fixture.h"

namespace {

// .txt opens with notepad.exe.
constexpr char kTextAssociation[] =
    "[HKEY_CLASSES_ROOT\\.txt]\n\"\" = REG_SZ, 7 bytes: \"txtfile\"\n"
    "[HKEY_CLASSES_ROOT\\txtfile\\shell\\Open\\Command]\n"
    "\"\" = REG_SZ, 14 bytes: \"notepad.exe %1\"\n";
const std::string kDocument = std::string(kDocumentFolder) + "\\readme.txt";

class FamilyTest : public InstallTest {
  protected:
    void SetUp() override {
        InstallTest::SetUp();
        ResetInstallerState();
    }
    // An installer of "Aurora Borealis" (no 8.3 name) whose follow-up opens readme.txt, which
    // the started program keeps open.
    void InstallHeldDocument() {
        InfoBytes info;
        info.Word(kInfoFollowUpAction, 3).String(kInfoDocumentPath, "readme.txt");
        info.Name("Aurora Borealis");
        std::vector<PayloadEntry> payload = StandardPayload(info.bytes);
        payload.push_back({"LESMI", BytesOf("read me\r\n"), 0, ""});
        UsePayload(payload);
        HostSetRegistryText(kTextAssociation);
        HostHoldFile(HostRealPath(kDocument.c_str()));
    }
    std::string WinInit() {
        std::string path = WindowsFile("WinInit.Ini");
        if (!FileExists(path)) return "(none)";
        Bytes bytes = ReadWholeFile(path);
        return std::string(bytes.begin(), bytes.end());
    }
};

TEST_F(FamilyTest, ActivationAndRemovalAtRestartOnEachFamily) {
    struct Row {
        const char* family;
        uint32_t platform;
        int move_file_ex;  // what MoveFileExA answers there
        const char* profile_call;
        size_t moves;
        std::string win_init;
    };
    const Row rows[] = {
        {"NT", 2, 1,
         "WritePrivateProfileStringW(boot, SCRNSAVE.EXE, C:\\WINDOWS\\AURORA~1.SCR, system.ini) = "
         "1",
         2, "(none)"},
        {"9x", 1, 0,
         "WritePrivateProfileStringA(boot, SCRNSAVE.EXE, C:\\WINDOWS\\AURORA~1.SCR, system.ini) = "
         "1",
         0, "[Rename]\r\nNUL=" + kDocument + "\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.family);
        SetUp();
        HostSetPlatformId(row.platform);
        HostSetMoveFileExResult(row.move_file_ex);
        InstallHeldDocument();
        EXPECT_EQ(InstallerMain(1), 0);
        std::vector<std::string> calls = Calls(
            {"WritePrivateProfileStringA", "WritePrivateProfileStringW", "SystemParametersInfoA"});
        ASSERT_EQ(calls.size(), 2u);
        EXPECT_EQ(calls[0], row.profile_call);
        EXPECT_EQ(calls[1], "SystemParametersInfoA(17, 1, NULL, 1) = 1");
        std::string value;
        ASSERT_TRUE(HostProfileValue("system.ini", "boot", "SCRNSAVE.EXE", &value));
        EXPECT_EQ(value, "C:\\WINDOWS\\AURORA~1.SCR");
        // MoveFileExA is always tried first, with a null new name: the document, then its
        // folder, which cannot go while the document is in it.
        std::vector<std::string> moves = Calls({"MoveFileExA"});
        ASSERT_EQ(moves.size(), 2u);
        EXPECT_EQ(moves[0].substr(0, moves[0].rfind(" = ")),
                  "MoveFileExA(" + kDocument + ", (null), 4)");
        EXPECT_EQ(moves[1].substr(0, moves[1].rfind(" = ")),
                  std::string("MoveFileExA(") + kDocumentFolder + ", (null), 4)");
        EXPECT_EQ(HostScheduledMoves().size(), row.moves);
        EXPECT_EQ(WinInit(), row.win_init);
        EXPECT_TRUE(FileExists(HostRealPath(kDocument.c_str())));
    }
}

}  // namespace
