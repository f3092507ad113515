#!/usr/bin/python3
"""Denoising quality side by side: qvn's methods and the peers installed from Debian, on white
Gaussian noise and on a camera model.

Two tables, in one run, on clean photographs (bench/quality-photos makes them):

- White noise: seeded Gaussian noise of standard deviation 10, 15, 25, 35 and 50 added to the
  clean picture, clipped and rounded to 8 bits.
- Camera model: the clean sRGB picture to linear light, an RGGB Bayer mosaic, Poisson-Gaussian
  sensor noise of variance a y + b on the linear value y in 0..1, bilinear demosaicing, back to
  sRGB and 8 bits, and optionally JPEG quality 90 (libjpeg through OpenCV, 4:2:0). The reference
  is the same pipeline without the noise (and without JPEG, as the mean of many shots would be).
  Three levels: (a, b) = (0.0015, 4e-6), (0.004, 2e-5), (0.01, 1e-4).

Every program denoises the same noisy pixels (BMP for the processes); every result is scored
against the clean picture (white noise) or the reference (camera model): PSNR over R, G and B,
SSIM, the gain in PSNR over the noisy picture, seconds per megapixel and peak memory. qvn and
ImageMagick run as processes (BMP in and out, so their time includes reading and writing; peak
memory is the process's); the Python peers are timed around their call, and their memory is what
the call added to the interpreter's peak. Runs go one after another, never at once.

    bench/quality-photos                       # once: the Python peers and the photographs
    bench/denoise_quality.py                   # every picture, both tables
    bench/denoise_quality.py --fast            # six crops of 192 x 192, for quick iterations
    bench/denoise_quality.py --qvn-before OLD/qvn --without classic --without OpenCV
    bench/denoise_quality.py --large 4000x3000 --without OpenCV build/quality-photos/seeding.png
    bench/denoise_quality.py --fast --tables camera --jpeg-quality 80   # a harder proxy

--large adds a camera-sized picture mirror-tiled from the first (OpenCV takes minutes there).
--qvn-before adds the fine method of a second qvn build beside this one's (today's fine against
a new one in the same run). The peers' settings come from the noise: for white noise its sigma,
for the camera model the standard deviation of the noisy picture less the reference (the figure a
user would have to guess; the peers are given it, qvn is blind). scikit-image's BayesShrink
measures its own noise.
"""
import argparse
import csv
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time

import cv2
import numpy as np
from scipy import ndimage
from skimage.metrics import peak_signal_noise_ratio, structural_similarity

REPOSITORY = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WHITE_SIGMAS = (10, 15, 25, 35, 50)
CAMERA_LEVELS = ((0.0015, 4e-6), (0.004, 2e-5), (0.01, 1e-4))
JPEG_QUALITY = 90
FAST_CROP = 192
FAST_PICTURES = ("aitzgorri", "clock", "fig", "ladybird", "stream", "storm")

# The peers' settings against the noise's sigma: at 10, 20 and 30 those of ../shared/peers, at 15,
# 25, 35 and 50 the best on the fast mode's crops (white noise); other sigmas interpolate linearly
# and hold the end values beyond.
NLM_H = ((5, 3.0), (10, 5.0), (15, 9.0), (20, 13.0), (25, 16.0), (30, 19.5), (35, 22.0), (50, 28.0))
IMAGEMAGICK_PERCENT = ((5, 2.0), (10, 4.0), (15, 8.0), (20, 10.0), (25, 15.0), (30, 18.0), (35, 24.0), (50, 38.0))

# ImageMagick reads resource caps from policy.xml on MAGICK_CONFIGURE_PATH; Debian's cap memory at
# 256 MiB and width at 16K pixels, which sends a 12-megapixel picture to a disk cache or fails.
LIFTED_POLICY = """<policymap>
  <policy domain="resource" name="memory" value="8GiB"/>
  <policy domain="resource" name="map" value="8GiB"/>
  <policy domain="resource" name="area" value="1GP"/>
  <policy domain="resource" name="disk" value="16GiB"/>
  <policy domain="resource" name="width" value="128KP"/>
  <policy domain="resource" name="height" value="128KP"/>
</policymap>
"""


# --- The camera model ---------------------------------------------------------------------------

def srgb_to_linear(v):
    return np.where(v <= 0.04045, v / 12.92, ((v + 0.055) / 1.055) ** 2.4)


def linear_to_srgb(y):
    y = np.clip(y, 0.0, 1.0)
    return np.where(y <= 0.0031308, 12.92 * y, 1.055 * y ** (1 / 2.4) - 0.055)


def bayer_masks(height, width):
    """RGGB: red on even rows and columns, blue on odd rows and columns, green elsewhere."""
    rows, columns = np.mgrid[0:height, 0:width]
    red = (rows % 2 == 0) & (columns % 2 == 0)
    blue = (rows % 2 == 1) & (columns % 2 == 1)
    return red, ~(red | blue), blue


def demosaic_bilinear(mosaic):
    """Each missing sample is the mean of its nearest neighbours of that colour; mirrored edges
    keep the pattern's parity."""
    red, green, blue = bayer_masks(*mosaic.shape)
    cross = np.array([[0, 1, 0], [1, 4, 1], [0, 1, 0]]) / 4.0
    square = np.array([[1, 2, 1], [2, 4, 2], [1, 2, 1]]) / 4.0
    planes = [ndimage.convolve(mosaic * mask, kernel, mode="mirror")
              for mask, kernel in ((red, square), (green, cross), (blue, square))]
    return np.stack(planes, axis=-1)


def to_8_bits(linear):
    return np.clip(np.round(linear_to_srgb(linear) * 255.0), 0, 255).astype(np.uint8)


def camera(clean, a, b, quality, generator):
    """Returns the noisy picture and its reference, both 8-bit RGB; quality 0 is without JPEG."""
    linear = srgb_to_linear(clean / 255.0)
    red, green, blue = bayer_masks(*clean.shape[:2])
    mosaic = linear[..., 0] * red + linear[..., 1] * green + linear[..., 2] * blue
    # Poisson-Gaussian: photon counts of y / a scaled by a (variance a y) plus read noise of variance b.
    noisy = generator.poisson(np.maximum(mosaic, 0.0) / a) * a + generator.normal(0.0, np.sqrt(b), mosaic.shape)
    reference = to_8_bits(demosaic_bilinear(mosaic))
    noisy = to_8_bits(demosaic_bilinear(noisy))
    if quality:
        noisy = jpeg(noisy, quality)
    return noisy, reference


def jpeg(picture, quality):
    ok, data = cv2.imencode(".jpg", picture[..., ::-1], [cv2.IMWRITE_JPEG_QUALITY, quality])
    assert ok
    return cv2.imdecode(data, cv2.IMREAD_COLOR)[..., ::-1]


def white(clean, sigma, generator):
    noisy = np.clip(np.round(clean + generator.normal(0.0, sigma, clean.shape)), 0, 255).astype(np.uint8)
    return noisy, clean


# --- The programs -------------------------------------------------------------------------------

def read_rgb(path):
    picture = cv2.imread(path, cv2.IMREAD_COLOR)
    if picture is None:
        raise RuntimeError("cannot read " + path)
    return np.ascontiguousarray(picture[..., ::-1])


def write_rgb(path, picture):
    if not cv2.imwrite(path, np.ascontiguousarray(picture[..., ::-1])):
        raise RuntimeError("cannot write " + path)


def run_process(command, env=None):
    """Runs a command; returns its wall seconds and peak resident memory in MiB (None without
    /usr/bin/time, which measures the program itself rather than this interpreter's fork of it)."""
    timing = os.path.join(tempfile.gettempdir(), "qvn_quality_peak_%d" % os.getpid())
    measured = os.path.exists("/usr/bin/time")
    if measured:
        command = ["/usr/bin/time", "-f", "%M", "-o", timing] + command
    started = time.perf_counter()
    finished = subprocess.run(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    seconds = time.perf_counter() - started
    if finished.returncode != 0:
        raise RuntimeError(" ".join(command) + ": " + finished.stderr.decode(errors="replace").strip())
    if not measured:
        return seconds, None
    with open(timing) as kilobytes:
        peak = int(kilobytes.read().split()[-1]) / 1024.0
    os.remove(timing)
    return seconds, peak


def interpolated(table, sigma):
    sigmas, values = zip(*table)
    return float(np.interp(sigma, sigmas, values))


def qvn_method(qvn, method):
    def run(noisy_bmp, noisy, sigma, work):
        out = os.path.join(work, "qvn.bmp")
        seconds, peak = run_process([qvn, "-q", "-m", method, "--format", "bmp", "-o", out, noisy_bmp])
        return read_rgb(out), seconds, peak
    return run


def imagemagick(policy_folder):
    env = dict(os.environ, MAGICK_CONFIGURE_PATH=policy_folder)

    def run(noisy_bmp, noisy, sigma, work):
        out = os.path.join(work, "im.bmp")
        threshold = "%.1f%%" % interpolated(IMAGEMAGICK_PERCENT, sigma)
        seconds, peak = run_process(["/usr/bin/convert", noisy_bmp, "-wavelet-denoise", threshold,
                                     "-type", "TrueColor", "BMP3:" + out], env)
        return read_rgb(out), seconds, peak
    return run


def memory_status(field):
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1]) / 1024.0
    return None


def in_process(denoise):
    """Times a Python peer around its call; its memory is the rise of the interpreter's peak
    resident set during the call (the peak is reset before it, where Linux allows)."""
    def run(noisy_bmp, noisy, sigma, work):
        try:
            with open("/proc/self/clear_refs", "w") as clear:
                clear.write("5")
            before = memory_status("VmRSS")
        except OSError:
            before = None
        started = time.perf_counter()
        result = denoise(noisy, sigma)
        seconds = time.perf_counter() - started
        peak = memory_status("VmHWM") - before if before is not None else None
        return result, seconds, peak
    return run


def skimage_bayes(noisy, sigma):
    from skimage.restoration import denoise_wavelet
    result = denoise_wavelet(noisy / 255.0, channel_axis=-1, convert2ycbcr=True, method="BayesShrink",
                             mode="soft", wavelet="db4", wavelet_levels=3, rescale_sigma=True)
    return np.clip(np.round(result * 255), 0, 255).astype(np.uint8)


def opencv_nlm(noisy, sigma):
    h = interpolated(NLM_H, sigma)
    bgr = np.ascontiguousarray(noisy[..., ::-1])
    return cv2.fastNlMeansDenoisingColored(bgr, None, h, h, 7, 21)[..., ::-1]


def methods(arguments, policy_folder):
    found = [("qvn classic", qvn_method(arguments.qvn, "classic"))]
    if arguments.qvn_before:
        found.append(("qvn fine (before)", qvn_method(arguments.qvn_before, "fine")))
    found.append(("qvn fine", qvn_method(arguments.qvn, "fine")))
    if os.path.exists("/usr/bin/convert"):
        found.append(("ImageMagick wavelet", imagemagick(policy_folder)))
    found.append(("scikit-image BayesShrink", in_process(skimage_bayes)))
    found.append(("OpenCV NL-means", in_process(opencv_nlm)))
    return [(label, run) for label, run in found
            if not any(left.lower() in label.lower() for left in arguments.without)]


# --- Measuring ----------------------------------------------------------------------------------

def scores(reference, result):
    psnr = peak_signal_noise_ratio(reference, result, data_range=255)
    ssim = structural_similarity(reference, result, channel_axis=-1, data_range=255)
    return psnr, ssim


def conditions(tables, quality):
    """(table, label, make) for every noise, make(clean, generator) -> (noisy, reference)."""
    found = []
    if "white" in tables:
        for sigma in WHITE_SIGMAS:
            found.append(("white", "σ %d" % sigma, lambda clean, g, s=sigma: white(clean, s, g)))
    if "camera" in tables:
        for q in (0, quality):
            for a, b in CAMERA_LEVELS:
                label = "a %g, b %g%s" % (a, b, ", JPEG %d" % q if q else "")
                found.append(("camera", label, lambda clean, g, a=a, b=b, q=q: camera(clean, a, b, q, g)))
    return found


def clean_pictures(arguments):
    paths = arguments.pictures or sorted(glob.glob(os.path.join(arguments.photos, "*.png")))
    if not paths:
        sys.exit("no clean photographs in %s: run bench/quality-photos first" % arguments.photos)
    pictures = []
    for path in paths:
        name = os.path.splitext(os.path.basename(path))[0]
        if arguments.fast and not arguments.pictures and name not in FAST_PICTURES:
            continue
        picture = read_rgb(path)
        if arguments.fast:
            top = (picture.shape[0] - FAST_CROP) // 2
            left = (picture.shape[1] - FAST_CROP) // 2
            picture = picture[top:top + FAST_CROP, left:left + FAST_CROP]
        pictures.append((name, np.ascontiguousarray(picture)))
    if arguments.large:
        width, height = (int(v) for v in arguments.large.lower().split("x"))
        pictures.append((pictures[0][0] + " tiled", mirror_tiled(pictures[0][1], width, height)))
    return pictures


def mirror_tiled(picture, width, height):
    """A camera-sized picture of real photographic content (it repeats, which favours no program)."""
    block = np.concatenate([picture, picture[:, ::-1]], axis=1)
    block = np.concatenate([block, block[::-1]], axis=0)
    rows = -(-height // block.shape[0])
    columns = -(-width // block.shape[1])
    return np.ascontiguousarray(np.tile(block, (rows, columns, 1))[:height, :width])


class Totals:
    def __init__(self):
        self.sums = {}

    def add(self, key, *values):
        total = self.sums.setdefault(key, [0] + [0.0] * len(values))
        total[0] += 1
        for i, value in enumerate(values):
            total[i + 1] += value

    def mean(self, key):
        total = self.sums.get(key)
        return None if total is None else [value / total[0] for value in total[1:]]


def print_quality_table(title, labels, conditions_of_table, totals):
    print()
    print("### " + title + ": mean PSNR dB (gain over the noisy picture) / SSIM")
    print()
    print("| noise | noisy picture | " + " | ".join(labels) + " |")
    print("|---|---|" + "---|" * len(labels))
    for condition in conditions_of_table:
        noisy_psnr, noisy_ssim = totals.mean((condition, "noisy"))[:2]
        cells = ["%.2f / %.3f" % (noisy_psnr, noisy_ssim)]
        for label in labels:
            psnr, ssim = totals.mean((condition, label))[:2]
            cells.append("%.2f (%+.2f) / %.3f" % (psnr, psnr - noisy_psnr, ssim))
        print("| %s | %s |" % (condition, " | ".join(cells)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("pictures", nargs="*", help="clean pictures (default: the photographs' folder)")
    parser.add_argument("--photos", default=os.path.join(REPOSITORY, "build", "quality-photos"))
    parser.add_argument("--qvn", default=os.path.join(REPOSITORY, "build", "native", "cli", "qvn"))
    parser.add_argument("--qvn-before", default="", help="a second qvn whose fine method is measured beside")
    parser.add_argument("--fast", action="store_true", help="centre crops of %d x %d of six pictures" % (FAST_CROP, FAST_CROP))
    parser.add_argument("--large", default="", help="WIDTHxHEIGHT: add a picture of that size mirror-tiled from the first")
    parser.add_argument("--tables", default="white,camera", help="white, camera or both (default)")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--jpeg-quality", type=int, default=JPEG_QUALITY,
                        help="the camera model's JPEG quality (default %d; 80 is a harder proxy)" % JPEG_QUALITY)
    parser.add_argument("--csv", default="", help="also write every picture's figures to this file")
    parser.add_argument("--without", action="append", default=[],
                        help="leave out the programs whose name holds this text (e.g. OpenCV, the slowest)")
    arguments = parser.parse_args()
    for program in filter(None, (arguments.qvn, arguments.qvn_before)):
        if not os.access(program, os.X_OK):
            sys.exit(program + " not found: build the native preset first")

    work = tempfile.mkdtemp(prefix="qvn_quality_")
    try:
        with open(os.path.join(work, "policy.xml"), "w") as policy:
            policy.write(LIFTED_POLICY)
        runners = methods(arguments, work)
        labels = [label for label, _ in runners]
        pictures = clean_pictures(arguments)
        noises = conditions(arguments.tables.split(","), arguments.jpeg_quality)
        totals = Totals()
        speed = Totals()
        peaks = {}
        rows = []
        noisy_bmp = os.path.join(work, "noisy.bmp")
        print("%d pictures, %.2f megapixels in all; %d noises, %d programs"
              % (len(pictures), sum(p.shape[0] * p.shape[1] for _, p in pictures) / 1e6, len(noises), len(runners)),
              file=sys.stderr)
        for index, (table, condition, make) in enumerate(noises):
            for number, (name, clean) in enumerate(pictures):
                generator = np.random.default_rng([arguments.seed, index, number])
                noisy, reference = make(clean, generator)
                sigma = float(np.sqrt(np.mean((noisy.astype(np.float64) - reference) ** 2)))
                if table == "white":
                    sigma = float(condition.split()[-1])
                write_rgb(noisy_bmp, noisy)
                megapixels = clean.shape[0] * clean.shape[1] / 1e6
                psnr, ssim = scores(reference, noisy)
                totals.add((condition, "noisy"), psnr, ssim)
                rows.append((table, condition, name, "noisy picture", psnr, ssim, 0.0, ""))
                for label, run in runners:
                    result, seconds, peak = run(noisy_bmp, noisy, sigma, work)
                    psnr, ssim = scores(reference, result)
                    totals.add((condition, label), psnr, ssim)
                    speed.add(label, seconds / megapixels)
                    if peak is not None:
                        peaks[label] = max(peaks.get(label, 0.0), peak)
                    rows.append((table, condition, name, label, psnr, ssim, seconds, "" if peak is None else "%.0f" % peak))
            print("done: " + condition, file=sys.stderr, flush=True)

        for table, title in (("white", "White Gaussian noise"), ("camera", "Camera model")):
            of_table = [condition for t, condition, _ in noises if t == table]
            if of_table:
                print_quality_table(title, labels, of_table, totals)
        print()
        largest = max(pictures, key=lambda named: named[1].shape[0] * named[1].shape[1])[1]
        print("### Time and memory (largest picture %d x %d)" % (largest.shape[1], largest.shape[0]))
        print()
        print("| program | seconds per megapixel (mean) | peak MiB |")
        print("|---|---|---|")
        for label in labels:
            peak = peaks.get(label)
            print("| %s | %.2f | %s |" % (label, speed.mean(label)[0], "%.0f" % peak if peak is not None else ""))
        if arguments.csv:
            with open(arguments.csv, "w", newline="") as out:
                writer = csv.writer(out)
                writer.writerow(("table", "noise", "picture", "program", "PSNR", "SSIM", "seconds", "peak MiB"))
                writer.writerows(rows)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
