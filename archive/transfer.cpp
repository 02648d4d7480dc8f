// Entry transfer engine: plain copies run here in 16 KB chunks; compression and expansion are
// handed to the block stream's drivers.
#include "archive/transfer.h"

#include <string.h>

#include "compress/block_stream.h"
#include "compress/scramble.h"
#include "platform/files.h"

// Module state.
static uint8_t ChunkBuffer[kChunkSize];  // 16,384 bytes: every chunk of every plain copy

// A compression into memory has no bound of its own: the caller sizes the sink.
static constexpr uint32_t kUnboundedSink = 0xFFFFFFFFu;
// The largest input a block stream can state as its original size (an expansion refuses more).
static constexpr uint32_t kLargestStreamInput = 0x7FFFFFFFu;

int TransferEntryData(intptr_t source, intptr_t sink, uint32_t* count, TransferFlags flags) {
    if (flags & (Compress | Decompress)) {
        if (!(flags & Decompress) && *count > kLargestStreamInput) {
            *count = 0;
            return 0;
        }
        const int from_file = (flags & FromMemory) ? 0 : 1;
        const uint32_t source_size = from_file ? 0 : *count;
        uint8_t* memory_sink = (flags & ToMemory) ? reinterpret_cast<uint8_t*>(sink) : nullptr;
        uint32_t capacity = 0;
        if (memory_sink) capacity = (flags & Decompress) ? *count : kUnboundedSink;
        SetStreamIO(from_file, source_size, memory_sink, capacity);
        // With a memory sink the drivers ignore their file argument.
        const FileHandle sink_file = memory_sink ? kInvalidFile : static_cast<FileHandle>(sink);
        int ok;
        if (flags & Decompress) {
            // An expansion never applies a key, whatever the flags carry.
            InputKey = 0;
            ok = ExpandStream(source, sink_file);
        } else {
            InputKey = static_cast<uint8_t>(flags & KeyByte);
            ok = CompressStream(source, sink_file, static_cast<int32_t>(*count));
        }
        *count = StreamBytesWritten;
        return ok;
    }
    return CopyChunks(source, sink, count, flags);
}

// Reads one chunk; memory sources cannot come up short.
static int ReadChunk(intptr_t* source, uint32_t size, TransferFlags flags) {
    if (flags & FromMemory) {
        memcpy(ChunkBuffer, reinterpret_cast<const uint8_t*>(*source), size);
        *source += size;
        return 1;
    }
    return PlatRead(static_cast<FileHandle>(*source), ChunkBuffer, size) == size;
}

// Writes one chunk; returns the bytes that reached the sink.
static uint32_t WriteChunk(intptr_t* sink, uint32_t size, TransferFlags flags) {
    if (flags & ToMemory) {
        memcpy(reinterpret_cast<uint8_t*>(*sink), ChunkBuffer, size);
        *sink += size;
        return size;
    }
    return PlatWrite(static_cast<FileHandle>(*sink), ChunkBuffer, size);
}

int CopyChunks(intptr_t source, intptr_t sink, uint32_t* count, TransferFlags flags) {
    uint32_t left = *count;
    *count = 0;
    const uint32_t key = flags & KeyByte;
    while (left != 0) {
        const uint32_t size = left < kChunkSize ? left : kChunkSize;
        left -= size;
        // A short read writes nothing of its chunk: the sink never holds bytes from past the
        // end of the source.
        if (!ReadChunk(&source, size, flags)) return 0;
        if (key != 0) XorBytes(ChunkBuffer, size, key);
        const uint32_t written = WriteChunk(&sink, size, flags);
        *count += written;
        if (written < size) return 0;
    }
    return 1;
}
