#!/usr/bin/env python3
"""The sweep page in headless Chromium, against the CSV file of the same sweep.

A small sweep of pattern-check.txt (speed x beacon distance) writes both. Every cell, chosen
through the page's #cell= fragment, must show its CSV row's figures and replay command; pointing
at a cell shows it; both borders are drawn; the page logs no error and makes no request.
Exit 77 (skipped) when Chromium is not installed or does not start.
Usage: sweep_browser_test.py TALVIK_SIM LIBRARY SOURCE_DIR WORK_DIR
"""
import csv
import os
import shutil
import subprocess
import sys

talvik_sim, library, source, work = sys.argv[1:5]
sys.path.insert(0, os.path.join(source, "tools"))
import browser  # noqa: E402

failures = []

READ_CELL = r"""(() => {
  const out = {};
  for (const tr of document.querySelectorAll('#cell tr[data-key]'))
    out[tr.dataset.key.replace(/^axis:/, '')] = tr.querySelector('td').textContent;
  out.replay = document.getElementById('replay').textContent;
  out.cell = document.body.dataset.cell;
  return out;
})()"""

# Pixels of the map in the zero border's ink and in the physics border's blue.
BORDER_INK = r"""(() => {
  const c = document.getElementById('map');
  const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
  let ink = 0, blue = 0;
  for (let i = 0; i < d.length; i += 4) {
    if (d[i] === 0x1d && d[i + 1] === 0x23 && d[i + 2] === 0x2b) ink++;
    if (d[i] === 0x1f && d[i + 1] === 0x5f && d[i + 2] === 0xbf) blue++;
  }
  return [ink, blue];
})()"""


def main():
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    subprocess.run([talvik_sim, "--library", library, "--sweep", "speed=40:130:30",
                    "--sweep", "beacon.distance=100:500:200", "--csv", f"{work}/sweep.csv",
                    "--html", f"{work}/sweep.html",
                    os.path.join(source, "tools", "scenarios", "pattern-check.txt")], check=True)
    with open(f"{work}/sweep.csv", newline="") as f:
        rows = list(csv.DictReader(f))
    try:
        chromium = browser.Browser()
    except browser.Unavailable as e:
        print("*" * 78)
        print(f"*** BROWSER CHECKS SKIPPED: {e}")
        print("*** The sweep page was NOT checked. Run 'tools/setup.sh browser' as root.")
        print("*" * 78)
        return 77
    try:
        page = chromium.page()
        page.goto(f"file://{work}/sweep.html")
        page.wait_for("document.body.dataset.ready === '1'")
        for row in rows:
            shown = page.eval("new Promise((done) => { addEventListener('hashchange', () => done("
                              + READ_CELL + "), {once: true}); location.hash = '#cell="
                              + row["cell"] + "'; })")
            want = {k: v for k, v in row.items() if k not in ("cell", "frames")}
            wrong = [f"{k}: page {shown.get(k)!r}, CSV {v!r}" for k, v in want.items()
                     if shown.get(k) != v]
            if wrong or shown["cell"] != row["cell"]:
                failures.append(f"cell {row['cell']}: " + "; ".join(wrong))
        # Pointing at the middle of the map shows the cell under the pointer.
        box = page.eval("(() => { const r = document.getElementById('map')"
                        ".getBoundingClientRect(); return [r.left + 70 + (r.width - 86) * 0.9, "
                        "r.top + 12 + (r.height - 58) * 0.9]; })()")
        page.send("Input.dispatchMouseEvent", {"type": "mouseMoved", "x": box[0], "y": box[1]})
        page.wait_for("document.body.dataset.cell === '" + str(len(rows) - 3) + "'")
        # An arrow key moves the kept cell (the last one chosen through #cell=) one column left.
        page.key("ArrowLeft")
        page.wait_for(f"location.hash === '#cell={len(rows) - 1 - 3}'")
        ink, blue = page.eval(BORDER_INK)
        if ink < 20 or blue < 20:
            failures.append(f"the borders are not drawn ({ink} and {blue} pixels)")
        page.poll()
        if page.problems:
            failures.append("the page logged: " + "; ".join(page.problems[:5]))
        others = [u for u in page.requests if not u.startswith(f"file://{work}/sweep.html")]
        if others:
            failures.append(f"the page requested {others[:5]}")
        print(f"{len(rows)} cells of the sweep page compared with their CSV rows")
    except browser.BrowserError as e:
        failures.append(str(e))
    finally:
        chromium.close()
    for f in failures:
        print("FAILED:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
