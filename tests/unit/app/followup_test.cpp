// Follow-up actions: command lines from registered open commands, the association lookup, and
// the removal of the opened document at the next restart through WinInit.Ini.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/build.h"
#include "app/followup.h"
#include "app/settings.h"
#include "platform/host/host.h"
#include "platform/host/host_launch.h"
#include "platform/host/host_shell.h"
#include "tests/unit/support/test_support.h"

namespace {

TEST(FindNoCase, Places) {
    struct Row {
        const char* text;
        const char* pattern;
        uint32_t result;
    } rows[] = {
        {"abc", "", 1},
        {"", "", 1},
        {"", "a", 0},
        {"[rename]\r\n", "[Rename]\r\n", 1},
        {"x[RENAME]", "[rename]", 2},
        {"abc", "abcd", 0},
        {"aab", "ab", 2},
        {"http://x", "://", 5},
        {"ABC", "c", 3},
        {"a\xC9", "\xE9", 0},  // only ASCII letters fold
    };
    for (const Row& r : rows)
        EXPECT_EQ(FindNoCase(r.text, r.pattern), r.result) << r.text;
}

TEST(FormCommandLine, Templates) {
    struct Row {
        const char* what;
        const char* command_template;
        const char* path;
        const char* expected;
    } rows[] = {
        {"quoted program and quoted %1", "\"C:\\Prog\\view.exe\" \"%1\"", "C:\\T\\a b.htm",
         "\"C:\\Prog\\view.exe\" \"C:\\T\\a b.htm\""},
        {"quoted, empty path", "\"C:\\Prog\\view.exe\" \"%1\"", "", "\"C:\\Prog\\view.exe\""},
        {"program, %1 and %*", "view.exe %1 %*", "d.txt", "view.exe d.txt   "},
        {"program alone", "notepad.exe", "d.txt", "notepad.exe d.txt"},
        {"only the first %1", "a %1 %1", "p", "a p %1"},
        {"only the first %*", "a %* %* %1", "p", "a    %* p"},
        {"stray %s stays", "cmd %s %1", "p", "cmd %s p"},
        {"stray %n stays", "cmd %n%n %1", "p", "cmd %n%n p"},
        {"%% stays", "cmd 100%% %1", "p", "cmd 100%% p"},
        {"empty path, spaces before", "prog    %1 rest", "", "prog"},
    };
    for (const Row& r : rows) {
        char out[kCommandLineSize];
        ASSERT_EQ(FormCommandLine(out, sizeof out, r.command_template, r.path), 1) << r.what;
        EXPECT_STREQ(out, r.expected) << r.what;
    }
}

// A program given without a full path is never looked for in the installer's folder or the
// current one: it is made a path in the system folder, or in the Windows folder when only that
// holds it.
TEST(QualifyCommand, ProgramsBecomeFullPaths) {
    ScratchDir dir;
    struct Row {
        const char* what;
        std::vector<std::string> planted;  // programs that exist
        std::string system_dir;            // "" makes GetSystemDirectoryA fail
        const char* command;
        const char* result;  // nullptr: not started
    } rows[] = {
        {"a bare name",
         {},
         "C:\\WINDOWS\\system32",
         "Rundll32 Shell32.dll,Control_RunDLL Desk.cpl @0,1",
         "C:\\WINDOWS\\system32\\Rundll32 Shell32.dll,Control_RunDLL Desk.cpl @0,1"},
        {"only the Windows folder holds it",
         {"C:\\WINDOWS\\notepad.exe"},
         "C:\\WINDOWS\\system32",
         "notepad.exe C:\\TEMP\\a.txt",
         "C:\\WINDOWS\\notepad.exe C:\\TEMP\\a.txt"},
        {".exe is assumed",
         {"C:\\WINDOWS\\notepad.exe"},
         "C:\\WINDOWS\\system32",
         "notepad %1",
         "C:\\WINDOWS\\notepad %1"},
        {"the system folder comes first",
         {"C:\\WINDOWS\\notepad.exe", "C:\\WINDOWS\\system32\\notepad.exe"},
         "C:\\WINDOWS\\system32",
         "notepad.exe a",
         "C:\\WINDOWS\\system32\\notepad.exe a"},
        {"quoted stays quoted",
         {},
         "C:\\WINDOWS\\system32",
         "\"notepad.exe\" \"C:\\my doc.txt\"",
         "\"C:\\WINDOWS\\system32\\notepad.exe\" \"C:\\my doc.txt\""},
        {"an unclosed quote is closed",
         {},
         "C:\\WINDOWS\\system32",
         "\"notepad.exe",
         "\"C:\\WINDOWS\\system32\\notepad.exe\""},
        {"a folder relative to the current one",
         {},
         "C:\\WINDOWS\\system32",
         "sub\\tool.exe a",
         "C:\\WINDOWS\\system32\\sub\\tool.exe a"},
        {"a folder with a blank is quoted", {}, "D:\\sys tem", "tool a", "\"D:\\sys tem\\tool\" a"},
        {"a root folder", {}, "D:\\", "tool a", "D:\\tool a"},
        {"a full path",
         {},
         "C:\\WINDOWS\\system32",
         "C:\\Prog\\view.exe %1",
         "C:\\Prog\\view.exe %1"},
        {"a quoted full path",
         {},
         "C:\\WINDOWS\\system32",
         "\"C:\\Program Files\\v.exe\" x",
         "\"C:\\Program Files\\v.exe\" x"},
        {"forward slashes", {}, "C:\\WINDOWS\\system32", "c:/prog/v.exe x", "c:/prog/v.exe x"},
        {"a share",
         {},
         "C:\\WINDOWS\\system32",
         "\\\\server\\s\\v.exe x",
         "\\\\server\\s\\v.exe x"},
        {"a drive without a root is not a full path",
         {},
         "C:\\WINDOWS\\system32",
         "C:v.exe",
         "C:\\WINDOWS\\system32\\C:v.exe"},
        {"no program", {}, "C:\\WINDOWS\\system32", " x", nullptr},
        {"an empty command", {}, "C:\\WINDOWS\\system32", "", nullptr},
        {"no system folder", {}, "", "notepad.exe a", nullptr},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        HostReset();
        HostShellReset();
        HostSetSandbox(dir.path());
        std::filesystem::remove_all(dir.path() + "/c");
        for (const std::string& program : r.planted) {
            std::string real = HostRealPath(program.c_str());
            std::filesystem::create_directories(std::filesystem::path(real).parent_path());
            WriteWholeFile(real, BytesOf("MZ"));
        }
        HostSetSystemDirectory(r.system_dir);
        char out[kCommandLineSize];
        int ok = QualifyCommand(out, sizeof out, r.command);
        EXPECT_EQ(ok, r.result ? 1 : 0);
        if (r.result) {
            EXPECT_STREQ(out, r.result);
        }
        HostSetWinExecResult(33);
        EXPECT_EQ(StartProgram(r.command), r.result ? 33u : 0u);
        EXPECT_EQ(HostStartedCommands().size(), r.result ? 1u : 0u);
    }
    // A result that does not fit is not started, and nothing is written past the buffer.
    std::string command = "tool " + std::string(kCommandLineSize - 20, 'a');
    char out[kCommandLineSize + 1];
    out[kCommandLineSize] = 0x5A;
    EXPECT_EQ(QualifyCommand(out, kCommandLineSize, command.c_str()), 0);
    EXPECT_EQ(out[kCommandLineSize], 0x5A);
    EXPECT_EQ(StartProgram(command.c_str()), 0u);
    HostSetSandbox("");
}

TEST(FormCommandLine, NeverPastItsBuffer) {
    std::string long_path(400, 'p');
    char out[kCommandLineSize + 16];
    memset(out, 0xA5, sizeof out);
    EXPECT_EQ(FormCommandLine(out, kCommandLineSize, "prog \"%1\"", long_path.c_str()), 0);
    for (size_t i = kCommandLineSize; i < sizeof out; ++i)
        ASSERT_EQ(static_cast<uint8_t>(out[i]), 0xA5);
    std::string fits(kCommandLineSize - 1 - 5, 'q');
    EXPECT_EQ(FormCommandLine(out, kCommandLineSize, "prog", fits.c_str()), 1);
    EXPECT_EQ(strlen(out), kCommandLineSize - 1);
    std::string one_more(kCommandLineSize - 5, 'q');
    EXPECT_EQ(FormCommandLine(out, kCommandLineSize, "prog", one_more.c_str()), 0);
}

class Removal : public ::testing::Test {
  protected:
    void SetUp() override {
        HostReset();
        HostShellReset();
        HostLaunchReset();
        HostSetSandbox(dir_.path());
        HostSetMoveFileExResult(0);  // the fallback through WinInit.Ini
    }
    void TearDown() override { HostSetSandbox(""); }
    std::string IniPath() { return HostRealPath("C:\\WINDOWS\\WinInit.Ini"); }
    std::string Ini() {
        Bytes b = ReadWholeFile(IniPath());
        return std::string(b.begin(), b.end());
    }
    void SetIni(const std::string& text) {
        std::string dir = HostRealPath("C:\\WINDOWS");
        std::string command = "mkdir -p '" + dir + "'";
        ASSERT_EQ(system(command.c_str()), 0);
        WriteWholeFile(IniPath(), Bytes(text.begin(), text.end()));
    }
    ScratchDir dir_;
};

constexpr char kDoc[] = "C:\\WINDOWS\\TEMP\\readme.htm";
constexpr char kLine[] = "NUL=C:\\WINDOWS\\TEMP\\readme.htm\r\n";

// The deletion at the restart is MoveFileExA with a null new name; "NUL" would be a rename onto
// the device \??\NUL, and the file would stay.
TEST_F(Removal, MoveFileExFirst) {
    HostSetMoveFileExResult(1);
    EXPECT_NE(ScheduleRemovalAtRestart(kDoc), 0);
    ASSERT_EQ(HostScheduledMoves().size(), 1u);
    EXPECT_EQ(HostScheduledMoves()[0], std::string(kDoc) + " -> ");
    EXPECT_EQ(HostEventsStartingWith("MoveFileExA("),
              std::vector<std::string>{"MoveFileExA(" + std::string(kDoc) + ", (null), 4) = 1"});
    EXPECT_FALSE(FileExists(IniPath()));
}

TEST_F(Removal, WinInitCases) {
    const std::string with_line = std::string("[Rename]\r\n") + kLine;
    struct Row {
        const char* what;
        const char* before;  // null: no file
        std::string after;   // empty: unchanged
    } rows[] = {
        {"missing file", nullptr, std::string("[Rename]\r\n") + kLine},
        {"empty file", "", std::string("[Rename]\r\n") + kLine},
        {"other sections", "[Other]\r\na=b\r\n",
         std::string("[Other]\r\na=b\r\n[Rename]\r\n") + kLine},
        {"lower-case header", "[rename]\r\nNUL=x\r\n",
         std::string("[rename]\r\n") + kLine + "NUL=x\r\n"},
        {"header at the very end", "x=1\r\n[Rename]\r\n",
         std::string("x=1\r\n[Rename]\r\n") + kLine},
        {"header with trailing spaces", "[Rename]  \r\n",
         std::string("[Rename]  \r\n[Rename]\r\n") + kLine},
        {"header with a bare LF", "[Rename]\n", std::string("[Rename]\n[Rename]\r\n") + kLine},
        {"line already there", with_line.c_str(), ""},
        {"no final newline", "a=b", std::string("a=b[Rename]\r\n") + kLine},
    };
    for (Row& r : rows) {
        unlink(IniPath().c_str());
        if (r.before) SetIni(r.before);
        std::string expected = r.after.empty() ? std::string(r.before) : r.after;
        EXPECT_EQ(ScheduleRemovalAtRestart(kDoc), 1) << r.what;
        EXPECT_EQ(Ini(), expected) << r.what;
        // A second run for the same path changes nothing.
        EXPECT_EQ(ScheduleRemovalAtRestart(kDoc), 1) << r.what;
        EXPECT_EQ(Ini(), expected) << r.what;
    }
}

TEST_F(Removal, AnyContentStaysInsideTheMapping) {
    // NULs inside: the text ends at the first one, so a header after it is not seen and a new
    // section goes at the end of the content, never past the mapping.
    std::string with_nul("a\0[Rename]\r\n", 12);
    SetIni(with_nul);
    EXPECT_EQ(ScheduleRemovalAtRestart(kDoc), 1);
    EXPECT_EQ(Ini(), with_nul + "[Rename]\r\n" + kLine);
    for (uint32_t seed = 1; seed < 40; ++seed) {
        Bytes junk = PseudoRandomBytes(seed * 37, seed);
        SetIni(std::string(junk.begin(), junk.end()));
        EXPECT_EQ(ScheduleRemovalAtRestart(kDoc), 1);
        EXPECT_GE(Ini().size(), junk.size());
    }
}

TEST_F(Removal, AFailedMappingKeepsTheLength) {
    SetIni("[Other]\r\n");
    HostFailMapping(2);
    EXPECT_EQ(ScheduleRemovalAtRestart(kDoc), 0);
    EXPECT_EQ(Ini(), "[Other]\r\n");
    HostFailMapping(1);
    EXPECT_EQ(ScheduleRemovalAtRestart(kDoc), 0);
    EXPECT_EQ(Ini(), "[Other]\r\n");
}

}  // namespace
