// Activation and the uninstall entry on the host simulation: the 8.3 decision and the alternate
// names, the profile write on both platform families, the wide path, the registry values and
// their byte counts, and the bounds of the path buffers.
#include <string.h>

#include <algorithm>
#include <filesystem>

#include "app/activation.h"
#include "app/settings.h"
#include "platform/host/host.h"
#include "platform/host/host_shell.h"
#include "tests/unit/app/install_fixture.h"

namespace {

const char kUninstallKey[] =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\UnInstall\\";

class Activation : public InstallTest {
  protected:
    // Puts a file of that name into the Windows directory.
    void Install(const std::string& name) {
        std::filesystem::create_directories(WindowsFile(""));
        WriteWholeFile(WindowsFile(name), BytesOf("saver"));
    }
    void UseName(const std::string& name) { strcpy(Settings.ScreenSaverFileName, name.c_str()); }
};

TEST_F(Activation, ShortFormPathDecisions) {
    struct Row {
        const char* name;
        bool plain;
        const char* with_alternates;  // path written when the file system makes 8.3 names
    };
    const Row rows[] = {
        {"abcdefgh.scr", true, "C:\\WINDOWS\\abcdefgh.scr"},
        {"AB_12.S", true, "C:\\WINDOWS\\AB_12.S"},
        {"noext", true, "C:\\WINDOWS\\noext"},
        {"abcdefghi.scr", false, "C:\\WINDOWS\\ABCDEF~1.SCR"},
        {"my saver.scr", false, "C:\\WINDOWS\\MYSAVE~1.SCR"},
        // '-' counts as a separator for the scan, but the name is a valid 8.3 name on disk.
        {"my-saver.scr", false, "C:\\WINDOWS\\my-saver.scr"},
        {"a.b.scr", false, "C:\\WINDOWS\\AB~1.SCR"},
        {"caf\xE9.scr", false, "C:\\WINDOWS\\CAF_~1.SCR"},
        {"abc.scrx", false, "C:\\WINDOWS\\ABC~1.SCR"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (bool alternates : {true, false}) {
            SetUp();
            Install(row.name);
            HostUseShortNames(alternates);
            EXPECT_EQ(IsPlainShortName(row.name), row.plain ? 1 : 0);
            std::string expected =
                alternates ? row.with_alternates : std::string("C:\\WINDOWS\\") + row.name;
            EXPECT_EQ(std::string(ShortFormPath(row.name)), expected);
            // A plain name never asks the file system; a search that opened is closed.
            EXPECT_EQ(HostEventsStartingWith("FindFirstFileA(").size(), row.plain ? 0u : 1u);
            EXPECT_EQ(HostEventsStartingWith("FindClose(").size(), row.plain ? 0u : 1u);
        }
    }
}

TEST_F(Activation, AlternateNamesStayDistinctInOneFolder) {
    Install("my saver.scr");
    Install("my savings.scr");
    EXPECT_STREQ(ShortFormPath("my saver.scr"), "C:\\WINDOWS\\MYSAVE~1.SCR");
    EXPECT_STREQ(ShortFormPath("my savings.scr"), "C:\\WINDOWS\\MYSAVI~1.SCR");
    Install("my saver2.scr");
    EXPECT_STREQ(ShortFormPath("my saver2.scr"), "C:\\WINDOWS\\MYSAVE~2.SCR");
}

TEST_F(Activation, AMissingFileGivesTheLongPath) {
    EXPECT_STREQ(ShortFormPath("my saver.scr"), "C:\\WINDOWS\\my saver.scr");
    EXPECT_TRUE(HostEventsStartingWith("FindClose(").empty()) << "no search opened";
}

TEST_F(Activation, WindowsDirPathAndItsBounds) {
    struct Row {
        const char* tag;
        std::string windows_dir;  // "" makes GetWindowsDirectoryA fail
        const char* name;
        std::string expected;
    };
    const std::string long_dir = "C:\\" + std::string(250, 'd');
    const Row rows[] = {
        {"directory and name", "C:\\WINDOWS", "Aquarium.scr", "C:\\WINDOWS\\Aquarium.scr"},
        {"a root keeps its one backslash", "C:\\", "x.scr", "C:\\x.scr"},
        {"GetWindowsDirectoryA fails", "", "Aquarium.scr", "c:\\win95\\Aquarium.scr"},
        {"a directory too long for the buffer counts as a failure", "C:\\" + std::string(300, 'd'),
         "a.scr", "c:\\win95\\a.scr"},
        {"259 characters fit", long_dir, "a.scr", long_dir + "\\a.scr"},
        {"260 characters are refused, never cut", long_dir + "x", "a.scr", "(none)"},
        {"a long name is refused too", long_dir, "Aquarium.scr", "(none)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        SetUp();
        HostSetWindowsDirectory(row.windows_dir);
        HostFailWindowsDirectory(row.windows_dir.empty());
        const char* path = WindowsDirPath(row.name);
        EXPECT_EQ(path ? std::string(path) : "(none)", row.expected);
        if (!path) {
            EXPECT_EQ(ShortFormPath(row.name), nullptr);
        }
    }
}

// The wide path names the file CreateFileA made from the same bytes: each byte as the system's
// ANSI code page reads it (MultiByteToWideChar's tables; a byte a table leaves undefined keeps
// its own value), whatever code page the author's texts were written in.
TEST_F(Activation, WidenForProfileReadsTheSystemCodePage) {
    struct Row {
        uint32_t system_code_page;
        std::string path;
        std::vector<uint16_t> expected;
    };
    const Row rows[] = {
        {1252, "\x01\x7F\x80\xFF", {0x01, 0x7F, 0x20AC, 0xFF}},
        {1252, "\xA6\xE9\x81", {0xA6, 0xE9, 0x81}},
        {1251, "\x01\x7F\x80\xFF", {0x01, 0x7F, 0x0402, 0x044F}},
        {1251, "\xA6\xE9\x98", {0xA6, 0x0439, 0x98}},
        {1253, "\xE1\xA6", {0x03B1, 0xA6}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.system_code_page);
        HostSetACP(row.system_code_page);
        const uint16_t* wide = WidenForProfile(row.path.c_str());
        ASSERT_NE(wide, nullptr);
        std::vector<uint16_t> got(wide, wide + row.expected.size() + 1);
        std::vector<uint16_t> want = row.expected;
        want.push_back(0);
        EXPECT_EQ(got, want);
    }
    // 255 bytes fill the 256 units with the terminating zero; one more does not fit and is
    // refused rather than cut.
    std::string path(255, 'p');
    const uint16_t* wide = WidenForProfile(path.c_str());
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(wide[254], 'p');
    EXPECT_EQ(wide[255], 0);
    EXPECT_EQ(WidenForProfile((path + "p").c_str()), nullptr);
}

// The INFO code page field no longer plays a part: only the system's code page names the file.
TEST_F(Activation, ProfileWriteOnEachPlatformFamily) {
    struct Row {
        const char* tag;
        uint32_t platform;
        uint32_t system_code_page;
        uint32_t info_code_page;
        const char* name;
        std::string expected_call;
        std::string expected_value;  // as system.ini holds it (the wide call's text in UTF-8)
    };
    const Row rows[] = {
        {"NT, Western", 2, 1252, 0, "x\xA6y.scr",
         "WritePrivateProfileStringW(boot, SCRNSAVE.EXE, C:\\WINDOWS\\x\\u00A6y.scr, system.ini)",
         "C:\\WINDOWS\\x\xC2\xA6y.scr"},
        {"NT, Western, INFO code page 1251", 2, 1252, 1251, "x\xA6y.scr",
         "WritePrivateProfileStringW(boot, SCRNSAVE.EXE, C:\\WINDOWS\\x\\u00A6y.scr, system.ini)",
         "C:\\WINDOWS\\x\xC2\xA6y.scr"},
        {"NT, Cyrillic", 2, 1251, 1251, "x\xE9y.scr",
         "WritePrivateProfileStringW(boot, SCRNSAVE.EXE, C:\\WINDOWS\\x\\u0439y.scr, system.ini)",
         "C:\\WINDOWS\\x\xD0\xB9y.scr"},
        {"NT, Cyrillic, INFO code page 0", 2, 1251, 0, "\x80\xFF.scr",
         "WritePrivateProfileStringW(boot, SCRNSAVE.EXE, C:\\WINDOWS\\\\u0402\\u044F.scr, "
         "system.ini)",
         "C:\\WINDOWS\\\xD0\x82\xD1\x8F.scr"},
        {"9x family", 1, 1251, 1251, "x\xA6y.scr",
         "WritePrivateProfileStringA(boot, SCRNSAVE.EXE, C:\\WINDOWS\\x\\xA6y.scr, system.ini)",
         "C:\\WINDOWS\\x\xA6y.scr"},
        {"GetVersionExA fails: not NT", 0, 1252, 0, "x\xA6y.scr",
         "WritePrivateProfileStringA(boot, SCRNSAVE.EXE, C:\\WINDOWS\\x\\xA6y.scr, system.ini)",
         "C:\\WINDOWS\\x\xA6y.scr"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        SetUp();
        HostSetPlatformId(row.platform);
        HostSetACP(row.system_code_page);
        HostUseShortNames(false);
        UseName(row.name);
        Install(Settings.ScreenSaverFileName);
        InfoBytes info;
        info.Word(kInfoCodePage, row.info_code_page);
        memcpy(InfoBlock, info.bytes.data(), kInfoSize);
        ActivateScreenSaver();
        std::vector<std::string> calls =
            Calls({"GetVersionExA", "WritePrivateProfileStringA", "WritePrivateProfileStringW",
                   "SystemParametersInfoA"});
        ASSERT_EQ(calls.size(), 3u);
        EXPECT_EQ(calls[0].substr(0, 14), "GetVersionExA(");
        EXPECT_EQ(calls[1], row.expected_call + " = 1");
        EXPECT_EQ(calls[2], "SystemParametersInfoA(17, 1, NULL, 1) = 1");
        std::string value;
        ASSERT_TRUE(HostProfileValue("system.ini", "boot", "SCRNSAVE.EXE", &value));
        EXPECT_EQ(value, row.expected_value);
        std::string active;
        EXPECT_TRUE(HostRegistryValue("HKEY_CURRENT_USER\\Control Panel\\Desktop",
                                      "ScreenSaveActive", nullptr, &active));
        EXPECT_EQ(active, "1");
    }
}

TEST_F(Activation, TheEightThreeNameReachesSystemIni) {
    UseName("my saver.scr");
    Install("my saver.scr");
    HostSetPlatformId(1);
    ActivateScreenSaver();
    std::string value;
    ASSERT_TRUE(HostProfileValue("system.ini", "boot", "SCRNSAVE.EXE", &value));
    EXPECT_EQ(value, "C:\\WINDOWS\\MYSAVE~1.SCR");
}

TEST_F(Activation, SystemIniIsWrittenWithTheProfileRules) {
    struct Row {
        const char* tag;
        std::string before;
        std::string after;
    };
    const Row rows[] = {
        {"no file: section and key made", "", "[boot]\r\nSCRNSAVE.EXE=C:\\WINDOWS\\a.scr\r\n"},
        {"key updated in place, matched without regard to case",
         "[Boot]\r\nshell=Explorer.exe\r\nscrnsave.exe=old.scr\r\nmouse.drv=mouse.drv\r\n"
         "[drivers]\r\nwave=x\r\n",
         "[Boot]\r\nshell=Explorer.exe\r\nSCRNSAVE.EXE=C:\\WINDOWS\\a.scr\r\nmouse.drv=mouse."
         "drv\r\n"
         "[drivers]\r\nwave=x\r\n"},
        {"missing key appended after the section's last line",
         "[386Enh]\r\nwoafont=dosapp.fon\r\n\r\n[boot]\r\nshell=Explorer.exe\r\n\r\n[drivers]\r\n",
         "[386Enh]\r\nwoafont=dosapp.fon\r\n\r\n[boot]\r\nshell=Explorer.exe\r\n"
         "SCRNSAVE.EXE=C:\\WINDOWS\\a.scr\r\n\r\n[drivers]\r\n"},
        {"missing section appended at the end", "[drivers]\r\nwave=x\r\n",
         "[drivers]\r\nwave=x\r\n\r\n[boot]\r\nSCRNSAVE.EXE=C:\\WINDOWS\\a.scr\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        for (uint32_t platform : {1u, 2u}) {
            SetUp();
            HostSetPlatformId(platform);
            std::string ini = HostProfileFile("system.ini");
            if (!row.before.empty()) WriteWholeFile(ini, BytesOf(row.before));
            UseName("a.scr");
            ActivateScreenSaver();
            Bytes after = ReadWholeFile(ini);
            EXPECT_EQ(std::string(after.begin(), after.end()), row.after) << platform;
        }
    }
}

TEST_F(Activation, UninstallEntryValuesAndByteCounts) {
    struct Row {
        const char* tag;
        const char* file_name;
        std::string display_name;
        std::string command;
    };
    const Row rows[] = {
        {"the example", "Aquarium.scr", "Screensaver (Aquarium)",
         "\"C:\\WINDOWS\\Aquarium.scr\" /U"},
        {"a name with a space is quoted, long form", "my saver.scr", "Screensaver (my saver)",
         "\"C:\\WINDOWS\\my saver.scr\" /U"},
        {"the default name, shorter than its extension", "1", "Screensaver ()",
         "\"C:\\WINDOWS\\1\" /U"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        SetUp();
        UseName(row.file_name);
        EXPECT_EQ(RegisterUninstall(), 1);
        std::string key = kUninstallKey + std::string(row.file_name);
        uint32_t type = 0;
        std::string data;
        ASSERT_TRUE(HostRegistryValue(key, "DisplayName", &type, &data));
        EXPECT_EQ(type, 1u);
        EXPECT_EQ(data, row.display_name);
        ASSERT_TRUE(HostRegistryValue(key, "UninstallString", &type, &data));
        EXPECT_EQ(data, row.command);
        // Each value has its own create, set and close; the counts leave the NUL out.
        std::vector<std::string> calls =
            Calls({"RegCreateKeyExA", "RegSetValueExA", "RegCloseKey"});
        ASSERT_GE(calls.size(), 6u);
        EXPECT_EQ(calls[0].find("RegCreateKeyExA(HKEY_LOCAL_MACHINE, SOFTWARE\\Microsoft\\Windows\\"
                                "CurrentVersion\\UnInstall\\" +
                                std::string(row.file_name) + ", 0xF003F) = 0"),
                  0u);
        EXPECT_NE(calls[1].find("DisplayName, 1, \"" + row.display_name + "\", " +
                                std::to_string(row.display_name.size()) + ") = 0"),
                  std::string::npos)
            << calls[1];
        EXPECT_NE(calls[4].find(", " + std::to_string(row.command.size()) + ") = 0"),
                  std::string::npos)
            << calls[4];
        EXPECT_EQ(calls[2].substr(0, 12), "RegCloseKey(");
        EXPECT_EQ(calls[5].substr(0, 12), "RegCloseKey(");
    }
    EXPECT_EQ(std::string("Screensaver (Aquarium)").size(), 22u);
}

// What Apps & Features shows beside the name: publisher and version from the installer's own
// version resource in the system's code page, the installed file as icon and its size in KB
// (rounded up), no Modify or Repair.
TEST_F(Activation, UninstallDetailsFromTheVersionResource) {
    struct Row {
        const char* tag;
        Bytes resource;
        uint32_t code_page;
        size_t file_bytes;      // SIZE_MAX: no file
        const char* publisher;  // null: not written
        const char* version;
        int kilobytes;  // -1: not written
    };
    // A string's node starts 6 bytes before its key.
    const auto node_of = [](const Bytes& block, const std::string& key) {
        Bytes wide;
        for (char c : key)
            wide.insert(wide.end(), {static_cast<uint8_t>(c), 0});
        return std::search(block.begin(), block.end(), wide.begin(), wide.end()) - block.begin() -
               6;
    };
    // The block ends inside the version's value.
    Bytes cut = VersionResource("Acme", "1.0");
    cut.resize(node_of(cut, "ProductVersion") + 6 + 30 + 20);
    // A publisher that claims 65 code units: more than the 64 the installer converts.
    Bytes long_string = VersionResource("Acme", "1.0");
    long_string[node_of(long_string, "CompanyName") + 2] = 65;
    // On Windows the version resource lies among the program's other resources.
    Bytes among = Bytes(24, 0x5A);
    const Bytes version = VersionResource("Acme", "3.1");
    among.insert(among.end(), version.begin(), version.end());
    const Row rows[] = {
        {"publisher in code page 1252, version as sspack wrote it",
         VersionResource("Soci\xC3\xA9t\xC3\xA9 \xE2\x82\xAC", "2.1.0.3"), 1252, 2049,
         "Soci\xE9t\xE9 \x80", "2.1.0.3", 3},
        {"a character the code page lacks becomes '?'",
         VersionResource("Soci\xC3\xA9t\xC3\xA9", "1.0"), 1251, 1024, "Soci?t?", "1.0", 1},
        {"no Publisher= in the manifest: sspack leaves the value zeros", VersionResource("", "0.1"),
         1252, 0, nullptr, "0.1", 0},
        {"63 characters fit", VersionResource(std::string(63, 'P'), "1.0"), 1252, 1,
         "PPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPP", "1.0", 1},
        {"no version resource", {}, 1252, 5000, nullptr, nullptr, 5},
        {"a value that runs past the block is not read", cut, 1252, 5000, "Acme", nullptr, 5},
        {"a value longer than the buffer is left out", long_string, 1252, 5000, nullptr, "1.0", 5},
        {"found among other resources", among, 1252, 5000, "Acme", "3.1", 5},
        {"no installed file: no size", VersionResource("Acme", "1.0"), 1252, SIZE_MAX, "Acme",
         "1.0", -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        SetUp();
        UseName("Aquarium.scr");
        HostSetACP(row.code_page);
        HostSetVersionResource(row.resource);
        if (row.file_bytes != SIZE_MAX) {
            std::filesystem::create_directories(WindowsFile(""));
            WriteWholeFile(WindowsFile("Aquarium.scr"), Bytes(row.file_bytes, 'x'));
        }
        EXPECT_EQ(RegisterUninstall(), 1);
        const std::string key = kUninstallKey + std::string("Aquarium.scr");
        uint32_t type = 0;
        std::string data;
        EXPECT_EQ(HostRegistryValue(key, "Publisher", &type, &data), row.publisher != nullptr);
        if (row.publisher) {
            EXPECT_EQ(data, row.publisher);
        }
        EXPECT_EQ(HostRegistryValue(key, "DisplayVersion", &type, &data), row.version != nullptr);
        if (row.version) {
            EXPECT_EQ(data, row.version);
        }
        ASSERT_TRUE(HostRegistryValue(key, "DisplayIcon", &type, &data));
        EXPECT_EQ(type, 1u);
        EXPECT_EQ(data, "C:\\WINDOWS\\Aquarium.scr");
        const auto dword = [](uint32_t v) { return std::string(reinterpret_cast<char*>(&v), 4); };
        EXPECT_EQ(HostRegistryValue(key, "EstimatedSize", &type, &data), row.kilobytes >= 0);
        if (row.kilobytes >= 0) {
            EXPECT_EQ(type, 4u);
            EXPECT_EQ(data, dword(static_cast<uint32_t>(row.kilobytes)));
        }
        for (const char* name : {"NoModify", "NoRepair"}) {
            ASSERT_TRUE(HostRegistryValue(key, name, &type, &data)) << name;
            EXPECT_EQ(type, 4u);
            EXPECT_EQ(data, dword(1)) << name;
        }
        // The two values of the entry keep their own create, set and close; the details
        // follow under one more.
        std::vector<std::string> calls = Calls({"RegCreateKeyExA", "RegCloseKey"});
        EXPECT_EQ(calls.size(), 6u);
    }
}

TEST_F(Activation, AnExistingKeyIsReusedAndItsValuesReplaced) {
    HostSetRegistryText(
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\UnInstall\\"
        "Aquarium.scr]\n"
        "\"DisplayName\" = REG_SZ, 3 bytes: \"old\"\n"
        "\"Publisher\" = REG_SZ, 4 bytes: \"keep\"\n"
        "\"uninstallstring\" = REG_SZ, 7 bytes: \"old /U\\x00\"\n");
    UseName("Aquarium.scr");
    EXPECT_EQ(RegisterUninstall(), 1);
    std::vector<std::string> creates = HostEventsStartingWith("RegCreateKeyExA(");
    ASSERT_EQ(creates.size(), 3u);
    for (const std::string& c : creates)
        EXPECT_NE(c.find("opened existing"), std::string::npos) << c;
    std::string key = kUninstallKey + std::string("Aquarium.scr");
    std::string data;
    ASSERT_TRUE(HostRegistryValue(key, "DisplayName", nullptr, &data));
    EXPECT_EQ(data, "Screensaver (Aquarium)");
    ASSERT_TRUE(HostRegistryValue(key, "UninstallString", nullptr, &data));
    EXPECT_EQ(data, "\"C:\\WINDOWS\\Aquarium.scr\" /U");
    ASSERT_TRUE(HostRegistryValue(key, "Publisher", nullptr, &data));
    EXPECT_EQ(data, "keep");
    // Still one block for the key and one line per value.
    std::string text = HostRegistryText();
    EXPECT_EQ(text.find("UnInstall\\Aquarium.scr]"), text.rfind("UnInstall\\Aquarium.scr]"));
    EXPECT_NE(text.find("\"DisplayName\" = REG_SZ, 22 bytes: \"Screensaver (Aquarium)\""),
              std::string::npos)
        << text;
}

TEST_F(Activation, RegistryFailuresAreNotShownAndTheSecondValueIsTried) {
    struct Row {
        const char* tag;
        HostShellCall call;
        int nth;
        int result;
        bool display_name, uninstall_string;
        size_t closes;
    };
    const Row rows[] = {
        {"first create fails", kHostRegCreateKey, 1, 1, false, true, 2},
        {"second create fails", kHostRegCreateKey, 2, 0, true, false, 2},
        {"first set fails: the key is closed anyway", kHostRegSetValue, 1, 1, false, true, 3},
        {"second set fails", kHostRegSetValue, 2, 0, true, false, 3},
        {"the details' create fails: the entry stands", kHostRegCreateKey, 3, 1, true, true, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        SetUp();
        UseName("Aquarium.scr");
        HostFailShellCall(row.call, row.nth);
        EXPECT_EQ(RegisterUninstall(), row.result);
        std::string key = kUninstallKey + std::string("Aquarium.scr");
        EXPECT_EQ(HostRegistryValue(key, "DisplayName", nullptr, nullptr), row.display_name);
        EXPECT_EQ(HostRegistryValue(key, "UninstallString", nullptr, nullptr),
                  row.uninstall_string);
        EXPECT_EQ(HostEventsStartingWith("RegCloseKey(").size(), row.closes);
        EXPECT_TRUE(HostMessageBoxes().empty());
    }
}

TEST_F(Activation, AnUninstallCommandThatDoesNotFitIsNotStored) {
    // The quoted path and " /U" take the path's length + 5: a path of 250 fills the 255
    // characters, one more does not fit. Such an entry is not written at all, neither cut nor
    // without its " /U".
    const std::string name = "Aquarium.scr";
    for (size_t path_length : {250u, 251u, 259u}) {
        SCOPED_TRACE(path_length);
        SetUp();
        HostSetWindowsDirectory("C:\\" + std::string(path_length - 4 - name.size(), 'w'));
        UseName(name);
        char command[kUninstallCommandSize + 8];
        memset(command, 0x5A, sizeof command);
        const int fits = path_length <= 250;
        EXPECT_EQ(FormUninstallCommand(command), fits);
        EXPECT_EQ(strlen(command), fits ? path_length + 5 : 0u);
        EXPECT_EQ(command[kUninstallCommandSize], 0x5A) << "nothing written past the buffer";
        EXPECT_EQ(RegisterUninstall(), fits);
        std::string key = kUninstallKey + name;
        std::string data;
        EXPECT_EQ(HostRegistryValue(key, "UninstallString", nullptr, &data), fits);
        EXPECT_EQ(HostRegistryValue(key, "DisplayName", nullptr, nullptr), fits);
        if (fits) {
            EXPECT_EQ(data.substr(data.size() - 4), "\" /U");
        }
    }
}

}  // namespace
