// The LZ encoder: matches from hash buckets with a one-byte lazy look, written out in chunks.
#include "lz_encode.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace {

constexpr uint32_t kMinMatch = 4;
constexpr uint32_t kMaxMatch = 8195;
constexpr uint32_t kHeadBytes = 9;
// The latest places with a hash, newest first: 64 bytes, one cache line, so that a search
// costs one miss there and one per place whose bytes are compared. Walking a chain of links
// instead cost a miss per link in a table as large as the window.
constexpr uint32_t kBucketPlaces = 16;
// A match whose length reaches kGoodMatch is looked for among only kGoodPlaces more places, and
// one that reaches kNiceMatch is taken at once: long matches gain little from a longer one.
constexpr uint32_t kGoodMatch = 16;
constexpr uint32_t kGoodPlaces = 4;
constexpr uint32_t kNiceMatch = 256;
// A match shorter than this is put off by one byte when the next place gives a better one.
constexpr uint32_t kLazyBelow = 64;
// The offset's three bytes reach 16 MB back.
constexpr uint32_t kMaxDistance = 1u << 24;
// One bucket per 16 bytes of data, at most 2^18 (a 16 MB table).
constexpr uint32_t kMinBucketBits = 4;
constexpr uint32_t kMaxBucketBits = 18;
constexpr uint32_t kBytesPerBucketBits = 4;
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

struct Match {
    uint32_t length = 0;
    uint32_t distance = 0;
    int saving = 0;  // the bytes it saves over literals
};

// The match finder: a table of buckets, each the latest places whose first four bytes hash to
// it. Places are kept one higher, so that 0 is an empty slot.
class MatchFinder {
public:
    MatchFinder(const uint8_t* data, size_t size, std::vector<uint32_t>& buckets)
        : data_(data), size_(size) {
        bits_ = std::clamp<uint32_t>(static_cast<uint32_t>(std::bit_width(size)),
                                     kMinBucketBits + kBytesPerBucketBits,
                                     kMaxBucketBits + kBytesPerBucketBits) -
                kBytesPerBucketBits;
        buckets.assign(size_t{kBucketPlaces} << bits_, 0);
        table_ = buckets.data();
    }

    // Puts place i (with four bytes from it) in its bucket, keeping what the bucket held
    // before for Find.
    void Insert(size_t i) {
        uint32_t* bucket = table_ + (size_t{Hash(i)} * kBucketPlaces);
        std::memcpy(earlier_.data(), bucket, sizeof earlier_);
        std::memmove(bucket + 1, bucket, (kBucketPlaces - 1) * sizeof *bucket);
        bucket[0] = static_cast<uint32_t>(i + 1);
    }

    // Starts loading the bucket of place i (with four bytes from it), which is likely to be
    // inserted next, while the current place is searched.
    void Prefetch(size_t i) const { __builtin_prefetch(table_ + size_t{Hash(i)} * kBucketPlaces); }

    // The match at i that saves most among the places its Insert found.
    Match Find(size_t i) const {
        Match best;
        const uint32_t limit = static_cast<uint32_t>(std::min<size_t>(kMaxMatch, size_ - i));
        const uint32_t nice = std::min(limit, kNiceMatch);
        const uint32_t here = Load32(data_ + i);
        uint32_t end = kBucketPlaces;
        for (uint32_t k = 0; k < end && earlier_[k] != 0; k++) {
            const size_t at = earlier_[k] - 1;
            const uint32_t distance = static_cast<uint32_t>(i - at);
            if (distance > kMaxDistance) break;
            if (data_[at + best.length] != data_[i + best.length] || Load32(data_ + at) != here)
                continue;
            const uint32_t length = MatchLength(data_ + at, data_ + i, limit);
            const int saving =
                static_cast<int>(length) - static_cast<int>(MatchBytes(length, distance));
            if (saving <= best.saving) continue;
            best = {length, distance, saving};
            if (length >= nice) break;
            if (length >= kGoodMatch) end = std::min(end, k + 1 + kGoodPlaces);
        }
        return best;
    }

private:
    uint32_t Hash(size_t i) const { return (Load32(data_ + i) * 2654435761u) >> (32 - bits_); }

    const uint8_t* data_;
    size_t size_;
    uint32_t bits_ = 0;
    uint32_t* table_ = nullptr;
    std::array<uint32_t, kBucketPlaces> earlier_{};
};

}  // namespace

uint64_t EncodeLzTo(const uint8_t* data, size_t size, int escape, LzScratch& scratch,
                    const ByteSink& sink) {
    Stream stream{
        sink, static_cast<uint8_t>(escape < 0 ? LeastFrequentByte(data, size) : escape), {}};
    stream.chunk.reserve(kChunkBytes + 64);
    stream.chunk.resize(kHeadBytes);
    PutLe32(stream.chunk.data(), static_cast<uint32_t>(size));
    stream.chunk[8] = stream.escape;

    MatchFinder finder(data, size, scratch.buckets);
    size_t i = 0;
    uint32_t misses = 0;
    // A match found at i by the lazy look of the place before, its place already inserted.
    bool found = false;
    Match match;
    while (i + kMinMatch <= size && stream.Room()) {
        if (i + 1 + kMinMatch <= size) finder.Prefetch(i + 1);
        if (!found) {
            finder.Insert(i);
            match = finder.Find(i);
        }
        found = false;
        if (match.saving <= 0) {
            const size_t step =
                std::min<size_t>(1 + std::min(misses >> kSkipShift, kMaxStep - 1), size - i);
            stream.Literals(data + i, step);
            i += step;
            misses++;
            continue;
        }
        misses = 0;
        size_t inserted = i + 1;
        if (match.length < kLazyBelow && i + 1 + kMinMatch <= size) {
            finder.Insert(i + 1);
            inserted = i + 2;
            const Match next = finder.Find(i + 1);
            if (next.saving > match.saving) {
                stream.Literals(data + i, 1);
                i++;
                match = next;
                found = true;
                continue;
            }
        }
        stream.Match(match.length, match.distance);
        const size_t end = i + match.length;
        for (; inserted < end && inserted + kMinMatch <= size; inserted++) finder.Insert(inserted);
        i = end;
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
