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

namespace {

void Put16(Bytes* b, uint32_t v) {
    b->push_back(static_cast<uint8_t>(v));
    b->push_back(static_cast<uint8_t>(v >> 8));
}

void Pad4(Bytes* b) {
    while (b->size() % 4)
        b->push_back(0);
}

// One node: its length, value length (in code units for a text), type, key, value, children.
Bytes VersionNode(const std::string& key, const Bytes& value, uint32_t value_length, bool text,
                  const std::vector<Bytes>& children) {
    Bytes b;
    Put16(&b, 0);
    Put16(&b, value_length);
    Put16(&b, text ? 1 : 0);
    for (char c : key)
        Put16(&b, static_cast<uint8_t>(c));
    Put16(&b, 0);
    Pad4(&b);
    b.insert(b.end(), value.begin(), value.end());
    for (const Bytes& child : children) {
        Pad4(&b);
        b.insert(b.end(), child.begin(), child.end());
    }
    b[0] = static_cast<uint8_t>(b.size());
    b[1] = static_cast<uint8_t>(b.size() >> 8);
    return b;
}

// A string value of 64 code units: the text (UTF-8 of the basic plane) and zeros.
Bytes VersionString(const std::string& key, const std::string& utf8) {
    Bytes value;
    for (size_t i = 0; i < utf8.size();) {
        const uint8_t c = static_cast<uint8_t>(utf8[i]);
        uint32_t unit = c;
        size_t n = 1;
        if (c >= 0xE0) {
            unit = (c & 0x0F) << 12 | (utf8[i + 1] & 0x3F) << 6 | (utf8[i + 2] & 0x3F);
            n = 3;
        } else if (c >= 0xC0) {
            unit = (c & 0x1F) << 6 | (utf8[i + 1] & 0x3F);
            n = 2;
        }
        Put16(&value, unit);
        i += n;
    }
    value.resize(128, 0);
    return VersionNode(key, value, 64, true, {});
}

}  // namespace

Bytes VersionResource(const std::string& company, const std::string& version) {
    Bytes fixed(52, 0);
    fixed[0] = 0xBD, fixed[1] = 0x04, fixed[2] = 0xEF, fixed[3] = 0xFE;  // VS_FFI_SIGNATURE
    const Bytes table = VersionNode(
        "040904B0", {}, 0, true,
        {VersionString("CompanyName", company), VersionString("FileDescription", "Aquarium"),
         VersionString("FileVersion", version), VersionString("InternalName", "ssinstaller"),
         VersionString("ProductVersion", version)});
    const Bytes strings = VersionNode("StringFileInfo", {}, 0, true, {table});
    const Bytes translation = VersionNode("Translation", {0x09, 0x04, 0xB0, 0x04}, 4, false, {});
    const Bytes vars = VersionNode("VarFileInfo", {}, 0, true, {translation});
    return VersionNode("VS_VERSION_INFO", fixed, 52, false, {strings, vars});
}
