#pragma once
#include <cstdint>
#include <span>
#include <vector>

// The packer of the start-up picture: the inverse of UnpackSplashImage. Each stage's output is
// followed by its length, 4 bytes big-endian.

// LZSS over a 4096-byte window that starts zeroed with its write position at 4084: references of
// a 12-bit window position and a length of 3 to 18, eight items per flag byte (1 = literal).
std::vector<std::uint8_t> PackLzss(std::span<const std::uint8_t> data);

// Huffman coding: the tree in preorder (1 = inner node, left then right subtree; 0 = leaf, then
// its 8 bits), then each byte's code (0 = left, 1 = right), most significant bit first.
std::vector<std::uint8_t> PackHuffman(std::span<const std::uint8_t> data);

// Both stages: the block the program unpacks at start-up.
std::vector<std::uint8_t> PackSplashImage(std::span<const std::uint8_t> picture);

// The picture as the block holds it, from the bytes of a 24-bit uncompressed BMP file: the
// 40-byte header (image size 0, 2834 pixels per metre, no colour table), the rows as stored in the
// file, then two unused bytes. False when the file is not such a BMP.
bool SplashPictureFromBmp(std::span<const std::uint8_t> file, std::vector<std::uint8_t>& picture);
