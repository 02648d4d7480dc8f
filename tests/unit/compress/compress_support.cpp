#include "tests/unit/compress/compress_support.h"

#include <string.h>

#include <gtest/gtest.h>

#include "compress/block_stream.h"
#include "compress/lzhuf.h"
#include "platform/files.h"
#include "tests/unit/support/test_support.h"

Expansion ExpandInMemory(const Bytes& stream, uint32_t capacity) {
    const uint32_t kGuard = 4096;
    std::vector<uint8_t> sink(capacity + kGuard, 0xA5);
    // The source is copied to a buffer of its exact size, so that AddressSanitizer sees any read
    // past its end.
    std::vector<uint8_t> source(stream);
    SetStreamIO(0, static_cast<uint32_t>(source.size()), sink.data(), capacity);
    Expansion e;
    e.ok = ExpandStream(reinterpret_cast<intptr_t>(source.data()), kInvalidFile);
    e.written = StreamBytesWritten;
    for (uint32_t i = capacity; i < capacity + kGuard; ++i) {
        if (sink[i] != 0xA5) {
            ADD_FAILURE() << "the expansion wrote past the sink's capacity at " << i;
            break;
        }
    }
    e.out.assign(sink.begin(), sink.begin() + std::min(e.written, capacity));
    return e;
}

Expansion ExpandInMemory(const Bytes& stream) {
    uint32_t size = 0;
    if (stream.size() >= 10) memcpy(&size, stream.data() + 6, 4);
    return ExpandInMemory(stream, size);
}

int CompressFile(const std::string& in, const std::string& out, int32_t size) {
    FileHandle source = PlatOpenRead(in.c_str());
    FileHandle sink = PlatCreateWrite(out.c_str());
    EXPECT_NE(source, kInvalidFile);
    EXPECT_NE(sink, kInvalidFile);
    LzhufResetState();
    SetStreamIO(1, 0, nullptr, 0);
    const int ok = CompressStream(source, sink, size);
    PlatClose(source);
    PlatClose(sink);
    return ok;
}

Expansion ExpandFile(const std::string& in, const std::string& out) {
    FileHandle source = PlatOpenRead(in.c_str());
    FileHandle sink = PlatCreateWrite(out.c_str());
    EXPECT_NE(source, kInvalidFile);
    EXPECT_NE(sink, kInvalidFile);
    SetStreamIO(1, 0, nullptr, 0);
    Expansion e;
    e.ok = ExpandStream(source, sink);
    e.written = StreamBytesWritten;
    PlatClose(source);
    PlatClose(sink);
    e.out = ReadWholeFile(out);
    return e;
}

Bytes CoderOutput(const Bytes& stream) {
    Bytes out;
    size_t at = 0;
    bool first = true;
    for (uint32_t length : BlockLengths(stream)) {
        if (!first) out.insert(out.end(), stream.begin() + at + 6, stream.begin() + at + length);
        first = false;
        at += length;
    }
    return out;
}
