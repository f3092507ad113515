#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "support/settings_file.h"

namespace {

namespace fs = std::filesystem;

struct SettingsFile : ::testing::Test {
    fs::path folder;
    std::string path;
    void SetUp() override
    {
        folder = fs::temp_directory_path() /
                 (std::string("qv-settings-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
        path = (folder / "Quorva.ini").string();
        windowX = 0;
        windowY = 0;
    }
    void TearDown() override { fs::remove_all(folder); }

    void Put(const std::string& text) const { std::ofstream(path, std::ios::binary) << text; }
    std::string Contents() const
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // Reads text and gives the position as "y,x".
    std::string Read(const std::string& text) const
    {
        Put(text);
        EXPECT_TRUE(ReadSettings(path.c_str()));
        return std::to_string(windowY) + "," + std::to_string(windowX);
    }
};

TEST_F(SettingsFile, PositionStatementsReadTopThenLeft)
{
    EXPECT_EQ(Read("Pos=120,300;\n"), "120,300");
    EXPECT_EQ(Read("Pos=-20,-30;\n"), "-20,-30");  // the start-up code clamps, not the reader
    EXPECT_EQ(Read("P o s\n =\t5 ,\r\n 7 ;"), "5,7");
    EXPECT_EQ(Read("Position=1,2;"), "1,2");  // only the first three characters are compared
    EXPECT_EQ(Read("Res=1,2,3;Mem=4,5,6;Viw=1,2,3;Pos=8,9;Foo=1,1;"), "8,9");
    EXPECT_EQ(Read("Pos=1=2,3,4;"), "2,4");  // x after the last comma, y after the last "=" before the first
    EXPECT_EQ(Read("Pos=99999999999,-99999999999;"), std::to_string(INT_MAX) + "," + std::to_string(INT_MIN));
    EXPECT_EQ(Read("Pos=\x01\x80 4\xff,5;"), "4,5");  // unprintable bytes are dropped
}

TEST_F(SettingsFile, IncompleteStatementsLeaveThePositionAlone)
{
    windowX = 11;
    windowY = 22;
    EXPECT_EQ(Read("Pos=1,2"), "22,11");  // no final ";"
    EXPECT_EQ(Read("Pos=3,4;Pos=5,6"), "3,4");
    EXPECT_EQ(Read("Pos=7;Pos8,9;pos=1,1;"), "3,4");  // no comma, no "=", lower case

    std::remove(path.c_str());
    EXPECT_FALSE(ReadSettings(path.c_str()));
    EXPECT_EQ(windowY, 3);
}

TEST_F(SettingsFile, LongStatementsWrapInTheBuffer)
{
    // 512 characters fill the buffer; the 513th lands on its first place again, making the kept
    // text a position statement with no terminator inside the buffer.
    EXPECT_EQ(Read("Xos=1,2" + std::string(505, 'a') + "P;"), "1,2");
    EXPECT_EQ(Read(std::string(100000, '7') + ";Pos=5,6;"), "5,6");
}

TEST_F(SettingsFile, RandomBytesAreReadSafely)
{
    std::mt19937 random(9);
    std::string noise(100 * 1024, '\0');
    for (char& c : noise) {
        c = static_cast<char>(random());
    }
    Put(noise);
    EXPECT_TRUE(ReadSettings(path.c_str()));
}

TEST_F(SettingsFile, WrittenFileHoldsFourLinesAndReadsBack)
{
    SystemFigures figures;
    figures.freeResources[0] = -1;  // a meter byte above 127 reads as negative
    figures.freeResources[1] = 60;
    figures.freeResources[2] = 70;
    figures.totalPhysical = 0xFF400ull * 500 + 0xFF3FF;  // divisions truncate
    figures.availablePhysical = 0xFF400ull * 200;
    figures.memoryLoad = 59;
    Put("old contents that must go entirely;\n");
    ASSERT_TRUE(WriteSettings(-4, 48, {1024, 768, 32}, figures, path.c_str()));
    EXPECT_EQ(windowX, -4);
    EXPECT_EQ(windowY, 48);
    EXPECT_EQ(Contents(), "Res=-1,60,70;\nMem=500,200,59;\nViw=1024,768,32;\nPos=48,-4;\n");

    windowX = 0;
    windowY = 0;
    ASSERT_TRUE(ReadSettings(path.c_str()));
    EXPECT_EQ(windowX, -4);
    EXPECT_EQ(windowY, 48);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);  // no temporary left
}

TEST_F(SettingsFile, UnwritableFileIsSkippedAndTheOldOneKept)
{
    const std::string missing = (folder / "no such folder" / "Quorva.ini").string();
    EXPECT_FALSE(WriteSettings(1, 2, {}, SystemFigures{}, missing.c_str()));
    EXPECT_FALSE(fs::exists(folder / "no such folder"));

    // A folder in the file's place cannot be replaced; nothing beside it is left behind.
    fs::create_directories(path);
    EXPECT_FALSE(WriteSettings(1, 2, {}, SystemFigures{}, path.c_str()));
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

TEST(SystemProbe, MemoryFiguresAreConsistent)
{
    ASSERT_TRUE(ProbeSystem());
    EXPECT_GT(systemFigures.totalPhysical, 0u);
    EXPECT_LE(systemFigures.availablePhysical, systemFigures.totalPhysical);
    EXPECT_LE(systemFigures.memoryLoad, 100u);
    // Without the Windows 9x resource meter the percentages keep their values.
    systemFigures.freeResources[1] = 42;
    ASSERT_TRUE(ProbeSystem());
    EXPECT_EQ(systemFigures.freeResources[1], 42);
}

}  // namespace
