// The same bytes from every build: qvn reads, denoises and writes the golden JPEG and PNG inputs,
// and what it writes is compared by checksum with one list kept beside them. Every build (Linux and
// both Windows builds) checks against the same list, so they agree with each other byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "imagefile/converter_library.h"

namespace {

namespace fs = std::filesystem;

// FNV-1a, 64 bits, of a file's bytes, in hexadecimal.
std::string Checksum(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (std::istreambuf_iterator<char> at(in), end; at != end; ++at)
        hash = (hash ^ static_cast<std::uint8_t>(*at)) * 0x100000001B3ull;
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

#ifdef QV_CONVERTER_PATH
TEST(Golden, EveryBuildReadsAndWritesTheSameBytes)
{
    ASSERT_TRUE(LoadConverterLibrary(QV_CONVERTER_PATH));
    const fs::path folder = fs::temp_directory_path() / ("qvn_golden_" + std::to_string(std::random_device{}()));
    fs::create_directories(folder);
    std::vector<std::string> names, inputs;
    for (const fs::directory_entry& entry : fs::directory_iterator("golden"))
        if (entry.path().extension() != ".txt") names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        fs::copy_file(fs::path("golden") / name, folder / name);
        inputs.push_back((folder / name).string());
    }

    // The picture as read (BMP), the default result (PNG) and a JPEG result, each beside its input.
    const std::vector<std::vector<std::string>> runs = {
        {"-q", "--view", "P", "--format", "bmp"}, {"-q"}, {"-q", "--format", "jpg", "--quality", "85"}};
    QvnConsole console;
    console.cores = 2;
    for (std::vector<std::string> args : runs) {
        args.insert(args.end(), inputs.begin(), inputs.end());
        ASSERT_EQ(RunQvn(args, console), 0);
    }
    std::ostringstream found;
    for (const std::string& name : names) {
        const std::string stem = (folder / name.substr(0, name.size() - 4)).string();
        found << name << ' ' << Checksum(stem + "'.bmp") << ' ' << Checksum(stem + "'.png") << ' ' << Checksum(stem + "'.jpg")
              << '\n';
    }
    std::ifstream listFile("golden/checksums.txt");
    std::string expected, line;
    while (std::getline(listFile, line))
        if (!line.empty() && line[0] != '#') expected += line + '\n';
    std::printf("golden checksums of this build (input, as read, PNG result, JPEG result):\n%s", found.str().c_str());
    EXPECT_EQ(found.str(), expected) << "a codec reads or writes other bytes than the list says (golden/checksums.txt)";
    fs::remove_all(folder);
    FreeConverterLibrary();
}
#endif

}  // namespace
