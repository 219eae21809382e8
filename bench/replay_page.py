#!/usr/bin/env python3
"""Measures the replay page of the default journey in headless Chromium: its size, the time from
navigation to usable (data decoded, chart drawn, first frame shown), and the time a scrubber
move takes to redraw the page (script, style and layout).

Usage: bench/replay_page.py [TALVIK_SIM] [LOADS] [SEEKS]
  (default: build/linux/tools/sim/talvik-sim, 10 loads, 300 seeks)
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


def main():
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
