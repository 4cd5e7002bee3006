// Writes the program's built-in shader pack as a C++ source: three LZ-packed blocks whose
// bodies are kernel records of the software device, each naming the kernel of the same name.
//   block 1: a scrambled archive of the 2D pixel shaders;
//   block 2: the 256 sizes of the source-only channel-mix shaders, their bodies, then a second
//            scrambled archive of the filter shaders;
//   block 3: the size table of the 3D shader variants, then the two bodies it holds.
// Usage: orbek_shader_pack_gen <output .cpp>
#include <archive_writer.h>
#include <platform/d3d9_kernels.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "graphics/shader_pack.h"
#include "graphics/shader_pack_key.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes KernelRecord(bool vertex, const std::string& name) {
    std::vector<DWORD> record = MakeShaderKernelRecord(vertex, name.c_str());
    if (record.empty()) {
        std::fprintf(stderr, "no kernel record for \"%s\"\n", name.c_str());
        std::exit(1);
    }
    Bytes bytes(record.size() * sizeof(DWORD));
    std::memcpy(bytes.data(), record.data(), bytes.size());
    return bytes;
}

std::vector<std::string> DrawShaderNames() {
    std::vector<std::string> names;
    for (int kind = 0; kind < 4; kind++) {
        names.push_back("ps_nonetex_type" + std::to_string(kind) + ".pso");
    }
    for (int blend = 0; blend < 4; blend++) {
        for (int kind = 0; kind < 4; kind++) {
            for (int ignoreColor = 0; ignoreColor < 2; ignoreColor++) {
                for (int ignoreAlpha = 0; ignoreAlpha < 2; ignoreAlpha++) {
                    names.push_back("ps_blend" + std::to_string(blend) + "_type" +
                                    std::to_string(kind) + "_igcolor" +
                                    std::to_string(ignoreColor) + "_igtalpha" +
                                    std::to_string(ignoreAlpha) + ".pso");
                }
            }
        }
    }
    names.push_back("ps_mask_blend.pso");
    return names;
}

std::vector<std::string> FilterShaderNames() {
    std::vector<std::string> names = {
        "Mono.pso",
        "Gauss_08Pixel_PS.pso",
        "Gauss_16Pixel_PS.pso",
        "Gauss_32Pixel_PS.pso",
        "DownScaleX2.pso",
        "DownScaleX4.pso",
        "DownScaleX8.pso",
        "BrightClipLess.pso",
        "BrightClipFillLess.pso",
        "BrightClipGreater.pso",
        "BrightClipFillGreater.pso",
        "Hsb_RGB_TO_HSB.pso",
        "Hsb_HSB_TO_RGB.pso",
        "Hsb_HSB_HLOCK.pso",
        "Invert.pso",
        "Level.pso",
        "TwoColor.pso",
        "GradientMap.pso",
        "GradientMapRev.pso",
        "PremultipliedAlpha.pso",
        "RGBAMix_Base.pso",
    };
    for (const char* blend : {"Normal", "Multiple", "Difference", "Add", "Screen", "Overlay",
                              "Dodge", "Burn", "Darken", "Lighten", "SoftLight", "HardLight",
                              "Exclusion", "Normal_AlphaCh", "Add_AlphaCh", "Multiple_AOnly"}) {
        names.push_back(std::string("BasBF_") + blend + ".pso");
    }
    for (const char* colors : {"RGB", "RRR", "GGG", "BBB"}) {
        for (char alpha : {'R', 'G', 'B', 'A'}) {
            names.push_back(std::string("RGBAMix_S") + colors[0] + "S" + colors[1] + "S" +
                            colors[2] + "B" + alpha + ".pso");
        }
    }
    return names;
}

Bytes ScrambledArchive(const std::vector<std::string>& names) {
    char keyString[kShaderPackKeyLength + 1];
    BuildShaderPackKey(keyString);
    std::vector<ArchiveInput> inputs;
    for (const std::string& name : names) {
        ArchiveInput input;
        input.path = name;
        input.data = KernelRecord(false, name);
        inputs.push_back(std::move(input));
    }
    ArchiveWriterOptions options;
    options.key = KeyFor(keyString);
    return WriteArchive(inputs, options).bytes;
}

void PutSize(Bytes& out, size_t offset, size_t size) {
    if (size > 0xFFFF) {
        std::fprintf(stderr, "a body of %zu bytes does not fit its size table\n", size);
        std::exit(1);
    }
    out[offset] = static_cast<uint8_t>(size);
    out[offset + 1] = static_cast<uint8_t>(size >> 8);
}

Bytes ChannelMixBlock() {
    Bytes block(kChannelMixTableBytes, 0);
    for (int index = 0; index < kChannelMixShaders; index++) {
        char name[32];
        std::snprintf(name, sizeof name, "RGBAMix_Src%03d", index);
        Bytes body = KernelRecord(false, name);
        PutSize(block, size_t{2} * index, body.size());
        block.insert(block.end(), body.begin(), body.end());
    }
    Bytes archive = ScrambledArchive(FilterShaderNames());
    block.insert(block.end(), archive.begin(), archive.end());
    return block;
}

Bytes VariantBlock() {
    Bytes block(kVariantTableBytes, 0);
    Bytes vertex = KernelRecord(true, "vs_3d_variant");
    Bytes pixel = KernelRecord(false, "ps_3d_variant");
    PutSize(block, size_t{2} * kBuiltinVertexVariant, vertex.size());
    PutSize(block, size_t{2} * (kVertexVariantSlots + kBuiltinPixelVariant), pixel.size());
    block.insert(block.end(), vertex.begin(), vertex.end());
    block.insert(block.end(), pixel.begin(), pixel.end());
    return block;
}

void WriteBlock(std::FILE* out, int number, const Bytes& packed) {
    std::fprintf(out, "const uint8_t kBlock%d[] = {", number);
    for (size_t i = 0; i < packed.size(); i++) {
        std::fprintf(out, "%s0x%02x,", i % 16 == 0 ? "\n    " : " ", packed[i]);
    }
    std::fprintf(out, "\n};\n\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output .cpp>\n", argv[0]);
        return 2;
    }
    const Bytes blocks[kShaderPackBlockCount] = {
        EncodeLz(ScrambledArchive(DrawShaderNames())),
        EncodeLz(ChannelMixBlock()),
        EncodeLz(VariantBlock()),
    };
    std::string temporary = std::string(argv[1]) + ".tmp";
    std::FILE* out = std::fopen(temporary.c_str(), "w");
    if (out == nullptr) {
        std::perror(temporary.c_str());
        return 1;
    }
    std::fprintf(out,
                 "// Written by orbek_shader_pack_gen at build time: the built-in shader pack.\n"
                 "#include \"graphics/shader_pack.h\"\n\nnamespace {\n\n");
    for (int i = 0; i < kShaderPackBlockCount; i++) WriteBlock(out, i + 1, blocks[i]);
    std::fprintf(out,
                 "}  // namespace\n\n"
                 "const PackedShaderBlock kBuiltinShaderPack[kShaderPackBlockCount] = {\n"
                 "    {kBlock1, sizeof kBlock1},\n"
                 "    {kBlock2, sizeof kBlock2},\n"
                 "    {kBlock3, sizeof kBlock3},\n"
                 "};\n");
    bool written = std::ferror(out) == 0;
    written = std::fclose(out) == 0 && written;
    if (!written || std::rename(temporary.c_str(), argv[1]) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
