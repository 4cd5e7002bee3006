// Pixel-shader kernels and stage programs by name, and their bytecode records: a version token,
// comment blocks (one of them tagged with the kernel's name) and the end token. Real shader
// instructions are refused, so foreign bytecode fails as on a device without shaders.
#include "shader_kernels.h"

#include <cstring>
#include <map>
#include <mutex>

#include "platform/d3d9.h"

namespace {

constexpr DWORD kPixelVersion20 = 0xFFFF0200u;
constexpr DWORD kVertexVersion20 = 0xFFFE0200u;
constexpr DWORD kCommentToken = 0xFFFE;
constexpr DWORD kEndToken = 0x0000FFFF;
const DWORD kKernelTag = MAKEFOURCC('K', 'R', 'N', 'L');
constexpr size_t kMaxNameBytes = 63;
// Records are short; a walk longer than this is not one of ours.
constexpr DWORD kMaxRecordTokens = 65536;

struct ShaderKernelState {
    std::mutex mutex;
    std::map<std::string, PixelShaderBody> bodies;
};

// Kernels may register during static initialisation, so the state is made on first use.
ShaderKernelState& Kernels() {
    static ShaderKernelState state;
    return state;
}

bool ValidName(const char* name) {
    if (name == nullptr) return false;
    size_t length = std::strlen(name);
    return length >= 1 && length <= kMaxNameBytes;
}

bool Register(const char* name, const PixelShaderBody& body) {
    if (!ValidName(name)) return false;
    ShaderKernelState& state = Kernels();
    std::lock_guard lock(state.mutex);
    state.bodies[name] = body;
    return true;
}

}  // namespace

bool RegisterPixelShaderKernel(const char* name, PixelShaderKernel kernel) {
    return kernel != nullptr && Register(name, {kernel, nullptr, nullptr});
}

bool RegisterPixelShaderSpanKernel(const char* name, PixelShaderSpanKernel kernel) {
    return kernel != nullptr && Register(name, {nullptr, kernel, nullptr});
}

bool RegisterPixelShaderStages(const char* name, ShaderStageBuilder builder) {
    return builder != nullptr && Register(name, {nullptr, nullptr, builder});
}

PixelShaderBody FindPixelShader(const std::string& name) {
    ShaderKernelState& state = Kernels();
    std::lock_guard lock(state.mutex);
    auto found = state.bodies.find(name);
    return found != state.bodies.end() ? found->second : PixelShaderBody{nullptr, nullptr, nullptr};
}

std::vector<DWORD> MakeShaderKernelRecord(bool vertexShader, const char* name) {
    if (!ValidName(name)) return {};
    size_t nameWords = std::strlen(name) / 4 + 1;  // with at least one terminating zero
    std::vector<DWORD> record(3 + nameWords + 1, 0);
    record[0] = vertexShader ? kVertexVersion20 : kPixelVersion20;
    record[1] = kCommentToken | static_cast<DWORD>((1 + nameWords) << 16);
    record[2] = kKernelTag;
    std::memcpy(&record[3], name, std::strlen(name));
    record.back() = kEndToken;
    return record;
}

bool ParseShaderKernelRecord(const DWORD* code, ShaderKernelRecord* record) {
    if (code == nullptr) return false;
    DWORD version = code[0];
    DWORD kind = version & 0xFFFF0000u;
    DWORD major = (version >> 8) & 0xFF;
    if ((kind != 0xFFFF0000u && kind != 0xFFFE0000u) || major < 2 || major > 3) return false;
    record->vertex = kind == 0xFFFE0000u;
    bool named = false;
    DWORD i = 1;
    while (i < kMaxRecordTokens) {
        DWORD token = code[i];
        if (token == kEndToken) return named;
        if ((token & 0xFFFF) != kCommentToken) return false;  // an instruction
        DWORD length = (token >> 16) & 0x7FFF;
        const DWORD* body = code + i + 1;
        if (length >= 2 && body[0] == kKernelTag) {
            const char* text = reinterpret_cast<const char*>(body + 1);
            size_t capacity = (length - 1) * 4;
            size_t size = strnlen(text, capacity);
            if (named || size == capacity || size == 0 || size > kMaxNameBytes) return false;
            record->name.assign(text, size);
            named = true;
        }
        i += 1 + length;
    }
    return false;
}
