#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "support/replace_file.h"

namespace {

namespace fs = std::filesystem;

// A fresh, empty folder per test, removed afterwards.
struct ReplaceFile : ::testing::Test {
    fs::path folder;
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        // Unique per run: several worktrees may run these tests at once.
        folder = fs::temp_directory_path() / (std::string("qv-replace-") + info->name() + "-" + std::to_string(std::random_device{}()));
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }
    std::string Path(const char* name) const
    {
        const std::u8string utf8 = (folder / fs::path(std::u8string(reinterpret_cast<const char8_t*>(name)))).u8string();
        return std::string(utf8.begin(), utf8.end());
    }
    std::string Contents(const std::string& path) const
    {
        std::ifstream in(PathFromUtf8(path), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    int Entries() const { return static_cast<int>(std::distance(fs::directory_iterator(folder), {})); }
};

TEST_F(ReplaceFile, WritesAndReplacesLeavingNoTemporaryFile)
{
    const std::string target = Path("写真.bmp");  // non-ASCII names must reach the wide API on Windows
    ASSERT_TRUE(WriteWholeFile(target, "first", 5));
    EXPECT_EQ(Contents(target), "first");
    ASSERT_TRUE(WriteWholeFile(target, "second!", 7));
    EXPECT_EQ(Contents(target), "second!");
    EXPECT_EQ(Entries(), 1);
}

TEST_F(ReplaceFile, WritesPiecesInOrder)
{
    const std::string target = Path("pieces");
    const FilePiece pieces[] = {{"ab", 2}, {"", 0}, {"cde", 3}};
    ASSERT_TRUE(WriteWholeFile(target, pieces));
    EXPECT_EQ(Contents(target), "abcde");
}

TEST_F(ReplaceFile, FailureInMissingFolderLeavesNothing)
{
    EXPECT_FALSE(WriteWholeFile(Path("missing/picture.png"), "x", 1));
    EXPECT_EQ(Entries(), 0);
}

TEST_F(ReplaceFile, FolderInPlaceOfTargetStaysAndNoTemporaryRemains)
{
    const std::string target = Path("occupied");
    fs::create_directory(PathFromUtf8(target));
    std::ofstream(PathFromUtf8(target) / "inside") << "kept";
    EXPECT_FALSE(WriteWholeFile(target, "x", 1));
    EXPECT_TRUE(fs::is_directory(PathFromUtf8(target)));
    EXPECT_EQ(Contents(target + "/inside"), "kept");
    EXPECT_EQ(Entries(), 1);
}

TEST_F(ReplaceFile, NewFileNeverOverwritesAndTemporaryNamesDiffer)
{
    const std::string target = Path("old");
    ASSERT_TRUE(WriteWholeFile(target, "old", 3));
    EXPECT_FALSE(WriteNewFile(target, {}));
    EXPECT_EQ(Contents(target), "old");

    const std::string first = TemporaryPathBeside(target), second = TemporaryPathBeside(target);
    EXPECT_NE(first, second);
    EXPECT_EQ(PathFromUtf8(first).parent_path(), PathFromUtf8(target).parent_path());
}

}  // namespace
