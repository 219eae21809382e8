#!/usr/bin/env python3
"""What a sweep costs: a 50 x 50 sweep of tools/scenarios/pattern-check.txt's starting speed
against its beacon's distance with one worker per core and with one worker, and the bare
plug-in's frame rate (talvik_frame_cost's steady frames), all in one invocation.

Prints the 50 x 50 sweep's time with every core (goal: under 10 s), frames per second per core
in the sweep against the bare frame rate (goal: at least half; both per second of processor
time, which others' work on the machine hardly changes), and two workers' wall time against
one's (goal: at most 0.6; only a quiet machine can show it). The machine is shared: the load
average before and after is printed, so a measurement taken while others worked can be told
apart.

Usage: bench/sweep.py [BENCH_BUILD] [RUNS]
  (default: build/bench, built with 'cmake --preset bench' and its talvik_frame_cost and
  talvik-sim targets; the best of RUNS runs, default 3, is taken for each figure)
"""
import csv
import os
import resource
import subprocess
import sys
import tempfile
import time

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SWEEP = ["--sweep", "speed=30:162.3:2.7", "--sweep", "beacon.distance=20:1000:20"]
BARE_FRAMES = 2_000_000


def measured(command):
    """Wall time and processor time (the program's and its workers') of one run."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, cwd=root)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime
    return wall, cpu


def best(command, runs):
    """The fastest of `runs` runs by wall time, and the least processor time."""
    results = [measured(command) for _ in range(runs)]
    return min(w for w, _ in results), min(c for _, c in results)


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "build/bench"))
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    sim = os.path.join(build, "tools/sim/talvik-sim")
    library = os.path.join(build, "plugin/libtalvik.so")
    frame_cost = os.path.join(build, "bench/talvik_frame_cost")
    cores = os.cpu_count() or 1
    print(f"load average before: {os.getloadavg()[0]:.2f} on {cores} cores")

    # The bare plug-in: steady frames, less the program's start (a run of one frame). Rates per
    # core come from processor time, which other work on the machine hardly changes.
    _, start = best([frame_cost, "steady", "1"], runs)
    _, bare = best([frame_cost, "steady", str(BARE_FRAMES)], runs)
    bare_rate = BARE_FRAMES / (bare - start)

    with tempfile.TemporaryDirectory() as work:
        out = os.path.join(work, "sweep.csv")
        common = [sim, "--library", library, *SWEEP, "--csv", out,
                  "tools/scenarios/pattern-check.txt"]
        every, _ = best(common + ["--workers", str(cores)], runs)
        with open(out, newline="") as f:
            rows = list(csv.DictReader(f))
        one, one_cpu = best(common + ["--workers", "1"], runs)
        two, two_cpu = best(common + ["--workers", "2"], runs) if cores >= 2 else (None, None)
    frames = sum(int(r["frames"]) for r in rows)
    sweep_rate = frames / one_cpu
    print(f"load average after: {os.getloadavg()[0]:.2f}")
    print(f"bare plug-in: {bare_rate / 1e6:.2f} M frames per processor second")
    print(f"50 x 50 sweep ({len(rows)} cells, {frames / 1e6:.2f} M frames): "
          f"{every:.2f} s with {cores} workers (goal: under 10 s)")
    print(f"sweep, one worker: {one:.2f} s ({one_cpu:.2f} s of processor time), "
          f"{sweep_rate / 1e6:.2f} M frames per processor second: "
          f"{sweep_rate / bare_rate:.2f} of the bare rate (goal: at least 0.5)")
    if two is not None:
        print(f"two workers: {two:.2f} s, {two / one:.2f} of one worker's time (goal: at most 0.6); "
              f"{two_cpu:.2f} s of processor time against {one_cpu:.2f} s: on two free cores "
              f"{two_cpu / 2 / one_cpu:.2f} of one worker's time")
    return 0


if __name__ == "__main__":
    sys.exit(main())
