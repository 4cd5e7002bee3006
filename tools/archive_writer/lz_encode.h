// The encoder of the framework's LZ format: a 9-byte head {decoded size, encoded size, escape
// byte}, then literals (the escape byte doubled) and matches of 4 to 8,195 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// Where bytes go: length bytes written at offset, mostly one after another, with a few
// rewrites of what was written before. False stops the writing.
using ByteSink = std::function<bool(uint64_t offset, const uint8_t* bytes, size_t length)>;

// A sink that gathers the bytes in *bytes, which grows to hold them.
ByteSink MemorySink(std::vector<uint8_t>* bytes);

// The match finder's table, kept from one encoding to the next so that many small files do not
// each allocate it.
struct LzScratch {
    std::vector<uint32_t> buckets;
};

// The LZ stream of size bytes of data through sink, from offset 0: matches found among the
// latest places with the same hash (a bucket of a few, in one cache line) within the format's
// 16 MB reach, a short match put off by one byte when the next place gives a better one, so that
// the time grows linearly with the data and the memory stays bounded; long stretches without a
// match (already compressed data) are crossed in growing steps. The escape byte is the least
// frequent byte unless one is given. Gives the stream's length, or 0 when the sink stopped it.
uint64_t EncodeLzTo(const uint8_t* data, size_t size, int escape, LzScratch& scratch,
                    const ByteSink& sink);

// The whole stream in memory.
std::vector<uint8_t> EncodeLz(const std::vector<uint8_t>& data, int escape = -1);
