#include "imagefile/bmp_file.h"
#include "imagefile/converter_library.h"
#include "imagefile/image_file.h"

std::string SaveNameStem(const std::string& loadedPath)
{
    // Characters, not bytes: a UTF-8 path is never cut inside a character.
    std::size_t end = loadedPath.size();
    for (int dropped = 0; dropped < 4 && end > 0; ++dropped) {
        --end;
        while (end > 0 && (static_cast<unsigned char>(loadedPath[end]) & 0xC0) == 0x80) --end;
    }
    return loadedPath.substr(0, end);
}

FileError SaveImageFile(const Image& image, std::string& path)
{
    const bool png = ConverterLibraryLoaded();
    path += png ? "'.png" : "'.bmp";
    return png ? SavePngFile(image, path) : SaveBmpFile(image, path);
}
