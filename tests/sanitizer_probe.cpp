// Makes one sanitizer report of the kind named by its argument ("undefined" or "address") and
// returns 0 only if the report did not stop it. The builds that run tests and fuzz targets
// check with it that any report fails the run.
#include <climits>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    const char* kind = argc > 1 ? argv[1] : "";
    if (std::strcmp(kind, "undefined") == 0) {
        volatile int largest = INT_MAX;
        volatile int sum = largest + argc;
        (void)sum;
    } else if (std::strcmp(kind, "address") == 0) {
        char* bytes = new char[4];
        volatile char beyond = bytes[argc + 4];
        (void)beyond;
        delete[] bytes;
    } else {
        return 2;
    }
    std::puts("the report did not stop the program");
    return 0;
}
