// The exported operations: file in, packed bitmap out, and back. Each operation keeps its last
// result until its next call, so the caller can copy it without freeing anything.
#include <cstdio>
#include <new>

#include "zentile/codecs.h"
#include "zentile/packed_bitmap.h"
#include "zentile/zentile.h"

namespace {

std::vector<std::uint8_t> jpgResult;
std::vector<std::uint8_t> pngResult;

bool ReadWholeFile(const char* path, std::vector<std::uint8_t>& bytes)
{
    std::FILE* file = path ? std::fopen(path, "rb") : nullptr;
    if (!file) return false;
    bool ok = std::fseek(file, 0, SEEK_END) == 0;
    const long size = ok ? std::ftell(file) : -1;
    ok = size >= 0 && std::fseek(file, 0, SEEK_SET) == 0;
    try {
        if (ok) bytes.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    if (ok) ok = std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
    std::fclose(file);
    return ok;
}

const std::uint8_t* Finish(bool decoded, std::vector<std::uint8_t>& result, std::int32_t* size)
{
    if (!decoded) std::vector<std::uint8_t>().swap(result);
    *size = static_cast<std::int32_t>(result.size());
    return result.empty() ? nullptr : result.data();
}

}  // namespace

ZENTILE_EXPORT const std::uint8_t* JpgToBmp(const char* path, std::int32_t* size)
{
    if (!size) return nullptr;
    const int scale = *size;
    std::vector<std::uint8_t>().swap(jpgResult);  // the previous result goes before the next is made
    std::vector<std::uint8_t> file;
    const bool decoded = ReadWholeFile(path, file) && DecodeJpeg(file.data(), file.size(), scale, largestPackedBitmap, jpgResult);
    return Finish(decoded, jpgResult, size);
}

ZENTILE_EXPORT const std::uint8_t* PngToBmp(const char* path, std::int32_t* size)
{
    if (!size) return nullptr;
    std::vector<std::uint8_t>().swap(pngResult);
    std::vector<std::uint8_t> file;
    const bool decoded = ReadWholeFile(path, file) && DecodePng(file.data(), file.size(), largestPackedBitmap, pngResult);
    return Finish(decoded, pngResult, size);
}

ZENTILE_EXPORT int BmpToPng(const char* path, const std::uint8_t* bitmap, int level)
{
    std::vector<std::uint8_t> png;
    if (!path || !EncodePng(bitmap, level, 0, png)) return 0;
    std::FILE* file = std::fopen(path, "wb");
    if (!file) return 0;
    bool ok = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    ok = std::fflush(file) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    return ok ? 1 : 0;
}
