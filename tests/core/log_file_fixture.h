// A fixture whose tests write the framework log into a temporary directory and read it back.
#pragma once

#include <gtest/gtest.h>
#include <platform/testing.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/log.h"
#include "core/platform_dlls.h"
#include "core/string_functions.h"

class LogFileFixture : public ::testing::Test {
protected:
    void SetUp() override {
        TestResetPlatform();
        char pattern[] = "/tmp/orbek_log_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory_ = pattern;
        CopyStringMax(gLog.directory, directory_.c_str(), sizeof(gLog.directory) - 1);
        // The log writes nothing until the clock's DLL is loaded.
        LoadPlatformDlls();
        StartLog();
    }

    void TearDown() override {
        FreePlatformDlls();
        gLog.directory[0] = '\0';
        std::filesystem::remove_all(directory_);
        TestResetPlatform();
    }

    std::string LogPath() const { return directory_ + "/Log.txt"; }

    // The log's bytes with the "<milliseconds>:" stamp removed from the start of every line.
    std::string ReadLogWithoutStamps() const {
        std::ifstream file(LogPath(), std::ios::binary);
        std::string text;
        std::string line;
        while (std::getline(file, line)) {
            const size_t digits = line.find_first_not_of("0123456789");
            if (digits > 0 && digits != std::string::npos && line[digits] == ':') {
                line.erase(0, digits + 1);
            }
            text += line + (file.eof() ? "" : "\n");
        }
        return text;
    }

private:
    std::string directory_;
};
