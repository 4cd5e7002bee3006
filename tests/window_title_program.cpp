// A program on Orbek that holds its window open, for running two at once: in the directory it
// is given (its Log.txt goes there) it titles its window, starts the framework without graphics
// and sound (only the window matters), says "started" or "refused" on standard output, then
// pumps until a file named "end" appears there (or a minute has passed) and shuts down.
//   window_title_program <title> <directory>
// Exit status: 0 after a run, 1 when the start-up was refused, 2 for bad arguments.
#include <orbek/orbek.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3 || chdir(argv[2]) != 0) return 2;
    SetWindowTitle(argv[1]);
    ChangeWindowMode(1);
    SetNoGraphicsSwitch(1);
    SetNoSoundSwitch(1);
    if (SetupLibrary() == -1) {
        std::puts("refused");
        return 1;
    }
    std::puts("started");
    std::fflush(stdout);
    const uint32_t start = GetMillisecondCount();
    while (PumpMessages() == 0 && access("end", F_OK) != 0 &&
           GetMillisecondCount() - start < 60000) {
        usleep(1000);
    }
    return ShutdownLibrary() == 0 ? 0 : 1;
}
