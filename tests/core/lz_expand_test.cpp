// LZ expansion: hand-made streams for each code form, round trips through the archive writer's
// encoder (its reach, its scratch kept across files, the plain storing of what it cannot shrink),
// and damaged streams that must fail without touching memory outside the buffers.
#include "core/lz_expand.h"

#include <archive_writer.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "core/archive.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A stream with the given head values around a body of codes.
Bytes Stream(uint32_t decodedSize, uint8_t escape, const Bytes& body) {
    Bytes out(9);
    out.reserve(9 + body.size());  // GCC 12 -O3 misjudges the growth
    uint32_t encoded = static_cast<uint32_t>(body.size() + 9);
    for (int i = 0; i < 4; i++) {
        out[i] = static_cast<uint8_t>(decodedSize >> (8 * i));
        out[4 + i] = static_cast<uint8_t>(encoded >> (8 * i));
    }
    out[8] = escape;
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// Expands into a buffer of exactly the head's size, guarded on both sides.
int32_t Expand(const Bytes& packed, Bytes* out) {
    int32_t size =
        ExpandArchiveData(packed.data(), static_cast<uint32_t>(packed.size()), nullptr, 0);
    if (size < 0) return size;
    Bytes guarded(size + 32, 0xEE);
    int32_t result = ExpandArchiveData(packed.data(), static_cast<uint32_t>(packed.size()),
                                       guarded.data() + 16, static_cast<uint32_t>(size));
    for (int i = 0; i < 16; i++) {
        EXPECT_EQ(guarded[i], 0xEE) << "wrote before the output";
        EXPECT_EQ(guarded[16 + size + i], 0xEE) << "wrote past the output";
    }
    out->assign(guarded.begin() + 16, guarded.begin() + 16 + size);
    return result;
}

TEST(LzExpand, LiteralsAndTheDoubledEscapeByte) {
    Bytes out;
    ASSERT_EQ(Expand(Stream(4, 0x7A, {'a', 0x7A, 0x7A, 'b', 'c'}), &out), 4);
    EXPECT_EQ(out, (Bytes{'a', 0x7A, 'b', 'c'}));
}

TEST(LzExpand, MatchWithOneByteOffsetOverlapsItsSource) {
    // Code 0: length 4, one offset byte; offset 0 is a distance of 1, repeating the last byte.
    Bytes out;
    ASSERT_EQ(Expand(Stream(6, 0xFF, {'x', 'y', 0xFF, 0x00, 0x00}), &out), 6);
    EXPECT_EQ(out, (Bytes{'x', 'y', 'y', 'y', 'y', 'y'}));
    // Distance 3, length 4 + 6 = 10: the three bytes repeat.
    ASSERT_EQ(Expand(Stream(13, 0xFF, {'a', 'b', 'c', 0xFF, 6 << 3, 0x02}), &out), 13);
    EXPECT_EQ(out, (Bytes{'a', 'b', 'c', 'a', 'b', 'c', 'a', 'b', 'c', 'a', 'b', 'c', 'a'}));
}

TEST(LzExpand, CodeAboveTheEscapeStandsForOneLess) {
    // With escape 0x08 the match code 0x08 (length 5, one offset byte) is stored as 0x09.
    Bytes out;
    ASSERT_EQ(Expand(Stream(7, 0x08, {'p', 'q', 0x08, 0x09, 0x01}), &out), 7);
    EXPECT_EQ(out, (Bytes{'p', 'q', 'p', 'q', 'p', 'q', 'p'}));
    // Codes below the escape are taken as they are: 0x00 with escape 0x08 is length 4.
    ASSERT_EQ(Expand(Stream(6, 0x08, {'p', 'q', 0x08, 0x00, 0x01}), &out), 6);
    EXPECT_EQ(out, (Bytes{'p', 'q', 'p', 'q', 'p', 'q'}));
}

TEST(LzExpand, ExtensionByteAndWideOffsets) {
    // Longest match: low bits 31, extension 255 -> 31 + 255 x 32 + 4 = 8195.
    Bytes out;
    ASSERT_EQ(Expand(Stream(8196, 0xFE, {'z', 0xFE, 31 << 3 | 4, 255, 0x00}), &out), 8196);
    EXPECT_EQ(out, Bytes(8196, 'z'));

    // Two- and three-byte offsets reach back 0x0101 and 0x010001 bytes.
    Bytes literals(0x10001);
    for (size_t i = 0; i < literals.size(); i++) literals[i] = static_cast<uint8_t>(i % 251);
    Bytes body = literals;
    Bytes tail = {0xFF, 0x01, 0x00, 0x01, 0xFF, 0x02, 0x00, 0x00, 0x01};
    body.insert(body.end(), tail.begin(), tail.end());
    ASSERT_EQ(Expand(Stream(0x10001 + 8, 0xFF, body), &out), 0x10001 + 8);
    for (int k = 0; k < 4; k++) {
        EXPECT_EQ(out[0x10001 + k], literals[0x10001 - 0x101 + k]);
        EXPECT_EQ(out[0x10005 + k], out[0x10005 - 0x10001 + k]);
    }
}

TEST(LzExpand, NullOutputOrEmptyStreamGivesTheHeadSizeOnly) {
    // The body is damaged, but a size query does not decode it.
    Bytes packed = Stream(1234, 0x00, {0x00, 0x03});
    EXPECT_EQ(ExpandArchiveData(packed.data(), static_cast<uint32_t>(packed.size()), nullptr, 0),
              1234);
    Bytes empty = Stream(0, 0x00, {});
    uint8_t byte = 0x55;
    EXPECT_EQ(ExpandArchiveData(empty.data(), 9, &byte, 1), 0);
    EXPECT_EQ(byte, 0x55);
}

TEST(LzExpand, DamagedStreamsFail) {
    Bytes out(64, 0);
    auto expand = [&](const Bytes& packed, uint32_t packedBytes) {
        return ExpandArchiveData(packed.data(), packedBytes, out.data(), 16);
    };
    Bytes good = Stream(4, 0xFF, {'a', 'b', 'c', 'd'});
    EXPECT_EQ(expand(good, 13), 4);
    EXPECT_EQ(expand(good, 8), -1) << "head cut";
    EXPECT_EQ(expand(good, 12), -1) << "encoded size beyond the bytes given";
    EXPECT_EQ(expand(Stream(17, 0xFF, Bytes(17, 'a')), 26), -1) << "decoded size beyond the output";
    EXPECT_EQ(expand(Stream(8, 0xFF, {'a', 0xFF, 0x03, 0}), 13), -1) << "low bits 3";
    EXPECT_EQ(expand(Stream(8, 0xFF, {'a', 0xFF, 0x00, 1}), 13), -1) << "before the output start";
    EXPECT_EQ(expand(Stream(4, 0xFF, {'a', 0xFF, 0x00, 0}), 13), -1) << "past the decoded size";
    EXPECT_EQ(expand(Stream(5, 0xFF, {'a', 0xFF}), 11), -1) << "stream ends after the escape";
    EXPECT_EQ(expand(Stream(5, 0xFF, {'a', 0xFF, 0x04}), 12), -1) << "extension byte missing";
    EXPECT_EQ(expand(Stream(9, 0xFF, {'a', 0xFF, 0x01, 0}), 13), -1) << "offset byte missing";
    EXPECT_EQ(expand(Stream(6, 0xFF, {'a', 'b'}), 11), -1) << "stream ends early";
    EXPECT_EQ(expand(Stream(1, 0xFF, {'a', 'b'}), 11), -1) << "stream goes on";
    EXPECT_EQ(expand(Stream(3, 0xFF, {}), 9), -1) << "empty stream with a size";
    // Two packed bytes give at most 4,098; a head that claims more is refused unread.
    Bytes claim = Stream(4098, 0xFF, {'a', 'b'});
    EXPECT_EQ(ExpandArchiveData(claim.data(), 11, nullptr, 0), 4098);
    claim = Stream(4099, 0xFF, {'a', 'b'});
    EXPECT_EQ(ExpandArchiveData(claim.data(), 11, nullptr, 0), -1);
    Bytes huge = Stream(0x80000000u, 0xFF, {});
    EXPECT_EQ(ExpandArchiveData(huge.data(), 9, nullptr, 0), -1);
    EXPECT_EQ(ExpandArchiveData(nullptr, 9, out.data(), 16), -1);
}

TEST(LzExpand, EncoderRoundTrips) {
    std::mt19937 random(5);
    std::vector<Bytes> inputs;
    inputs.push_back({});
    inputs.push_back({0x42});
    Bytes noise(70000);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
    inputs.push_back(noise);
    // Every byte value (the escape byte among them) in long and short runs.
    Bytes runs;
    for (int v = 0; v < 256; v++) runs.insert(runs.end(), 1 + (v * 37) % 9000, uint8_t(v));
    inputs.push_back(runs);
    // A block repeated beyond 64 KB: three-byte offsets.
    Bytes far(2000);
    for (uint8_t& b : far) b = static_cast<uint8_t>(random());
    Bytes distant = far;
    distant.reserve(2 * far.size() + noise.size());  // GCC 12 -O3 misjudges the growth
    distant.insert(distant.end(), noise.begin(), noise.end());
    distant.insert(distant.end(), far.begin(), far.end());
    inputs.push_back(distant);
    Bytes text;
    for (int i = 0; i < 3000; i++) {
        const char* word = i % 3 ? "archive " : "escape\xFF";
        text.insert(text.end(), word, word + std::strlen(word));
    }
    inputs.push_back(text);

    for (const Bytes& input : inputs) {
        for (int escape : {-1, 0x00, 0xFF, 0x20}) {
            Bytes packed = EncodeLz(input, escape);
            Bytes out;
            ASSERT_EQ(Expand(packed, &out), static_cast<int32_t>(input.size()));
            EXPECT_EQ(out, input) << "size " << input.size() << " escape " << escape;
        }
    }
    EXPECT_LT(EncodeLz(runs).size(), runs.size() / 20) << "runs compress";
    EXPECT_LT(EncodeLz(distant).size(), distant.size() - 1500) << "the far block matches";
}

Bytes Noise(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    return bytes;
}

// Expands the stream and compares every byte with the input.
void ExpectRoundTrip(const Bytes& packed, const Bytes& input) {
    Bytes out;
    ASSERT_EQ(Expand(packed, &out), static_cast<int32_t>(input.size()));
    EXPECT_TRUE(out == input) << "the expanded bytes differ from the input";
}

TEST(LzExpand, EncoderReachesSixteenMegabytesBackAndNoFurther) {
    // Noise blocks amid zeros: b again 4.5 MB on, d again exactly 16 MB on (the longest distance
    // three offset bytes hold), c again just past 16 MB, where it must be written as literals.
    constexpr size_t kBlock = 4096;
    constexpr size_t kMaxDistance = size_t{1} << 24;
    const Bytes b = Noise(kBlock, 1), c = Noise(kBlock, 2), d = Noise(kBlock, 3);
    Bytes input(kBlock * 4 + kMaxDistance + 1000, 0);
    auto put = [&](const Bytes& block, size_t at) {
        std::copy(block.begin(), block.end(), input.begin() + static_cast<ptrdiff_t>(at));
    };
    put(b, 0);
    put(c, kBlock);
    put(d, 3 * kBlock);
    const Bytes zeros = input;
    put(b, (9u << 20) / 2);
    put(d, 3 * kBlock + kMaxDistance);
    put(c, kBlock + kMaxDistance + 500);
    const Bytes packed = EncodeLz(input);
    ExpectRoundTrip(packed, input);
    // Matched, the copies of b and d cost a few bytes more than the zeros they stand on; c's
    // costs its bytes.
    EXPECT_LT(packed.size(), EncodeLz(zeros).size() + kBlock + 200) << "b or d was not matched";
}

TEST(LzExpand, EncoderScratchServesFilesOfEverySizeInTurn) {
    // A large file, a small one, a large one again through one scratch: each stream is the one a
    // fresh scratch gives and expands to its input; the large ones' streams pass 1 MB (many
    // chunks, the size patched in at the end).
    Bytes large = Noise(1536 * 1024, 4);
    for (size_t i = 0; i + 64 < large.size(); i += 256) std::fill_n(large.begin() + i, 64, 0x33);
    Bytes other = Noise(2 << 20, 5);
    for (size_t i = 1000; i < other.size(); i += 3000)
        std::copy_n(other.begin() + (i - 1000), 300, other.begin() + i);
    Bytes small(other.begin(), other.begin() + 1000);
    LzScratch scratch;
    for (const Bytes* input : {&large, &small, &other}) {
        Bytes packed;
        const uint64_t length =
            EncodeLzTo(input->data(), input->size(), -1, scratch, MemorySink(&packed));
        ASSERT_EQ(length, packed.size());
        SCOPED_TRACE(input->size());
        EXPECT_TRUE(packed == EncodeLz(*input)) << "the scratch's last use changed the stream";
        ExpectRoundTrip(packed, *input);
        if (input != &small) {
            EXPECT_GT(packed.size(), size_t{1} << 20);
        }
    }
}

// The stored body of the archive's only file, and whether it is compressed.
Bytes StoredBody(WrittenArchive& written, bool* compressed) {
    Archive archive;
    ClearArchive(&archive);
    Bytes body;
    if (OpenArchiveFromImage(&archive, written.bytes.data(),
                             static_cast<uint32_t>(written.bytes.size()), nullptr) != 0) {
        ADD_FAILURE() << "the archive does not open";
        return body;
    }
    if (const ArchiveFileEntry* entry = FindArchiveFileEntry("file.bin", &archive)) {
        *compressed = IsArchiveEntryCompressed(&archive, entry);
        const uint8_t* start = GetArchiveImage(&archive) + GetArchiveBodyStart(&archive, entry);
        body.assign(start, start + (*compressed ? entry->compressedSize : entry->size));
    } else {
        ADD_FAILURE() << "file.bin is missing";
    }
    CloseArchive(&archive);
    return body;
}

TEST(LzExpand, ArchiveStoresPlainWhatCompressionDoesNotShrink) {
    // Noise without the byte 0xFF (the escape, never doubled) then a run: the run's length sets
    // the stream's size against the file's. The file whose stream is one byte shorter is stored
    // compressed; the one whose stream is as long is stored plain.
    std::mt19937 random(6);
    Bytes noise(3000);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(random() % 255);
    std::vector<Bytes> files(2);
    for (size_t run = 1; run < 64 && (files[0].empty() || files[1].empty()); run++) {
        Bytes input = noise;
        input.insert(input.end(), run, 0x41);
        const size_t packed = EncodeLz(input).size();
        if (packed == input.size()) files[0] = input;
        if (packed + 1 == input.size()) files[1] = input;
    }
    ASSERT_FALSE(files[0].empty() || files[1].empty()) << "no run gives the boundary";
    for (bool smaller : {false, true}) {
        const Bytes& input = files[smaller];
        ArchiveWriterOptions options{2, KeyFor(nullptr), 932};
        options.plainUnlessSmaller = true;
        WrittenArchive written = WriteArchive({{"file.bin", input, true}}, options);
        bool compressed = !smaller;
        const Bytes body = StoredBody(written, &compressed);
        EXPECT_EQ(compressed, smaller) << "stream " << (smaller ? "shorter" : "as long");
        if (compressed) {
            EXPECT_EQ(body.size() + 1, input.size());
            ExpectRoundTrip(body, input);
        } else {
            EXPECT_TRUE(body == input);
        }
    }
}

}  // namespace
