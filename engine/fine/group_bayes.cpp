#include "engine/fine/group_bayes.h"

#include "engine/fine/eight_floats.h"
#include "engine/wide_loops.h"

namespace {

// The lower triangle of a symmetric matrix of the values, row after row.
constexpr int triangleSize = bayesValues * (bayesValues + 1) / 2;
constexpr int At(int row, int column)
{
    return row * (row + 1) / 2 + column;
}

QV_LOOP_BODY EightFloats Load(const float* values, int index)
{
    return LoadEight(values + index * bayesLanes);
}

// The pilot's mean of each value over the group, and each pilot patch less it.
QV_LOOP_BODY void Centre(const float* pilot, EightFloats (&mean)[bayesValues],
                         EightFloats (&centred)[bayesGroup][bayesValues])
{
    for (int i = 0; i < bayesValues; ++i) {
        EightFloats sum = Load(pilot, i);
        for (int n = 1; n < bayesGroup; ++n) sum = sum + Load(pilot, n * bayesValues + i);
        mean[i] = sum / SplatEight(static_cast<float>(bayesGroup));
    }
    for (int n = 0; n < bayesGroup; ++n)
        for (int i = 0; i < bayesValues; ++i) centred[n][i] = Load(pilot, n * bayesValues + i) - mean[i];
}

// Entries (i ... i + rows - 1, j) of the pilot's covariance over the group, their sums side by side.
template <int rows>
QV_LOOP_BODY void CovarianceColumn(const EightFloats (&centred)[bayesGroup][bayesValues], int i, int j,
                                   EightFloats (&matrix)[triangleSize])
{
    const EightFloats scale = SplatEight(1.0f / static_cast<float>(bayesGroup - 1));
    EightFloats sum[rows];
    for (int r = 0; r < rows; ++r) sum[r] = centred[0][i + r] * centred[0][j];
    for (int n = 1; n < bayesGroup; ++n)
        for (int r = 0; r < rows; ++r) sum[r] = sum[r] + centred[n][i + r] * centred[n][j];
    for (int r = 0; r < rows; ++r) matrix[At(i + r, j)] = sum[r] * scale;
}

// C + N: the pilot's covariance of the values over the group, four entries of a column at a time,
// and the noise on its diagonal.
QV_LOOP_BODY void CovarianceWithNoise(const EightFloats (&centred)[bayesGroup][bayesValues], const float* noise,
                                      EightFloats (&matrix)[triangleSize])
{
    for (int j = 0; j < bayesValues; ++j) {
        int i = j;
        for (; i + 4 <= bayesValues; i += 4) CovarianceColumn<4>(centred, i, j, matrix);
        for (; i < bayesValues; ++i) CovarianceColumn<1>(centred, i, j, matrix);
    }
    for (int i = 0; i < bayesValues; ++i) matrix[At(i, i)] = matrix[At(i, i)] + Load(noise, i);
}

// L D L' in place: L's strict lower part replaces the matrix's, and the inverse of D is returned.
// Every pivot is at least the smallest eigenvalue, and so at least the least noise variance: a
// pivot rounded below it is taken as that.
QV_LOOP_BODY void Factorise(const float* noise, EightFloats (&matrix)[triangleSize],
                            EightFloats (&inverse)[bayesValues])
{
    EightFloats least = Load(noise, 0);
    for (int i = 1; i < bayesValues; ++i) {
        const EightFloats v = Load(noise, i);
        least = v < least ? v : least;
    }
    EightFloats pivot[bayesValues], scaled[bayesValues];
    for (int j = 0; j < bayesValues; ++j) {
        for (int k = 0; k < j; ++k) scaled[k] = matrix[At(j, k)] * pivot[k];
        EightFloats d = matrix[At(j, j)];
        for (int k = 0; k < j; ++k) d = d - matrix[At(j, k)] * scaled[k];
        d = d < least ? least : d;
        pivot[j] = d;
        inverse[j] = SplatEight(1.0f) / d;
        for (int i = j + 1; i < bayesValues; ++i) {
            EightFloats s = matrix[At(i, j)];
            for (int k = 0; k < j; ++k) s = s - matrix[At(i, k)] * scaled[k];
            matrix[At(i, j)] = s * inverse[j];
        }
    }
}

// Patches solved side by side: their sums are independent, and each factor is read once for all
// of them. Ten took 1 to 3 % less of the whole run's time than four; all twenty, more.
constexpr int solvedTogether = 10;
static_assert(bayesGroup % solvedTogether == 0);

// Each noisy patch y becomes y - N (C + N)^-1 (y - mean), which is mean + C (C + N)^-1 (y - mean).
QV_LOOP_BODY void Estimate(const float* noisy, const float* noise, const EightFloats (&mean)[bayesValues],
                           const EightFloats (&factor)[triangleSize], const EightFloats (&inverse)[bayesValues],
                           float* estimate)
{
    constexpr int patchFloats = bayesValues * bayesLanes;
    for (int first = 0; first < bayesGroup; first += solvedTogether) {
        const float* y = noisy + first * patchFloats;
        EightFloats x[bayesValues][solvedTogether];
        for (int i = 0; i < bayesValues; ++i) {
            EightFloats s[solvedTogether];
            for (int n = 0; n < solvedTogether; ++n) s[n] = Load(y + n * patchFloats, i) - mean[i];
            for (int k = 0; k < i; ++k)
                for (int n = 0; n < solvedTogether; ++n) s[n] = s[n] - factor[At(i, k)] * x[k][n];
            for (int n = 0; n < solvedTogether; ++n) x[i][n] = s[n];
        }
        for (int i = 0; i < bayesValues; ++i)
            for (int n = 0; n < solvedTogether; ++n) x[i][n] = x[i][n] * inverse[i];
        for (int i = bayesValues - 1; i >= 0; --i) {
            EightFloats s[solvedTogether];
            for (int n = 0; n < solvedTogether; ++n) s[n] = x[i][n];
            for (int k = i + 1; k < bayesValues; ++k)
                for (int n = 0; n < solvedTogether; ++n) s[n] = s[n] - factor[At(k, i)] * x[k][n];
            for (int n = 0; n < solvedTogether; ++n) x[i][n] = s[n];
        }
        float* out = estimate + first * patchFloats;
        for (int n = 0; n < solvedTogether; ++n)
            for (int i = 0; i < bayesValues; ++i)
                StoreEight(out + n * patchFloats + i * bayesLanes,
                           Load(y + n * patchFloats, i) - Load(noise, i) * x[i][n]);
    }
}

QV_LOOP_BODY void BayesEstimateGroupsBody(const float* pilot, const float* noisy, const float* noise, float* estimate)
{
    EightFloats mean[bayesValues];
    EightFloats centred[bayesGroup][bayesValues];
    EightFloats matrix[triangleSize];
    EightFloats inverse[bayesValues];
    Centre(pilot, mean, centred);
    CovarianceWithNoise(centred, noise, matrix);
    Factorise(noise, matrix, inverse);
    Estimate(noisy, noise, mean, matrix, inverse, estimate);
}

}  // namespace

QV_WIDE_LOOP(BayesEstimateGroups, (const float* pilot, const float* noisy, const float* noise, float* estimate),
             (pilot, noisy, noise, estimate))
