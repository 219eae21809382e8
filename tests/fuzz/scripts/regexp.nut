function get_brake_pattern_offset(r) { return 20.0; }
function get_incoming_pattern_offset(r) { return 50.0; }
function lookup_brake_pattern(a, b, d, o) { return d > o ? sqrt(2.0 * 0.7 * (d - o)) * 3.6 : 0.0; }
function lookup_brake_pattern(a, b, d, o) { local r = regexp("(a|b)*c"); local s = "ab"; for (local i = 0; i < 16; i++) s += s; r.search(s, 3); regexp.match.call(blob(8), "x"); return 1; }
