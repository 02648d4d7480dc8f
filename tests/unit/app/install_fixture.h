// Shared by the tests of the settings, the activation and the build: a fresh sandbox per test
// with every module back at its start, an INFO block made field by field, and installer payloads
// written with the archive writer.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "archive/transfer.h"
#include "tests/unit/support/test_support.h"

// A 6,148-byte INFO block, filled field by field.
struct InfoBytes {
    Bytes bytes = Bytes(6148, 0);
    InfoBytes& Text(int i, const std::string& text, bool given = true);
    InfoBytes& AltText(int i, const std::string& text, bool given = true);
    InfoBytes& Word(uint32_t offset, uint32_t value);
    InfoBytes& String(uint32_t offset, const std::string& text);
    InfoBytes& Name(const std::string& name);
};

// One entry of a payload: data added from memory with `flags` (Compress, or a key byte for a
// scrambled stored entry), or, with `alias_of`, a record sharing that entry's data.
struct PayloadEntry {
    std::string name;
    Bytes data;
    TransferFlags flags = 0;
    std::string alias_of;
};

// The usual payload: SAVER compressed, STUB stored, MOVIE compressed, INFO stored, ZETT
// scrambled, KMDL compressed.
std::vector<PayloadEntry> StandardPayload(const Bytes& info);
Bytes SaverProgram();  // what SAVER holds: "MZ" and some bytes

// A version resource laid out as the installer stub's after sspack filled it: the fixed
// information, then StringFileInfo with CompanyName and ProductVersion (UTF-8 here) padded with
// zeros to 64 code units, as sspack leaves a short value, and VarFileInfo.
Bytes VersionResource(const std::string& company, const std::string& version);

// Removes the entry `name` from `entries`.
std::vector<PayloadEntry> Without(std::vector<PayloadEntry> entries, const std::string& name);

// The content of each entry of the archive at `path` (read with the reader and extraction), in
// directory order; false when it does not open or an entry does not read back.
bool ReadArchive(const std::string& path, std::vector<std::pair<std::string, Bytes>>* entries);

// The folder the document of follow-up action 3 gets with the simulation's default run number.
extern const char kDocumentFolder[];

class InstallTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the payload as the installer's own file (after a small executable prefix).
    void UsePayload(const std::vector<PayloadEntry>& entries);
    // The real path of a Windows-directory file, and of the sandbox.
    std::string WindowsFile(const std::string& name) const;
    // Log lines whose call name is one of `calls`, in order.
    std::vector<std::string> Calls(const std::vector<std::string>& calls) const;

    ScratchDir dir_;
};
