// PE headers and the resource directory, read with a bound check on every field.
#include "tools/sspack/pe_image.h"

#include <cstdio>

namespace {

struct Section {
    uint32_t rva = 0;
    uint32_t virtual_size = 0;
    uint32_t raw_offset = 0;
    uint32_t raw_size = 0;
};

struct Reader {
    const std::vector<uint8_t>& bytes;
    std::vector<Section> sections;
    size_t directory = 0;       // file offset of the resource directory
    size_t directory_size = 0;  // bytes from there that belong to it
    std::string* problem;
    int entries_seen = 0;

    bool Fail(const std::string& text) {
        *problem = text;
        return false;
    }

    // The file offset of `size` bytes at `rva`, when they lie in one section's raw data.
    bool Offset(uint32_t rva, uint32_t size, size_t* offset) const {
        for (const Section& s : sections) {
            if (rva < s.rva || rva - s.rva >= s.raw_size) continue;
            const uint64_t start = uint64_t{s.raw_offset} + (rva - s.rva);
            if (uint64_t{rva - s.rva} + size > s.raw_size || start + size > bytes.size())
                return false;
            *offset = static_cast<size_t>(start);
            return true;
        }
        return false;
    }

    // One level of the resource tree at `at` (relative to the directory). `path` holds the
    // type and id of the levels above.
    bool Walk(uint32_t at, int level, uint32_t path[2], PeImage* image) {
        if (uint64_t{at} + 16 > directory_size) return Fail("a resource directory lies outside");
        const uint8_t* d = &bytes[directory + at];
        const uint32_t named = Get16(d + 12);
        const uint32_t total = named + Get16(d + 14);
        if (uint64_t{at} + 16 + 8ull * total > directory_size)
            return Fail("a resource directory lies outside");
        for (uint32_t i = 0; i < total; ++i) {
            // A damaged directory may point back at itself; the stub holds a few dozen entries.
            if (++entries_seen > 4096) return Fail("the resource directory loops");
            const uint8_t* e = d + 16 + 8 * i;
            const uint32_t name = Get32(e);
            const uint32_t target = Get32(e + 4);
            const bool numbered = (name & 0x80000000u) == 0;
            const bool subdirectory = (target & 0x80000000u) != 0;
            if (level < 2) {
                if (!subdirectory) return Fail("a resource directory entry has no subdirectory");
                if (!numbered) continue;
                path[level] = name;
                if (!Walk(target & 0x7FFFFFFFu, level + 1, path, image)) return false;
                continue;
            }
            if (subdirectory) return Fail("a resource nests too deep");
            if (uint64_t{target} + 16 > directory_size)
                return Fail("a resource data entry lies outside");
            const uint8_t* data = &bytes[directory + target];
            PeResource r;
            r.type = path[0];
            r.id = path[1];
            r.language = name;
            r.size = Get32(data + 4);
            if (!Offset(Get32(data), r.size, &r.offset)) {
                char text[96];
                std::snprintf(text, sizeof text, "resource %u of type %u lies outside the file",
                              r.id, r.type);
                return Fail(text);
            }
            if (numbered) image->resources.push_back(r);
        }
        return true;
    }
};

// Offsets of the headers: the PE signature and the optional header's size and start.
bool Headers(const std::vector<uint8_t>& bytes, size_t* pe) {
    if (bytes.size() < 64 || bytes[0] != 'M' || bytes[1] != 'Z') return false;
    const uint32_t at = Get32(&bytes[60]);
    if (uint64_t{at} + 24 > bytes.size()) return false;
    if (bytes[at] != 'P' || bytes[at + 1] != 'E' || bytes[at + 2] != 0 || bytes[at + 3] != 0)
        return false;
    *pe = at;
    return true;
}

}  // namespace

bool LooksLikePe(const std::vector<uint8_t>& bytes, uint16_t* machine) {
    size_t pe = 0;
    if (!Headers(bytes, &pe)) return false;
    *machine = Get16(&bytes[pe + 4]);
    return true;
}

bool ReadPeImage(const std::vector<uint8_t>& bytes, PeImage* image, std::string* problem) {
    *image = PeImage();
    size_t pe = 0;
    if (!Headers(bytes, &pe)) {
        *problem = "not a Windows program";
        return false;
    }
    Reader r{bytes, {}, 0, 0, problem};
    image->machine = Get16(&bytes[pe + 4]);
    const uint32_t section_count = Get16(&bytes[pe + 6]);
    const uint32_t optional_size = Get16(&bytes[pe + 20]);
    const size_t optional = pe + 24;
    if (optional + optional_size > bytes.size() || optional_size < 2)
        return r.Fail("the optional header lies outside the file");
    const uint16_t magic = Get16(&bytes[optional]);
    if (magic != 0x10B && magic != 0x20B) return r.Fail("unknown optional header");
    const size_t count_at = magic == 0x10B ? 92 : 108;  // NumberOfRvaAndSizes
    if (count_at + 4 > optional_size) return r.Fail("the optional header is too short");
    const uint32_t directories = Get32(&bytes[optional + count_at]);
    const size_t sections_at = optional + optional_size;
    if (sections_at + 40ull * section_count > bytes.size())
        return r.Fail("the section table lies outside the file");
    for (uint32_t i = 0; i < section_count; ++i) {
        const uint8_t* s = &bytes[sections_at + 40 * i];
        Section section;
        section.virtual_size = Get32(s + 8);
        section.rva = Get32(s + 12);
        section.raw_size = Get32(s + 16);
        section.raw_offset = Get32(s + 20);
        r.sections.push_back(section);
    }
    // The resource directory is data directory 2; a program may have none.
    if (directories < 3 || count_at + 4 + 24 > optional_size) return true;
    const uint8_t* entry = &bytes[optional + count_at + 4 + 16];
    const uint32_t rva = Get32(entry);
    const uint32_t size = Get32(entry + 4);
    if (rva == 0 || size == 0) return true;
    if (!r.Offset(rva, size, &r.directory))
        return r.Fail("the resource directory lies outside the file");
    r.directory_size = size;
    uint32_t path[2] = {0, 0};
    return r.Walk(0, 0, path, image);
}

const PeResource* FindPeResource(const PeImage& image, uint32_t type, uint32_t id) {
    for (const PeResource& r : image.resources)
        if (r.type == type && r.id == id) return &r;
    return nullptr;
}

std::string MachineName(uint16_t machine) {
    if (machine == kMachineAmd64) return "x64";
    if (machine == kMachineI386) return "x86";
    char text[16];
    std::snprintf(text, sizeof text, "machine 0x%04X", machine);
    return text;
}
