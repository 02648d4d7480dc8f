// Any bytes as the content of "WinInit.Ini" when MoveFileExA is missing (the 9x family): the
// removal at restart edits the file in place. The edit keeps every byte that was there, in order,
// and adds at most the "[Rename]" header and the one line; nothing else.
#include <stdint.h>
#include <string.h>

#include <string>

#include "app/followup.h"
#include "platform/host/host.h"
#include "platform/host/host_launch.h"
#include "platform/host/host_shell.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

void WriteAll(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = fopen(path.c_str(), "wb");
    Check(f != nullptr);
    Check(fwrite(data, 1, size, f) == size || size == 0);
    fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::string ini;
    if (ini.empty()) {
        HostSetSandbox(PrivateFolder());
        HostShellReset();
        char dir[260];
        PlatWindowsDirectory(dir, sizeof dir);  // makes the folder
        ini = HostRealPath("C:\\WINDOWS\\WinInit.Ini");
    }
    HostSetMoveFileExResult(0);
    // Byte 0: the length of the removed file's path, taken from the bytes that follow (a NUL in
    // it ends it early); the rest is the file's content.
    if (size == 0) return 0;
    size_t path_length = data[0];
    ++data;
    --size;
    if (path_length > size) path_length = size;
    std::string path(reinterpret_cast<const char*>(data), path_length);
    path = path.c_str();
    data += path_length;
    size -= path_length;
    WriteAll(ini, data, size);

    const int scheduled = ScheduleRemovalAtRestart(path.c_str());
    const std::string before(reinterpret_cast<const char*>(data), size);
    const std::string after = ReadAll(ini);
    const std::string line = "NUL=" + path + "\r\n";
    if (!scheduled) {
        Check(after == before);
        return 0;
    }
    Check(after.size() >= before.size());
    const size_t added = after.size() - before.size();
    if (added == 0) {
        Check(after == before);
        return 0;
    }
    // The added bytes are the line, or the header and the line, in one piece.
    const std::string header_and_line = "[Rename]\r\n" + line;
    Check(added == line.size() || added == header_and_line.size());
    const std::string& inserted = added == line.size() ? line : header_and_line;
    const size_t at = after.find(inserted);
    Check(at != std::string::npos);
    bool found = false;
    for (size_t p = after.find(inserted); p != std::string::npos && !found;
         p = after.find(inserted, p + 1))
        found = after.substr(0, p) + after.substr(p + added) == before;
    Check(found);
    return 0;
}
