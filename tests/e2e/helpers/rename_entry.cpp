// Renames one entry of a payload archive in place: deciphers the directory at the end of the
// file, changes the record's name and enciphers it again. The end-to-end tests use it to make an
// installer whose payload lacks an entry that the manifest tool insists on (KMDL).
//
// usage: ss_e2e_rename_entry FILE OLD NEW
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <string>
#include <vector>

#include "archive/cipher.h"
#include "archive/format.h"

namespace {

int Fail(const std::string& message) {
    fprintf(stderr, "ss_e2e_rename_entry: %s\n", message.c_str());
    return 1;
}

// The record count stands in the last record, so every count from 1 up is tried until the
// deciphered last record carries that count and the directory magic.
bool FindDirectory(const std::vector<uint8_t>& file, std::vector<uint8_t>* directory) {
    for (uint32_t count = 1; count <= kMaxRecords; ++count) {
        const size_t size = count * kRecordSize;
        if (size > file.size()) break;
        directory->assign(file.end() - static_cast<long>(size), file.end());
        SetCipherKey(kDirectoryKey);
        CipherBytes(directory->data(), static_cast<uint32_t>(size), 0);
        DirectoryRecord last;
        memcpy(&last, directory->data() + size - kRecordSize, sizeof last);
        if (last.count_or_length == count && last.magic == kDirectoryMagic) return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) return Fail("usage: ss_e2e_rename_entry FILE OLD NEW");
    const std::string path = argv[1];
    if (strlen(argv[3]) >= kNameSize) return Fail("the new name is longer than 15 characters");
    FILE* in = fopen(path.c_str(), "rb");
    if (!in) return Fail(path + ": cannot be opened");
    std::vector<uint8_t> file;
    uint8_t chunk[65536];
    for (size_t n; (n = fread(chunk, 1, sizeof chunk, in)) > 0;)
        file.insert(file.end(), chunk, chunk + n);
    fclose(in);

    std::vector<uint8_t> directory;
    if (!FindDirectory(file, &directory)) return Fail(path + ": no payload directory found");
    bool renamed = false;
    for (size_t at = 0; at < directory.size(); at += kRecordSize) {
        char* name =
            reinterpret_cast<char*>(directory.data() + at + offsetof(DirectoryRecord, name));
        if (strncasecmp(name, argv[2], kNameSize) != 0) continue;
        memset(name, 0, kNameSize);
        memcpy(name, argv[3], strlen(argv[3]));
        renamed = true;
    }
    if (!renamed) return Fail(path + ": no entry " + argv[2]);
    SetCipherKey(kDirectoryKey);
    CipherBytes(directory.data(), static_cast<uint32_t>(directory.size()), 1);
    memcpy(file.data() + file.size() - directory.size(), directory.data(), directory.size());

    FILE* out = fopen(path.c_str(), "wb");
    if (!out || fwrite(file.data(), 1, file.size(), out) != file.size() || fclose(out) != 0)
        return Fail(path + ": cannot be written");
    return 0;
}
