#include <cstring>
#include <mutex>
#include <new>
#include <utility>

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
    LastConversionErrorCall lastError = nullptr;  // optional, as are the later operations below
    PictureToBmpCall pictureToBmp = nullptr;
    PictureMetadataCall pictureMetadata = nullptr;
    BmpToJpgCall bmpToJpg = nullptr;
    BmpToPngWithMetadataCall bmpToPngWithMetadata = nullptr;
};

ConverterLibrary library;
std::string offeredPath;  // the module to load at its first use; empty when none is waiting
std::mutex libraryLock;

// The zlib level handed to BmpToPng.
constexpr int pngLevel = 6;

void FreeLocked()
{
    if (library.module) CloseModule(library.module);
    library = ConverterLibrary{};
}

FileError CheckedAdopt(const std::uint8_t* block, std::int32_t size, Image& image)
{
    if (!block || size < 40) return FileError::ConverterRefused;
    BitmapInfoHeader header;
    std::memcpy(&header, block, sizeof header);
    if (header.biBitCount != 24 || header.biCompression != 0) return FileError::ConverterRefused;
    if (header.biWidth <= 0 || header.biHeight <= 0) return FileError::ConverterRefused;
    // Divided, not multiplied, so that no claimed size can overflow before it is compared.
    const std::int64_t stride = RowStride(header.biWidth);
    if (stride > (size - 40) / header.biHeight) return FileError::ConverterRefused;
    if (!AllocateImage(header.biWidth, header.biHeight, image, NewPixels::ToBeWritten)) return FileError::OutOfMemory;
    header.biSize = 40;
    *image.header = header;
    std::memcpy(image.bits, block + 40, static_cast<std::size_t>(stride * header.biHeight));
    FillSourceRows(image);
    return FileError::None;
}

// The module's reason for its last failure when it gives a known one, otherwise the fallback.
FileError ModuleReason(FileError fallback)
{
    const std::int32_t reason = library.lastError ? library.lastError() : 0;
    if (reason <= 0 || reason > static_cast<std::int32_t>(FileError::CannotWrite)) return fallback;
    return static_cast<FileError>(reason);
}

// Copies the metadata of the module's last decoding; a picture keeps none when there is no memory
// for it rather than failing to load.
void AdoptMetadata(Image& image)
{
    std::int32_t size = 0;
    const std::uint8_t* metadata = library.pictureMetadata(&size);
    try {
        if (metadata && size > 0) image.metadata.assign(metadata, metadata + size);
    } catch (const std::bad_alloc&) {
        image.metadata.clear();
    }
}

// Writes through one of the module's operations into a temporary file that replaces path on
// success, and only when path is a regular file or a new name.
template <typename Write>
FileError SaveThroughModule(const Image& image, const std::string& path, Write write)
{
    if (!image.loaded) return FileError::CannotWrite;
    if (const FileError refused = CheckWritableTarget(path); refused != FileError::None) return refused;
    // The temporary file is created first and stays open: the module writes it under a name that
    // reaches exactly this file (its short name, which it may need, exists only once the file does).
    TemporaryFile temporary;
    if (const FileError failed = CreateTemporaryBeside(path, temporary); failed != FileError::None) return failed;
    std::string argument;
    if (!ModulePathArgument(OpenFileName(temporary), argument)) {
        DiscardTemporary(temporary);
        return FileError::NameNotPassable;
    }
    if (write(argument.c_str()) == 0) {
        DiscardTemporary(temporary);
        return ModuleReason(FileError::CannotWrite);
    }
    return FinishTemporary(temporary, path);
}

bool LoadLocked(const std::string& path)
{
    FreeLocked();
    library.module = OpenModule(path);
    if (!library.module) return false;
    library.jpgToBmp = reinterpret_cast<JpgToBmpCall>(FindExport(library.module, "JpgToBmp"));
    library.pngToBmp = reinterpret_cast<PngToBmpCall>(FindExport(library.module, "PngToBmp"));
    library.bmpToPng = reinterpret_cast<BmpToPngCall>(FindExport(library.module, "BmpToPng"));
    library.lastError = reinterpret_cast<LastConversionErrorCall>(FindExport(library.module, "LastConversionError"));
    library.pictureToBmp = reinterpret_cast<PictureToBmpCall>(FindExport(library.module, "PictureToBmp"));
    library.pictureMetadata = reinterpret_cast<PictureMetadataCall>(FindExport(library.module, "PictureMetadata"));
    library.bmpToJpg = reinterpret_cast<BmpToJpgCall>(FindExport(library.module, "BmpToJpg"));
    library.bmpToPngWithMetadata = reinterpret_cast<BmpToPngWithMetadataCall>(FindExport(library.module, "BmpToPngWithMetadata"));
    if (!library.pictureMetadata) library.pictureToBmp = nullptr;  // the two go together
    if (library.jpgToBmp && library.pngToBmp && library.bmpToPng) return true;
    FreeLocked();
    return false;
}

void LoadOfferedLocked()
{
    if (!offeredPath.empty()) LoadLocked(std::exchange(offeredPath, std::string{}));
}

}  // namespace

bool LoadConverterLibrary(const std::string& path)
{
    std::lock_guard hold(libraryLock);
    offeredPath.clear();
    return LoadLocked(path);
}

void OfferConverterLibrary(const std::string& path)
{
    std::lock_guard hold(libraryLock);
    FreeLocked();
    offeredPath = path;
}

void FreeConverterLibrary()
{
    std::lock_guard hold(libraryLock);
    FreeLocked();
    offeredPath.clear();
}

bool ConverterLibraryLoaded()
{
    std::lock_guard hold(libraryLock);
    LoadOfferedLocked();
    return library.module != nullptr;
}

FileError AdoptConvertedBitmap(const std::uint8_t* block, std::int32_t size, Image& image)
{
    const FileError error = CheckedAdopt(block, size, image);
    if (error != FileError::None) ReleaseImage(image);
    return error;
}

FileError ConvertFileToImage(ConvertedKind kind, const std::string& path, bool keepOrientation, Image& image)
{
    ReleaseImage(image);
    std::lock_guard hold(libraryLock);
    LoadOfferedLocked();
    if (!library.module) return FileError::NeedsConverter;
    std::string argument;
    if (!ModulePathArgument(path, argument)) return FileError::NameNotPassable;
    // 1 asks JpgToBmp for the full size; PngToBmp ignores the value.
    std::int32_t size = 1;
    const std::uint8_t* block =
        library.pictureToBmp ? library.pictureToBmp(argument.c_str(), &size, keepOrientation ? zentileKeepOrientation : 0)
        : kind == ConvertedKind::Jpeg ? library.jpgToBmp(argument.c_str(), &size)
                                      : library.pngToBmp(argument.c_str(), &size);
    if (size == 0) return ModuleReason(FileError::ConverterRefused);
    // The block belongs to the module and lives only until its next call: copied under the lock.
    const FileError error = AdoptConvertedBitmap(block, size, image);
    if (error == FileError::None && library.pictureToBmp) AdoptMetadata(image);
    return error;
}

FileError SavePngFile(const Image& image, const std::string& path)
{
    std::lock_guard hold(libraryLock);
    LoadOfferedLocked();
    if (!library.module) return FileError::NeedsConverter;
    const auto* bitmap = reinterpret_cast<const std::uint8_t*>(image.header);
    const auto metadataSize = static_cast<std::int32_t>(image.metadata.size());
    return SaveThroughModule(image, path, [&](const char* file) {
        return library.bmpToPngWithMetadata ? library.bmpToPngWithMetadata(file, bitmap, pngLevel, image.metadata.data(), metadataSize)
                                            : library.bmpToPng(file, bitmap, pngLevel);
    });
}

FileError SaveJpegFile(const Image& image, const std::string& path, int quality)
{
    std::lock_guard hold(libraryLock);
    LoadOfferedLocked();
    if (!library.bmpToJpg) return FileError::NeedsConverter;
    if (image.loaded && (static_cast<std::uint32_t>(image.header->biWidth) > largestJpegSide ||
                         static_cast<std::uint32_t>(image.header->biHeight) > largestJpegSide))
        return FileError::TooLargeForJpeg;
    return SaveThroughModule(image, path, [&](const char* file) {
        return library.bmpToJpg(file, reinterpret_cast<const std::uint8_t*>(image.header), quality, image.metadata.data(),
                                static_cast<std::int32_t>(image.metadata.size()));
    });
}
