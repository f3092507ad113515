#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "cli/job_plan.h"
#include "cli/output_name.h"

namespace {

std::string SaveName(const std::string& input, bool png)
{
    std::string output;
    return SaveNameFor(input, png ? "'.png" : "'.bmp", output) ? output : "<refused>";
}

TEST(OutputName, TheDesktopProgramsDoubleClickName)
{
    EXPECT_EQ(SaveName("C:/pics/cat.jpg", true), "C:/pics/cat'.png");
    EXPECT_EQ(SaveName("pics/cat.jpg", false), "pics/cat'.bmp");
    EXPECT_EQ(SaveName("pics/cat.jpeg", true), "pics/cat.'.png") << "only the last 4 characters go";
    EXPECT_EQ(SaveName("cat.bmp", true), "cat'.png");
    EXPECT_EQ(SaveName("写真.png", true), "写真'.png");
    EXPECT_EQ(SaveName("dir/写真猫犬鳥", true), "dir/写'.png") << "characters, not bytes";
    EXPECT_EQ(SaveName("abcd", true), "'.png");
}

TEST(OutputName, NeverCutsIntoTheFolder)
{
    EXPECT_EQ(SaveName("a.b", true), "<refused>");
    EXPECT_EQ(SaveName("pics/a.b", true), "<refused>");
    EXPECT_EQ(SaveName("pics/", true), "<refused>");
    EXPECT_EQ(SaveName("", true), "<refused>");
}

class JobPlan : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = std::filesystem::temp_directory_path() / ("qvn_plan_" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::string Touch(const std::string& name)
    {
        const std::string path = (folder / name).string();
        std::ofstream(path) << "x";
        return path;
    }
    std::filesystem::path folder;
};

TEST_F(JobPlan, FormatFollowsTheConverterAndTheOptions)
{
    QvnOptions options;
    options.pictures = {"a.jpg"};
    EXPECT_EQ(PlanJobs(options, true)[0].output, "a'.png");
    EXPECT_EQ(PlanJobs(options, false)[0].output, "a'.bmp") << "without the converter as the desktop program";
    options.format = OutputFormat::Bmp;
    EXPECT_EQ(PlanJobs(options, true)[0].output, "a'.bmp");
    options.format = OutputFormat::Png;
    EXPECT_EQ(PlanJobs(options, false)[0].output, "a'.bmp");

    options.format = OutputFormat::Automatic;
    options.output = "result.BMP";
    EXPECT_FALSE(PlanJobs(options, true)[0].png) << "a .bmp name gets BMP";
    options.output = "result.png";
    PictureJob job = PlanJobs(options, false)[0];
    EXPECT_NE(job.error.find("converter"), std::string::npos) << "PNG bytes or nothing in a .png name";
    options.format = OutputFormat::Bmp;
    job = PlanJobs(options, false)[0];
    EXPECT_TRUE(job.error.empty());
    EXPECT_FALSE(job.png);
}

TEST_F(JobPlan, RefusesOutputsThatWouldDestroyAnInputOrAnotherResult)
{
    const std::string input = Touch("photo.jpg");
    QvnOptions options;
    options.pictures = {input};
    options.output = input;
    EXPECT_NE(PlanJobs(options, true)[0].error.find("is the input itself"), std::string::npos);
    options.output = (folder / "." / "photo.jpg").string();
    EXPECT_NE(PlanJobs(options, true)[0].error.find("is the input itself"), std::string::npos) << "another spelling";

    options.output.clear();
    const std::string result = Touch("x'.png");
    options.pictures = {(folder / "x.bmp").string(), result, (folder / "y.jpg").string()};
    const std::vector<PictureJob> jobs = PlanJobs(options, true);
    EXPECT_NE(jobs[0].error.find("of this batch"), std::string::npos) << jobs[0].error;
    EXPECT_TRUE(jobs[1].error.empty()) << jobs[1].error;
    EXPECT_TRUE(jobs[2].error.empty());

    options.pictures = {(folder / "z.bmp").string(), (folder / "z.jpg").string()};
    EXPECT_NE(PlanJobs(options, true)[1].error.find("already the result of"), std::string::npos);

    // Results not written yet, named relatively and absolutely, or with "./": still one file.
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    options.pictures = {"photo.jpg", "./photo.png"};
    EXPECT_NE(PlanJobs(options, true)[1].error.find("already the result of"), std::string::npos) << "relative spellings";
    options.pictures = {"photo.jpg", (folder / "photo.png").string()};
    EXPECT_NE(PlanJobs(options, true)[1].error.find("already the result of"), std::string::npos) << "relative and absolute";
#ifdef _WIN32
    options.pictures = {"photo.jpg", "PHOTO.png"};
    EXPECT_NE(PlanJobs(options, true)[1].error.find("already the result of"), std::string::npos) << "names ignore case";
#endif
    std::filesystem::current_path(before);
}

}  // namespace
