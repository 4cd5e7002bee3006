// Pixel shaders of the program's own: functions that the program registers by name, which the
// device runs as its shader kernels, and the code records that name them. The device's kernels
// carry no data of their own, so each name the program registers takes one of a fixed table of
// kernels, and that kernel calls the function registered last under the name. The names go to
// the device with a prefix of their own, so that a program cannot replace a built-in shader.
#include <orbek/orbek.h>
#include <platform/d3d9_kernels.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kMaxProgramShaders = 64;
constexpr char kDeviceNamePrefix = '#';
// The device takes names of up to 63 bytes, the prefix included.
constexpr size_t kMaxNameBytes = 62;

struct ProgramShaderTable {
    std::array<std::string, kMaxProgramShaders> names;
    std::array<PixelShaderFunction, kMaxProgramShaders> functions;
    int count;
};
ProgramShaderTable gProgramShaders = {};

ShaderVector ToVector(const ShaderFloat4& v) {
    return {v.x, v.y, v.z, v.w};
}

template <int Slot>
bool RunProgramShader(const PixelShaderInput& in, const PixelShaderContext& context,
                      ShaderFloat4* out) {
    ShaderPixelInput input = {ToVector(in.color0), ToVector(in.color1), {}, in.x, in.y};
    for (int i = 0; i < 8; ++i) input.texcoord[i] = ToVector(in.texcoord[i]);
    const ShaderPixelContext program = {
        context.floatConstants != nullptr ? &context.floatConstants[0].x : nullptr,
        context.intConstants != nullptr ? &context.intConstants[0][0] : nullptr,
        context.boolConstants, &context};
    ShaderVector color = {0.0f, 0.0f, 0.0f, 0.0f};
    const bool keep = gProgramShaders.functions[Slot](input, program, &color);
    *out = {color.x, color.y, color.z, color.w};
    return keep;
}

template <size_t... Slots>
constexpr std::array<PixelShaderKernel, sizeof...(Slots)> MakeKernels(
    std::index_sequence<Slots...>) {
    return {RunProgramShader<static_cast<int>(Slots)>...};
}
constexpr std::array<PixelShaderKernel, kMaxProgramShaders> kKernels =
    MakeKernels(std::make_index_sequence<kMaxProgramShaders>());

bool ValidName(const char* name) {
    if (name == nullptr) return false;
    const size_t length = std::strlen(name);
    return length >= 1 && length <= kMaxNameBytes;
}

std::string DeviceName(const char* name) {
    return kDeviceNamePrefix + std::string(name);
}

}  // namespace

int RegisterPixelShaderFunction(const char* name, PixelShaderFunction function) {
    if (!ValidName(name) || function == nullptr) return -1;
    ProgramShaderTable& t = gProgramShaders;
    int slot = 0;
    while (slot < t.count && t.names[slot] != name) ++slot;
    if (slot == kMaxProgramShaders) return -1;
    if (slot == t.count) {
        t.names[slot] = name;
        ++t.count;
    }
    t.functions[slot] = function;
    return RegisterPixelShaderKernel(DeviceName(name).c_str(), kKernels[slot]) ? 0 : -1;
}

int MakeShaderCode(int32_t isVertex, const char* name, ShaderCode* code) {
    if (!ValidName(name) || code == nullptr) return -1;
    const std::vector<DWORD> record =
        MakeShaderKernelRecord(isVertex != 0, DeviceName(name).c_str());
    if (record.empty() || record.size() > static_cast<size_t>(kShaderCodeWords)) return -1;
    *code = {};
    std::copy(record.begin(), record.end(), code->words);
    code->size = static_cast<int32_t>(record.size() * sizeof(DWORD));
    return 0;
}

ShaderVector SampleShaderTexture(const ShaderPixelContext& context, int32_t stage, float u,
                                 float v) {
    const auto* device = static_cast<const PixelShaderContext*>(context.device);
    if (device == nullptr) return {0.0f, 0.0f, 0.0f, 1.0f};
    return ToVector(SampleTexture(*device, stage, u, v));
}
