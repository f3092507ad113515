#!/usr/bin/python3
"""Denoising quality side by side: qvn's two methods and the peers installed from Debian.

Adds seeded Gaussian noise of standard deviation 10, 20 and 30 to clean photographs, denoises each
noisy picture with every program, and prints PSNR (dB, over R, G and B), SSIM, the mean colour
error (CIE76 delta E in L*a*b*) against the clean picture, the wall time of each run and, for the
programs run as processes, their peak memory. The last table gives the means per picture size and
sigma.

    bench/denoise_quality.py [--qvn build/native/cli/qvn] [--large 4000x3000] [--without NAME] [CLEAN.png ...]

Without pictures it takes the *_clean.png photographs of shared/photos beside the repository (or
beside its folder, for a worktree).
--large also measures a picture of that size mirror-tiled from the first photograph (real
photographic content at a camera's size; it repeats, which favours no program). Programs that are
not installed are left out: ImageMagick (/usr/bin/convert, run with its memory caps lifted so it
works in memory like qvn), scikit-image BayesShrink, OpenCV non-local means, G'MIC. Their settings
are the best ones found on calibration pictures. Runs go one after another, never at once.
"""
import argparse
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time

import numpy as np
from skimage import color, io
from skimage.metrics import peak_signal_noise_ratio, structural_similarity

SIGMAS = (10, 20, 30)
REPOSITORY = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

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


def qvn_method(qvn, method):
    def run(noisy_bmp, sigma, work):
        out = os.path.join(work, "qvn_" + method + ".bmp")
        seconds, peak = run_process([qvn, "-q", "-m", method, "--format", "bmp", "-o", out, noisy_bmp])
        return io.imread(out)[..., :3], seconds, peak
    return run


def imagemagick(policy_folder):
    threshold = {10: "4%", 20: "10%", 30: "18%"}
    env = dict(os.environ, MAGICK_CONFIGURE_PATH=policy_folder)

    def run(noisy_bmp, sigma, work):
        out = os.path.join(work, "im.bmp")
        seconds, peak = run_process(["/usr/bin/convert", noisy_bmp, "-wavelet-denoise", threshold[sigma],
                                     "-type", "TrueColor", "BMP3:" + out], env)
        return io.imread(out)[..., :3], seconds, peak
    return run


def gmic():
    threshold = {10: "1.0", 20: "1.4", 30: "1.7"}

    def run(noisy_bmp, sigma, work):
        out = os.path.join(work, "gmic.png")
        seconds, peak = run_process(["gmic", noisy_bmp, "srand", "0", "denoise_haar", threshold[sigma] + ",0,10",
                                     "round", "1", "cut", "0,255", "o", out])
        return io.imread(out)[..., :3], seconds, peak
    return run


def timed_in_process(denoise):
    def run(noisy_bmp, sigma, work):
        noisy = io.imread(noisy_bmp)[..., :3]
        started = time.perf_counter()
        result = denoise(noisy, sigma)
        return result, time.perf_counter() - started, None
    return run


def skimage_bayes(noisy, sigma):
    from skimage.restoration import denoise_wavelet
    result = denoise_wavelet(noisy / 255.0, channel_axis=-1, convert2ycbcr=True, method="BayesShrink",
                             mode="soft", wavelet="db4", wavelet_levels=3, rescale_sigma=True)
    return np.clip(np.round(result * 255), 0, 255).astype(np.uint8)


def opencv_nlm(noisy, sigma):
    import cv2
    h = {10: 5, 20: 13, 30: 19.5}[sigma]
    bgr = np.ascontiguousarray(noisy[..., ::-1])
    return cv2.fastNlMeansDenoisingColored(bgr, None, h, h, 7, 21)[..., ::-1]


def methods(qvn, policy_folder):
    found = [("qvn classic", qvn_method(qvn, "classic")), ("qvn fine", qvn_method(qvn, "fine"))]
    if os.path.exists("/usr/bin/convert"):
        found.append(("ImageMagick wavelet", imagemagick(policy_folder)))
    try:
        import skimage.restoration  # noqa: F401
        import pywt  # noqa: F401
        found.append(("scikit-image BayesShrink", timed_in_process(skimage_bayes)))
    except ImportError:
        pass
    try:
        import cv2  # noqa: F401
        found.append(("OpenCV NL-means", timed_in_process(opencv_nlm)))
    except ImportError:
        pass
    if shutil.which("gmic"):
        found.append(("G'MIC Haar", gmic()))
    return found


def scores(clean, result):
    psnr = peak_signal_noise_ratio(clean, result, data_range=255)
    ssim = structural_similarity(clean, result, channel_axis=-1, data_range=255)
    delta_e = np.mean(color.deltaE_cie76(color.rgb2lab(clean), color.rgb2lab(result)))
    return psnr, ssim, delta_e


def mirror_tiled(picture, width, height):
    block = np.concatenate([picture, picture[:, ::-1]], axis=1)
    block = np.concatenate([block, block[::-1]], axis=0)
    rows = -(-height // block.shape[0])
    columns = -(-width // block.shape[1])
    return np.ascontiguousarray(np.tile(block, (rows, columns, 1))[:height, :width])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("pictures", nargs="*")
    parser.add_argument("--qvn", default=os.path.join(REPOSITORY, "build", "native", "cli", "qvn"))
    parser.add_argument("--large", default="", help="WIDTHxHEIGHT of a mirror-tiled picture to add")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--without", action="append", default=[],
                        help="leave out the programs whose name holds this text (e.g. OpenCV, slow at 12 MP)")
    arguments = parser.parse_args()
    pictures = arguments.pictures
    for up in ("..", os.path.join("..", "..")):
        pictures = pictures or sorted(glob.glob(os.path.join(REPOSITORY, up, "shared", "photos", "*_clean.png")))
    if not pictures:
        sys.exit("no clean pictures given or found in ../shared/photos")
    if not os.access(arguments.qvn, os.X_OK):
        sys.exit(arguments.qvn + " not found: build the native preset first")

    work = tempfile.mkdtemp(prefix="qvn_quality_")
    try:
        with open(os.path.join(work, "policy.xml"), "w") as policy:
            policy.write(LIFTED_POLICY)
        runners = [(label, run) for label, run in methods(arguments.qvn, work)
                   if not any(left.lower() in label.lower() for left in arguments.without)]
        cleans = [(os.path.basename(p).replace("_clean.png", ""), io.imread(p)[..., :3]) for p in pictures]
        if arguments.large:
            width, height = (int(v) for v in arguments.large.lower().split("x"))
            cleans.append((cleans[0][0] + " tiled", mirror_tiled(cleans[0][1], width, height)))

        print("| picture | size | sigma | method | PSNR dB | SSIM | mean delta E | seconds | peak MiB |")
        print("|---|---|---|---|---|---|---|---|---|")
        totals = {}
        for name, clean in cleans:
            size = "%d x %d" % (clean.shape[1], clean.shape[0])
            for sigma in SIGMAS:
                generator = np.random.default_rng(arguments.seed)
                noise = generator.normal(0.0, sigma, clean.shape)
                noisy = np.clip(np.round(clean + noise), 0, 255).astype(np.uint8)
                noisy_bmp = os.path.join(work, "noisy.bmp")
                io.imsave(noisy_bmp, noisy, check_contrast=False)
                rows = [("noisy input", noisy, 0.0, None)]
                for label, run in runners:
                    result, seconds, peak = run(noisy_bmp, sigma, work)
                    rows.append((label, result, seconds, peak))
                for label, result, seconds, peak in rows:
                    psnr, ssim, delta_e = scores(clean, result)
                    shown_peak = "%.0f" % peak if peak is not None else ""
                    print("| %s | %s | %d | %s | %.2f | %.4f | %.2f | %.2f | %s |"
                          % (name, size, sigma, label, psnr, ssim, delta_e, seconds, shown_peak), flush=True)
                    key = (size, sigma, label)
                    total = totals.setdefault(key, [0, 0.0, 0.0, 0.0, 0.0])
                    for i, value in enumerate((1, psnr, ssim, delta_e, seconds)):
                        total[i] += value

        print()
        print("Means per size and sigma:")
        print()
        print("| size | sigma | method | PSNR dB | SSIM | mean delta E | seconds |")
        print("|---|---|---|---|---|---|---|")
        for (size, sigma, label), (count, psnr, ssim, delta_e, seconds) in totals.items():
            print("| %s | %d | %s | %.2f | %.4f | %.2f | %.2f |"
                  % (size, sigma, label, psnr / count, ssim / count, delta_e / count, seconds / count))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
