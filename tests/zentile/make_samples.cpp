// Writes the sample pictures of this folder with libpng and libjpeg (run once; the files are
// checked in so that the Windows tests decode the very same bytes): make_samples <folder>.
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
    if (argc != 2) return 2;
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
    return 0;
}
