#include <cstring>
#include <filesystem>
#include <mutex>

#include "imagefile/converter_library.h"
#include "imagefile/module_loading.h"
#include "support/replace_file.h"
#include "zentile/zentile.h"

namespace {

struct ConverterLibrary {
    void* module = nullptr;
    JpgToBmpCall jpgToBmp = nullptr;
    PngToBmpCall pngToBmp = nullptr;
    BmpToPngCall bmpToPng = nullptr;
};

ConverterLibrary library;
std::mutex libraryLock;

// The zlib level handed to BmpToPng.
constexpr int pngLevel = 6;

void FreeLocked()
{
    if (library.module) CloseModule(library.module);
    library = ConverterLibrary{};
}

bool CheckedAdopt(const std::uint8_t* block, std::int32_t size, Image& image)
{
    if (!block || size < 40) return false;
    BitmapInfoHeader header;
    std::memcpy(&header, block, sizeof header);
    if (header.biBitCount != 24 || header.biCompression != 0) return false;
    if (header.biWidth <= 0 || header.biHeight <= 0) return false;
    // Divided, not multiplied, so that no claimed size can overflow before it is compared.
    const std::int64_t stride = RowStride(header.biWidth);
    if (stride > (size - 40) / header.biHeight) return false;
    if (!AllocateImage(header.biWidth, header.biHeight, image)) return false;
    header.biSize = 40;
    *image.header = header;
    std::memcpy(image.bits, block + 40, static_cast<std::size_t>(stride * header.biHeight));
    FillSourceRows(image);
    return true;
}

void RemoveQuietly(const std::string& path)
{
    std::error_code ignored;
    std::filesystem::remove(PathFromUtf8(path), ignored);
}

}  // namespace

bool LoadConverterLibrary(const std::string& path)
{
    std::lock_guard hold(libraryLock);
    FreeLocked();
    library.module = OpenModule(path);
    if (!library.module) return false;
    library.jpgToBmp = reinterpret_cast<JpgToBmpCall>(FindExport(library.module, "JpgToBmp"));
    library.pngToBmp = reinterpret_cast<PngToBmpCall>(FindExport(library.module, "PngToBmp"));
    library.bmpToPng = reinterpret_cast<BmpToPngCall>(FindExport(library.module, "BmpToPng"));
    if (library.jpgToBmp && library.pngToBmp && library.bmpToPng) return true;
    FreeLocked();
    return false;
}

void FreeConverterLibrary()
{
    std::lock_guard hold(libraryLock);
    FreeLocked();
}

bool ConverterLibraryLoaded()
{
    std::lock_guard hold(libraryLock);
    return library.module != nullptr;
}

bool AdoptConvertedBitmap(const std::uint8_t* block, std::int32_t size, Image& image)
{
    if (CheckedAdopt(block, size, image)) return true;
    ReleaseImage(image);
    return false;
}

bool ConvertFileToImage(ConvertedKind kind, const std::string& path, Image& image)
{
    ReleaseImage(image);
    std::lock_guard hold(libraryLock);
    std::string argument;
    if (!library.module || !ModulePathArgument(path, argument)) return false;
    // 1 asks JpgToBmp for the full size; PngToBmp ignores the value.
    std::int32_t size = 1;
    const std::uint8_t* block = kind == ConvertedKind::Jpeg ? library.jpgToBmp(argument.c_str(), &size)
                                                            : library.pngToBmp(argument.c_str(), &size);
    // The block belongs to the module and lives only until its next call: copied under the lock.
    return AdoptConvertedBitmap(block, size, image);
}

bool SavePngFile(const Image& image, const std::string& path)
{
    if (!image.loaded) return false;
    std::lock_guard hold(libraryLock);
    if (!library.module) return false;
    // The temporary file is created first: its short name, which the module may need, exists
    // only once the file does.
    const std::string temporary = TemporaryPathBeside(path);
    if (!WriteNewFile(temporary, {})) return false;
    std::string argument;
    if (!ModulePathArgument(temporary, argument) ||
        library.bmpToPng(argument.c_str(), reinterpret_cast<const std::uint8_t*>(image.header), pngLevel) == 0 ||
        !FlushFileToDisk(temporary)) {
        RemoveQuietly(temporary);
        return false;
    }
    return ReplaceFileWith(temporary, path);
}
