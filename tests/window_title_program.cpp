// A program on Orbek that holds its window open until its standard input ends, for running two
// at once: in the directory it is given (its Log.txt goes there), it titles its window, starts
// the framework without graphics and sound, says how that went on standard output, "started" or
// "refused", then pumps until its input ends (or a minute has passed) and shuts down.
//   window_title_program <title> <directory>
// Exit status: 0 after a run, 1 when the start-up was refused, 2 for bad arguments.
#include <orbek/orbek.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>

namespace {

constexpr uint32_t kLongestRunMs = 60000;

// True once standard input has ended.
bool InputEnded() {
    pollfd input = {STDIN_FILENO, POLLIN, 0};
    if (poll(&input, 1, 0) <= 0) return false;
    char byte;
    return read(STDIN_FILENO, &byte, 1) <= 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || chdir(argv[2]) != 0) return 2;
    SetWindowTitle(argv[1]);
    ChangeWindowMode(1);
    // Only its window matters: it starts the sooner without graphics and sound.
    SetNoGraphicsSwitch(1);
    SetNoSoundSwitch(1);
    if (SetupLibrary() == -1) {
        std::puts("refused");
        return 1;
    }
    std::puts("started");
    std::fflush(stdout);
    uint32_t start = GetMillisecondCount();
    while (PumpMessages() == 0 && !InputEnded() && GetMillisecondCount() - start < kLongestRunMs) {
        usleep(1000);
    }
    return ShutdownLibrary() == 0 ? 0 : 1;
}
