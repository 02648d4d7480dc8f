#include "tests/unit/app/install_fixture.h"

#include <string.h>

#include <filesystem>

#include "app/build.h"
#include "app/followup.h"
#include "app/report.h"
#include "app/settings.h"
#include "archive/extract.h"
#include "archive/reader.h"
#include "archive/sticky_error.h"
#include "archive/writer.h"
#include "compress/block_stream.h"
#include "platform/files.h"
#include "platform/host/host.h"
#include "platform/host/host_shell.h"

InfoBytes& InfoBytes::String(uint32_t offset, const std::string& text) {
    memcpy(&bytes[offset], text.data(), text.size());
    return *this;
}

InfoBytes& InfoBytes::Word(uint32_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[offset + static_cast<uint32_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
    return *this;
}

InfoBytes& InfoBytes::Text(int i, const std::string& text, bool given) {
    bytes[kInfoTextFlags + static_cast<uint32_t>(i)] = given ? 1 : 0;
    return String(kInfoTexts + kInfoTextStride * static_cast<uint32_t>(i), text);
}

InfoBytes& InfoBytes::AltText(int i, const std::string& text, bool given) {
    bytes[kInfoAltFlags + static_cast<uint32_t>(i)] = given ? 1 : 0;
    return String(kInfoAltTexts + kInfoTextStride * static_cast<uint32_t>(i), text);
}

InfoBytes& InfoBytes::Name(const std::string& name) {
    return String(kInfoName, name);
}

Bytes SaverProgram() {
    Bytes program = BytesOf("MZ this is the screen saver program");
    Bytes body = PseudoRandomBytes(1500, 7);
    program.insert(program.end(), body.begin(), body.end());
    return program;
}

std::vector<PayloadEntry> StandardPayload(const Bytes& info) {
    Bytes movie(5000);
    for (size_t i = 0; i < movie.size(); ++i)
        movie[i] = static_cast<uint8_t>("frames of the movie "[i % 20]);
    return {
        {"SAVER", SaverProgram(), Compress, ""},
        {"STUB", BytesOf("stub data"), 0, ""},
        {"MOVIE", movie, Compress, ""},
        {"INFO", info, 0, ""},
        {"ZETT", PseudoRandomBytes(700, 3), 0x5A, ""},
        {"KMDL", BytesOf("kmdl kmdl kmdl kmdl kmdl kmdl"), Compress, ""},
    };
}

std::vector<PayloadEntry> Without(std::vector<PayloadEntry> entries, const std::string& name) {
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].name == name) entries.erase(entries.begin() + static_cast<long>(i--));
    return entries;
}

bool ReadArchive(const std::string& path, std::vector<std::pair<std::string, Bytes>>* entries) {
    entries->clear();
    FileHandle archive = OpenArchive(path.c_str());
    if (archive == kInvalidFile) return false;
    bool ok = true;
    for (uint32_t i = 0; i < ReaderRecordCount() && ok; ++i) {
        const DirectoryRecord* record = ReaderRecord(i);
        std::string name(record->name, strnlen(record->name, sizeof record->name));
        Bytes content(record->original_size + 1, 0xA5);
        ok = ReadEntryToMemory(name.c_str(), content.data(), record->original_size) == 1;
        content.resize(record->original_size);
        entries->push_back({name, content});
    }
    CloseArchive(archive);
    return ok;
}

// 0x5EED0001, the simulation's run number, as eight letters 'a' + each hex digit.
const char kDocumentFolder[] = "C:\\WINDOWS\\ssfoonaaab";

void InstallTest::SetUp() {
    HostReset();
    HostShellReset();
    HostSetSandbox(dir_.path());
    // Rows of a table share the test's folder; each starts on an empty machine.
    std::filesystem::remove_all(dir_.path() + "/c");
    std::filesystem::remove(HostRegistryFile());
    ResetReports();
    ResetSettings();
    PlatClose(DocumentHold);  // a document an earlier run still holds
    ResetBuild();
    SetStickyErrorMode(0);
    CloseArchive(ReaderHandle());
    // Without a progress dialog no hook runs; one left by another test would pump messages.
    StreamProgressHooks = ProgressHooks{nullptr, nullptr};
}

void InstallTest::TearDown() {
    PlatClose(DocumentHold);
    DocumentHold = kInvalidFile;
    CloseArchive(ReaderHandle());
    SetStickyErrorMode(0);
}

void InstallTest::UsePayload(const std::vector<PayloadEntry>& entries) {
    std::string path = dir_.File("setup.exe");
    SetStickyErrorMode(0);
    FileHandle out = CreateArchive(path.c_str());
    ASSERT_NE(out, kInvalidFile);
    for (const PayloadEntry& e : entries) {
        if (!e.alias_of.empty()) {
            ASSERT_EQ(AliasRecord(e.name.c_str(), e.alias_of.c_str()), 1) << e.name;
        } else {
            ASSERT_EQ(AddEntryFromMemory(e.data.data(), static_cast<uint32_t>(e.data.size()),
                                         e.name.c_str(), e.flags),
                      1)
                << e.name;
        }
    }
    CloseArchive(out);
    HostSetModuleFileName(path);
    HostClearEvents();
    HostResetFaults();
}

std::string InstallTest::WindowsFile(const std::string& name) const {
    return dir_.path() + "/c/WINDOWS/" + name;
}

std::vector<std::string> InstallTest::Calls(const std::vector<std::string>& calls) const {
    std::vector<std::string> out;
    for (const std::string& e : HostEvents())
        for (const std::string& c : calls)
            if (e.compare(0, c.size() + 1, c + "(") == 0) out.push_back(e);
    return out;
}
