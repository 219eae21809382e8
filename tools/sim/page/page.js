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
  {
    let l = 0, v = 0, r = -Infinity;
    for (let k = 0; k < frames; ++k) {
      l += data.location_mm[k];
      v += data.speed[k];
      locMm[k] = l;
      speed[k] = v;
      r = Math.max(r, l);
      reach[k] = r;
    }
  }

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

  // ---- the timeline, in the words of the text output
  const lineFrames = [];
  const lineItems = [];
  {
    const list = $("timeline");
    const fragment = document.createDocumentFragment();
    for (const [frame, text] of data.timeline) {
      const li = document.createElement("li");
      if (frame < 0) {
        li.className = "heading";
        li.textContent = text;
      } else {
        const a = document.createElement("a");
        a.href = "#t=" + fragmentTime(frame);
        // The address may already name this frame: then no hashchange would come.
        a.addEventListener("click", () => seek(frame));
        a.textContent = text;
        li.appendChild(a);
      }
      fragment.appendChild(li);
      lineFrames.push(frame);
      lineItems.push(li);
    }
    list.appendChild(fragment);
  }
  // The frames at which something happened, for previous/next event.
  const eventFrames = [...new Set(lineFrames.filter((f) => f >= 0))].sort((a, b) => a - b);
  let currentLines = [];
  function showTimeline(k) {
    // The lines of the latest frame at or before k.
    let lo = 0, hi = lineFrames.length - 1, found = -1;
    while (lo <= hi) {
      const mid = (lo + hi) >> 1;
      if (lineFrames[mid] <= k) { found = mid; lo = mid + 1; } else hi = mid - 1;
    }
    const now = [];
    if (found >= 0 && lineFrames[found] >= 0) {
      for (let i = found; i >= 0 && lineFrames[i] === lineFrames[found]; --i) now.push(lineItems[i]);
    }
    if (now.length === currentLines.length && now.every((li, i) => li === currentLines[i])) return;
    for (const li of currentLines) li.classList.remove("current");
    for (const li of now) li.classList.add("current");
    currentLines = now;
    if (now.length) {
      const list = $("timeline");
      const li = now[now.length - 1];
      if (li.offsetTop < list.scrollTop || li.offsetTop + li.offsetHeight > list.scrollTop + list.clientHeight) {
        list.scrollTop = li.offsetTop - list.clientHeight / 3;
      }
    }
  }

  // ---- the chart: drawn once into one canvas, the cursor into another on top
  const chart = $("chart"), overlay = $("chart-cursor"), wrap = $("chart-wrap");
  const css = getComputedStyle(document.documentElement);
  const colour = (name) => css.getPropertyValue(name).trim();
  const ink = { speed: colour("--speed"), power: colour("--power"), brake: colour("--brake"),
    pattern: colour("--pattern"), vigilance: colour("--vigilance"), text: "#1d232b", grid: "#e3e7eb", muted: "#5d6875" };
  let axis = "x";
  let layout = null;

  const patterns = data.pattern_checks.map((p) => ({ ...p, at: locMm[p.frame] / 1000 }));
  if (data.script_error !== null && patterns.length) {
    $("script-note").textContent = "The pattern script beside the library could not be evaluated (" +
      data.script_error + "): the pattern checks are shown without their curves.";
  }

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

  function computeLayout() {
    const width = wrap.clientWidth, height = wrap.clientHeight;
    let x0 = Infinity, x1 = -Infinity;
    for (let k = 0; k < frames; ++k) { const x = xOfFrame(k); if (x < x0) x0 = x; if (x > x1) x1 = x; }
    let vmax = 10, vmin = 0;
    for (let k = 0; k < frames; ++k) { vmax = Math.max(vmax, speed[k] / 1000); vmin = Math.min(vmin, speed[k] / 1000); }
    for (const p of patterns) if (p.curve) for (let i = 1; i < p.curve.length; i += 2) if (p.curve[i] !== null) vmax = Math.max(vmax, Math.min(p.curve[i], vmax * 1.6));
    for (const [, , limit] of data.speed_checks) vmax = Math.max(vmax, limit);
    // A train that backs up has a negative speed.
    const vstep = niceStep(vmax - vmin, 6);
    vmax = Math.ceil(vmax * 1.05 / vstep) * vstep;
    vmin = Math.floor(vmin / vstep) * vstep;
    if (x1 - x0 < 1) x1 = x0 + 1;
    const notchMax = Math.max(run.emergency, run.power_notches, 1);
    const left = 46, right = 12, top = 58, speedH = height - top - 150, gap = 26, notchH = 90;
    return { width, height, x0, x1, vmax, vmin, vstep, notchMax, left, right, top, speedH, gap, notchH,
      plotW: width - left - right, notchTop: top + speedH + gap };
  }
  const px = (L, x) => L.left + (x - L.x0) / (L.x1 - L.x0) * L.plotW;
  const py = (L, v) => L.top + L.speedH - (v - L.vmin) / (L.vmax - L.vmin) * L.speedH;
  const pyNotch = (L, n) => L.notchTop + L.notchH - n / L.notchMax * L.notchH;

  function sized(canvas, L) {
    const ratio = window.devicePixelRatio || 1;
    canvas.width = Math.round(L.width * ratio);
    canvas.height = Math.round(L.height * ratio);
    const g = canvas.getContext("2d");
    g.setTransform(ratio, 0, 0, ratio, 0, 0);
    return g;
  }

  function drawChart() {
    const L = layout = computeLayout();
    const g = sized(chart, L);
    g.clearRect(0, 0, L.width, L.height);
    g.font = "11px 'DejaVu Sans', Arial, sans-serif";
    g.textBaseline = "middle";
    // Grid and axes.
    const xstep = niceStep(L.x1 - L.x0, Math.max(3, L.plotW / 90));
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
    g.rect(L.left, L.top - 58, L.plotW, L.speedH + 58);
    g.clip();
    const labels = new Labels(g, L);
    // Where the devices' brakes began.
    for (const [frame, , device, cause] of data.brakes) {
      const X = px(L, xOfFrame(frame));
      g.strokeStyle = device === "vigilance" ? ink.vigilance : ink.brake;
      g.setLineDash([4, 3]);
      line(g, X, L.top, X, L.top + L.speedH);
      g.setLineDash([]);
      labels.add(X, "brake: " + cause, g.strokeStyle, 2);
    }
    // Each pattern check's curve, then the one point it compared.
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
        const X = px(L, x), Y = py(L, Math.max(0, v));
        if (open) g.lineTo(X, Y); else g.moveTo(X, Y);
        open = true;
      }
      g.stroke();
      g.setLineDash([]);
      const stop = xOfPosition(p.at + p.distance);
      if (stop !== null) {
        const X = px(L, stop);
        line(g, X, L.top + L.speedH - 10, X, L.top + L.speedH);
        labels.add(X, "stop point", ink.pattern, -1);
      }
    }
    g.lineWidth = 1;
    // The speed checks: the check speed at the beacon.
    for (const [frame, type, limit] of data.speed_checks) {
      const X = px(L, xOfFrame(frame)), Y = py(L, limit);
      g.strokeStyle = ink.brake;
      g.lineWidth = 2;
      line(g, X - 9, Y, X + 9, Y);
      g.lineWidth = 1;
      labels.add(X, (type === 55 ? "braking check at " : "alarm check at ") + limit, ink.brake, 1);
    }
    // The speed.
    g.strokeStyle = ink.speed;
    g.lineWidth = 2;
    g.beginPath();
    for (let k = 0; k < frames; ++k) {
      const X = px(L, xOfFrame(k)), Y = py(L, speed[k] / 1000);
      if (k === 0) g.moveTo(X, Y); else g.lineTo(X, Y);
    }
    g.stroke();
    g.lineWidth = 1;
    for (const p of patterns) {
      const X = px(L, xOfFrame(p.frame));
      const Yv = py(L, p.speed);
      if (p.curve) {
        const Yp = py(L, Math.max(0, p.permitted));
        g.strokeStyle = ink.pattern;
        g.lineWidth = 2;
        line(g, X, Yv, X, Yp);
        g.lineWidth = 1;
        dot(g, X, Yp, 4.5, "#fff", ink.pattern);
      }
      dot(g, X, Yv, 4.5, p.braked ? ink.brake : ink.power, p.braked ? ink.brake : ink.power);
      const verdict = !p.curve ? "pattern check" : "pattern check: " + p.speed.toFixed(1) +
        (p.braked ? " \u2265 " : " < ") + p.permitted.toFixed(1) + (p.braked ? ", brakes" : ", passes");
      labels.add(X, verdict, p.braked ? ink.brake : ink.power, 0);
    }
    labels.draw();
    g.restore();
    // Power and brake notches the host receives.
    stepLine(g, L, "power", ink.power);
    stepLine(g, L, "brake", ink.brake);
  }
  function line(g, x0, y0, x1, y1) { g.beginPath(); g.moveTo(x0, y0); g.lineTo(x1, y1); g.stroke(); }
  function dot(g, x, y, r, fill, stroke) {
    g.beginPath(); g.arc(x, y, r, 0, 2 * Math.PI); g.fillStyle = fill; g.fill();
    g.strokeStyle = stroke; g.lineWidth = 1.5; g.stroke(); g.lineWidth = 1;
  }
  function stepLine(g, L, name, stroke) {
    const c = channels[name];
    g.strokeStyle = stroke;
    g.lineWidth = 2;
    g.beginPath();
    let previousY = null;
    for (let i = 0; i < c.at.length; ++i) {
      const from = c.at[i], to = i + 1 < c.at.length ? c.at[i + 1] - 1 : last;
      const Y = pyNotch(L, Math.max(0, c.value[i]));
      // Along the position axis a segment follows the train's path, which may turn back.
      const X0 = px(L, xOfFrame(from));
      if (previousY === null) g.moveTo(X0, Y); else { g.lineTo(X0, previousY); g.lineTo(X0, Y); }
      g.lineTo(px(L, xOfFrame(to)), Y);
      previousY = Y;
    }
    g.stroke();
    g.lineWidth = 1;
  }
  // Labels in rows above the speed, each in the first row where it overlaps no other; the
  // checks' verdicts first, then the speed checks, then the brakes.
  function Labels(g, L) {
    const wanted = [];
    this.add = (X, text, fill, rank) => wanted.push({ X, text, fill, rank });
    this.draw = () => {
      const rowsEnd = [[], [], [], []];
      wanted.sort((a, b) => a.rank - b.rank || a.X - b.X);
      for (const { X, text, fill, rank } of wanted) {
        g.fillStyle = fill;
        if (rank < 0) {
          g.textAlign = "center";
          g.fillText(text, X, L.top + L.speedH - 16);
          continue;
        }
        const w = g.measureText(text).width + 8;
        // Near the right edge a label ends at its mark instead of starting there.
        const flip = X + w > L.left + L.plotW;
        const from = flip ? X - w : X, to = from + w;
        const row = rowsEnd.findIndex((taken) => taken.every(([a, b]) => to < a || from > b));
        if (row < 0) continue;
        rowsEnd[row].push([from, to]);
        const Y = L.top - 50 + row * 12;
        g.textAlign = flip ? "right" : "left";
        g.fillText(text, flip ? X - 2 : X + 2, Y);
        g.strokeStyle = fill;
        g.globalAlpha = 0.35;
        line(g, X + 0.5, Y + 5, X + 0.5, L.top);
        g.globalAlpha = 1;
      }
      g.textAlign = "left";
    };
  }

  function drawCursor(k) {
    const L = layout;
    if (!L) return;
    const g = overlay.getContext("2d");
    const ratio = window.devicePixelRatio || 1;
    g.setTransform(ratio, 0, 0, ratio, 0, 0);
    g.clearRect(0, 0, L.width, L.height);
    const X = Math.round(px(L, xOfFrame(k))) + 0.5;
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
    radio.addEventListener("change", (e) => { axis = e.target.value; redrawChart(); });
  }
  function seekToPointer(e) {
    const L = layout;
    if (!L) return;
    const r = overlay.getBoundingClientRect();
    const x = L.x0 + (e.clientX - r.left - L.left) / L.plotW * (L.x1 - L.x0);
    seek(axis === "x" ? frameOfPosition(x) : frameOfTime(x));
  }
  overlay.addEventListener("pointerdown", (e) => {
    overlay.setPointerCapture(e.pointerId);
    seekToPointer(e);
  });
  overlay.addEventListener("pointermove", (e) => { if (e.buttons & 1) seekToPointer(e); });
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
  let resizePending = false;
  window.addEventListener("resize", () => {
    if (resizePending) return;
    resizePending = true;
    requestAnimationFrame(() => { resizePending = false; redrawChart(); });
  });

  // ---- start
  document.title = run.name + " - talvik-sim replay";
  $("title").textContent = run.name;
  $("facts").textContent = run.source + " \u00b7 " + frames + " frames of " + frameMs + " ms (" +
    seconds(last) + " s) \u00b7 brake notches " + run.brake_notches + ", emergency " + run.emergency +
    ", confirm from notch " + run.ats_notch + (run.failed_frames ? " \u00b7 the plug-in failed " +
    run.failed_frames + " frame(s)" : "");
  $("scrubber").max = String(last);
  redrawChart();
  seek(frameOfFragment(location.hash) ?? 0);
  performance.mark("usable");
  document.body.dataset.ready = "1";
})();
