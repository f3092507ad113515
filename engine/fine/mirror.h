#pragma once

// Mirrors a position outside 0 ... length - 1 back into it (the edge sample repeated), as often as
// a short picture needs: how the fine method reads beyond a picture's edges.
inline int Mirror(int i, int length)
{
    const int period = 2 * length;
    i %= period;
    if (i < 0) i += period;
    return i < length ? i : period - 1 - i;
}
