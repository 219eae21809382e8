#!/usr/bin/env python3
"""The replay page in headless Chromium, against the CSV file of the same run.

For the default journey and every scenario in tools/scenarios/, the page is opened at a table of
frames through its #t= fragment; at each, the lamps, sounds, monitor digits, handles and index
table in the page's DOM must equal that frame's CSV row. Then #x= lands on the first frame at or
past the position; play, the scrubber, the keys and the timeline move the frame; the page logs
no error and makes no request, and a request it is made to try is refused and seen.
For one table of short runs, one for each cause of a brake, the timeline's words, the CSV's cause
column and the page (its chart mark and the handles' "why") give the same cause. No chart label
is lost at 420 or 1400 pixels, and the current timeline line is on screen at 1366x768.
Exit 77 (skipped) when Chromium is not installed or does not start (the words of the timeline
and the CSV are checked all the same).
Usage: replay_browser_test.py TALVIK_SIM LIBRARY SOURCE_DIR WORK_DIR
"""
import csv
import glob
import os
import re
import shutil
import subprocess
import sys
import time

talvik_sim, library, source, work = sys.argv[1:5]
sys.path.insert(0, os.path.join(source, "tools"))
import browser  # noqa: E402

FRAMES_PER_PAGE = 120
LARGEST_PAGE = 1_500_000  # bytes, the default journey's page

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
    return condition


def lands_on(page, k, what):
    """Whether the page comes to show frame k (events arrive a moment after they are sent)."""
    try:
        page.wait_for(f"document.getElementById('frame-number').textContent === '{k}'", timeout=3)
        return True
    except browser.BrowserError:
        shown = page.eval("document.getElementById('frame-number').textContent")
        return check(False, f"{what}: frame {shown}, not {k}")


# Reads the page as a person would: lamps lit or dark, sounds sounding, digits as printed.
READ_DOM = r"""(() => {
  const out = {};
  for (const el of document.querySelectorAll('#cab [data-col]')) {
    const text = el.textContent.trim();
    out[el.dataset.col] = el.classList.contains('lamp') ? (el.classList.contains('on') ? 'on' : 'off')
      : el.classList.contains('sound') ? (el.classList.contains('playing') ? 'playing'
          : el.classList.contains('once') ? 'once' : 'at rest')
      : el.classList.contains('digit') ? (text === '' ? 11 : Number(text))
      : el.classList.contains('word') ? text : Number(text);
  }
  for (const tr of document.querySelectorAll('#indices tr[data-col]')) {
    out['index ' + tr.dataset.col] = [Number(tr.querySelector('.value').textContent),
                                      tr.classList.contains('changed')];
  }
  for (const id of ['frame-number', 'frame-time', 'frame-position', 'frame-speed'])
    out[id] = document.getElementById(id).textContent;
  return out;
})()"""

TRACTION = {"none": 0, "power": 1, "brake": 2, "brake, notch 1": 3}


def tenths(thousandths_text):
    """The CSV's value as the page prints it: one decimal, half away from zero."""
    t = int(thousandths_text.replace(".", ""))
    r = (abs(t) + 50) // 100 * (1 if t >= 0 else -1)
    return f"{'-' if r < 0 else ''}{abs(r) // 10}.{abs(r) % 10}"


def expected(rows, k, frame_ms):
    row, before = rows[k], rows[k - 1] if k > 0 else None
    out = {"frame-number": str(k), "frame-time": f"{k * frame_ms / 1000:.2f} s",
           "frame-position": tenths(row["location_m"]) + " m", "frame-speed": tenths(row["speed"])}
    for col, text in row.items():
        if col in ("time_ms", "elapsed_ms", "location_m", "speed", "cause"):
            continue
        v = int(text)
        out[col] = v
        if col.startswith("panel_") or col.startswith("sound_"):
            resting = -10000 if col in ("sound_0", "sound_1", "sound_13", "sound_150", "sound_160") \
                else 2 if col.startswith("sound_") else 0
            out["index " + col] = [v, v != (int(before[col]) if before else resting)]
    return out


def seen_as(col, v, shown):
    """Whether the page's element for `col` shows the value `v`: lamps lit or dark, sounds
    sounding or not, the traction state in words, everything else as it is."""
    if shown in ("on", "off"):
        return shown == ("on" if v != 0 else "off")
    if shown in ("playing", "once", "at rest"):
        return shown == ("playing" if v == -1 else "once" if v == 1 else "at rest")
    if col == "panel_121":
        return TRACTION.get(shown) == v
    return shown == v


def frame_table(rows):
    """The frames to compare: every one at which a one-shot sound starts, the first and the last,
    then an even share of the others at which an output changes, with the frame before each."""
    outputs = [c for c in rows[0] if c not in ("time_ms", "elapsed_ms", "location_m", "speed", "cause")]
    must, changes = {0, len(rows) - 1}, set()
    for k in range(1, len(rows)):
        if any(rows[k][c] != rows[k - 1][c] for c in outputs):
            changes.update((k - 1, k))
        if any(rows[k][c] == "1" for c in ("sound_2", "sound_21")):
            must.add(k)
    rest = sorted(changes - must)
    room = max(0, FRAMES_PER_PAGE - len(must))
    if len(rest) > room:
        rest = [rest[i * len(rest) // room] for i in range(room)]
    return sorted(must | set(rest))


def compare_page(page, name, url, rows):
    frame_ms = int(rows[1]["time_ms"]) - int(rows[0]["time_ms"]) if len(rows) > 1 else 20
    page.goto(url)
    page.wait_for("document.body.dataset.ready === '1'")
    mismatches = 0
    frames = frame_table(rows)
    for k in frames:
        fragment = f"#t={k * frame_ms / 1000}"
        shown = page.eval(
            "new Promise((done) => { addEventListener('hashchange', () => done(" + READ_DOM +
            "), {once: true}); location.hash = '" + fragment + "'; })")
        want = expected(rows, k, frame_ms)
        wrong = [f"{col}: page {shown[col]!r}, CSV {v!r}" for col, v in want.items()
                 if col in shown and not seen_as(col, v, shown[col])]
        missing = [f"{col} not shown" for col in want if col not in shown]
        if wrong or missing:
            mismatches += 1
            if mismatches <= 3:
                failures.append(f"{name} {fragment} (frame {k}): " + "; ".join(wrong + missing))
    check(mismatches == 0, f"{name}: {mismatches} of {len(frames)} frames differ from the CSV")

    # #x= lands on the first frame at or past the position.
    reach, firsts = float("-inf"), []
    for k, row in enumerate(rows):
        if float(row["location_m"]) > reach:
            reach = float(row["location_m"])
            firsts.append((row["location_m"], k))
    for x, k in firsts[:: max(1, len(firsts) // 4)][:5]:
        page.eval(f"location.hash = '#x={x}'")
        lands_on(page, k, f"{name} #x={x}")
    return len(frames)


def interact(page, rows):
    """Playback, scrubber, keys, event buttons and the timeline's links move the frame."""
    last = len(rows) - 1
    frame_ms = int(rows[1]["time_ms"]) - int(rows[0]["time_ms"])
    frame = lambda: int(page.eval("document.getElementById('frame-number').textContent"))  # noqa
    page.eval("location.hash = '#t=0'")
    lands_on(page, 0, "#t=0")
    page.eval("document.getElementById('rate').value = '16'; document.getElementById('play').click()")
    time.sleep(0.5)
    page.eval("document.getElementById('play').click()")
    stopped = frame()
    check(stopped > 0, "play did not move the frame")
    time.sleep(0.2)
    check(frame() == stopped, "pause did not stop the frame")
    check("play" in page.eval("document.getElementById('play').textContent"), "paused, no play button")

    page.eval("const s = document.getElementById('scrubber'); s.value = '1234';"
              "s.dispatchEvent(new Event('input'))")
    check(frame() == 1234, f"the scrubber at 1234 shows frame {frame()}")

    events = sorted({k for k, _ in page.eval(
        "JSON.parse(document.getElementById('replay-data').textContent).timeline") if k >= 0})
    page.eval("document.activeElement.blur()")
    for key, shift, want in [("Home", False, 0), ("ArrowRight", False, 1), ("ArrowRight", True, 51),
                             ("ArrowLeft", False, 50), ("ArrowDown", False,
                                                        next(e for e in events if e > 50)),
                             ("End", False, last),
                             ("ArrowUp", False, max(e for e in events if e < last))]:
        page.key(key, shift=shift)
        check(frame() == want, f"key {'shift+' if shift else ''}{key}: frame {frame()}, not {want}")
    page.key("Home")
    page.key(" ", code="Space")
    time.sleep(0.3)
    page.key(" ", code="Space")
    check(frame() > 0, "the space key did not play")
    page.key("Home")
    page.eval("document.getElementById('next-event').click()")
    check(frame() == next(e for e in events if e > 0), "next event did not go to the first event")

    # A line of the timeline links its frame.
    link = page.eval("(() => { const a = document.querySelectorAll('#timeline a')[40];"
                     " a.click(); return a.getAttribute('href'); })()")
    lands_on(page, round(float(link[3:]) * 1000 / frame_ms), f"timeline line {link}")
    check(page.eval("document.querySelector('#timeline li.current a').getAttribute('href')") == link,
          "the clicked timeline line is not the highlighted one")
    # The chart zooms by keys and the wheel, pans, and comes back to the whole run; "b" goes to
    # the next brake.
    zoomed = "!document.getElementById('zoom-all').disabled"
    page.key("+")
    check(page.eval(zoomed), "+ did not zoom the chart in")
    page.key("]")
    page.key("0")
    check(not page.eval(zoomed), "0 did not show the whole run again")
    x, y = page.eval("(() => { scrollTo(0, 0); const r = document.getElementById('chart-cursor')"
                     ".getBoundingClientRect(); return [r.left + r.width / 2, r.top + r.height / 2]; })()")
    page.send("Input.dispatchMouseEvent", {"type": "mouseWheel", "x": x, "y": y, "deltaX": 0,
                                           "deltaY": -120})
    page.wait_for(zoomed, timeout=3)
    page.key("0")
    page.key("Home")
    page.key("b")
    first_brake = page.eval("JSON.parse(document.getElementById('replay-data').textContent).brakes[0][0]")
    check(frame() == first_brake, f"b went to frame {frame()}, not the first brake's {first_brake}")
    page.eval("document.querySelector('input[name=axis][value=t]').click()")


# One short run for each cause of a brake, two causes at once among them: what follows a common
# start, and the cause every output must give.
START = """frame 20 ms
vehicle brake_notches 8 ats_notch 4
at 0.5 s key release down
after 0.2 s key release up
at 1 s doors close
at 1 s reverser forward
at 1 s power 3
at 30 s power 2
"""
BROKEN_SCRIPT = "lookup_brake_patern"  # an author's misspelling of the function's name
UNCOMPILABLE = "\n}\n"  # a brace too many at the end: the script does not compile
FAILED_FRAME = "! the plug-in failed and answers with its fail-safe outputs (emergency brake, red lamp): "
CAUSES = [
    ("alarm", "at 500 m beacon type 0 signal 0 distance 600 optional 0\nend after 6 s\n",
     "unconfirmed alarm"),
    ("trip", "at 500 m beacon type 1 signal 0 distance 0 optional 0\nend after 1 s\n",
     "trip at stop signal"),
    ("pattern", "at 700 m beacon type 50 signal 0 distance 250 optional 0\nend after 1 s\n",
     "pattern 75.3 \u2265 64.6"),
    ("point", "at 500 m beacon type 55 signal 3 distance 0 optional 30\nend after 1 s\n",
     "point check 66.8 \u2265 30"),
    ("vigilance", "end at 96 s\n", "vigilance: no action for 60 s"),
    ("script", "at 700 m beacon type 50 signal 0 distance 250 optional 0\nend after 1 s\n",
     "script failed: lookup_brake_pattern is missing"),
    ("trip-and-point", "at 500 m beacon type 1 signal 0 distance 0 optional 0\n"
     "at 500 m beacon type 55 signal 3 distance 0 optional 30\nend after 1 s\n",
     "trip at stop signal and point check 66.8 \u2265 30"),
    # The vigilance warning sounds, but the protection trips: its lamp does not make it the cause.
    ("trip-in-warning", "at 92 s beacon type 1 signal 0 distance 0 optional 0\nend at 93 s\n",
     "trip at stop signal"),
    ("trip-and-vigilance", "at 94.96 s beacon type 1 signal 0 distance 0 optional 0\n"
     "end at 96 s\n", "trip at stop signal and vigilance: no action for 60 s"),
    # A script that does not compile: the plug-in answers every frame with its fail-safe outputs.
    ("fail-safe", "end after 1 s\n", "fail-safe outputs: script failed: the script does not "
     "compile: expression expected (the plug-in: \"expression expected\")"),
]


def brake_causes(work):
    """Runs the table; checks the timeline and the CSV at once. Returns (name, page, frame,
    cause) for the page checks."""
    runs = []
    with open(os.path.join(os.path.dirname(library), "signal_pattern.nut")) as f:
        text = f.read()
    beside = {}
    for name, script in [("script", text.replace("function lookup_brake_pattern",
                                                  "function " + BROKEN_SCRIPT)),
                         ("fail-safe", text + UNCOMPILABLE)]:
        broken = os.path.join(work, "broken-" + name)
        os.makedirs(broken)
        shutil.copy(library, broken)
        with open(os.path.join(broken, "signal_pattern.nut"), "w") as f:
            f.write(script)
        beside[name] = os.path.join(broken, os.path.basename(library))
    for name, lines, cause in CAUSES:
        path = f"{work}/cause-{name}"
        with open(path + ".txt", "w") as f:
            f.write(START + lines)
        lib = beside.get(name, library)
        run = subprocess.run([talvik_sim, "--library", lib, "--csv", path + ".csv", "--html",
                              path + ".html", path + ".txt"], capture_output=True, text=True)
        check(run.returncode == (1 if name in beside else 0),
              f"{name}: exit status {run.returncode}: {run.stderr}")
        said = [ln.split("! brake: ", 1)[1].split(" (the host gets")[0]
                for ln in run.stdout.splitlines() if "! brake: " in ln]
        # A failed frame is told as the plug-in failing, not as a brake of a device.
        said += ["fail-safe outputs: " + ln.split(FAILED_FRAME, 1)[1]
                 for ln in run.stdout.splitlines() if FAILED_FRAME in ln]
        check(said == [cause], f"{name}: the timeline says {said}, not {cause!r}")
        with open(path + ".csv", newline="") as f:
            braked = brake_starts(list(csv.DictReader(f)))
        check([c for _, c in braked] == [cause], f"{name}: the CSV's cause column says {braked}")
        runs += [(name, path + ".html", k, c) for k, c in braked]
    return runs


def brake_starts(rows):
    """(frame, cause) where the CSV's cause column begins to name a brake."""
    return [(k, r["cause"]) for k, r in enumerate(rows)
            if r["cause"] and (k == 0 or not rows[k - 1]["cause"])]


def page_causes(page, runs):
    """The page tells each run's brake as the timeline and the CSV do."""
    for name, html, k, cause in runs:
        page.goto("about:blank")  # the same page at another fragment would not load again
        page.goto(f"file://{html}#t={k * 0.02:.2f}")
        page.wait_for("document.body.dataset.ready === '1'")
        lands_on(page, k, f"{name} at its brake")
        # The fail-safe outputs are no device's brake: the page names them as such, its chart
        # with a mark of their own.
        failed = cause.startswith("fail-safe outputs: ")
        told, mark = (cause, "fail-safe") if failed else ("brake: " + cause, "brake: " + cause)
        why = page.eval("document.querySelector('tr[data-handle=brake] .why').textContent")
        check(why == told, f"{name}: the handles say why {why!r}, not {told!r}")
        labels = page.eval(CHART_LABELS)
        check(labels["shown"].count(mark) + labels["listed"].count(mark) == 1,
              f"{name}: the chart marks {labels}, not one {mark!r}")


# The chart's labels as the page shows them, and those listed in its markers.
CHART_LABELS = r"""(() => {
  const shown = [...document.querySelectorAll('#chart-marks span.mark')].map(e => e.textContent);
  const listed = [].concat(...[...document.querySelectorAll('#chart-marks button.more')]
    .map(e => JSON.parse(e.dataset.labels)));
  return {shown, listed, marks: JSON.parse(document.getElementById('replay-data').textContent).marks.length};
})()"""


def labels_and_timeline(page, names):
    """No chart label is lost at 420 or 1400 pixels; at 1366x768 the current timeline line is on
    screen at every event it is sent to."""
    for width, height in [(420, 900), (1400, 1000), (1366, 768)]:
        page.send("Emulation.setDeviceMetricsOverride",
                  {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": False})
        for name in names:
            page.goto(f"file://{work}/{name}.html")
            page.wait_for("document.body.dataset.ready === '1'")
            labels = page.eval(CHART_LABELS)
            told = len(labels["shown"]) + len(labels["listed"])
            check(told == labels["marks"],
                  f"{name} at {width} px: {told} of {labels['marks']} chart labels shown or listed")
            if (width, height) != (1366, 768):
                continue
            events = sorted({k for k, _ in page.eval(
                "JSON.parse(document.getElementById('replay-data').textContent).timeline") if k >= 0})
            off = 0
            for k in events[:: max(1, len(events) // 20)]:
                page.eval(f"location.hash = '#t={k * 0.02:.2f}'")
                seen = page.eval("(() => { const li = document.querySelector('#timeline li.current');"
                                 " if (!li) return false; const r = li.getBoundingClientRect();"
                                 " return r.top >= 0 && r.bottom <= innerHeight; })()")
                off += 0 if seen else 1
            check(off == 0, f"{name} at 1366x768: the current timeline line off screen at {off} events")
    page.send("Emulation.clearDeviceMetricsOverride")


def guide_table(text, name):
    rows, lines = [], text.split(f"<!-- table: {name} -->", 1)[1].splitlines()[1:]
    for line in lines:
        if not line.startswith("|"):
            break
        rows.append([c.strip() for c in line.strip("|").split("|")])
    head = rows[0]
    return [dict(zip(head, r)) for r in rows[2:]]


def meanings_match_the_guide(page):
    """The index table says what the author's guide says, for the same indices."""
    with open(os.path.join(source, "docs", "authors-guide.md"), encoding="utf-8") as f:
        guide = f.read()
    want = {f"panel_{r['Index']}": (None, f"{r['What it shows']} ({r['Values']})")
            for r in guide_table(guide, "panel")}
    want.update({f"sound_{r['Index']}": (r["Sound"], f"{r['When it sounds']} ({r['Kind']})")
                 for r in guide_table(guide, "sound")})
    shown = page.eval("[...document.querySelectorAll('#indices tr[data-col]')].map(tr => "
                      "[tr.dataset.col, tr.querySelector('.name').textContent, "
                      "tr.querySelector('.meaning').textContent])")
    check([c for c, _, _ in shown] == list(want), "the index table's indices are not the guide's")
    for col, name, meaning in shown:
        w_name, w_meaning = want.get(col, (None, None))
        check(meaning == w_meaning and (w_name is None or name == w_name),
              f"{col}: the page says {name!r}, {meaning!r}; the guide {w_name!r}, {w_meaning!r}")


def main():
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    scenarios = sorted(glob.glob(os.path.join(source, "tools", "scenarios", "*.txt")))
    common = [talvik_sim, "--library", library, "--quiet"]
    subprocess.run(common + ["--csv", f"{work}/default.csv", "--html", f"{work}/default.html"],
                   check=True)
    subprocess.run(common + ["--csv-dir", work, "--html-dir", work] + scenarios, check=True)
    causes = brake_causes(work)

    try:
        chromium = browser.Browser()
    except browser.Unavailable as e:
        print("*" * 78)
        print(f"*** BROWSER CHECKS SKIPPED: {e}")
        print("*** The replay pages were NOT checked. Run 'tools/setup.sh browser' as root.")
        print("*" * 78)
        for f in failures:
            print("FAILED:", f)
        return 1 if failures else 77
    print(chromium.version)
    try:
        page = chromium.page()
        size = os.path.getsize(f"{work}/default.html")
        check(size < LARGEST_PAGE, f"the default journey's page has {size} bytes")
        names = ["default"] + [os.path.basename(s)[:-4] for s in scenarios]
        compared = 0
        for name in names:
            with open(f"{work}/{name}.csv", newline="") as f:
                rows = list(csv.DictReader(f))
            url = f"file://{work}/{name}.html"
            compared += compare_page(page, name, url, rows)
            if name == "default":
                usable = page.eval("performance.getEntriesByName('usable')[0].startTime")
                print(f"default journey: {size} bytes, usable {usable:.0f} ms after navigation")
                interact(page, rows)
                meanings_match_the_guide(page)
        # The default journey's brakes too: the page names each as the CSV does.
        with open(f"{work}/default.csv", newline="") as f:
            default_brakes = brake_starts(list(csv.DictReader(f)))
        check(len(default_brakes) == 4, f"the default journey brakes {default_brakes}")
        page_causes(page, causes + [("default", f"{work}/default.html", k, c)
                                    for k, c in default_brakes])
        labels_and_timeline(page, ["default", "journey", "stop-station"])
        page.poll()
        check(not page.problems, "the pages logged: " + "; ".join(page.problems[:5]))
        others = [u for u in page.requests if not re.match(rf"file://{re.escape(work)}/\w[\w-]*\.html", u)]
        check(not others, f"the pages requested {others[:5]}")
        # The policy refuses a request, and the checks above would have seen it.
        page.eval("fetch('http://127.0.0.1:9/').catch(() => null)")
        time.sleep(0.2)
        page.poll()
        check(any("Content Security Policy" in p for p in page.problems),
              "a request was not refused by the page's content-security policy, or not seen")
        print(f"{compared} frames of {len(names)} pages compared with their CSV rows")
    finally:
        chromium.close()
    for f in failures:
        print("FAILED:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
