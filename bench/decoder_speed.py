#!/usr/bin/env python3
"""Times vemla-decode beside the established decoders on the same files, in one run.

Makes its test streams with lame and twolame from vemla-signal's music-like signal, then decodes each file
with vemla-decode (to nothing), mpg123 -q -t and ffmpeg -threads 1 -f null, several repetitions each in
turn, and prints the CPU time of each and the ratios vemla/peer with their spread. The portable path
(VEMLA_SIMD=portable) is timed beside mpg123's own generic decoder (--cpu generic), its peer on processors
without vector units. It also prints the peak memory of vemla-decode on a one-minute and on a one-hour file.
--earlier times another vemla-decode (say, a build of the previous version) in the same run, both ways.

    bench/decoder_speed.py [--build build] [--seconds 300] [--repeat 5] [--only l2] [--no-memory]
                           [--earlier PATH]
"""
import argparse
import os
import pathlib
import shutil
import statistics
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent

# name, layer, how to make it: (rate, channels, encoder command with {wav} and {out})
FILES = [
    ("l3-cbr128-js-44k", "l3", 44100, 2, "lame --quiet -b 128 -m j {wav} {out}"),
    ("l3-cbr320-st-48k", "l3", 48000, 2, "lame --quiet -b 320 -m s {wav} {out}"),
    ("l3-vbr-xing-44k", "l3", 44100, 2, "lame --quiet -V 2 {wav} {out}"),
    ("l3-cbr64-22k", "l3", 22050, 2, "lame --quiet -b 64 {wav} {out}"),
    ("l3-mono-44k", "l3", 44100, 1, "lame --quiet -b 96 -m m {wav} {out}"),
    ("l2-192-44k", "l2", 44100, 2, "twolame --quiet -b 192 {wav} {out}"),
    ("l2-384-48k", "l2", 48000, 2, "twolame --quiet -b 384 {wav} {out}"),
]


def run_measured(command, environment=None):
    """Runs a command with its output discarded; returns its CPU seconds (user and system)."""
    with open(os.devnull, "wb") as null:
        process = subprocess.Popen(command, stdout=null, stderr=null, env=environment)
        _, status, usage = os.wait4(process.pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit(f"failed: {' '.join(map(str, command))}")
    return usage.ru_utime + usage.ru_stime


def peak_memory_kib(command):
    """Peak resident memory of a command, measured by GNU time (a forked Python child would count the
    interpreter's own pages)."""
    result = subprocess.run(["/usr/bin/time", "-f", "%M", *map(str, command)], stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True, check=True)
    return int(result.stderr.strip().splitlines()[-1])


def make_streams(build, work, seconds, only):
    # Each length has its own files: a file made for another --seconds would time the wrong length.
    signals = {}
    streams = []
    for name, layer, rate, channels, encoder in FILES:
        if only and layer != only:
            continue
        key = (rate, channels)
        if key not in signals:
            wav = work / f"signal-{rate}-{channels}-{seconds:g}s.wav"
            if not wav.exists():
                subprocess.run([build / "tools/vemla-signal", wav, "-s", str(seconds), "-r", str(rate), "-c",
                                str(channels)], check=True)
            signals[key] = wav
        out = work / f"{name}-{seconds:g}s.{'mp3' if layer == 'l3' else 'mp2'}"
        if not out.exists():
            subprocess.run(encoder.format(wav=signals[key], out=out), shell=True, check=True)
        streams.append((name, out))
    return streams


def median_ratio(times, a, b):
    """The median and spread of the per-repetition ratios a/b, and the ratio of the fastest runs: on a shared
    machine other work only ever adds time, so the fastest run of each is the least disturbed."""
    ratios = [x / y for x, y in zip(times[a], times[b]) if y > 0]
    best = min(times[a]) / max(min(times[b]), 1e-9)
    return f"  {statistics.median(ratios):14.2f} {spread(ratios):>11} {best:6.2f}"


def spread(values):
    return f"{min(values):.2f}-{max(values):.2f}"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=str(ROOT / "build"))
    parser.add_argument("--work", default="/tmp/vemla-bench")
    parser.add_argument("--seconds", type=float, default=300)
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--only", choices=["l2", "l3"])
    parser.add_argument("--no-memory", action="store_true")
    parser.add_argument("--earlier", help="another vemla-decode to time beside this one")
    args = parser.parse_args()

    build = pathlib.Path(args.build)
    work = pathlib.Path(args.work)
    work.mkdir(parents=True, exist_ok=True)
    vemla = build / "tools/vemla-decode"
    portable = {**os.environ, "VEMLA_SIMD": "portable"}
    native = {k: v for k, v in os.environ.items() if k != "VEMLA_SIMD"}
    # name: (command for a file, environment)
    decoders = {"vemla": (lambda f: [vemla, "--null", f], native)}
    if args.earlier:
        decoders["earlier"] = (lambda f: [args.earlier, "--null", f], native)
    decoders["vemla-p"] = (lambda f: [vemla, "--null", f], portable)
    if args.earlier:
        decoders["earlier-p"] = (lambda f: [args.earlier, "--null", f], portable)
    # Ratios printed: (measured, peer); the portable path is measured against the generic decoder.
    pairs = []
    if shutil.which("mpg123"):
        decoders["mpg123"] = (lambda f: ["mpg123", "-q", "-t", f], native)
        decoders["mpg123-g"] = (lambda f: ["mpg123", "--cpu", "generic", "-q", "-t", f], native)
        pairs += [("vemla", "mpg123"), ("vemla-p", "mpg123-g")]
    if shutil.which("ffmpeg"):
        decoders["ffmpeg"] = (lambda f: ["ffmpeg", "-v", "quiet", "-threads", "1", "-i", f, "-f", "null", "-"],
                              native)
        pairs.append(("vemla", "ffmpeg"))
    if args.earlier:
        pairs += [("vemla", "earlier"), ("vemla-p", "earlier-p")]

    streams = make_streams(build, work, args.seconds, args.only)
    print(f"{args.seconds:g} s of signal per file, {args.repeat} repetitions (the decoders in turn, every other "
          "repetition in reverse order), CPU seconds (median); ratios are medians of the per-repetition ratios, "
          "with their spread and the ratio of the fastest runs (best)")
    header = f"{'file':20} " + " ".join(f"{d:>9}" for d in decoders)
    header += "".join(f"  {a + '/' + b:>14} {'spread':>11} {'best':>6}" for a, b in pairs)
    print(header)
    for name, path in streams:
        times = {d: [] for d in decoders}
        order = list(decoders)
        for repetition in range(args.repeat):
            # Reversed every other time: no decoder always runs right after the same one.
            for d in order if repetition % 2 == 0 else reversed(order):
                command, environment = decoders[d]
                times[d].append(run_measured(command(path), environment))
        line = f"{name:20} " + " ".join(f"{statistics.median(times[d]):9.3f}" for d in decoders)
        for a, b in pairs:
            line += median_ratio(times, a, b)
        realtime = args.seconds / max(statistics.median(times["vemla"]), 1e-9)
        print(line + f"   ({realtime:.0f}x real time)")
        sys.stdout.flush()

    if not args.no_memory and shutil.which("lame"):
        minute = work / "memory-1min.mp3"
        hour = work / "memory-1h.mp3"
        if not minute.exists():
            wav = work / "signal-44100-2-60s.wav"
            subprocess.run([build / "tools/vemla-signal", wav, "-s", "60"], check=True)
            subprocess.run(["lame", "--quiet", "-t", "-b", "128", wav, minute], check=True)
        if not hour.exists():
            with open(hour, "wb") as out:  # CBR frames without a tag concatenate into one stream
                for _ in range(60):
                    out.write(minute.read_bytes())
        small = peak_memory_kib([vemla, "--null", minute])
        large = peak_memory_kib([vemla, "--null", hour])
        print(f"peak memory of vemla-decode: one minute {small} KiB, one hour {large} KiB "
              f"(+{large - small} KiB)")


if __name__ == "__main__":
    main()
