#include "zentile/exif_orientation.h"

#include <cstring>

namespace {

constexpr std::uint16_t orientationTag = 274;
constexpr std::uint16_t shortType = 3;

struct OrientationEntry {
    bool bigEndian = false;
    std::size_t value = 0;     // offset of the tag's 16-bit value
    std::size_t nextLink = 0;  // offset of IFD0's link to the next directory
};

std::uint32_t Read(const std::uint8_t* at, int bytes, bool bigEndian)
{
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= std::uint32_t{at[bigEndian ? i : bytes - 1 - i]} << (8 * (bytes - 1 - i));
    return value;
}

void Write(std::uint8_t* at, int bytes, bool bigEndian, std::uint32_t value)
{
    for (int i = 0; i < bytes; ++i) at[bigEndian ? bytes - 1 - i : i] = static_cast<std::uint8_t>(value >> (8 * i));
}

bool FindOrientation(const std::uint8_t* exif, std::size_t size, OrientationEntry& found)
{
    if (!exif || size < 8) return false;
    if (std::memcmp(exif, "II*\0", 4) == 0) found.bigEndian = false;
    else if (std::memcmp(exif, "MM\0*", 4) == 0) found.bigEndian = true;
    else return false;
    const std::uint32_t directory = Read(exif + 4, 4, found.bigEndian);
    if (directory < 8 || directory > size - 2) return false;
    const std::uint32_t entries = Read(exif + directory, 2, found.bigEndian);
    if (entries * 12 + 4 > size - directory - 2) return false;
    found.nextLink = directory + 2 + entries * 12;
    for (std::uint32_t i = 0; i < entries; ++i) {
        const std::uint8_t* entry = exif + directory + 2 + i * 12;
        if (Read(entry, 2, found.bigEndian) != orientationTag) continue;
        if (Read(entry + 2, 2, found.bigEndian) != shortType || Read(entry + 4, 4, found.bigEndian) != 1) return false;
        found.value = directory + 2 + i * 12 + 8;
        const std::uint32_t value = Read(exif + found.value, 2, found.bigEndian);
        return value >= 1 && value <= 8;
    }
    return false;
}

}  // namespace

int ExifOrientation(const std::uint8_t* exif, std::size_t size)
{
    OrientationEntry found;
    if (!FindOrientation(exif, size, found)) return 0;
    return static_cast<int>(Read(exif + found.value, 2, found.bigEndian));
}

bool MarkExifUpright(std::uint8_t* exif, std::size_t size)
{
    OrientationEntry found;
    if (!FindOrientation(exif, size, found)) return false;
    Write(exif + found.value, 2, found.bigEndian, 1);
    Write(exif + found.nextLink, 4, found.bigEndian, 0);
    return true;
}
