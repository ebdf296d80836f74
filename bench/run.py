#!/usr/bin/env python3
"""Speed and memory of the programs against the limits of the pipeline.

For each kind of scan (single frame, four frames), size (default, large) and
channel count (gray, colour) it reports, as medians over repeated runs:
start-up (a run on an empty folder), the marginal time per scan (from runs on
1 and on N scans), the per-scan split into load, analysis, scaling and
encoding, and the peak memory; side by side with a no-analysis program built
on the same libraries and with a plain ffmpeg command doing the same input
and output. Prints a Markdown table. Run through bench/run.sh.

With --reel it measures instead how a run with --all scales from 10 to 1,000
scans: peak memory, processor and wall time per scan (also of a further
scan, net of a one-scan run), and the peak of a 1,000-scan run with a report.

With --register it measures the cost per scan with --register against the
cost without it, on the same sets, and how many of their scans register;
with --instructions too, in instructions counted under valgrind rather than
in processor time, a measure the machine's other work does not move.
"""
import argparse
import json
import os
import re
import resource
import shutil
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BIN = os.path.join(ROOT, "build", "release", "bin")
DATA = os.path.join(ROOT, "build", "bench-data")
# What the library's writer (OpenCV 4.6 with FFmpeg) configures for a 640 x 480,
# 25 fps video, read back from the AVI header of its output (dwMaxBytesPerSec):
# 2 x 640 x 480 x 25 bit/s, the same as tolerance, quantiser at least 3, an
# intra frame every 12 frames, one encoder thread.
ENCODER = ["-b:v", "15360k", "-bt", "15360k", "-qmin", "3", "-g", "12", "-threads", "1"]

KINDS = {
    "single": {"programs": ["tarvel1m", "tarvel1d"], "scans": 10, "frames_per_scan": 1},
    "quad": {"programs": ["tarvel4"], "scans": 5, "frames_per_scan": 10},
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


def usage(cmd, cwd, repeats=3):
    """Peak resident memory (KB), processor time, user + system (ms), and
    wall time (ms), as medians over a few runs. With a second thread the peak
    varies from run to run by several MiB (where the allocator places a
    scan), and the processor time is what the run costs beyond its wall time."""
    peaks, cpu, wall = [], [], []
    for _ in range(repeats):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.perf_counter()
        out = subprocess.run(["/usr/bin/time", "-v"] + cmd, cwd=cwd, stdout=subprocess.DEVNULL,
                             stderr=subprocess.PIPE, text=True).stderr
        wall.append(1000.0 * (time.perf_counter() - start))
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        m = re.search(r"Maximum resident set size \(kbytes\): (\d+)", out)
        peaks.append(int(m.group(1)) if m else 0)
        # time -v prints centiseconds; the children's usage has microseconds.
        cpu.append(1000.0 * (after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime))
    return statistics.median(peaks), statistics.median(cpu), statistics.median(wall)


def peak_kb(cmd, cwd):
    return usage(cmd, cwd)[0]


def cpu_per_scan(cmd, one, full, n):
    return (usage(cmd, full)[1] - usage(cmd, one)[1]) / (n - 1)


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


def window_of(program, folder):
    """The frame window our program cuts, in the loaded scan's orientation
    (width along the strip, height across it), from its own output lines."""
    out = subprocess.run([os.path.join(BIN, program)], cwd=folder, capture_output=True, text=True).stdout
    m = re.search(r"image_length = (\d+) image_width = (\d+)", out)
    length, width = int(m.group(1)), int(m.group(2))
    along = length // 4 if program == "tarvel4" else length
    return along, width + 1


def ffmpeg_cmd(kind, program, window, scan_size):
    """Decode, crop the same fixed windows as the no-analysis program, scale
    bicubic, encode with the writer's settings. For four-frame scans every scan
    is split into its four windows, each scaled once and sent 4, 3, 2 and 1
    times with explicit time stamps, as the programs do."""
    (w, h), (sw, sh) = window, scan_size
    codec, tag = CODEC[program]
    scale = "scale=640:480:flags=bicubic"
    y = (sh - h) // 2
    if kind == "single":
        x = (sw - w) // 2
        rate, graph = "25", f"[0:v]crop={w}:{h}:{x}:{y},{scale}[out]"
    else:
        x0 = (sw - (3 * (w - 1) + w)) // 2
        copies = [4, 3, 2, 1]
        parts = ["[0:v]settb=1/25,split=4[w0][w1][w2][w3]"]
        frame = 0
        for k, n in enumerate(copies):
            outs = "".join(f"[f{frame + i}]" for i in range(n))
            split = f",split={n}" if n > 1 else ""
            parts.append(f"[w{k}]crop={w}:{h}:{x0 + k * (w - 1)}:{y},{scale}{split}{outs}")
            frame += n
        parts += [f"[f{i}]setpts=PTS+{i}[g{i}]" for i in range(10)]
        parts.append("".join(f"[g{i}]" for i in range(10)) + "interleave=nb_inputs=10[out]")
        rate, graph = "2.5", ";".join(parts)
    return ["ffmpeg", "-y", "-v", "error", "-framerate", rate, "-pattern_type", "glob", "-i", "*.tif",
            "-filter_complex", graph, "-map", "[out]", "-r", "25", "-c:v", codec, "-vtag", tag] + ENCODER + [
            "ffmpeg.avi"]


def video_facts(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-count_packets", "-show_entries",
                          "stream=codec_name,codec_tag_string,width,height,r_frame_rate,nb_read_packets",
                          "-of", "csv=p=0", path], capture_output=True, text=True).stdout.strip()
    return out


def check_same_output(program, folder):
    """Ours, the no-analysis program and ffmpeg must write the same codec, tag,
    size, rate and frame count, or the comparison means nothing."""
    video = "video3.avi" if program == "tarvel4" else "video.avi"
    facts = {name: video_facts(os.path.join(folder, name)) for name in (video, "plain.avi", "ffmpeg.avi")}
    if len(set(facts.values())) != 1:
        sys.exit(f"outputs differ in {folder}: {facts}")
    print(f"checked {program} in {folder}: {facts[video]}", file=sys.stderr)


def scan_bytes(folder):
    out = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "stream=width,height,pix_fmt", "-of",
                          "csv=p=0", sorted(f for f in os.listdir(folder) if f.endswith(".tif"))[0]],
                         cwd=folder, capture_output=True, text=True).stdout.strip().split(",")
    w, h, fmt = int(out[0]), int(out[1]), out[2]
    return w * h * (1 if fmt.startswith("gray") else 3), (w, h)


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


REEL = 1000  # scans of the long run; make_scans writes at most 999 a call


def make_reel(kind):
    """1,000 colour scans of the kind, size 1, bright film (seed 5 for the
    first 999, seed 6 for the last, renumbered scan_0001.tif ...), made once;
    and folders of their first 10 and first 1 (hard links)."""
    base = os.path.join(DATA, f"reel-{kind}")
    full = os.path.join(base, "all")
    if not os.path.isdir(full):
        part = full + ".part"
        shutil.rmtree(part, ignore_errors=True)
        made = []
        for seed, count in ((5, 999), (6, REEL - 999)):
            out = os.path.join(base, f"seed{seed}")
            subprocess.run([os.path.join(BIN, "make_scans"), "--kind", kind, "--count", str(count), "--out", out,
                            "--channels", "3", "--film", "bright", "--seed", str(seed)], check=True,
                           stdout=subprocess.DEVNULL)
            made += [os.path.join(out, f) for f in sorted(os.listdir(out)) if f.endswith(".tif")]
        os.makedirs(part)
        for i, path in enumerate(made, 1):
            os.rename(path, os.path.join(part, f"scan_{i:04d}.tif"))
        for seed in (5, 6):
            shutil.rmtree(os.path.join(base, f"seed{seed}"))
        os.rename(part, full)
    for folder, n in (("ten", 10), ("one", 1)):
        if not os.path.isdir(os.path.join(base, folder)):
            os.makedirs(os.path.join(base, folder))
            for i in range(1, n + 1):
                os.link(os.path.join(full, f"scan_{i:04d}.tif"), os.path.join(base, folder, f"scan_{i:04d}.tif"))
    return base


def reel(runs):
    """Each program with --all on 10 and on 1,000 scans: peak memory, and
    processor and wall time per scan, both of the whole run and of a further
    scan (the difference from a run on the first scan / (N - 1)), 1,000
    against 10; then one 1,000-scan run with --report, checked for all scans."""
    print("| program | peak MiB 10 / 1,000 | ratio | with report MiB | ratio |"
          " processor ms per scan 10 / 1,000 | ratio | further scan | ratio |"
          " wall ms per scan 10 / 1,000 | ratio | further scan | ratio |")
    print("|" + "---|" * 14)
    for kind, traits in KINDS.items():
        base = make_reel(kind)
        for program in traits["programs"]:
            cmd = [os.path.join(BIN, program), "--all"]
            one = usage(cmd, os.path.join(base, "one"))
            ten = usage(cmd, os.path.join(base, "ten"))
            full = usage(cmd, os.path.join(base, "all"), runs)
            report = usage(cmd + ["--report", "r.json"], os.path.join(base, "all"), 1)
            with open(os.path.join(base, "all", "r.json")) as f:
                doc = json.load(f)
            if doc["status"] != 0 or len(doc["scans"]) != REEL:
                sys.exit(f"{program}: status {doc['status']}, {len(doc['scans'])} scans in the report")
            cols = [f"{ten[0] / 1024:.0f} / {full[0] / 1024:.0f}", f"{full[0] / ten[0]:.2f}",
                    f"{report[0] / 1024:.0f}", f"{report[0] / ten[0]:.2f}"]
            for k in (1, 2):  # processor, wall
                a, b = ten[k] / 10, full[k] / REEL
                fa, fb = (ten[k] - one[k]) / 9, (full[k] - one[k]) / (REEL - 1)
                cols += [f"{a:.1f} / {b:.1f}", f"{b / a:.2f}", f"{fa:.1f} / {fb:.1f}", f"{fb / fa:.2f}"]
            print(f"| {program} | " + " | ".join(cols) + " |", flush=True)


REGISTER_SCANS = 40


def reel_of(kind, scale, channels, count):
    """A set of `count` scans of a kind (the benchmark's own scans, more of
    them) and a folder holding its first scan alone."""
    name = f"{kind}-x{scale}-{channels}ch-{count}"
    base = os.path.join(DATA, name)
    if not os.path.isdir(base):
        full = os.path.join(base, "all")
        subprocess.run([os.path.join(BIN, "make_scans"), "--kind", kind, "--count", str(count),
                        "--out", full, "--channels", str(channels), "--film", "bright", "--scale", str(scale),
                        "--seed", "5"], check=True, stdout=subprocess.DEVNULL)
        os.makedirs(os.path.join(base, "one"))
        first = sorted(f for f in os.listdir(full) if f.endswith(".tif"))[0]
        shutil.copy(os.path.join(full, first), os.path.join(base, "one", first))
    return f"{kind}-x{scale}-{channels}ch", base


def cpu_of(cmd, cwd):
    """Processor time (ms), user plus system, of one run."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    sh(cmd, cwd)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return 1000.0 * (after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime)


def further_scan_cpu(cmds, full, one, n, runs=7):
    """Per command, the processor time of a further scan: the least of
    `runs` runs on all n scans less the least on one, over n - 1 (other
    work on the machine only ever adds to a run's time, so the least is
    the steadiest measure). The commands' runs take turns, so that a slow
    spell of the machine falls on all of them alike rather than on
    whichever ran then."""
    least = {}
    for _ in range(runs):
        for i, cmd in enumerate(cmds):
            for folder in (full, one):
                t = cpu_of(cmd, folder)
                least[(i, folder)] = min(t, least.get((i, folder), t))
    return [(least[(i, full)] - least[(i, one)]) / (n - 1) for i in range(len(cmds))]


def instructions_of(cmd, cwd):
    """Instructions one run executes, in all its threads (callgrind)."""
    err = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null"] + cmd, cwd=cwd,
                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True).stderr
    return int(re.search(r"Collected : (\d+)", err).group(1))


def further_scan_instructions(cmds, base):
    """Per command, the instructions of a further scan: a run on the set's
    first ten scans less a run on its first, over nine (in millions)."""
    ten = os.path.join(base, "ten")
    if not os.path.isdir(ten):
        os.makedirs(ten)
        full = os.path.join(base, "all")
        for f in sorted(f for f in os.listdir(full) if f.endswith(".tif"))[:10]:
            shutil.copy(os.path.join(full, f), os.path.join(ten, f))
    one = os.path.join(base, "one")
    return [(instructions_of(cmd, ten) - instructions_of(cmd, one)) / 9 / 1e6 for cmd in cmds]


def register_ratio(scales, instructions=False):
    """Processor time of a further scan with and without --register (see
    further_scan_cpu) on forty scans of each set, with --all: forty rather
    than the default run's ten, so that what the machine's other work adds
    to a run weighs little against the scans' own time; per set and
    program, and the scans the perforations registered."""
    n = REGISTER_SCANS
    unit = "instructions per scan, millions" if instructions else "processor ms per scan"
    print(f"| scans | program | {unit} | with --register | ratio | scans registered |")
    print("|" + "---|" * 6)
    for kind in KINDS:
        for scale in scales.split(","):
            for channels in (1, 3):
                name, base = reel_of(kind, scale, channels, n)
                one, full = os.path.join(base, "one"), os.path.join(base, "all")
                for program in KINDS[kind]["programs"]:
                    prog = [os.path.join(BIN, program), "--all"]
                    cmds = [prog, prog + ["--register"]]
                    plain, registered = (further_scan_instructions(cmds, base) if instructions
                                         else further_scan_cpu(cmds, full, one, n))
                    out = subprocess.run(prog + ["--register"], cwd=full, capture_output=True, text=True).stdout
                    print(f"| {name} | {program} | {plain:.1f} | {registered:.1f} | {registered / plain:.2f} |"
                          f" {out.count('gauge ')} of {n} |", flush=True)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--repeats", type=int, default=7)
    ap.add_argument("--scales", default="1,2")
    ap.add_argument("--reel", type=int, metavar="RUNS", help="only the 10 against 1,000 scans measurement, "
                    "RUNS runs of 1,000 scans (3 of 10)")
    ap.add_argument("--register", action="store_true", help="only the cost with --register against without")
    ap.add_argument("--instructions", action="store_true", help="with --register: in instructions (valgrind)")
    args = ap.parse_args()
    if args.reel:
        return reel(args.reel)
    if args.register:
        return register_ratio(args.scales, args.instructions)
    rows = []
    for kind in KINDS:
        n = KINDS[kind]["scans"]
        for scale in args.scales.split(","):
            for channels in (1, 3):
                name, base = make_sets(kind, scale, channels)
                one, full, empty = (os.path.join(base, d) for d in ("one", "all", "empty"))
                decoded, scan_size = scan_bytes(full)
                window = window_of(KINDS[kind]["programs"][0], one)
                split = split_medians(kind, full, args.repeats)
                for program in KINDS[kind]["programs"]:
                    prog = [os.path.join(BIN, program)]
                    plain = [os.path.join(BIN, "plain_pipeline"), kind, str(window[0]), str(window[1]),
                             CODEC[program][1]]
                    plain_start = timed(plain, empty, args.repeats)
                    plain_marginal = (timed(plain, full, args.repeats) - timed(plain, one, args.repeats)) / (n - 1)
                    plain_peak_empty, plain_peak_full = peak_kb(plain, empty), peak_kb(plain, full)
                    start = timed(prog, empty, args.repeats)
                    marginal = (timed(prog, full, args.repeats) - timed(prog, one, args.repeats)) / (n - 1)
                    ff = ffmpeg_cmd(kind, program, window, scan_size)
                    ff_one = timed(ff, one, args.repeats)
                    ff_marginal = (timed(ff, full, args.repeats) - ff_one) / (n - 1)
                    ff_start = ff_one - ff_marginal  # the intercept: a run's cost before its first scan
                    peak_empty, peak_full = peak_kb(prog, empty), peak_kb(prog, full)
                    cpu = [cpu_per_scan(c, one, full, n) for c in (prog, plain, ff)]
                    check_same_output(program, full)
                    rows.append((name, program, start, marginal, plain_start, plain_marginal, ff_start, ff_marginal, split,
                                 peak_empty, peak_full, decoded, plain_peak_empty, plain_peak_full, cpu))
    print("| scans | program | start-up ms | per scan ms | no-analysis start-up ms | no-analysis per scan ms |"
          " ratio | ffmpeg start-up ms | ffmpeg per scan ms | ratio | load | analysis | scaling | encoding |"
          " peak MiB (empty) | peak MiB | limit MiB | no-analysis peak MiB (empty / scans) |"
          " processor ms per scan (ours / no-analysis / ffmpeg) |")
    print("|" + "---|" * 20)
    for (name, program, start, marg, plain_s, plain, ffs, ffm, split, pe, pf, dec, ppe, ppf, cpu) in rows:
        limit = pe / 1024 + 4 * dec / 2**20
        print(f"| {name} | {program} | {start:.0f} | {marg:.1f} | {plain_s:.0f} | {plain:.1f} | {marg / plain:.2f} |"
              f" {ffs:.0f} |"
              f" {ffm:.1f} | {marg / ffm:.2f} | {split['load']:.1f} | {split['analysis']:.1f} |"
              f" {split['scaling']:.1f} | {split['encoding']:.1f} | {pe / 1024:.0f} | {pf / 1024:.0f} |"
              f" {limit:.1f} | {ppe / 1024:.0f} / {ppf / 1024:.0f} |"
              f" {cpu[0]:.1f} / {cpu[1]:.1f} / {cpu[2]:.1f} |")


if __name__ == "__main__":
    main()
