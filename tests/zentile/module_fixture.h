#pragma once
// The converter module loaded as the programs load it, in a scratch folder of its own per test.
#include "../imagefile/picture_files.h"
#include "imagefile/converter_library.h"

struct ModuleFixture : ScratchFolder {
    void SetUp() override
    {
        ScratchFolder::SetUp();
        ASSERT_TRUE(LoadConverterLibrary("./" zentile_module));
    }
    void TearDown() override
    {
        FreeConverterLibrary();
        ScratchFolder::TearDown();
    }
};

// A working pixel, rows counted from the top.
inline const std::uint8_t* Pixel(const Image& image, int x, int yFromTop)
{
    return image.bits + (image.header->biHeight - 1 - yFromTop) * RowStride(image.header->biWidth) + 3 * x;
}
