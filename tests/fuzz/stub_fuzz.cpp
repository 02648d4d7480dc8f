// Any bytes as an installer stub given to sspack: the PE headers, the resource directory and the
// version resource are read, and the face is written into a copy. Nothing may be read or written
// outside the bytes, and a face that is written leaves the size and the stub's recognition as
// they were.
#include <stdint.h>

#include <string>
#include <vector>

#include "tools/sspack/pe_image.h"
#include "tools/sspack/stub_face.h"
#include "tools/sspack/stub_locate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> bytes(data, data + size);
    PeImage image;
    std::string problem;
    ReadPeImage(bytes, &image, &problem);
    StubKind kind;
    std::string arch;
    const bool stub = CheckStub(bytes, "", &kind, &arch, &problem);
    const VersionInfo info = ReadVersionInfo(bytes);
    StubFace face;
    face.name = "Night";
    face.publisher = std::string(kMaxFaceText, 'P');
    face.version = "65535.65535.65535.65535";
    std::vector<uint8_t> copy = bytes;
    if (ApplyFace(face, &copy, &problem)) {
        if (copy.size() != bytes.size() || !IsStubVersion(info)) __builtin_trap();
        if (stub && kind == StubKind::kWindows && !IsStubVersion(ReadVersionInfo(copy)))
            __builtin_trap();
    }
    return 0;
}
