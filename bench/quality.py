#!/usr/bin/python3
"""Picture quality of each tool's copies, scored against one reference.

    bench/quality.py WORK OUTDIR=SRCDIR...
    bench/quality.py --zone-plate FILE.png SIZE

Each OUTDIR holds one tool's copies (quality 100) of the pictures of SRCDIR,
named after their sources (any suffix before ".jpg" is ignored). The
reference of a copy is ImageMagick's Lanczos reduction of the full-size
source to exactly that copy's size, kept at 8 bits without a JPEG step.
Prints one line per OUTDIR: its name, the mean PSNR over red, green and blue
(dB), the mean SSIM of the luma (Gaussian window, sigma 1.5) and the copies
scored. --zone-plate writes a grey SIZE x SIZE zone plate: rings whose
frequency grows from the centre to half a cycle a pixel at the edges.
"""
import glob
import os
import subprocess
import sys

import numpy as np
from PIL import Image
from scipy.ndimage import gaussian_filter


def pixels(path):
    return np.asarray(Image.open(path).convert("RGB"), dtype=np.float64)


def psnr(a, b):
    mse = float(np.mean((a - b) ** 2))
    return 100.0 if mse == 0 else 10.0 * np.log10(255.0 * 255.0 / mse)


def ssim(a, b):
    weights = np.array([0.299, 0.587, 0.114])
    x, y = a @ weights, b @ weights
    blur = lambda z: gaussian_filter(z, 1.5, truncate=3.5)
    mx, my = blur(x), blur(y)
    vx, vy, cxy = blur(x * x) - mx * mx, blur(y * y) - my * my, blur(x * y) - mx * my
    c1, c2 = (0.01 * 255) ** 2, (0.03 * 255) ** 2
    s = ((2 * mx * my + c1) * (2 * cxy + c2)) / ((mx * mx + my * my + c1) * (vx + vy + c2))
    return float(s.mean())


def reference(work, source, width, height):
    name = "%s-%dx%d.png" % (os.path.basename(source), width, height)
    path = os.path.join(work, name)
    if not os.path.exists(path):
        subprocess.run(["/usr/bin/convert", source, "-filter", "Lanczos", "-resize", "%dx%d!" % (width, height),
                        "-depth", "8", path], check=True)
    return pixels(path)


def score(work, outdir, srcdir):
    sources = {os.path.splitext(os.path.basename(s))[0]: s for s in glob.glob(os.path.join(srcdir, "*.*"))}
    psnrs, ssims = [], []
    for copy in sorted(glob.glob(os.path.join(outdir, "*.jpg"))):
        base = os.path.splitext(os.path.basename(copy))[0]
        stem = next((s for s in sorted(sources, key=len, reverse=True) if base.startswith(s)), None)
        if stem is None:
            continue
        out = pixels(copy)
        ref = reference(work, sources[stem], out.shape[1], out.shape[0])
        psnrs.append(psnr(out, ref))
        ssims.append(ssim(out, ref))
    if not psnrs:
        sys.exit("no copies found in " + outdir)
    return float(np.mean(psnrs)), float(np.mean(ssims)), len(psnrs)


def zone_plate(path, size):
    y, x = np.mgrid[0:size, 0:size].astype(np.float64)
    r2 = (x + 0.5 - size / 2) ** 2 + (y + 0.5 - size / 2) ** 2
    v = 127.5 + 127.0 * np.cos(np.pi * r2 / size)
    Image.fromarray(np.clip(np.round(v), 0, 255).astype(np.uint8)).convert("RGB").save(path)


def main():
    if sys.argv[1] == "--zone-plate":
        zone_plate(sys.argv[2], int(sys.argv[3]))
        return
    work = sys.argv[1]
    os.makedirs(work, exist_ok=True)
    for pair in sys.argv[2:]:
        outdir, srcdir = pair.split("=", 1)
        p, s, n = score(work, outdir, srcdir)
        print("%s %.2f %.4f %d" % (os.path.basename(outdir.rstrip("/")), p, s, n))


if __name__ == "__main__":
    main()
