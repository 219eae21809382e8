function get_brake_pattern_offset(r) { return 20.0; }
function get_incoming_pattern_offset(r) { return 50.0; }
function lookup_brake_pattern(a, b, d, o) { return d > o ? sqrt(2.0 * 0.7 * (d - o)) * 3.6 : 0.0; }
print.acall(array(1100, 1));
local f = function(...) { return vargv.len(); };
print(f.pacall([null].extend(array(100000, 1))));
