// Crafted installers, one row each: the installer ends cleanly in every one (the damaged-
// installer message, the failure message, or an installation that reads back whole), writes
// nowhere but the Windows and temporary directories, and sspack list, verify and extract end
// with one clear error or succeed, writing nothing outside their output folder. Last, the
// document of an elevated install is never written through a file or link planted in the
// temporary directory under its name.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <set>

#include "app/build.h"
#include "app/main_flow.h"
#include "app/report.h"
#include "app/settings.h"
#include "archive/cipher.h"
#include "platform/entry.h"
#include "platform/host/host.h"
#include "platform/host/host_shell.h"
#include "tests/unit/app/install_fixture.h"
#include "tests/unit/archive/archive_helpers.h"

namespace fs = std::filesystem;

namespace {

enum Outcome { kDamaged, kFailed, kInstalled, kEndsCleanly };
const char* const kOutcomeNames[] = {"damaged", "failed", "installed", "ends cleanly"};

// The directory of `file` in the order the records were added (first added last in the file).
std::vector<DirectoryRecord> Directory(const Bytes& file, uint32_t count) {
    Bytes tail(file.end() - count * kRecordSize, file.end());
    SetCipherKey(kDirectoryKey);
    CipherBytes(tail.data(), static_cast<uint32_t>(tail.size()), 0);
    std::vector<DirectoryRecord> records(count);
    for (uint32_t i = 0; i < count; ++i)
        memcpy(&records[count - 1 - i], tail.data() + i * kRecordSize, kRecordSize);
    return records;
}

// `file` with its directory of `count` records replaced by `records` (added order).
Bytes WithDirectory(Bytes file, uint32_t count, const std::vector<DirectoryRecord>& records) {
    file.resize(file.size() - count * kRecordSize);
    Bytes directory = EncipherDirectory(records);
    file.insert(file.end(), directory.begin(), directory.end());
    return file;
}

DirectoryRecord* Named(std::vector<DirectoryRecord>& records, const char* name) {
    for (DirectoryRecord& r : records)
        if (NameMatches(r.name, name)) return &r;
    return nullptr;
}

struct Row {
    const char* tag;
    Outcome expected;
    // Makes the installer's file: gets the standard payload written by the writer (`file`, its
    // record count in `count`) and may change it or make a new one.
    std::function<void(Bytes* file, uint32_t* count)> craft;
    // Entries added to the standard payload before it is written.
    std::vector<PayloadEntry> extra = {};
    // INFO of the payload; empty for the usual one.
    Bytes info = {};
};

InfoBytes UsualInfo() {
    InfoBytes info;
    info.Name("Aquarium").Text(1, "Installed.").Text(2, "Installation failed.");
    info.Word(kInfoFollowUpAction, 3).String(kInfoDocumentPath, "C:\\docs\\readme.htm");
    return info;
}

Bytes StateSize(Bytes stream, uint32_t size) {
    // Block 1: "RC", checksum, length 10, the size; the checksum covers the four size bytes.
    memcpy(&stream[6], &size, 4);
    uint32_t sum = 0x68A5;
    for (int i = 6; i < 10; ++i)
        sum += stream[static_cast<size_t>(i)];
    stream[2] = static_cast<uint8_t>(sum);
    stream[3] = static_cast<uint8_t>(sum >> 8);
    return stream;
}

const std::vector<Row>& Rows() {
    static const std::vector<Row> rows = {
        {"records overlap", kEndsCleanly,
         [](Bytes* file, uint32_t* count) {
             auto records = Directory(*file, *count);
             Named(records, "STUB")->data_offset = Named(records, "SAVER")->data_offset + 3;
             Named(records, "STUB")->stored_size = 600;
             Named(records, "STUB")->original_size = 600;
             *file = WithDirectory(*file, *count, records);
         }},
        {"record past the end", kFailed,
         [](Bytes* file, uint32_t* count) {
             auto records = Directory(*file, *count);
             Named(records, "ZETT")->data_offset = static_cast<uint32_t>(file->size()) + 1000;
             *file = WithDirectory(*file, *count, records);
         }},
        {"stored size near 2^32", kFailed,
         [](Bytes* file, uint32_t* count) {
             auto records = Directory(*file, *count);
             Named(records, "STUB")->stored_size = 0xFFFFFFF0u;
             Named(records, "STUB")->original_size = 0xFFFFFFF0u;
             *file = WithDirectory(*file, *count, records);
         }},
        {"compressed sizes near 2^32", kFailed,
         [](Bytes* file, uint32_t* count) {
             auto records = Directory(*file, *count);
             Named(records, "MOVIE")->stored_size = 0xFFFFFFFFu;
             Named(records, "MOVIE")->original_size = 0xFFFFFFFEu;
             *file = WithDirectory(*file, *count, records);
         }},
        {"INFO stored size near 2^32", kEndsCleanly,
         [](Bytes* file, uint32_t* count) {
             auto records = Directory(*file, *count);
             Named(records, "INFO")->stored_size = 0xFFFFFFFFu;
             Named(records, "INFO")->original_size = 0xFFFFFFFFu;
             *file = WithDirectory(*file, *count, records);
         }},
        {"block 1 states 4 GB", kFailed,
         [](Bytes* file, uint32_t* count) {
             Bytes stream = StateSize(CompressedBytes(BytesOf("kmdl kmdl")), 0xFFFFFFFFu);
             auto records = Directory(*file, *count);
             DirectoryRecord* kmdl = Named(records, "KMDL");
             file->resize(file->size() - *count * kRecordSize);
             kmdl->data_offset = static_cast<uint32_t>(file->size());
             kmdl->stored_size = static_cast<uint32_t>(stream.size());
             kmdl->original_size = 0xFFFFFFFFu;
             file->insert(file->end(), stream.begin(), stream.end());
             Bytes directory = EncipherDirectory(records);
             file->insert(file->end(), directory.begin(), directory.end());
         }},
        {"stream yields more than stated", kFailed,
         [](Bytes* file, uint32_t* count) {
             // Block 1 states 60 bytes and the checksums pass, but the last match runs 28
             // bytes past them (found by fuzzing).
             const Bytes stream = ReadWholeFile(std::string(SS_SOURCE_DIR) +
                                                "/tests/fuzz/corpus/fuzz_expand_file/"
                                                "match-past-stated-size");
             auto records = Directory(*file, *count);
             DirectoryRecord* kmdl = Named(records, "KMDL");
             file->resize(file->size() - *count * kRecordSize);
             kmdl->data_offset = static_cast<uint32_t>(file->size());
             kmdl->stored_size = static_cast<uint32_t>(stream.size() - 1);
             kmdl->original_size = 60;
             file->insert(file->end(), stream.begin() + 1, stream.end());
             Bytes directory = EncipherDirectory(records);
             file->insert(file->end(), directory.begin(), directory.end());
         }},
        {"chain of aliases",
         kInstalled,
         nullptr,
         {{"PREVIEWF", {}, 0, "MOVIE"},
          {"PREVIEWB", {}, 0, "PREVIEWF"},
          {"ADDTL", {}, 0, "PREVIEWB"},
          {"ADDTL01", {}, 0, "ADDTL"}}},
        {"16-byte name without NUL",
         kInstalled,
         nullptr,
         {{"ABCDEFGHIJKLMNOP", BytesOf("sixteen"), 0, ""}, {"ADDTL0123456789X", {}, 0, "ZETT"}}},
        {"names with \\ / : ..",
         kInstalled,
         nullptr,
         {{"..\\..\\evil", BytesOf("evil"), 0, ""},
          {"../../evil", BytesOf("evil"), 0, ""},
          {"C:\\evil", BytesOf("evil"), Compress, ""},
          {"..", BytesOf("evil"), 0, ""}}},
        {"INFO texts without NUL", kInstalled, nullptr, {}, Bytes(kInfoSize, 'A')},
        {"document path leaves the temp directory",
         kInstalled,
         nullptr,
         {},
         UsualInfo().String(kInfoDocumentPath, "C:\\x\\../../../etc/evil.htm").bytes},
        {"document path is a drive",
         kInstalled,
         nullptr,
         {},
         UsualInfo().String(kInfoDocumentPath, "C:evil.htm").bytes},
        {"document path is a device",
         kInstalled,
         nullptr,
         {},
         UsualInfo().String(kInfoDocumentPath, "C:\\docs\\aux.htm").bytes},
        {"document path is ..",
         kInstalled,
         nullptr,
         {},
         UsualInfo().String(kInfoDocumentPath, "C:\\docs\\..").bytes},
        {"ADDTL series as long as a directory allows", kInstalled,
         [](Bytes* file, uint32_t* count) {
             // 7 usual entries and 25 of the series fill the 32 records of a directory; a series
             // of 100 cannot be in one payload.
             EXPECT_EQ(*count, kMaxRecords);
             (void)file;
         },
         [] {
             std::vector<PayloadEntry> series = {{"ADDTL", BytesOf("series 0"), 0, ""}};
             for (int k = 1; k < 25; ++k) {
                 char name[16];
                 snprintf(name, sizeof name, "ADDTL%02d", k);
                 series.push_back({name, BytesOf(std::string("series ") + name), 0, ""});
             }
             return series;
         }()},
        {"33-record directory", kDamaged,
         [](Bytes* file, uint32_t* count) {
             auto records = Directory(*file, *count);
             while (records.size() < 33)
                 records.push_back(
                     MakeRecord("PAD" + std::to_string(records.size()), 0, 0, 0, 1, 1));
             *file = WithDirectory(*file, *count, records);
         }},
        {"directory count 0", kDamaged,
         [](Bytes* file, uint32_t* count) {
             auto records = Directory(*file, *count);
             Bytes bytes = WithDirectory(*file, *count, records);
             // The first-added record carries the count; 0 is no count at all.
             Bytes tail(bytes.end() - *count * kRecordSize, bytes.end());
             SetCipherKey(kDirectoryKey);
             CipherBytes(tail.data(), static_cast<uint32_t>(tail.size()), 0);
             tail[tail.size() - kRecordSize] = 0;
             SetCipherKey(kDirectoryKey);
             CipherBytes(tail.data(), static_cast<uint32_t>(tail.size()), 1);
             std::copy(tail.begin(), tail.end(), bytes.end() - static_cast<long>(tail.size()));
             *file = bytes;
         }},
        {"only a directory, no program", kEndsCleanly,
         [](Bytes* file, uint32_t* count) {
             auto records = Directory(*file, *count);
             *file = EncipherDirectory(records);
             *count = 0;
         }},
    };
    return rows;
}

class HostilePayloads : public InstallTest {
  protected:
    std::set<std::string> FilesUnder(const std::string& root) const {
        std::set<std::string> out;
        if (!fs::exists(root)) return out;
        for (const auto& entry : fs::recursive_directory_iterator(root))
            if (!entry.is_directory())
                out.insert(fs::relative(entry.path(), root).generic_string());
        return out;
    }

    // Writes the row's installer as setup.exe; returns its bytes.
    Bytes Make(const Row& row) {
        std::vector<PayloadEntry> entries =
            StandardPayload(row.info.empty() ? UsualInfo().bytes : row.info);
        entries.push_back({"LESMI", BytesOf("<html>read me</html>"), Compress, ""});
        for (const PayloadEntry& e : row.extra)
            entries.push_back(e);
        UsePayload(entries);
        Bytes file = ReadWholeFile(dir_.File("setup.exe"));
        uint32_t count = static_cast<uint32_t>(entries.size());
        if (row.craft) row.craft(&file, &count);
        WriteWholeFile(dir_.File("setup.exe"), file);
        return file;
    }

    Outcome Install(const Row& row) {
        const Bytes file = Make(row);
        ResetInstallerState();
        HostSetModuleFileName(dir_.File("setup.exe"));
        InstallerMain(1);
        // The confirmation asked first is no report; at most one report follows it.
        std::vector<HostMessageBox> boxes;
        for (const HostMessageBox& box : HostMessageBoxes())
            if (box.text != Settings.question) boxes.push_back(box);
        EXPECT_LE(boxes.size(), 1u);
        for (const std::string& f : FilesUnder(dir_.path())) {
            const bool allowed =
                f.rfind("c/WINDOWS/", 0) == 0 || f == "setup.exe" || f == "registry.txt";
            EXPECT_TRUE(allowed) << "written outside the Windows and temporary directories: " << f;
        }
        EXPECT_EQ(ReadWholeFile(dir_.File("setup.exe")), file);
        std::vector<std::string> savers;
        for (const std::string& f : FilesUnder(dir_.path() + "/c/WINDOWS"))
            if (f.size() > 4 && f.compare(f.size() - 4, 4, ".scr") == 0) savers.push_back(f);
        if (InstallSucceeded == 1) {
            EXPECT_EQ(savers.size(), 1u);
            std::vector<std::pair<std::string, Bytes>> entries;
            EXPECT_TRUE(!savers.empty() && ReadArchive(WindowsFile(savers[0]), &entries));
            return kInstalled;
        }
        EXPECT_TRUE(savers.empty());
        if (!boxes.empty() && boxes[0].text == kDamagedInstallerText) return kDamaged;
        return kFailed;
    }
};

TEST_F(HostilePayloads, InstallerEndsCleanly) {
    for (const Row& row : Rows()) {
        SCOPED_TRACE(row.tag);
        InstallTest::SetUp();
        const Outcome outcome = Install(row);
        printf("[ hostile ] %-45s installer: %s\n", row.tag, kOutcomeNames[outcome]);
        if (row.expected != kEndsCleanly) {
            EXPECT_EQ(kOutcomeNames[outcome], kOutcomeNames[row.expected]);
        }
    }
}

// Runs `command` in `cwd`; the exit status, and the lines it wrote to stderr.
int RunIn(const std::string& cwd, const std::string& command, std::vector<std::string>* errors) {
    const std::string err = cwd + ".err";
    const std::string line = "cd '" + cwd + "' && " + command + " >/dev/null 2>'" + err + "'";
    const int status = system(line.c_str());
    errors->clear();
    const Bytes bytes = ReadWholeFile(err);
    std::string text(bytes.begin(), bytes.end());
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        errors->push_back(text.substr(at, end - at));
        at = end + 1;
    }
    unlink(err.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

TEST_F(HostilePayloads, SspackReportsOneErrorAndWritesOnlyItsFolder) {
    const std::string sspack = SSPACK_PATH;
    int row_number = 0;
    for (const Row& row : Rows()) {
        SCOPED_TRACE(row.tag);
        InstallTest::SetUp();
        Make(row);
        const std::string work = dir_.File("work" + std::to_string(row_number++));
        fs::create_directories(work);
        std::string results;
        for (const char* command : {"list", "verify", "extract"}) {
            std::string line = sspack + " " + command + " '" + dir_.File("setup.exe") + "'";
            if (std::string(command) == "extract") line += " -o out";
            std::vector<std::string> errors;
            const int status = RunIn(work, line, &errors);
            if (status != 0) {
                EXPECT_EQ(errors.size(), 1u) << command;
                EXPECT_FALSE(errors.empty() || errors[0].empty()) << command;
            }
            results += std::string(command) + (status ? ": error" : ": ok") + "  ";
            if (status && !errors.empty()) results += "(" + errors[0] + ")  ";
            for (const std::string& f : FilesUnder(work))
                EXPECT_EQ(f.rfind("out/", 0), 0u) << command << " wrote " << f;
        }
        printf("[ hostile ] %-45s sspack: %s\n", row.tag, results.c_str());
        const std::set<std::string> left = FilesUnder(dir_.path());
        for (const std::string& f : left)
            EXPECT_TRUE(f == "setup.exe" || f.rfind("work", 0) == 0 || f.rfind("c/", 0) == 0 ||
                        f == "registry.txt")
                << "outside the output folder: " << f;
    }
}

// Another program of the user may have put a link or a file where the document goes: at the
// old place in the temporary folder, which the installer no longer uses, or at the name of the
// document's new folder. The folder must be made anew, so nothing planted is written through
// or removed: a taken name cancels the follow-up.
TEST_F(HostilePayloads, DocumentNeverWritesThroughAPlantedLinkOrFile) {
    struct Plant {
        const char* tag;
        const char* where;  // a Windows path
        void (*plant)(const std::string& at, const std::string& victim);
        bool opened;  // the follow-up action still runs
    };
    const char* temp_doc = "C:\\WINDOWS\\TEMP\\readme.htm";
    const Plant plants[] = {
        {"link to a file in the temporary folder", temp_doc,
         [](const std::string& at, const std::string& victim) {
             ASSERT_EQ(symlink(victim.c_str(), at.c_str()), 0);
         },
         true},
        {"hard link in the temporary folder", temp_doc,
         [](const std::string& at, const std::string& victim) {
             ASSERT_EQ(link(victim.c_str(), at.c_str()), 0);
         },
         true},
        {"link to a folder at the folder's name", kDocumentFolder,
         [](const std::string& at, const std::string& victim) {
             ASSERT_EQ(symlink(fs::path(victim).parent_path().c_str(), at.c_str()), 0);
         },
         false},
        {"link to nowhere at the folder's name", kDocumentFolder,
         [](const std::string& at, const std::string& victim) {
             ASSERT_EQ(symlink((victim + ".missing").c_str(), at.c_str()), 0);
         },
         false},
        {"a folder with a link inside", kDocumentFolder,
         [](const std::string& at, const std::string& victim) {
             fs::create_directories(at);
             ASSERT_EQ(symlink(victim.c_str(), (at + "/readme.htm").c_str()), 0);
         },
         false},
        {"a file at the folder's name", kDocumentFolder,
         [](const std::string& at, const std::string&) { WriteWholeFile(at, BytesOf("planted")); },
         false},
    };
    const Row usual = {"usual", kInstalled, nullptr};
    for (const Plant& p : plants) {
        SCOPED_TRACE(p.tag);
        InstallTest::SetUp();
        Make(usual);
        const std::string victim = dir_.File("victim.txt");
        WriteWholeFile(victim, BytesOf("must stay"));
        const std::string at = HostRealPath(p.where);
        fs::create_directories(fs::path(at).parent_path());
        p.plant(at, victim);
        struct stat planted;
        ASSERT_EQ(lstat(at.c_str(), &planted), 0);
        ResetInstallerState();
        HostSetModuleFileName(dir_.File("setup.exe"));
        // The deletion of the opened document after the pause fails, so the document stays to
        // be looked at.
        HostResetFaults();
        HostFailCall(kHostDelete, 1);
        InstallerMain(1);
        HostResetFaults();
        EXPECT_EQ(InstallSucceeded, 1);
        EXPECT_EQ(ReadWholeFile(victim), BytesOf("must stay"));
        // What was planted is left exactly as it was.
        struct stat st;
        ASSERT_EQ(lstat(at.c_str(), &st), 0);
        EXPECT_EQ(st.st_ino, planted.st_ino);
        EXPECT_EQ(st.st_mode, planted.st_mode);
        const std::string document = HostRealPath(kDocumentFolder) + "/readme.htm";
        if (p.opened) {
            ASSERT_EQ(lstat(document.c_str(), &st), 0);
            EXPECT_TRUE(S_ISREG(st.st_mode));
            EXPECT_EQ(st.st_nlink, 1u);
            EXPECT_EQ(ReadWholeFile(document), BytesOf("<html>read me</html>"));
        } else {
            EXPECT_EQ(Settings.FollowUpAction, 0);
        }
    }
}

}  // namespace
