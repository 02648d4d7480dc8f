// The block stream's per-byte paths, inlined into the coder. Internal to compress/: the coder
// touches the stream's buffers only through these, and everything that is not a plain byte
// (a unit to read, a block to write, a hook to call) goes through the out-of-line calls below.
//
// Invariant kept by the block stream: while the stream has ended or failed, StreamReadPtr equals
// StreamReadEnd, so a byte found between them may always be served.
#pragma once

#include <stdint.h>

extern const uint8_t* StreamReadPtr;  // next input byte to serve
extern const uint8_t* StreamReadEnd;  // end of the bytes of the current unit that may be served
extern uint8_t* StreamWritePtr;       // next free byte of the output buffer
extern uint8_t* StreamWriteEnd;       // the output buffer is flushed when StreamWritePtr gets here
extern uint32_t StreamTicks;          // bytes passed since the tick hook was last called, < 1024

constexpr uint32_t kTickInterval = 1024;

void StreamTick();        // calls the tick hook; the counter has just been wrapped
int StreamRefillByte();   // BlockGetByte when the unit is used up: reads the next unit
void StreamOutputFull();  // BlockPutByte when the output buffer is full: flushes it

// Counts `n` bytes (fewer than 1,024) passed without a unit read or a flush in between.
inline void StreamCountTicks(uint32_t n) {
    StreamTicks += n;
    if (StreamTicks >= kTickInterval) {
        StreamTicks -= kTickInterval;
        StreamTick();
    }
}

// Counts any number of bytes passed without a unit read or a flush in between.
inline void StreamCountManyTicks(uint32_t n) {
    StreamTicks += n;
    while (StreamTicks >= kTickInterval) {
        StreamTicks -= kTickInterval;
        StreamTick();
    }
}

inline int StreamGetByte() {
    if (StreamReadPtr < StreamReadEnd) {
        StreamCountTicks(1);
        return *StreamReadPtr++;
    }
    return StreamRefillByte();
}

inline void StreamPutByte(uint32_t byte) {
    *StreamWritePtr++ = static_cast<uint8_t>(byte);
    if (StreamWritePtr < StreamWriteEnd) {
        StreamCountTicks(1);
        return;
    }
    StreamOutputFull();
}
