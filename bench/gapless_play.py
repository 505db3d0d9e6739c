#!/usr/bin/env python3
"""CPU time of a three-track gapless play beside three separate plays of the same tracks, in one run.

Makes three tracks with lame from vemla-signal's music-like signal, then plays them through the player's
decode thread on the fast null device: once as one stream (vemla-decode a b c --play, the decode thread going
on from one file into the next) and once as three runs (vemla-decode a --play, then b, then c), several
repetitions each in turn. Prints the CPU seconds of each and the ratio joined/separate with its spread: the
joins should cost nothing worth measuring, so the ratio stays near 1 (separate runs pay the program's start
three times).

    bench/gapless_play.py [--build build] [--seconds 60] [--speed 200] [--repeat 5]
"""
import argparse
import os
import pathlib
import statistics
import subprocess

ROOT = pathlib.Path(__file__).resolve().parent.parent


def run_measured(command):
    """Runs a command with its output discarded; returns its CPU seconds (user and system)."""
    with open(os.devnull, "wb") as null:
        process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=null, stderr=null)
        _, status, usage = os.wait4(process.pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit(f"failed: {' '.join(map(str, command))}")
    return usage.ru_utime + usage.ru_stime


def make_tracks(build, work, seconds):
    tracks = []
    for k, options in enumerate(["-b 192", "-V 2", "--abr 160"]):
        wav = work / f"track{k}.wav"
        out = work / f"track{k}.mp3"
        if not out.exists():
            subprocess.run([build / "tools/vemla-signal", wav, "-s", str(seconds + k), "-r", "44100", "-c", "2"],
                           check=True)
            subprocess.run(f"lame --quiet {options} {wav} {out}", shell=True, check=True)
        tracks.append(out)
    return tracks


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=str(ROOT / "build"))
    parser.add_argument("--work", default="/tmp/vemla-gapless-bench")
    parser.add_argument("--seconds", type=float, default=60, help="length of each track")
    parser.add_argument("--speed", type=float, default=200, help="speed factor of the null device")
    parser.add_argument("--repeat", type=int, default=5)
    args = parser.parse_args()
    build = pathlib.Path(args.build)
    work = pathlib.Path(args.work)
    work.mkdir(parents=True, exist_ok=True)
    tool = build / "tools/vemla-decode"
    device = ["--device", f"null:{args.speed:g}"]
    tracks = make_tracks(build, work, args.seconds)

    joined, separate = [], []
    for _ in range(args.repeat):
        joined.append(run_measured([tool, *tracks, "--play", *device]))
        separate.append(sum(run_measured([tool, track, "--play", *device]) for track in tracks))
    ratios = [j / s for j, s in zip(joined, separate)]
    print(f"three tracks of {args.seconds:g}, {args.seconds + 1:g} and {args.seconds + 2:g} s on null:{args.speed:g}, "
          f"{args.repeat} repetitions")
    print(f"  one gapless run   {statistics.median(joined):.3f} s CPU (median)")
    print(f"  three runs        {statistics.median(separate):.3f} s CPU (median)")
    print(f"  joined / separate {statistics.median(ratios):.3f} (spread {min(ratios):.3f}-{max(ratios):.3f})")


if __name__ == "__main__":
    main()
