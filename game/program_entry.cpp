// The program's entry: calls the game's WinMain as the system's start-up code would.
#include "scene_loop.h"

int main() {
    char commandLine[] = "";
    return WinMain(nullptr, nullptr, commandLine, 1);
}
