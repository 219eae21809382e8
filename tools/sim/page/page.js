// The replay: decodes the run's changes, draws the cab, chart, timeline and indices for one frame.
"use strict";
(function () {
  const data = JSON.parse(document.getElementById("replay-data").textContent);
  const run = data.run;
  const frames = run.frames;
  const frameMs = run.frame_ms;
  const last = frames - 1;
  const $ = (id) => document.getElementById(id);

  // Position and speed, in thousandths, frame by frame; `reach` is the furthest point reached so
  // far, so "the first frame at or past x" is a binary search even when the train backs up.
  const locMm = new Float64Array(frames);
  const speed = new Float64Array(frames);
  const reach = new Float64Array(frames);
  // Each comes as the differences of its differences: a letter each ('a' -26 ... 'z' -1, 'A' 0
  // ... 'Z' 25), "(value)" for others, "~n" for n more of the one before.
  function undo(text, out) {
    let k = 0, d = 0, v = 0, i = 0, value = 0;
    const n = text.length, size = out.length;
    while (i < n) {
      const c = text.charCodeAt(i);
      let count = 1;
      if (c === 126) {
        count = 0;
        for (++i; i < n; ++i) {
          const digit = text.charCodeAt(i) - 48;
          if (digit < 0 || digit > 9) break;
          count = count * 10 + digit;
        }
      } else if (c === 40) {
        const close = text.indexOf(")", i);
        value = Number(text.slice(i + 1, close));
        i = close + 1;
      } else {
        value = (c >= 97 ? c - 97 : c - 65 + 26) - 26;
        ++i;
      }
      for (let j = 0; j < count && k < size; ++j) { d += value; v += d; out[k++] = v; }
    }
  }
  undo(data.location_mm, locMm);
  undo(data.speed, speed);
  for (let k = 0, r = -Infinity; k < frames; ++k) { r = Math.max(r, locMm[k]); reach[k] = r; }
  performance.mark("decoded");

  // Every output and driver's handle as (frame, value) changes.
  const channels = {};
  for (const name of Object.keys(data.channels)) {
    const c = data.channels[name];
    const n = c.length / 2;
    const at = new Int32Array(n), value = new Int32Array(n);
    for (let i = 0; i < n; ++i) { at[i] = c[2 * i]; value[i] = c[2 * i + 1]; }
    channels[name] = { at, value };
  }
  function valueAt(name, k) {
    const c = channels[name];
    let lo = 0, hi = c.at.length - 1;
    if (hi < 0 || k < c.at[0]) return undefined;
    while (lo < hi) {
      const mid = (lo + hi + 1) >> 1;
      if (c.at[mid] <= k) lo = mid; else hi = mid - 1;
    }
    return c.value[lo];
  }
  function changedAt(name, k) {
    const c = channels[name];
    let lo = 0, hi = c.at.length - 1;
    while (lo <= hi) {
      const mid = (lo + hi) >> 1;
      if (c.at[mid] === k) return true;
      if (c.at[mid] < k) lo = mid + 1; else hi = mid - 1;
    }
    return false;
  }

  const K = data.constants;
  const SILENT = K.silent, PLAYING = K.playing, ONCE = K.start_once, UNCHANGED = K.unchanged, BLANK = K.blank_digit;
  const meanings = {};
  for (const [col, name, meaning, values] of data.indices) meanings[col] = { name, meaning, values };
  const oneShot = (col) => meanings[col] && meanings[col].values === "one-shot";
  // What the host held before the first frame: lamps dark, sounds at rest.
  const resting = (col) => col.startsWith("sound_") ? (oneShot(col) ? UNCHANGED : SILENT) : 0;

  // Numbers as the text timeline shows them: rounded half away from zero.
  function tenths(thousandths) {
    const t = Math.floor(Math.abs(thousandths) / 100 + 0.5) * Math.sign(thousandths);
    return (t / 10).toFixed(1);
  }
  const seconds = (k) => (k * frameMs / 1000).toFixed(2);
  const fragmentTime = (k) => String(k * frameMs / 1000);

  // ---- the frame a fragment names: #t=SECONDS (from the start) or #x=METRES
  function frameOfTime(s) { return clamp(Math.ceil(Math.round(s * 1000) / frameMs)); }
  function frameOfPosition(m) {
    const mm = Math.round(m * 1000);
    let lo = 0, hi = last;
    if (reach[last] < mm) return last;
    while (lo < hi) {
      const mid = (lo + hi) >> 1;
      if (reach[mid] >= mm) hi = mid; else lo = mid + 1;
    }
    return lo;
  }
  function clamp(k) { return Math.max(0, Math.min(last, Number.isFinite(k) ? k : 0)); }
  function frameOfFragment(hash) {
    const m = /^#([tx])=(-?[0-9]*\.?[0-9]+)$/.exec(hash);
    if (!m) return null;
    return m[1] === "t" ? frameOfTime(parseFloat(m[2])) : frameOfPosition(parseFloat(m[2]));
  }

  // ---- the cab
  const views = []; // one for each element that shows a value, refreshed when its text changes
  function words(el, texts) {
    el.textContent = "";
    return texts.map((cls) => {
      const s = document.createElement("span");
      s.className = cls;
      el.appendChild(s);
      return s;
    });
  }
  function lampView(el, col) {
    const [, label, state] = words(el, ["bulb", "label", "state"]);
    label.textContent = meanings[col] ? meanings[col].name : col;
    el.title = meanings[col] ? col.replace("_", " ") + ": " + meanings[col].meaning : col;
    return (v) => {
      el.classList.toggle("on", v !== 0);
      state.textContent = v === 0 ? "off" : v === 1 ? "on" : "shows " + v;
    };
  }
  function soundView(el, col) {
    const [, label, state] = words(el, ["speaker", "label", "state"]);
    label.textContent = meanings[col].name;
    el.title = col.replace("_", " ") + " (" + meanings[col].values + "): " + meanings[col].meaning;
    return (v) => {
      el.classList.toggle("playing", v === PLAYING);
      el.classList.toggle("once", v === ONCE);
      state.textContent = v === PLAYING ? "sounding" : v === SILENT ? "silent" : v === ONCE ? "once" :
        v === UNCHANGED ? "-" : "gets " + v;
    };
  }
  const tractionWords = K.traction;
  const reverserWords = { "-1": "backward", "0": "neutral", "1": "forward" };
  function textView(el, col) {
    if (col === K.traction_state) return (v) => { el.textContent = tractionWords[v] !== undefined ? tractionWords[v] : String(v); };
    if (col === "doors_closed") return (v) => { el.textContent = v ? "closed" : "open"; };
    if (el.classList.contains("digit")) return (v) => { el.textContent = v === BLANK ? "" : String(v); };
    if (K.clock.includes(col)) return (v) => { el.textContent = v >= 0 && v <= 9 ? "0" + v : String(v); };
    const note = el.nextElementSibling && el.nextElementSibling.classList.contains("note") ? el.nextElementSibling : null;
    return (v) => {
      el.textContent = String(v);
      if (!note) return;
      if (col.endsWith("brake")) note.textContent = v === run.emergency ? " emergency" : v === 0 ? " released" : "";
      else if (col.endsWith("reverser")) note.textContent = reverserWords[v] ? " " + reverserWords[v] : "";
    };
  }
  // The cab's elements name what they show; the run's data says which index that is.
  for (const el of document.querySelectorAll("#cab [data-cab]")) {
    if (data.cab[el.dataset.cab]) el.dataset.col = data.cab[el.dataset.cab];
  }
  for (const el of document.querySelectorAll("#cab [data-col]")) {
    const col = el.dataset.col;
    if (!channels[col]) continue;
    const show = el.classList.contains("lamp") ? lampView(el, col)
      : el.classList.contains("sound") ? soundView(el, col) : textView(el, col);
    views.push({ col, show, last: NaN });
  }
  // The driver's handles beside the host's where the plug-in overrides them.
  const handleRows = ["power", "brake", "reverser"].map((h) => {
    const row = document.querySelector('tr[data-handle="' + h + '"]');
    return { h, row, driver: row.querySelector(".driver"), why: row.querySelector(".why") };
  });
  // The account's spans of frames (brakes, interlocks): the one covering frame k, if any.
  function spanAt(spans, k) {
    let lo = 0, hi = spans.length - 1, found = null;
    while (lo <= hi) {
      const mid = (lo + hi) >> 1;
      if (spans[mid][0] <= k) { found = spans[mid]; lo = mid + 1; } else hi = mid - 1;
    }
    return found && found[1] >= k ? found : null;
  }
  // Why the host's handles differ from the driver's: the account says, the page does not decide.
  function showHandles(k) {
    const brake = spanAt(data.brakes, k), interlock = spanAt(data.interlocks, k);
    const why = brake ? (brake[2] === "fail-safe" ? brake[3] : "brake: " + brake[3])
      : interlock ? interlock[3] : "overridden";
    for (const r of handleRows) {
      const overridden = valueAt(r.h, k) !== valueAt("driver_" + r.h, k);
      r.row.classList.toggle("overridden", overridden);
      r.driver.classList.toggle("same", !overridden);
      r.why.textContent = overridden ? why : "";
    }
  }

  // ---- the index table
  const indexRows = [];
  {
    const body = document.querySelector("#indices tbody");
    for (const [col, name, meaning, values] of data.indices) {
      const tr = document.createElement("tr");
      tr.dataset.col = col;
      const cells = ["index", "value", "reads", "mark", "what"].map((cls) => {
        const td = document.createElement("td");
        td.className = cls;
        tr.appendChild(td);
        return td;
      });
      cells[0].textContent = col.replace("_", " ");
      const [nameSpan, meaningSpan] = words(cells[4], ["name", "meaning"]);
      nameSpan.textContent = name;
      meaningSpan.textContent = meaning + " (" + values + ")";
      body.appendChild(tr);
      indexRows.push({ col, tr, value: cells[1], reads: cells[2], mark: cells[3], last: NaN, changed: null });
    }
  }
  function reads(col, v) {
    if (col.startsWith("sound_")) {
      return v === SILENT ? "silent" : v === PLAYING ? "playing" : v === ONCE ? "start once" : v === UNCHANGED ? "leave as is" : "";
    }
    const m = meanings[col];
    if (m.values === "0, 1") return v === 1 ? "lit" : v === 0 ? "dark" : "";
    if (col === K.traction_state) return tractionWords[v] || "";
    return v === BLANK ? "blank digit" : "";
  }
  function showIndices(k) {
    for (const r of indexRows) {
      const v = valueAt(r.col, k);
      if (v !== r.last) {
        r.value.textContent = String(v);
        r.reads.textContent = reads(r.col, v);
        r.last = v;
      }
      const before = k === 0 ? resting(r.col) : valueAt(r.col, k - 1);
      const changed = v !== before;
      if (changed !== r.changed) {
        r.tr.classList.toggle("changed", changed);
        r.mark.textContent = changed ? "\u25cf" : "";
        r.mark.title = changed ? "changed on this frame" : "";
        r.changed = changed;
      }
    }
  }

  // ---- the timeline, in the words of the text output. Only the lines near those in sight are
  // in the page: a long run's thousands of lines cost nothing until they are scrolled to.
  const lineFrames = data.timeline.map((row) => row[0]);
  const list = $("timeline");
  const LINE = 17; // pixels a line, as the style sets it
  const OVERSCAN = 40;
  const shownLines = new Map(); // line index -> its element
  let currentSet = new Set();
  {
    const spacer = document.createElement("li");
    spacer.className = "spacer";
    spacer.style.height = lineFrames.length * LINE + "px";
    list.appendChild(spacer);
    // The address may already name a line's frame: then no hashchange would come.
    list.addEventListener("click", (e) => {
      const frame = e.target.dataset && e.target.dataset.frame;
      if (frame !== undefined) seek(Number(frame));
    });
    let pending = false;
    list.addEventListener("scroll", () => {
      if (pending) return;
      pending = true;
      requestAnimationFrame(() => { pending = false; renderLines(); });
    });
  }
  function lineElement(i) {
    const [frame, text] = data.timeline[i];
    const li = document.createElement("li");
    li.style.top = i * LINE + "px";
    if (frame < 0) {
      li.className = "heading";
      li.textContent = text;
    } else {
      const a = document.createElement("a");
      a.href = "#t=" + fragmentTime(frame);
      a.dataset.frame = frame;
      a.textContent = text;
      li.appendChild(a);
    }
    if (currentSet.has(i)) li.classList.add("current");
    return li;
  }
  function renderLines() {
    const first = Math.max(0, Math.floor(list.scrollTop / LINE) - OVERSCAN);
    const end = Math.min(lineFrames.length, Math.ceil((list.scrollTop + list.clientHeight) / LINE) + OVERSCAN);
    for (const [i, li] of shownLines) if (i < first || i >= end) { li.remove(); shownLines.delete(i); }
    const fragment = document.createDocumentFragment();
    for (let i = first; i < end; ++i) {
      if (shownLines.has(i)) continue;
      const li = lineElement(i);
      shownLines.set(i, li);
      fragment.appendChild(li);
    }
    list.appendChild(fragment);
  }
  performance.mark("timeline");
  // The frames at which something happened, for previous/next event.
  const eventFrames = [...new Set(lineFrames.filter((f) => f >= 0))].sort((a, b) => a - b);
  function showTimeline(k) {
    // The lines of the latest frame at or before k.
    let lo = 0, hi = lineFrames.length - 1, found = -1;
    while (lo <= hi) {
      const mid = (lo + hi) >> 1;
      if (lineFrames[mid] <= k) { found = mid; lo = mid + 1; } else hi = mid - 1;
    }
    const now = [];
    if (found >= 0 && lineFrames[found] >= 0) {
      for (let i = found; i >= 0 && lineFrames[i] === lineFrames[found]; --i) now.push(i);
    }
    if (now.length === currentSet.size && now.every((i) => currentSet.has(i))) return;
    for (const i of currentSet) if (shownLines.has(i)) shownLines.get(i).classList.remove("current");
    currentSet = new Set(now);
    if (now.length) {
      const top = now[now.length - 1] * LINE, bottom = (now[0] + 1) * LINE;
      if (top < list.scrollTop || bottom > list.scrollTop + list.clientHeight) {
        list.scrollTop = Math.max(0, top - list.clientHeight / 3);
      }
    }
    renderLines();
    for (const i of now) if (shownLines.has(i)) shownLines.get(i).classList.add("current");
  }

  // ---- the chart: the run's lines into one canvas, the cursor into another on top, and the
  // account's marks as labels in the page (each one shown, or listed in a marker where it does
  // not fit)
  const chart = $("chart"), overlay = $("chart-cursor"), wrap = $("chart-wrap"), markLayer = $("chart-marks");
  const css = getComputedStyle(document.documentElement);
  const colour = (name) => css.getPropertyValue(name).trim();
  const ink = { speed: colour("--speed"), power: colour("--power"), brake: colour("--brake"),
    pattern: colour("--pattern"), vigilance: colour("--vigilance"), text: "#1d232b", grid: "#e3e7eb", muted: "#5d6875" };
  // Each kind of mark the account tells, in its colour, most telling first.
  const kinds = {
    brake: { ink: ink.brake, rank: 0, legend: "brake, with its cause" },
    "fail-safe": { ink: ink.brake, rank: 0, legend: "fail-safe outputs" },
    script: { ink: ink.brake, rank: 0, legend: "pattern script failed" },
    check: { ink: ink.pattern, rank: 1, legend: "check, with its figures and verdict" },
    alarm: { ink: "#b36b00", rank: 2, legend: "alarm" },
    vigilance: { ink: ink.vigilance, rank: 2, legend: "vigilance warning" },
    signal: { ink: "#2b6f8f", rank: 3, legend: "signal aspect" },
    beacon: { ink: ink.muted, rank: 3, legend: "beacon, with its meaning" },
    doors: { ink: ink.power, rank: 4, legend: "doors withhold traction" },
    stop: { ink: "#444", rank: 2, legend: "where the train stands against a stop point" },
    handles: { ink: ink.muted, rank: 4, legend: "handles" },
  };
  const marks = data.marks.map(([frame, kind, label]) => ({ frame, kind, label }));
  let axis = "x";
  let layout = null;
  let view = null; // the span of the axis shown; null: the whole run
  let fitChecks = false;

  const patterns = data.pattern_checks.map((p) => ({ ...p, at: locMm[p.frame] / 1000 }));
  if (data.script_error !== null && patterns.length) {
    $("script-note").textContent = "The pattern script beside the library could not be evaluated (" +
      data.script_error + "): the pattern checks are shown without their curves.";
  }

  // The whole run's extent along each axis and the train's speeds, found once.
  const extent = { x: [Infinity, -Infinity], t: [0, Math.max(last * frameMs / 1000, 1e-3)] };
  let vTrainMax = 10, vTrainMin = 0;
  for (let k = 0; k < frames; ++k) {
    const m = locMm[k] / 1000, v = speed[k] / 1000;
    if (m < extent.x[0]) extent.x[0] = m;
    if (m > extent.x[1]) extent.x[1] = m;
    if (v > vTrainMax) vTrainMax = v;
    if (v < vTrainMin) vTrainMin = v;
  }
  if (extent.x[1] - extent.x[0] < 1) extent.x[1] = extent.x[0] + 1;

  function niceStep(span, target) {
    const raw = span / target;
    const p = Math.pow(10, Math.floor(Math.log10(raw)));
    for (const m of [1, 2, 5, 10]) if (m * p >= raw) return m * p;
    return 10 * p;
  }
  const xOfFrame = (k) => axis === "x" ? locMm[k] / 1000 : k * frameMs / 1000;
  // A position's place on the time axis: when the train first reached it.
  function xOfPosition(m) {
    if (axis === "x") return m;
    const k = frameOfPosition(m);
    return reach[k] >= Math.round(m * 1000) ? k * frameMs / 1000 : null;
  }
  // The frames that can show in [x0, x1].
  function framesIn(x0, x1) {
    if (axis === "t") {
      return [clamp(Math.floor(x0 * 1000 / frameMs) - 1), clamp(Math.ceil(x1 * 1000 / frameMs) + 1)];
    }
    const first = frameOfPosition(x0);
    let end = frameOfPosition(x1);
    return [Math.max(0, first - 1), Math.min(last, end + 1)];
  }

  const ROW = 15, ROWS = 4;
  function computeLayout() {
    const width = wrap.clientWidth, height = wrap.clientHeight;
    const whole = axis === "x" ? extent.x : extent.t;
    const [x0, x1] = view || whole;
    // The speed axis fits the train; the checks' figures only when asked.
    let vmax = vTrainMax, vmin = vTrainMin;
    if (fitChecks) {
      for (const p of patterns) if (p.curve) for (let i = 1; i < p.curve.length; i += 2) if (p.curve[i] !== null) vmax = Math.max(vmax, p.curve[i]);
      for (const [, , limit] of data.speed_checks) vmax = Math.max(vmax, limit);
    }
    const vstep = niceStep(vmax - vmin, 6);
    vmax = Math.ceil(vmax * 1.05 / vstep) * vstep;
    vmin = Math.floor(vmin / vstep) * vstep;
    const notchMax = Math.max(run.emergency, run.power_notches, 1);
    const notchH = Math.max(40, Math.min(90, height * 0.18));
    const left = 46, right = 12, top = 8 + (ROWS + 1) * ROW, gap = 26;
    const speedH = Math.max(60, height - top - notchH - gap - 28);
    return { width, height, x0, x1, whole, vmax, vmin, vstep, notchMax, left, right, top, speedH, gap, notchH,
      plotW: Math.max(10, width - left - right), notchTop: top + speedH + gap };
  }
  const px = (L, x) => L.left + (x - L.x0) / (L.x1 - L.x0) * L.plotW;
  const py = (L, v) => L.top + L.speedH - (v - L.vmin) / (L.vmax - L.vmin) * L.speedH;
  const pyNotch = (L, n) => L.notchTop + L.notchH - n / L.notchMax * L.notchH;
  const inView = (L, x) => x >= L.x0 && x <= L.x1;

  function sized(canvas, L) {
    const ratio = window.devicePixelRatio || 1;
    canvas.width = Math.round(L.width * ratio);
    canvas.height = Math.round(L.height * ratio);
    const g = canvas.getContext("2d");
    g.setTransform(ratio, 0, 0, ratio, 0, 0);
    return g;
  }

  // A line through many frames, at most two points a pixel column: long runs draw as fast as
  // short ones.
  function traceFrames(g, L, k0, k1, xOf, yOf) {
    g.beginPath();
    let column = null, first = 0, lo = 0, hi = 0, lastY = 0, open = false;
    // A column's frames as they came: in at the first, its extremes, out at the last.
    const flush = () => {
      if (column === null) return;
      if (open) g.lineTo(column, first); else { g.moveTo(column, first); open = true; }
      if (lo !== hi) {
        const down = lastY >= first;
        g.lineTo(column, down ? lo : hi);
        g.lineTo(column, down ? hi : lo);
      }
      g.lineTo(column, lastY);
    };
    for (let k = k0; k <= k1; ++k) {
      const X = Math.round(px(L, xOf(k))), Y = yOf(k);
      if (X === column) { lo = Math.min(lo, Y); hi = Math.max(hi, Y); lastY = Y; continue; }
      flush();
      column = X; first = lo = hi = lastY = Y;
    }
    flush();
    g.stroke();
  }

  function drawChart() {
    const L = layout = computeLayout();
    const g = sized(chart, L);
    g.clearRect(0, 0, L.width, L.height);
    g.font = "11px 'DejaVu Sans', Arial, sans-serif";
    g.textBaseline = "middle";
    // Grid and axes.
    const xstep = niceStep(L.x1 - L.x0, Math.max(2, L.plotW / 90));
    g.strokeStyle = ink.grid;
    g.fillStyle = ink.muted;
    g.lineWidth = 1;
    g.textAlign = "center";
    for (let x = Math.ceil(L.x0 / xstep) * xstep; x <= L.x1; x += xstep) {
      const X = Math.round(px(L, x)) + 0.5;
      line(g, X, L.top, X, L.top + L.speedH);
      line(g, X, L.notchTop, X, L.notchTop + L.notchH);
      g.fillText(String(Math.round(x * 100) / 100), X, L.notchTop + L.notchH + 10);
    }
    g.textAlign = "right";
    for (let v = L.vmin; v <= L.vmax; v += L.vstep) {
      const Y = Math.round(py(L, v)) + 0.5;
      line(g, L.left, Y, L.left + L.plotW, Y);
      g.fillText(String(v), L.left - 4, Y);
    }
    const nstep = Math.max(1, Math.ceil(L.notchMax / 4));
    for (let n = 0; n <= L.notchMax; n += nstep) {
      const Y = Math.round(pyNotch(L, n)) + 0.5;
      line(g, L.left, Y, L.left + L.plotW, Y);
      g.fillText(String(n), L.left - 4, Y);
    }
    g.textAlign = "left";
    g.fillStyle = ink.text;
    g.fillText("km/h", L.left + 4, L.top + 9);
    g.fillText("notch", L.left + 4, L.notchTop + 9);
    g.textAlign = "right";
    g.fillText(axis === "x" ? "position (m)" : "time (s)", L.left + L.plotW, L.notchTop + L.notchH + 22);
    g.strokeStyle = "#9aa3ad";
    g.strokeRect(L.left + 0.5, L.top + 0.5, L.plotW, L.speedH);
    g.strokeRect(L.left + 0.5, L.notchTop + 0.5, L.plotW, L.notchH);

    g.save();
    g.beginPath();
    g.rect(L.left, L.top - (ROWS + 1) * ROW, L.plotW, L.speedH + (ROWS + 1) * ROW);
    g.clip();
    // The brakes as bands over the frames they held.
    g.fillStyle = "rgba(198, 40, 40, 0.08)";
    for (const [from, to] of data.brakes) {
      const X0 = px(L, xOfFrame(from)), X1 = px(L, xOfFrame(to));
      g.fillRect(Math.min(X0, X1), L.top, Math.max(1, Math.abs(X1 - X0)), L.speedH);
    }
    // Each pattern check's curve, beacon to signal.
    for (const p of patterns) {
      if (!p.curve) continue;
      g.strokeStyle = ink.pattern;
      g.lineWidth = 1.5;
      g.setLineDash([6, 4]);
      g.beginPath();
      let open = false;
      for (let i = 0; i < p.curve.length; i += 2) {
        const x = xOfPosition(p.at + p.distance - p.curve[i]);
        const v = p.curve[i + 1];
        if (x === null || v === null) { open = false; continue; }
        const X = px(L, x), Y = py(L, Math.max(L.vmin, Math.min(L.vmax, v)));
        if (open) g.lineTo(X, Y); else g.moveTo(X, Y);
        open = true;
      }
      g.stroke();
      g.setLineDash([]);
      g.lineWidth = 1;
    }
    // The speed checks' limits at their beacons.
    for (const [frame, , limit] of data.speed_checks) {
      const x = xOfFrame(frame);
      if (!inView(L, x) || limit > L.vmax) continue;
      const X = px(L, x), Y = py(L, limit);
      g.strokeStyle = ink.brake;
      g.lineWidth = 2;
      line(g, X - 9, Y, X + 9, Y);
      g.lineWidth = 1;
    }
    // The speed.
    const [k0, k1] = framesIn(L.x0, L.x1);
    g.strokeStyle = ink.speed;
    g.lineWidth = 2;
    traceFrames(g, L, k0, k1, xOfFrame, (k) => py(L, speed[k] / 1000));
    g.lineWidth = 1;
    // The point each pattern check compared.
    for (const p of patterns) {
      const x = xOfFrame(p.frame);
      if (!inView(L, x)) continue;
      const X = px(L, x), Yv = py(L, p.speed);
      if (p.permitted !== undefined && p.permitted !== null && p.permitted <= L.vmax) {
        const Yp = py(L, Math.max(L.vmin, p.permitted));
        g.strokeStyle = ink.pattern;
        g.lineWidth = 2;
        line(g, X, Yv, X, Yp);
        g.lineWidth = 1;
        dot(g, X, Yp, 4.5, "#fff", ink.pattern);
      }
      dot(g, X, Yv, 4.5, p.braked ? ink.brake : ink.power, p.braked ? ink.brake : ink.power);
    }
    // A thin line at every mark, down to the speed.
    for (const m of marks) {
      const x = xOfFrame(m.frame);
      if (!inView(L, x)) continue;
      const X = Math.round(px(L, x)) + 0.5;
      g.strokeStyle = (kinds[m.kind] || kinds.beacon).ink;
      g.globalAlpha = m.kind === "brake" ? 0.8 : 0.35;
      if (m.kind === "brake") g.setLineDash([4, 3]);
      line(g, X, L.top - ROW, X, L.top + L.speedH);
      g.setLineDash([]);
      g.globalAlpha = 1;
    }
    g.restore();
    // Power and brake notches the host receives.
    stepLine(g, L, "power", ink.power);
    stepLine(g, L, "brake", ink.brake);
    placeMarks(L);
  }
  function line(g, x0, y0, x1, y1) { g.beginPath(); g.moveTo(x0, y0); g.lineTo(x1, y1); g.stroke(); }
  function dot(g, x, y, r, fill, stroke) {
    g.beginPath(); g.arc(x, y, r, 0, 2 * Math.PI); g.fillStyle = fill; g.fill();
    g.strokeStyle = stroke; g.lineWidth = 1.5; g.stroke(); g.lineWidth = 1;
  }
  function stepLine(g, L, name, stroke) {
    const c = channels[name];
    const [k0, k1] = framesIn(L.x0, L.x1);
    g.save();
    g.beginPath();
    g.rect(L.left, L.notchTop - 2, L.plotW, L.notchH + 4);
    g.clip();
    g.strokeStyle = stroke;
    g.lineWidth = 2;
    // The changes from the one in force at k0 to the last before k1.
    let i = 0;
    while (i + 1 < c.at.length && c.at[i + 1] <= k0) ++i;
    g.beginPath();
    let previousY = null;
    for (; i < c.at.length && c.at[i] <= k1; ++i) {
      const from = Math.max(c.at[i], k0), to = Math.min(i + 1 < c.at.length ? c.at[i + 1] - 1 : last, k1);
      const Y = pyNotch(L, Math.max(0, c.value[i]));
      const X0 = px(L, xOfFrame(from));
      if (previousY === null) g.moveTo(X0, Y); else { g.lineTo(X0, previousY); g.lineTo(X0, Y); }
      // Along the position axis a segment follows the train's path, which may turn back; a long
      // one is traced through its frames.
      if (axis === "x" && to - from > 1 && reach[to] !== locMm[to]) {
        const pixels = Math.abs(px(L, reach[to] / 1000) - X0) + 1;
        const step = Math.max(1, Math.floor((to - from) / Math.min(pixels, L.plotW)));
        for (let k = from + step; k < to; k += step) g.lineTo(px(L, xOfFrame(k)), Y);
      }
      g.lineTo(px(L, xOfFrame(to)), Y);
      previousY = Y;
    }
    g.stroke();
    g.restore();
  }

  // The labels: in rows above the speed, most telling first, each in the first row where it
  // overlaps none; those that find no row are listed in a marker at their place, never dropped.
  function placeMarks(L) {
    markLayer.textContent = "";
    const wanted = [];
    for (const m of marks) {
      const x = xOfFrame(m.frame);
      if (inView(L, x)) wanted.push({ m, X: px(L, x) });
    }
    wanted.sort((a, b) => (kinds[a.m.kind] || kinds.beacon).rank - (kinds[b.m.kind] || kinds.beacon).rank || a.X - b.X);
    const g = chart.getContext("2d");
    g.font = "11px 'DejaVu Sans', Arial, sans-serif";
    const rows = Array.from({ length: ROWS }, () => []);
    const overflow = [];
    for (const w of wanted) {
      const bold = (kinds[w.m.kind] || kinds.beacon).rank === 0;
      g.font = (bold ? "bold " : "") + "11px 'DejaVu Sans', Arial, sans-serif";
      const width = g.measureText(w.m.label).width + 10;
      const flip = w.X + width > L.left + L.plotW;
      const from = flip ? w.X - width : w.X, to = from + width;
      const row = rows.findIndex((taken) => taken.every(([a, b]) => to < a || from > b));
      if (row < 0 || from < 0) { overflow.push(w); continue; }
      rows[row].push([from, to]);
      const el = document.createElement("span");
      el.className = "mark " + w.m.kind + (flip ? " flip" : "");
      el.textContent = w.m.label;
      el.title = w.m.label + " (frame " + w.m.frame + ")";
      el.dataset.frame = w.m.frame;
      el.style.top = (8 + row * ROW) + "px";
      el.style[flip ? "right" : "left"] = flip ? (L.width - w.X) + "px" : w.X + "px";
      markLayer.appendChild(el);
    }
    // Markers in the row below, one for the labels that fell within a marker's width.
    overflow.sort((a, b) => a.X - b.X);
    let group = null;
    const groups = [];
    for (const w of overflow) {
      if (group && w.X - group.X < 36) group.items.push(w); else groups.push(group = { X: w.X, items: [w] });
    }
    for (const grp of groups) {
      const el = document.createElement("button");
      el.type = "button";
      el.className = "mark more" + (grp.items.some((w) => w.m.kind === "brake") ? " brake" : "");
      el.textContent = "+" + grp.items.length;
      el.title = grp.items.map((w) => w.m.label).join("\n");
      el.dataset.labels = JSON.stringify(grp.items.map((w) => w.m.label));
      el.dataset.frame = grp.items[0].m.frame;
      el.style.top = (8 + ROWS * ROW) + "px";
      el.style.left = Math.max(0, Math.min(L.width - 30, grp.X - 10)) + "px";
      el.addEventListener("click", (e) => { e.stopPropagation(); showList(grp.items, el); });
      markLayer.appendChild(el);
    }
  }
  function showList(items, near) {
    const list = $("mark-list");
    list.textContent = "";
    for (const w of items) {
      const a = document.createElement("a");
      a.href = "#t=" + fragmentTime(w.m.frame);
      a.className = "mark " + w.m.kind;
      a.textContent = w.m.label;
      a.addEventListener("click", () => { list.hidden = true; seek(w.m.frame); });
      list.appendChild(a);
    }
    list.style.left = Math.min(near.offsetLeft, wrap.clientWidth - 220) + "px";
    list.style.top = (near.offsetTop + ROW + 4) + "px";
    list.hidden = false;
  }
  markLayer.addEventListener("click", (e) => {
    const frame = e.target.dataset && e.target.dataset.frame;
    if (frame !== undefined && !e.target.classList.contains("more")) seek(Number(frame));
  });
  document.addEventListener("pointerdown", (e) => {
    if (!$("mark-list").contains(e.target) && !e.target.classList.contains("more")) $("mark-list").hidden = true;
  });

  // The legend: the lines, and every kind of mark the run has.
  {
    const legend = $("legend");
    const add = (cls, text, style) => {
      const span = document.createElement("span");
      const i = document.createElement("i");
      i.className = cls;
      if (style) i.style.background = style;
      span.appendChild(i);
      span.appendChild(document.createTextNode(text));
      legend.appendChild(span);
    };
    add("key-speed", "speed");
    if (patterns.length) {
      add("key-pattern", "permitted speed of a pattern check, beacon to signal");
      add("key-check", "the one point the check compared");
    }
    add("key-power", "power");
    add("key-brake", "brake notch");
    if (data.brakes.length) add("key-band", "frames a device brake held");
    const present = new Set(marks.map((m) => m.kind));
    for (const [kind, k] of Object.entries(kinds)) if (present.has(kind)) add("key-mark", k.legend, k.ink);
  }

  function drawCursor(k) {
    const L = layout;
    if (!L) return;
    const x = xOfFrame(k);
    // Playback and seeking carry the view along.
    if (view && !inView(L, x)) {
      const span = view[1] - view[0];
      setView([x - span / 2, x + span / 2]);
      return;
    }
    const g = overlay.getContext("2d");
    const ratio = window.devicePixelRatio || 1;
    g.setTransform(ratio, 0, 0, ratio, 0, 0);
    g.clearRect(0, 0, L.width, L.height);
    const X = Math.round(px(L, x)) + 0.5;
    g.strokeStyle = "#1d232b";
    g.lineWidth = 1;
    line(g, X, L.top, X, L.top + L.speedH);
    line(g, X, L.notchTop, X, L.notchTop + L.notchH);
    dot(g, X, py(L, speed[k] / 1000), 4, ink.speed, "#fff");
  }
  function redrawChart() {
    layout = null;
    if (!wrap.clientWidth) return;
    const L = computeLayout();
    sized(overlay, L);
    drawChart();
    drawCursor(current);
  }
  // The span shown, kept within the run and no narrower than a few frames.
  function setView(span) {
    const whole = axis === "x" ? extent.x : extent.t;
    const full = whole[1] - whole[0];
    let [a, b] = span;
    const least = axis === "x" ? 5 : Math.max(0.2, 4 * frameMs / 1000);
    if (b - a < least) { const c = (a + b) / 2; a = c - least / 2; b = c + least / 2; }
    if (b - a >= full) { view = null; } else {
      if (a < whole[0]) { b += whole[0] - a; a = whole[0]; }
      if (b > whole[1]) { a -= b - whole[1]; b = whole[1]; }
      view = [a, b];
    }
    $("zoom-out").disabled = $("zoom-all").disabled = view === null;
    redrawChart();
  }
  function zoom(factor, about) {
    const L = layout;
    if (!L) return;
    const c = about === undefined ? xOfFrame(current) : about;
    setView([c - (c - L.x0) * factor, c + (L.x1 - c) * factor]);
  }
  function pan(fraction) {
    const L = layout;
    if (!L) return;
    const d = (L.x1 - L.x0) * fraction;
    setView([L.x0 + d, L.x1 + d]);
  }
  function nextBrake(dir) {
    const starts = data.brakes.map((b) => b[0]);
    if (dir > 0) return starts.find((f) => f > current);
    for (let i = starts.length - 1; i >= 0; --i) if (starts[i] < current) return starts[i];
    return undefined;
  }
  function goToBrake(dir) {
    const k = nextBrake(dir);
    if (k === undefined) return;
    seek(k);
  }

  // ---- one frame
  let current = 0;
  function render(k) {
    current = k;
    for (const v of views) {
      const value = valueAt(v.col, k);
      if (value !== v.last) { v.show(value); v.last = value; }
    }
    showHandles(k);
    showIndices(k);
    showTimeline(k);
    drawCursor(k);
    $("frame-time").textContent = seconds(k) + " s";
    $("frame-position").textContent = tenths(locMm[k]) + " m";
    $("frame-speed").textContent = tenths(speed[k]);
    $("frame-number").textContent = String(k);
    $("link").href = "#t=" + fragmentTime(k);
    const scrubber = $("scrubber");
    if (Number(scrubber.value) !== k) scrubber.value = String(k);
  }

  // One-shot sounds last one frame: in playback, flash those that a step passed over.
  function flashPassed(from, to) {
    for (const v of views) {
      if (!oneShot(v.col)) continue;
      const c = channels[v.col];
      for (let i = 0; i < c.at.length; ++i) {
        if (c.at[i] > from && c.at[i] <= to && c.value[i] === ONCE) {
          const el = document.querySelector('#cab [data-col="' + v.col + '"]');
          el.classList.remove("flash");
          void el.offsetWidth;
          el.classList.add("flash");
          break;
        }
      }
    }
  }

  // ---- playback
  let playing = false, playhead = 0, lastTick = 0;
  function seek(k) {
    k = clamp(k);
    playhead = k;
    render(k);
  }
  function setPlaying(on) {
    // Play at the end starts again from the beginning.
    if (on && current >= last) seek(0);
    playing = on && current < last;
    $("play").textContent = playing ? "\u275a\u275a pause" : "\u25b6 play";
    if (playing) {
      lastTick = performance.now();
      requestAnimationFrame(tick);
    }
  }
  function tick(now) {
    if (!playing) return;
    const rate = Number($("rate").value);
    const dt = Math.min(100, Math.max(0, now - lastTick));
    lastTick = now;
    playhead = Math.min(last, playhead + dt * rate / frameMs);
    const k = Math.floor(playhead);
    if (k !== current) {
      flashPassed(current, k);
      render(k);
    }
    if (k >= last) setPlaying(false); else requestAnimationFrame(tick);
  }
  function nextEvent(dir) {
    if (dir > 0) return eventFrames.find((f) => f > current) ?? last;
    for (let i = eventFrames.length - 1; i >= 0; --i) if (eventFrames[i] < current) return eventFrames[i];
    return 0;
  }

  $("play").addEventListener("click", () => setPlaying(!playing));
  $("first").addEventListener("click", () => seek(0));
  $("last").addEventListener("click", () => seek(last));
  $("prev-event").addEventListener("click", () => seek(nextEvent(-1)));
  $("next-event").addEventListener("click", () => seek(nextEvent(1)));
  $("scrubber").addEventListener("input", (e) => seek(Number(e.target.value)));
  for (const radio of document.querySelectorAll('input[name="axis"]')) {
    radio.addEventListener("change", (e) => { axis = e.target.value; view = null; setView([-Infinity, Infinity]); });
  }
  // In the chart: a click moves the replay there, a drag pans, the wheel zooms about the pointer.
  function xAtPointer(e) {
    const L = layout;
    const r = overlay.getBoundingClientRect();
    return L.x0 + (e.clientX - r.left - L.left) / L.plotW * (L.x1 - L.x0);
  }
  let drag = null;
  overlay.addEventListener("pointerdown", (e) => {
    if (!layout) return;
    overlay.setPointerCapture(e.pointerId);
    drag = { clientX: e.clientX, x0: layout.x0, x1: layout.x1, moved: false };
  });
  overlay.addEventListener("pointermove", (e) => {
    if (!drag || !(e.buttons & 1) || !layout) return;
    const dx = e.clientX - drag.clientX;
    if (!drag.moved && Math.abs(dx) < 5) return;
    drag.moved = true;
    const d = dx / layout.plotW * (drag.x1 - drag.x0);
    setView([drag.x0 - d, drag.x1 - d]);
  });
  overlay.addEventListener("pointerup", (e) => {
    if (drag && !drag.moved && layout) {
      const x = xAtPointer(e);
      seek(axis === "x" ? frameOfPosition(x) : frameOfTime(x));
    }
    drag = null;
  });
  wrap.addEventListener("wheel", (e) => {
    if (!layout || !e.deltaY) return;
    e.preventDefault();
    zoom(e.deltaY > 0 ? 1.25 : 0.8, xAtPointer(e));
  }, { passive: false });
  $("zoom-in").addEventListener("click", () => zoom(0.5));
  $("zoom-out").addEventListener("click", () => zoom(2));
  $("zoom-all").addEventListener("click", () => setView([-Infinity, Infinity]));
  $("next-brake").addEventListener("click", () => goToBrake(1));
  $("fit-checks").addEventListener("change", (e) => { fitChecks = e.target.checked; redrawChart(); });
  document.addEventListener("keydown", (e) => {
    const tag = e.target.tagName;
    if (e.altKey || e.ctrlKey || e.metaKey) return;
    const second = Math.max(1, Math.round(1000 / frameMs));
    const step = e.shiftKey ? second : 1;
    let to = null;
    switch (e.key) {
      case " ":
        if (tag === "BUTTON" || tag === "A") return;
        setPlaying(!playing);
        e.preventDefault();
        return;
      case "ArrowRight": to = current + step; break;
      case "ArrowLeft": to = current - step; break;
      case "ArrowDown": to = nextEvent(1); break;
      case "ArrowUp": to = nextEvent(-1); break;
      case "Home": to = 0; break;
      case "End": to = last; break;
      // The chart: zoom about the current frame, pan, the whole run, the next brake.
      case "+": case "=": zoom(0.5); e.preventDefault(); return;
      case "-": zoom(2); e.preventDefault(); return;
      case "0": setView([-Infinity, Infinity]); e.preventDefault(); return;
      case "[": pan(-0.25); e.preventDefault(); return;
      case "]": pan(0.25); e.preventDefault(); return;
      case "b": to = nextBrake(1); if (to === undefined) return; break;
      case "B": to = nextBrake(-1); if (to === undefined) return; break;
      default: return;
    }
    if (tag === "SELECT" || e.target.type === "radio") return;
    e.preventDefault();
    seek(to);
  });
  window.addEventListener("hashchange", () => {
    const k = frameOfFragment(location.hash);
    if (k !== null) seek(k);
  });
  // Beside the chart, the timeline ends at the window's bottom: its current line stays on screen
  // with the cab and the chart.
  function fitTimeline() {
    const list = $("timeline");
    const columns = getComputedStyle(document.querySelector("main")).gridTemplateColumns.split(" ");
    if (columns.length < 2) { list.style.maxHeight = ""; return; }
    const top = list.getBoundingClientRect().top + window.scrollY;
    list.style.maxHeight = Math.max(120, window.innerHeight - top - 16) + "px";
  }
  let resizePending = false;
  window.addEventListener("resize", () => {
    if (resizePending) return;
    resizePending = true;
    requestAnimationFrame(() => { resizePending = false; fitTimeline(); redrawChart(); });
  });

  // ---- start
  document.title = run.name + " - talvik-sim replay";
  $("title").textContent = run.name;
  $("facts").textContent = run.source + " \u00b7 " + frames + " frames of " + frameMs + " ms (" +
    seconds(last) + " s) \u00b7 brake notches " + run.brake_notches + ", emergency " + run.emergency +
    ", confirm from notch " + run.ats_notch + (run.failed_frames ? " \u00b7 the plug-in failed " +
    run.failed_frames + " frame(s)" : "");
  $("scrubber").max = String(last);
  fitTimeline();
  redrawChart();
  performance.mark("drawn");
  seek(frameOfFragment(location.hash) ?? 0);
  performance.mark("usable");
  document.body.dataset.ready = "1";
})();
