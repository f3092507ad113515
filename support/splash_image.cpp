#include "support/splash_image.h"

#include <vector>

namespace {

// Reads bits most significant first. Past the end of the input it delivers zeros and notes the
// overrun, so that the caller can reject the block after the fact instead of at every bit.
struct BitReader {
    const std::uint8_t* input = nullptr;
    std::size_t size = 0;
    std::size_t position = 0;
    unsigned current = 0;
    int count = 0;  // bits of current not yet delivered
    bool overrun = false;
};

void LoadByte(BitReader& reader)
{
    if (reader.position < reader.size) {
        reader.current = reader.input[reader.position++];
    } else {
        reader.current = 0;
        reader.overrun = true;
    }
}

unsigned ReadBit(BitReader& reader)
{
    if (--reader.count < 0) {
        LoadByte(reader);
        reader.count = 7;
        return (reader.current >> 7) & 1;
    }
    return (reader.current >> reader.count) & 1;
}

unsigned ReadBits(BitReader& reader, int n)
{
    unsigned x = 0;
    while (n > reader.count) {
        n -= reader.count;
        x |= (reader.current & ((1u << reader.count) - 1)) << n;
        LoadByte(reader);
        reader.count = 8;
    }
    reader.count -= n;
    x |= (reader.current >> reader.count) & ((1u << n) - 1);
    return x;
}

// Node numbers below 256 are leaves standing for that byte; inner nodes are numbered from 256 in
// order of creation. 256 inner nodes are enough for any tree over byte values.
constexpr unsigned firstInner = 256;
constexpr unsigned nodeLimit = 512;

struct HuffmanTree {
    std::uint16_t left[nodeLimit] = {};
    std::uint16_t right[nodeLimit] = {};
    unsigned nextInner = firstInner;
};

// A 1 bit opens an inner node (left subtree, then right); a 0 bit is followed by a leaf's 8 bits.
// Each level of recursion creates an inner node, so the node limit also bounds the depth.
// Returns the node number, or -1 for a tree that is too large or runs past the input.
int ReadSubtree(BitReader& reader, HuffmanTree& tree)
{
    if (ReadBit(reader) == 0) {
        const unsigned leaf = ReadBits(reader, 8);
        return reader.overrun ? -1 : static_cast<int>(leaf);
    }
    if (reader.overrun || tree.nextInner >= nodeLimit) {
        return -1;
    }
    const unsigned node = tree.nextInner++;
    const int left = ReadSubtree(reader, tree);
    if (left < 0) {
        return -1;
    }
    const int right = ReadSubtree(reader, tree);
    if (right < 0) {
        return -1;
    }
    tree.left[node] = static_cast<std::uint16_t>(left);
    tree.right[node] = static_cast<std::uint16_t>(right);
    return static_cast<int>(node);
}

std::uint32_t BigEndianLength(const std::uint8_t* bytes)
{
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 | std::uint32_t{bytes[2]} << 8 | bytes[3];
}

// Decodes size bytes into output; false when the codes run past the input.
bool DecodeHuffman(const std::uint8_t* input, std::size_t inputSize, std::uint8_t* output, std::size_t size)
{
    BitReader reader{input, inputSize};
    HuffmanTree tree;
    const int root = ReadSubtree(reader, tree);
    if (root < 0) {
        return false;
    }
    // An inner root spends at least one bit per byte: a larger size cannot be in the input.
    if (root >= static_cast<int>(firstInner) && size / 8 > inputSize) {
        return false;
    }
    for (std::size_t i = 0; i < size; ++i) {
        unsigned node = static_cast<unsigned>(root);
        while (node >= firstInner) {
            node = ReadBit(reader) ? tree.right[node] : tree.left[node];
        }
        output[i] = static_cast<std::uint8_t>(node);
    }
    return !reader.overrun;
}

constexpr unsigned windowSize = 4096;
constexpr unsigned windowStart = 4084;
constexpr unsigned minimumMatch = 3;

// Each flag byte announces eight items, least significant bit first: 1 a literal byte, 0 a
// reference of two bytes to a run of 3 to 18 earlier bytes in the window. Decoding stops when the
// input ends, wherever that is, and never emits more than outputSize bytes.
std::size_t DecodeLzss(const std::uint8_t* input, std::size_t inputSize, std::uint8_t* output, std::size_t outputSize)
{
    std::uint8_t window[windowSize] = {};
    unsigned write = windowStart;
    unsigned flags = 0;
    std::size_t in = 0;
    std::size_t out = 0;
    for (;;) {
        flags >>= 1;
        if ((flags & 0x100) == 0) {
            if (in >= inputSize) {
                break;
            }
            flags = input[in++] | 0xFF00u;
        }
        if (flags & 1) {
            if (in >= inputSize || out >= outputSize) {
                break;
            }
            const std::uint8_t c = input[in++];
            output[out++] = c;
            window[write] = c;
            write = (write + 1) % windowSize;
            continue;
        }
        if (inputSize - in < 2) {
            break;
        }
        const unsigned b0 = input[in++];
        const unsigned b1 = input[in++];
        const unsigned position = b0 | ((b1 & 0xF0) << 4);
        const unsigned length = (b1 & 0x0F) + minimumMatch;
        // Byte by byte, so that a run overlapping the write position repeats what it just wrote.
        for (unsigned k = 0; k < length; ++k) {
            if (out >= outputSize) {
                return out;
            }
            const std::uint8_t c = window[(position + k) % windowSize];
            output[out++] = c;
            window[write] = c;
            write = (write + 1) % windowSize;
        }
    }
    return out;
}

}  // namespace

std::size_t UnpackSplashImage(const std::uint8_t* block, std::size_t blockLength,
                              std::unique_ptr<std::uint8_t[]>& picture)
{
    picture.reset();
    if (block == nullptr || blockLength < 4) {
        return 0;
    }
    const std::size_t bitsSize = blockLength - 4;
    const std::uint32_t huffmanSize = BigEndianLength(block + bitsSize);
    if (huffmanSize < 4 || huffmanSize > splashUnpackLimit) {
        return 0;
    }
    std::vector<std::uint8_t> huffmanOutput(huffmanSize);
    if (!DecodeHuffman(block, bitsSize, huffmanOutput.data(), huffmanSize)) {
        return 0;
    }

    const std::size_t lzssSize = huffmanSize - 4;
    const std::uint32_t pictureSize = BigEndianLength(huffmanOutput.data() + lzssSize);
    // Two input bytes make at most 18 output bytes, so no stream yields more than 9 per byte.
    if (pictureSize == 0 || pictureSize > splashUnpackLimit || pictureSize / 9 > lzssSize) {
        return 0;
    }
    picture = std::make_unique<std::uint8_t[]>(pictureSize);
    const std::size_t produced = DecodeLzss(huffmanOutput.data(), lzssSize, picture.get(), pictureSize);
    if (produced == 0) {
        picture.reset();
    }
    return produced;
}
