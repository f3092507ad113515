// Writes the sample pictures of this folder and the golden inputs of tests/cli/golden with libpng
// and libjpeg (run once; the files are checked in so that every build decodes the very same
// bytes): make_samples <samples folder> <golden folder>.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

#include "sample_pixels.h"

namespace {

struct PngKind {
    const char* name;
    int colourType;
    int depth;
    bool interlaced;
    bool transparentColour;  // a tRNS colour key: the colour of the top left pixel
};

std::uint16_t Reduce(std::uint16_t value, int depth) { return static_cast<std::uint16_t>(value >> (16 - depth)); }

void PutSample(std::vector<std::uint8_t>& row, std::uint16_t value, int depth)
{
    if (depth == 16) {
        row.push_back(static_cast<std::uint8_t>(value >> 8));
        row.push_back(static_cast<std::uint8_t>(value));
    } else {
        row.push_back(static_cast<std::uint8_t>(Reduce(value, depth)));
    }
}

void WritePng(const std::string& folder, const PngKind& kind)
{
    std::FILE* file = std::fopen((folder + "/" + kind.name + ".png").c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, sampleWidth, sampleHeight, kind.depth, kind.colourType,
                 kind.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (kind.colourType == PNG_COLOR_TYPE_PALETTE) {
        png_color palette[16];
        png_byte alpha[16];
        for (int i = 0; i < 16; ++i) {
            palette[i] = {PaletteValue(i, 0), PaletteValue(i, 1), PaletteValue(i, 2)};
            alpha[i] = PaletteAlpha(i);
        }
        png_set_PLTE(png, info, palette, 16);
        png_set_tRNS(png, info, alpha, 16, nullptr);
    }
    if (kind.transparentColour) {
        png_color_16 key{};
        key.red = Reduce(SampleValue(0, 0, 0), kind.depth);
        key.green = Reduce(SampleValue(0, 0, 1), kind.depth);
        key.blue = Reduce(SampleValue(0, 0, 2), kind.depth);
        key.gray = key.red;
        png_set_tRNS(png, info, nullptr, 0, &key);
    }
    png_write_info(png, info);
    if (kind.depth < 8) png_set_packing(png);
    const int passes = png_set_interlace_handling(png);
    std::vector<std::vector<std::uint8_t>> rows(sampleHeight);
    for (int y = 0; y < sampleHeight; ++y)
        for (int x = 0; x < sampleWidth; ++x) {
            std::vector<std::uint8_t>& row = rows[y];
            switch (kind.colourType) {
            case PNG_COLOR_TYPE_PALETTE: row.push_back(static_cast<std::uint8_t>(SampleIndex(x, y))); break;
            case PNG_COLOR_TYPE_GRAY: PutSample(row, SampleValue(x, y, 0), kind.depth); break;
            case PNG_COLOR_TYPE_GRAY_ALPHA:
                PutSample(row, SampleValue(x, y, 0), kind.depth);
                PutSample(row, SampleAlpha(x, y), kind.depth);
                break;
            default:
                for (int c = 0; c < 3; ++c) PutSample(row, SampleValue(x, y, c), kind.depth);
                if (kind.colourType == PNG_COLOR_TYPE_RGBA) PutSample(row, SampleAlpha(x, y), kind.depth);
            }
        }
    for (int pass = 0; pass < passes; ++pass)
        for (auto& row : rows) png_write_row(png, row.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

// The golden inputs: a photograph's worth of detail (gradients, an edge, a disc, grain) on sides
// that leave partial JPEG blocks at the right and bottom.
constexpr int goldenWidth = 75;
constexpr int goldenHeight = 45;
std::uint16_t GoldenValue(int x, int y, int channel)
{
    std::uint32_t grain = static_cast<std::uint32_t>(x * 7919 + y * 104729 + channel * 15485863);
    grain = (grain ^ (grain >> 13)) * 2654435761u;
    const int edge = x + 2 * y > 80 ? 8000 : 0;
    const int disc = (x - 50) * (x - 50) + (y - 15) * (y - 15) < 100 ? 9000 * (channel + 1) : 0;
    const int value = 2000 + x * 350 + y * (150 + 120 * channel) + edge + disc + static_cast<int>(grain >> 19) - 4096;
    return static_cast<std::uint16_t>(std::clamp(value, 0, 65535));
}

void WriteGoldenPng(const std::string& folder, const char* name, int colourType, int depth, bool interlaced)
{
    std::FILE* file = std::fopen((folder + "/" + name + ".png").c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, goldenWidth, goldenHeight, depth, colourType, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        png_color palette[256];
        for (int i = 0; i < 256; ++i)
            palette[i] = {static_cast<png_byte>(i / 32 * 36), static_cast<png_byte>(i / 4 % 8 * 36), static_cast<png_byte>(i % 4 * 85)};
        png_set_PLTE(png, info, palette, 256);
    }
    png_write_info(png, info);
    const int passes = png_set_interlace_handling(png);
    std::vector<std::vector<std::uint8_t>> rows(goldenHeight);
    for (int y = 0; y < goldenHeight; ++y)
        for (int x = 0; x < goldenWidth; ++x) {
            std::vector<std::uint8_t>& row = rows[y];
            const auto rgb = [&](int c) { return GoldenValue(x, y, c); };
            switch (colourType) {
            case PNG_COLOR_TYPE_PALETTE:
                row.push_back(static_cast<std::uint8_t>(rgb(0) >> 13 << 5 | rgb(1) >> 13 << 2 | rgb(2) >> 14));
                break;
            case PNG_COLOR_TYPE_GRAY: PutSample(row, rgb(1), depth); break;
            default:
                for (int c = 0; c < 3; ++c) PutSample(row, rgb(c), depth);
                if (colourType == PNG_COLOR_TYPE_RGBA) PutSample(row, static_cast<std::uint16_t>(x * 65535 / (goldenWidth - 1)), depth);
            }
        }
    for (int pass = 0; pass < passes; ++pass)
        for (auto& row : rows) png_write_row(png, row.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

// EXIF data holding only the orientation tag, in a little-endian TIFF structure.
std::vector<std::uint8_t> OrientationExif(int orientation)
{
    return {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0,
            static_cast<std::uint8_t>(orientation), 0, 0, 0, 0, 0, 0, 0};
}

struct GoldenJpeg {
    const char* name;
    int components;
    int horizontalSampling, verticalSampling;  // of the colour components, relative to brightness
    bool progressive;
    int restartRows;  // 0: no restart markers
    int orientation;  // 0: no EXIF data
};

void WriteGoldenJpeg(const std::string& folder, const GoldenJpeg& kind)
{
    std::FILE* file = std::fopen((folder + "/" + kind.name + ".jpg").c_str(), "wb");
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = goldenWidth;
    info.image_height = goldenHeight;
    info.input_components = kind.components;
    info.in_color_space = kind.components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    if (kind.components == 3) {
        info.comp_info[0].h_samp_factor = kind.horizontalSampling;
        info.comp_info[0].v_samp_factor = kind.verticalSampling;
    }
    info.restart_in_rows = kind.restartRows;
    if (kind.progressive) jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    if (kind.orientation) {
        const std::vector<std::uint8_t> exif = OrientationExif(kind.orientation);
        jpeg_write_marker(&info, JPEG_APP0 + 1, exif.data(), static_cast<unsigned>(exif.size()));
    }
    std::vector<std::uint8_t> row(goldenWidth * kind.components);
    for (int y = 0; y < goldenHeight; ++y) {
        for (int x = 0; x < goldenWidth; ++x)
            for (int c = 0; c < kind.components; ++c) row[x * kind.components + c] = GoldenValue(x, y, kind.components == 1 ? 1 : c) >> 8;
        JSAMPROW at = row.data();
        jpeg_write_scanlines(&info, &at, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
}

void WriteJpeg(const std::string& folder, const char* name, J_COLOR_SPACE space, int components, bool progressive)
{
    std::FILE* file = std::fopen((folder + "/" + name + ".jpg").c_str(), "wb");
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = jpegWidth;
    info.image_height = jpegHeight;
    info.input_components = components;
    info.in_color_space = space;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    if (progressive) jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    std::vector<std::uint8_t> row(jpegWidth * components);
    for (int y = 0; y < jpegHeight; ++y) {
        for (int x = 0; x < jpegWidth; ++x) {
            const std::uint8_t r = JpegValue(x, y, 0), g = JpegValue(x, y, 1), b = JpegValue(x, y, 2);
            if (components == 1) {
                row[x] = r;
            } else if (components == 3) {
                row[3 * x] = r, row[3 * x + 1] = g, row[3 * x + 2] = b;
            } else {
                // Ink without black, stored inverted as the Adobe marker that libjpeg writes says.
                row[4 * x] = r, row[4 * x + 1] = g, row[4 * x + 2] = b, row[4 * x + 3] = 255;
            }
        }
        JSAMPROW at = row.data();
        jpeg_write_scanlines(&info, &at, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) return 2;
    const std::string folder = argv[1];
    const PngKind kinds[] = {
        {"palette4", PNG_COLOR_TYPE_PALETTE, 4, false, false}, {"palette8", PNG_COLOR_TYPE_PALETTE, 8, true, false},
        {"grey1", PNG_COLOR_TYPE_GRAY, 1, false, false},       {"grey2", PNG_COLOR_TYPE_GRAY, 2, false, false},
        {"grey4", PNG_COLOR_TYPE_GRAY, 4, true, false},        {"grey8", PNG_COLOR_TYPE_GRAY, 8, false, false},
        {"grey16", PNG_COLOR_TYPE_GRAY, 16, false, false},     {"grey8key", PNG_COLOR_TYPE_GRAY, 8, false, true},
        {"greyalpha8", PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, false}, {"greyalpha16", PNG_COLOR_TYPE_GRAY_ALPHA, 16, true, false},
        {"rgb8", PNG_COLOR_TYPE_RGB, 8, false, false},         {"rgb8interlaced", PNG_COLOR_TYPE_RGB, 8, true, false},
        {"rgb16", PNG_COLOR_TYPE_RGB, 16, false, false},       {"rgb8key", PNG_COLOR_TYPE_RGB, 8, false, true},
        {"rgba8", PNG_COLOR_TYPE_RGBA, 8, false, false},       {"rgba16", PNG_COLOR_TYPE_RGBA, 16, false, false},
    };
    for (const PngKind& kind : kinds) WritePng(folder, kind);
    WriteJpeg(folder, "baseline", JCS_RGB, 3, false);
    WriteJpeg(folder, "progressive", JCS_RGB, 3, true);
    WriteJpeg(folder, "grey", JCS_GRAYSCALE, 1, false);
    WriteJpeg(folder, "cmyk", JCS_CMYK, 4, false);

    const std::string golden = argv[2];
    WriteGoldenPng(golden, "rgb8", PNG_COLOR_TYPE_RGB, 8, false);
    WriteGoldenPng(golden, "rgb16", PNG_COLOR_TYPE_RGB, 16, false);
    WriteGoldenPng(golden, "rgba16", PNG_COLOR_TYPE_RGBA, 16, false);
    WriteGoldenPng(golden, "grey8", PNG_COLOR_TYPE_GRAY, 8, false);
    WriteGoldenPng(golden, "palette8", PNG_COLOR_TYPE_PALETTE, 8, false);
    WriteGoldenPng(golden, "interlaced8", PNG_COLOR_TYPE_RGB, 8, true);
    const GoldenJpeg jpegs[] = {
        {"baseline420", 3, 2, 2, false, 0, 0}, {"progressive420", 3, 2, 2, true, 0, 0}, {"baseline422", 3, 2, 1, false, 0, 0},
        {"baseline444", 3, 1, 1, false, 0, 0}, {"grey", 1, 1, 1, false, 0, 0},           {"restarts420", 3, 2, 2, false, 1, 0},
        {"rotated420", 3, 2, 2, false, 0, 6},
    };
    for (const GoldenJpeg& kind : jpegs) WriteGoldenJpeg(golden, kind);
    return 0;
}
