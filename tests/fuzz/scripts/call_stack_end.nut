function get_brake_pattern_offset(r) { return 20.0; }
function get_incoming_pattern_offset(r) { return 50.0; }
function lookup_brake_pattern(a, b, d, o) { return d > o ? sqrt(2.0 * 0.7 * (d - o)) * 3.6 : 0.0; }
local A = 1;
local M = {}.setdelegate({_call = function(...) { return vargv.len(); }});
function down(n) { if (n == 0) { local r = M(A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A, A); return r; } return 1 + down(n - 1); }
for (local i = 200; i < 300; i++) down(i);
local R = {}.setdelegate({_modulo = function(x) { return R % x; }});
try { R % 1; } catch (e) {}
