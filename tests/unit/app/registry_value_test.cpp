// The registry text reader: a value is read into 256 bytes and must end in a NUL there; an
// expandable value gets only the Windows folder. And the view of HKEY_CLASSES_ROOT that Windows
// gives, which the installer must not read.
#include <stdlib.h>

#include <gtest/gtest.h>

#include "app/followup.h"
#include "platform/host/host.h"
#include "platform/host/host_shell.h"
#include "platform/launch.h"
#include "tests/unit/support/test_support.h"

namespace {

TEST(ReadDefaultValue, AValueMustFitWithItsNul) {
    struct Row {
        const char* tag;
        size_t length;  // characters stored, without a NUL
        bool with_nul;
        bool read;
    } rows[] = {
        {"255 characters and the NUL", 255, true, true},
        {"255 characters, no NUL: terminated here", 255, false, true},
        {"256 characters, no NUL: cut, so refused", 256, false, false},
        {"256 characters and the NUL", 256, true, false},
    };
    ScratchDir dir;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        HostReset();
        HostShellReset();
        HostSetSandbox(dir.path());
        std::string data(row.length, 'v');
        size_t size = row.length + (row.with_nul ? 1 : 0);
        std::string quoted = data + (row.with_nul ? "\\x00" : "");
        HostSetRegistryText("[HKEY_CLASSES_ROOT\\.big]\n\"\" = REG_SZ, " + std::to_string(size) +
                            " bytes: \"" + quoted + "\"\n");
        const char* text = ReadDefaultValue(kHkeyClassesRoot, ".big");
        ASSERT_EQ(text != nullptr, row.read);
        if (text) {
            EXPECT_EQ(std::string(text), data);
        }
    }
}

// A value line of the simulated registry: `data` as \xNN escapes, with its NUL.
std::string ValueLine(const char* type, const std::string& data) {
    std::string quoted;
    for (unsigned char c : data + std::string(1, '\0')) {
        char hex[8];
        snprintf(hex, sizeof hex, "\\x%02X", c);
        quoted += hex;
    }
    return "\"\" = " + std::string(type) + ", " + std::to_string(data.size() + 1) + " bytes: \"" +
           quoted + "\"\n";
}

// HKEY_CURRENT_USER\Environment sets these for every program of the user, elevated ones too;
// only the Windows folder as the system reports it may stand for %SystemRoot% and %windir%.
TEST(ReadDefaultValue, AnExpandableValueGetsOnlyTheWindowsFolder) {
    struct Row {
        const char* tag;
        const char* type;
        std::string value;
        const char* expected;  // null: nothing is read
    } rows[] = {
        {"SystemRoot", "REG_EXPAND_SZ", "%SystemRoot%\\system32\\NOTEPAD.EXE %1",
         "D:\\WIN\\system32\\NOTEPAD.EXE %1"},
        {"windir in capitals", "REG_EXPAND_SZ", "\"%WINDIR%\\hh.exe\" %1",
         "\"D:\\WIN\\hh.exe\" %1"},
        {"both, twice", "REG_EXPAND_SZ", "%systemroot%%windir%;%WinDir%", "D:\\WIND:\\WIN;D:\\WIN"},
        {"other names stay", "REG_EXPAND_SZ", "%ProgramFiles%\\x.exe \"%1\" %*",
         "%ProgramFiles%\\x.exe \"%1\" %*"},
        {"unclosed and doubled", "REG_EXPAND_SZ", "100%% %SystemRoot %windir",
         "100%% %SystemRoot %windir"},
        {"edge bytes pass", "REG_EXPAND_SZ", "\x01\x7F\x80\xFF%windir%",
         "\x01\x7F\x80\xFF"
         "D:\\WIN"},
        {"a plain text is not expanded", "REG_SZ", "%SystemRoot%\\x.exe", "%SystemRoot%\\x.exe"},
        // With a Windows folder of 63 characters:
        {"exactly 255 characters", "REG_EXPAND_SZ", std::string(192, 'a') + "%windir%", nullptr},
        {"one more does not fit", "REG_EXPAND_SZ", std::string(193, 'a') + "%windir%", nullptr},
    };
    const std::string long_dir = "D:\\" + std::string(60, 'w');
    const std::string fits = std::string(192, 'a') + long_dir;
    rows[7].expected = fits.c_str();
    ScratchDir dir;
    setenv("SystemRoot", "C:\\Users\\j\\evil", 1);
    setenv("windir", "C:\\Users\\j\\evil", 1);
    setenv("ProgramFiles", "C:\\Users\\j\\evil", 1);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        HostReset();
        HostShellReset();
        HostSetSandbox(dir.path());
        HostSetWindowsDirectory(&row - rows >= 7 ? long_dir : "D:\\WIN");
        HostSetRegistryText("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\x]\n" +
                            ValueLine(row.type, row.value));
        const char* text = ReadDefaultValue(kHkeyLocalMachine, "SOFTWARE\\Classes\\x");
        EXPECT_EQ(text ? std::string(text) : "(none)", row.expected ? row.expected : "(none)");
    }
    // Without a Windows folder nothing expandable is read.
    HostFailWindowsDirectory(true);
    EXPECT_EQ(ReadDefaultValue(kHkeyLocalMachine, "SOFTWARE\\Classes\\x"), nullptr);
    unsetenv("SystemRoot");
    unsetenv("windir");
    unsetenv("ProgramFiles");
}

// What Windows shows under HKEY_CLASSES_ROOT: on the NT family a key of the user's classes
// hides the machine's key of the same name, for elevated programs too; the 9x family has only
// the machine's. The machine's own key stays readable under HKEY_LOCAL_MACHINE.
TEST(ClassesRoot, TheUsersClassesHideTheMachinesOnTheNtFamily) {
    ScratchDir dir;
    const std::string registry =
        "[HKEY_CLASSES_ROOT\\txtfile\\shell\\Open\\Command]\n" +
        ValueLine("REG_SZ", "notepad.exe %1") + "[HKEY_CLASSES_ROOT\\.txt]\n" +
        ValueLine("REG_SZ", "txtfile") +
        "[HKEY_CURRENT_USER\\Software\\Classes\\txtfile\\shell\\Open\\Command]\n" +
        ValueLine("REG_SZ", "C:\\Users\\j\\evil.exe %1");
    struct Row {
        uint32_t family;
        const char* root_command;
    } rows[] = {{2, "C:\\Users\\j\\evil.exe %1"}, {1, "notepad.exe %1"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.family);
        HostReset();
        HostShellReset();
        HostSetSandbox(dir.path());
        HostSetPlatformId(row.family);
        HostSetRegistryText(registry);
        const char* text = ReadDefaultValue(kHkeyClassesRoot, "txtfile\\shell\\Open\\Command");
        EXPECT_EQ(text ? std::string(text) : "(none)", row.root_command);
        text = ReadDefaultValue(kHkeyClassesRoot, ".txt");
        EXPECT_EQ(text ? std::string(text) : "(none)", "txtfile");
        text =
            ReadDefaultValue(kHkeyLocalMachine, "Software\\Classes\\txtfile\\shell\\Open\\Command");
        EXPECT_EQ(text ? std::string(text) : "(none)", "notepad.exe %1");
        // A parent key exists while a key below it does.
        PlatKey key;
        EXPECT_EQ(PlatRegOpenKey(kHkeyLocalMachine, "Software\\Classes", &key), kErrorSuccess);
        PlatRegCloseKey(key);
    }
}

}  // namespace
