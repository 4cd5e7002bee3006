// A program on Orbek that ends without ShutdownLibrary, as one that gives up early does: it
// starts the framework, keeps what the arguments name alive, draws 20 frames and ends.
//   early_exit_program <how> [sound] [font]
// how: "return" returns 7 from main; "exit" calls std::exit(3); "thread-exit" has another
// thread call std::exit(3) while this one goes on drawing; "shutdown", for comparison, calls
// ShutdownLibrary and returns 0. Its files (Log.txt, the sound it plays) go to the current
// directory.
#include <orbek/orbek.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

void PutLittleEndian(FILE* file, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) std::fputc(static_cast<int>(value >> (8 * i) & 0xFF), file);
}

// Half a second of a 440 Hz tone, 16-bit stereo at 44,100 Hz.
bool WriteTone(const char* path) {
    constexpr uint32_t kRate = 44100;
    constexpr uint32_t kFrames = kRate / 2;
    FILE* file = std::fopen(path, "wb");
    if (file == nullptr) return false;
    std::fputs("RIFF", file);
    PutLittleEndian(file, 36 + kFrames * 4, 4);
    std::fputs("WAVEfmt ", file);
    PutLittleEndian(file, 16, 4);
    PutLittleEndian(file, 1, 2);
    PutLittleEndian(file, 2, 2);
    PutLittleEndian(file, kRate, 4);
    PutLittleEndian(file, kRate * 4, 4);
    PutLittleEndian(file, 4, 2);
    PutLittleEndian(file, 16, 2);
    std::fputs("data", file);
    PutLittleEndian(file, kFrames * 4, 4);
    for (uint32_t i = 0; i < kFrames; ++i) {
        auto sample = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440 * i / kRate));
        PutLittleEndian(file, static_cast<uint16_t>(sample), 2);
        PutLittleEndian(file, static_cast<uint16_t>(sample), 2);
    }
    return std::fclose(file) == 0;
}

bool Named(int argc, char** argv, const char* word) {
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], word) == 0) return true;
    }
    return false;
}

void DrawFrame(int frame, Handle font) {
    EraseDrawScreen(nullptr);
    PutBoxFilled(frame * 8, 40, frame * 8 + 32, 72, PackScreenColor(255, 160, 0));
    if (font != -1) {
        DrawStringWithFont(40, 100, "Goodbye", PackScreenColor(255, 255, 255), font,
                           PackScreenColor(0, 0, 0), 0);
    }
    FlipScreen();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    ChangeWindowMode(1);
    if (SetupLibrary() == -1) return 1;
    if (Named(argc, argv, "sound")) {
        if (!WriteTone("tone.wav")) return 1;
        Handle sound = LoadSoundHandle("tone.wav", 1, -1);
        if (sound == -1 || PlaySoundHandle(sound, kPlayLoop, 1) != 0) return 1;
    }
    Handle font = Named(argc, argv, "font") ? MakeFontHandle(nullptr, 24, 3, 0, -1, -1, 0, -1) : -1;
    for (int frame = 0; frame < 20 && PumpMessages() == 0; ++frame) DrawFrame(frame, font);

    if (std::strcmp(argv[1], "shutdown") == 0) return ShutdownLibrary() == 0 ? 0 : 1;
    if (std::strcmp(argv[1], "exit") == 0) std::exit(3);
    if (std::strcmp(argv[1], "thread-exit") == 0) {
        std::thread([] { std::exit(3); }).detach();
        for (int frame = 0; PumpMessages() == 0; ++frame) DrawFrame(frame % 20, font);
        return 1;
    }
    return 7;
}
