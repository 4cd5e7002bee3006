// The LZ encoder: greedy matches from hash chains, written out in chunks.
#include "lz_encode.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace {

constexpr uint32_t kMinMatch = 4;
constexpr uint32_t kMaxMatch = 8195;
constexpr uint32_t kHeadBytes = 9;
// A match is looked for among at most this many earlier places with the same hash.
constexpr int kChainDepth = 32;
// 4 MB back at most (the format reaches 16 MB): the chain links then take at most 16 MB.
constexpr uint32_t kMaxWindow = 1u << 22;
constexpr uint32_t kMinHashBits = 8;
constexpr uint32_t kMaxHashBits = 17;
// After every 32 places without a match the step to the next place tried grows by one byte,
// up to 32 bytes: random data is crossed quickly, and the first match resets the step.
constexpr uint32_t kSkipShift = 5;
constexpr uint32_t kMaxStep = 32;
constexpr size_t kChunkBytes = 64 * 1024;

uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

void PutLe32(uint8_t* out, uint32_t v) {
    for (int i = 0; i < 4; i++) out[i] = static_cast<uint8_t>(v >> (8 * i));
}

// How many bytes from a and b agree, up to limit; a lies before b.
uint32_t MatchLength(const uint8_t* a, const uint8_t* b, uint32_t limit) {
    uint32_t length = 0;
    while (length + 8 <= limit) {
        uint64_t x, y;
        std::memcpy(&x, a + length, 8);
        std::memcpy(&y, b + length, 8);
        if (x != y) return length + static_cast<uint32_t>(std::countr_zero(x ^ y) / 8);
        length += 8;
    }
    while (length < limit && a[length] == b[length]) length++;
    return length;
}

// The offset's bytes (1 to 3) of a match distance.
uint32_t OffsetBytes(uint32_t distance) {
    const uint32_t offset = distance - 1;
    return offset < 0x100 ? 1 : offset < 0x10000 ? 2 : 3;
}

// What a match costs in the stream: the escape, the code, a length byte beyond 35, the offset.
uint32_t MatchBytes(uint32_t length, uint32_t distance) {
    return 2 + (length - kMinMatch >= 32 ? 1 : 0) + OffsetBytes(distance);
}

// The stream gathered in chunks and handed to the sink.
struct Stream {
    const ByteSink& sink;
    uint8_t escape;
    std::vector<uint8_t> chunk;
    uint64_t written = 0;
    bool stopped = false;

    void Flush() {
        if (!stopped && !chunk.empty() && !sink(written, chunk.data(), chunk.size())) {
            stopped = true;
        }
        written += chunk.size();
        chunk.clear();
    }
    // Keeps room for a match or a few literals; false once the sink has stopped.
    bool Room() {
        if (chunk.size() >= kChunkBytes) Flush();
        return !stopped;
    }
    void Literals(const uint8_t* bytes, size_t count) {
        for (size_t i = 0; i < count; i++) {
            chunk.push_back(bytes[i]);
            if (bytes[i] == escape) chunk.push_back(escape);
        }
    }
    void Match(uint32_t length, uint32_t distance) {
        const uint32_t offset = distance - 1;
        const uint32_t width = OffsetBytes(distance) - 1;
        const uint32_t extra = length - kMinMatch;
        const uint32_t code = (extra & 31) << 3 | (extra >= 32 ? 4 : 0) | width;
        chunk.push_back(escape);
        // Codes from the escape's value up are stored one higher, so that the escape value
        // stays free for a doubled literal.
        chunk.push_back(static_cast<uint8_t>(code >= escape ? code + 1 : code));
        if (extra >= 32) chunk.push_back(static_cast<uint8_t>(extra >> 5));
        for (uint32_t b = 0; b <= width; b++)
            chunk.push_back(static_cast<uint8_t>(offset >> (8 * b)));
    }
};

uint8_t LeastFrequentByte(const uint8_t* data, size_t size) {
    std::array<size_t, 256> counts{};
    for (size_t i = 0; i < size; i++) counts[data[i]]++;
    return static_cast<uint8_t>(std::min_element(counts.begin(), counts.end()) - counts.begin());
}

}  // namespace

uint64_t EncodeLzTo(const uint8_t* data, size_t size, int escape, LzScratch& scratch,
                    const ByteSink& sink) {
    Stream stream{
        sink, static_cast<uint8_t>(escape < 0 ? LeastFrequentByte(data, size) : escape), {}};
    stream.chunk.reserve(kChunkBytes + 64);
    stream.chunk.resize(kHeadBytes);
    PutLe32(stream.chunk.data(), static_cast<uint32_t>(size));
    stream.chunk[8] = stream.escape;

    const uint32_t hashBits = std::clamp<uint32_t>(static_cast<uint32_t>(std::bit_width(size)),
                                                   kMinHashBits, kMaxHashBits);
    scratch.head.assign(size_t{1} << hashBits, 0);
    const uint32_t window =
        std::bit_ceil(static_cast<uint32_t>(std::clamp<size_t>(size, 1, kMaxWindow)));
    if (scratch.previous.size() < window) scratch.previous.resize(window);
    uint32_t* const head = scratch.head.data();
    uint32_t* const previous = scratch.previous.data();
    const uint32_t mask = window - 1;
    // Positions are kept one higher, so that 0 ends a chain.
    auto insert = [&](size_t i) {
        const uint32_t h = (Load32(data + i) * 2654435761u) >> (32 - hashBits);
        const uint32_t earlier = head[h];
        head[h] = static_cast<uint32_t>(i + 1);
        previous[i & mask] = earlier;
        return earlier;
    };

    size_t i = 0;
    uint32_t misses = 0;
    while (i + kMinMatch <= size && stream.Room()) {
        const uint32_t limit = static_cast<uint32_t>(std::min<size_t>(kMaxMatch, size - i));
        uint32_t bestLength = 0;
        uint32_t bestDistance = 0;
        int bestSaving = 0;
        uint32_t candidate = insert(i);
        for (int depth = 0; candidate != 0 && depth < kChainDepth; depth++) {
            const size_t at = candidate - 1;
            const uint32_t distance = static_cast<uint32_t>(i - at);
            // A link older than the window has been written over by a later place.
            if (distance >= window) break;
            if (Load32(data + at) == Load32(data + i) &&
                data[at + bestLength] == data[i + bestLength]) {
                const uint32_t length = MatchLength(data + at, data + i, limit);
                const int saving =
                    static_cast<int>(length) - static_cast<int>(MatchBytes(length, distance));
                if (saving > bestSaving) {
                    bestSaving = saving;
                    bestLength = length;
                    bestDistance = distance;
                }
                if (length == limit) break;
            }
            candidate = previous[at & mask];
        }
        if (bestSaving > 0) {
            stream.Match(bestLength, bestDistance);
            const size_t end = i + bestLength;
            for (i++; i < end && i + kMinMatch <= size; i++) insert(i);
            i = end;
            misses = 0;
            continue;
        }
        const size_t step =
            std::min<size_t>(1 + std::min(misses >> kSkipShift, kMaxStep - 1), size - i);
        stream.Literals(data + i, step);
        i += step;
        misses++;
    }
    if (stream.Room()) stream.Literals(data + i, size - i);
    stream.Flush();
    if (stream.stopped) return 0;
    uint8_t encoded[4];
    PutLe32(encoded, static_cast<uint32_t>(stream.written));
    return sink(4, encoded, 4) ? stream.written : 0;
}

ByteSink MemorySink(std::vector<uint8_t>* bytes) {
    return [bytes](uint64_t offset, const uint8_t* data, size_t length) {
        if (bytes->size() < offset + length) bytes->resize(offset + length);
        std::memcpy(bytes->data() + offset, data, length);
        return true;
    };
}

std::vector<uint8_t> EncodeLz(const std::vector<uint8_t>& data, int escape) {
    std::vector<uint8_t> out;
    LzScratch scratch;
    EncodeLzTo(data.data(), data.size(), escape, scratch, MemorySink(&out));
    return out;
}
