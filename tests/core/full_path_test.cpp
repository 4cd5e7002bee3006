// Full paths: starts (relative, drive, root, UNC), "." and "..", double-byte components whose
// trail byte is '\', and results that do not fit or have no base.
#include "core/full_path.h"

#include <gtest/gtest.h>

#include <string>

#include "core/string_functions.h"

namespace {

class FullPathTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedCharSet_ = GetCharSet();
        SetCharSet(kCharSetShiftJis);
    }
    void TearDown() override { SetCharSet(savedCharSet_); }

    static std::string Resolve(const char* path, const char* base = "Z:\\work\\game") {
        char out[256];
        if (ResolveFullPath(path, out, sizeof out, base) != 0) return "<failed>";
        return out;
    }

    int32_t savedCharSet_ = 0;
};

TEST_F(FullPathTest, RelativePathsJoinTheBase) {
    EXPECT_EQ(Resolve("a\\b.png"), "Z:\\work\\game\\a\\b.png");
    EXPECT_EQ(Resolve("a/b/./c"), "Z:\\work\\game\\a\\b\\c");
    EXPECT_EQ(Resolve("a\\\\b"), "Z:\\work\\game\\a\\b");
    EXPECT_EQ(Resolve(""), "Z:\\work\\game");
    EXPECT_EQ(Resolve("x", "Z:\\"), "Z:\\x");
    EXPECT_EQ(Resolve(nullptr, "Z:\\work\\"), "Z:\\work\\") << "the base as it is";
}

TEST_F(FullPathTest, DotDotStepsBackButNeverOverTheDrive) {
    EXPECT_EQ(Resolve("..\\x"), "Z:\\work\\x");
    EXPECT_EQ(Resolve("..\\..\\..\\..\\x"), "Z:\\x");
    EXPECT_EQ(Resolve("a\\..\\..\\b"), "Z:\\work\\b");
    // A last component without a separator after it is taken as it is.
    EXPECT_EQ(Resolve("sub\\."), "Z:\\work\\game\\sub\\.");
    EXPECT_EQ(Resolve("sub\\.."), "Z:\\work\\game\\sub\\..");
}

TEST_F(FullPathTest, RootDriveAndUncStarts) {
    EXPECT_EQ(Resolve("\\data\\x"), "Z:\\data\\x");
    EXPECT_EQ(Resolve("/data/x"), "Z:\\data\\x");
    EXPECT_EQ(Resolve("C:x"), "C:\\x");
    EXPECT_EQ(Resolve("C:\\x\\..\\y"), "C:\\y");
    EXPECT_EQ(Resolve("\\\\server\\share\\x"), "\\\\server\\share\\x");
    EXPECT_EQ(Resolve("//server/share"), "\\\\server\\share");
}

TEST_F(FullPathTest, DoubleByteCharactersStayWhole) {
    // 表 is 0x95 0x5C: its trail byte is no separator, going forwards or back.
    EXPECT_EQ(Resolve("表\\x"), "Z:\\work\\game\\表\\x");
    EXPECT_EQ(Resolve("..\\x", "Z:\\表"), "Z:\\x");
    EXPECT_EQ(Resolve("..\\y", "Z:\\a\\表表"), "Z:\\a\\y");
}

TEST_F(FullPathTest, ResultsThatDoNotFitOrHaveNoBaseFail) {
    char out[16] = "unchanged";
    EXPECT_EQ(ResolveFullPath("a\\long\\name.png", out, sizeof out, "Z:\\work"), -1);
    EXPECT_EQ(ResolveFullPath("a", out, sizeof out, "Z:\\work"), 0);
    EXPECT_STREQ(out, "Z:\\work\\a");
    EXPECT_EQ(ResolveFullPath("abcdefgh", out, sizeof out, "Z:\\work"), -1) << "one byte short";
    EXPECT_EQ(ResolveFullPath("abcdefg", out, sizeof out, "Z:\\work"), 0);
    EXPECT_EQ(ResolveFullPath("a", out, sizeof out, nullptr), -1) << "no base";
}

}  // namespace
