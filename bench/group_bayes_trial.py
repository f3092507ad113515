#!/usr/bin/python3
"""A trial outside the engine: a Bayesian step on groups of small colour patches after qvn's fine
method, on the white-noise pictures of denoise_quality.py (the same draws, so the fine method's
column is that script's).

The step, from the published description of the non-local Bayes method's second step, with the
fine result as its pilot: in orthonormal opponent channels, each reference patch of side 3 on a grid
every 3 samples (and the last place a patch fits) takes the 20 patches nearest it in the pilot's
brightness within 8 samples each way. The group's mean and covariance over its 27 values (9
samples by 3 channels) come from the pilot, and each of its noisy patches becomes
mean + C (C + N)^-1 (noisy - mean), N the noise's variance in each value. Every pixel takes the
plain mean of its estimates, and the result is 0.8 of that and 0.2 of the fine result. The grid's
step may not exceed the patches' side, or some samples would lie in no group.

The trial is told s (the draw's) unless --blind, which takes the fine method's measured figure of
each channel instead. numpy: about 5 s a picture at 481 x 321.

With --camera A the noise is the camera model's at that level (the draws of
`denoise_quality.py --tables camera`; --jpeg after JPEG 90), measured against the same pipeline
without noise. Its noise is correlated between neighbours and channels, so N is a full 27 x 27
covariance, one for each of eight brightness bins (32 levels each, the reference's brightness in
the pilot): with --noise told that of the true noise (the noisy picture less the reference), with
--noise residual that of the noisy picture less the fine result, which a blind method could have.

    bench/group_bayes_trial.py --small natural --sigmas 15,25,35,50 --blind
    bench/group_bayes_trial.py --small coloured --sigmas 25 --match colour --share 0.5
    bench/group_bayes_trial.py --small natural --camera 0.004 --jpeg --noise residual
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile

import numpy as np

sys.dont_write_bytecode = True  # no cache beside the scripts in the checkout
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import denoise_quality as dq  # noqa: E402

def box_sums(plane, side):
    """Every side x side window's sum, at its top-left corner."""
    c = np.cumsum(np.cumsum(np.pad(plane, ((1, 0), (1, 0))), 0), 1)
    return c[side:, side:] - c[:-side, side:] - c[side:, :-side] + c[:-side, :-side]


def grid(length, side, step):
    places = list(range(0, length - side + 1, step))
    if places[-1] != length - side:
        places.append(length - side)
    return places


def nearest_patches(pilot, ry, rx, side, reach, count):
    """Each reference's count nearest patches in the pilot's channels, itself among them: their
    top-left rows and columns."""
    height, width, _ = pilot.shape
    offsets = [(dy, dx) for dy in range(-reach, reach + 1) for dx in range(-reach, reach + 1)]
    distance = np.empty((len(ry), len(offsets)))
    for j, (dy, dx) in enumerate(offsets):
        moved = np.zeros_like(pilot)
        moved[max(0, -dy):min(height, height - dy), max(0, -dx):min(width, width - dx)] = \
            pilot[max(0, dy):min(height, height + dy), max(0, dx):min(width, width + dx)]
        d = box_sums(((pilot - moved) ** 2).sum(2), side)[ry, rx]
        cy, cx = ry + dy, rx + dx
        inside = (cy >= 0) & (cy <= height - side) & (cx >= 0) & (cx <= width - side)
        distance[:, j] = np.where(inside, d, np.inf)
    distance[:, offsets.index((0, 0))] = -1.0
    chosen = np.argpartition(distance, count - 1, axis=1)[:, :count]
    dy = np.array([o[0] for o in offsets])[chosen]
    dx = np.array([o[1] for o in offsets])[chosen]
    return ry[:, None] + dy, rx[:, None] + dx


def white_noise(deviations, side):
    """N of every group under white noise of these deviations in the three channels."""
    diagonal = np.diag(np.tile(np.square(deviations), side * side))
    return lambda brightness: np.broadcast_to(diagonal, (len(brightness),) + diagonal.shape)


BRIGHTNESS_BINS = 8


def binned_noise(noise, pilot, side):
    """N of every group from the covariance of the patches of noise (opponent channels, the
    picture's shape) in the bin of the pilot's brightness they lie at."""
    height, width, _ = noise.shape
    ky, kx = np.meshgrid(np.arange(side), np.arange(side), indexing="ij")
    py, px = np.meshgrid(np.arange(height - side + 1), np.arange(width - side + 1), indexing="ij")
    places = (py.ravel()[:, None] + ky.ravel()) * width + px.ravel()[:, None] + kx.ravel()
    patches = noise.reshape(-1, 3)[places].reshape(len(places), -1)
    bins = bin_of(pilot[..., 0].reshape(-1)[places].mean(1))
    whole = np.cov(patches.T)
    covariances = np.array([np.cov(patches[bins == k].T) if np.sum(bins == k) > 200 else whole
                            for k in range(BRIGHTNESS_BINS)])
    return lambda brightness: covariances[bin_of(brightness)]


def bin_of(brightness):
    """The bin of a brightness channel's value (the mean of R, G and B times the square root of 3)."""
    return np.clip((brightness / np.sqrt(3) / (256 // BRIGHTNESS_BINS)).astype(int), 0, BRIGHTNESS_BINS - 1)


def bayes_step(noisy, pilot, noise_of, side, reach, count, step, matched):
    """The groups' estimates of the noisy picture, averaged per pixel (opponent channels, floats);
    noise_of: each group's N from its reference's brightness in the pilot, matched: the channels
    the patches are matched on."""
    height, width, _ = noisy.shape
    ry, rx = np.meshgrid(grid(height, side, step), grid(width, side, step), indexing="ij")
    py, px = nearest_patches(pilot[:, :, :matched], ry.ravel(), rx.ravel(), side, reach, count)
    ky, kx = np.meshgrid(np.arange(side), np.arange(side), indexing="ij")
    sums = np.zeros((height * width, 3))
    hits = np.zeros(height * width)
    for first in range(0, len(py), 2000):
        places = ((py[first:first + 2000, :, None] + ky.ravel()) * width + px[first:first + 2000, :, None] + kx.ravel())
        groups = len(places)
        y = noisy.reshape(-1, 3)[places].reshape(groups, count, -1)
        p = pilot.reshape(-1, 3)[places].reshape(groups, count, -1)
        mean = p.mean(1, keepdims=True)
        covariance = np.einsum("gni,gnj->gij", p - mean, p - mean) / (count - 1)
        noise = noise_of(p[:, 0, 0::3].mean(1))
        solved = np.linalg.solve(covariance + noise, (y - mean).transpose(0, 2, 1))
        estimate = mean + np.einsum("gij,gjn->gni", covariance, solved)
        flat = places.ravel()
        hits += np.bincount(flat, minlength=height * width)
        values = estimate.reshape(-1, 3)
        for c in range(3):
            sums[:, c] += np.bincount(flat, weights=values[:, c], minlength=height * width)
    return (sums / hits[:, None]).reshape(height, width, 3)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--photos", default=os.path.join(os.path.dirname(__file__), "..", "build", "quality-photos"))
    parser.add_argument("--small", choices=("natural", "crops", "coloured"), required=True)
    parser.add_argument("--sigmas", default="25")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--qvn", default=os.path.join(os.path.dirname(__file__), "..", "build", "native", "cli", "qvn"))
    parser.add_argument("--side", type=int, default=3)
    parser.add_argument("--reach", type=int, default=8)
    parser.add_argument("--count", type=int, default=20)
    parser.add_argument("--step", type=int, default=3)
    parser.add_argument("--share", type=float, default=0.8, help="the step's share of the result")
    parser.add_argument("--blind", action="store_true",
                        help="the noise as the fine method measures it in each channel (--json), not told")
    parser.add_argument("--match", choices=("colour", "brightness"), default="brightness",
                        help="match the patches on all three channels or on the brightness alone")
    parser.add_argument("--camera", type=float, help="the camera model's noise at this level (its a) instead of white")
    parser.add_argument("--jpeg", action="store_true", help="with --camera: after JPEG 90")
    parser.add_argument("--noise", choices=("told", "residual"), default="told",
                        help="with --camera: N from the true noise or from the noisy picture less the fine result")
    parser.add_argument("pictures", nargs="*", help="names within the set (default: all)")
    arguments = parser.parse_args()
    if not 1 <= arguments.step <= arguments.side:
        sys.exit("--step: 1 ... the patches' side, or some samples lie in no group")
    if not 2 <= arguments.count <= (2 * arguments.reach + 1) ** 2:
        sys.exit("--count: 2 ... the candidates within --reach")
    sigmas = [int(s) for s in arguments.sigmas.split(",")]
    if any(sigma not in dq.WHITE_SIGMAS for sigma in sigmas):
        sys.exit("--sigmas: some of " + ",".join(map(str, dq.WHITE_SIGMAS)))
    levels = [a for a, _ in dq.CAMERA_LEVELS]
    if arguments.camera is not None and arguments.camera not in levels:
        sys.exit("--camera: one of " + ",".join("%g" % a for a in levels))
    if not os.access(arguments.qvn, os.X_OK):
        sys.exit(arguments.qvn + " not found: build the native preset first")
    folder = os.path.join(arguments.photos, "small", arguments.small)
    if not os.path.isdir(folder):
        sys.exit("no small set in %s: run bench/quality-photos first" % folder)
    names = sorted(f[:-4] for f in os.listdir(folder) if f.endswith(".png"))
    unknown = set(arguments.pictures) - set(names)
    if unknown:
        sys.exit("not in the set: " + ", ".join(sorted(unknown)))
    work = tempfile.mkdtemp(prefix="qvn_bayes_")
    try:
        measure(arguments, folder, names, sigmas, work)
    finally:
        shutil.rmtree(work)


def noises(arguments, sigmas):
    """(label, seed index, make(clean, generator) -> (noisy, reference), white σ or None) for each
    noise asked for; the seed indices are those of denoise_quality.py with only the white or the
    camera table."""
    if arguments.camera is None:
        return [("σ %d" % sigma, dq.WHITE_SIGMAS.index(sigma), lambda clean, g, s=sigma: dq.white(clean, s, g), sigma)
                for sigma in sigmas]
    level = [a for a, _ in dq.CAMERA_LEVELS].index(arguments.camera)
    a, b = dq.CAMERA_LEVELS[level]
    quality = 90 if arguments.jpeg else 0
    label = "a %g%s" % (a, ", JPEG 90" if quality else "")
    return [(label, level + (len(dq.CAMERA_LEVELS) if quality else 0),
             lambda clean, g: dq.camera(clean, a, b, quality, g), None)]


def noise_model(arguments, sigma, report, noisy, reference, pilot):
    """Each group's N: white with the draw's σ or the measured figures, or the camera's binned."""
    if sigma is not None:
        return white_noise(json.loads(report)["noise"] if arguments.blind else [sigma] * 3, arguments.side)
    noise = noisy - (reference if arguments.noise == "told" else pilot)
    return binned_noise(noise, pilot, arguments.side)


def measure(arguments, folder, names, sigmas, work):
    """Prints each picture's PSNR and each noise's means."""
    noisy_bmp, fine_bmp = os.path.join(work, "noisy.bmp"), os.path.join(work, "fine.bmp")
    for label, index, make, sigma in noises(arguments, sigmas):
        rows = []
        for number, name in enumerate(names):
            if arguments.pictures and name not in arguments.pictures:
                continue
            clean = dq.read_rgb(os.path.join(folder, name + ".png"))
            noisy, reference = make(clean, np.random.default_rng([arguments.seed, index, number]))
            dq.write_rgb(noisy_bmp, noisy)
            report = subprocess.run([arguments.qvn, "--json", "-m", "fine", "--format", "bmp", "-o", fine_bmp,
                                     noisy_bmp], check=True, capture_output=True, text=True).stdout
            fine = dq.read_rgb(fine_bmp)
            noisy_channels, pilot = dq.opponent(noisy.astype(float)), dq.opponent(fine.astype(float))
            noise_of = noise_model(arguments, sigma, report, noisy_channels, dq.opponent(reference.astype(float)),
                                   pilot)
            step = dq.rgb_from_opponent(bayes_step(noisy_channels, pilot, noise_of, arguments.side, arguments.reach,
                                                   arguments.count, arguments.step,
                                                   1 if arguments.match == "brightness" else 3))
            mixed = arguments.share * step + (1 - arguments.share) * fine
            result = np.clip(np.round(mixed), 0, 255).astype(np.uint8)
            row = [dq.peak_signal_noise_ratio(reference, picture, data_range=255) for picture in (noisy, fine, result)]
            rows.append(row)
            print("%s %-10s noisy %.2f  fine %.2f  with the step %.2f (%+.2f)" % (label, name, *row, row[2] - row[1]),
                  flush=True)
        mean = np.mean(rows, 0)
        gaining = sum(row[2] > row[1] for row in rows)
        print("%s mean over %d: noisy %.3f  fine %.3f  with the step %.3f (%+.3f; %d gain)"
              % (label, len(rows), *mean, mean[2] - mean[1], gaining), flush=True)


if __name__ == "__main__":
    main()
