// Test support: a fresh directory under /tmp, removed with everything in it at the end, and
// the file layer's state put back to its defaults with that directory current.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Waits for a condition that another thread makes true, for at most ten seconds; false when
// it did not come.
bool WaitUntil(const std::function<bool()>& condition);

class TempDirectory {
public:
    TempDirectory();
    ~TempDirectory();
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    // The host path, and the same place in the layer's namespace ("Z:\..."), each optionally
    // followed by a relative path written with '/'.
    std::string Host(const std::string& relative = "") const;
    std::string Windows(const std::string& relative = "") const;
    // Writes a file (making its directories) and reads one back, by relative path.
    void Write(const std::string& relative, const std::vector<uint8_t>& bytes) const;
    std::vector<uint8_t> Read(const std::string& relative) const;

private:
    std::string host_;
};

// Each test runs in a temporary current directory with the archive-aware set installed, the
// layer's switches at their defaults and the archive cache shut afterwards.
class FileLayerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    TempDirectory directory_;

private:
    std::string previousDirectory_;
};
