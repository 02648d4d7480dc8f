// The version resource and the icon of the installer stub, read and written in place.
#include "tools/sspack/stub_face.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tools/sspack/pe_image.h"
#include "tools/sspack/picture.h"

namespace fs = std::filesystem;

// UTF-8 to UTF-16 units; false when the text is not UTF-8.
bool Utf16Of(const std::string& text, std::vector<uint16_t>* out) {
    out->clear();
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const int extra = c < 0x80         ? 0
                          : (c >> 5) == 6  ? 1
                          : (c >> 4) == 14 ? 2
                          : (c >> 3) == 30 ? 3
                                           : -1;
        if (extra < 0 || i + extra >= text.size()) return false;
        uint32_t code = extra == 0 ? c : c & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = code << 6 | (next & 0x3F);
        }
        static const uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
        if (code < kLeast[extra] || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000))
            return false;
        if (code >= 0x10000) {
            out->push_back(static_cast<uint16_t>(0xD800 + ((code - 0x10000) >> 10)));
            out->push_back(static_cast<uint16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            out->push_back(static_cast<uint16_t>(code));
        }
        i += extra + 1;
    }
    return true;
}

// UTF-16 units up to the first zero as UTF-8; unpaired surrogates become '?'.
std::string Utf8Of(const uint8_t* p, size_t units) {
    std::string out;
    for (size_t i = 0; i < units; ++i) {
        uint32_t code = Get16(p + 2 * i);
        if (code == 0) break;
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < units) {
            const uint32_t low = Get16(p + 2 * i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (code >= 0xD800 && code < 0xE000) code = '?';
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | code >> 6);
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | code >> 12);
            out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | code >> 18);
            out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}

namespace {

constexpr uint32_t kStubIconGroup = 200;
const char kStubInternalName[] = "ssinstaller";
// The values sspack writes and the room each needs, terminating zero included.
struct Slot {
    const char* key;
    uint32_t capacity;
};
const Slot kSlots[] = {{"CompanyName", kMaxFaceText + 1},
                       {"FileDescription", kMaxFaceText + 1},
                       {"ProductName", kMaxFaceText + 1},
                       {"FileVersion", kMaxVersionText + 1},
                       {"ProductVersion", kMaxVersionText + 1}};

size_t Align4(size_t n) {
    return (n + 3) & ~size_t{3};
}

// One node of the version tree: a length, a value length, a type, a zero-ended UTF-16 key,
// the value, then the children, each part aligned to 4 bytes from the resource's start.
struct Node {
    size_t start = 0, end = 0;
    uint16_t value_length = 0;  // units for text values, bytes for binary ones
    uint16_t type = 0;          // 1: text
    std::string key;
    size_t value = 0;     // offset of the value
    size_t children = 0;  // offset of the first child
};

bool ReadNode(const std::vector<uint8_t>& b, size_t at, size_t limit, Node* n) {
    if (at + 6 > limit) return false;
    const size_t length = Get16(&b[at]);
    if (length < 6 || at + length > limit) return false;
    n->start = at;
    n->end = at + length;
    n->value_length = Get16(&b[at + 2]);
    n->type = Get16(&b[at + 4]);
    size_t p = at + 6;
    while (p + 2 <= n->end && Get16(&b[p]) != 0)
        p += 2;
    if (p + 2 > n->end) return false;
    n->key = Utf8Of(&b[at + 6], (p - at - 6) / 2);
    n->value = at + Align4(p + 2 - at);
    const size_t value_bytes = n->type == 1 ? size_t{n->value_length} * 2 : n->value_length;
    if (n->value + value_bytes > n->end && value_bytes > 0) return false;
    n->children = at + Align4(n->value + value_bytes - at);
    return true;
}

// The children of `parent`, in order; false when one is damaged.
bool Children(const std::vector<uint8_t>& b, const Node& parent, std::vector<Node>* out) {
    out->clear();
    for (size_t at = parent.children; at + 6 <= parent.end;) {
        Node n;
        if (!ReadNode(b, at, parent.end, &n)) return false;
        out->push_back(n);
        at = parent.start + Align4(n.end - parent.start);
    }
    return true;
}

void PutVersion(uint8_t* p, const uint16_t parts[4]) {
    Put32(p, static_cast<uint32_t>(parts[0]) << 16 | parts[1]);
    Put32(p + 4, static_cast<uint32_t>(parts[2]) << 16 | parts[3]);
}

bool WriteField(const VersionInfo& info, const char* key, const std::string& text,
                std::vector<uint8_t>* stub, std::string* problem) {
    const VersionField* field = info.Field(key);
    std::vector<uint16_t> units;
    if (!field || !Utf16Of(text, &units) || units.size() + 1 > field->capacity) {
        *problem = std::string("the stub has no room for ") + key + " '" + text + "'";
        return false;
    }
    uint8_t* p = &(*stub)[field->offset];
    for (uint32_t i = 0; i < field->capacity; ++i)
        Put16(p + 2 * i, i < units.size() ? units[i] : 0);
    return true;
}

// ------------------------------------------------------------------------------------ icons

// One image of an icon: its size, colour depth and bytes.
struct IconImage {
    uint32_t width = 0, height = 0, bits = 0;
    size_t offset = 0;
    uint32_t size = 0;
};

std::string ImageText(const IconImage& image) {
    char text[48];
    if (image.bits == 8) {
        std::snprintf(text, sizeof text, "%ux%u at 256 colours", image.width, image.height);
    } else if (image.bits == 0) {
        std::snprintf(text, sizeof text, "%ux%u in PNG form", image.width, image.height);
    } else {
        std::snprintf(text, sizeof text, "%ux%u at %u bits", image.width, image.height, image.bits);
    }
    return text;
}

// "48x48, 32x32 and 16x16 at 256 colours", or each image with its depth when they differ.
std::string ListText(const std::vector<IconImage>& images) {
    bool same = true;
    for (const IconImage& image : images)
        same = same && image.bits == images[0].bits && image.bits != 0;
    std::string text;
    for (size_t i = 0; i < images.size(); ++i) {
        std::string one = ImageText(images[i]);
        if (same && i + 1 < images.size()) one = one.substr(0, one.find(' '));
        text += (i == 0 ? "" : i + 1 == images.size() ? " and " : ", ") + one;
    }
    return text.empty() ? "no images" : text;
}

// The images of an .ico file as the bitmaps inside them say (the directory's own fields are
// often left at 0). False when the file is no icon file.
bool ReadIconFile(const std::vector<uint8_t>& b, std::vector<IconImage>* images) {
    if (b.size() < 6 || Get16(&b[0]) != 0 || Get16(&b[2]) != 1) return false;
    const uint32_t count = Get16(&b[4]);
    if (count == 0 || 6 + 16ull * count > b.size()) return false;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* e = &b[6 + 16 * i];
        IconImage image;
        image.size = Get32(e + 8);
        image.offset = Get32(e + 12);
        if (image.offset + uint64_t{image.size} > b.size() || image.size < 40) return false;
        const uint8_t* data = &b[image.offset];
        if (data[0] == 0x89 && data[1] == 'P' && data[2] == 'N' && data[3] == 'G') {
            image.width = e[0] ? e[0] : 256;
            image.height = e[1] ? e[1] : 256;
            image.bits = 0;
        } else {
            if (Get32(data) != 40) return false;
            image.width = Get32(data + 4);
            image.height = Get32(data + 8) / 2;
            image.bits = Get16(data + 14);
        }
        images->push_back(image);
    }
    return true;
}

// The stub's icon group 200: its images, each with the resource that holds it.
bool StubIcon(const std::vector<uint8_t>& stub, const PeImage& pe, std::vector<IconImage>* images,
              std::vector<const PeResource*>* holders) {
    const PeResource* group = FindPeResource(pe, kResourceGroupIcon, kStubIconGroup);
    if (!group || group->size < 6) return false;
    const uint8_t* g = &stub[group->offset];
    const uint32_t count = Get16(g + 4);
    if (6 + 14ull * count > group->size) return false;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* e = g + 6 + 14 * i;
        const PeResource* r = FindPeResource(pe, kResourceIcon, Get16(e + 12));
        if (!r) return false;
        IconImage image;
        image.width = e[0] ? e[0] : 256;
        image.height = e[1] ? e[1] : 256;
        image.bits = Get16(e + 6);
        image.offset = r->offset;
        image.size = r->size;
        images->push_back(image);
        holders->push_back(r);
    }
    return true;
}

// The images of `file` that match `wanted` exactly, size in bytes included (each is written over
// the stub's image in place); false when one is missing.
bool MatchImages(const std::vector<IconImage>& wanted, const std::vector<IconImage>& given,
                 std::vector<const IconImage*>* chosen) {
    chosen->clear();
    for (const IconImage& w : wanted) {
        const IconImage* match = nullptr;
        for (const IconImage& g : given)
            if (!match && g.width == w.width && g.height == w.height && g.bits == w.bits &&
                g.size == w.size)
                match = &g;
        if (!match) return false;
        chosen->push_back(match);
    }
    return true;
}

// Writes the icon file at `path` over icon group 200 of `program`. An .ico with exactly the
// images the program holds is taken as it is; any other picture (an .ico of other sizes, a PNG,
// a JPEG) is made into those images by the picture library.
bool ApplyIcon(const std::string& path, const PeImage& pe, std::vector<uint8_t>* program,
               std::string* problem) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    std::vector<IconImage> wanted, given;
    std::vector<const PeResource*> holders;
    if (!StubIcon(*program, pe, &wanted, &holders)) {
        *problem = "the stub has no icon 200 to replace";
        return false;
    }
    if (!in.good() && !in.eof()) {
        *problem = "cannot read '" + path + "'";
        return false;
    }
    std::vector<const IconImage*> chosen;
    const bool is_icon = ReadIconFile(file, &given);
    if (!is_icon || !MatchImages(wanted, given, &chosen)) {
        const std::string needs =
            "; the installer's icon needs " + ListText(wanted) + " (uncompressed, a full palette)";
        const std::string held = is_icon ? "'" + path + "' holds " + ListText(given) + needs
                                         : "'" + path + "' is not an icon file (.ico)" + needs;
        if (!CanMakePictures()) {
            *problem = held + "; MaxSide= and pictures as Icon= need the Linux sspack";
            return false;
        }
        std::vector<uint32_t> sides;
        for (const IconImage& w : wanted) {
            if (w.bits != 8 || w.width != w.height) {
                *problem = held;
                return false;
            }
            sides.push_back(w.width);
        }
        std::vector<uint8_t> made;
        std::string why;
        if (!MakeIconFile(file, sides, &made, &why)) {
            *problem = "'" + path + "' " + why;
            return false;
        }
        file.swap(made);
        given.clear();
        if (!ReadIconFile(file, &given) || !MatchImages(wanted, given, &chosen)) {
            *problem = held;
            return false;
        }
    }
    for (size_t i = 0; i < wanted.size(); ++i)
        std::copy(file.begin() + chosen[i]->offset,
                  file.begin() + chosen[i]->offset + chosen[i]->size,
                  program->begin() + holders[i]->offset);
    return true;
}

// String 1 of the screen saver program: the name Display Properties lists. The program holds
// it in string block 1 (strings 0 to 15) with strings 0 and 2 to 15 empty, as a placeholder
// that sspack overwrites; `offset` is the block's first byte, `capacity` the units string 1
// may take while the empty strings after it keep their zero lengths.
bool NameSlot(const std::vector<uint8_t>& program, const PeImage& pe, size_t* offset,
              uint32_t* capacity) {
    const PeResource* block = FindPeResource(pe, kResourceString, 1);
    if (!block || block->size < 4 + 14 * 2) return false;
    const uint8_t* b = &program[block->offset];
    const uint32_t length = Get16(b + 2);
    if (Get16(b) != 0 || 4 + 2ull * length + 14 * 2 > block->size) return false;
    for (size_t at = 4 + 2 * length; at < block->size; ++at)
        if (b[at] != 0) return false;
    *offset = block->offset;
    *capacity = (block->size - 4 - 14 * 2) / 2;
    return *capacity >= kMaxFaceText;
}

}  // namespace

bool ParseVersion(const std::string& text, uint16_t parts[4]) {
    uint32_t values[4] = {0, 0, 0, 0};
    size_t count = 0, digits = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '.') {
            if (digits == 0 || count == 4) return false;
            ++count;
            digits = 0;
            continue;
        }
        // A fifth number has no place; without this its digits would be written past `values`.
        if (count == 4 || text[i] < '0' || text[i] > '9' || ++digits > 5) return false;
        values[count] = values[count] * 10 + static_cast<uint32_t>(text[i] - '0');
        if (values[count] > 0xFFFF) return false;
    }
    for (int i = 0; i < 4; ++i)
        parts[i] = static_cast<uint16_t>(values[i]);
    return true;
}

std::string FaceTextProblem(const std::string& text) {
    std::vector<uint16_t> units;
    if (!Utf16Of(text, &units)) return "is not valid UTF-8";
    for (uint16_t u : units)
        if (u < 0x20 || u == 0x7F) return "holds a control character";
    if (units.size() > kMaxFaceText)
        return "is " + std::to_string(units.size()) +
               " characters; the installer's file properties hold at most " +
               std::to_string(kMaxFaceText);
    return "";
}

const VersionField* VersionInfo::Field(const std::string& key) const {
    for (const VersionField& f : fields)
        if (f.key == key) return &f;
    return nullptr;
}

VersionInfo ReadVersionInfo(const std::vector<uint8_t>& bytes) {
    VersionInfo info;
    PeImage pe;
    std::string problem;
    if (!ReadPeImage(bytes, &pe, &problem)) return info;
    const PeResource* r = FindPeResource(pe, kResourceVersion, 1);
    Node root;
    if (!r || !ReadNode(bytes, r->offset, r->offset + r->size, &root) ||
        root.key != "VS_VERSION_INFO" || root.value_length < 52 || root.value + 52 > root.end ||
        Get32(&bytes[root.value]) != 0xFEEF04BDu)
        return info;
    info.fixed = root.value;
    const uint32_t ms = Get32(&bytes[root.value + 8]), ls = Get32(&bytes[root.value + 12]);
    const uint16_t parts[4] = {static_cast<uint16_t>(ms >> 16), static_cast<uint16_t>(ms),
                               static_cast<uint16_t>(ls >> 16), static_cast<uint16_t>(ls)};
    std::copy(parts, parts + 4, info.file_version);
    std::vector<Node> blocks, tables, strings;
    if (!Children(bytes, root, &blocks)) return info;
    for (const Node& block : blocks) {
        if (block.key != "StringFileInfo" || !Children(bytes, block, &tables)) continue;
        for (const Node& table : tables) {
            if (!Children(bytes, table, &strings)) return info;
            for (const Node& s : strings) {
                if (s.type != 1) continue;
                VersionField field;
                field.key = s.key;
                field.offset = s.value;
                field.capacity = s.value_length;
                field.value = Utf8Of(bytes.data() + s.value, s.value_length);
                while (!field.value.empty() && field.value.back() == ' ')
                    field.value.pop_back();
                info.fields.push_back(field);
            }
        }
    }
    info.found = true;
    return info;
}

VersionInfo ReadFileVersionInfo(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes(size_t{1} << 20);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return ReadVersionInfo(bytes);
}

bool InstallerIcon(const std::string& path, std::vector<uint8_t>* ico) {
    std::ifstream in(fs::u8path(path), std::ios::binary);
    std::vector<uint8_t> bytes(size_t{1} << 20);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    PeImage pe;
    std::string problem;
    if (!IsStubVersion(ReadVersionInfo(bytes)) || !ReadPeImage(bytes, &pe, &problem)) return false;
    const PeResource* group = FindPeResource(pe, kResourceGroupIcon, kStubIconGroup);
    if (!group || group->size < 6) return false;
    const uint8_t* g = &bytes[group->offset];
    const uint32_t count = Get16(g + 4);
    if (count == 0 || 6 + 14ull * count > group->size) return false;
    // The file: its header, one 16-byte entry per image (the group's entry with the image's
    // offset in the file in place of its resource number), then the images.
    ico->assign(g, g + 6);
    std::vector<uint8_t> images;
    uint32_t offset = 6 + 16 * count;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* e = g + 6 + 14 * i;
        const PeResource* r = FindPeResource(pe, kResourceIcon, Get16(e + 12));
        if (!r || r->size != Get32(e + 8)) return false;
        ico->insert(ico->end(), e, e + 12);
        for (int k = 0; k < 4; ++k)
            ico->push_back(static_cast<uint8_t>(offset >> (8 * k)));
        images.insert(images.end(), bytes.begin() + r->offset, bytes.begin() + r->offset + r->size);
        offset += r->size;
    }
    ico->insert(ico->end(), images.begin(), images.end());
    return true;
}

std::string MissingPayloadHint(const std::string& path) {
    const VersionInfo info = ReadFileVersionInfo(path);
    if (!IsStubVersion(info)) return "";
    const VersionField* description = info.Field("FileDescription");
    if (description && description->value == "Screen saver installer")
        return " (it is the installer stub itself, which carries none)";
    return " (it is an installer whose payload is missing or cut short: the file may be "
           "incomplete, from an interrupted download or copy)";
}

bool IsStubVersion(const VersionInfo& info) {
    const VersionField* internal = info.Field("InternalName");
    if (!info.found || !internal || internal->value != kStubInternalName) return false;
    for (const Slot& slot : kSlots) {
        const VersionField* field = info.Field(slot.key);
        if (!field || field->capacity < slot.capacity) return false;
    }
    return true;
}

bool ApplyFace(const StubFace& face, std::vector<uint8_t>* stub, std::string* problem) {
    const VersionInfo info = ReadVersionInfo(*stub);
    PeImage pe;
    if (!IsStubVersion(info) || !ReadPeImage(*stub, &pe, problem)) {
        *problem = "the stub has no version resource to fill in";
        return false;
    }
    if (!WriteField(info, "FileDescription", face.name, stub, problem) ||
        !WriteField(info, "ProductName", face.name, stub, problem) ||
        !WriteField(info, "CompanyName", face.publisher, stub, problem) ||
        !WriteField(info, "FileVersion", face.version, stub, problem) ||
        !WriteField(info, "ProductVersion", face.version, stub, problem))
        return false;
    PutVersion(&(*stub)[info.fixed + 8], face.version_parts);   // dwFileVersionMS, LS
    PutVersion(&(*stub)[info.fixed + 16], face.version_parts);  // dwProductVersionMS, LS
    return face.icon.empty() || ApplyIcon(face.icon, pe, stub, problem);
}

bool IsOwnSaverProgram(const std::vector<uint8_t>& program) {
    PeImage pe;
    std::string problem;
    size_t offset = 0;
    uint32_t capacity = 0;
    return ReadPeImage(program, &pe, &problem) && NameSlot(program, pe, &offset, &capacity);
}

bool ApplySaverFace(const StubFace& face, std::vector<uint8_t>* saver, std::string* problem) {
    PeImage pe;
    size_t offset = 0;
    uint32_t capacity = 0;
    if (!ReadPeImage(*saver, &pe, problem) || !NameSlot(*saver, pe, &offset, &capacity)) {
        *problem = "the screen saver program has no name (string 1) to fill in";
        return false;
    }
    std::vector<uint16_t> units;
    if (!Utf16Of(face.name, &units) || units.size() > capacity) {
        *problem = "the name does not fit the screen saver program's string 1";
        return false;
    }
    // New length, the name, and zeros for the rest of the block: its size stays as it was.
    uint8_t* b = &(*saver)[offset];
    Put16(b + 2, static_cast<uint16_t>(units.size()));
    for (uint32_t i = 0; i < capacity; ++i)
        Put16(b + 4 + 2 * i, i < units.size() ? units[i] : 0);
    if (face.icon.empty() || !FindPeResource(pe, kResourceGroupIcon, kStubIconGroup)) return true;
    return ApplyIcon(face.icon, pe, saver, problem);
}

std::vector<std::string> FacePropertyLines(const VersionInfo& info) {
    std::vector<std::string> lines;
    for (const char* key :
         {"FileDescription", "ProductName", "CompanyName", "FileVersion", "ProductVersion"}) {
        const VersionField* field = info.Field(key);
        if (field)
            lines.push_back(std::string(key) + ": " +
                            (field->value.empty() ? "(none)" : field->value));
    }
    char text[64];
    std::snprintf(text, sizeof text, "file version number: %u.%u.%u.%u", info.file_version[0],
                  info.file_version[1], info.file_version[2], info.file_version[3]);
    lines.push_back(text);
    return lines;
}
