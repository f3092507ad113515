// The exported operations: file in, packed bitmap out, and back. Each operation keeps its last
// result until its next call, so the caller can copy it without freeing anything.
#include <cerrno>
#include <cstdio>
#include <new>

#include "zentile/codecs.h"
#include "zentile/packed_bitmap.h"
#include "zentile/zentile.h"

namespace {

std::vector<std::uint8_t> jpgResult;
std::vector<std::uint8_t> pngResult;
std::vector<std::uint8_t> pictureResult;
std::vector<std::uint8_t> metadataResult;
FileError lastError = FileError::None;

FileError ReadWholeFile(const char* path, std::vector<std::uint8_t>& bytes)
{
    if (!path) return FileError::NotFound;
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return FileErrorFromErrno(errno, false);
    FileError error = std::fseek(file, 0, SEEK_END) == 0 ? FileError::None : FileError::NotRegularFile;
    const long size = error == FileError::None ? std::ftell(file) : -1;
    if (size < 0 || std::fseek(file, 0, SEEK_SET) != 0) error = FileError::NotRegularFile;
    try {
        if (error == FileError::None) bytes.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        error = FileError::OutOfMemory;
    }
    if (error == FileError::None && std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) error = FileError::ReadFailed;
    std::fclose(file);
    return error;
}

const std::uint8_t* Finish(FileError error, std::vector<std::uint8_t>& result, std::int32_t* size)
{
    lastError = error;
    if (error != FileError::None) std::vector<std::uint8_t>().swap(result);
    *size = static_cast<std::int32_t>(result.size());
    return result.empty() ? nullptr : result.data();
}

// Writes a whole encoded file, noting why it could not be.
int WriteEncoded(const char* path, FileError encoded, const std::vector<std::uint8_t>& bytes)
{
    lastError = encoded != FileError::None ? encoded : FileError::CannotWrite;
    if (!path || encoded != FileError::None) return 0;
    std::FILE* file = std::fopen(path, "wb");
    if (!file) {
        lastError = FileErrorFromErrno(errno, true);
        return 0;
    }
    errno = 0;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = std::fflush(file) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    lastError = ok ? FileError::None : FileErrorFromErrno(errno, true);
    return ok ? 1 : 0;
}

std::size_t MetadataSize(const std::uint8_t* metadata, std::int32_t size)
{
    return metadata && size > 0 ? static_cast<std::size_t>(size) : 0;
}

}  // namespace

ZENTILE_EXPORT const std::uint8_t* JpgToBmp(const char* path, std::int32_t* size)
{
    if (!size) return nullptr;
    const int scale = *size;
    std::vector<std::uint8_t>().swap(jpgResult);  // the previous result goes before the next is made
    std::vector<std::uint8_t> file;
    FileError error = ReadWholeFile(path, file);
    if (error == FileError::None) error = DecodeJpeg(file.data(), file.size(), scale, largestPackedBitmap, jpgResult);
    return Finish(error, jpgResult, size);
}

ZENTILE_EXPORT const std::uint8_t* PngToBmp(const char* path, std::int32_t* size)
{
    if (!size) return nullptr;
    std::vector<std::uint8_t>().swap(pngResult);
    std::vector<std::uint8_t> file;
    FileError error = ReadWholeFile(path, file);
    if (error == FileError::None) error = DecodePng(file.data(), file.size(), largestPackedBitmap, pngResult);
    return Finish(error, pngResult, size);
}

ZENTILE_EXPORT int BmpToPng(const char* path, const std::uint8_t* bitmap, int level)
{
    return BmpToPngWithMetadata(path, bitmap, level, nullptr, 0);
}

ZENTILE_EXPORT std::int32_t LastConversionError()
{
    return static_cast<std::int32_t>(lastError);
}

ZENTILE_EXPORT const std::uint8_t* PictureToBmp(const char* path, std::int32_t* size, std::int32_t flags)
{
    if (!size) return nullptr;
    std::vector<std::uint8_t>().swap(pictureResult);
    std::vector<std::uint8_t>().swap(metadataResult);
    std::vector<std::uint8_t> file;
    FileError error = ReadWholeFile(path, file);
    try {
        if (error == FileError::None)
            error = DecodePicture(file.data(), file.size(), (flags & zentileKeepOrientation) != 0, largestPackedBitmap,
                                  pictureResult, metadataResult);
    } catch (const std::bad_alloc&) {
        error = FileError::OutOfMemory;
    }
    if (error != FileError::None) std::vector<std::uint8_t>().swap(metadataResult);
    return Finish(error, pictureResult, size);
}

ZENTILE_EXPORT const std::uint8_t* PictureMetadata(std::int32_t* size)
{
    if (!size) return nullptr;
    *size = static_cast<std::int32_t>(metadataResult.size());
    return metadataResult.empty() ? nullptr : metadataResult.data();
}

ZENTILE_EXPORT int BmpToJpg(const char* path, const std::uint8_t* bitmap, int quality, const std::uint8_t* metadata,
                            std::int32_t metadataSize)
{
    std::vector<std::uint8_t> jpeg;
    const FileError encoded = EncodeJpeg(bitmap, quality, metadata, MetadataSize(metadata, metadataSize), jpeg);
    return WriteEncoded(path, encoded, jpeg);
}

ZENTILE_EXPORT int BmpToPngWithMetadata(const char* path, const std::uint8_t* bitmap, int level, const std::uint8_t* metadata,
                                        std::int32_t metadataSize)
{
    std::vector<std::uint8_t> png;
    const FileError encoded = EncodePng(bitmap, level, 0, metadata, MetadataSize(metadata, metadataSize), png);
    return WriteEncoded(path, encoded, png);
}
