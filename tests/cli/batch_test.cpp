// Whole qvn commands, run in-process on pictures made here, checked against direct library runs.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "colour/view_transform.h"
#include "engine/denoise.h"
#include "engine/settings.h"
#include "imagefile/bmp_file.h"
#include "imagefile/converter_library.h"
#include "imagefile/image_file.h"
#include "support/replace_file.h"
#include "support/usable_memory.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

std::string ReadAll(std::FILE* stream)
{
    std::fflush(stream);
    std::rewind(stream);
    std::string text;
    for (int c; (c = std::fgetc(stream)) != EOF;) text += static_cast<char>(c);
    return text;
}

std::string FileBytes(const std::string& path)
{
    std::ifstream file(PathFromUtf8(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

std::string Utf8Text(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

class Qvn : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        // One folder per test and per process, so that test programs running at once never meet.
        const std::string name = std::string("qvn_") + test->name() + "_" + std::to_string(std::random_device{}());
        folder = Utf8Text(std::filesystem::temp_directory_path() / name);
        std::filesystem::remove_all(PathFromUtf8(folder));
        std::filesystem::create_directories(PathFromUtf8(folder));
        FreeConverterLibrary();  // the tests here write and read BMP only
    }
    void TearDown() override { std::filesystem::remove_all(PathFromUtf8(folder)); }

    std::string Path(const std::string& name) const { return folder + "/" + name; }

    // A noisy picture from a seeded generator, written as a 24-bit BMP.
    std::string MakePicture(const std::string& name, std::int32_t width, std::int32_t height, std::uint32_t seed)
    {
        Image image;
        EXPECT_TRUE(AllocateImage(width, height, image));
        const std::int64_t stride = RowStride(width);
        for (std::int32_t y = 0; y < height; ++y) {
            for (std::int32_t x = 0; x < width * 3; ++x) {
                seed = seed * 1664525u + 1013904223u;
                const int smooth = (x / 3 * 200) / width + (y * 40) / height;
                image.bits[y * stride + x] = static_cast<std::uint8_t>(smooth + (seed >> 27));
            }
        }
        FillSourceRows(image);
        EXPECT_EQ(SaveBmpFile(image, Path(name)), FileError::None);
        return Path(name);
    }

    int Run(const std::vector<std::string>& args, std::uint64_t memory = 0, bool terminal = false)
    {
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        QvnConsole console;
        console.out = out;
        console.err = err;
        console.errorIsTerminal = terminal;
        console.memoryBytes = memory;
        console.cores = 2;
        const int code = RunQvn(args, console);
        output = ReadAll(out);
        errors = ReadAll(err);
        std::fclose(out);
        std::fclose(err);
        return code;
    }

    std::string folder;
    std::string output;
    std::string errors;
};

// What the desktop program would hold after its run with the same settings.
Image DirectRun(const std::string& input, int strength, int tone, bool brightness, bool rgb, int view)
{
    Image image;
    EXPECT_EQ(LoadImageFile(input, image), FileError::None);
    DenoiseSettings settings;
    settings.filterStrength = static_cast<std::int8_t>(strength);
    settings.brightnessCorrection = brightness;
    settings.colour.toneMode = static_cast<std::int8_t>(tone);
    settings.colour.rgbCorrection = rgb;
    if (view < 0 || view == kViewDifference) {
        EXPECT_TRUE(DenoiseImage(settings, {}, image.header, image.bits, image.rows.get()).done);
    }
    if (view >= 0)
        ApplyViewTransform(static_cast<std::int8_t>(view), settings.colour, image.header, image.bits, image.rows.get());
    return image;
}

void ExpectSamePixels(const Image& expected, const std::string& written)
{
    Image image;
    ASSERT_EQ(LoadImageFile(written, image), FileError::None) << written;
    ASSERT_EQ(image.header->biWidth, expected.header->biWidth);
    ASSERT_EQ(image.header->biHeight, expected.header->biHeight);
    const std::int64_t bytes = RowStride(image.header->biWidth) * image.header->biHeight;
    EXPECT_EQ(std::memcmp(image.bits, expected.bits, static_cast<std::size_t>(bytes)), 0) << written;
}

TEST_F(Qvn, PicturesRunAtOnceMatchTheDesktopRunWithTheSameSettings)
{
    const std::string a = MakePicture("a.bmp", 37, 23, 1);
    const std::string b = MakePicture("b.bmp", 64, 50, 2);
    const std::string c = MakePicture("c.bmp", 5, 90, 3);
    ASSERT_EQ(Run({"-j", "3", "-s", "80", "--tone", "natural", "--no-rgb-correction", a, b, c}), 0) << errors;
    for (const std::string& input : {a, b, c})
        ExpectSamePixels(DirectRun(input, 80, 2, true, false, -1), input.substr(0, input.size() - 4) + "'.bmp");

    // The report: input order, the arrow to the output, the desktop program's three labelled lines.
    const std::vector<std::string> lines = Lines(output);
    ASSERT_EQ(lines.size(), 12u) << output;
    EXPECT_EQ(lines[0], a + " -> " + Path("a'.bmp"));
    EXPECT_EQ(lines[1].rfind("明るさ\t : ", 0), 0u) << lines[1];
    EXPECT_EQ(lines[2].rfind("色味\t : ", 0), 0u) << lines[2];
    EXPECT_EQ(lines[3], "所要時間\t : 0秒");
    EXPECT_EQ(lines[4], b + " -> " + Path("b'.bmp"));
    EXPECT_EQ(lines[8], c + " -> " + Path("c'.bmp"));
}

#ifdef QV_CONVERTER_PATH
TEST_F(Qvn, PngResultsAreTheBytesTheDesktopProgramSaves)
{
    ASSERT_TRUE(LoadConverterLibrary(QV_CONVERTER_PATH));
    const std::string bmp = MakePicture("p.bmp", 45, 31, 12);
    Image picture;
    ASSERT_EQ(LoadImageFile(bmp, picture), FileError::None);
    ASSERT_EQ(SavePngFile(picture, Path("q.png")), FileError::None);

    ASSERT_EQ(Run({"-s", "30", "-t", "bright", bmp, Path("q.png")}), 0) << errors;
    EXPECT_NE(output.find("p'.png"), std::string::npos) << output;
    const Image direct = DirectRun(bmp, 30, 1, true, true, -1);
    ASSERT_EQ(SavePngFile(direct, Path("direct.png")), FileError::None);
    EXPECT_EQ(FileBytes(Path("p'.png")), FileBytes(Path("direct.png")));
    ExpectSamePixels(DirectRun(Path("q.png"), 30, 1, true, true, -1), Path("q'.png"));
    FreeConverterLibrary();
}
#endif

#if defined(QV_NO_THREADS) && defined(QV_CONVERTER_PATH)
TEST_F(Qvn, PicturesAreWrittenWhenNoThreadCanBeStarted)
{
    // As in a process at its limit: the pictures, their runs and the writing of their PNG results
    // all on the one thread there is.
    ASSERT_TRUE(LoadConverterLibrary(QV_CONVERTER_PATH));
    const std::string a = MakePicture("a.bmp", 40, 30, 9), b = MakePicture("b.bmp", 33, 20, 10);
    const std::string qvn = "ASAN_OPTIONS=verify_asan_link_order=0 LD_PRELOAD=" QV_NO_THREADS " " QV_QVN_PATH;
    ASSERT_EQ(std::system((qvn + " -q -j 2 " + a + " " + b).c_str()), 0);
    for (const std::string& input : {a, b})
        ExpectSamePixels(DirectRun(input, 50, 0, true, true, -1), input.substr(0, input.size() - 4) + "'.png");
    FreeConverterLibrary();
}
#endif

TEST_F(Qvn, ViewsAndTheDifferenceFromTheDenoisedPicture)
{
    const std::string input = MakePicture("view.bmp", 33, 17, 4);
    ASSERT_EQ(Run({"--view", "N", "-q", input}), 0) << errors;
    EXPECT_EQ(output, "") << "quiet";
    ExpectSamePixels(DirectRun(input, 50, 0, true, true, kViewNegative), Path("view'.bmp"));

    ASSERT_EQ(Run({"--view=d", "-s", "99", "--no-brightness-correction", "-o", Path("diff.bmp"), input}), 0) << errors;
    ExpectSamePixels(DirectRun(input, 99, 0, false, true, kViewDifference), Path("diff.bmp"));
    EXPECT_NE(output.find("明るさ"), std::string::npos) << "the difference view comes from a run, so it has figures";
}

TEST_F(Qvn, TheFineMethodWritesTheAdaptiveResult)
{
    const std::string input = MakePicture("fine.bmp", 40, 30, 7);
    ASSERT_EQ(Run({"-m", "fine", "-s", "70", "--json", input}), 0) << errors;
    EXPECT_NE(output.find("\"method\":\"fine\""), std::string::npos) << output;
    EXPECT_NE(output.find("\"luma_snr\":"), std::string::npos) << output;
    EXPECT_NE(output.find("\"noise\":["), std::string::npos) << output;
    EXPECT_NE(output.find("\"noise_model\":{\"brightness\":["), std::string::npos) << output;
    Image expected;
    ASSERT_EQ(LoadImageFile(input, expected), FileError::None);
    DenoiseSettings settings;
    settings.method = Method::Fine;
    settings.filterStrength = 70;
    ASSERT_TRUE(DenoiseImage(settings, {}, expected.header, expected.bits, expected.rows.get()).done);
    ExpectSamePixels(expected, Path("fine'.bmp"));
}

TEST_F(Qvn, UnreadablePicturesFailAloneAndTheRestAreWritten)
{
    const std::string good1 = MakePicture("good1.bmp", 16, 16, 5);
    const std::string good2 = MakePicture("good2.bmp", 16, 16, 6);
    std::ofstream(PathFromUtf8(Path("broken.bmp")), std::ios::binary) << "BM this is no picture";
    std::ofstream(PathFromUtf8(Path("photo.png")), std::ios::binary) << "\x89PNG\r\n\x1a\n";
    std::filesystem::create_directory(PathFromUtf8(Path("folder.bmp")));
    // An 8-bit BMP and a BMP cut short: each refusal says what the file is.
    std::string bytes = FileBytes(good1);
    std::ofstream(PathFromUtf8(Path("cut.bmp")), std::ios::binary) << bytes.substr(0, bytes.size() - 10);
    bytes[28] = 8;
    std::ofstream(PathFromUtf8(Path("palette.bmp")), std::ios::binary) << bytes;

    EXPECT_EQ(Run({good1, Path("broken.bmp"), Path("missing.bmp"), Path("photo.png"), Path("folder.bmp"), Path("cut.bmp"),
                   Path("palette.bmp"), good2, "-q"}),
              1);
    EXPECT_TRUE(std::filesystem::exists(PathFromUtf8(Path("good1'.bmp"))));
    EXPECT_TRUE(std::filesystem::exists(PathFromUtf8(Path("good2'.bmp"))));
    const std::vector<std::string> lines = Lines(errors);
    ASSERT_EQ(lines.size(), 6u) << errors;
    EXPECT_EQ(lines[0], "qvn: " + Path("broken.bmp") + ": cannot read: not a picture that is read here (24-bit BMP, JPEG, PNG)");
    EXPECT_EQ(lines[1], "qvn: " + Path("missing.bmp") + ": cannot read: no such file");
    EXPECT_NE(lines[2].find("photo.png: cannot read: JPEG and PNG pictures need the converter module"), std::string::npos) << lines[2];
    EXPECT_EQ(lines[3], "qvn: " + Path("folder.bmp") + ": cannot read: it is a folder");
    EXPECT_EQ(lines[4], "qvn: " + Path("cut.bmp") + ": cannot read: truncated: the file ends before its picture does");
    EXPECT_EQ(lines[5], "qvn: " + Path("palette.bmp") + ": cannot read: a BMP of a colour depth other than 24 bits, which is not read");
    for (const char* name : {"broken'.bmp", "missing'.bmp", "photo'.bmp", "folder'.bmp", "cut'.bmp", "palette'.bmp"})
        EXPECT_FALSE(std::filesystem::exists(PathFromUtf8(Path(name)))) << name;
}

#ifndef _WIN32
// Runs body in a child process, killed after `seconds`: its exit code, or -1 when it had to be
// killed (it hung) or died otherwise.
int ExitCodeInChild(unsigned seconds, const std::function<int()>& body)
{
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        alarm(seconds);
        _exit(body());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(Qvn, PipesAndDevicesAreNeitherReadNorReplaced)
{
    const std::string good = MakePicture("good.bmp", 16, 16, 9);
    const std::string pipe = Path("pipe.bmp");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    // Nobody ever writes to the pipe: opening it to explain the failure would wait forever.
    EXPECT_EQ(ExitCodeInChild(20, [&] { return Run({"-q", pipe, good}); }), 1);
    EXPECT_TRUE(std::filesystem::exists(PathFromUtf8(Path("good'.bmp"))));

    EXPECT_EQ(Run({"-o", pipe, good}), 1);
    EXPECT_NE(errors.find("not a regular file"), std::string::npos) << errors;
    EXPECT_TRUE(std::filesystem::is_fifo(PathFromUtf8(pipe)));
}

#if !defined(__SANITIZE_ADDRESS__)  // the sanitizer's shadow memory needs an unlimited address space
TEST_F(Qvn, TheProcesssLimitsAreTheBudgetAndEveryPictureThatFitsAloneRuns)
{
    std::vector<std::string> pictures;
    // Appended rather than "p" + ...: GCC 12 warns falsely (-Wrestrict) about inserting before a number.
    for (std::uint32_t i = 0; i < 3; ++i)
        pictures.push_back(MakePicture(std::string("p").append(std::to_string(i)).append(".bmp"), 1500, 1000, 20 + i));
    const int code = ExitCodeInChild(120, [&] {
        // Address space for about two of these pictures at once beside what the process holds.
        std::uint64_t held = 0;
        std::ifstream("/proc/self/statm") >> held;
        const rlimit limit{held * static_cast<rlim_t>(sysconf(_SC_PAGE_SIZE)) + (420u << 20), RLIM_INFINITY};
        if (setrlimit(RLIMIT_AS, &limit) != 0 || UsableMemoryBytes() > (420u << 20)) return 10;
        std::vector<std::string> args = {"-q", "-j", "3"};
        args.insert(args.end(), pictures.begin(), pictures.end());
        QvnConsole console;
        console.out = console.err = std::fopen("/dev/null", "w");
        console.memoryBytes = UsableMemoryBytes();
        console.cores = 2;
        return RunQvn(args, console);
    });
    EXPECT_EQ(code, 0) << "10: the budget ignores the limit; 1: a picture failed";
    for (const char* name : {"p0'.bmp", "p1'.bmp", "p2'.bmp"}) EXPECT_TRUE(std::filesystem::exists(PathFromUtf8(Path(name)))) << name;
}
#endif
#endif

TEST_F(Qvn, HugeClaimsAreRefusedFromTheHeaderBeforeAnyDecoding)
{
    // A progressive JPEG whose frame header says 16000 x 16000 and a PNG header of 2^31 - 1 x 1
    // pixels of 16-bit RGBA: a few bytes each, gigabytes once decoded.
    const unsigned char jpeg[] = {0xFF, 0xD8, 0xFF, 0xC2, 0, 17, 8, 0x3E, 0x80, 0x3E, 0x80, 3, 1, 0x11, 0, 2, 0x11, 1, 3, 0x11, 1,
                                  0xFF, 0xD9};
    const unsigned char png[] = {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                                 0x7F, 0xFF, 0xFF, 0xFF, 0, 0, 0, 1, 16, 6, 0, 0, 0, 0, 0, 0, 0};
    std::ofstream(PathFromUtf8(Path("bomb.jpg")), std::ios::binary).write(reinterpret_cast<const char*>(jpeg), sizeof jpeg);
    std::ofstream(PathFromUtf8(Path("tall.png")), std::ios::binary).write(reinterpret_cast<const char*>(png), sizeof png);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(Run({"-q", Path("bomb.jpg"), Path("tall.png")}, 2ull << 30), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    const std::vector<std::string> lines = Lines(errors);
    ASSERT_EQ(lines.size(), 2u) << errors;
    EXPECT_NE(lines[0].find("bomb.jpg: too large for the memory: processing needs"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("tall.png: too large for the memory: processing needs"), std::string::npos) << lines[1];
#ifdef QV_CONVERTER_PATH
    // A JPEG frame header of 65,501 x 8 pixels, with no data behind it: as a JPEG result it could
    // never be written, and it is refused before it is read.
    ASSERT_TRUE(LoadConverterLibrary(QV_CONVERTER_PATH));
    const unsigned char wide[] = {0xFF, 0xD8, 0xFF, 0xC0, 0, 17, 8, 0, 8, 0xFF, 0xDD, 3, 1, 0x11, 0, 2, 0x11, 1, 3, 0x11, 1, 0xFF, 0xD9};
    std::ofstream(PathFromUtf8(Path("wide.jpg")), std::ios::binary).write(reinterpret_cast<const char*>(wide), sizeof wide);
    EXPECT_EQ(Run({"-q", "--format", "jpg", Path("wide.jpg")}), 1);
    EXPECT_NE(errors.find("wide'.jpg: too large for JPEG, which allows at most 65,500 pixels a side"), std::string::npos) << errors;
    FreeConverterLibrary();
#endif
}

TEST_F(Qvn, NeverWritesOverItsInputNorLeavesPartialFiles)
{
    const std::string input = MakePicture("keep.bmp", 20, 10, 7);
    const std::string before = FileBytes(input);
    EXPECT_EQ(Run({"-o", input, input}), 1);
    EXPECT_NE(errors.find("is the input itself"), std::string::npos) << errors;
    EXPECT_EQ(FileBytes(input), before);

    EXPECT_EQ(Run({"-o", Path("no/such/folder/out.bmp"), input}), 1);
    EXPECT_NE(errors.find("its folder does not exist"), std::string::npos) << errors;
    std::filesystem::create_directory(PathFromUtf8(Path("taken.bmp")));
    EXPECT_EQ(Run({"-o", Path("taken.bmp"), input}), 1);
    EXPECT_NE(errors.find("taken.bmp: it is a folder"), std::string::npos) << errors;
    std::filesystem::remove(PathFromUtf8(Path("taken.bmp")));

    // Too large for the memory: refused before any work, nothing written.
    EXPECT_EQ(Run({input}, 1000), 1);
    EXPECT_NE(errors.find("keep.bmp: too large for the memory: processing needs"), std::string::npos) << errors;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(PathFromUtf8(folder)), {}), 1) << "only the input";
}

TEST_F(Qvn, JsonGivesOneParsableObjectPerPicture)
{
    const std::string good = MakePicture("写真 ß.bmp", 12, 9, 8);
    ASSERT_EQ(Run({"--json", "-t", "dark", good, Path("gone.bmp")}), 1);
    const std::vector<std::string> lines = Lines(output);
    ASSERT_EQ(lines.size(), 2u) << output;
#ifndef _WIN32
    // Every line must stand alone as JSON for a reader that knows nothing of qvn.
    std::ofstream(Path("report.jsonl")) << output;
    const std::string check = "python3 -c 'import json,sys\nfor l in open(sys.argv[1]): json.loads(l)' " + Path("report.jsonl");
    EXPECT_EQ(std::system(check.c_str()), 0) << output;
#endif
    EXPECT_NE(lines[0].find("\"size\":{\"width\":12,\"height\":9}"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("\"tone\":\"dark\""), std::string::npos);
    EXPECT_NE(lines[0].find("写真 ß'.bmp\""), std::string::npos) << "names pass as UTF-8";
    EXPECT_NE(lines[0].find("\"error\":null"), std::string::npos);
    EXPECT_NE(lines[1].find("\"output\":null"), std::string::npos);
    EXPECT_NE(lines[1].find("\"luma_snr\":null,\"chroma_snr\":null"), std::string::npos);
    EXPECT_NE(lines[1].find("\"error\":\"cannot read: no such file\""), std::string::npos);
}

TEST_F(Qvn, BadUsageIsOneLineAndExitCodeTwo)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"--strength=100", "a.bmp"}, {"--tone", "sepia", "a.bmp"}, {"--frobnicate", "a.bmp"},
             {"-o", "x.bmp", "a.bmp", "b.bmp"}, {"--format", "gif", "a.bmp"}, {"--view", "Z", "a.bmp"}}) {
        EXPECT_EQ(Run(args), 2);
        EXPECT_EQ(output, "");
        EXPECT_EQ(Lines(errors).size(), 1u) << errors;
        EXPECT_EQ(errors.rfind("qvn: ", 0), 0u) << errors;
    }
    EXPECT_EQ(Run({"--help"}), 0);
    EXPECT_NE(output.find("--no-brightness-correction"), std::string::npos);
    EXPECT_EQ(Run({"--version"}), 0);
    EXPECT_EQ(output, "qvn 1.5.3\n");
}

TEST_F(Qvn, ProgressBarOnlyOnATerminalAndNotWhenQuiet)
{
    const std::string input = MakePicture("bar.bmp", 16, 16, 9);
    ASSERT_EQ(Run({input}, 0, true), 0);
    EXPECT_NE(errors.find("[##############################] 100%  1/1"), std::string::npos) << errors;
    EXPECT_EQ(errors.find('\n'), std::string::npos) << "a bar, not lines";
    ASSERT_EQ(Run({input}, 0, false), 0);
    EXPECT_EQ(errors, "");
    ASSERT_EQ(Run({input, "-q"}, 0, true), 0);
    EXPECT_EQ(errors, "");
}

#ifndef _WIN32
TEST_F(Qvn, ALostReportIsAFailure)
{
    const std::string input = MakePicture("full.bmp", 8, 8, 13);
    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    std::FILE* err = std::tmpfile();
    QvnConsole console;
    console.out = full;
    console.err = err;
    EXPECT_EQ(RunQvn({"--json", input}, console), 1);
    EXPECT_NE(ReadAll(err).find("the report could not be written"), std::string::npos);
    std::fclose(full);
    std::fclose(err);
}

// The real program on a real terminal: `script` gives it a pseudo-terminal.
TEST_F(Qvn, TheProgramDrawsItsBarOnARealTerminalOnly)
{
    const std::string input = MakePicture("tty.bmp", 16, 16, 10);
    const std::string qvn = QV_QVN_PATH;
    const std::string onTerminal = Path("terminal.txt");
    const std::string command = "script -qec '" + qvn + " " + input + "' " + onTerminal + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_NE(FileBytes(onTerminal).find("] 100%  1/1"), std::string::npos) << FileBytes(onTerminal);

    const std::string redirected = Path("redirected.txt");
    ASSERT_EQ(std::system((qvn + " " + input + " >" + redirected + " 2>&1").c_str()), 0);
    EXPECT_EQ(FileBytes(redirected).find("] "), std::string::npos) << FileBytes(redirected);
}

// Interrupted at any moment, qvn leaves the input, and at most one complete result, nothing else.
TEST_F(Qvn, AnInterruptionNeverLeavesAPartialResult)
{
    const std::string input = MakePicture("stop.bmp", 1200, 900, 11);
    for (const char* delay : {"0.05", "0.3", "0.6", "0.9", "1.2"}) {
        std::filesystem::remove(PathFromUtf8(Path("stop'.bmp")));
        const std::string command = std::string(QV_QVN_PATH) + " -q --format bmp " + input + " 2>" + Path("err.txt") + " & sleep " + delay +
                                    "; kill -INT $! 2>/dev/null; wait $!; exit $?";
        const int code = std::system(("sh -c '" + command + "'").c_str());
        const std::string said = FileBytes(Path("err.txt"));
        std::filesystem::remove(PathFromUtf8(Path("err.txt")));
        const bool written = std::filesystem::exists(PathFromUtf8(Path("stop'.bmp")));
        if (written) {
            EXPECT_EQ(FileBytes(Path("stop'.bmp")).size(), FileBytes(input).size()) << delay;
        }
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(PathFromUtf8(folder)), {}), written ? 2 : 1) << delay;
        EXPECT_TRUE(WIFEXITED(code) && (WEXITSTATUS(code) == 130 || (written && WEXITSTATUS(code) == 0))) << delay << " " << code << " " << said;
    }
}
#endif

}  // namespace
