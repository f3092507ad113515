#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/options.h"

namespace {

QvnOptions Parsed(const std::vector<std::string>& args)
{
    QvnOptions options;
    std::string error;
    EXPECT_TRUE(ParseOptions(args, options, error)) << error;
    return options;
}

std::string Refusal(const std::vector<std::string>& args)
{
    QvnOptions options;
    std::string error;
    EXPECT_FALSE(ParseOptions(args, options, error));
    EXPECT_EQ(error.find('\n'), std::string::npos) << "one line";
    return error;
}

TEST(Options, DefaultsAreTheDesktopProgramsStartValues)
{
    const QvnOptions options = Parsed({"a.jpg"});
    EXPECT_EQ(options.method, Method::Classic);
    EXPECT_EQ(options.strength, 50);
    EXPECT_EQ(options.tone, 0);
    EXPECT_TRUE(options.brightnessCorrection);
    EXPECT_TRUE(options.rgbCorrection);
    EXPECT_EQ(options.viewMode, -1);
    EXPECT_EQ(options.format, OutputFormat::Automatic);
    EXPECT_EQ(options.jobs, 0);
    EXPECT_FALSE(options.json || options.quiet || options.help || options.version);
    EXPECT_EQ(options.pictures, std::vector<std::string>{"a.jpg"});
}

TEST(Options, EveryOptionInItsGnuForms)
{
    QvnOptions options = Parsed({"-s", "99", "--tone=dark", "--no-brightness-correction", "--no-rgb-correction",
                                 "--view", "d", "-o", "out.png", "--format", "bmp", "-j3", "--json", "-q", "x.bmp"});
    EXPECT_EQ(options.strength, 99);
    EXPECT_EQ(options.tone, 3);
    EXPECT_FALSE(options.brightnessCorrection);
    EXPECT_FALSE(options.rgbCorrection);
    EXPECT_EQ(options.viewMode, 13);
    EXPECT_EQ(options.viewKey, 'D');
    EXPECT_EQ(options.output, "out.png");
    EXPECT_EQ(options.format, OutputFormat::Bmp);
    EXPECT_EQ(options.jobs, 3);
    EXPECT_TRUE(options.json && options.quiet);

    options = Parsed({"-qs1", "--strength", "7", "--stren=8", "-tnatural", "--jobs=1", "a", "b"});
    EXPECT_TRUE(options.quiet);
    EXPECT_EQ(options.strength, 8) << "the last one given counts";
    EXPECT_EQ(options.tone, 2);
    EXPECT_EQ(options.jobs, 1);
    EXPECT_EQ(options.pictures.size(), 2u);

    EXPECT_EQ(Parsed({"-mfine", "a"}).method, Method::Fine);
    EXPECT_EQ(Parsed({"--meth=classic", "a"}).method, Method::Classic);
}

TEST(Options, PicturesMayLookLikeOptionsAfterTheEnd)
{
    const QvnOptions options = Parsed({"-q", "--", "-s", "--json", "-"});
    EXPECT_EQ(options.pictures, (std::vector<std::string>{"-s", "--json", "-"}));
    EXPECT_FALSE(options.json);
    EXPECT_EQ(Parsed({"-", "x"}).pictures.size(), 2u) << "a lone dash is a name";
}

TEST(Options, HelpAndVersionNeedNoPicture)
{
    EXPECT_TRUE(Parsed({"--help"}).help);
    EXPECT_TRUE(Parsed({"-h"}).help);
    EXPECT_TRUE(Parsed({"--vers"}).version);
}

TEST(Options, BadValuesNameTheOptionAndTheAcceptedValues)
{
    for (const char* strength : {"0", "100", "-5", "5x", "", " 5", "+5", "99999999999"}) {
        const std::string error = Refusal({"--strength", strength, "a.bmp"});
        EXPECT_NE(error.find("--strength"), std::string::npos) << error;
        EXPECT_NE(error.find("1 to 99"), std::string::npos) << error;
    }
    EXPECT_NE(Refusal({"-t", "Dark", "a"}).find("none, bright, natural, dark"), std::string::npos);
    EXPECT_NE(Refusal({"--view", "HS", "a"}).find("H S Y U V I Q L A B N P D"), std::string::npos);
    EXPECT_NE(Refusal({"--view=C", "a"}).find("H S Y"), std::string::npos);
    EXPECT_NE(Refusal({"--format", "gif", "a"}).find("png, bmp, jpg"), std::string::npos);
    EXPECT_NE(Refusal({"--quality", "101", "a"}).find("1 to 100"), std::string::npos);
    EXPECT_NE(Refusal({"-m", "Fine", "a"}).find("classic, fine"), std::string::npos);
    EXPECT_NE(Refusal({"-m", "fine", "-t", "dark", "a"}).find("classic method"), std::string::npos);
    EXPECT_NE(Refusal({"-j", "0", "a"}).find("--jobs"), std::string::npos);
    EXPECT_NE(Refusal({"-o", "", "a"}).find("--output"), std::string::npos);
    EXPECT_NE(Refusal({"-tnone\n\x1b[2J", "a"}).find("'none??[2J'"), std::string::npos) << "shown, not obeyed";
}

TEST(Options, BadOptionsAndMissingValuesAreRefused)
{
    EXPECT_NE(Refusal({"--colour", "a"}).find("unknown option '--colour'"), std::string::npos);
    EXPECT_NE(Refusal({"--no", "a"}).find("ambiguous option '--no'"), std::string::npos);
    EXPECT_NE(Refusal({"-x", "a"}).find("unknown option '-x'"), std::string::npos);
    EXPECT_NE(Refusal({"-dash.png"}).find("goes after --: qvn -- -dash.png"), std::string::npos);
    EXPECT_NE(Refusal({"a", "-s"}).find("needs a value"), std::string::npos);
    EXPECT_NE(Refusal({"--json=yes", "a"}).find("takes no value"), std::string::npos);
    EXPECT_NE(Refusal({}).find("no picture"), std::string::npos);
    EXPECT_NE(Refusal({"-q"}).find("no picture"), std::string::npos);
    EXPECT_NE(Refusal({"-o", "out.png", "a", "b"}).find("one picture"), std::string::npos);
}

}  // namespace
