#!/usr/bin/env python3
"""Remakes docs/replay.png, the README's picture of the replay page: the default journey at the
moment the protection brakes after its pattern check, taken by headless Chromium.

Usage: tools/replay-screenshot.py [TALVIK_SIM] [OUTPUT.png]
  (defaults: build/linux/tools/sim/talvik-sim and docs/replay.png; tools/setup.sh browser
  installs Chromium)
"""
import os
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, here)
import browser  # noqa: E402

# Half a second after the check: the bell rings, the brake is on and the train slows.
AFTER_CHECK_S = 0.5


def main():
    root = os.path.dirname(here)
    sim = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "build/linux/tools/sim/talvik-sim")
    out = sys.argv[2] if len(sys.argv) > 2 else os.path.join(root, "docs/replay.png")
    with tempfile.TemporaryDirectory() as work:
        page_path = os.path.join(work, "journey.html")
        subprocess.run([sim, "--quiet", "--html", page_path], check=True)
        chromium = browser.Browser(width=1400, height=860)
        try:
            page = chromium.page()
            page.goto("file://" + page_path)
            page.wait_for("document.body.dataset.ready === '1'")
            braked = page.eval("(() => { const d = JSON.parse(document.getElementById"
                               "('replay-data').textContent); const p = d.pattern_checks"
                               ".find((c) => c.braked); return p && p.frame * d.run.frame_ms; })()")
            if braked is None:
                sys.exit("the default journey has no pattern check that brakes")
            page.eval(f"location.hash = '#t={braked / 1000 + AFTER_CHECK_S:g}'")
            time.sleep(0.3)
            page.screenshot(out)
        finally:
            chromium.close()
    print(f"{out} written")


if __name__ == "__main__":
    main()
