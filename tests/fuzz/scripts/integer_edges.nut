function get_brake_pattern_offset(r) { return 20.0; }
function get_incoming_pattern_offset(r) { return 50.0; }
function lookup_brake_pattern(a, b, d, o) { return d > o ? sqrt(2.0 * 0.7 * (d - o)) * 3.6 : 0.0; }
// Integer arithmetic at its edges: wraps, shifts by any count, the one division that overflows.
local big = 3877555555555555555;
local min = -9223372036854775807 - 1;
if (_intsize_ == 4) { big = 2147483647; min = -2147483647 - 1; }
::wrapped <- [42 * big, big + big, min - 1, -min, 1 << 70, -1 << 63, min >> 100, 7 >>> -1,
              (1e30).tointeger(), (-1e30).tointeger(), (0.0 / 0.0).tointeger(), [1, 2][1e30 % 2]];
local t = {}; t[1e30] <- 1; t[0.0 / 0.0] <- 2;
try { ::q <- min / -1; } catch (e) { ::q <- e; }
::r <- min % -1;
::literal <- -9223372036854775808; // negated while compiled
