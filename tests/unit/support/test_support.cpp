#include "tests/unit/support/test_support.h"

#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "archive/cipher.h"

ScratchDir::ScratchDir() {
    char name[] = "/tmp/ssinstaller-test-XXXXXX";
    const char* made = mkdtemp(name);
    path_ = made ? made : "/tmp";
}

ScratchDir::~ScratchDir() {
    if (path_.rfind("/tmp/ssinstaller-test-", 0) == 0) {
        std::string command = "rm -rf '" + path_ + "'";
        if (system(command.c_str()) != 0) {
        }
    }
}

Bytes ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

Bytes BytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes PseudoRandomBytes(size_t count, uint32_t seed) {
    Bytes out(count);
    uint32_t x = seed ? seed : 1;
    for (size_t i = 0; i < count; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = static_cast<uint8_t>(x >> 24);
    }
    return out;
}

DirectoryRecord MakeRecord(const std::string& name, uint8_t method, uint8_t xor_key,
                           uint32_t data_offset, uint32_t stored_size, uint32_t original_size,
                           int32_t marker_offset) {
    DirectoryRecord r;
    memset(&r, 0, sizeof r);
    r.method = method;
    r.xor_key = xor_key;
    SetRecordName(r.name, name.c_str());
    r.data_offset = data_offset;
    r.stored_size = stored_size;
    r.original_size = original_size;
    r.marker_offset = marker_offset;
    r.record_size = kRecordSize;
    r.magic = kDirectoryMagic;
    return r;
}

DirectoryRecord MakeInlineRecord(const std::string& name, const Bytes& data, uint8_t length_byte) {
    DirectoryRecord r = MakeRecord(name, kMethodInline, 0, 0, 0, 0, 0);
    r.count_or_length = length_byte;
    uint8_t* raw = reinterpret_cast<uint8_t*>(&r);
    memcpy(raw + kInlineOffset, data.data(), data.size() < 16 ? data.size() : 16);
    return r;
}

Bytes EncipherDirectory(std::vector<DirectoryRecord> records) {
    if (!records.empty()) records[0].count_or_length = static_cast<uint8_t>(records.size());
    Bytes out;
    for (size_t i = records.size(); i-- > 0;) {
        const uint8_t* raw = reinterpret_cast<const uint8_t*>(&records[i]);
        out.insert(out.end(), raw, raw + sizeof(DirectoryRecord));
    }
    SetCipherKey(kDirectoryKey);
    CipherBytes(out.data(), static_cast<uint32_t>(out.size()), 1);
    return out;
}

Bytes BuildTestArchive(const Bytes& prefix, const std::vector<TestEntry>& entries) {
    Bytes file = prefix;
    std::vector<DirectoryRecord> records;
    for (const TestEntry& e : entries) {
        if (e.method == kMethodInline) {
            records.push_back(
                MakeInlineRecord(e.name, e.data, static_cast<uint8_t>(e.data.size())));
            continue;
        }
        uint32_t original =
            e.original_size == UINT32_MAX ? static_cast<uint32_t>(e.data.size()) : e.original_size;
        records.push_back(MakeRecord(e.name, e.method, e.xor_key,
                                     static_cast<uint32_t>(file.size()),
                                     static_cast<uint32_t>(e.data.size()), original));
        file.insert(file.end(), e.data.begin(), e.data.end());
    }
    Bytes directory = EncipherDirectory(records);
    file.insert(file.end(), directory.begin(), directory.end());
    return file;
}
