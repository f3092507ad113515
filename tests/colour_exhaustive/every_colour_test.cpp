#include <gtest/gtest.h>

#include <quadmath.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "colour/lab.h"
#include "colour/power.h"
#include "engine/wide_loops.h"

namespace {

constexpr double third = 0.3333333333333333;

// The C library's powers, and the exact powers rounded once to a double (quadruple precision is
// 60 bits beyond the double's, far more than either candidate's distance from their midpoint).
double LibraryPower(double t, double exponent) { return std::pow(t, exponent); }
double RoundedPower(double t, double exponent) { return static_cast<double>(powq(t, exponent)); }

// The forward conversion step by step as defined, with the power given.
void StepByStepLab(int tone, int red, int green, int blue, double (*power)(double, double),
                   double lab[3])
{
    constexpr double pi = 3.141592653589793;
    const auto toneValue = [tone](double x) {
        switch (tone) {
        case 1: return std::sin(x * 0.35294117647058826 / 180 * pi);
        case 2: return std::tan(x * 0.17647058823529413 / 180 * pi);
        case 3: return std::pow(x, 2.0) * 0.0000153;
        default: return x / 255;
        }
    };
    const auto linear = [power](double v) {
        return v > 0.03928 ? power((v + 0.055) / 1.055, 2.4) : v / 12.92;
    };
    const auto clamp = [](double v) { return v > 1.0 ? 1.0 : v < 0 ? 0 : v; };
    const auto compand = [power](double t) {
        return t > 0.008856 ? power(t, third) : 7.787 * t + 0.13793103448275862;
    };
    lab[0] = lab[1] = lab[2] = 0;
    const double tr = toneValue(red), tg = toneValue(green), tb = toneValue(blue);
    if (!(tr + tg + tb > 0)) return;
    const double lr = linear(tr), lg = linear(tg), lb = linear(tb);
    const double x = 0.4124 * lr + 0.3576 * lg + 0.1805 * lb;
    const double y = 0.2126 * lr + 0.7152 * lg + 0.0722 * lb;
    const double z = 0.0193 * lr + 0.1192 * lg + 0.9505 * lb;
    double x50 = clamp(1.0479 * x + 0.0229 * y - 0.0502 * z);
    double y50 = clamp(0.0296 * x + 0.9904 * y - 0.0171 * z);
    double z50 = clamp(-0.0092 * x + 0.0151 * y + 0.7519 * z);
    if (!(x50 + y50 + z50 > 0)) return;
    NormalizeChromaticity(x50, y50, z50);
    const double fx = compand(x50 / 0.9642), fy = compand(y50 / 1.0), fz = compand(z50 / 0.8249);
    lab[0] = 116 * fy - 16;
    lab[1] = (fx - fy) * 500;
    lab[2] = (fy - fz) * 200;
}

struct Tally {
    std::atomic<long> pixelsUnlikeLibrary{0};  // whose doubles differ from the library's steps
    std::atomic<long> failures{0};             // differing from the correctly rounded steps too
};

bool SameBits(const double* a, const double* b) { return std::memcmp(a, b, 3 * sizeof(double)) == 0; }

// Rows of 256 colours (blue running) through both versions of the row conversion and pixel by
// pixel, all against the step-by-step conversion.
void CheckColours(int tone, int firstRed, int lastRed, Tally& tally)
{
    const bool wide = WideLoopsOn();
    std::uint8_t row[3 * 256];
    double rows[2][3][256];
    for (int r = firstRed; r < lastRed; ++r) {
        for (int g = 0; g < 256; ++g) {
            for (int b = 0; b < 256; ++b) {
                row[3 * b] = static_cast<std::uint8_t>(b);
                row[3 * b + 1] = static_cast<std::uint8_t>(g);
                row[3 * b + 2] = static_cast<std::uint8_t>(r);
            }
            for (int version = 0; version < (wide ? 2 : 1); ++version)
                RgbRowToLab(version == 1, tone, row, 256, rows[version][0], rows[version][1], rows[version][2]);
            for (int b = 0; b < 256; ++b) {
                double ours[3], expected[3];
                RgbToLab(tone, r, g, b, ours[0], ours[1], ours[2]);
                bool fails = false;
                for (int version = 0; version < (wide ? 2 : 1); ++version) {
                    const double fromRow[3] = {rows[version][0][b], rows[version][1][b], rows[version][2][b]};
                    fails = fails || !SameBits(fromRow, ours);
                }
                StepByStepLab(tone, r, g, b, LibraryPower, expected);
                if (!SameBits(ours, expected)) {
                    ++tally.pixelsUnlikeLibrary;
                    StepByStepLab(tone, r, g, b, RoundedPower, expected);
                    fails = fails || !SameBits(ours, expected);
                }
                if (fails && tally.failures++ < 10)
                    ADD_FAILURE() << "tone " << tone << " colour " << r << ", " << g << ", " << b;
            }
        }
    }
}

}  // namespace

// Every 8-bit colour in every tone curve, converted alone and in rows by both loop versions, gives
// the very doubles of the step-by-step conversion with glibc's pow, except where glibc's pow is not
// correctly rounded: there it gives the correctly rounded power's doubles, the same in every build.
TEST(EveryColour, ForwardConversionMatchesTheStepByStepConversion)
{
    for (int tone = 0; tone < 4; ++tone) {
        Tally tally;
        std::vector<std::thread> threads;
        for (int part = 0; part < 2; ++part)
            threads.emplace_back(CheckColours, tone, part * 128, part * 128 + 128, std::ref(tally));
        for (std::thread& thread : threads) thread.join();
        EXPECT_EQ(tally.failures, 0) << "tone " << tone;
        std::printf("tone %d: %ld of 16777216 colours differ from glibc's pow, where it misrounds\n",
                    tone, tally.pixelsUnlikeLibrary.load());
    }
}

// The powers alone over their ranges in the conversions, each against the exact power rounded once;
// counts the inputs where glibc's pow is not the correctly rounded value.
TEST(EveryColour, PowersAreCorrectlyRounded)
{
    struct Case {
        const char* name;
        double (*ours)(double);
        double exponent, low, high;
    };
    const Case cases[] = {{"t^(1/3)", CubeRootPower, third, 0.008856, 1.25},
                          {"f^3", CubePower, 3.0, 0.206893, 4},
                          {"v^(5/12)", CompandPower, 0.4166666666666667, 0.00304, 4},
                          {"v^2.4", LinearLightPower, 2.4, 0.0893, 1}};
    const long steps = 300000;
    for (const Case& c : cases) {
        long unlikeLibrary = 0;
        for (long i = 0; i < steps; ++i) {
            const double v = c.low + (c.high - c.low) * static_cast<double>(i) / steps;
            const double ours = c.ours(v);
            ASSERT_EQ(ours, static_cast<double>(powq(v, c.exponent))) << c.name << " of " << v;
            unlikeLibrary += ours != std::pow(v, c.exponent);
        }
        std::printf("%s: %ld of %ld differ from glibc's pow\n", c.name, unlikeLibrary, steps);
    }
    for (double huge : {1e30, 1e300, 1.7976931348623157e308})
        EXPECT_EQ(CompandPower(huge), static_cast<double>(powq(huge, 0.4166666666666667))) << huge;
    EXPECT_EQ(CubePower(1e100), static_cast<double>(powq(1e100, 3.0)));
    EXPECT_EQ(CubePower(1e103), INFINITY);
    for (long i = 0; i < steps; ++i) {
        const double x = 1.6 * static_cast<double>(i) / steps;
        ASSERT_EQ(Sine(x), static_cast<double>(sinq(x))) << x;
        ASSERT_EQ(Tangent(x), static_cast<double>(tanq(x))) << x;
    }
}
