#include "tools/splash_encoder.h"

#include <cstring>
#include <queue>
#include <string>

#include "imagefile/bitmap_header.h"

namespace {

constexpr std::size_t windowSize = 4096;
constexpr std::size_t windowStart = 4084;
constexpr std::size_t minimumMatch = 3;
constexpr std::size_t maximumMatch = 18;

void AppendLength(std::vector<std::uint8_t>& out, std::size_t length)
{
    const auto n = static_cast<std::uint32_t>(length);
    out.insert(out.end(), {static_cast<std::uint8_t>(n >> 24), static_cast<std::uint8_t>(n >> 16),
                           static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)});
}

struct Match {
    std::size_t source = 0;  // in text coordinates
    std::size_t length = 0;
};

}  // namespace

std::vector<std::uint8_t> PackLzss(std::span<const std::uint8_t> data)
{
    // The decoder's window starts as 4096 zeros. Matching over a text that begins with those zeros
    // lets early runs refer to them too; text position t lives at window position (t + 4084) mod
    // 4096, and a source at most 4096 bytes back is still in the window when it is read.
    std::vector<std::uint8_t> text(windowSize, 0);
    text.insert(text.end(), data.begin(), data.end());
    const std::size_t end = text.size();

    constexpr std::size_t hashSize = 1u << 16;
    constexpr std::size_t none = SIZE_MAX;
    std::vector<std::size_t> head(hashSize, none);
    std::vector<std::size_t> previous(end, none);
    auto hash = [&](std::size_t t) { return (text[t] << 8 ^ text[t + 1] << 4 ^ text[t + 2]) % hashSize; };
    auto insert = [&](std::size_t t) {
        if (t + minimumMatch <= end) {
            const std::size_t h = hash(t);
            previous[t] = head[h];
            head[h] = t;
        }
    };
    auto longest = [&](std::size_t t) {
        Match best;
        if (t + minimumMatch > end) {
            return best;
        }
        const std::size_t limit = std::min(maximumMatch, end - t);
        for (std::size_t s = head[hash(t)]; s != none && t - s <= windowSize; s = previous[s]) {
            std::size_t n = 0;
            while (n < limit && text[s + n] == text[t + n]) {
                ++n;
            }
            if (n > best.length) {
                best = {s, n};
                if (n == limit) {
                    break;
                }
            }
        }
        return best;
    };

    for (std::size_t t = 0; t < windowSize; ++t) {
        insert(t);
    }
    std::vector<std::uint8_t> out;
    std::size_t flagAt = 0;
    int items = 8;
    for (std::size_t t = windowSize; t < end;) {
        if (items == 8) {
            flagAt = out.size();
            out.push_back(0);
            items = 0;
        }
        const Match match = longest(t);
        std::size_t advance = 1;
        if (match.length >= minimumMatch) {
            const std::size_t position = (match.source + windowStart) % windowSize;
            out.push_back(static_cast<std::uint8_t>(position & 0xFF));
            out.push_back(static_cast<std::uint8_t>((position >> 4 & 0xF0) | (match.length - minimumMatch)));
            advance = match.length;
        } else {
            out[flagAt] |= static_cast<std::uint8_t>(1u << items);
            out.push_back(text[t]);
        }
        ++items;
        for (std::size_t k = 0; k < advance; ++k) {
            insert(t + k);
        }
        t += advance;
    }
    AppendLength(out, data.size());
    return out;
}

namespace {

struct HuffmanNode {
    std::uint64_t weight = 0;
    int left = -1;  // children; both -1 for a leaf
    int right = -1;
    std::uint8_t symbol = 0;
};

struct BitWriter {
    std::vector<std::uint8_t> bytes;
    int used = 8;  // bits used in the last byte
};

void WriteBit(BitWriter& writer, unsigned bit)
{
    if (writer.used == 8) {
        writer.bytes.push_back(0);
        writer.used = 0;
    }
    if (bit) {
        writer.bytes.back() |= static_cast<std::uint8_t>(0x80u >> writer.used);
    }
    ++writer.used;
}

void WriteTree(const std::vector<HuffmanNode>& nodes, int node, std::string& path,
               std::vector<std::string>& codes, BitWriter& writer)
{
    const HuffmanNode& n = nodes[static_cast<std::size_t>(node)];
    if (n.left < 0) {
        WriteBit(writer, 0);
        for (int b = 7; b >= 0; --b) {
            WriteBit(writer, n.symbol >> b & 1);
        }
        codes[n.symbol] = path;
        return;
    }
    WriteBit(writer, 1);
    path.push_back('0');
    WriteTree(nodes, n.left, path, codes, writer);
    path.back() = '1';
    WriteTree(nodes, n.right, path, codes, writer);
    path.pop_back();
}

// The tree of the byte weights; ties are broken by creation order, so the output is the same
// with every standard library.
int BuildTree(std::span<const std::uint8_t> data, std::vector<HuffmanNode>& nodes)
{
    std::uint64_t weights[256] = {};
    for (std::uint8_t c : data) {
        ++weights[c];
    }
    using Entry = std::pair<std::uint64_t, int>;  // weight, node
    std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> queue;
    for (int c = 0; c < 256; ++c) {
        if (weights[c] > 0) {
            nodes.push_back({weights[c], -1, -1, static_cast<std::uint8_t>(c)});
            queue.push({weights[c], static_cast<int>(nodes.size() - 1)});
        }
    }
    if (queue.empty()) {
        nodes.push_back({0, -1, -1, 0});
        return 0;
    }
    while (queue.size() > 1) {
        const Entry a = queue.top();
        queue.pop();
        const Entry b = queue.top();
        queue.pop();
        nodes.push_back({a.first + b.first, a.second, b.second, 0});
        queue.push({a.first + b.first, static_cast<int>(nodes.size() - 1)});
    }
    return queue.top().second;
}

}  // namespace

std::vector<std::uint8_t> PackHuffman(std::span<const std::uint8_t> data)
{
    std::vector<HuffmanNode> nodes;
    const int root = BuildTree(data, nodes);
    BitWriter writer;
    std::vector<std::string> codes(256);
    std::string path;
    WriteTree(nodes, root, path, codes, writer);
    for (std::uint8_t c : data) {
        for (char bit : codes[c]) {
            WriteBit(writer, bit == '1');
        }
    }
    AppendLength(writer.bytes, data.size());
    return writer.bytes;
}

std::vector<std::uint8_t> PackSplashImage(std::span<const std::uint8_t> picture)
{
    const std::vector<std::uint8_t> lzss = PackLzss(picture);
    return PackHuffman(lzss);
}

bool SplashPictureFromBmp(std::span<const std::uint8_t> file, std::vector<std::uint8_t>& picture)
{
    constexpr std::size_t fileHeaderSize = 14;
    if (file.size() < fileHeaderSize + sizeof(BitmapInfoHeader) || file[0] != 'B' || file[1] != 'M') {
        return false;
    }
    std::uint32_t pixelOffset = 0;
    std::memcpy(&pixelOffset, file.data() + 10, 4);
    BitmapInfoHeader header;
    std::memcpy(&header, file.data() + fileHeaderSize, sizeof header);
    if (header.biSize != 40 || header.biPlanes != 1 || header.biBitCount != 24 || header.biCompression != 0 ||
        header.biWidth <= 0 || header.biHeight <= 0 || header.biWidth > 4096 || header.biHeight > 4096) {
        return false;
    }
    const auto pixelBytes = static_cast<std::size_t>(RowStride(header.biWidth)) * static_cast<std::size_t>(header.biHeight);
    if (pixelOffset < fileHeaderSize + sizeof header || pixelOffset > file.size() || file.size() - pixelOffset < pixelBytes) {
        return false;
    }
    header.biSizeImage = 0;
    header.biXPelsPerMeter = 2834;
    header.biYPelsPerMeter = 2834;
    header.biClrUsed = 0;
    header.biClrImportant = 0;
    picture.resize(sizeof header);
    std::memcpy(picture.data(), &header, sizeof header);
    picture.insert(picture.end(), file.begin() + pixelOffset, file.begin() + pixelOffset + static_cast<std::ptrdiff_t>(pixelBytes));
    picture.insert(picture.end(), 2, 0);  // two unused bytes end the block's picture
    return true;
}
