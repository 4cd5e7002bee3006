// Shaders of the program's own through the public header: pixel shader functions that invert
// what they draw, paint a constant or leave the pixels, made, selected, fed constants and
// deleted on the device; the calls' failures on a device without shaders and on the software
// renderer.
#include <platform/testing_d3d9.h>

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

bool ShadersDiscard(const ShaderPixelInput&, const ShaderPixelContext&, ShaderVector*) {
    return false;
}

class ShadersTest : public PublicFixture {
protected:
    static Handle MakePixelShader(const char* name, PixelShaderFunction function) {
        ShaderCode code{};
        EXPECT_EQ(RegisterPixelShaderFunction(name, function), 0);
        EXPECT_EQ(MakeShaderCode(0, name, &code), 0);
        return CreateShaderFromCode(0, code.words, code.size);
    }

    // A 16 x 16 graph of (200, 100, 50).
    Handle LoadGraph() {
        WriteBgraImage("shaded.bgra", 16, 16, std::vector<uint32_t>(256, 0xFFC86432u));
        return LoadImageFileAsGraph("shaded.bgra", 0);
    }

    // The colour of the graph's centre drawn at (10, 10), over a background of black.
    uint32_t DrawnColor(Handle graph) {
        int width = 0, height = 0;
        const std::vector<uint32_t> picture =
            DrawAndShow([&] { EXPECT_EQ(PutGraph(10, 10, graph, 0), 0); }, &width, &height);
        return picture.empty() ? 0xDEADu : picture[18 * width + 18];
    }
};

TEST_F(ShadersTest, AProgramsPixelShaderDrawsAGraph) {
    StartFramework();
    EXPECT_EQ(GetUsableShaderVersion(), 200);
    const Handle graph = LoadGraph();
    const Handle invert = MakePixelShader("public invert", ShadersInvert);
    ASSERT_NE(invert, -1);
    EXPECT_EQ(DrawnColor(graph), 0xC86432u);
    ASSERT_EQ(SelectUserPixelShader(invert), 0);
    EXPECT_EQ(DrawnColor(graph), 0x379BCDu);
    ASSERT_EQ(SelectUserPixelShader(0), 0);
    EXPECT_EQ(DrawnColor(graph), 0xC86432u);

    // A function registered again under the name replaces the old one for its shaders.
    ASSERT_EQ(RegisterPixelShaderFunction("public invert", ShadersDiscard), 0);
    ASSERT_EQ(SelectUserPixelShader(invert), 0);
    EXPECT_EQ(DrawnColor(graph), 0u);

    // Deleted while selected: drawing goes on without it.
    ASSERT_EQ(DeleteShaderHandle(invert), 0);
    EXPECT_EQ(DrawnColor(graph), 0xC86432u);
    EXPECT_EQ(SelectUserPixelShader(invert), -1);
    EXPECT_EQ(DeleteShaderHandle(invert), -1);
}

TEST_F(ShadersTest, BoundShaderTexturesReachTheShader) {
    StartFramework();
    const Handle graph = LoadGraph();
    WriteBgraImage("second.bgra", 16, 16, std::vector<uint32_t>(256, 0xFF0A141Eu));
    const Handle second = LoadImageFileAsGraph("second.bgra", 0);
    ASSERT_EQ(BindShaderTexture(1, second), 0);
    ASSERT_EQ(SelectUserPixelShader(MakePixelShader("public second", ShadersSecondStage)), 0);
    EXPECT_EQ(DrawnColor(graph), 0x0A141Eu);
    ASSERT_EQ(BindShaderTexture(1, -1), 0);
    EXPECT_EQ(DrawnColor(graph), 0u);
    // Without the program's shader the stages are the blend states' again.
    ASSERT_EQ(BindShaderTexture(1, second), 0);
    ASSERT_EQ(SelectUserPixelShader(0), 0);
    EXPECT_EQ(DrawnColor(graph), 0xC86432u);
}

// The program's constants stand until cleared, a filter's own constants coming and going
// meanwhile.
TEST_F(ShadersTest, TheProgramsConstantsReachItsShader) {
    StartFramework();
    const Handle graph = LoadGraph();
    const Handle constant = MakePixelShader("public constant", ShadersConstant);
    ASSERT_EQ(SelectUserPixelShader(constant), 0);
    const float color[2][4] = {{0.2f, 0.4f, 0.6f, 1.0f}, {1.0f, 0.0f, 0.0f, 1.0f}};
    ASSERT_EQ(StoreShaderConstants(kShaderConstPixelFloat, 1, color[0], 1), 0);
    EXPECT_EQ(DrawnColor(graph), 0x336699u);
    const Handle other = LoadGraph();
    ASSERT_EQ(ApplyFilterInPlace(other, kFilterMono, {{40, 40}}), 0);
    EXPECT_EQ(DrawnColor(graph), 0x336699u);
    ASSERT_EQ(StoreShaderConstants(kShaderConstPixelFloat, 0, color, 2), 0);
    EXPECT_EQ(DrawnColor(graph), 0xFF0000u);
    EXPECT_EQ(ClearShaderConstRange(kShaderConstPixelFloat, 0, 2), 0);

    EXPECT_EQ(StoreShaderConstants(kShaderConstPixelFloat, 223, color, 2), -1);
    EXPECT_EQ(StoreShaderConstants(6, 0, color, 1), -1);
    EXPECT_EQ(StoreShaderConstants(kShaderConstVertexInt, 0, nullptr, 1), -1);
}

TEST_F(ShadersTest, KindsNamesAndCodeAreChecked) {
    StartFramework();
    const Handle graph = LoadGraph();
    const Handle pixel = MakePixelShader("public pixel", ShadersDiscard);
    ShaderCode code{};
    ASSERT_EQ(MakeShaderCode(1, "public vertex", &code), 0);
    const Handle vertex = CreateShaderFromCode(1, code.words, code.size);
    ASSERT_NE(vertex, -1);
    EXPECT_EQ(SelectUserPixelShader(vertex), -1);
    EXPECT_EQ(SelectUserVertexShader(pixel), -1);
    EXPECT_EQ(SelectUserVertexShader(vertex), 0);
    EXPECT_EQ(SelectUserVertexShader(-1), 0);

    // Code naming no registered function, and code that is no name record at all.
    ASSERT_EQ(MakeShaderCode(0, "public unregistered", &code), 0);
    EXPECT_EQ(CreateShaderFromCode(0, code.words, code.size), -1);
    const uint32_t foreign[] = {0xFFFF0200, 0x02000001, 0x800F0800, 0xB0E40000, 0x0000FFFF};
    EXPECT_EQ(CreateShaderFromCode(0, foreign, sizeof foreign), -1);
    EXPECT_EQ(CreateShaderFromCode(0, nullptr, 20), -1);
    EXPECT_NE(ReadLog().find("頂点シェーダーの作成に失敗しました"), std::string::npos);

    // Names of 62 bytes are the longest.
    const std::string longest(62, 'n'), tooLong(63, 'n');
    EXPECT_NE(MakePixelShader(longest.c_str(), ShadersDiscard), -1);
    for (const char* bad : {"", tooLong.c_str()}) {
        EXPECT_EQ(RegisterPixelShaderFunction(bad, ShadersDiscard), -1);
        EXPECT_EQ(MakeShaderCode(0, bad, &code), -1);
    }
    EXPECT_EQ(RegisterPixelShaderFunction("public null", nullptr), -1);

    EXPECT_EQ(BindShaderTexture(15, graph), 0);
    EXPECT_EQ(BindShaderTexture(16, graph), -1);
    EXPECT_EQ(BindShaderTexture(1, graph + 1), -1);
}

// Without a device that runs shaders the program can make none; selecting none still works.
class ShadersMissingTest : public ShadersTest, public ::testing::WithParamInterface<bool> {
protected:
    void TearDown() override {
        ShadersTest::TearDown();
        TestD3d9Reset();
    }
};

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
        // After a start on the device, whose versions are known.
        StartFramework();
        ASSERT_EQ(ShutdownLibrary(), 0);
        ASSERT_EQ(SwitchHardwareRendering(0), 0);
    }
    StartFramework();
    EXPECT_EQ(GetUsableShaderVersion(), 0);
    EXPECT_EQ(CreateShaderFromCode(0, code.words, code.size), -1);
    EXPECT_EQ(SelectUserPixelShader(0), 0);
    EXPECT_EQ(SelectUserPixelShader(0x30000001), -1);
    EXPECT_EQ(DeleteShaderHandle(0x30000001), -1);
    const Handle graph = LoadGraph();
    EXPECT_EQ(DrawnColor(graph), 0xC86432u);
}

INSTANTIATE_TEST_SUITE_P(DeviceWithoutShadersAndSoftware, ShadersMissingTest, ::testing::Bool());

}  // namespace
