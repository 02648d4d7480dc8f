// The "WinInit.Ini" edit of the removal at restart (the 9x family, MoveFileExA missing) with each
// call it makes failing: the file keeps every byte it had and gains at most the header and the
// line; a failed size query or seek never cuts it short or grows it to gigabytes.
#include <filesystem>
#include <string>

#include "app/followup.h"
#include "platform/host/host.h"
#include "platform/host/host_launch.h"
#include "platform/host/host_shell.h"
#include "tests/unit/app/install_fixture.h"

namespace {

class WinInitFaults : public InstallTest {};

TEST_F(WinInitFaults, FailedCallsNeverLoseOrInventContent) {
    const std::string before = "[boot]\r\nx=1\r\n[Rename]\r\nNUL=C:\\old.txt\r\n";
    const std::string line = "NUL=C:\\WINDOWS\\TEMP\\readme.htm\r\n";
    struct Row {
        const char* tag;
        void (*arm)();
        bool edited;
    };
    const Row rows[] = {
        {"no fault", [] {}, true},
        {"size query fails", [] { HostFailCall(kHostFileSize, 1); }, false},
        {"seek fails", [] { HostFailCall(kHostSeek, 1); }, true},
        {"mapping fails", [] { HostFailMapping(1); }, false},
        {"view fails", [] { HostFailMapping(2); }, false},
        {"Windows directory fails", [] { HostFailWindowsDirectory(true); }, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        InstallTest::SetUp();
        HostLaunchReset();
        HostSetMoveFileExResult(0);
        const std::string ini = WindowsFile("WinInit.Ini");
        std::filesystem::create_directories(WindowsFile(""));
        WriteWholeFile(ini, BytesOf(before));
        HostResetFaults();
        row.arm();
        ScheduleRemovalAtRestart("C:\\WINDOWS\\TEMP\\readme.htm");
        HostResetFaults();
        HostFailMapping(0);
        HostFailWindowsDirectory(false);
        ASSERT_LT(std::filesystem::file_size(ini), 1u << 20);
        const Bytes after = ReadWholeFile(ini);
        const std::string text(after.begin(), after.end());
        if (row.edited) {
            // A seek that fails leaves the zero bytes the mapping added behind the edit.
            ASSERT_GE(text.size(), before.size() + line.size());
            EXPECT_EQ(text.substr(0, before.size() + line.size()),
                      "[boot]\r\nx=1\r\n[Rename]\r\n" + line + "NUL=C:\\old.txt\r\n");
            EXPECT_LE(text.size(), before.size() + line.size() + 10 + line.size());
        } else {
            ASSERT_GE(text.size(), before.size());
            EXPECT_EQ(text.substr(0, before.size()), before);
            EXPECT_LE(text.size(), before.size() + line.size() + 10);
        }
    }
}

}  // namespace
