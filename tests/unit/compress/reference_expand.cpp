#include "tests/unit/compress/reference_expand.h"

#include "compress/block_stream.h"
#include "compress/lzhuf.h"
#include "platform/types.h"

namespace {

bool UseReference = false;  // the next ExpandStream runs the plain decoder
std::string* Log = nullptr;

void LogBytes(uint32_t n) {
    *Log += "B" + std::to_string(n);
}
void LogTick() {
    *Log += "T";
}

}  // namespace

// LzhufDecode(), by its linker name.
extern "C" void __real__Z11LzhufDecodev();
extern "C" void __wrap__Z11LzhufDecodev() {
    if (UseReference) {
        ReferenceDecodeInStream();
    } else {
        __real__Z11LzhufDecodev();
    }
}

LoggedExpansion ExpandLogged(const Bytes& stream, uint32_t capacity, bool reference) {
    const uint32_t kGuard = 4096;
    Bytes sink(static_cast<size_t>(capacity) + kGuard, 0xA5);
    // An exact copy, so that a sanitizer sees any read past the stream's end.
    Bytes source(stream);
    LoggedExpansion e;
    LzhufResetState();
    Log = &e.hooks;
    const ProgressHooks saved = StreamProgressHooks;
    StreamProgressHooks = {LogBytes, LogTick};
    UseReference = reference;
    SetStreamIO(0, static_cast<uint32_t>(source.size()), sink.data(), capacity);
    e.ok = ExpandStream(reinterpret_cast<intptr_t>(source.data()), kInvalidFile);
    UseReference = false;
    StreamProgressHooks = saved;
    Log = nullptr;
    e.written = StreamBytesWritten;
    e.overran = false;
    for (size_t i = capacity; i < sink.size(); ++i)
        e.overran |= sink[i] != 0xA5;
    e.out.assign(sink.begin(), sink.begin() + (e.written < capacity ? e.written : capacity));
    return e;
}

static size_t FirstDifference(const std::string& a, const std::string& b) {
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i])
        ++i;
    return i;
}

std::string CompareExpansions(const Bytes& stream, uint32_t capacity) {
    const LoggedExpansion fast = ExpandLogged(stream, capacity, false);
    const LoggedExpansion plain = ExpandLogged(stream, capacity, true);
    std::string problems;
    if (fast.overran) problems += " the decoder wrote past the sink;";
    if (fast.ok != plain.ok)
        problems += " result " + std::to_string(fast.ok) + " vs " + std::to_string(plain.ok) + ";";
    if (fast.written != plain.written) {
        problems += " written " + std::to_string(fast.written) + " vs " +
                    std::to_string(plain.written) + ";";
    }
    if (fast.out != plain.out) {
        size_t i = 0;
        while (i < fast.out.size() && i < plain.out.size() && fast.out[i] == plain.out[i])
            ++i;
        problems += " output differs from byte " + std::to_string(i) + ";";
    }
    if (fast.hooks != plain.hooks) {
        const size_t i = FirstDifference(fast.hooks, plain.hooks);
        const size_t from = i > 20 ? i - 20 : 0;
        problems += " hook calls differ at call text " + std::to_string(i) + ": ..." +
                    fast.hooks.substr(from, 40) + " vs ..." + plain.hooks.substr(from, 40) + ";";
    }
    return problems;
}

Bytes ReferenceStream(const Bytes& input) {
    return FrameBlocks(static_cast<uint32_t>(input.size()), ReferenceEncode(input));
}

Bytes CompressInMemory(const Bytes& input, uint8_t key, int* ok) {
    // The coder's output is a little larger than its input at worst (9 bits per literal).
    Bytes sink(input.size() + input.size() / 7 + 64);
    LzhufResetState();
    SetStreamIO(0, static_cast<uint32_t>(input.size()), sink.data(),
                static_cast<uint32_t>(sink.size()));
    InputKey = key;
    const int result = CompressStream(reinterpret_cast<intptr_t>(input.data()), kInvalidFile,
                                      static_cast<int32_t>(input.size()));
    if (ok) *ok = result;
    sink.resize(StreamBytesWritten);
    return sink;
}

Bytes TokenStream(const std::vector<Token>& tokens) {
    return FrameBlocks(TokensSize(tokens), EncodeTokens(tokens));
}
