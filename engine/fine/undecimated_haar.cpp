#include "engine/fine/undecimated_haar.h"

#include "engine/wide_loops.h"

namespace {

constexpr float analysisScale = 0.70710678f;    // 1 / sqrt 2
constexpr float synthesisScale = 0.35355339f;   // 1 / (2 sqrt 2)

}  // namespace

QV_LOOP_BODY void AnalyseRowBody(const float* row, float* low, float* high, int n, int step)
{
    const int inside = n - step;
    for (int x = 0; x < inside; ++x) {
        low[x] = (row[x] + row[x + step]) * analysisScale;
        high[x] = (row[x] - row[x + step]) * analysisScale;
    }
    for (int x = inside; x < n; ++x) {
        low[x] = (row[x] + row[x - inside]) * analysisScale;
        high[x] = (row[x] - row[x - inside]) * analysisScale;
    }
}
QV_WIDE_LOOP(AnalyseRow,
             (const float* row, float* low, float* high, int n, int step),
             (row, low, high, n, step))

QV_LOOP_BODY void SynthesiseRowBody(const float* low, const float* high, float* row, int n, int step)
{
    for (int x = 0; x < step; ++x)
        row[x] = ((low[x] + high[x]) + (low[x + n - step] - high[x + n - step])) * synthesisScale;
    for (int x = step; x < n; ++x)
        row[x] = ((low[x] + high[x]) + (low[x - step] - high[x - step])) * synthesisScale;
}
QV_WIDE_LOOP(SynthesiseRow,
             (const float* low, const float* high, float* row, int n, int step),
             (low, high, row, n, step))

QV_LOOP_BODY void AnalyseRowPairBody(const float* row, const float* partner, float* low, float* high,
                                      int n)
{
    for (int x = 0; x < n; ++x) {
        low[x] = (row[x] + partner[x]) * analysisScale;
        high[x] = (row[x] - partner[x]) * analysisScale;
    }
}
QV_WIDE_LOOP(AnalyseRowPair,
             (const float* row, const float* partner, float* low, float* high, int n),
             (row, partner, low, high, n))

QV_LOOP_BODY void SynthesiseRowPairBody(const float* low, const float* high, const float* lowBefore,
                                         const float* highBefore, float* row, int n)
{
    for (int x = 0; x < n; ++x)
        row[x] = ((low[x] + high[x]) + (lowBefore[x] - highBefore[x])) * synthesisScale;
}
QV_WIDE_LOOP(SynthesiseRowPair,
             (const float* low, const float* high, const float* lowBefore, const float* highBefore,
              float* row, int n),
             (low, high, lowBefore, highBefore, row, n))
