#include "zentile/picture_metadata.h"

#include <algorithm>
#include <cstring>

#include <zlib.h>

namespace {

std::uint32_t Be16(const std::uint8_t* at) { return std::uint32_t{at[0]} << 8 | at[1]; }
std::uint32_t Be32(const std::uint8_t* at) { return std::uint32_t{at[0]} << 24 | at[1] << 16 | at[2] << 8 | at[3]; }

bool IsTiffHeader(const std::uint8_t* data, std::size_t size)
{
    return size >= 8 && (std::memcmp(data, "II*\0", 4) == 0 || std::memcmp(data, "MM\0*", 4) == 0);
}

bool HasRecord(const std::vector<std::uint8_t>& metadata, const char type[4])
{
    const std::uint8_t* data = nullptr;
    std::size_t length = 0;
    return FindRecord(metadata.data(), metadata.size(), type, data, length);
}

// An ICC profile is stored in numbered parts of at most 64 KiB: part n of count in one APP2 each.
struct ProfileParts {
    const std::uint8_t* part[256] = {};
    std::size_t length[256] = {};
    int count = 0;
    bool broken = false;
};

void AddProfilePart(const std::uint8_t* segment, std::size_t size, ProfileParts& parts)
{
    const int number = segment[12], count = segment[13];
    if (number == 0 || number > count || (parts.count != 0 && parts.count != count) || parts.part[number]) {
        parts.broken = true;
        return;
    }
    parts.count = count;
    parts.part[number] = segment + 14;
    parts.length[number] = size - 14;
}

void AddProfile(const ProfileParts& parts, std::vector<std::uint8_t>& metadata)
{
    if (parts.broken || parts.count == 0) return;
    std::vector<std::uint8_t> profile;
    for (int n = 1; n <= parts.count; ++n) {
        if (!parts.part[n]) return;
        profile.insert(profile.end(), parts.part[n], parts.part[n] + parts.length[n]);
    }
    if (profile.size() <= largestProfile && IsRgbProfile(profile.data(), profile.size()))
        AddRecord(metadata, "iCCP", profile.data(), profile.size());
}

// A zlib stream that must unpack whole into at most limit bytes.
bool Inflate(const std::uint8_t* data, std::size_t size, std::size_t limit, std::vector<std::uint8_t>& out)
{
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) return false;
    stream.next_in = const_cast<Bytef*>(data);
    stream.avail_in = static_cast<uInt>(size);
    int result = Z_OK;
    while (result == Z_OK) {
        if (out.size() >= limit) break;
        const std::size_t before = out.size();
        out.resize(before + 65536);
        stream.next_out = out.data() + before;
        stream.avail_out = 65536;
        result = inflate(&stream, Z_NO_FLUSH);
        out.resize(before + 65536 - stream.avail_out);
    }
    inflateEnd(&stream);
    return result == Z_STREAM_END && out.size() <= limit;
}

// iCCP: a name of 1 to 79 bytes, its terminating zero, the compression method 0, the profile.
void AddPngProfile(const std::uint8_t* body, std::size_t size, std::size_t limit, std::vector<std::uint8_t>& metadata)
{
    const void* end = std::memchr(body, 0, size < 81 ? size : 81);
    if (!end) return;
    const std::size_t nameLength = static_cast<std::size_t>(static_cast<const std::uint8_t*>(end) - body);
    if (nameLength == 0 || nameLength > 79 || nameLength + 2 > size || body[nameLength + 1] != 0) return;
    std::vector<std::uint8_t> profile;
    if (Inflate(body + nameLength + 2, size - nameLength - 2, limit, profile) &&
        IsRgbProfile(profile.data(), profile.size()))
        AddRecord(metadata, "iCCP", profile.data(), profile.size());
}

// PNG's colour chunks within their ranges: one of the four rendering intents; a gamma above 0 as
// a PNG integer (at most 2^31 - 1); chromaticities x and y within 0 ... 1 (times 100,000), the
// white point's y above 0.
bool ValidSrgb(const std::uint8_t* body, std::size_t)
{
    return body[0] <= 3;
}
bool ValidGamma(const std::uint8_t* body, std::size_t)
{
    return Be32(body) > 0 && Be32(body) <= 0x7FFFFFFF;
}
bool ValidChromaticities(const std::uint8_t* body, std::size_t)
{
    for (int i = 0; i < 8; ++i)
        if (Be32(body + 4 * i) > 100000) return false;
    return Be32(body + 4) > 0;
}

}  // namespace

std::size_t LargestProfileFrom(std::size_t fileSize)
{
    return std::min(largestProfile, std::max<std::size_t>(fileSize, 1u << 20));
}

bool IsRgbProfile(const std::uint8_t* profile, std::size_t size)
{
    return size >= 132 && Be32(profile) == size && std::memcmp(profile + 16, "RGB ", 4) == 0 &&
           std::memcmp(profile + 36, "acsp", 4) == 0 && std::uint64_t{Be32(profile + 128)} * 12 <= size - 132;
}

void AddRecord(std::vector<std::uint8_t>& metadata, const char type[4], const std::uint8_t* data, std::size_t size)
{
    const std::uint32_t length = static_cast<std::uint32_t>(size);
    const std::uint8_t header[8] = {static_cast<std::uint8_t>(type[0]), static_cast<std::uint8_t>(type[1]),
                                    static_cast<std::uint8_t>(type[2]), static_cast<std::uint8_t>(type[3]),
                                    static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
                                    static_cast<std::uint8_t>(length >> 16), static_cast<std::uint8_t>(length >> 24)};
    metadata.insert(metadata.end(), header, header + 8);
    if (size) metadata.insert(metadata.end(), data, data + size);
}

bool FindRecord(const std::uint8_t* metadata, std::size_t size, const char type[4], const std::uint8_t*& data, std::size_t& length)
{
    std::size_t at = 0;
    while (metadata && size - at >= 8) {
        const std::uint8_t* record = metadata + at;
        const std::size_t recordLength = record[4] | record[5] << 8 | record[6] << 16 | std::uint32_t{record[7]} << 24;
        if (recordLength > size - at - 8) return false;
        if (std::memcmp(record, type, 4) == 0) {
            data = record + 8;
            length = recordLength;
            return true;
        }
        at += 8 + recordLength;
    }
    return false;
}

std::vector<std::uint8_t> ReadJpegMetadata(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::uint8_t> metadata;
    ProfileParts parts;
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) return metadata;
    std::size_t at = 2;
    while (size - at >= 4 && data[at] == 0xFF) {
        const std::uint8_t marker = data[at + 1];
        if (marker == 0xFF) {  // fill byte before a marker
            ++at;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) break;  // the compressed data starts: no metadata after it
        if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
            at += 2;
            continue;
        }
        const std::size_t length = Be16(data + at + 2);
        if (length < 2 || length > size - at - 2) break;
        const std::uint8_t* segment = data + at + 4;
        const std::size_t segmentSize = length - 2;
        if (marker == 0xE1 && segmentSize >= 6 && std::memcmp(segment, "Exif\0\0", 6) == 0 && !HasRecord(metadata, "eXIf") &&
            IsTiffHeader(segment + 6, segmentSize - 6))
            AddRecord(metadata, "eXIf", segment + 6, segmentSize - 6);
        if (marker == 0xE2 && segmentSize > 14 && std::memcmp(segment, "ICC_PROFILE\0", 12) == 0)
            AddProfilePart(segment, segmentSize, parts);
        at += 2 + length;
    }
    AddProfile(parts, metadata);
    return metadata;
}

std::vector<std::uint8_t> ReadPngMetadata(const std::uint8_t* data, std::size_t size)
{
    static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> metadata;
    if (size < 8 || std::memcmp(data, signature, 8) != 0) return metadata;
    struct Kept {
        const char* type;
        std::size_t length;  // 0: any
        bool (*valid)(const std::uint8_t* body, std::size_t length);
    };
    static const Kept kept[] = {
        {"sRGB", 1, ValidSrgb}, {"gAMA", 4, ValidGamma}, {"cHRM", 32, ValidChromaticities}, {"eXIf", 0, IsTiffHeader}};
    std::size_t at = 8;
    while (size - at >= 12) {
        const std::size_t length = Be32(data + at);
        if (length > 0x7FFFFFFF || length > size - at - 12) break;
        const std::uint8_t* type = data + at + 4;
        const std::uint8_t* body = data + at + 8;
        if (std::memcmp(type, "IEND", 4) == 0) break;
        const bool intact = crc32(0, type, static_cast<uInt>(length + 4)) == Be32(body + length);
        const char* name = reinterpret_cast<const char*>(type);
        if (intact && std::memcmp(name, "iCCP", 4) == 0 && !HasRecord(metadata, "iCCP"))
            AddPngProfile(body, length, LargestProfileFrom(size), metadata);
        for (const Kept& chunk : kept)
            if (intact && std::memcmp(name, chunk.type, 4) == 0 && !HasRecord(metadata, chunk.type) &&
                (chunk.length == 0 || length == chunk.length) && chunk.valid(body, length))
                AddRecord(metadata, chunk.type, body, length);
        at += 12 + length;
    }
    return metadata;
}
