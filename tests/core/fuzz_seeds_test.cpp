// Writes the seed corpora of the archive, archive stream and LZ fuzz targets from the test
// writer when ORBEK_FUZZ_SEED_DIR names the fuzz/corpus directory; every seed is first checked
// to open or expand.
#include <archive_writer.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "core/archive.h"
#include "core/lz_expand.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes TextBytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

std::vector<ArchiveInput> SeedInputs(bool compress) {
    Bytes runs;
    for (int i = 0; i < 600; i++) runs.push_back(static_cast<uint8_t>(i / 40));
    return {
        {"data\\stage\\map.bin", runs, compress},
        {"data\\title.txt", TextBytes("Brovane title text, Brovane title text."), compress},
        {"表\\名前.txt", TextBytes("shift-jis"), compress},
        {"empty.bin", {}, compress},
        {"dir\\", {}},
    };
}

// The stream target's script before its archive: 15 operations of three bytes (seek: even
// kind, origin, offset index; read: odd kind, element size index, count index), far seeks and
// reads whose byte total overflows among them; asynchronous reads when asked.
Bytes StreamScript(bool async) {
    Bytes script = {0,  0, 5, 0, 1, 12, 1, 0, 5, 0, 2, 13, 1, 4, 7, 1,  8, 2, 0, 2, 12, 0, 1,
                    17, 1, 6, 1, 0, 3,  0, 0, 2, 4, 1, 3,  4, 0, 0, 15, 1, 7, 2, 1, 0,  6};
    script.insert(script.begin(), static_cast<uint8_t>(15 | (async ? 16 : 0)));
    return script;
}

void WriteSeed(const std::string& path, const Bytes& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(file.good()) << path;
}

TEST(FuzzSeeds, WrittenWhenAsked) {
    const char* directory = std::getenv("ORBEK_FUZZ_SEED_DIR");
    if (directory == nullptr) GTEST_SKIP() << "ORBEK_FUZZ_SEED_DIR is not set";
    const std::string root = directory;

    ArchiveKey key;
    DeriveArchiveKey(nullptr, key.data());
    ArchiveKey second;
    MakeSecondArchiveKey(second.data());
    for (uint16_t version = 0; version <= 5; version++) {
        for (bool useSecond : {false, true}) {
            if (useSecond && version != 5) continue;
            WrittenArchive written =
                WriteArchive(SeedInputs(version >= 2), {version, useSecond ? second : key, 932});
            Bytes image = written.bytes;
            Archive archive;
            ClearArchive(&archive);
            ASSERT_EQ(OpenArchiveFromImage(&archive, image.data(),
                                           static_cast<uint32_t>(image.size()), nullptr),
                      0);
            CloseArchive(&archive);
            WriteSeed(root + "/archive_open/v" + std::to_string(version) +
                          (useSecond ? "_second_key" : "") + ".oba",
                      written.bytes);
            // The stream target's: the oldest format, an asynchronous compressed one, the newest.
            if (useSecond || (version != 0 && version != 2 && version != 5)) continue;
            Bytes streamSeed = StreamScript(version == 2);
            streamSeed.insert(streamSeed.end(), written.bytes.begin(), written.bytes.end());
            WriteSeed(root + "/archive_stream/v" + std::to_string(version) +
                          (version == 2 ? "_async" : "") + "_extremes",
                      streamSeed);
        }
    }

    Bytes mixed;
    for (int i = 0; i < 3000; i++)
        mixed.push_back(static_cast<uint8_t>((i * i) % 253 + (i % 3 ? 0 : 1)));
    // Noise that the encoder crosses in growing steps, then text it matches; and a block
    // matched again from beyond 64 KB (three-byte offsets, lengths past 35).
    Bytes noise(70000);
    uint32_t seed = 1;
    for (uint8_t& b : noise) b = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 24);
    Bytes noiseThenText(noise.begin(), noise.begin() + 3000);
    for (int i = 0; i < 200; i++) {
        const Bytes line = TextBytes("stage " + std::to_string(i % 7) + " enemy speed=12;\n");
        noiseThenText.insert(noiseThenText.end(), line.begin(), line.end());
    }
    Bytes far = noise;
    far.insert(far.end(), noise.begin(), noise.begin() + 3000);
    const std::vector<std::pair<std::string, Bytes>> lzSeeds = {
        {"text", TextBytes("framework framework archive archive escape escape escape")},
        {"runs", Bytes(5000, 0x41)},
        {"mixed", mixed},
        {"empty", {}},
        {"noise_then_text", noiseThenText},
        {"far", far},
    };
    for (const auto& [name, data] : lzSeeds) {
        for (int escape : {-1, 0x41}) {
            Bytes packed = EncodeLz(data, escape);
            Bytes out(data.size() + 1);
            ASSERT_EQ(ExpandArchiveData(packed.data(), static_cast<uint32_t>(packed.size()),
                                        out.data(), static_cast<uint32_t>(data.size())),
                      static_cast<int32_t>(data.size()));
            out.pop_back();
            EXPECT_TRUE(out == data) << name << ": the seed expands to other bytes";
            WriteSeed(root + "/lz_expand/" + name + (escape < 0 ? "" : "_escape41") + ".lz",
                      packed);
        }
    }
}

}  // namespace
