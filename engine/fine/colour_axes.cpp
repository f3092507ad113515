#include "engine/fine/colour_axes.h"

#include <cmath>
#include <utility>

#include "engine/fine/eight_floats.h"
#include "engine/fine/patch_transform.h"
#include "engine/wide_loops.h"

namespace {

// Cyclic Jacobi sweeps over a 3 x 3 symmetric matrix: the off-diagonal part shrinks quadratically,
// and three sweeps give the pictures the same bytes as five (two move a few samples by one level).
// A fixed number keeps the work, and so the bits, independent of how fast it converges.
constexpr int jacobiSweeps = 3;

// sums[pair][lane]: the six products' lane sums, pairs (0,0) (1,1) (2,2) (0,1) (0,2) (1,2).
QV_LOOP_BODY void CovarianceBody(const float* const* pilot, int count, float* sums)
{
    // A patch's mean (its first coefficient) is the pilot's own, not filtered: it is left out.
    const EightFloats notMean = {0.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f};
    EightFloats s00 = {}, s11 = {}, s22 = {}, s01 = {}, s02 = {}, s12 = {};
    for (int at = 0; at < count * patchSize; at += 8) {
        EightFloats x0 = LoadEight(pilot[0] + at), x1 = LoadEight(pilot[1] + at), x2 = LoadEight(pilot[2] + at);
        if (at % patchSize == 0) {
            x0 = x0 * notMean;
            x1 = x1 * notMean;
            x2 = x2 * notMean;
        }
        s00 = s00 + x0 * x0;
        s11 = s11 + x1 * x1;
        s22 = s22 + x2 * x2;
        s01 = s01 + x0 * x1;
        s02 = s02 + x0 * x2;
        s12 = s12 + x1 * x2;
    }
    StoreEight(sums, s00);
    StoreEight(sums + 8, s11);
    StoreEight(sums + 16, s22);
    StoreEight(sums + 24, s01);
    StoreEight(sums + 32, s02);
    StoreEight(sums + 40, s12);
}
QV_WIDE_LOOP(Covariance, (const float* const* pilot, int count, float* sums), (pilot, count, sums))

// One plane rotation of the Jacobi method in the (p, q) plane: a becomes J' a J with its (p, q)
// element zero, and the eigenvectors' columns v become v J.
void JacobiRotation(double (&a)[3][3], double (&v)[3][3], int p, int q)
{
    if (a[p][q] == 0.0) return;
    const double theta = (a[q][q] - a[p][p]) / (2.0 * a[p][q]);
    const double t = (theta >= 0.0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
    const double c = 1.0 / std::sqrt(t * t + 1.0), s = t * c;
    for (int k = 0; k < 3; ++k) {
        const double kp = a[k][p], kq = a[k][q];
        a[k][p] = c * kp - s * kq;
        a[k][q] = s * kp + c * kq;
    }
    for (int k = 0; k < 3; ++k) {
        const double pk = a[p][k], qk = a[q][k];
        a[p][k] = c * pk - s * qk;
        a[q][k] = s * pk + c * qk;
    }
    for (int k = 0; k < 3; ++k) {
        const double kp = v[k][p], kq = v[k][q];
        v[k][p] = c * kp - s * kq;
        v[k][q] = s * kp + c * kq;
    }
}

double LaneTotal(const float* lanes)
{
    float total = lanes[0];
    for (int i = 1; i < 8; ++i) total = total + lanes[i];
    return total;
}

}  // namespace

ColourAxes GroupColourAxes(const float* const* pilot, int count)
{
    float sums[6 * 8];
    Covariance(pilot, count, sums);
    const double d0 = LaneTotal(sums), d1 = LaneTotal(sums + 8), d2 = LaneTotal(sums + 16);
    const double o01 = LaneTotal(sums + 24), o02 = LaneTotal(sums + 32), o12 = LaneTotal(sums + 40);
    double a[3][3] = {{d0, o01, o02}, {o01, d1, o12}, {o02, o12, d2}};
    double v[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (int sweep = 0; sweep < jacobiSweeps; ++sweep) {
        JacobiRotation(a, v, 0, 1);
        JacobiRotation(a, v, 0, 2);
        JacobiRotation(a, v, 1, 2);
    }
    // The axes by decreasing power, ties in the channels' order; each pointing where its largest
    // component is positive (the first of equals), so that one group gives one set of axes.
    int order[3] = {0, 1, 2};
    for (int i = 1; i < 3; ++i)
        for (int j = i; j > 0 && a[order[j]][order[j]] > a[order[j - 1]][order[j - 1]]; --j)
            std::swap(order[j], order[j - 1]);
    ColourAxes axes;
    for (int k = 0; k < 3; ++k) {
        const int column = order[k];
        int largest = 0;
        for (int c = 1; c < 3; ++c)
            if (std::fabs(v[c][column]) > std::fabs(v[largest][column])) largest = c;
        const double sign = v[largest][column] < 0.0 ? -1.0 : 1.0;
        for (int c = 0; c < 3; ++c) axes.axis[k][c] = static_cast<float>(sign * v[c][column]);
    }
    return axes;
}
