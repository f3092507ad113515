#pragma once
#include <cstddef>
#include <cstdint>

// The CRC a PNG chunk ends with, over its type and data: tests that forge chunks need it right so
// that the decoder reaches the fault they are about.
inline std::uint32_t PngCrc(const std::uint8_t* data, std::size_t size)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}
