// What an elevated installer in a downloads folder must not trust, each through a whole run on
// the host simulation: the screen saver's name from INFO, its own file between the question and
// the build, a module path that does not fit its buffer, and a Windows directory too long for
// the paths made from it.
#include <filesystem>

#include "app/build.h"
#include "app/main_flow.h"
#include "app/report.h"
#include "app/settings.h"
#include "platform/entry.h"
#include "platform/files.h"
#include "platform/host/host.h"
#include "platform/host/host_shell.h"
#include "platform/ui.h"
#include "tests/unit/app/install_fixture.h"

namespace fs = std::filesystem;

namespace {

const char kUninstallKey[] =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\UnInstall\\";

class InstallerTrust : public InstallTest {
  protected:
    void SetUp() override {
        InstallTest::SetUp();
        ResetInstallerState();
    }
    // The regular files of the sandbox other than the installer and the registry file.
    std::vector<std::string> WrittenFiles() const {
        std::vector<std::string> out;
        for (const auto& entry : fs::recursive_directory_iterator(dir_.path())) {
            if (!entry.is_regular_file()) continue;
            std::string path = entry.path().string();
            if (path == dir_.File("setup.exe") || path == HostRegistryFile()) continue;
            if (entry.path().filename().string().find("other") == 0) continue;
            out.push_back(path.substr(dir_.path().size()));
        }
        return out;
    }
    bool ScreenSaverSet() const {
        std::string value;
        return HostProfileValue("system.ini", "boot", "SCRNSAVE.EXE", &value);
    }
    std::vector<std::string> Boxes() const {
        std::vector<std::string> out;
        for (const HostMessageBox& box : HostMessageBoxes())
            out.push_back(box.text);
        return out;
    }
};

const std::vector<std::string> kFailed = {"Failed."};

TEST_F(InstallerTrust, OnlyAPlainScreenSaverNameIsInstalled) {
    struct Row {
        const char* name;  // the INFO name, ".scr" follows
        bool alternative;  // given as the alternative name of another code page
    };
    const Row unsafe[] = {
        {"..\\..\\..\\Users\\Public\\evil", false},
        {"sub/evil", false},
        {"C:evil", false},
        {"evil:stream", false},
        {"NUL", false},
        {"CON", false},
        {"com1", false},
        {"LPT1.txt", false},
        {"AUX .txt", false},
        {"evil.", false},
        {"evil ", false},
        {"ev\x01il", false},
        {"..", false},
        {"NUL", true},
        {"..\\evil", true},
    };
    for (const Row& row : unsafe) {
        SCOPED_TRACE(std::string(row.name) + (row.alternative ? " (alternative)" : ""));
        SetUp();
        InfoBytes info;
        info.Text(1, "Done.").Text(2, "Failed.");
        if (row.alternative)
            info.Name("Aurora").Word(kInfoCodePage, 1251).String(kInfoAltName, row.name);
        else
            info.Name(row.name);
        UsePayload(StandardPayload(info.bytes));
        EXPECT_EQ(InstallerMain(1), 0);
        EXPECT_EQ(Boxes(), kFailed);
        EXPECT_EQ(InstallSucceeded, 0);
        EXPECT_EQ(WrittenFiles(), std::vector<std::string>{});
        EXPECT_FALSE(ScreenSaverSet());
        EXPECT_FALSE(HostRegistryKeyExists(kUninstallKey + std::string(row.name) + ".scr"));
        EXPECT_TRUE(HostEventsStartingWith("RegCreateKeyExA(").empty());
    }
    // Names that look odd but are plain install as before.
    for (const char* name : {"Aurora", "my saver", "NULL", "COM10", "a.b", ".hidden"}) {
        SCOPED_TRACE(name);
        SetUp();
        UsePayload(StandardPayload(InfoBytes().Text(1, "Done.").Name(name).bytes));
        EXPECT_EQ(InstallerMain(1), 0);
        EXPECT_EQ(Boxes(), std::vector<std::string>{"Done."});
        EXPECT_TRUE(fs::exists(WindowsFile(std::string(name) + ".scr")));
    }
}

TEST(ScreenSaverName, TheNameAndItsStemAreBothSafe) {
    const std::string long_stem(kMaxNameLength, 'a');
    struct Row {
        std::string file_name;
        int safe;
    } rows[] = {
        {"Aurora.scr", 1},
        {".scr", 1},  // an empty INFO name
        {"evil .scr", 0},
        {"NUL.scr", 0},
        {"evil..scr", 0},
        {long_stem + ".scr", 1},
        // Longer than the settings make a name, with a trailing space far from the start.
        {long_stem + " .scr", 0},
        {long_stem + "a.scr", 0},
    };
    for (const Row& row : rows)
        EXPECT_EQ(IsSafeScreenSaverName(row.file_name.c_str()), row.safe) << row.file_name;
}

// Set by the hook that runs while the question shows: what another program managed then.
struct Attempts {
    int renamed = -1;
    int replaced = -1;
    int opened_for_writing = -1;
    int deleted = -1;
};
Attempts attempts;
std::string own_path, other_path;

void SwapWhileAsked() {
    attempts.renamed = HostRenameFile(own_path, own_path + ".old");
    attempts.replaced = HostRenameFile(other_path, own_path);
    FileHandle file = PlatCreateWrite(own_path.c_str());
    attempts.opened_for_writing = file != kInvalidFile;
    PlatClose(file);
    attempts.deleted = PlatDeleteFile(own_path.c_str());
}

TEST_F(InstallerTrust, TheOwnFileCannotBeSwappedWhileTheQuestionShows) {
    // Another installer, whose program differs, waits beside this one.
    std::vector<PayloadEntry> other = StandardPayload(InfoBytes().Name("Aurora").bytes);
    other[0].data = BytesOf("MZ another program entirely");
    UsePayload(other);
    other_path = dir_.File("other.exe");
    fs::rename(dir_.File("setup.exe"), other_path);
    UsePayload(StandardPayload(InfoBytes().Text(0, "Install?").Name("Aurora").bytes));
    own_path = dir_.File("setup.exe");
    Bytes approved = ReadWholeFile(own_path);

    attempts = Attempts();
    HostOnAnswer(SwapWhileAsked);
    HostQueueAnswer(kIdYes);
    EXPECT_EQ(InstallerMain(1), 0);
    EXPECT_EQ(attempts.renamed, 0);
    EXPECT_EQ(attempts.replaced, 0);
    EXPECT_EQ(attempts.opened_for_writing, 0);
    EXPECT_EQ(attempts.deleted, 0);
    EXPECT_EQ(InstallSucceeded, 1);
    EXPECT_EQ(ReadWholeFile(own_path), approved);
    std::vector<std::pair<std::string, Bytes>> entries;
    ASSERT_TRUE(ReadArchive(WindowsFile("Aurora.scr"), &entries));
    EXPECT_EQ(entries[0].second, SaverProgram()) << "the approved payload was installed";
    // Once the run is over the file is free again.
    EXPECT_EQ(HostRenameFile(own_path, own_path + ".old"), 1);
}

TEST_F(InstallerTrust, AModulePathThatFillsItsBufferIsNoPath) {
    // The path of the running program is 256 characters; cut to 255 it names another installer.
    std::string folder = dir_.path() + "/" + std::string(100, 'f') + "/";
    std::string cut = folder + std::string(255 - folder.size(), 'x');
    fs::create_directories(folder);
    UsePayload(StandardPayload(InfoBytes().Text(1, "Done.").Name("Aurora").bytes));
    fs::rename(dir_.File("setup.exe"), cut);
    HostSetModuleFileName(cut + "y");

    char buffer[256];
    EXPECT_EQ(PlatModuleFileName(buffer, sizeof buffer), 0u);
    EXPECT_STREQ(buffer, "");
    HostQueueAnswer(kIdYes);  // the built-in question of an unreadable file
    EXPECT_EQ(InstallerMain(1), 0);
    EXPECT_EQ(InstallSucceeded, 0);
    EXPECT_FALSE(fs::exists(WindowsFile("Aurora.scr")));
    EXPECT_TRUE(HostEventsStartingWith("CreateFileA(" + cut).empty()) << "the cut path is opened";

    // 255 characters fit the buffer with the terminating zero and are used as they are.
    SetUp();
    HostSetModuleFileName(cut);
    EXPECT_EQ(PlatModuleFileName(buffer, sizeof buffer), 255u);
    EXPECT_EQ(std::string(buffer), cut);
    EXPECT_EQ(InstallerMain(1), 0);
    EXPECT_EQ(Boxes(), std::vector<std::string>{"Done."});
}

TEST_F(InstallerTrust, AWindowsDirectoryTooLongForThePathsFailsTheirSteps) {
    struct Row {
        const char* tag;
        size_t directory_length;
        bool installed;
        bool system_ini;  // the wide path holds 255 units
        bool uninstall_entry;
    };
    // "Aurora.scr" and a backslash take 11 characters of the 259; the uninstall command takes
    // the path's length and 5 of its 255.
    const Row rows[] = {
        {"everything fits", 239, true, true, true},
        {"the uninstall command does not fit", 241, true, true, false},
        {"the path fits, the wide path does not", 248, true, false, false},
        {"the path does not fit", 249, false, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        SetUp();
        const std::string windows_dir = "C:\\" + std::string(row.directory_length - 3, 'w');
        HostSetWindowsDirectory(windows_dir);
        UsePayload(
            StandardPayload(InfoBytes().Text(1, "Done.").Text(2, "Failed.").Name("Aurora").bytes));
        EXPECT_EQ(InstallerMain(1), 0);
        EXPECT_EQ(InstallSucceeded, row.installed ? 1 : 0);
        EXPECT_EQ(Boxes(), row.installed ? std::vector<std::string>{"Done."} : kFailed);
        EXPECT_EQ(fs::exists(HostRealPath((windows_dir + "\\Aurora.scr").c_str())), row.installed);
        EXPECT_EQ(ScreenSaverSet(), row.system_ini);
        EXPECT_EQ(WrittenFiles().size(), (row.installed ? 1u : 0u) + (row.system_ini ? 1u : 0u));
        EXPECT_EQ(HostRegistryKeyExists(kUninstallKey + std::string("Aurora.scr")),
                  row.uninstall_entry);
        std::string command;
        if (HostRegistryValue(kUninstallKey + std::string("Aurora.scr"), "UninstallString", nullptr,
                              &command)) {
            EXPECT_EQ(command.substr(command.size() - 4), "\" /U");
        }
    }
}

}  // namespace
