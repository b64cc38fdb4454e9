#!/usr/bin/env python3
"""Times each picture effect as a whole command side by side with the nearest
command of vips and of ImageMagick on the same generated 6000 x 4000 JPEG,
and prints the medians, the ratios and each one's peak memory. Lumaset's
command runs as the Tools menu runs it on a picture placed on the page: load
at full size, the effect (a dialog effect through its dialog and Apply), save
as a JPEG at quality 90 and shrink for the page. All three write 4:2:0 JPEGs
of three bands (grayscale too: vips through recomb, ImageMagick as TrueColor).

    bench/effects.py [EFFECT ...]

Needs: the Release build of bench_effects (made here in build/bench when
missing: cmake, ninja), vips (Debian package libvips-tools) and
ImageMagick's convert (package imagemagick); neither is a build or test
dependency. RUNS sets the counted runs (5), after one warm-up; the commands
take turns, run by run, and each ratio is the median of the runs' own ratios.
Beside each row stands the floor: vips decoding the same JPEG and encoding
it again as the others do (vips copy), which no command can beat by much.
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.environ.get("BUILD_DIR", os.path.join(ROOT, "build", "bench"))
BENCH = os.path.join(BUILD, "bin", "bench_effects")
CONVERT = "/usr/bin/convert"  # ImageMagick itself, whatever else is on the path
RUNS = int(os.environ.get("RUNS", "5"))


def matrix(folder, name, scale, rows):
    path = os.path.join(folder, name + ".mat")
    with open(path, "w") as out:
        out.write(f"3 3 {scale} 0\n" + "\n".join(" ".join(str(v) for v in row) for row in rows) + "\n")
    return path


def im_kernel(rows):
    return "3x3:" + " ".join(",".join(str(v) for v in row) for row in rows)


def commands(effect, photo, folder, palette, palette_png):
    """(ours, vips, imagemagick); each a list of argument lists run in turn, or None."""
    out = os.path.join(folder, "out")
    vq = f"{out}-vips.jpg[Q=90,subsample-mode=on]"  # 4:2:0, as Lumaset and ImageMagick write
    im = lambda *ops: [[CONVERT, photo, *ops, "-quality", "90", f"{out}-im.jpg"]]
    conv = lambda name, scale, rows: [["vips", "conv", photo, vq, matrix(folder, name, scale, rows), "--precision", "integer"]]
    binomial = [[1, 2, 1], [2, 4, 2], [1, 2, 1]]
    sharpen = [[-1, -1, -1], [-1, 13, -1], [-1, -1, -1]]  # 1 + 8 * 0.2 around -0.2, times 5
    edge = [[-1, -1, -1], [-1, 12, -1], [-1, -1, -1]]  # p - 0.25 (K * p), times 4
    soften = [[1, 1, 1], [1, -4, 1], [1, 1, 1]]  # 0.25 around -1, times 4
    luma = [0.299, 0.587, 0.114]  # Lumaset's weights
    shrunk = os.path.join(folder, "shrunk.v")
    table = {
        "blur": (conv("blur", 16, binomial), im("-morphology", "Convolve", im_kernel(binomial), "-define", "convolve:scale=!")),
        "sharpen": (conv("sharpen", 5, sharpen), im("-morphology", "Convolve", im_kernel([[v / 5 for v in r] for r in sharpen]))),
        "edge": (conv("edge", 4, edge), im("-morphology", "Convolve", im_kernel([[v / 4 for v in r] for r in edge]))),
        "soften": (conv("soften", 4, soften), im("-morphology", "Convolve", im_kernel([[v / 4 for v in r] for r in soften]))),
        "intensify": ([["vips", "linear", photo, vq, "2.5", "0", "--uchar"]], im("-evaluate", "multiply", "2.5")),
        # Three equal bands, as Lumaset writes: b-w and Gray alone write one band, a third of the work.
        "grayscale": ([["vips", "recomb", photo, vq, matrix(folder, "gray", 1, [luma] * 3)]],
                      im("-colorspace", "Gray", "-type", "TrueColor")),
        "brightcontrast": ([["vips", "linear", photo, vq, "1.2", "0", "--uchar"]], im("-brightness-contrast", "10x10")),
        "mosaic": ([["vips", "shrink", photo, shrunk, "12", "12"], ["vips", "zoom", shrunk, vq, "12", "12"]],
                   im("-scale", "8.3333%", "-scale", "6000x4000!")),
        "patchwork": (None, None),
        "dither": ([["vips", "pngsave", photo, f"{out}-vips.png", "--palette", "--bitdepth", "4", "--dither", "1", "--compression", "1"]],
                   im("-dither", "FloydSteinberg", "-colors", "16")),
        "palette": (None, im("-dither", "FloydSteinberg", "-remap", palette_png)),
        "colorize": (None, im("-fill", "rgb(200,120,40)", "-colorize", "60%")),
        "emboss": (None, im("-emboss", "1")),
        "replace": (None, im("-fuzz", "8%", "-fill", "red", "-opaque", "rgb(120,140,160)")),
        "mirror": ([["vips", "flip", photo, vq, "horizontal"]], im("-flop")),
        "rotate": ([["vips", "rot", photo, vq, "d270"]], im("-rotate", "-90")),
    }
    vips, magick = table[effect]
    ours = [[BENCH, effect, photo, f"{out}-ours.jpg", "--palette-file", palette]]
    return ours, vips, magick


def run(steps):
    """Wall seconds and peak resident memory in MB of a list of commands run in turn."""
    start = time.perf_counter()
    peak = 0
    for argv in steps:
        child = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(child.pid, 0)
        if status != 0:
            raise RuntimeError(f"failed: {' '.join(argv)}")
        peak = max(peak, usage.ru_maxrss / 1024)
    return time.perf_counter() - start, peak


def main():
    for tool in ("vips", CONVERT, "cmake", "ninja"):
        if subprocess.run(["which", tool], stdout=subprocess.DEVNULL).returncode != 0:
            sys.exit(f"missing: {tool}")
    if not os.path.exists(os.path.join(BUILD, "build.ninja")):
        launcher = os.environ.get("CMAKE_CXX_COMPILER_LAUNCHER")
        subprocess.run(["cmake", "-S", ROOT, "-B", BUILD, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release", "-DBUILD_TESTING=OFF"]
                       + ([f"-DCMAKE_CXX_COMPILER_LAUNCHER={launcher}"] if launcher else []),
                       check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["ninja", "-C", BUILD, "bench_effects"], check=True, stdout=subprocess.DEVNULL)
    effects = sys.argv[1:] or ["blur", "sharpen", "edge", "soften", "intensify", "grayscale", "brightcontrast", "mosaic",
                               "patchwork", "dither", "palette", "colorize", "emboss", "replace", "mirror", "rotate"]
    with tempfile.TemporaryDirectory() as folder:
        photo = os.path.join(folder, "photo.jpg")
        palette = os.path.join(folder, "cube.pal")
        palette_png = os.path.join(folder, "cube.png")
        for argv in ([BENCH, "--generate", photo], [BENCH, "--palette", palette], [BENCH, "--palette-image", palette, palette_png]):
            subprocess.run(argv, check=True)
        floor = [["vips", "copy", photo, f"{os.path.join(folder, 'out')}-floor.jpg[Q=90,subsample-mode=on]"]]
        print(f"cores: {os.cpu_count()}, load: {os.getloadavg()[0]:.1f}; 6000 x 4000 JPEG, quality 90; "
              f"median of {RUNS} runs taking turns; picture = 96 MB as 32-bit RGB")
        print("floor: vips decoding the JPEG and encoding it again (vips copy); ratios: medians of the runs' own")
        print(f"{'effect':15} {'lumaset':>9} {'vips':>9} {'magick':>9} {'floor':>9} {'l/vips':>7} {'magick/l':>9} "
              f"{'l/floor':>8}   peak MB: {'lumaset':>7} {'vips':>5} {'magick':>6}")
        for effect in effects:
            named = list(zip(("ours", "vips", "magick"), commands(effect, photo, folder, palette, palette_png)))
            named = [(name, steps) for name, steps in named if steps] + [("floor", floor)]
            times = {name: [] for name, _ in named}
            peaks = {name: 0.0 for name, _ in named}
            for turn in range(RUNS + 1):
                for name, steps in named:
                    seconds, peak = run(steps)
                    if turn > 0:
                        times[name].append(seconds)
                        peaks[name] = max(peaks[name], peak)
            med = {name: statistics.median(values) for name, values in times.items()}
            show = lambda name: f"{med[name] * 1000:7.0f}ms" if name in med else f"{'-':>9}"
            # The median of the runs' own ratios: both sides of each ran moments apart.
            ratio = lambda a, b: (f"{statistics.median(x / y for x, y in zip(times[a], times[b])):.2f}"
                                  if a in times and b in times else "-")
            mb = lambda name, width: f"{peaks[name]:{width}.0f}" if name in peaks else f"{'-':>{width}}"
            print(f"{effect:15} {show('ours'):>9} {show('vips'):>9} {show('magick'):>9} {show('floor'):>9} "
                  f"{ratio('ours', 'vips'):>7} {ratio('magick', 'ours'):>9} {ratio('ours', 'floor'):>8}   "
                  f"{mb('ours', 7)} {mb('vips', 5)} {mb('magick', 6)}")


if __name__ == "__main__":
    main()
