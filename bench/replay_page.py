#!/usr/bin/env python3
"""Measures the replay page of the default journey in headless Chromium: its size, the time from
navigation to usable (data decoded, chart drawn, first frame shown), and the time a scrubber
move takes to redraw the page (script, style and layout).

Usage: bench/replay_page.py [TALVIK_SIM] [LOADS] [SEEKS]
  (default: build/linux/tools/sim/talvik-sim, 10 loads, 300 seeks)
       bench/replay_page.py --hours H [H...] [TALVIK_SIM]
  (long runs: a line of stations, signals and checks driven for H hours; the page's size and the
  time to usable, 3 loads each)
"""
import os
import random
import statistics
import subprocess
import sys
import tempfile

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(root, "tools"))
import browser  # noqa: E402

SEEK = """(() => {
  const s = document.getElementById('scrubber');
  const t0 = performance.now();
  s.value = '%d';
  s.dispatchEvent(new Event('input'));
  document.body.getBoundingClientRect();
  return performance.now() - t0;
})()"""


def long_scenario(hours):
    """Stations every 3 km for `hours` of simulated time: a stop signal announced and confirmed
    before each, a pattern check, a point check, and the driver's handles keeping the vigilance
    device quiet."""
    lines = ["name A line of stations for %g h" % hours, "vehicle brake_notches 8 ats_notch 4",
             "frame 20 ms", "end at %d s" % (hours * 3600), "",
             "at 0.5 s key release down", "after 0.2 s key release up", "at 1 s doors close",
             "at 1 s reverser forward", "at 1 s power 3", "at 1 s signal 3"]
    for i in range(int(hours * 3600 / 150)):
        x = 3000 * (i + 1)
        lines += [f"at {x - 1500} m beacon type 147 signal 0 distance 0 optional 95",
                  f"at {x - 1200} m signal 0",
                  f"at {x - 1200} m beacon type 0 signal 0 distance 1200 optional 0",
                  "after 0.5 s power 0", "after 0 s brake 4", "after 1 s key confirm down",
                  "after 0.2 s key confirm up", "after 1 s key release down",
                  "after 0.2 s key release up", "after 0 s brake 0",
                  f"at {x - 900} m beacon type 50 signal 0 distance 900 optional 0",
                  f"at {x - 800} m beacon type 55 signal 3 distance 0 optional 130",
                  f"at {x - 300} m beacon type 150 signal 3 distance 0 optional 0",
                  f"at {x - 300} m brake 5", "when stopped doors open", "after 20 s signal 3",
                  "after 0 s doors close", "after 2 s brake 0", "after 0 s power 3",
                  "after 40 s power 2", "after 30 s power 3"]
    # The horn now and then: a driver's action for the vigilance device on long stretches.
    lines += [f"at {t} s horn" for t in range(45, int(hours * 3600), 45)]
    return "\n".join(lines) + "\n"


def long_runs(hours_list, sim):
    chromium = browser.Browser(width=1400, height=1000)
    try:
        for hours in hours_list:
            with tempfile.TemporaryDirectory() as work:
                scenario, path = os.path.join(work, "line.txt"), os.path.join(work, "line.html")
                with open(scenario, "w") as f:
                    f.write(long_scenario(hours))
                subprocess.run([sim, "--quiet", "--html", path, scenario], check=True)
                size = os.path.getsize(path)
                usable = []
                for i in range(3):
                    page = chromium.page()
                    page.goto(f"file://{path}")
                    page.wait_for("document.body.dataset.ready === '1'", timeout=60)
                    usable.append(page.eval("performance.getEntriesByName('usable')[0].startTime"))
                stages = page.eval("['decoded', 'timeline', 'drawn', 'usable'].map(n => "
                                   "Math.round(performance.getEntriesByName(n)[0].startTime))")
                lines = page.eval("JSON.parse(document.getElementById('replay-data').textContent).timeline.length")
                frames = page.eval("Number(document.getElementById('scrubber').max) + 1")
                marks = page.eval("JSON.parse(document.getElementById('replay-data').textContent)"
                                  ".marks.length")
                page.key("+")
                zoomed = page.eval("!document.getElementById('zoom-all').disabled")
                print(f"{hours:g} h: {frames} frames, {marks} chart marks; page {size} bytes "
                      f"({size / 1e6:.2f} MB); navigation to usable {usable[0]:.0f}, "
                      f"{usable[1]:.0f}, {usable[2]:.0f} ms (last: decoded, timeline of {lines} lines, "
                      f"drawn, usable at {stages} ms); zooms: {zoomed}; "
                      f"logged: {page.problems or 'nothing'}")
    finally:
        chromium.close()


def main():
    if len(sys.argv) > 1 and sys.argv[1] == "--hours":
        hours = [float(a) for a in sys.argv[2:] if a.replace(".", "").isdigit()]
        rest = [a for a in sys.argv[2:] if not a.replace(".", "").isdigit()]
        return long_runs(hours, rest[0] if rest else
                         os.path.join(root, "build/linux/tools/sim/talvik-sim"))
    sim = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "build/linux/tools/sim/talvik-sim")
    loads = int(sys.argv[2]) if len(sys.argv) > 2 else 10
    seeks = int(sys.argv[3]) if len(sys.argv) > 3 else 300
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, "journey.html")
        subprocess.run([sim, "--quiet", "--html", path], check=True)
        size = os.path.getsize(path)
        chromium = browser.Browser(width=1400, height=1000)
        try:
            usable = []
            for i in range(loads):
                page = chromium.page()
                page.goto(f"file://{path}#t={i}")
                page.wait_for("document.body.dataset.ready === '1'")
                usable.append(page.eval("performance.getEntriesByName('usable')[0].startTime"))
            frames = page.eval("Number(document.getElementById('scrubber').max)")
            rng = random.Random(1)
            times = sorted(page.eval(SEEK % rng.randrange(frames)) for _ in range(seeks))
            problems = page.problems
        finally:
            chromium.close()
    print(f"{chromium.version}; page of the default journey: {size} bytes ({size / 1e6:.2f} MB)")
    print(f"navigation to usable, {loads} loads: first {usable[0]:.0f} ms, "
          f"median {statistics.median(usable):.0f} ms, slowest {max(usable):.0f} ms")
    print(f"scrubber move to redrawn page, {seeks} random frames: median "
          f"{statistics.median(times):.2f} ms, 95th percentile {times[int(len(times) * 0.95)]:.2f} ms,"
          f" slowest {times[-1]:.2f} ms")
    if problems:
        print("the page logged:", *problems, sep="\n  ")


if __name__ == "__main__":
    main()
