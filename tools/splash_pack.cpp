// splash_pack PICTURE.bmp BLOCK.bin: packs a 24-bit BMP into the start-up picture block.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "tools/splash_encoder.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: splash_pack PICTURE.bmp BLOCK.bin\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<std::uint8_t> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<std::uint8_t> picture;
    if (!in.good() && !in.eof()) {
        std::fprintf(stderr, "splash_pack: cannot read %s\n", argv[1]);
        return 1;
    }
    if (!SplashPictureFromBmp(file, picture)) {
        std::fprintf(stderr, "splash_pack: %s is not an uncompressed 24-bit BMP\n", argv[1]);
        return 1;
    }
    const std::vector<std::uint8_t> block = PackSplashImage(picture);
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "splash_pack: cannot write %s\n", argv[2]);
        return 1;
    }
    std::printf("%s: picture %zu bytes, block %zu bytes\n", argv[2], picture.size(), block.size());
    return 0;
}
