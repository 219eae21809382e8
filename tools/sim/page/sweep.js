// The sweep page: a map of the swept numbers coloured by the stopping margin, the border where
// the margin is zero, the border physics allows at the emergency rate, and one cell's figures.
"use strict";
(() => {
  const data = JSON.parse(document.getElementById("sweep-data").textContent);
  const col = {};
  data.columns.forEach((name, i) => { col[name] = i; });
  const xs = data.axes[0].values;
  const ys = data.axes.length > 1 ? data.axes[1].values : [""];
  const nx = xs.length, ny = ys.length;
  // Cells run with the first axis slowest: cell = ix * ny + iy.
  const cellAt = (ix, iy) => ix * ny + iy;
  const figure = (cell, name) => data.cells[cell][col[name]];
  const number = (text) => (text === "" ? NaN : Number(text));

  document.getElementById("title").textContent = "talvik-sim sweep: " + data.name;
  document.getElementById("facts").textContent = data.source + " \u00b7 " +
    data.axes.map((a) => a.name + " " + a.values[0] + " to " + a.values[a.values.length - 1] +
      " (" + a.values.length + ")").join(" \u00d7 ") +
    (data.axes.some((a) => a.name === "train.emergency") ? ""
      : " \u00b7 emergency rate " + data.emergency + " km/h/s");
  document.getElementById("summary").textContent = data.summary;

  // The margin a colour shows: a train that did not stop is worse than any that stopped.
  let reach = 1;
  for (let i = 0; i < data.cells.length; i++) {
    const m = number(figure(i, "margin_m"));
    if (Number.isFinite(m)) reach = Math.max(reach, Math.abs(m));
  }
  reach = Math.min(reach, 500);
  const mix = (a, b, t) => "rgb(" + a.map((v, k) => Math.round(v + (b[k] - v) * t)).join(",") + ")";
  const colour = (cell) => {
    const stop = figure(cell, "stop");
    if (stop === "no-check") return "#c9cfd6";
    if (stop === "did-not-stop") return "#5a0a14";
    const m = number(figure(cell, "margin_m"));
    const t = Math.min(1, Math.abs(m) / reach);
    return m >= 0 ? mix([217, 240, 211], [27, 120, 55], Math.sqrt(t))
      : mix([253, 208, 192], [178, 24, 43], Math.sqrt(t));
  };
  // The figure a border follows: the margin (did-not-stop far below zero), the physics margin.
  const marginField = (cell) => {
    const stop = figure(cell, "stop");
    if (stop === "did-not-stop") return -data.ran_on_m;
    return number(figure(cell, "margin_m"));
  };
  const physicsField = (cell) => number(figure(cell, "physics_margin_m"));

  const scale = document.getElementById("scale");
  const swatch = (c, words) => {
    const s = document.createElement("span");
    const i = document.createElement("i");
    i.className = "swatch";
    i.style.background = c;
    s.append(i, words);
    scale.append(s);
  };
  swatch(mix([217, 240, 211], [27, 120, 55], 1), "stops " + reach.toFixed(0) + " m or more short");
  swatch(mix([217, 240, 211], [27, 120, 55], 0), "stops just short");
  swatch(mix([253, 208, 192], [178, 24, 43], 0), "stops just past");
  swatch(mix([253, 208, 192], [178, 24, 43], 1), reach.toFixed(0) + " m or more past");
  swatch("#5a0a14", "did not stop");
  swatch("#c9cfd6", "never passed the beacon");

  const canvas = document.getElementById("map");
  const wrap = document.getElementById("map-wrap");
  const pad = { left: 70, right: 16, top: 12, bottom: 46 };
  let box = null;
  let selected = -1, hovered = -1;

  // Contour of `field` at zero through the cell centres (marching squares, straight pieces).
  const border = (ctx, field, cx, cy) => {
    const v = (ix, iy) => field(cellAt(ix, iy));
    const cross = (ax, ay, bx, by) => {
      const a = v(ax, ay), b = v(bx, by);
      if (!Number.isFinite(a) || !Number.isFinite(b) || (a < 0) === (b < 0)) return null;
      const t = a / (a - b);
      return [cx(ax) + (cx(bx) - cx(ax)) * t, cy(ay) + (cy(by) - cy(ay)) * t];
    };
    ctx.beginPath();
    if (ny === 1) {
      for (let ix = 0; ix + 1 < nx; ix++) {
        const p = cross(ix, 0, ix + 1, 0);
        if (p) { ctx.moveTo(p[0], box.top); ctx.lineTo(p[0], box.bottom); }
      }
    }
    for (let ix = 0; ix + 1 < nx; ix++) {
      for (let iy = 0; iy + 1 < ny; iy++) {
        const points = [cross(ix, iy, ix + 1, iy), cross(ix + 1, iy, ix + 1, iy + 1),
          cross(ix + 1, iy + 1, ix, iy + 1), cross(ix, iy + 1, ix, iy)].filter((p) => p);
        for (let k = 0; k + 1 < points.length; k += 2) {
          ctx.moveTo(points[k][0], points[k][1]);
          ctx.lineTo(points[k + 1][0], points[k + 1][1]);
        }
      }
    }
    ctx.stroke();
  };

  // The map and its borders are drawn once per size into `base`; a pointer move copies it and
  // outlines the cells, so a map of 100,000 cells still follows the pointer.
  const base = document.createElement("canvas");
  let baseSize = "";
  const drawBase = (w, h, ratio) => {
    base.width = canvas.width;
    base.height = canvas.height;
    const ctx = base.getContext("2d");
    ctx.setTransform(ratio, 0, 0, ratio, 0, 0);
    box = { left: pad.left, top: pad.top, right: w - pad.right, bottom: h - pad.bottom };
    const cw = (box.right - box.left) / nx, ch = (box.bottom - box.top) / ny;
    box.cw = cw;
    box.ch = ch;
    const cx = (ix) => box.left + (ix + 0.5) * cw;
    const cy = (iy) => box.bottom - (iy + 0.5) * ch;
    for (let ix = 0; ix < nx; ix++) {
      for (let iy = 0; iy < ny; iy++) {
        ctx.fillStyle = colour(cellAt(ix, iy));
        ctx.fillRect(box.left + ix * cw, box.bottom - (iy + 1) * ch, Math.ceil(cw), Math.ceil(ch));
      }
    }
    ctx.lineWidth = 2.5;
    ctx.strokeStyle = "#1d232b";
    ctx.setLineDash([]);
    border(ctx, marginField, cx, cy);
    ctx.strokeStyle = "#1f5fbf";
    ctx.setLineDash([7, 5]);
    border(ctx, physicsField, cx, cy);
    ctx.setLineDash([]);

    // Axes: a few values of each, and the names.
    ctx.fillStyle = "#1d232b";
    ctx.strokeStyle = "#5d6875";
    ctx.lineWidth = 1;
    ctx.strokeRect(box.left, box.top, box.right - box.left, box.bottom - box.top);
    ctx.font = "12px 'DejaVu Sans', Arial, sans-serif";
    ctx.textAlign = "center";
    ctx.textBaseline = "top";
    const every = (n, room) => Math.max(1, Math.ceil(n / Math.max(1, Math.floor(room))));
    const sx = every(nx, (box.right - box.left) / 60);
    for (let ix = 0; ix < nx; ix += sx) ctx.fillText(xs[ix], cx(ix), box.bottom + 4);
    ctx.fillText(data.axes[0].name, (box.left + box.right) / 2, box.bottom + 24);
    if (ny > 1) {
      ctx.textAlign = "right";
      ctx.textBaseline = "middle";
      const sy = every(ny, (box.bottom - box.top) / 24);
      for (let iy = 0; iy < ny; iy += sy) ctx.fillText(ys[iy], box.left - 6, cy(iy));
      ctx.save();
      ctx.translate(14, (box.top + box.bottom) / 2);
      ctx.rotate(-Math.PI / 2);
      ctx.textAlign = "center";
      ctx.fillText(data.axes[1].name, 0, 0);
      ctx.restore();
    }
  };

  const draw = () => {
    const ratio = window.devicePixelRatio || 1;
    const w = wrap.clientWidth, h = wrap.clientHeight;
    const size = w + "x" + h + "@" + ratio;
    if (size !== baseSize) {
      canvas.width = Math.round(w * ratio);
      canvas.height = Math.round(h * ratio);
      drawBase(w, h, ratio);
      baseSize = size;
    }
    const ctx = canvas.getContext("2d");
    ctx.setTransform(1, 0, 0, 1, 0, 0);
    ctx.clearRect(0, 0, canvas.width, canvas.height);
    ctx.drawImage(base, 0, 0);
    ctx.setTransform(ratio, 0, 0, ratio, 0, 0);
    for (const [cell, stroke] of [[hovered, "#5d6875"], [selected, "#e07b00"]]) {
      if (cell < 0) continue;
      const ix = Math.floor(cell / ny), iy = cell % ny;
      ctx.lineWidth = 2.5;
      ctx.strokeStyle = stroke;
      ctx.strokeRect(box.left + ix * box.cw, box.bottom - (iy + 1) * box.ch, box.cw, box.ch);
    }
  };

  const rows = [];
  const table = document.querySelector("#cell tbody");
  const names = data.axes.map((a) => a.name).concat(["brake by", "its cause", "brake at (m)",
    "beacon passed at (m)", "speed at the check (km/h)", "permitted there (km/h)",
    "stop point (m)", "stop", "stopped at (m)", "margin (m)", "physics margin (m)"]);
  const keys = data.axes.map((a) => "axis:" + a.name).concat(["brake_by", "brake_cause", "brake_at_m",
    "check_at_m", "check_speed_kmh", "permitted_kmh", "stop_point_m", "stop", "stopped_at_m",
    "margin_m", "physics_margin_m"]);
  names.forEach((name, k) => {
    const tr = document.createElement("tr");
    const th = document.createElement("th");
    const td = document.createElement("td");
    th.textContent = name;
    tr.dataset.key = keys[k];
    tr.append(th, td);
    table.append(tr);
    rows.push(td);
  });
  const replay = document.getElementById("replay");

  const show = (cell) => {
    if (cell < 0) return;
    const ix = Math.floor(cell / ny), iy = cell % ny;
    const values = [xs[ix]].concat(ny > 1 || data.axes.length > 1 ? [ys[iy]] : []);
    keys.forEach((key, k) => {
      rows[k].textContent = key.startsWith("axis:") ? values[k] : figure(cell, key);
    });
    const sets = data.axes.map((a, k) => " --set " + a.name + "=" + values[k]).join("");
    replay.textContent = data.replay[0] + sets + data.replay[1];
    document.body.dataset.cell = String(cell);
  };

  const cellUnder = (event) => {
    if (!box) return -1;
    const r = canvas.getBoundingClientRect();
    const x = event.clientX - r.left, y = event.clientY - r.top;
    if (x < box.left || x >= box.right || y < box.top || y >= box.bottom) return -1;
    const ix = Math.min(nx - 1, Math.floor((x - box.left) / box.cw));
    const iy = Math.min(ny - 1, Math.floor((box.bottom - y) / box.ch));
    return cellAt(ix, iy);
  };
  canvas.addEventListener("mousemove", (event) => {
    const cell = cellUnder(event);
    if (cell === hovered) return;
    hovered = cell;
    show(cell >= 0 ? cell : selected);
    draw();
  });
  canvas.addEventListener("mouseleave", () => {
    hovered = -1;
    show(selected);
    draw();
  });
  canvas.addEventListener("click", (event) => {
    const cell = cellUnder(event);
    if (cell < 0) return;
    location.hash = "#cell=" + cell;
  });
  // #cell=N selects a cell: a link to it, and the way a test reads every cell.
  const fromHash = () => {
    const m = /^#cell=(\d+)$/.exec(location.hash);
    if (m && Number(m[1]) < data.cells.length) selected = Number(m[1]);
    show(selected);
    draw();
  };
  addEventListener("hashchange", fromHash);
  // The arrow keys move the kept cell across the map.
  addEventListener("keydown", (event) => {
    const step = { ArrowLeft: [-1, 0], ArrowRight: [1, 0], ArrowUp: [0, 1], ArrowDown: [0, -1] };
    const d = step[event.key];
    if (!d || selected < 0) return;
    const ix = Math.min(nx - 1, Math.max(0, Math.floor(selected / ny) + d[0]));
    const iy = Math.min(ny - 1, Math.max(0, (selected % ny) + d[1]));
    location.hash = "#cell=" + cellAt(ix, iy);
    event.preventDefault();
  });
  addEventListener("resize", draw);
  if (selected < 0) {
    // The worst cell first, the one the summary names.
    let worst = 0, rank = -Infinity;
    for (let i = 0; i < data.cells.length; i++) {
      const stop = figure(i, "stop");
      const r = stop === "did-not-stop" ? 1e12 + number(figure(i, "check_speed_kmh"))
        : stop === "stopped" ? -number(figure(i, "margin_m")) : -Infinity;
      if (r > rank) { rank = r; worst = i; }
    }
    selected = worst;
  }
  fromHash();
  document.body.dataset.ready = "1";
})();
