// The built-in shader pack as the generator wrote it: every shader the drawing core and the
// filters look for is there and names its kernel, the two tables of blocks 2 and 3 hold what
// they should, and a damaged block (or memory running out) fails the open with nothing kept.
#include "graphics/shader_pack.h"

#include <archive_writer.h>
#include <gtest/gtest.h>
#include <platform/d3d9_kernels.h>
#include <platform/testing.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "core/lz_expand.h"

namespace {

using Bytes = std::vector<uint8_t>;

class ShaderPackTest : public ::testing::Test {
protected:
    void SetUp() override { CloseBuiltinShaderPack(); }
    void TearDown() override {
        TestFailNthCall("HeapAlloc", 0);
        CloseBuiltinShaderPack();
    }
};

Bytes Record(bool vertex, const std::string& name) {
    std::vector<DWORD> record = MakeShaderKernelRecord(vertex, name.c_str());
    Bytes bytes(record.size() * sizeof(DWORD));
    std::memcpy(bytes.data(), record.data(), bytes.size());
    return bytes;
}

Bytes AsBytes(const void* code, uint32_t size) {
    const auto* p = static_cast<const uint8_t*>(code);
    return Bytes(p, p + size);
}

// Every file name the drawing core and the filters ask the pack for, stated apart from the
// generator's lists.
std::vector<std::string> ExpectedFileNames() {
    std::vector<std::string> names;
    std::istringstream list(
        "ps_mask_blend Mono Gauss_08Pixel_PS Gauss_16Pixel_PS Gauss_32Pixel_PS DownScaleX2 "
        "DownScaleX4 DownScaleX8 BrightClipLess BrightClipFillLess BrightClipGreater "
        "BrightClipFillGreater Hsb_RGB_TO_HSB Hsb_HSB_TO_RGB Hsb_HSB_HLOCK Invert Level TwoColor "
        "GradientMap GradientMapRev PremultipliedAlpha RGBAMix_Base BasBF_Normal BasBF_Multiple "
        "BasBF_Difference BasBF_Add BasBF_Screen BasBF_Overlay BasBF_Dodge BasBF_Burn "
        "BasBF_Darken BasBF_Lighten BasBF_SoftLight BasBF_HardLight BasBF_Exclusion "
        "BasBF_Normal_AlphaCh BasBF_Add_AlphaCh BasBF_Multiple_AOnly");
    for (std::string name; list >> name;) names.push_back(name + ".pso");
    char name[96];
    for (int i = 0; i < 4; i++) {
        std::snprintf(name, sizeof name, "ps_nonetex_type%d.pso", i);
        names.push_back(name);
    }
    for (int i = 0; i < 64; i++) {
        std::snprintf(name, sizeof name, "ps_blend%d_type%d_igcolor%d_igtalpha%d.pso", i >> 4,
                      i >> 2 & 3, i >> 1 & 1, i & 1);
        names.push_back(name);
    }
    for (const char* rgb : {"RGB", "RRR", "GGG", "BBB"}) {
        for (char alpha : {'R', 'G', 'B', 'A'}) {
            std::snprintf(name, sizeof name, "RGBAMix_S%cS%cS%cB%c.pso", rgb[0], rgb[1], rgb[2],
                          alpha);
            names.push_back(name);
        }
    }
    return names;
}

TEST_F(ShaderPackTest, EveryShaderIsFoundAndNamesItsKernel) {
    EXPECT_EQ(FindPackedShader("Invert.pso", nullptr, nullptr), -1);  // not open yet
    ASSERT_EQ(OpenBuiltinShaderPack(), 1);
    EXPECT_EQ(OpenBuiltinShaderPack(), 1);
    std::vector<std::string> names = ExpectedFileNames();
    ASSERT_EQ(names.size(), 4u + 64 + 1 + 21 + 16 + 16);
    for (const std::string& name : names) {
        const void* code = nullptr;
        uint32_t size = 0;
        ASSERT_EQ(FindPackedShader(name.c_str(), &code, &size), 0) << name;
        // Handed to the device where it lies, so it must be word-aligned.
        EXPECT_EQ(reinterpret_cast<uintptr_t>(code) % 4, 0u) << name;
        EXPECT_EQ(AsBytes(code, size), Record(false, name)) << name;
    }
    // Lookups ignore case as archive lookups do; names not in the pack are missing.
    const void* code;
    uint32_t size;
    EXPECT_EQ(FindPackedShader("invert.PSO", &code, &size), 0);
    EXPECT_EQ(FindPackedShader("Missing.pso", &code, &size), -1);
    EXPECT_EQ(FindPackedShader("RGBAMix_Src000", &code, &size), -1);
    EXPECT_EQ(FindPackedShader(nullptr, &code, &size), -1);

    // Closed, nothing is found; opened again, all is back.
    EXPECT_EQ(CloseBuiltinShaderPack(), 1);
    EXPECT_EQ(IsBuiltinShaderPackOpen(), 0);
    EXPECT_EQ(FindPackedShader("Invert.pso", &code, &size), -1);
    EXPECT_EQ(GetPackedChannelMixShader(0, &code, &size), -1);
    EXPECT_EQ(GetPackedVariantShader(0, kBuiltinPixelVariant, &code, &size), -1);
    ASSERT_EQ(OpenBuiltinShaderPack(), 1);
    ASSERT_EQ(FindPackedShader("Invert.pso", &code, &size), 0);
    EXPECT_EQ(AsBytes(code, size), Record(false, "Invert.pso"));
}

TEST_F(ShaderPackTest, TheChannelMixAndVariantTablesHoldTheirBodies) {
    ASSERT_EQ(OpenBuiltinShaderPack(), 1);
    const void* code;
    uint32_t size;
    for (int index = 0; index < kChannelMixShaders; index++) {
        char name[32];
        std::snprintf(name, sizeof name, "RGBAMix_Src%03d", index);
        ASSERT_EQ(GetPackedChannelMixShader(index, &code, &size), 0) << index;
        EXPECT_EQ(AsBytes(code, size), Record(false, name)) << index;
    }
    EXPECT_EQ(GetPackedChannelMixShader(-1, &code, &size), -1);
    EXPECT_EQ(GetPackedChannelMixShader(256, &code, &size), -1);

    ASSERT_EQ(GetPackedVariantShader(1, kBuiltinVertexVariant, &code, &size), 0);
    EXPECT_EQ(AsBytes(code, size), Record(true, "vs_3d_variant"));
    ASSERT_EQ(GetPackedVariantShader(0, kBuiltinPixelVariant, &code, &size), 0);
    EXPECT_EQ(AsBytes(code, size), Record(false, "ps_3d_variant"));
    for (int slot :
         {0, kBuiltinVertexVariant - 1, kBuiltinVertexVariant + 1, kVertexVariantSlots - 1}) {
        EXPECT_EQ(GetPackedVariantShader(1, slot, &code, &size), -1) << slot;
    }
    for (int slot : {0, kBuiltinPixelVariant + 1, kBuiltinVertexVariant, kPixelVariantSlots - 1}) {
        EXPECT_EQ(GetPackedVariantShader(0, slot, &code, &size), -1) << slot;
    }
    EXPECT_EQ(GetPackedVariantShader(1, kVertexVariantSlots, &code, &size), -1);
    EXPECT_EQ(GetPackedVariantShader(0, kPixelVariantSlots, &code, &size), -1);
    EXPECT_EQ(GetPackedVariantShader(0, -1, &code, &size), -1);
}

// A copy of the program's blocks with one of them replaced.
struct DamagedPack {
    Bytes replacement;
    PackedShaderBlock blocks[kShaderPackBlockCount];

    DamagedPack(int which, Bytes bytes) : replacement(std::move(bytes)) {
        for (int i = 0; i < kShaderPackBlockCount; i++) blocks[i] = kBuiltinShaderPack[i];
        blocks[which] = {replacement.data(), static_cast<uint32_t>(replacement.size())};
    }
};

Bytes ExpandedBlock(int which) {
    const PackedShaderBlock& block = kBuiltinShaderPack[which];
    Bytes out(ExpandArchiveData(block.data, block.bytes, nullptr, 0));
    ExpandArchiveData(block.data, block.bytes, out.data(), static_cast<uint32_t>(out.size()));
    return out;
}

void PutU16(Bytes& bytes, size_t offset, uint16_t value) {
    std::memcpy(bytes.data() + offset, &value, sizeof value);
}

TEST_F(ShaderPackTest, ADamagedBlockFailsWithNothingKept) {
    std::vector<DamagedPack> packs;
    // A cut LZ stream in each block.
    for (int which = 0; which < kShaderPackBlockCount; which++) {
        const PackedShaderBlock& block = kBuiltinShaderPack[which];
        packs.emplace_back(which, Bytes(block.data, block.data + block.bytes - 1));
    }
    // Block 1 whose archive header is no longer one.
    Bytes draw = ExpandedBlock(0);
    draw[0] ^= 0xFF;
    packs.emplace_back(0, EncodeLz(draw));
    // Block 2: a size beyond the block, a size that is not whole words, and a table whose
    // bodies leave no room for the archive.
    Bytes mix = ExpandedBlock(1);
    for (uint16_t size : {uint16_t{0xFFFC}, uint16_t{6}}) {
        Bytes damaged = mix;
        PutU16(damaged, 2 * 255, size);
        packs.emplace_back(1, EncodeLz(damaged));
    }
    packs.emplace_back(1, EncodeLz(Bytes(mix.begin(), mix.begin() + 600)));
    // Block 3: a table cut short, and the sizes overrunning the bodies.
    Bytes variants = ExpandedBlock(2);
    packs.emplace_back(2, EncodeLz(Bytes(variants.begin(), variants.begin() + 1000)));
    Bytes overrun = variants;
    PutU16(overrun, 2 * (kVertexVariantSlots + kPixelVariantSlots - 1), 8);
    packs.emplace_back(2, EncodeLz(overrun));

    const void* code;
    uint32_t size;
    for (size_t i = 0; i < packs.size(); i++) {
        EXPECT_EQ(OpenShaderPackBlocks(packs[i].blocks), 0) << i;
        EXPECT_EQ(IsBuiltinShaderPackOpen(), 0) << i;
        EXPECT_EQ(FindPackedShader("Invert.pso", &code, &size), -1) << i;
        EXPECT_EQ(FindPackedShader("ps_mask_blend.pso", &code, &size), -1) << i;
    }
    // Nothing of a failed open stands in the way of the next one.
    EXPECT_EQ(OpenBuiltinShaderPack(), 1);
    EXPECT_EQ(FindPackedShader("Invert.pso", &code, &size), 0);
}

TEST_F(ShaderPackTest, MemoryRunningOutAtAnyStepFailsWithNothingKept) {
    int failures = 0;
    for (int n = 1; n < 20; n++) {
        TestFailNthCall("HeapAlloc", n);
        int opened = OpenBuiltinShaderPack();
        TestFailNthCall("HeapAlloc", 0);
        if (opened == 1) break;
        failures++;
        EXPECT_EQ(IsBuiltinShaderPackOpen(), 0);
    }
    // At least the four expanded blocks and the variant table.
    EXPECT_GE(failures, 5);
    const void* code;
    uint32_t size;
    EXPECT_EQ(FindPackedShader("Mono.pso", &code, &size), 0);
}

}  // namespace
