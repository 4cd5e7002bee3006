// Shaders of the program's own through the public header: pixel shader functions that invert
// what they draw, paint a constant or read a bound texture, made, selected, fed constants and
// deleted on the device; the calls' failures on a device without shaders and on the software
// renderer.

#include "public_fixture.h"

namespace {

bool ShadersInvert(const ShaderPixelInput& input, const ShaderPixelContext& context,
                   ShaderVector* color) {
    const ShaderVector texel =
        SampleShaderTexture(context, 0, input.texcoord[0].x, input.texcoord[0].y);
    *color = {1.0f - texel.x, 1.0f - texel.y, 1.0f - texel.z, texel.w};
    return true;
}

// Pixel float register c1 of the draw.
bool ShadersConstant(const ShaderPixelInput&, const ShaderPixelContext& context,
                     ShaderVector* color) {
    const float* c1 = context.floatConstants + 4;
    *color = {c1[0], c1[1], c1[2], c1[3]};
    return true;
}

// The texture of stage 1 where the drawn graph's is read.
bool ShadersSecondStage(const ShaderPixelInput& input, const ShaderPixelContext& context,
                        ShaderVector* color) {
    *color = SampleShaderTexture(context, 1, input.texcoord[0].x, input.texcoord[0].y);
    return true;
}

class ShadersTest : public PublicFixture {
protected:
    static Handle MakePixelShader(const char* name, PixelShaderFunction function) {
        ShaderCode code{};
        EXPECT_EQ(RegisterPixelShaderFunction(name, function), 0);
        EXPECT_EQ(MakeShaderCode(0, name, &code), 0);
        return CreateShaderFromCode(0, code.words, code.size);
    }
    // A 16 x 16 graph of one colour.
    static Handle LoadGraph(uint32_t colour = 0xFFC86432) {
        WriteBgraImage("shaded.bgra", 16, 16, std::vector<uint32_t>(256, colour));
        return LoadImageFileAsGraph("shaded.bgra", 0);
    }
    // The colour of the graph's centre drawn at (10, 10), over a background of black.
    uint32_t DrawnColor(Handle graph) {
        return Show([&] { EXPECT_EQ(PutGraph(10, 10, graph, 0), 0); })[18 * 640 + 18];
    }
};

TEST_F(ShadersTest, AProgramsPixelShadersDrawAndTheirCallsRefuseBadInput) {
    StartFramework();
    EXPECT_EQ(GetUsableShaderVersion(), 200);
    const Handle graph = LoadGraph(), second = LoadGraph(0xFF0A141E);
    const Handle invert = MakePixelShader("public invert", ShadersInvert);
    ASSERT_EQ(SelectUserPixelShader(invert), 0);
    EXPECT_EQ(DrawnColor(graph), 0x379BCDu);
    ASSERT_EQ(SelectUserPixelShader(0), 0);
    EXPECT_EQ(DrawnColor(graph), 0xC86432u);

    // The program's constants stand until cleared, a filter's own coming and going meanwhile.
    ASSERT_EQ(SelectUserPixelShader(MakePixelShader("public constant", ShadersConstant)), 0);
    const float color[4] = {0.2f, 0.4f, 0.6f, 1.0f};
    ASSERT_EQ(StoreShaderConstants(kShaderConstPixelFloat, 1, color, 1), 0);
    EXPECT_EQ(DrawnColor(graph), 0x336699u);
    ASSERT_EQ(ApplyFilterInPlace(LoadGraph(), kFilterMono, {{40, 40}}), 0);
    EXPECT_EQ(DrawnColor(graph), 0x336699u);
    EXPECT_EQ(ClearShaderConstRange(kShaderConstPixelFloat, 0, 2), 0);
    EXPECT_EQ(StoreShaderConstants(kShaderConstPixelFloat, 224, color, 1), -1);
    EXPECT_EQ(StoreShaderConstants(kShaderConstVertexInt, 0, nullptr, 1), -1);

    // A bound texture reaches the shader; without the program's shader the stages are the
    // blend states' again.
    ASSERT_EQ(BindShaderTexture(1, second), 0);
    ASSERT_EQ(SelectUserPixelShader(MakePixelShader("public second", ShadersSecondStage)), 0);
    EXPECT_EQ(DrawnColor(graph), 0x0A141Eu);
    ASSERT_EQ(BindShaderTexture(1, -1), 0);
    EXPECT_EQ(DrawnColor(graph), 0u);
    ASSERT_EQ(BindShaderTexture(1, second), 0);
    ASSERT_EQ(SelectUserPixelShader(0), 0);
    EXPECT_EQ(DrawnColor(graph), 0xC86432u);

    // Deleted while selected, a shader leaves drawing without it.
    ASSERT_EQ(SelectUserPixelShader(invert), 0);
    ASSERT_EQ(DeleteShaderHandle(invert), 0);
    EXPECT_EQ(DrawnColor(graph), 0xC86432u);
    EXPECT_EQ(SelectUserPixelShader(invert), -1);
    EXPECT_EQ(DeleteShaderHandle(invert), -1);

    // Each kind is selected as its own; code naming no registered function, and code that is no
    // name record at all, are refused, as are names longer than 62 bytes.
    ShaderCode code{};
    ASSERT_EQ(MakeShaderCode(1, "public vertex", &code), 0);
    const Handle vertex = CreateShaderFromCode(1, code.words, code.size);
    EXPECT_EQ(SelectUserPixelShader(vertex), -1);
    EXPECT_EQ(SelectUserVertexShader(MakePixelShader("public pixel", ShadersInvert)), -1);
    EXPECT_EQ(SelectUserVertexShader(vertex), 0);
    ASSERT_EQ(MakeShaderCode(0, "public unregistered", &code), 0);
    EXPECT_EQ(CreateShaderFromCode(0, code.words, code.size), -1);
    const uint32_t foreign[] = {0xFFFF0200, 0x02000001, 0x800F0800, 0xB0E40000, 0x0000FFFF};
    EXPECT_EQ(CreateShaderFromCode(0, foreign, sizeof foreign), -1);
    EXPECT_EQ(CreateShaderFromCode(0, nullptr, 20), -1);
    EXPECT_NE(ReadLog().find("頂点シェーダーの作成に失敗しました"), std::string::npos);
    EXPECT_NE(MakePixelShader(std::string(62, 'n').c_str(), ShadersInvert), -1);
    EXPECT_EQ(RegisterPixelShaderFunction(std::string(63, 'n').c_str(), ShadersInvert), -1);
    EXPECT_EQ(RegisterPixelShaderFunction("public null", nullptr), -1);
    EXPECT_EQ(BindShaderTexture(16, graph), -1);
    EXPECT_EQ(BindShaderTexture(1, graph + 1), -1);
}

// Without a device that runs shaders (true: a device without them; false: the software
// renderer, after a start on the device, whose versions are known) the program can make none;
// selecting none still works.
class ShadersMissingTest : public ShadersTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ShadersMissingTest, NoShaderIsMadeWithoutADeviceThatRunsThem) {
    ASSERT_EQ(ChangeScreenMode(640, 480, 32, 0, 0), 0);
    ShaderCode code{};
    ASSERT_EQ(RegisterPixelShaderFunction("public missing", ShadersInvert), 0);
    ASSERT_EQ(MakeShaderCode(0, "public missing", &code), 0);
    EXPECT_EQ(CreateShaderFromCode(0, code.words, code.size), -1);
    if (GetParam()) {
        TestD3d9Profile profile = TestD3d9DefaultProfile();
        profile.shaders = false;
        TestD3d9SetProfile(profile);
    } else {
        StartFramework();
        ASSERT_EQ(ShutdownLibrary(), 0);
        ASSERT_EQ(SwitchHardwareRendering(0), 0);
    }
    StartFramework();
    EXPECT_EQ(GetUsableShaderVersion(), 0);
    EXPECT_EQ(CreateShaderFromCode(0, code.words, code.size), -1);
    EXPECT_EQ(SelectUserPixelShader(0), 0);
    EXPECT_EQ(DrawnColor(LoadGraph()), 0xC86432u);
}

INSTANTIATE_TEST_SUITE_P(DeviceWithoutShadersAndSoftware, ShadersMissingTest, ::testing::Bool());

}  // namespace
