// PNG writing of our own on zlib, the same bytes in every build. Tuned for photographs, measured
// in bench/README.md: each row takes the filter whose residues are smallest, and the residues are
// compressed with zlib's run-length strategy, which on photographs gives smaller files than full
// LZ77 searching at a fraction of its time (the residues of grain and noise rarely repeat). The
// picture is cut into horizontal bands compressed at once on the cores; each band but the last ends
// on a byte boundary (a sync flush), so the bands joined form one zlib stream, checked by one
// Adler-32 combined from the bands'.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <system_error>
#include <thread>

#include <zlib.h>

#include "zentile/codecs.h"
#include "zentile/packed_bitmap.h"
#include "zentile/picture_metadata.h"

namespace {

// Most bytes one chunk's data may hold by the format is 2^31 - 1; IDAT data goes in pieces well
// below that.
constexpr std::size_t largestIdat = 1u << 30;

// Bands smaller than this are not worth a thread; larger than this, a band's length would not
// fit zlib's offsets in a 32-bit build.
constexpr std::uint64_t smallestBandBytes = 1u << 18;
constexpr std::uint64_t largestBandBytes = 1u << 30;

struct Band {
    std::uint32_t top = 0, rows = 0;
    std::vector<std::uint8_t> deflated;
    std::uint32_t adler = 1;
    bool done = false;
};

void PutBe32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                                   static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
    out.insert(out.end(), bytes, bytes + 4);
}

void PutChunk(std::vector<std::uint8_t>& out, const char type[4], const std::uint8_t* data, std::size_t size)
{
    PutBe32(out, static_cast<std::uint32_t>(size));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    if (size) out.insert(out.end(), data, data + size);
    PutBe32(out, static_cast<std::uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(size + 4))));
}

// The top-down row y of the bitmap in red, green, blue order.
void RgbRow(const std::uint8_t* bitmap, std::uint32_t width, std::uint32_t height, std::uint32_t y, std::uint8_t* rgb)
{
    const std::uint8_t* bgr = bitmap + 40 + (height - 1 - y) * PackedStride(width);
    for (std::uint32_t x = 0; x < width; ++x, bgr += 3, rgb += 3) {
        rgb[0] = bgr[2];
        rgb[1] = bgr[1];
        rgb[2] = bgr[0];
    }
}

std::uint8_t Paeth(int left, int up, int upLeft)
{
    const int estimate = left + up - upLeft;
    const int toLeft = std::abs(estimate - left), toUp = std::abs(estimate - up), toUpLeft = std::abs(estimate - upLeft);
    if (toLeft <= toUp && toLeft <= toUpLeft) return static_cast<std::uint8_t>(left);
    return static_cast<std::uint8_t>(toUp <= toUpLeft ? up : upLeft);
}

// Residues as signed bytes summed by size: the usual measure of how well a filter predicted.
std::uint64_t Cost(const std::uint8_t* residues, std::size_t count)
{
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum += static_cast<std::uint64_t>(std::abs(static_cast<std::int8_t>(residues[i])));
    return sum;
}

// Writes the filter type byte and the residues of the best of the five filters into out
// (1 + count bytes); candidates holds 5 x count bytes of scratch. up is all zero on the first row.
void FilterRow(const std::uint8_t* row, const std::uint8_t* up, std::size_t count, std::uint8_t* candidates, std::uint8_t* out)
{
    std::uint8_t* filtered[5];
    for (int f = 0; f < 5; ++f) filtered[f] = candidates + f * count;
    for (std::size_t i = 0; i < count; ++i) {
        const int left = i >= 3 ? row[i - 3] : 0;
        const int upLeft = i >= 3 ? up[i - 3] : 0;
        filtered[0][i] = row[i];
        filtered[1][i] = static_cast<std::uint8_t>(row[i] - left);
        filtered[2][i] = static_cast<std::uint8_t>(row[i] - up[i]);
        filtered[3][i] = static_cast<std::uint8_t>(row[i] - ((left + up[i]) >> 1));
        filtered[4][i] = static_cast<std::uint8_t>(row[i] - Paeth(left, up[i], upLeft));
    }
    int best = 0;
    std::uint64_t bestCost = Cost(filtered[0], count);
    for (int f = 1; f < 5; ++f) {
        const std::uint64_t cost = Cost(filtered[f], count);
        if (cost < bestCost) {
            best = f;
            bestCost = cost;
        }
    }
    out[0] = static_cast<std::uint8_t>(best);
    std::memcpy(out + 1, filtered[best], count);
}

bool Deflate(z_stream& stream, const std::uint8_t* data, std::size_t size, int flush, std::vector<std::uint8_t>& out)
{
    stream.next_in = const_cast<Bytef*>(data);
    stream.avail_in = static_cast<uInt>(size);
    do {
        if (out.size() - stream.total_out < 1u << 16) out.resize(out.size() + std::max<std::size_t>(1u << 16, out.size() / 2));
        stream.next_out = out.data() + stream.total_out;
        stream.avail_out = static_cast<uInt>(std::min<std::size_t>(out.size() - stream.total_out, 1u << 30));
        const int result = deflate(&stream, flush);
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) return false;
    } while (stream.avail_in > 0 || stream.avail_out == 0);
    return true;
}

// Filters and compresses one band's rows: a raw deflate stream ending on a byte boundary, or
// with the final block when last.
bool CompressBand(const std::uint8_t* bitmap, std::uint32_t width, std::uint32_t height, int level, bool last, Band& band)
{
    const std::size_t count = std::size_t{width} * 3;
    std::vector<std::uint8_t> rows(2 * count), candidates(5 * count), filtered(1 + count);
    std::uint8_t* row = rows.data();
    std::uint8_t* up = rows.data() + count;
    if (band.top > 0) RgbRow(bitmap, width, height, band.top - 1, up);
    z_stream stream{};
    // Level 0 stores; any other level compresses runs only (see the top of this file). The largest
    // memory level gives blocks of twice as many symbols: fewer code tables, smaller files.
    if (deflateInit2(&stream, std::clamp(level, 0, 9), Z_DEFLATED, -15, MAX_MEM_LEVEL, level == 0 ? Z_DEFAULT_STRATEGY : Z_RLE) != Z_OK)
        return false;
    bool ok = true;
    for (std::uint32_t y = band.top; ok && y < band.top + band.rows; ++y) {
        RgbRow(bitmap, width, height, y, row);
        FilterRow(row, up, count, candidates.data(), filtered.data());
        band.adler = static_cast<std::uint32_t>(adler32(band.adler, filtered.data(), static_cast<uInt>(filtered.size())));
        ok = Deflate(stream, filtered.data(), filtered.size(), Z_NO_FLUSH, band.deflated);
        std::swap(row, up);
    }
    ok = ok && Deflate(stream, nullptr, 0, last ? Z_FINISH : Z_SYNC_FLUSH, band.deflated);
    band.deflated.resize(stream.total_out);
    deflateEnd(&stream);
    return ok;
}

void RunBand(const std::uint8_t* bitmap, std::uint32_t width, std::uint32_t height, int level, bool last, Band& band)
{
    try {
        band.done = CompressBand(bitmap, width, height, level, last, band);
    } catch (const std::bad_alloc&) {
        band.done = false;
    }
}

// Compresses the bands, all but the first on threads of their own (on the calling thread when
// no thread can be had), and joins them into one zlib stream.
bool CompressBands(const std::uint8_t* bitmap, std::uint32_t width, std::uint32_t height, int level, std::vector<Band>& bands,
                   std::vector<std::uint8_t>& zlib)
{
    std::vector<std::thread> helpers;
    for (std::size_t b = 1; b < bands.size(); ++b) {
        const bool last = b + 1 == bands.size();
        try {
            helpers.emplace_back(RunBand, bitmap, width, height, level, last, std::ref(bands[b]));
        } catch (...) {  // std::system_error, or no memory for the thread's state
            RunBand(bitmap, width, height, level, last, bands[b]);
        }
    }
    RunBand(bitmap, width, height, level, bands.size() == 1, bands[0]);
    for (std::thread& helper : helpers) helper.join();

    zlib = {0x78, 0x01};  // deflate with a 32 KiB window; the check bits make 0x7801 a multiple of 31
    std::uint32_t adler = 1;
    const std::uint64_t rowBytes = std::uint64_t{width} * 3 + 1;
    for (Band& band : bands) {
        if (!band.done) return false;
        zlib.insert(zlib.end(), band.deflated.begin(), band.deflated.end());
        std::vector<std::uint8_t>().swap(band.deflated);
        adler = static_cast<std::uint32_t>(adler32_combine(adler, band.adler, static_cast<z_off_t>(rowBytes * band.rows)));
    }
    PutBe32(zlib, adler);
    return true;
}

std::vector<Band> CutBands(std::uint32_t width, std::uint32_t height, int wanted)
{
    const std::uint64_t rowBytes = std::uint64_t{width} * 3 + 1;
    std::uint64_t count = wanted > 0 ? static_cast<std::uint64_t>(wanted) : std::max(1u, std::thread::hardware_concurrency());
    if (wanted <= 0) count = std::min<std::uint64_t>(count, std::max<std::uint64_t>(1, rowBytes * height / smallestBandBytes));
    count = std::max<std::uint64_t>(count, rowBytes * height / largestBandBytes + 1);
    count = std::min<std::uint64_t>(count, height);
    std::vector<Band> bands(static_cast<std::size_t>(count));
    for (std::uint64_t b = 0; b < count; ++b) {
        bands[b].top = static_cast<std::uint32_t>(height * b / count);
        bands[b].rows = static_cast<std::uint32_t>(height * (b + 1) / count) - bands[b].top;
    }
    return bands;
}

// The colour chunks and the EXIF data, before the pixels. A profile (an RGB one: no other describes
// the result) makes an sRGB chunk beside it a contradiction the format forbids, so the profile wins.
void PutMetadata(const std::uint8_t* metadata, std::size_t size, std::vector<std::uint8_t>& png)
{
    const std::uint8_t* data = nullptr;
    std::size_t length = 0;
    for (const char* type : {"cHRM", "gAMA"})
        if (FindRecord(metadata, size, type, data, length)) PutChunk(png, type, data, length);
    const bool profile = FindRecord(metadata, size, "iCCP", data, length) && IsRgbProfile(data, length);
    if (profile) {
        std::vector<std::uint8_t> chunk = {'I', 'C', 'C', ' ', 'p', 'r', 'o', 'f', 'i', 'l', 'e', 0, 0};
        uLongf packed = compressBound(static_cast<uLong>(length));
        chunk.resize(chunk.size() + packed);
        // Into a buffer of the bound zlib gives, compress2 can fail only for want of memory.
        if (compress2(chunk.data() + 13, &packed, data, static_cast<uLong>(length), 9) != Z_OK) throw std::bad_alloc();
        chunk.resize(13 + packed);
        PutChunk(png, "iCCP", chunk.data(), chunk.size());
    }
    if (!profile && FindRecord(metadata, size, "sRGB", data, length)) PutChunk(png, "sRGB", data, length);
    if (FindRecord(metadata, size, "eXIf", data, length)) PutChunk(png, "eXIf", data, length);
}

void WritePng(const std::uint8_t* bitmap, std::uint32_t width, std::uint32_t height, int level, int bandCount,
              const std::uint8_t* metadata, std::size_t metadataSize, std::vector<std::uint8_t>& png)
{
    std::vector<std::uint8_t> zlib;
    std::vector<Band> bands = CutBands(width, height, bandCount);
    if (!CompressBands(bitmap, width, height, level, bands, zlib)) return;
    static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    png.assign(signature, signature + 8);
    std::vector<std::uint8_t> header;
    PutBe32(header, width);
    PutBe32(header, height);
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, deflate, adaptive filtering, not interlaced
    PutChunk(png, "IHDR", header.data(), header.size());
    PutMetadata(metadata, metadataSize, png);
    for (std::size_t at = 0; at < zlib.size(); at += largestIdat)
        PutChunk(png, "IDAT", zlib.data() + at, std::min(largestIdat, zlib.size() - at));
    PutChunk(png, "IEND", nullptr, 0);
}

}  // namespace

FileError EncodePng(const std::uint8_t* bitmap, int level, int bands, const std::uint8_t* metadata,
                    std::size_t metadataSize, std::vector<std::uint8_t>& png)
{
    png.clear();
    std::uint32_t width = 0, height = 0;
    if (!IsPackedBitmap(bitmap, width, height)) return FileError::CannotWrite;
    try {
        WritePng(bitmap, width, height, level, bands, metadata, metadataSize, png);
    } catch (const std::bad_alloc&) {
        png.clear();
    }
    // Of a packed bitmap, only a want of memory keeps the file from being made.
    return png.empty() ? FileError::OutOfMemory : FileError::None;
}
