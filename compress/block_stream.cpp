// Checked block stream: frames the coder's output into checksummed blocks, checks and unframes
// them on the way back, and runs the coder over a file or a memory region.
#include "compress/block_stream.h"

#include <string.h>

#include "compress/lzhuf.h"
#include "compress/scramble.h"
#include "compress/stream_bytes.h"
#include "platform/files.h"

namespace {

enum StreamMode { kModeCompress, kModeExpand };

constexpr uint32_t kInputBufferSize = 16384;
constexpr uint32_t kSizeBlockLength = kBlockHeaderSize + 4;  // block 1 carries the size only
// Written over the start of the input buffer before every unit read of an expansion, so that a
// read that delivers fewer than two bytes cannot pass the magic test with stale bytes.
constexpr uint32_t kUnreadMarker = 0x12345678;
constexpr int32_t kNoLimit = 0x7FFFFFFF;

}  // namespace

// Module state. One run at a time; every driver run resets what it uses.
ProgressHooks StreamProgressHooks;  // installed by the progress dialog; each may be null
uint8_t InputKey;                   // XOR key for the bytes read while compressing
uint32_t StreamBytesWritten;        // bytes delivered to the sink by the latest run
static StreamMode Mode;             // what the current run does
static int InputFromFile = 1;       // 1: the source is a FileHandle; 0: a byte pointer
static uint32_t SourceSize;         // bytes readable at a memory source, as set for a run
static intptr_t Source;             // the file handle, or the next unread byte in memory
static uint32_t SourceLeft;         // bytes still readable at a memory source
static uint8_t InputBuffer[kInputBufferSize];  // 16,384 bytes: the latest unit read
const uint8_t* StreamReadPtr = InputBuffer;    // next byte to serve
const uint8_t* StreamReadEnd = InputBuffer;    // end of the bytes that may be served
static uint32_t ReadSize;                 // bytes asked for per unit: 10 for block 1, then 10,240
static int32_t RemainingInput;            // compress: input bytes not yet read; expand: no limit
static uint8_t OutputBuffer[kBlockSize];  // 10,240 bytes: a block being filled / decoded bytes
uint8_t* StreamWritePtr = OutputBuffer;   // next free byte of the output buffer
uint8_t* StreamWriteEnd = OutputBuffer;   // where the buffer counts as full
static FileHandle Sink = kInvalidFile;    // the output file when there is no memory sink
static uint8_t* MemorySink;               // set: flushed bytes are copied here
static uint32_t MemorySinkCapacity;       // bytes the memory sink holds, as set for a run
static uint32_t SinkRoom;                 // bytes the memory sink still takes
static int32_t OutputBudget;              // expand: original size minus the bytes flushed
static int StreamEnded;                   // no more input: every byte request yields -1
static int StreamFailed;                  // a block failed its check: the run fails
static int SinkFailed;                    // a write came up short: nothing more is written
static int FinalBlockServed;              // expand: the block shorter than a full one was read
static int LookAheadServed;               // expand: the decoder's byte past the stream was given
static uint32_t StatedSize;               // expand: the original size block 1 states
uint32_t StreamTicks;                     // bytes passed since the tick hook last ran, 0..1,023

static inline uint32_t LoadU16(const uint8_t* p) {
    return p[0] | (p[1] << 8);
}

static inline void StoreU16(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
}

static uint32_t BlockChecksum(const uint8_t* bytes, uint32_t count) {
    uint32_t sum = kBlockChecksumSeed;
    for (uint32_t i = 0; i < count; ++i)
        sum += bytes[i];
    return sum;
}

static inline void CallTickHook() {
    if (StreamProgressHooks.tick_hook) StreamProgressHooks.tick_hook();
}

void StreamTick() {
    CallTickHook();
}

// Nothing more is served from the current unit.
static void StopServing() {
    StreamReadPtr = StreamReadEnd = InputBuffer;
}

static void FailStream() {
    StreamFailed = 1;
    RemainingInput = 0;
    OutputBudget = 0;
    target_size = 0;  // the decoder stops after the symbol in progress
    StopServing();
}

// After a short write the entry is lost: the run winds down without reading or writing more.
static void FailSink() {
    SinkFailed = 1;
    StreamEnded = 1;
    RemainingInput = 0;
    OutputBudget = 0;
    target_size = 0;
    StopServing();
}

static uint32_t ReadUnit() {
    if (InputFromFile) return PlatRead(static_cast<FileHandle>(Source), InputBuffer, ReadSize);
    uint32_t n = ReadSize;
    if (Mode == kModeCompress && static_cast<uint32_t>(RemainingInput) < n) n = RemainingInput;
    if (n > SourceLeft) n = SourceLeft;
    memcpy(InputBuffer, reinterpret_cast<const uint8_t*>(Source), n);
    Source += n;
    SourceLeft -= n;
    return n;
}

static int CheckBlock(uint32_t n) {
    int pass = 1;
    if (Mode == kModeExpand) {
        // The length may reach 6 bytes past the unit; the checksum then covers what the buffer
        // holds there, as a stream reader always has.
        const int32_t payload = static_cast<int32_t>(LoadU16(InputBuffer + 4)) - 6;
        pass = LoadU16(InputBuffer) == kBlockMagic && payload >= 0 &&
               payload <= static_cast<int32_t>(n) &&
               (BlockChecksum(InputBuffer + kBlockHeaderSize, payload) & 0xFFFF) ==
                   LoadU16(InputBuffer + 2);
    }
    CallTickHook();
    return pass;
}

// The decoder always asks for one byte past the end of its bit stream. A stream may end its
// file, so that byte is served as 0 once the final block has been read; a second request past
// the final block means the stream holds fewer codes than block 1 promises.
static void ServeLookAhead() {
    if (LookAheadServed) {
        FailStream();
        return;
    }
    LookAheadServed = 1;
    InputBuffer[0] = 0;
    StreamReadPtr = InputBuffer;
    StreamReadEnd = InputBuffer + 1;
}

// Expand mode, after a unit passed its check: what of it goes to the decoder.
static void ServeBlock(uint32_t n) {
    uint32_t end = n;
    const uint32_t length = LoadU16(InputBuffer + 4);
    const int final_block = ReadSize == kBlockSize && length < kBlockSize;
    if (final_block) {
        FinalBlockServed = 1;
        if (length < end) end = length;  // what follows the stream is not the stream's
    }
    if (end <= kBlockHeaderSize) {
        if (final_block) {
            ServeLookAhead();
        } else {
            FailStream();  // block 1 without its size bytes
        }
        return;
    }
    StreamReadPtr = InputBuffer + kBlockHeaderSize;
    StreamReadEnd = InputBuffer + end;
}

static void RefillInput() {
    if (Mode == kModeExpand) memcpy(InputBuffer, &kUnreadMarker, 4);
    StopServing();
    if (OutputBudget <= 0 || RemainingInput <= 0) {
        StreamEnded = 1;
        return;
    }
    if (Mode == kModeExpand && FinalBlockServed) {
        // The request that found the final block used up served the byte past it: count it as
        // a byte taken from the unit, as it is when the final block's unit holds what follows.
        ServeLookAhead();
        if (!StreamFailed) StreamCountTicks(1);
        return;
    }
    const uint32_t n = ReadUnit();
    if (Mode == kModeCompress && InputKey != 0) XorBytes(InputBuffer, n, InputKey);
    StreamReadEnd = InputBuffer + n;
    if (Mode == kModeCompress) {
        // A file read may overshoot the input; only the input's bytes are served.
        if (static_cast<int32_t>(n) > RemainingInput) StreamReadEnd = InputBuffer + RemainingInput;
        RemainingInput -= n;
    }
    if (!CheckBlock(n)) {
        FailStream();
        return;
    }
    if (n == 0) {
        RemainingInput = 0;
        OutputBudget = 0;
        StreamEnded = 1;
        StopServing();
        return;
    }
    if (Mode == kModeExpand) ServeBlock(n);
}

int StreamRefillByte() {
    RefillInput();
    if (StreamEnded || StreamFailed) return -1;
    return *StreamReadPtr++;
}

int BlockGetByte() {
    return StreamGetByte();
}

static void FlushBlock() {
    const uint32_t m = static_cast<uint32_t>(StreamWritePtr - OutputBuffer);
    if (Mode == kModeCompress) {
        const uint32_t payload = m - kBlockHeaderSize;
        StoreU16(OutputBuffer, kBlockMagic);
        StoreU16(OutputBuffer + 2, BlockChecksum(OutputBuffer + kBlockHeaderSize, payload));
        StoreU16(OutputBuffer + 4, m);
    }
    if (SinkFailed) return;
    CallTickHook();
    uint32_t written;
    if (MemorySink) {
        written = m <= SinkRoom ? m : SinkRoom;
        memcpy(MemorySink, OutputBuffer, written);
        MemorySink += written;
        SinkRoom -= written;
    } else {
        written = PlatWrite(Sink, OutputBuffer, m);
    }
    StreamBytesWritten += written;
    if (StreamProgressHooks.byte_count_hook) StreamProgressHooks.byte_count_hook(written);
    if (written < m) FailSink();
}

void StreamOutputFull() {
    const int32_t k = static_cast<int32_t>(StreamWritePtr - OutputBuffer);
    FlushBlock();
    OutputBudget -= k;
    StreamWritePtr = Mode == kModeCompress ? OutputBuffer + kBlockHeaderSize : OutputBuffer;
}

void BlockPutByte(int byte) {
    StreamPutByte(static_cast<uint32_t>(byte));
}

int32_t WriteOriginalSize() {
    const int32_t size = RemainingInput;
    const uint32_t bits = static_cast<uint32_t>(size);
    for (int i = 0; i < 4; ++i)
        StreamPutByte((bits >> (8 * i)) & 0xFF);
    StreamWriteEnd = OutputBuffer + kBlockSize;
    return size;
}

int32_t ReadOriginalSize() {
    uint32_t size = 0;
    for (int i = 0; i < 4; ++i) {
        const int byte = StreamGetByte();
        size |= static_cast<uint32_t>(byte & 0xFF) << (8 * i);
    }
    ReadSize = kBlockSize;
    // No writer states a size above the largest signed 32-bit count.
    if (!StreamFailed && size > static_cast<uint32_t>(kNoLimit)) FailStream();
    if (StreamFailed) {
        OutputBudget = 0;
        return 0;
    }
    if (MemorySink && size > SinkRoom) {
        FailSink();
        return 0;
    }
    OutputBudget = static_cast<int32_t>(size);
    StatedSize = size;
    return OutputBudget;
}

void SetStreamIO(int input_from_file, uint32_t source_size, uint8_t* memory_sink,
                 uint32_t sink_capacity) {
    InputFromFile = input_from_file;
    SourceSize = source_size;
    MemorySink = memory_sink;
    MemorySinkCapacity = sink_capacity;
}

static void BeginRun(StreamMode mode, intptr_t source, FileHandle sink) {
    ResetBitBuffers();
    Mode = mode;
    Source = source;
    SourceLeft = SourceSize;
    Sink = sink;
    SinkRoom = MemorySinkCapacity;
    StreamBytesWritten = 0;
    StopServing();
    StreamEnded = StreamFailed = SinkFailed = 0;
    FinalBlockServed = LookAheadServed = 0;
    StreamTicks = 0;
}

static int EndRun() {
    InputKey = 0;
    SetStreamIO(1, 0, nullptr, 0);
    return !StreamFailed && !SinkFailed;
}

int CompressStream(intptr_t source, FileHandle sink, int32_t input_size) {
    BeginRun(kModeCompress, source, sink);
    RemainingInput = input_size;
    OutputBudget = kNoLimit;
    StreamWritePtr = OutputBuffer + kBlockHeaderSize;
    StreamWriteEnd = OutputBuffer + kSizeBlockLength;
    ReadSize = kBlockSize;
    LzhufEncode();
    FlushBlock();
    return EndRun();
}

int ExpandStream(intptr_t source, FileHandle sink) {
    BeginRun(kModeExpand, source, sink);
    RemainingInput = OutputBudget = kNoLimit;
    StreamWritePtr = OutputBuffer;
    StreamWriteEnd = OutputBuffer + kBlockSize;
    ReadSize = kSizeBlockLength;
    StatedSize = 0;
    LzhufDecode();
    FlushBlock();
    // A match is always written whole, so a damaged stream whose blocks pass their checks can
    // still deliver more than block 1 states; that is no correct expansion.
    if (!StreamFailed && !SinkFailed && StreamBytesWritten != StatedSize) StreamFailed = 1;
    return EndRun();
}
