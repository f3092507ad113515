#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

// The start-up picture is kept in the program as one constant block packed in two stages:
// an LZSS stage (4096-byte window, zeroed, writing from position 4084; references of 12-bit
// window positions and lengths 3 to 18) whose output is Huffman-coded. Each stage's output is
// followed by its length as 4 bytes, big-endian:
//
//   block:           Huffman bits (tree, then codes, most significant bit first) | H
//   Huffman output:  LZSS stream (flag byte, then 8 literals or references)      | L
//   LZSS output:     the picture, L bytes: a 40-byte header directly followed by the pixel rows
//
// tools/ holds the encoder that produces the block from resources/splash.bmp.

// The block built from resources/splash_block.bin.
extern const unsigned char splashBlock[];
extern const std::size_t splashBlockSize;

// Neither stage may produce more than this many bytes: far above any start-up picture, and low
// enough that a damaged length never makes the program allocate much.
inline constexpr std::uint32_t splashUnpackLimit = 1u << 20;

// Unpacks a block into picture, a buffer of L bytes (zero beyond what the stream fills; the
// header, when there is one, at its start and suitably aligned). Returns the number of bytes the
// LZSS stream produced; 0, with picture empty, when the block is damaged: lengths that do not fit
// the data or the limit, a tree that is incomplete or too large, codes running past the block's
// end. Any input is read safely.
std::size_t UnpackSplashImage(const std::uint8_t* block, std::size_t blockLength,
                              std::unique_ptr<std::uint8_t[]>& picture);
