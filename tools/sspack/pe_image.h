// The parts of a Windows program (PE file) that sspack reads and changes: its machine type and
// its resources, found through the resource directory. Changes are made in place in a copy of
// the file's bytes; nothing is moved, so every header and offset stays as it was.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kMachineAmd64 = 0x8664;

// Resource types by number.
constexpr uint32_t kResourceIcon = 3;
constexpr uint32_t kResourceString = 6;
constexpr uint32_t kResourceGroupIcon = 14;
constexpr uint32_t kResourceVersion = 16;

// One resource with a numbered type and id; resources named by strings are left out.
struct PeResource {
    uint32_t type = 0;
    uint32_t id = 0;
    uint32_t language = 0;
    size_t offset = 0;  // where its bytes start in the file
    uint32_t size = 0;
};

struct PeImage {
    uint16_t machine = 0;
    std::vector<PeResource> resources;
};

// True when `bytes` start like a Windows program ("MZ", then the "PE" signature where the DOS
// header points). Cheap: reads the headers only.
bool LooksLikePe(const std::vector<uint8_t>& bytes, uint16_t* machine);

// Reads the headers and the resource directory. False, with `problem` saying what is wrong,
// when the bytes are not a PE file or a resource lies outside the file.
bool ReadPeImage(const std::vector<uint8_t>& bytes, PeImage* image, std::string* problem);

// The first resource of `type` and `id` (any language), or null.
const PeResource* FindPeResource(const PeImage& image, uint32_t type, uint32_t id);

// "x64", "x86", or the machine number in hex.
std::string MachineName(uint16_t machine);

// Little-endian fields of a byte buffer; the caller keeps offsets in bounds.
inline uint16_t Get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t Get32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
    Put16(p, static_cast<uint16_t>(v));
    Put16(p + 2, static_cast<uint16_t>(v >> 16));
}
// The same at byte `at` of a buffer being laid out.
inline void Put16(std::vector<uint8_t>* b, size_t at, uint32_t v) {
    Put16(b->data() + at, static_cast<uint16_t>(v));
}
inline void Put32(std::vector<uint8_t>* b, size_t at, uint32_t v) {
    Put32(b->data() + at, v);
}
