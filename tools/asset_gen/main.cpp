// Generates every picture, sound and piece of music of the game into a folder:
//   brovane_asset_gen <folder>   writes <folder>/graphics/*.png and <folder>/sound/*
// The output is the same, byte for byte, on every run: all randomness has fixed seeds.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "music.h"
#include "pictures.h"
#include "png_writer.h"
#include "sound_effects.h"
#include "synth.h"
#include "wav_writer.h"

namespace {

struct Job {
    std::string path;  // relative to the output folder
    std::function<bool(const std::string& path)> write;
};

std::vector<Job> AllJobs() {
    std::vector<Job> jobs;
    // The music takes longest, so it starts first; burst, the longest piece, leads.
    for (auto compose : {ComposeBurst, ComposeApeKamuy, ComposeWhiteLovers, ComposeTsudumiJapan,
                         ComposeZombieGhost}) {
        Composition composition = compose();
        std::string path = "sound/" + composition.file;
        jobs.push_back(
            {path, [composition](const std::string& p) { return WriteMusic(p, composition); }});
    }
    const std::pair<const char*, RgbImage (*)()> pictures[] = {
        {"size32.png", DrawSize32},
        {"explosion.png", DrawExplosion},
        {"explosion2.png", DrawExplosion2},
        {"title2.png", DrawTitle},
        {"size16.png", DrawSize16},
        {"gameover.png", DrawGameOver},
        {"goal.png", DrawGoal},
        {"uzu.png", DrawSwirl},
        {"entry.png", DrawSunburst},
        {"rank.png", DrawRosette},
        {"board.png", DrawBoard},
        {"back1.png", DrawStarfield},
        {"back3.png", DrawCrypt},
        {"back4.png", DrawSeigaiha},
        {"back5.png", DrawLavaField},
        {"congratulations.png", DrawCongratulations},
        {"end.png", DrawTheEnd},
    };
    for (const auto& [file, draw] : pictures) {
        jobs.push_back({std::string("graphics/") + file,
                        [draw](const std::string& p) { return WritePng(p, draw()); }});
    }
    for (const SoundEffect& effect : SoundEffects()) {
        jobs.push_back({"sound/" + effect.file, [&effect](const std::string& p) {
                            return WriteWav(p, effect.synthesise(), kSampleRate);
                        }});
    }
    return jobs;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code error;
    for (const char* sub : {"graphics", "sound"})
        std::filesystem::create_directories(folder / sub, error);
    if (error) {
        std::fprintf(stderr, "cannot create %s: %s\n", folder.c_str(), error.message().c_str());
        return 1;
    }

    const auto start = std::chrono::steady_clock::now();
    const std::vector<Job> jobs = AllJobs();
    std::atomic<size_t> next{0};
    std::atomic<int> failures{0};
    // Four workers at most: the build runs beside other work on a shared machine.
    const unsigned workers = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
    std::vector<std::thread> threads;
    for (unsigned w = 0; w < workers; ++w) {
        threads.emplace_back([&] {
            for (size_t i; (i = next++) < jobs.size();) {
                if (!jobs[i].write((folder / jobs[i].path).string())) ++failures;
            }
        });
    }
    for (std::thread& t : threads) t.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("brovane assets: %zu files in %s, %.1f s\n", jobs.size(), folder.c_str(), seconds);
    return failures == 0 ? 0 : 1;
}
