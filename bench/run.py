#!/usr/bin/env python3
"""Speed and memory of the programs against the limits of the pipeline.

For each kind of scan (single frame, four frames), size (default, large) and
channel count (gray, colour) it reports, as medians over repeated runs:
start-up (a run on an empty folder), the marginal time per scan (from runs on
1 and on N scans), the per-scan split into load, analysis, scaling and
encoding, and the peak memory; side by side with a no-analysis program built
on the same libraries and with a plain ffmpeg command doing the same input
and output. Prints a Markdown table. Run through bench/run.sh.
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BIN = os.path.join(ROOT, "build", "release", "bin")
DATA = os.path.join(ROOT, "build", "bench-data")
BIT_RATE = "7680k"  # what the library's writer asks of the encoder: 640 x 480 x 25

KINDS = {
    "single": {"programs": ["tarvel1m", "tarvel1d"], "scans": 10, "window": (745, 539)},
    "quad": {"programs": ["tarvel4"], "scans": 5, "window": (249, 230)},
}
CODEC = {"tarvel1m": ("msmpeg4v2", "MP42"), "tarvel1d": ("mpeg4", "DIVX"), "tarvel4": ("mpeg4", "DIVX")}


def sh(cmd, cwd=None):
    subprocess.run(cmd, cwd=cwd, check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def timed(cmd, cwd, repeats):
    samples = []
    for _ in range(repeats):
        start = time.perf_counter()
        sh(cmd, cwd)
        samples.append(time.perf_counter() - start)
    return statistics.median(samples) * 1000.0


def peak_kb(cmd, cwd):
    out = subprocess.run(["/usr/bin/time", "-v"] + cmd, cwd=cwd, stdout=subprocess.DEVNULL,
                         stderr=subprocess.PIPE, text=True).stderr
    m = re.search(r"Maximum resident set size \(kbytes\): (\d+)", out)
    return int(m.group(1)) if m else 0


def make_sets(kind, scale, channels):
    name = f"{kind}-x{scale}-{channels}ch"
    base = os.path.join(DATA, name)
    if not os.path.isdir(base):
        full = os.path.join(base, "all")
        subprocess.run([os.path.join(BIN, "make_scans"), "--kind", kind, "--count", str(KINDS[kind]["scans"]),
                        "--out", full, "--channels", str(channels), "--film", "bright", "--scale", str(scale),
                        "--seed", "5"], check=True, stdout=subprocess.DEVNULL)
        os.makedirs(os.path.join(base, "one"))
        os.makedirs(os.path.join(base, "empty"))
        first = sorted(f for f in os.listdir(full) if f.endswith(".tif"))[0]
        shutil.copy(os.path.join(full, first), os.path.join(base, "one", first))
    return name, base


def ffmpeg_cmd(kind, program):
    w, h = KINDS[kind]["window"]
    codec, tag = CODEC[program]
    scale = f"crop={w}:{h},scale=640:480:flags=bicubic"
    if kind == "quad":
        rate, vf = "2.5", scale + ",fps=25"  # every scan becomes ten output frames
    else:
        rate, vf = "25", scale
    return ["ffmpeg", "-y", "-v", "error", "-framerate", rate, "-pattern_type", "glob", "-i", "*.tif",
            "-vf", vf, "-c:v", codec, "-vtag", tag, "-b:v", BIT_RATE, "-r", "25", "ffmpeg.avi"]


def scan_bytes(folder):
    out = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "stream=width,height,pix_fmt", "-of",
                          "csv=p=0", sorted(f for f in os.listdir(folder) if f.endswith(".tif"))[0]],
                         cwd=folder, capture_output=True, text=True).stdout.strip().split(",")
    w, h, fmt = int(out[0]), int(out[1]), out[2]
    return w * h * (1 if fmt.startswith("gray") else 3)


def split_medians(kind, folder, repeats):
    cols = {"load": [], "analysis": [], "scaling": [], "encoding": []}
    for _ in range(repeats):
        out = subprocess.run([os.path.join(BIN, "stage_split"), kind], cwd=folder, capture_output=True,
                             text=True).stdout.splitlines()[2:]  # the first scan also calibrates
        for line in out:
            f = line.split("\t")
            for key, value in zip(cols, f[1:]):
                cols[key].append(float(value))
    return {k: statistics.median(v) if v else 0.0 for k, v in cols.items()}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--repeats", type=int, default=5)
    ap.add_argument("--scales", default="1,2")
    args = ap.parse_args()
    rows = []
    for kind in KINDS:
        n = KINDS[kind]["scans"]
        for scale in args.scales.split(","):
            for channels in (1, 3):
                name, base = make_sets(kind, scale, channels)
                one, full, empty = (os.path.join(base, d) for d in ("one", "all", "empty"))
                decoded = scan_bytes(full)
                plain = [os.path.join(BIN, "plain_pipeline"), kind]
                plain_one = timed(plain, one, args.repeats)
                plain_marginal = (timed(plain, full, args.repeats) - plain_one) / (n - 1)
                plain_start = plain_one - plain_marginal
                split = split_medians(kind, full, args.repeats)
                for program in KINDS[kind]["programs"]:
                    prog = [os.path.join(BIN, program)]
                    start = timed(prog, empty, args.repeats)
                    marginal = (timed(prog, full, args.repeats) - timed(prog, one, args.repeats)) / (n - 1)
                    ff = ffmpeg_cmd(kind, program)
                    ff_one = timed(ff, one, args.repeats)
                    ff_marginal = (timed(ff, full, args.repeats) - ff_one) / (n - 1)
                    ff_start = ff_one - ff_marginal  # the intercept: a run's cost before its first scan
                    peak_empty, peak_full = peak_kb(prog, empty), peak_kb(prog, full)
                    rows.append((name, program, start, marginal, plain_start, plain_marginal, ff_start, ff_marginal, split,
                                 peak_empty, peak_full, decoded))
    print("| scans | program | start-up ms | per scan ms | no-analysis start-up ms | no-analysis per scan ms |"
          " ratio | ffmpeg start-up ms | ffmpeg per scan ms | ratio | load | analysis | scaling | encoding |"
          " peak MiB (empty) | peak MiB | limit MiB |")
    print("|" + "---|" * 18)
    for (name, program, start, marg, plain_s, plain, ffs, ffm, split, pe, pf, dec) in rows:
        limit = pe / 1024 + 4 * dec / 2**20
        print(f"| {name} | {program} | {start:.0f} | {marg:.1f} | {plain_s:.0f} | {plain:.1f} | {marg / plain:.2f} |"
              f" {ffs:.0f} |"
              f" {ffm:.1f} | {marg / ffm:.2f} | {split['load']:.1f} | {split['analysis']:.1f} |"
              f" {split['scaling']:.1f} | {split['encoding']:.1f} | {pe / 1024:.0f} | {pf / 1024:.0f} |"
              f" {limit:.0f} |")


if __name__ == "__main__":
    main()
