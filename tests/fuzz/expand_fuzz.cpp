// Any bytes as a block stream, expanded from a bounded memory region into a bounded memory sink:
// no access outside either, and a sink that holds no more than StreamBytesWritten says.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <vector>

#include "compress/block_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte picks the sink's capacity, so that both roomy and tight sinks are tried.
    if (size == 0) return 0;
    const uint32_t capacity = (static_cast<uint32_t>(data[0]) << 10) + data[0];
    ++data;
    --size;
    // Exact-size copies: AddressSanitizer reports any byte read or written past them.
    std::vector<uint8_t> source(data, data + size);
    std::vector<uint8_t> sink(capacity);
    SetStreamIO(0, static_cast<uint32_t>(source.size()), sink.data(), capacity);
    ExpandStream(reinterpret_cast<intptr_t>(source.data()), kInvalidFile);
    if (StreamBytesWritten > capacity) __builtin_trap();
    return 0;
}
