#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "cli/json_report.h"
#include "cli/memory_gate.h"
#include "cli/progress_bar.h"

namespace {

TEST(Json, StringsAreAlwaysValidJson)
{
    EXPECT_EQ(JsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(JsonString("明るさ\t : 1\n"), "\"明るさ\\t : 1\\n\"");
    EXPECT_EQ(JsonString(std::string("\x01\x7f", 2)), "\"\\u0001\\u007f\"");
    EXPECT_EQ(JsonString("bad\xff\xc3(end\xe6\x98"), "\"bad\\udcff\\udcc3(end\\udce6\\udc98\"") << "file names need not be UTF-8";
    EXPECT_EQ(JsonString("\xc0\xaf\xed\xa0\x80"), "\"\\udcc0\\udcaf\\udced\\udca0\\udc80\"") << "overlong and surrogate forms";
    EXPECT_EQ(JsonString("\xf0\x9f\x93\xb7"), "\"\xf0\x9f\x93\xb7\"");
}

TEST(Json, OneLinePerPictureWithNullForWhatIsMissing)
{
    QvnOptions options;
    PictureReport report;
    report.input = "in.jpg";
    report.output = "in'.png";
    report.width = 640;
    report.height = 480;
    report.denoised = true;
    report.lumaSnr = 31.25f;
    report.chromaSnr = 0.0f;
    report.seconds = 1.5;
    EXPECT_EQ(
        JsonLine(report, options),
        "{\"input\":\"in.jpg\",\"output\":\"in'.png\",\"size\":{\"width\":640,\"height\":480},"
        "\"settings\":{\"strength\":50,\"tone\":\"none\",\"brightness_correction\":true,\"rgb_correction\":true,"
        "\"view\":null,\"method\":\"classic\"},"
        "\"luma_snr\":31.25,\"chroma_snr\":null,\"noise\":null,\"noise_model\":null,\"seconds\":1.500,\"error\":null}");
}

TEST(Progress, BoardCombinesTheWorkersAndPrintsAboveTheBar)
{
    std::FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    StartProgressBoard(stream, true, 2, 2);
    ProgressPlace place{1, 0, 100};
    ShowBatchProgress(place, ProgressPhase::Starting, 0);
    ShowBatchProgress(place, ProgressPhase::Working, 50);
    PrintAboveBar(stream, "done\n");
    place = {1, 80, 100};  // the writing's share: the picture is not done while it is written
    ShowBatchProgress(place, ProgressPhase::Starting, 0);
    EndBatchProgress(place);
    CountFinishedPicture(1);
    EndProgressBoard();

    std::rewind(stream);
    std::string written;
    for (int c; (c = std::fgetc(stream)) != EOF;) written += static_cast<char>(c);
    std::fclose(stream);
    EXPECT_NE(written.find("  25%  0/2"), std::string::npos) << "half of one of two pictures";
    EXPECT_NE(written.find("\rdone\n"), std::string::npos) << "the bar is taken away first";
    EXPECT_NE(written.find("  40%  0/2"), std::string::npos) << "the start of its writing";
    EXPECT_NE(written.find("  50%  1/2"), std::string::npos);
    EXPECT_EQ(written.back(), '\r') << "the bar is erased at the end";

    StartProgressBoard(nullptr, false, 1, 1);  // a hidden board never touches its stream
    ShowBatchProgress(ProgressPlace{}, ProgressPhase::Working, 10);
    EndProgressBoard();
}

TEST(Jobs, GateHoldsBackPicturesThatWouldNotFit)
{
    MemoryGate gate;
    gate.budget = 100;
    ReserveMemory(gate, 60);
    std::atomic<bool> secondRan{false};
    std::thread second([&] {
        ReserveMemory(gate, 60);
        secondRan = true;
        ReleaseMemory(gate, 60);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(secondRan);
    ReleaseMemory(gate, 60);
    second.join();
    EXPECT_TRUE(secondRan);

    ReserveMemory(gate, 500);  // larger than the whole budget: runs alone rather than never
    EXPECT_EQ(gate.reserved, 500u);
    ReleaseMemory(gate, 500);
}

}  // namespace
