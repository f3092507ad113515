#pragma once

// An orthonormal opponent basis for RGB: one brightness axis along grey and two colour axes at
// right angles to it and to each other. Because the basis is orthonormal, noise that is white and
// equal in R, G and B stays white and equal in all three channels, so each channel's noise can be
// measured and removed on its own, and nothing removed from the colour axes shifts brightness.
// Single precision: the channels hold 8-bit samples, and the constants are the same floats in
// every build.
constexpr float opponentY = 0.57735026f;   // 1 / sqrt 3
constexpr float opponentC1 = 0.70710678f;  // 1 / sqrt 2
constexpr float opponentC2 = 0.40824829f;  // 1 / sqrt 6

inline void RgbToOpponent(float r, float g, float b, float& y, float& c1, float& c2)
{
    y = ((r + g) + b) * opponentY;
    c1 = (r - b) * opponentC1;
    c2 = ((r + b) - (g + g)) * opponentC2;
}

inline void OpponentToRgb(float y, float c1, float c2, float& r, float& g, float& b)
{
    const float grey = y * opponentY;
    const float redBlue = c1 * opponentC1;
    const float green = c2 * opponentC2;
    r = (grey + redBlue) + green;
    g = grey - (green + green);
    b = (grey - redBlue) + green;
}
