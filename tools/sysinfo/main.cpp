// Starts the framework's log and writes its system-information block, then prints "Log.txt"
// as UTF-8: the program the run command starts until the game exists.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "core/clocks.h"
#include "core/code_pages.h"
#include "core/log.h"
#include "core/platform_dlls.h"
#include "core/system_info.h"

int main() {
    LoadPlatformDlls();
    ProbePerformanceCounter();
    GetCurrentDirectoryA(sizeof(gLog.directory), gLog.directory);
    StartLog();
    LogSystemInfo();
    FreePlatformDlls();

    std::ifstream file("Log.txt", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::u16string wide(bytes.size() + 1, u'\0');
    ConvertMultiByteToWide(932, bytes.c_str(), wide.data(), static_cast<int>(wide.size()));
    std::string utf8(wide.size() * 3 + 1, '\0');
    ConvertWideToMultiByte(CP_UTF8, wide.c_str(), utf8.data(), static_cast<int>(utf8.size()));
    std::fputs(utf8.c_str(), stdout);
    return 0;
}
