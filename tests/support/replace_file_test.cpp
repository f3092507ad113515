#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "support/replace_file.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

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
    ASSERT_EQ(WriteWholeFile(target, "first", 5), FileError::None);
    EXPECT_EQ(Contents(target), "first");
    ASSERT_EQ(WriteWholeFile(target, "second!", 7), FileError::None);
    EXPECT_EQ(Contents(target), "second!");
    EXPECT_EQ(Entries(), 1);
}

TEST_F(ReplaceFile, WritesPiecesInOrder)
{
    const std::string target = Path("pieces");
    const FilePiece pieces[] = {{"ab", 2}, {"", 0}, {"cde", 3}};
    ASSERT_EQ(WriteWholeFile(target, pieces), FileError::None);
    EXPECT_EQ(Contents(target), "abcde");
}

TEST_F(ReplaceFile, FailureInMissingFolderLeavesNothing)
{
    EXPECT_NE(WriteWholeFile(Path("missing/picture.png"), "x", 1), FileError::None);
    EXPECT_EQ(Entries(), 0);
}

TEST_F(ReplaceFile, FolderInPlaceOfTargetStaysAndNoTemporaryRemains)
{
    const std::string target = Path("occupied");
    fs::create_directory(PathFromUtf8(target));
    std::ofstream(PathFromUtf8(target) / "inside") << "kept";
    EXPECT_NE(WriteWholeFile(target, "x", 1), FileError::None);
    EXPECT_TRUE(fs::is_directory(PathFromUtf8(target)));
    EXPECT_EQ(Contents(target + "/inside"), "kept");
    EXPECT_EQ(Entries(), 1);
}

TEST_F(ReplaceFile, NewFileNeverOverwritesAndTemporaryNamesStayShort)
{
    const std::string target = Path("old");
    ASSERT_EQ(WriteWholeFile(target, "old", 3), FileError::None);
    TemporaryFile file;
    EXPECT_NE(CreateNewFile(target, file), FileError::None);
    EXPECT_EQ(Contents(target), "old");

    // A name near the system's limit: the temporary beside it must not add to its length.
    const std::string longName = Path((std::string(246, 'a') + ".jpg").c_str());
    ASSERT_EQ(WriteWholeFile(longName, "long", 4), FileError::None);
    EXPECT_EQ(Contents(longName), "long");
    const std::string first = TemporaryPathFor(longName, 1, 0), second = TemporaryPathFor(longName, 1, 1);
    EXPECT_NE(first, second);
    EXPECT_EQ(PathFromUtf8(first).parent_path(), PathFromUtf8(longName).parent_path());
    EXPECT_LT(PathFromUtf8(first).filename().string().size(), 40u);
}

TEST_F(ReplaceFile, TemporaryOfAKilledWriterGoesWithTheNextWriteOfItsTarget)
{
    const std::string target = Path("result.png");
    // 2000000000 is beyond every system's process numbers: that writer is gone.
    const std::string left = TemporaryPathFor(target, 2000000000, 7);
    const std::string running = TemporaryPathFor(target, CurrentProcessNumber(), 9999);
    const std::string otherTarget = TemporaryPathFor(Path("other.png"), 2000000000, 7);
    for (const std::string& name : {left, running, otherTarget}) std::ofstream(PathFromUtf8(name)) << "part";
    ASSERT_EQ(WriteWholeFile(target, "new", 3), FileError::None);
    EXPECT_FALSE(fs::exists(PathFromUtf8(left)));
    EXPECT_TRUE(fs::exists(PathFromUtf8(running)));
    EXPECT_TRUE(fs::exists(PathFromUtf8(otherTarget)));
}

TEST_F(ReplaceFile, ReasonsAreTheSystemsOwn)
{
    EXPECT_EQ(WriteWholeFile(Path("missing/picture.png"), "x", 1), FileError::FolderMissing);
#ifndef _WIN32  // Wine reports a missing path for a name too long
    EXPECT_EQ(WriteWholeFile(Path((std::string(300, 'n')).c_str()), "x", 1), FileError::NameTooLong);
#endif
    fs::create_directory(PathFromUtf8(Path("folder")));
    EXPECT_EQ(WriteWholeFile(Path("folder"), "x", 1), FileError::Folder);
}

#ifndef _WIN32
TEST_F(ReplaceFile, AWriterReachesTheTemporaryItselfNotWhatItsNameWasSwappedFor)
{
    const std::string victim = Path("someone else's");
    std::ofstream(PathFromUtf8(victim)) << "theirs";
    TemporaryFile file;
    ASSERT_EQ(CreateTemporaryBeside(Path("result.png"), file), FileError::None);
    // The temporary's name replaced by a link to another file, as a hostile user of the folder might.
    fs::remove(PathFromUtf8(file.path));
    fs::create_symlink(PathFromUtf8(victim), PathFromUtf8(file.path));
    std::FILE* written = std::fopen(OpenFileName(file).c_str(), "wb");
    ASSERT_NE(written, nullptr);
    std::fputs("result", written);
    std::fclose(written);
    EXPECT_EQ(Contents(victim), "theirs");
    DiscardTemporary(file);
}

TEST_F(ReplaceFile, AReplacedFileKeepsItsPermissionsAndAWriteProtectedOneStays)
{
    const std::string target = Path("result.png");
    ASSERT_EQ(WriteWholeFile(target, "first", 5), FileError::None);
#ifndef _WIN32  // a Windows file is only read-only or not
    fs::permissions(PathFromUtf8(target), fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_EQ(WriteWholeFile(target, "again", 5), FileError::None);
    EXPECT_EQ(fs::status(PathFromUtf8(target)).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
#endif
    const std::string kept = Contents(target);
    fs::permissions(PathFromUtf8(target), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(WriteWholeFile(target, "lost", 4), FileError::WriteProtected);
    EXPECT_EQ(Contents(target), kept);
    EXPECT_EQ(Entries(), 1);
    fs::permissions(PathFromUtf8(target), fs::perms::owner_write, fs::perm_options::add);
}

TEST_F(ReplaceFile, DevicesAndPipesAreNeverReplaced)
{
    const std::string pipe = Path("pipe");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(WriteWholeFile(pipe, "x", 1), FileError::NotRegularFile);
    EXPECT_TRUE(fs::is_fifo(PathFromUtf8(pipe)));
    EXPECT_EQ(CheckWritableTarget("/dev/null"), FileError::NotRegularFile);
    EXPECT_EQ(Entries(), 1);
}
#endif

}  // namespace
