#include "wav_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace {

void Put16(std::vector<uint8_t>* out, uint32_t v) {
    out->push_back(static_cast<uint8_t>(v));
    out->push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>* out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void PutTag(std::vector<uint8_t>* out, const char* tag) {
    out->insert(out->end(), tag, tag + 4);
}

}  // namespace

bool WriteWav(const std::string& path, const std::vector<float>& samples, int rate) {
    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    std::vector<uint8_t> bytes;
    bytes.reserve(44 + dataBytes);
    PutTag(&bytes, "RIFF");
    Put32(&bytes, 36 + dataBytes);
    PutTag(&bytes, "WAVE");
    PutTag(&bytes, "fmt ");
    Put32(&bytes, 16);
    Put16(&bytes, 1);  // PCM
    Put16(&bytes, 1);  // mono
    Put32(&bytes, static_cast<uint32_t>(rate));
    Put32(&bytes, static_cast<uint32_t>(rate) * 2);
    Put16(&bytes, 2);
    Put16(&bytes, 16);
    PutTag(&bytes, "data");
    Put32(&bytes, dataBytes);
    for (float s : samples) {
        long v = std::lround(std::clamp(s, -1.0f, 1.0f) * 32767.0f);
        Put16(&bytes, static_cast<uint32_t>(static_cast<uint16_t>(static_cast<int16_t>(v))));
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    bool ok = file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (file != nullptr && std::fclose(file) != 0) ok = false;
    if (!ok) std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return ok;
}
