#include <cstring>
#include <string>
#include <vector>

#include "imagefile/converter_library.h"
#include "imagefile/image_file.h"
#include "picture_files.h"

namespace {

// Loads and saves picture files; no module unless a test loads one.
struct ImageFiles : ScratchFolder {
    void SetUp() override
    {
        ScratchFolder::SetUp();
        FreeConverterLibrary();
    }
    void TearDown() override
    {
        FreeConverterLibrary();
        ScratchFolder::TearDown();
    }
};

const Bytes jpegStart = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0};
const Bytes pngStart = {0x89, 'P', 'N', 'G', 13, 10, 26, 10};

TEST_F(ImageFiles, KindIsToldByContentNeverByName)
{
    Image image;
    EXPECT_EQ(LoadImageFile(Write("bmp inside.jpg", MakeBmp({.width = 3})), image), FileError::None);
    EXPECT_EQ(image.header->biWidth, 3);

    // Without the module JPEG and PNG are refused like any unknown format, and so are 8-bit and
    // 32-bit BMPs and GIFs; every refusal leaves no picture held.
    for (const Bytes& refused : {jpegStart, pngStart, MakeBmp({.bitCount = 8}), MakeBmp({.bitCount = 32}),
                                 Bytes{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0}, Bytes{}}) {
        ASSERT_EQ(LoadImageFile(Write("good.bmp", MakeBmp({})), image), FileError::None);
        EXPECT_NE(LoadImageFile(Write("refused.bmp", refused), image), FileError::None);
        EXPECT_FALSE(image.loaded);
    }
}

TEST_F(ImageFiles, FolderOrMissingFileIsRefusedAndThePreviousPictureReleased)
{
    Image image;
    ASSERT_EQ(LoadImageFile(Write("写真.bmp", MakeBmp({})), image), FileError::None);
    EXPECT_NE(LoadImageFile(Path(""), image), FileError::None);
    EXPECT_FALSE(image.loaded);
    ASSERT_EQ(LoadImageFile(Path("写真.bmp"), image), FileError::None);
    EXPECT_NE(LoadImageFile(Path("absent.bmp"), image), FileError::None);
    EXPECT_FALSE(image.loaded);
}

TEST_F(ImageFiles, SaveNamesDropTheLastFourCharacters)
{
    EXPECT_EQ(SaveNameStem("C:\\pics\\cat.jpg"), "C:\\pics\\cat");
    EXPECT_EQ(SaveNameStem("C:\\pics\\cat.jpeg"), "C:\\pics\\cat.");
    EXPECT_EQ(SaveNameStem("/pics/写真の猫.bmp"), "/pics/写真の猫");
    EXPECT_EQ(SaveNameStem("/pics/写真の猫"), "/pics/");  // characters, never half of one
    EXPECT_EQ(SaveNameStem("ab"), "");
}

TEST_F(ImageFiles, SavingWithoutTheModuleWritesBmpAndReplacesTheLastSave)
{
    Image image;
    const std::string loaded = Write("cat.jpeg", MakeBmp({.width = 5}));
    ASSERT_EQ(LoadImageFile(loaded, image), FileError::None);
    std::string path = SaveNameStem(loaded);
    ASSERT_EQ(SaveImageFile(image, path), FileError::None);
    EXPECT_EQ(path, Path("cat.'.bmp"));
    image.bits[0] ^= 0xFF;  // as a view transform would
    path = SaveNameStem(loaded);
    ASSERT_EQ(SaveImageFile(image, path), FileError::None);
    Image saved;
    ASSERT_EQ(LoadImageFile(path, saved), FileError::None);
    EXPECT_EQ(saved.bits[0], image.bits[0]);
    EXPECT_EQ(Entries(), 2);
}

TEST_F(ImageFiles, FailedSaveSaysWhyAndKeepsWhatWasThere)
{
    Image image;
    ASSERT_EQ(LoadImageFile(Write("cat.bmp", MakeBmp({})), image), FileError::None);
    std::filesystem::create_directory(folder / "cat'.bmp");
    std::string path = Path("cat");
    EXPECT_EQ(SaveImageFile(image, path), FileError::Folder);
    EXPECT_TRUE(std::filesystem::is_directory(folder / "cat'.bmp"));
    EXPECT_EQ(Entries(), 2);
}

TEST_F(ImageFiles, ConverterResultsAreCheckedAgainstTheirHeaders)
{
    Image image;
    Bytes block(40 + 2 * 16, 0x55);
    std::memcpy(block.data(), MakeBmp({.width = 5, .height = 2}).data() + 14, 40);
    ASSERT_EQ(AdoptConvertedBitmap(block.data(), static_cast<std::int32_t>(block.size()), image), FileError::None);
    EXPECT_EQ(image.rows[1][14], 0x55);
    EXPECT_NE(AdoptConvertedBitmap(block.data(), 0, image), FileError::None);  // size 0 refuses, address or not
    EXPECT_FALSE(image.loaded);
    EXPECT_NE(AdoptConvertedBitmap(block.data(), static_cast<std::int32_t>(block.size() - 1), image), FileError::None);
    EXPECT_NE(AdoptConvertedBitmap(block.data(), 39, image), FileError::None);
    EXPECT_NE(AdoptConvertedBitmap(nullptr, 100, image), FileError::None);
    PutLe(block, 4, 0x7FFFFFFF, 4);
    PutLe(block, 8, 0x7FFFFFFF, 4);
    EXPECT_NE(AdoptConvertedBitmap(block.data(), static_cast<std::int32_t>(block.size()), image), FileError::None);
}

TEST_F(ImageFiles, ModuleLackingAnOperationIsTreatedAsAbsent)
{
    EXPECT_FALSE(LoadConverterLibrary("./" fake_converter_partial_module));
    EXPECT_FALSE(ConverterLibraryLoaded());
    EXPECT_FALSE(LoadConverterLibrary("./no such module"));
    Image image;
    EXPECT_NE(LoadImageFile(Write("a.jpg", jpegStart), image), FileError::None);
}

TEST_F(ImageFiles, OfferedModuleLoadsAtItsFirstUse)
{
    Image image;
    OfferConverterLibrary("./no such module");
    EXPECT_EQ(LoadImageFile(Write("a.jpg", jpegStart), image), FileError::NeedsConverter);
    EXPECT_FALSE(ConverterLibraryLoaded());
    OfferConverterLibrary("./" fake_converter_failing_module);
    EXPECT_EQ(LoadImageFile(Path("a.jpg"), image), FileError::ConverterRefused);  // the module's answer
    EXPECT_TRUE(ConverterLibraryLoaded());
}

TEST_F(ImageFiles, FailingModuleRefusesFilesAndKeepsTheOldPng)
{
    ASSERT_TRUE(LoadConverterLibrary("./" fake_converter_failing_module));
    Image image;
    ASSERT_EQ(LoadImageFile(Write("held.png", MakeBmp({})), image), FileError::None);  // BMP content: read here
    EXPECT_EQ(LoadImageFile(Write("size0.bmp", jpegStart), image), FileError::ConverterRefused);
    EXPECT_NE(LoadImageFile(Write("short.bmp", pngStart), image), FileError::None);
    EXPECT_FALSE(image.loaded);

    ASSERT_EQ(LoadImageFile(Path("held.png"), image), FileError::None);
    Write("held'.png", {'o', 'l', 'd'});
    std::string path = Path("held");
    EXPECT_EQ(SaveImageFile(image, path), FileError::CannotWrite);  // a module without reasons
    EXPECT_EQ(path, Path("held'.png"));
    EXPECT_EQ(Read(path), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(Entries(), 4);  // held.png, size0.bmp, short.bmp, held'.png: no partial file
}

}  // namespace
