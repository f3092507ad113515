#!/usr/bin/python3
"""Denoising quality side by side: qvn's methods and the peers installed from Debian, on white
Gaussian noise and on a camera model.

Two tables, in one run, on clean photographs (bench/quality-photos makes them):

- White noise: seeded Gaussian noise of standard deviation 10, 15, 25, 35 and 50 added to the
  clean picture, clipped and rounded to 8 bits.
- Camera model: the clean sRGB picture to linear light, an RGGB Bayer mosaic, Poisson-Gaussian
  sensor noise of variance a y + b on the linear value y in 0..1, bilinear demosaicing, back to
  sRGB and 8 bits, and optionally JPEG quality 90 (libjpeg through OpenCV, 4:2:0). The reference
  is the same pipeline without the noise and without JPEG (--reference-shots: the mean of many
  noisy shots instead, as the real-noise test sets make theirs).
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
    bench/denoise_quality.py --fast --tables camera --sensor-colour      # a camera's own colours
    bench/denoise_quality.py --small natural --tables white --sigmas 15,25,35,50   # the test sets' scale
    bench/denoise_quality.py --small natural --tables white --sigmas 15,25,35,50 --cbm3d   # beside the reference
    bench/denoise_quality.py --crop 512 --tables camera --levels 0.01 --jpeg-only \
        --demosaic gradient --lens-blur 0.8 --chroma-smoothing 2 --luma-smoothing 1 --sharpening 0.5 \
        --jpeg-subsampling 4:2:2 --jpeg-quality 93 --nlm-h 3,5,7 --reference-shots 64   # the real set's proxy
    bench/denoise_quality.py --fast --tables camera --noise-report --without OpenCV   # measured against true noise
    bench/denoise_quality.py --pairs NOISY/ MEAN/ --nlm-h 3,5,7   # real noisy photographs and their references

The camera model's options add what a camera does beyond the plain model, each on its own:
--demosaic gradient (Malvar, He and Cutler's filters), --sensor-colour (white balance gains and a
colour matrix, which make the colour noise louder than the brightness's), --lens-blur (full-size
photographs are smoother per pixel), --chroma-smoothing, --luma-smoothing and --sharpening (the
camera's own noise reduction and sharpening), --jpeg-subsampling 4:2:2 or 4:4:4 (as many cameras
write). --reference-shots N makes each reference the mean of N more noisy shots through the same
pipeline, JPEG included, rounded to 8 bits, as the real-noise test sets make their ground truth:
where the noise is clipped at black (in the shadows a deviation of a hundredth in linear light is
25 levels of sRGB) or bent by the tone curve, that mean is not the noise-free picture, and it is
what the noisy picture's local means estimate. --crop takes centre crops of the photographs at
their own scale, as the real-noise test sets cut crops of 512 x 512 from full-size photographs.
--noise-report adds qvn's measured noise model (its middle brightness bin, from --json) over the
true noise's deviation (the noisy picture less the reference) per opponent channel at the finest
and the coarsest level, the median over the pictures.

--small natural, crops or coloured measures the small sets bench/quality-photos makes beside the
photographs, as the standard test sets were made: the whole scene at 481 x 321, centre crops of
500 x 500 of the scene at 768 x 512, and those crops strongly coloured.

--pairs NOISY REFERENCE measures real noisy photographs as they are, each against the file of the
same name in the second folder (a real-noise test set's noisy shots and the means of many shots),
in a third table; the other tables then measure the references with noise added, if asked for.

--cbm3d adds the field's reference for white noise, colour BM3D told sigma
(bench/cbm3d_reference.cpp, built beside the benchmarks), to the white-noise table: it denoises the
same draw of noise before clipping and rounding, as its published figures were measured, while
every other program gets the 8-bit noisy picture.

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
import json
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


def demosaic_gradient_corrected(mosaic):
    """Malvar, He and Cutler's linear demosaicing (ICASSP 2004): the bilinear estimate corrected by
    the known colour's own Laplacian, as 5 x 5 filters; sharper than bilinear, and it spreads the
    noise differently (as the cameras' own demosaicing does)."""
    red, green, blue = bayer_masks(*mosaic.shape)
    rows = np.arange(mosaic.shape[0])[:, None] % 2 == 0
    green_in_red_rows = green & rows
    green_in_blue_rows = green & ~rows
    green_at_red_blue = np.array([[0, 0, -1, 0, 0], [0, 0, 2, 0, 0], [-1, 2, 4, 2, -1],
                                  [0, 0, 2, 0, 0], [0, 0, -1, 0, 0]]) / 8.0
    # The other colour at a green sample whose row holds it (its transpose: whose column does).
    along_row = np.array([[0, 0, 0.5, 0, 0], [0, -1, 0, -1, 0], [-1, 4, 5, 4, -1],
                          [0, -1, 0, -1, 0], [0, 0, 0.5, 0, 0]]) / 8.0
    across_diagonal = np.array([[0, 0, -1.5, 0, 0], [0, 2, 0, 2, 0], [-1.5, 0, 6, 0, -1.5],
                                [0, 2, 0, 2, 0], [0, 0, -1.5, 0, 0]]) / 8.0

    def filtered(kernel):
        return ndimage.convolve(mosaic, kernel, mode="mirror")

    by_row, by_column, diagonal = filtered(along_row), filtered(along_row.T), filtered(across_diagonal)
    g = np.where(green, mosaic, filtered(green_at_red_blue))
    r = np.where(red, mosaic, np.where(green_in_red_rows, by_row, np.where(green_in_blue_rows, by_column, diagonal)))
    b = np.where(blue, mosaic, np.where(green_in_blue_rows, by_row, np.where(green_in_red_rows, by_column, diagonal)))
    return np.stack([r, g, b], axis=-1)


DEMOSAICING = {"bilinear": demosaic_bilinear, "gradient": demosaic_gradient_corrected}


def to_8_bits(srgb):
    return np.clip(np.round(srgb * 255.0), 0, 255).astype(np.uint8)


def rgb_to_ycbcr(rgb):
    y = 0.299 * rgb[..., 0] + 0.587 * rgb[..., 1] + 0.114 * rgb[..., 2]
    return y, (rgb[..., 2] - y) / 1.772, (rgb[..., 0] - y) / 1.402


def ycbcr_to_rgb(y, cb, cr):
    r = y + 1.402 * cr
    b = y + 1.772 * cb
    return np.stack([r, (y - 0.299 * r - 0.114 * b) / 0.587, b], axis=-1)


class CameraOptions:
    """What a camera does beyond the plain model; the defaults are the plain model (bilinear
    demosaicing, no blur, no processing, JPEG 4:2:0 through OpenCV)."""

    def __init__(self, arguments=None):
        self.demosaic = getattr(arguments, "demosaic", "bilinear")
        self.lens_blur = getattr(arguments, "lens_blur", 0.0)
        self.chroma_smoothing = getattr(arguments, "chroma_smoothing", 0.0)
        self.luma_smoothing = getattr(arguments, "luma_smoothing", 0.0)
        self.sharpening = getattr(arguments, "sharpening", 0.0)
        self.subsampling = getattr(arguments, "jpeg_subsampling", "4:2:0")
        self.sensor_colour = getattr(arguments, "sensor_colour", False)
        self.reference_shots = getattr(arguments, "reference_shots", 0)

    def label(self):
        parts = [] if self.demosaic == "bilinear" else ["%s demosaicing" % self.demosaic]
        if self.sensor_colour:
            parts.append("sensor colour")
        if self.lens_blur:
            parts.append("lens blur %g" % self.lens_blur)
        if self.chroma_smoothing:
            parts.append("chroma smoothing %g" % self.chroma_smoothing)
        if self.luma_smoothing:
            parts.append("luma smoothing %g" % self.luma_smoothing)
        if self.sharpening:
            parts.append("sharpening %g" % self.sharpening)
        if self.subsampling != "4:2:0":
            parts.append("JPEG " + self.subsampling)
        if self.reference_shots:
            parts.append("reference the mean of %d shots" % self.reference_shots)
        return ", ".join(parts)


# A sensor's colours are not sRGB's: a typical full-frame camera's matrix from its white-balanced
# colours to linear sRGB (rows add up to 1), and its white balance's gains under daylight. Red and
# blue catch fewer photons and are amplified more, and the matrix mixes the channels' noise.
SENSOR_TO_SRGB = np.array([[1.83, -0.62, -0.21], [-0.19, 1.45, -0.26], [0.02, -0.51, 1.49]])
WHITE_BALANCE = np.array([2.0, 1.0, 1.6])


def develop(mosaic, options):
    """A camera's processing of the raw mosaic, to 8-bit sRGB: demosaicing, its white balance and
    colour matrix, then in sRGB its noise reduction (the colour differences blurred, and the
    brightness less so) and its sharpening (an unsharp mask of radius about one pixel on the
    brightness)."""
    linear = DEMOSAICING[options.demosaic](mosaic)
    if options.sensor_colour:
        linear = (linear * WHITE_BALANCE) @ SENSOR_TO_SRGB.T
    srgb = linear_to_srgb(linear)
    if options.chroma_smoothing or options.luma_smoothing or options.sharpening:
        y, cb, cr = rgb_to_ycbcr(srgb)
        if options.chroma_smoothing:
            cb = ndimage.gaussian_filter(cb, options.chroma_smoothing, mode="mirror")
            cr = ndimage.gaussian_filter(cr, options.chroma_smoothing, mode="mirror")
        if options.luma_smoothing:
            y = ndimage.gaussian_filter(y, options.luma_smoothing, mode="mirror")
        if options.sharpening:
            y = y + options.sharpening * (y - ndimage.gaussian_filter(y, 1.0, mode="mirror"))
        srgb = ycbcr_to_rgb(y, cb, cr)
    return to_8_bits(srgb)


def camera(clean, a, b, quality, generator, options=CameraOptions()):
    """Returns the noisy picture and its reference, both 8-bit RGB; quality 0 is without JPEG. The
    shots of a mean reference are drawn after the noisy picture, which stays the same."""
    mosaic = sensor_mosaic(clean, options)

    def shot():
        # Poisson-Gaussian: photon counts of y / a scaled by a (variance a y) plus read noise of variance b.
        noisy = generator.poisson(np.maximum(mosaic, 0.0) / a) * a + generator.normal(0.0, np.sqrt(b), mosaic.shape)
        noisy = develop(noisy, options)
        return jpeg(noisy, quality, options.subsampling) if quality else noisy

    noisy = shot()
    if not options.reference_shots:
        return noisy, develop(mosaic, options)
    total = np.zeros(noisy.shape)
    for _ in range(options.reference_shots):
        total += shot()
    return noisy, to_8_bits(total / (255.0 * options.reference_shots))


def sensor_mosaic(clean, options):
    """The light the sensor's RGGB mosaic records of a clean 8-bit sRGB picture, in 0..1."""
    linear = srgb_to_linear(clean / 255.0)
    if options.lens_blur:
        # The lens and the sensor's anti-aliasing filter: full-resolution photographs are smoother
        # per pixel than pictures made smaller.
        linear = ndimage.gaussian_filter(linear, (options.lens_blur, options.lens_blur, 0), mode="mirror")
    if options.sensor_colour:
        linear = np.maximum((linear @ np.linalg.inv(SENSOR_TO_SRGB).T) / WHITE_BALANCE, 0.0)
    red, green, blue = bayer_masks(*clean.shape[:2])
    return linear[..., 0] * red + linear[..., 1] * green + linear[..., 2] * blue


def jpeg(picture, quality, subsampling="4:2:0"):
    if subsampling != "4:2:0":
        # OpenCV's encoder always halves colour both ways; Pillow's can keep it as cameras do.
        from PIL import Image
        import io
        data = io.BytesIO()
        Image.fromarray(picture).save(data, "JPEG", quality=quality,
                                      subsampling={"4:4:4": 0, "4:2:2": 1}[subsampling])
        return np.asarray(Image.open(io.BytesIO(data.getvalue())).convert("RGB"))
    ok, data = cv2.imencode(".jpg", picture[..., ::-1], [cv2.IMWRITE_JPEG_QUALITY, quality])
    assert ok
    return cv2.imdecode(data, cv2.IMREAD_COLOR)[..., ::-1]


def white_unclipped(clean, sigma, generator):
    return clean + generator.normal(0.0, sigma, clean.shape)


def white(clean, sigma, generator):
    noisy = np.clip(np.round(white_unclipped(clean, sigma, generator)), 0, 255).astype(np.uint8)
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
    def run(noisy_bmp, noisy, unclipped, sigma, work):
        out = os.path.join(work, "qvn.bmp")
        seconds, peak = run_process([qvn, "-q", "-m", method, "--format", "bmp", "-o", out, noisy_bmp])
        return read_rgb(out), seconds, peak
    return run


def imagemagick(policy_folder):
    env = dict(os.environ, MAGICK_CONFIGURE_PATH=policy_folder)

    def run(noisy_bmp, noisy, unclipped, sigma, work):
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
    def run(noisy_bmp, noisy, unclipped, sigma, work):
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


def write_pfm(path, picture):
    with open(path, "wb") as out:
        out.write(b"PF\n%d %d\n-1\n" % (picture.shape[1], picture.shape[0]))
        out.write(np.ascontiguousarray(picture[::-1], dtype="<f4").tobytes())


def read_pfm(path, height, width):
    with open(path, "rb") as pfm:
        data = pfm.read()
    return np.frombuffer(data[len(data) - height * width * 12:], dtype="<f4").reshape(height, width, 3)[::-1]


def cbm3d(program):
    """The field's reference told sigma, on the noise before clipping and rounding (as its published
    figures were measured); white noise only."""
    def run(noisy_bmp, noisy, unclipped, sigma, work):
        if unclipped is None:
            return None, 0.0, None
        source, out = os.path.join(work, "cbm3d_in.pfm"), os.path.join(work, "cbm3d_out.pfm")
        write_pfm(source, unclipped)
        seconds, peak = run_process([program, "%g" % sigma, source, out, str(os.cpu_count() or 1)])
        result = read_pfm(out, noisy.shape[0], noisy.shape[1])
        return np.clip(np.round(result), 0, 255).astype(np.uint8), seconds, peak
    return run


def skimage_bayes(noisy, sigma):
    from skimage.restoration import denoise_wavelet
    result = denoise_wavelet(noisy / 255.0, channel_axis=-1, convert2ycbcr=True, method="BayesShrink",
                             mode="soft", wavelet="db4", wavelet_levels=3, rescale_sigma=True)
    return np.clip(np.round(result * 255), 0, 255).astype(np.uint8)


def opencv_nlm(noisy, sigma, fixed_h=None):
    h = interpolated(NLM_H, sigma) if fixed_h is None else fixed_h
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
    if arguments.nlm_h:
        for h in arguments.nlm_h.split(","):
            found.append(("OpenCV NL-means h %s" % h,
                          in_process(lambda noisy, sigma, h=float(h): opencv_nlm(noisy, sigma, h))))
    else:
        found.append(("OpenCV NL-means", in_process(opencv_nlm)))
    if arguments.cbm3d:
        found.append(("CBM3D (ours, told σ, unclipped)", cbm3d(arguments.cbm3d)))
    return [(label, run) for label, run in found
            if not any(left.lower() in label.lower() for left in arguments.without)]


# --- Measuring ----------------------------------------------------------------------------------

OPPONENT_NAMES = ("brightness", "red-blue", "green-magenta")


def opponent(rgb):
    """qvn's orthonormal opponent channels: white noise of deviation s in R, G and B gives s in each."""
    r, g, b = rgb[..., 0], rgb[..., 1], rgb[..., 2]
    return np.stack([(r + g + b) / np.sqrt(3), (r - b) / np.sqrt(2), (r + b - 2 * g) / np.sqrt(6)], axis=-1)


def rgb_from_opponent(channels):
    """The inverse of opponent: the basis is orthonormal, so its transpose."""
    y, c1, c2 = channels[..., 0] / np.sqrt(3), channels[..., 1] / np.sqrt(2), channels[..., 2] / np.sqrt(6)
    return np.stack([y + c1 + c2, y - 2 * c2, y - c1 + c2], axis=-1)


def haar_band_deviations(plane, levels=4):
    """The deviation of each level's detail bands (the mean over the three orientations) of the
    undecimated Haar transform with orthonormal filters, as qvn's noise model reports them."""
    deviations = []
    low = plane
    for level in range(levels):
        step = 2 ** level
        along = (low + np.roll(low, -step, 1)) / np.sqrt(2), (low - np.roll(low, -step, 1)) / np.sqrt(2)
        down = [((a + np.roll(a, -step, 0)) / np.sqrt(2), (a - np.roll(a, -step, 0)) / np.sqrt(2)) for a in along]
        margin = 4 * step  # the filters wrap round; leave out what they read from the other side
        details = (down[0][1], down[1][0], down[1][1])
        deviations.append(float(np.mean([np.sqrt(np.mean(d[margin:-margin, margin:-margin] ** 2)) for d in details])))
        low = down[0][0]
    return deviations


def noise_report(qvn, noisy_bmp, noisy, reference, work):
    """qvn's measured noise model (its middle brightness bin) over the true noise's (the noisy
    picture less the reference), per opponent channel, at the finest and the coarsest level."""
    out = os.path.join(work, "report.bmp")
    finished = subprocess.run([qvn, "-m", "fine", "--json", "--format", "bmp", "-o", out, noisy_bmp],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=True)
    model = json.loads(finished.stdout.decode().splitlines()[0])["noise_model"]
    truth = opponent(noisy.astype(np.float64) - reference.astype(np.float64))
    ratios = []
    for c in range(3):
        true_bands = haar_band_deviations(truth[..., c])
        ratios += [model["finest"][1][c] / true_bands[0], model["coarsest"][1][c] / true_bands[-1]]
    return ratios


def print_noise_report(conditions_of_table, reports):
    print()
    print("### The measured noise over the true noise (median over the pictures; the middle brightness bin)")
    print()
    print("| noise | " + " | ".join("%s finest / coarsest" % name for name in OPPONENT_NAMES) + " |")
    print("|---|---|---|---|")
    for condition in conditions_of_table:
        medians = np.median(np.array(reports[condition]), axis=0)
        print("| %s | %s |" % (condition, " | ".join("%.2f / %.2f" % (medians[2 * c], medians[2 * c + 1])
                                                     for c in range(3))))

def scores(reference, result):
    psnr = peak_signal_noise_ratio(reference, result, data_range=255)
    ssim = structural_similarity(reference, result, channel_axis=-1, data_range=255)
    return psnr, ssim


def conditions(arguments, options, noisy_of):
    """(index, (table, label, make)) for every noise asked for, make(clean, generator, name) -> (noisy,
    reference). index is the noise's place in the full list of its tables (the camera's levels
    without JPEG and with it), which seeds it: a subset draws the same noise. The real photographs
    (--pairs) are their noisy twins in noisy_of, by name."""
    tables = arguments.tables.split(",")
    sigmas = [int(sigma) for sigma in arguments.sigmas.split(",")]
    levels = [float(a) for a in arguments.levels.split(",")]
    listed = []
    if "white" in tables:
        for sigma in WHITE_SIGMAS:
            listed.append((sigma in sigmas, ("white", "σ %d" % sigma,
                                             lambda clean, g, name, s=sigma: white(clean, s, g))))
    if "camera" in tables:
        for q in (0, arguments.jpeg_quality):
            for a, b in CAMERA_LEVELS:
                label = "a %g, b %g%s" % (a, b, ", JPEG %d" % q if q else "")
                wanted = a in levels and (q or not arguments.jpeg_only)
                listed.append((wanted, ("camera", label,
                                        lambda clean, g, name, a=a, b=b, q=q: camera(clean, a, b, q, g, options))))
    if "real" in tables:
        listed.append((True, ("real", "the noisy photographs", lambda clean, g, name: (noisy_of[name], clean))))
    return [(index, noise) for index, (wanted, noise) in enumerate(listed) if wanted]


def centre_crop(picture, side):
    """The centre side x side of the picture (less where the picture is smaller)."""
    top = max(0, (picture.shape[0] - side) // 2)
    left = max(0, (picture.shape[1] - side) // 2)
    return picture[top:top + side, left:left + side]


PICTURE_EXTENSIONS = (".png", ".bmp", ".jpg", ".jpeg", ".tif", ".tiff")


def pictures_in(folder):
    """name -> path of the pictures in a folder."""
    return {os.path.splitext(name)[0]: os.path.join(folder, name) for name in sorted(os.listdir(folder))
            if os.path.splitext(name)[1].lower() in PICTURE_EXTENSIONS}


def clean_pictures(arguments, noisy_of):
    """The clean pictures (the references of --pairs), and for --pairs each one's noisy twin in noisy_of."""
    if arguments.pairs:
        noisy_paths, reference_paths = (pictures_in(folder) for folder in arguments.pairs)
        unpaired = sorted(set(noisy_paths) ^ set(reference_paths))
        if unpaired or not noisy_paths:
            sys.exit("--pairs: every noisy picture needs a reference of the same name, and the other way round"
                     + (" (unpaired: %s)" % ", ".join(unpaired) if unpaired else " (no pictures)"))
        pictures = []
        for name in sorted(reference_paths):
            noisy, reference = read_rgb(noisy_paths[name]), read_rgb(reference_paths[name])
            if noisy.shape != reference.shape:
                sys.exit("--pairs: %s and its reference differ in size" % name)
            if arguments.fast or arguments.crop:
                noisy, reference = (centre_crop(p, arguments.crop or FAST_CROP) for p in (noisy, reference))
            noisy_of[name] = np.ascontiguousarray(noisy)
            pictures.append((name, np.ascontiguousarray(reference)))
        return pictures
    folder = os.path.join(arguments.photos, "small", arguments.small) if arguments.small else arguments.photos
    paths = arguments.pictures or sorted(glob.glob(os.path.join(folder, "*.png")))
    if not paths:
        sys.exit("no clean photographs in %s: run bench/quality-photos first" % folder)
    pictures = []
    for path in paths:
        name = os.path.splitext(os.path.basename(path))[0]
        if arguments.fast and not arguments.pictures and name not in FAST_PICTURES:
            continue
        picture = read_rgb(path)
        if arguments.fast or arguments.crop:
            picture = centre_crop(picture, arguments.crop or FAST_CROP)
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
            figures = totals.mean((condition, label))
            if figures is None:  # the white noise's reference measures nothing else
                cells.append("")
                continue
            psnr, ssim = figures[:2]
            cells.append("%.2f (%+.2f) / %.3f" % (psnr, psnr - noisy_psnr, ssim))
        print("| %s | %s |" % (condition, " | ".join(cells)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("pictures", nargs="*", help="clean pictures (default: the photographs' folder)")
    parser.add_argument("--photos", default=os.path.join(REPOSITORY, "build", "quality-photos"))
    parser.add_argument("--qvn", default=os.path.join(REPOSITORY, "build", "native", "cli", "qvn"))
    parser.add_argument("--qvn-before", default="", help="a second qvn whose fine method is measured beside")
    parser.add_argument("--fast", action="store_true", help="centre crops of %d x %d of six pictures" % (FAST_CROP, FAST_CROP))
    parser.add_argument("--crop", type=int, default=0, metavar="SIDE",
                        help="centre crops of at most SIDE x SIDE of the pictures (with --fast: of its six)")
    parser.add_argument("--small", choices=("natural", "crops", "coloured"), default="",
                        help="one of the small sets at the standard test sets' scale")
    parser.add_argument("--large", default="", help="WIDTHxHEIGHT: add a picture of that size mirror-tiled from the first")
    parser.add_argument("--tables", default="",
                        help="white, camera or both (white,camera; the default), and real with --pairs (its default)")
    parser.add_argument("--pairs", nargs=2, metavar=("NOISY", "REFERENCE"),
                        help="real noisy photographs, each measured against the picture of the same name in REFERENCE")
    parser.add_argument("--sigmas", default=",".join(str(s) for s in WHITE_SIGMAS),
                        help="the white noise's standard deviations, some of %(default)s")
    parser.add_argument("--levels", default=",".join("%g" % a for a, _ in CAMERA_LEVELS),
                        help="the camera model's levels by their a, some of %(default)s")
    parser.add_argument("--jpeg-only", action="store_true", help="the camera model's levels after JPEG only")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--jpeg-quality", type=int, default=JPEG_QUALITY,
                        help="the camera model's JPEG quality (default %d; 80 is a harder proxy)" % JPEG_QUALITY)
    camera_options = parser.add_argument_group("the camera model's processing (default: none, the plain model)")
    camera_options.add_argument("--demosaic", choices=sorted(DEMOSAICING), default="bilinear",
                                help="gradient: Malvar, He and Cutler's 5 x 5 filters")
    camera_options.add_argument("--sensor-colour", action="store_true",
                                help="the mosaic in a sensor's colours: white balance gains and a colour matrix")
    camera_options.add_argument("--lens-blur", type=float, default=0.0, metavar="SIGMA",
                                help="Gaussian blur of the linear picture before the mosaic, in pixels")
    camera_options.add_argument("--chroma-smoothing", type=float, default=0.0, metavar="SIGMA",
                                help="the camera's chroma noise reduction: Cb and Cr blurred, in pixels")
    camera_options.add_argument("--luma-smoothing", type=float, default=0.0, metavar="SIGMA",
                                help="the camera's brightness noise reduction: Y blurred, in pixels")
    camera_options.add_argument("--sharpening", type=float, default=0.0, metavar="AMOUNT",
                                help="the camera's unsharp mask on the brightness (radius 1 pixel)")
    camera_options.add_argument("--jpeg-subsampling", choices=("4:2:0", "4:2:2", "4:4:4"), default="4:2:0",
                                help="4:2:2 and 4:4:4 through Pillow's encoder")
    camera_options.add_argument("--reference-shots", type=int, default=0, metavar="N",
                                help="each reference the mean of N noisy shots (as real-noise test sets make "
                                     "theirs), not the noise-free pipeline")
    parser.add_argument("--noise-report", action="store_true",
                        help="also qvn's measured noise against the true noise, per opponent channel and scale")
    parser.add_argument("--csv", default="", help="also write every picture's figures to this file")
    parser.add_argument("--nlm-h", default="", metavar="H,...",
                        help="OpenCV NL-means with these fixed h (one column each) instead of h from the noise")
    parser.add_argument("--cbm3d", nargs="?", const=os.path.join(REPOSITORY, "build", "native", "bench", "cbm3d_reference"),
                        default="", metavar="PROGRAM",
                        help="add the field's reference for white noise, colour BM3D told sigma (bench/cbm3d_reference.cpp)")
    parser.add_argument("--without", action="append", default=[],
                        help="leave out the programs whose name holds this text (e.g. OpenCV, the slowest)")
    arguments = parser.parse_args()
    if not arguments.tables:
        arguments.tables = "real" if arguments.pairs else "white,camera"
    if arguments.tables == "both":
        arguments.tables = "white,camera"
    if set(arguments.tables.split(",")) - {"white", "camera", "real"}:
        sys.exit("--tables: white, camera, both or real, not %s" % arguments.tables)
    if "real" in arguments.tables.split(",") and not arguments.pairs:
        sys.exit("--tables real: the real photographs come from --pairs")
    unknown = set(arguments.sigmas.split(",")) - {str(sigma) for sigma in WHITE_SIGMAS}
    if unknown:
        sys.exit("--sigmas: %s not among %s" % (", ".join(sorted(unknown)), ", ".join(str(s) for s in WHITE_SIGMAS)))
    unknown = {float(a) for a in arguments.levels.split(",")} - {a for a, _ in CAMERA_LEVELS}
    if unknown:
        sys.exit("--levels: %s not among %s" % (", ".join("%g" % a for a in sorted(unknown)),
                                                ", ".join("%g" % a for a, _ in CAMERA_LEVELS)))
    if arguments.reference_shots < 0:
        sys.exit("--reference-shots: a number of shots, 0 for the noise-free reference")
    for program in filter(None, (arguments.qvn, arguments.qvn_before, arguments.cbm3d)):
        if not os.access(program, os.X_OK):
            sys.exit(program + " not found: build the native preset first")

    work = tempfile.mkdtemp(prefix="qvn_quality_")
    try:
        with open(os.path.join(work, "policy.xml"), "w") as policy:
            policy.write(LIFTED_POLICY)
        runners = methods(arguments, work)
        labels = [label for label, _ in runners]
        noisy_of = {}
        pictures = clean_pictures(arguments, noisy_of)
        options = CameraOptions(arguments)
        chosen = conditions(arguments, options, noisy_of)
        totals = Totals()
        speed = Totals()
        peaks = {}
        rows = []
        reports = {}
        noisy_bmp = os.path.join(work, "noisy.bmp")
        print("%d pictures, %.2f megapixels in all; %d noises, %d programs"
              % (len(pictures), sum(p.shape[0] * p.shape[1] for _, p in pictures) / 1e6, len(chosen), len(runners)),
              file=sys.stderr)
        for index, (table, condition, make) in chosen:
            for number, (name, clean) in enumerate(pictures):
                generator = np.random.default_rng([arguments.seed, index, number])
                noisy, reference = make(clean, generator, name)
                sigma = float(np.sqrt(np.mean((noisy.astype(np.float64) - reference) ** 2)))
                unclipped = None
                if table == "white":
                    sigma = float(condition.split()[-1])
                    if arguments.cbm3d:
                        # The same draw as the noisy picture's, before clipping and rounding.
                        unclipped = white_unclipped(clean, sigma, np.random.default_rng([arguments.seed, index, number]))
                write_rgb(noisy_bmp, noisy)
                megapixels = clean.shape[0] * clean.shape[1] / 1e6
                psnr, ssim = scores(reference, noisy)
                totals.add((condition, "noisy"), psnr, ssim)
                rows.append((table, condition, name, "noisy picture", psnr, ssim, 0.0, ""))
                if arguments.noise_report:
                    reports.setdefault(condition, []).append(noise_report(arguments.qvn, noisy_bmp, noisy, reference, work))
                for label, run in runners:
                    result, seconds, peak = run(noisy_bmp, noisy, unclipped, sigma, work)
                    if result is None:
                        continue
                    psnr, ssim = scores(reference, result)
                    totals.add((condition, label), psnr, ssim)
                    speed.add(label, seconds / megapixels)
                    if peak is not None:
                        peaks[label] = max(peaks.get(label, 0.0), peak)
                    rows.append((table, condition, name, label, psnr, ssim, seconds, "" if peak is None else "%.0f" % peak))
            print("done: " + condition, file=sys.stderr, flush=True)

        camera_title = "Camera model" + (" (%s)" % options.label() if options.label() else "")
        real_title = "Real photographs (%s)" % arguments.pairs[0] if arguments.pairs else ""
        for table, title in (("white", "White Gaussian noise"), ("camera", camera_title), ("real", real_title)):
            of_table = [condition for _, (t, condition, _) in chosen if t == table]
            if of_table:
                print_quality_table(title, labels, of_table, totals)
        if reports:
            print_noise_report([condition for _, (_, condition, _) in chosen], reports)
        print()
        largest = max(pictures, key=lambda named: named[1].shape[0] * named[1].shape[1])[1]
        print("### Time and memory (largest picture %d x %d)" % (largest.shape[1], largest.shape[0]))
        print()
        print("| program | seconds per megapixel (mean) | peak MiB |")
        print("|---|---|---|")
        for label in labels:
            if speed.mean(label) is None:
                continue
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
