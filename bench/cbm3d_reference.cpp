// cbm3d_reference SIGMA IN.pfm OUT.pfm [THREADS]
//
// The field's reference for white noise, colour BM3D told the noise's σ, built from its published
// description (Dabov, Foi, Katkovnik and Egiazarian 2007; the parameters of their "normal" and
// "very noisy" profiles): the quality benchmark sets it beside the fine method on the same
// pictures. It shares no code with the engine, so that a fault in one cannot hide in the other.
// Grouping on the opponent space's brightness, the same groups filter all three channels: hard
// thresholding in a 2-D DCT and a Haar transform across the group, then an empirical Wiener
// filter whose weights come from the first result; Kaiser-windowed aggregation.
// Pictures are PFM (float RGB, 0 to 255), so the noise can stay unclipped as in the published
// figures. Deterministic for a given number of threads.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Picture {
    int width = 0, height = 0;
    std::vector<float> channel[3];
    std::size_t Size() const { return static_cast<std::size_t>(width) * height; }
};

Picture ReadPfm(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) throw std::runtime_error("cannot open " + path);
    Picture picture;
    char kind[3] = {};
    double scale = 0;
    const bool header = std::fscanf(file, "%2s %d %d %lf", kind, &picture.width, &picture.height, &scale) == 4 &&
                        std::fgetc(file) != EOF && std::string(kind) == "PF" && scale < 0 && picture.width > 0 &&
                        picture.height > 0 && picture.width <= 1 << 14 && picture.height <= 1 << 14;
    std::vector<float> samples(header ? picture.Size() * 3 : 0);
    const bool read = header && std::fread(samples.data(), sizeof(float), samples.size(), file) == samples.size();
    std::fclose(file);
    if (!read) throw std::runtime_error(path + ": not a little-endian colour PFM");
    for (auto& c : picture.channel) c.resize(picture.Size());
    // PFM rows run bottom to top.
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x)
            for (int c = 0; c < 3; ++c)
                picture.channel[c][static_cast<std::size_t>(y) * picture.width + x] =
                    samples[(static_cast<std::size_t>(picture.height - 1 - y) * picture.width + x) * 3 + c];
    return picture;
}

void WritePfm(const std::string& path, const Picture& picture)
{
    std::vector<float> samples(picture.Size() * 3);
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x)
            for (int c = 0; c < 3; ++c)
                samples[(static_cast<std::size_t>(picture.height - 1 - y) * picture.width + x) * 3 + c] =
                    picture.channel[c][static_cast<std::size_t>(y) * picture.width + x];
    FILE* file = std::fopen(path.c_str(), "wb");
    const bool written = file && std::fprintf(file, "PF\n%d %d\n-1\n", picture.width, picture.height) > 0 &&
                         std::fwrite(samples.data(), sizeof(float), samples.size(), file) == samples.size();
    if (!file || std::fclose(file) != 0 || !written) throw std::runtime_error("cannot write " + path);
}

// The published method's opponent space and its inverse.
constexpr double toOpponent[3][3] = {{1 / 3.0, 1 / 3.0, 1 / 3.0}, {0.5, 0, -0.5}, {0.25, -0.5, 0.25}};
constexpr double fromOpponent[3][3] = {{1, 1, 2 / 3.0}, {1, 0, -4 / 3.0}, {1, -1, 2 / 3.0}};

Picture Mixed(const Picture& in, const double (&matrix)[3][3])
{
    Picture out{in.width, in.height, {}};
    for (int c = 0; c < 3; ++c) {
        out.channel[c].resize(in.Size());
        for (std::size_t i = 0; i < in.Size(); ++i)
            out.channel[c][i] = static_cast<float>(matrix[c][0] * in.channel[0][i] + matrix[c][1] * in.channel[1][i] +
                                                   matrix[c][2] * in.channel[2][i]);
    }
    return out;
}

constexpr int largestSide = 12;

// A separable 2-D transform of n x n patches by an n x n matrix whose rows are unit vectors (so
// white noise keeps its deviation in every coefficient), and its inverse.
struct PatchTransform {
    int n;
    std::vector<double> forward, inverse;  // row-major n x n

    // The n x n patch at patch (rows stride apart) to its n * n coefficients.
    void Forward(const float* patch, int stride, float* out) const
    {
        Apply(forward, [&](int y, int x) { return patch[static_cast<std::size_t>(y) * stride + x]; }, out);
    }

    void Inverse(const float* coefficients, float* patch) const
    {
        Apply(inverse, [&](int y, int x) { return coefficients[y * n + x]; }, patch);
    }

private:
    // out = m * in * m^T.
    template <class Sample>
    void Apply(const std::vector<double>& m, const Sample& in, float* out) const
    {
        double rows[largestSide * largestSide];
        for (int y = 0; y < n; ++y)
            for (int u = 0; u < n; ++u) {
                double sum = 0;
                for (int x = 0; x < n; ++x) sum += m[u * n + x] * in(y, x);
                rows[y * n + u] = sum;
            }
        for (int v = 0; v < n; ++v)
            for (int u = 0; u < n; ++u) {
                double sum = 0;
                for (int y = 0; y < n; ++y) sum += m[v * n + y] * rows[y * n + u];
                out[v * n + u] = static_cast<float>(sum);
            }
    }
};

std::vector<double> Inverted(std::vector<double> m, int n)
{
    std::vector<double> inverse(static_cast<std::size_t>(n) * n, 0.0);
    for (int i = 0; i < n; ++i) inverse[i * n + i] = 1;
    for (int column = 0; column < n; ++column) {
        int pivot = column;
        for (int r = column + 1; r < n; ++r)
            if (std::fabs(m[r * n + column]) > std::fabs(m[pivot * n + column])) pivot = r;
        for (int k = 0; k < n; ++k) {
            std::swap(m[column * n + k], m[pivot * n + k]);
            std::swap(inverse[column * n + k], inverse[pivot * n + k]);
        }
        const double scale = 1 / m[column * n + column];
        for (int k = 0; k < n; ++k) m[column * n + k] *= scale, inverse[column * n + k] *= scale;
        for (int r = 0; r < n; ++r) {
            if (r == column) continue;
            const double factor = m[r * n + column];
            for (int k = 0; k < n; ++k) m[r * n + k] -= factor * m[column * n + k], inverse[r * n + k] -= factor * inverse[column * n + k];
        }
    }
    return inverse;
}

PatchTransform WithUnitRows(std::vector<double> forward, int n)
{
    for (int u = 0; u < n; ++u) {
        double norm = 0;
        for (int x = 0; x < n; ++x) norm += forward[u * n + x] * forward[u * n + x];
        for (int x = 0; x < n; ++x) forward[u * n + x] /= std::sqrt(norm);
    }
    std::vector<double> inverse = Inverted(forward, n);
    return {n, std::move(forward), std::move(inverse)};
}

PatchTransform Dct(int n)
{
    std::vector<double> basis(static_cast<std::size_t>(n) * n);
    for (int u = 0; u < n; ++u)
        for (int x = 0; x < n; ++x) basis[u * n + x] = std::cos(std::numbers::pi * (2 * x + 1) * u / (2.0 * n));
    return WithUnitRows(basis, n);
}

// The biorthogonal spline wavelet 1.5 over n samples (a power of two), every level, periodic:
// each level's details are Haar differences of pairs, its approximations the pairs' sums with
// their neighbours' differences added (the decomposition low-pass of ten taps).
PatchTransform BiorthogonalSpline15(int n)
{
    const double a = 3 / 128.0, b = 22 / 128.0;
    const double lowPass[10] = {a, -a, -b, b, 1, 1, b, -b, -a, a};  // times 1/sqrt 2, which the rows' norms take out
    // The current approximations as rows of the matrix over the n samples; level by level.
    std::vector<std::vector<double>> approximations(n, std::vector<double>(n, 0.0)), rows;
    for (int i = 0; i < n; ++i) approximations[i][i] = 1;
    for (int length = n; length > 1; length /= 2) {
        std::vector<std::vector<double>> next, details;
        for (int k = 0; k < length / 2; ++k) {
            std::vector<double> low(n, 0.0), high(n, 0.0);
            for (int j = 0; j < 10; ++j) {
                const auto& source = approximations[((2 * k - 4 + j) % length + length) % length];
                for (int x = 0; x < n; ++x) low[x] += lowPass[j] * source[x];
            }
            for (int x = 0; x < n; ++x) high[x] = approximations[2 * k + 1][x] - approximations[2 * k][x];
            next.push_back(low);
            details.push_back(high);
        }
        rows.insert(rows.begin(), details.begin(), details.end());
        approximations = next;
    }
    rows.insert(rows.begin(), approximations[0]);
    std::vector<double> forward;
    for (const auto& row : rows) forward.insert(forward.end(), row.begin(), row.end());
    return WithUnitRows(forward, n);
}

// The orthonormal Haar transform across a group of count (a power of two) patches of size
// coefficients each, and back; work is scratch of the group's size.
void HaarAcross(std::vector<float>& group, int count, int size, bool inverse, std::vector<float>& work)
{
    const float half = static_cast<float>(std::numbers::sqrt2 / 2);
    for (int length = inverse ? 2 : count; inverse ? length <= count : length > 1;
         length = inverse ? length * 2 : length / 2) {
        for (int i = 0; i < length / 2; ++i)
            for (int k = 0; k < size; ++k) {
                const std::size_t even = static_cast<std::size_t>(2 * i) * size + k, odd = even + size;
                const std::size_t low = static_cast<std::size_t>(i) * size + k, high = low + length / 2 * size;
                if (inverse) {
                    work[even] = (group[low] + group[high]) * half;
                    work[odd] = (group[low] - group[high]) * half;
                } else {
                    work[low] = (group[even] + group[odd]) * half;
                    work[high] = (group[even] - group[odd]) * half;
                }
            }
        std::copy_n(work.begin(), static_cast<std::size_t>(length) * size, group.begin());
    }
}

std::vector<float> KaiserWindow(int n, double beta)
{
    const auto besselI0 = [](double x) {
        double sum = 1, term = 1;
        for (int k = 1; k < 40; ++k) {
            term *= (x / (2 * k)) * (x / (2 * k));
            sum += term;
        }
        return sum;
    };
    std::vector<float> line(n), window(static_cast<std::size_t>(n) * n);
    for (int i = 0; i < n; ++i) {
        const double r = 2.0 * i / (n - 1) - 1;
        line[i] = static_cast<float>(besselI0(beta * std::sqrt(1 - r * r)) / besselI0(beta));
    }
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) window[y * n + x] = line[y] * line[x];
    return window;
}

struct Step {
    int side;           // patch side
    int largestGroup;   // groups are cut to a power of two at most this
    int stride;         // between references
    int reach;          // candidates within this of the reference, each way
    float matchLimit;   // largest mean squared difference of a matched patch
    float threshold;    // hard thresholding at this times σ (the first step)
    float prefilter;    // distances between 2-D coefficients thresholded at this times σ (0: none)
};

// The published profiles: "normal" up to σ 40, "very noisy" above.
Step FirstStep(float sigma)
{
    return sigma <= 40 ? Step{8, 16, 3, 19, 3000, 2.7f, 0} : Step{12, 16, 4, 19, 5000, 2.8f, 2.0f};
}

Step SecondStep(float sigma)
{
    return sigma <= 40 ? Step{8, 32, 3, 19, 400, 0, 0} : Step{11, 32, 6, 19, 3500, 0, 0};
}

std::vector<int> References(int length, const Step& step)
{
    std::vector<int> at;
    for (int i = 0; i <= length - step.side; i += step.stride) at.push_back(i);
    if (at.back() != length - step.side) at.push_back(length - step.side);
    return at;
}

// Every patch position's 2-D coefficients of the plane, those under the threshold zeroed: the
// first step's distances under strong noise.
std::vector<float> PrefilteredPatches(const std::vector<float>& plane, int width, int height, const PatchTransform& dct,
                                      float threshold)
{
    const int n = dct.n, across = width - n + 1;
    std::vector<float> patches(static_cast<std::size_t>(across) * (height - n + 1) * n * n);
    for (int y = 0; y + n <= height; ++y)
        for (int x = 0; x + n <= width; ++x) {
            float* out = &patches[(static_cast<std::size_t>(y) * across + x) * n * n];
            dct.Forward(&plane[static_cast<std::size_t>(y) * width + x], width, out);
            for (int i = 1; i < n * n; ++i)
                if (std::fabs(out[i]) < threshold) out[i] = 0;
        }
    return patches;
}

struct Match {
    float distance;
    int at;  // y * width + x of the patch's corner
};

// The reference's group in found: the candidates within the limit, nearest first (ties by
// position), cut to a power of two.
void GroupOf(const std::vector<float>& plane, const std::vector<float>& prefiltered, int width, int height,
             const Step& step, int rx, int ry, std::vector<Match>& found)
{
    const int n = step.side, across = width - n + 1;
    found.clear();
    for (int y = std::max(0, ry - step.reach); y <= std::min(height - n, ry + step.reach); ++y)
        for (int x = std::max(0, rx - step.reach); x <= std::min(width - n, rx + step.reach); ++x) {
            float sum = 0;
            if (prefiltered.empty()) {
                for (int j = 0; j < n; ++j) {
                    const float* a = &plane[static_cast<std::size_t>(ry + j) * width + rx];
                    const float* b = &plane[static_cast<std::size_t>(y + j) * width + x];
                    for (int i = 0; i < n; ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
                }
            } else {
                const float* a = &prefiltered[(static_cast<std::size_t>(ry) * across + rx) * n * n];
                const float* b = &prefiltered[(static_cast<std::size_t>(y) * across + x) * n * n];
                for (int i = 0; i < n * n; ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
            }
            const float distance = sum / static_cast<float>(n * n);
            if (distance <= step.matchLimit || (x == rx && y == ry)) found.push_back({distance, y * width + x});
        }
    std::sort(found.begin(), found.end(), [](const Match& a, const Match& b) {
        return a.distance < b.distance || (a.distance == b.distance && a.at < b.at);
    });
    int count = 1;
    while (count * 2 <= std::min<int>(static_cast<int>(found.size()), step.largestGroup)) count *= 2;
    found.resize(count);
}

struct Sums {
    std::vector<double> value[3], weight[3];
    explicit Sums(std::size_t size)
    {
        for (int c = 0; c < 3; ++c) value[c].assign(size, 0), weight[c].assign(size, 0);
    }
};

// One step over the references of rows first, first + every, ...: the first step filters the
// noisy groups by hard thresholding, the second (basic given) by the Wiener filter of basic's.
void StepRows(const Picture& noisy, const Picture* basic, const float (&sigma)[3], const Step& step,
              const std::vector<float>& prefiltered, int first, int every, Sums& sums)
{
    const int n = step.side, size = n * n, width = noisy.width;
    // The first step's 8 x 8 patches take the biorthogonal wavelet, as published; the rest the DCT.
    const PatchTransform dct = !basic && n == 8 ? BiorthogonalSpline15(n) : Dct(n);
    const std::vector<float> window = KaiserWindow(n, 2.0);
    const std::vector<float>& plane = basic ? basic->channel[0] : noisy.channel[0];
    const std::vector<int> rows = References(noisy.height, step), columns = References(width, step);
    std::vector<float> group(static_cast<std::size_t>(step.largestGroup) * size), pilot(group.size()), work(group.size()),
        patch(size);
    std::vector<Match> matches;
    for (std::size_t r = first; r < rows.size(); r += every)
        for (int rx : columns) {
            GroupOf(plane, prefiltered, width, noisy.height, step, rx, rows[r], matches);
            const int count = static_cast<int>(matches.size());
            for (int c = 0; c < 3; ++c) {
                for (int m = 0; m < count; ++m) {
                    dct.Forward(&noisy.channel[c][matches[m].at], width, &group[static_cast<std::size_t>(m) * size]);
                    if (basic) dct.Forward(&basic->channel[c][matches[m].at], width, &pilot[static_cast<std::size_t>(m) * size]);
                }
                HaarAcross(group, count, size, false, work);
                const float variance = sigma[c] * sigma[c];
                double kept = 0;
                if (basic) {
                    HaarAcross(pilot, count, size, false, work);
                    for (int i = 0; i < count * size; ++i) {
                        const float power = pilot[i] * pilot[i], gain = power / (power + variance);
                        group[i] *= gain;
                        kept += static_cast<double>(gain) * gain;
                    }
                } else {
                    for (int i = 0; i < count * size; ++i) {
                        if (std::fabs(group[i]) < step.threshold * sigma[c]) group[i] = 0;
                        else kept += 1;
                    }
                }
                HaarAcross(group, count, size, true, work);
                const double weight = 1.0 / (variance * std::max(kept, basic ? 1e-9 : 1.0));
                for (int m = 0; m < count; ++m) {
                    dct.Inverse(&group[static_cast<std::size_t>(m) * size], patch.data());
                    for (int j = 0; j < n; ++j)
                        for (int i = 0; i < n; ++i) {
                            const std::size_t at = matches[m].at + static_cast<std::size_t>(j) * width + i;
                            const double w = weight * window[j * n + i];
                            sums.value[c][at] += w * patch[j * n + i];
                            sums.weight[c][at] += w;
                        }
                }
            }
        }
}

Picture RunStep(const Picture& noisy, const Picture* basic, const float (&sigma)[3], const Step& step, int threads)
{
    std::vector<float> prefiltered;
    if (!basic && step.prefilter > 0)
        prefiltered = PrefilteredPatches(noisy.channel[0], noisy.width, noisy.height, Dct(step.side),
                                         step.prefilter * sigma[0]);
    std::vector<Sums> sums(threads, Sums(noisy.Size()));
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back(StepRows, std::cref(noisy), basic, std::cref(sigma), std::cref(step),
                             std::cref(prefiltered), t, threads, std::ref(sums[t]));
    for (auto& worker : workers) worker.join();
    Picture out{noisy.width, noisy.height, {}};
    for (int c = 0; c < 3; ++c) {
        out.channel[c].resize(noisy.Size());
        for (std::size_t i = 0; i < noisy.Size(); ++i) {
            double value = 0, weight = 0;
            for (const Sums& s : sums) value += s.value[c][i], weight += s.weight[c][i];
            out.channel[c][i] = static_cast<float>(value / weight);
        }
    }
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4 || argc > 5) {
        std::fprintf(stderr, "usage: cbm3d_reference SIGMA IN.pfm OUT.pfm [THREADS]\n");
        return 2;
    }
    const float sigma = std::strtof(argv[1], nullptr);
    const int threads = argc == 5 ? std::atoi(argv[4]) : 1;
    if (!(sigma > 0 && sigma <= 255) || threads < 1 || threads > 64) {
        std::fprintf(stderr, "cbm3d_reference: SIGMA must lie in (0, 255] and THREADS in 1 ... 64\n");
        return 2;
    }
    try {
        const Picture noisy = Mixed(ReadPfm(argv[2]), toOpponent);
        if (noisy.width < largestSide || noisy.height < largestSide)
            throw std::runtime_error("the picture is smaller than 12 x 12");
        // White noise of σ in R, G and B has σ times each row's length in the opponent channels.
        float channelSigma[3];
        for (int c = 0; c < 3; ++c)
            channelSigma[c] = static_cast<float>(sigma * std::sqrt(toOpponent[c][0] * toOpponent[c][0] +
                                                                   toOpponent[c][1] * toOpponent[c][1] +
                                                                   toOpponent[c][2] * toOpponent[c][2]));
        const Picture basic = RunStep(noisy, nullptr, channelSigma, FirstStep(sigma), threads);
        const Picture final = RunStep(noisy, &basic, channelSigma, SecondStep(sigma), threads);
        WritePfm(argv[3], Mixed(final, fromOpponent));
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "cbm3d_reference: %s\n", failure.what());
        return 1;
    }
    return 0;
}
