// Any bytes as a block stream in a file, expanded into a bounded memory sink: the expansion
// reads the file through the platform calls and never writes past the sink.
#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "compress/block_stream.h"
#include "platform/files.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte picks the sink's capacity, so that both roomy and tight sinks are tried.
    if (size == 0) return 0;
    const uint32_t capacity = (static_cast<uint32_t>(data[0]) << 10) + data[0];
    const char* path = MemoryFile(data + 1, size - 1);
    FileHandle source = PlatOpenRead(path);
    if (source == kInvalidFile) __builtin_trap();
    std::vector<uint8_t> sink(capacity);
    SetStreamIO(1, 0, sink.data(), capacity);
    int ok = ExpandStream(source, kInvalidFile);
    PlatClose(source);
    if (StreamBytesWritten > capacity) __builtin_trap();
    // A stream that expanded successfully gave exactly the size block 1 states.
    if (ok && size - 1 >= 10) {
        const uint8_t* block1 = data + 1 + 6;
        uint32_t stated =
            block1[0] | block1[1] << 8 | block1[2] << 16 | static_cast<uint32_t>(block1[3]) << 24;
        if (StreamBytesWritten != stated) __builtin_trap();
    }
    return 0;
}
